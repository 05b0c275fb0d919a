#include "PasswordGenerator.h"

#include <sys/random.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace Generator {

int TRandomSource::Random(int n) {
  if (n < 1) return 0;
  return static_cast<int>((static_cast<std::uint64_t>(Next32()) * static_cast<std::uint32_t>(n)) >> 32);
}

TSystemRandom::~TSystemRandom() {
  volatile std::uint32_t* p = block_.data();
  for (std::size_t i = 0; i < block_.size(); ++i) p[i] = 0;
}

std::uint32_t TSystemRandom::Next32() {
  if (next_ >= block_.size()) {
    auto* bytes = reinterpret_cast<unsigned char*>(block_.data());
    std::size_t filled = 0;
    const std::size_t size = sizeof block_;
    while (filled < size) {
      const ssize_t got = getrandom(bytes + filled, size - filled, 0);
      if (got < 0) {
        if (errno == EINTR) continue;
        throw std::runtime_error(std::string("The system's random source failed: ") + std::strerror(errno));
      }
      filled += static_cast<std::size_t>(got);
    }
    next_ = 0;
  }
  const std::uint32_t value = block_[next_];
  volatile std::uint32_t* slot = &block_[next_];
  *slot = 0;
  ++next_;
  return value;
}

QString MakeWordPassword(const QStringList& words, int pattern, TRandomSource& random) {
  const int n = static_cast<int>(words.size());
  if (n == 0) return {};
  QString password = words.at(random.Random(n));
  if (pattern == wpWordDigit || pattern == wpWordDigitWord) password += QString::number(random.Random(9));
  if (pattern == wpWordDigitWord) password += words.at(random.Random(n));
  return password;
}

namespace {

bool isLetter(int code) { return (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z'); }
bool isDigit(int code) { return code >= '0' && code <= '9'; }

// The character a drawn code gives, or 0 when it is drawn again.
char accept(int code, const TCharClasses& classes, int letterCase) {
  if (classes.letters && isLetter(code)) {
    if (letterCase == lcLower && code <= 'Z') return static_cast<char>(code + ('a' - 'A'));
    if (letterCase == lcUpper && code >= 'a') return static_cast<char>(code - ('a' - 'A'));
    return static_cast<char>(code);
  }
  if (isLetter(code)) return 0;
  if (classes.numbers && isDigit(code)) return static_cast<char>(code);
  if (isDigit(code)) return 0;
  return classes.special ? static_cast<char>(code) : 0;
}

}  // namespace

QString MakeRandomPassword(const TCharClasses& classes, int letterCase, int length, TRandomSource& random,
                           const std::function<void()>& eachDraw) {
  if (!classes.any() || length < 1) return {};
  QString password;
  password.reserve(length);
  for (int i = 0; i < length; ++i) {
    char c = 0;
    while (c == 0) {
      if (eachDraw) eachDraw();
      c = accept(33 + random.Random(94), classes, letterCase);
    }
    password += QLatin1Char(c);
  }
  return password;
}

double WordPasswordBits(int wordCount, int pattern) {
  if (wordCount < 1) return 0;
  const double word = std::log2(static_cast<double>(wordCount));
  const double digit = std::log2(9.0);
  switch (pattern) {
    case wpWordDigit: return word + digit;
    case wpWordDigitWord: return 2 * word + digit;
    default: return word;
  }
}

double RandomPasswordBits(const TCharClasses& classes, int letterCase, int length) {
  if (!classes.any() || length < 1) return 0;
  // Each accepted code is equally likely; count how many codes give each
  // character and take the Shannon entropy of one position.
  int counts[128] = {};
  int accepted = 0;
  for (int code = 33; code <= 126; ++code) {
    const char c = accept(code, classes, letterCase);
    if (c == 0) continue;
    ++counts[static_cast<unsigned char>(c)];
    ++accepted;
  }
  double perChar = 0;
  for (int count : counts)
    if (count > 0) {
      const double p = static_cast<double>(count) / accepted;
      perChar -= p * std::log2(p);
    }
  return perChar * length;
}

double EstimatedBits(const QString& password) {
  bool lower = false, upper = false, digit = false, special = false, other = false;
  for (QChar ch : password) {
    const ushort u = ch.unicode();
    if (u >= 'a' && u <= 'z') lower = true;
    else if (u >= 'A' && u <= 'Z') upper = true;
    else if (u >= '0' && u <= '9') digit = true;
    else if (u >= 33 && u <= 126) special = true;
    else other = true;
  }
  const int pool = (lower ? 26 : 0) + (upper ? 26 : 0) + (digit ? 10 : 0) + (special ? 32 : 0) + (other ? 64 : 0);
  if (pool == 0) return 0;
  const double full = std::log2(static_cast<double>(pool));
  // A character that repeats the one before it, or continues a run such as
  // "abc" or "321", adds hardly anything: count it as one bit.
  double bits = 0;
  for (qsizetype i = 0; i < password.size(); ++i) {
    if (i > 0) {
      const int step = password.at(i).unicode() - password.at(i - 1).unicode();
      const bool run = i > 1 && step != 0 && step == password.at(i - 1).unicode() - password.at(i - 2).unicode() &&
                       (step == 1 || step == -1);
      if (step == 0 || run) {
        bits += 1;
        continue;
      }
    }
    bits += full;
  }
  return bits;
}

QString StrengthWord(double bits) {
  if (bits <= 0) return {};
  if (bits < 40) return QStringLiteral("weak");
  if (bits < 64) return QStringLiteral("fair");
  return QStringLiteral("strong");
}

}  // namespace Generator
