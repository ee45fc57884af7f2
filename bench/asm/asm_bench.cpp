// Assembles a generated source of 1,000,000 lines (every instruction form,
// labels, forward and backward branches, comments, words) and prints the
// CPU and wall time of the best of three runs; the goal is under one
// second. Then the sources that must end with an error: a million macro
// calls, a macro that calls itself twice, a file that includes itself
// through another, and files that each include the next one twice.
#include <cstdio>
#include <string>

#include "asm/Assembler.h"
#include "bench/BenchSupport.h"

namespace {

std::string MillionLineSource() {
  static const char* const Body[] = {
      "        addi  R01,R02,$0005       ; immediate",
      "        add   R03,R01,R02",
      "        lw    R04,R28,data-$1000000",
      "        sw    R04,R29,-1",
      "        slli  R05,R04",
      "        sgti  R06,R05,100",
      "        bnez  R06,L%d",
      "        beqz  R00,L%d",
      "        jalr  R20",
      "        .word 1, $ffffffff, -3",
  };
  std::string s = "        .code $800000\n        .header\n";
  s.reserve(40u << 20);
  char line[96];
  int label = 0;
  while (true) {
    for (int k = 0; k < 10; ++k) {
      if (k == 0) {
        std::snprintf(line, sizeof line, "L%d:\n", label);
        s += line;
      }
      // Branches go one block back and one block ahead.
      std::snprintf(line, sizeof line, Body[k], k == 6 ? (label > 0 ? label - 1 : 0) : label + 1);
      s += line;
      s += '\n';
    }
    ++label;
    if (label * 11 + 4 >= 1000000) break;
  }
  std::snprintf(line, sizeof line, "L%d:\n        .data $1000000\ndata:   .word 42\n", label);
  s += line;
  return s;
}

// Seconds of one assembly and whether it ended with exactly one error.
void Limit(const char* what, const std::string& source, const TAsmOptions& options = {}) {
  const double t0 = Seconds();
  const TAsmResult result = Assemble(source, options);
  const double t = Seconds() - t0;
  std::printf("%-44s %.3f s, %zu error(s): %s\n", what, t, result.ErrorCount,
              result.Diagnostics.empty() ? "" : result.Diagnostics[0].Message.c_str());
}

void Limits() {
  std::string calls = ".code $800000\n.macro m\nnop\n.endm\n";
  for (int k = 0; k < 1000000; ++k) calls += "m\n";
  Limit("a million macro calls", calls);
  Limit("a macro that calls itself twice", ".code $800000\n.macro m\nnop\nm\nm\n.endm\nm\n");
  std::string body = ".code $800000\n.macro m\n";
  for (int k = 0; k < 100; ++k) body += "nop\n";
  body += ".endm\n";
  for (int k = 0; k < 20000; ++k) body += "m\n";
  Limit("20,000 calls of a macro of 100 lines", body);
  // Files served from memory: a.s and b.s include each other; dK.s
  // includes d(K+1).s twice, with a thousand words each.
  TAsmOptions options;
  options.FileName = "main.s";
  options.ReadInclude = [](const std::string&, const std::string& name, TAsmIncludeFile& file, std::string&) {
    file.File = file.Identity = name;
    if (name == "a.s")
      file.Text = ".word 1\n.include \"b.s\"\n";
    else if (name == "b.s")
      file.Text = ".include \"a.s\"\n";
    else if (name == "main.s")
      file.Text = "";
    else {
      const int k = std::stoi(name.substr(1));
      if (k == 15) return true;  // sixteen deep: within the depth limit
      const std::string next = "d" + std::to_string(k + 1) + ".s";
      file.Text = ".include \"" + next + "\"\n.include \"" + next + "\"\n";
      for (int w = 0; w < 1000; ++w) file.Text += "nop\n";
    }
    return true;
  };
  Limit("a file that includes itself through another", ".code $800000\n.include \"a.s\"\n", options);
  Limit("files that include the next one twice", ".code $800000\n.include \"d0.s\"\n", options);
}

}  // namespace

int main() {
  const std::string source = MillionLineSource();
  size_t lines = 0;
  for (char c : source) lines += c == '\n';
  double best = 1e9, bestCpu = 1e9;
  size_t words = 0;
  for (int run = 0; run < 3; ++run) {
    const double t0 = Seconds(), c0 = CpuSeconds();
    const TAsmResult result = Assemble(source);
    const double t = Seconds() - t0, c = CpuSeconds() - c0;
    if (c < bestCpu) bestCpu = c;
    if (!result.Ok()) {
      std::fprintf(stderr, "bench_asm: the generated source has errors\n");
      return 1;
    }
    words = 0;
    for (const TAsmSection& sec : result.Sections) words += sec.Count;
    if (t < best) best = t;
  }
  std::printf(
      "assemble %zu lines (%zu words, %.1f MiB of source): %.3f s CPU, %.3f s wall (best of 3), peak %.0f MiB\n", lines,
      words, double(source.size()) / (1 << 20), bestCpu, best, PeakMiB());
  Limits();
  std::printf("peak %.0f MiB\n", PeakMiB());
  return 0;
}
