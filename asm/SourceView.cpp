#include "asm/SourceView.h"

#include "core/Loader.h"

TLabelIndex LabelsByAddress(const TAsmSymbols& symbols) {
  TLabelIndex labels;
  for (const TAsmSymbol& s : symbols.Symbols)
    if (s.Label) labels.emplace(int32_t(uint32_t(uint64_t(s.Value))), s.Name);
  return labels;
}

void NameBranchTarget(std::string& line, const TLabelIndex& labels) {
  if (labels.empty()) return;
  const size_t dollar = line.rfind('$');
  if (dollar == std::string::npos || dollar + 9 != line.size()) return;
  if (line.find("beqz ") == std::string::npos && line.find("bnez ") == std::string::npos) return;
  int32_t target;
  if (!ParseNumber(std::string_view(line).substr(dollar), target)) return;
  if (auto it = labels.find(target); it != labels.end()) line += " <" + it->second + ">";
}

std::vector<std::string> SourceLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::string_view line : SplitSourceLines(text)) lines.emplace_back(line);
  return lines;
}

void AppendSourceLine(std::string& line, std::string_view source) {
  constexpr size_t Column = 56;
  if (line.size() < Column) line.resize(Column, ' ');
  line += "  ";
  for (size_t i = 0; i < source.size();) {
    const auto c = static_cast<unsigned char>(source[i]);
    if (c < 0x80) {
      line += c == '\t' ? ' ' : char(c);
      ++i;
      continue;
    }
    // One '?' per character as a UTF-16 string counts them: two for a
    // character beyond the basic plane, one per byte that is not UTF-8.
    const int length = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 1;
    bool whole = length > 1 && i + size_t(length) <= source.size();
    for (int k = 1; whole && k < length; ++k)
      whole = (static_cast<unsigned char>(source[i + size_t(k)]) & 0xC0) == 0x80;
    if (!whole) {
      line += '?';
      ++i;
      continue;
    }
    line += length == 4 ? "??" : "?";
    i += size_t(length);
  }
}
