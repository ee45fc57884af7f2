// Number texts shared by every window: lowercase hexadecimal with a "$" in
// front where shown, registers as "R" and two digits.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Turns the uppercase digits of the number formatter into lowercase; every
// character that is no hexadecimal digit maps to '?'.
extern const std::array<char, 256> HexDigitMap;

// Sign-extends the low n bits of value (1 <= n <= 31).
inline uint32_t SignExtend(uint32_t value, int n) {
  static constexpr uint32_t Fill[2] = {0, 0xFFFFFFFFu};
  return value | (Fill[(value >> (n - 1)) & 1] << n);
}

// value as unsigned hexadecimal, lowercase, at least `digits` digits.
std::string HexText(uint32_t value, int digits);
// Writes the same text to out and returns the position after it (no NUL).
char* HexTextTo(char* out, uint32_t value, int digits);
// The last two decimal digits of n.
std::string TwoDigits(int n);
