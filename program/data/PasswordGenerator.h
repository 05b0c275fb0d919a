// The password generator's logic: word passwords from the word list, random
// passwords from chosen character classes, and how strong a password is.
//
// Every draw comes from the operating system's cryptographically secure
// random source. A draw for a bound N is the high 32 bits of the 64-bit
// product of a uniform 32-bit value and N: a number from 0 to N - 1.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>

namespace Generator {

// Uniform 32-bit values and the draw random(N) made from them.
class TRandomSource {
 public:
  virtual ~TRandomSource() = default;
  virtual std::uint32_t Next32() = 0;
  // 0 to n - 1 (n from 1); 0 for n below 1.
  int Random(int n);
};

// The operating system's secure source (getrandom). Values are fetched in
// blocks; each value is wiped from the block once it has been handed out.
class TSystemRandom final : public TRandomSource {
 public:
  TSystemRandom() = default;
  ~TSystemRandom() override;
  TSystemRandom(const TSystemRandom&) = delete;
  TSystemRandom& operator=(const TSystemRandom&) = delete;
  // Raises std::runtime_error when the system gives no random bytes.
  std::uint32_t Next32() override;

 private:
  std::array<std::uint32_t, 64> block_{};
  std::size_t next_ = block_.size();
};

// Word-password patterns (the index of the "Type" choice).
enum TWordPattern { wpWordDigit = 0, wpWordDigitWord = 1, wpWordOnly = 2 };
// Letter case of random passwords (the index of the "Case" choice).
enum TLetterCase { lcLower = 0, lcMixed = 1, lcUpper = 2 };

struct TCharClasses {
  bool letters = true;
  bool numbers = true;
  bool special = false;
  bool any() const { return letters || numbers || special; }
};

// A word password: a word, then for the digit patterns a digit 0 to 8, then
// for "Word + digit + Word" a second word, drawn in that order. Empty when
// the list is empty.
QString MakeWordPassword(const QStringList& words, int pattern, TRandomSource& random);

// A random password of `length` characters. For each position a code from
// 33 ("!") to 126 ("~") is drawn until one falls in a chosen class: letters
// first (after the case rule), then digits, then the 32 other printable
// characters. `eachDraw` runs before every draw (the dialog keeps its window
// responsive through it). Empty when no class is chosen or length < 1.
QString MakeRandomPassword(const TCharClasses& classes, int letterCase, int length, TRandomSource& random,
                           const std::function<void()>& eachDraw = {});

// Strength in bits of entropy. For generated passwords it follows from how
// they were made; for a typed or edited one it is a conservative estimate
// from the character classes it uses, its length and its repeats and runs.
double WordPasswordBits(int wordCount, int pattern);
double RandomPasswordBits(const TCharClasses& classes, int letterCase, int length);
double EstimatedBits(const QString& password);
// "weak" below 40 bits, "fair" below 64, else "strong"; empty for 0 bits.
QString StrengthWord(double bits);

}  // namespace Generator
