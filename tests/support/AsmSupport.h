// What the assembler's tests read off a result: its words in section
// order, and its diagnostics as tavora-as prints them for "t.s".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asm/Assembler.h"

inline std::vector<uint32_t> Words(const TAsmResult& r) {
  std::vector<uint32_t> w;
  for (const TAsmSection& s : r.Sections) w.insert(w.end(), s.Words.begin(), s.Words.end());
  return w;
}

inline std::string Messages(const TAsmResult& r) {
  std::string s;
  for (const TAsmDiagnostic& d : r.Diagnostics) s += DiagnosticText("t.s", d) + "\n";
  return s;
}
