// The key of a protected file: Argon2id over the master password, salted with
// the file's own 16-byte SQLCipher salt (the first 16 bytes of the file), and
// handed to SQLCipher as a raw key, so SQLCipher's own PBKDF2 never runs.
//
// Opening, creating, compacting and changing the password all derive the key
// here. The parameters are fixed below and recorded in every protected file's
// catalogue (MSysKhInfo, row "KeyDerivation"), so that a later version that
// raises them can tell which files were made with these.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kh::store {

struct KeyDerivation {
  static constexpr std::uint32_t memoryKiB = 64 * 1024;  // 64 MiB
  static constexpr std::uint32_t passes = 3;
  static constexpr std::uint32_t lanes = 1;
  static constexpr std::size_t keyBytes = 32;
  static constexpr std::size_t saltBytes = 16;
  // The record kept in the catalogue.
  static const char* const description;
};

using FileSalt = std::array<unsigned char, KeyDerivation::saltBytes>;

// A key text for SQLCipher, cleared when it goes away.
class KeyText {
 public:
  KeyText() = default;
  explicit KeyText(std::string text) : text_(std::move(text)) {}
  KeyText(KeyText&& o) noexcept : text_(std::move(o.text_)) { o.clear(); }
  KeyText& operator=(KeyText&& o) noexcept;
  KeyText(const KeyText&) = delete;
  KeyText& operator=(const KeyText&) = delete;
  ~KeyText() { clear(); }

  const std::string& text() const { return text_; }
  bool empty() const { return text_.empty(); }
  void clear();

 private:
  std::string text_;
};

// Reads the salt of an existing file (its first 16 bytes); false when the
// file is shorter.
bool readFileSalt(const std::string& path, FileSalt& salt);
// A fresh random salt for a new file.
FileSalt freshSalt();

// "x'<key>'": the raw key for a file whose salt is already written.
KeyText rawKey(const std::string& password, const FileSalt& salt);
// "x'<key><salt>'": the raw key and salt for a new file, which SQLCipher
// writes as the new file's salt.
KeyText rawKeyWithSalt(const std::string& password, const FileSalt& salt);

// Clears a string's bytes before emptying it.
void wipe(std::string& s);

}  // namespace kh::store
