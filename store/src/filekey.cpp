#include "filekey.h"

#include <argon2.h>
#include <sys/random.h>

#include <cerrno>
#include <fstream>

#include "object.h"

namespace kh::store {

const char* const KeyDerivation::description = "argon2id v=19 m=65536 t=3 p=1 len=32 salt=file";

void wipe(std::string& s) {
  if (!s.empty()) {
    volatile char* p = s.data();
    for (std::size_t i = 0; i < s.size(); ++i) p[i] = 0;
  }
  s.clear();
}

KeyText& KeyText::operator=(KeyText&& o) noexcept {
  if (this != &o) {
    clear();
    text_ = std::move(o.text_);
    o.clear();
  }
  return *this;
}

void KeyText::clear() { wipe(text_); }

bool readFileSalt(const std::string& path, FileSalt& salt) {
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(salt.data()), static_cast<std::streamsize>(salt.size()));
  return in.gcount() == static_cast<std::streamsize>(salt.size());
}

FileSalt freshSalt() {
  FileSalt salt{};
  std::size_t got = 0;
  while (got < salt.size()) {
    ssize_t n = getrandom(salt.data() + got, salt.size() - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(3000, "No random numbers for a new file's salt.");
    }
    got += static_cast<std::size_t>(n);
  }
  return salt;
}

namespace {

void appendHex(std::string& out, const unsigned char* bytes, std::size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < n; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
}

KeyText keyText(const std::string& password, const FileSalt& salt, bool withSalt) {
  unsigned char key[KeyDerivation::keyBytes];
  int rc = argon2id_hash_raw(KeyDerivation::passes, KeyDerivation::memoryKiB, KeyDerivation::lanes, password.data(),
                             password.size(), salt.data(), salt.size(), key, sizeof key);
  if (rc != ARGON2_OK) {
    if (rc == ARGON2_MEMORY_ALLOCATION_ERROR) fail(dao::err::OutOfMemory);
    fail(3000, std::string("Key derivation failed: ") + argon2_error_message(rc));
  }
  std::string text;
  text.reserve(3 + 2 * (sizeof key + salt.size()));
  text += "x'";
  appendHex(text, key, sizeof key);
  if (withSalt) appendHex(text, salt.data(), salt.size());
  text += '\'';
  volatile unsigned char* p = key;
  for (std::size_t i = 0; i < sizeof key; ++i) p[i] = 0;
  return KeyText(std::move(text));
}

}  // namespace

KeyText rawKey(const std::string& password, const FileSalt& salt) { return keyText(password, salt, false); }
KeyText rawKeyWithSalt(const std::string& password, const FileSalt& salt) { return keyText(password, salt, true); }

}  // namespace kh::store
