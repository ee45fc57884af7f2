#include "core/Text.h"

namespace {
constexpr std::array<char, 256> MakeHexDigitMap() {
  std::array<char, 256> map{};
  for (auto& c : map) c = '?';
  for (char c = '0'; c <= '9'; ++c) map[size_t(c)] = c;
  for (char c = 'a'; c <= 'f'; ++c) map[size_t(c)] = c;
  for (char c = 'A'; c <= 'F'; ++c) map[size_t(c)] = char(c - 'A' + 'a');
  return map;
}
}  // namespace

const std::array<char, 256> HexDigitMap = MakeHexDigitMap();

char* HexTextTo(char* out, uint32_t value, int digits) {
  static constexpr char Upper[] = "0123456789ABCDEF";
  int needed = 1;
  while (needed < 8 && (value >> (4 * needed)) != 0) ++needed;
  int width = digits > needed ? digits : needed;
  for (int i = width - 1; i >= 0; --i) {
    uint32_t nibble = i < 8 ? (value >> (4 * i)) & 15 : 0;
    *out++ = HexDigitMap[static_cast<unsigned char>(Upper[nibble])];
  }
  return out;
}

std::string HexText(uint32_t value, int digits) {
  if (digits > 64) digits = 64;
  char buf[64];
  char* end = HexTextTo(buf, value, digits);
  return std::string(buf, end);
}

std::string TwoDigits(int n) {
  unsigned u = static_cast<unsigned>(n);
  return std::string{char('0' + (u / 10) % 10), char('0' + u % 10)};
}
