#include "tools/run/Runner.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "asm/Program.h"
#include "breakpoints/BreakPoint.h"
#include "breakpoints/Run.h"
#include "core/CPU.h"
#include "core/Loader.h"
#include "tools/common/CommandLine.h"
#include "tools/common/OutputFile.h"
#include "tools/run/CommitLog.h"
#include "tools/run/JsonReport.h"
#include "tools/run/MemoryImage.h"

namespace runner {

const char* const UsageText =
    "usage: tavora-run [options] FILE\n"
    "\n"
    "Loads the .cod image FILE (or assembles FILE when it is a .s or .asm\n"
    "source; then every ADDR may also be a label expression), runs it until a breakpoint fires, the stop\n"
    "opcode or the idle loop is reached, and prints the final state.\n"
    "\n"
    "options (numbers: decimal, $hex, xhex or 0xhex):\n"
    "  -n, --max-steps N     stop after N executed instructions (N >= 1)\n"
    "      --bp COND         add a breakpoint; COND is KEY=VAL[,KEY=VAL...] with\n"
    "                        pc=ADDR  stop at an instruction address\n"
    "                        mem=ADDR watch a memory word\n"
    "                        reg=N    watch register N (0..31)\n"
    "                        value=V  stop when the watched word or register is V\n"
    "                                 (without it: stop when it changes)\n"
    "                        count=N  stop only on every N-th occasion\n"
    "  -b, --break ADDR      same as --bp pc=ADDR\n"
    "  -d, --dump ADDR[:COUNT]\n"
    "                        after the run print COUNT words from ADDR (default 1)\n"
    "  -t, --trace           print the listing line of every instruction before it runs\n"
    "      --commit-log FILE write one line per executed instruction to FILE\n"
    "                        (- for standard output, before the final state):\n"
    "                          STEP PC WORD[ rNN VALUE][ m ADDRESS VALUE]\n"
    "                        STEP counts from 1 in decimal, PC WORD VALUE ADDRESS\n"
    "                        are eight lowercase hex digits; rNN (two decimal\n"
    "                        digits) for each write to R01..R31, m for each store\n"
    "      --memory-image FILE\n"
    "                        before the run write the memory the load built to FILE\n"
    "                        (- for standard output) for the testbench hdl/tb.v:\n"
    "                        each run of present words after an @ADDRESS record;\n"
    "                        a word not listed reads ffffffff\n"
    "      --json            print the result as one JSON object (not with --trace,\n"
    "                        --commit-log - or --memory-image -); messages go into it too\n"
    "  -h, --help            show this help\n"
    "      --version         show the version\n"
    "\n"
    "exit status: 0 stopped by idle loop, stop opcode or breakpoint; 3 step limit;\n"
    "2 file cannot be opened, is invalid or a source with errors, or the commit\n"
    "log or memory image cannot be written; 64 usage error (also a commit log or\n"
    "memory image that is FILE)\n";

namespace {

int32_t Number(std::string_view text, const char* what) {
  int32_t v;
  if (!ParseNumber(text, v)) throw TUsageError{"bad " + std::string(what) + " '" + std::string(text) + "'"};
  return v;
}

// A number, or else (kept in label) text that a source's labels may resolve.
int32_t Address(std::string_view text, const char* what, std::string& label) {
  int32_t v;
  if (ParseNumber(text, v)) {
    // A hexadecimal number is a bit pattern; only a decimal one has a sign.
    const bool negative = text.find('-') != std::string_view::npos;
    if (!IsWordAddress(negative ? int64_t(v) : int64_t(uint32_t(v))))
      throw TUsageError{OutsideAddressesReason(what, text)};
    return v;
  }
  if (text.empty()) throw TUsageError{"bad " + std::string(what) + " ''"};
  label = text;
  return 0;
}

TBreakRequest ParseBreakRequest(std::string_view text) {
  TBreakRequest bp;
  if (text.empty()) throw TUsageError{"empty breakpoint"};
  while (true) {
    size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    size_t eq = item.find('=');
    if (eq == std::string_view::npos) throw TUsageError{"breakpoint item without '=': '" + std::string(item) + "'"};
    std::string_view key = item.substr(0, eq), val = item.substr(eq + 1);
    std::optional<int32_t>* slot = key == "pc"      ? &bp.Pc
                                   : key == "mem"   ? &bp.Mem
                                   : key == "reg"   ? &bp.Reg
                                   : key == "value" ? &bp.Value
                                   : key == "count" ? &bp.Count
                                                    : nullptr;
    if (!slot) throw TUsageError{"unknown breakpoint key '" + std::string(key) + "'"};
    if (slot->has_value()) throw TUsageError{"breakpoint key '" + std::string(key) + "' given twice"};
    if (slot == &bp.Pc || slot == &bp.Mem)
      *slot = Address(val, "breakpoint address", slot == &bp.Pc ? bp.PcText : bp.MemText);
    else
      *slot = Number(val, "breakpoint value");
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (bp.Mem && bp.Reg) throw TUsageError{"a breakpoint watches either mem or reg, not both"};
  if (bp.Value && !bp.Mem && !bp.Reg) throw TUsageError{"value needs mem or reg"};
  if (bp.Reg && (*bp.Reg < 0 || *bp.Reg > 31)) throw TUsageError{"register out of range 0..31"};
  return bp;
}

// Empty when the dump's words are all addresses; else why not, as a dump
// does not wrap around past the last address.
std::string DumpEndReason(const TDump& dump) {
  if (IsWordAddress(int64_t(uint32_t(dump.Address)) + dump.Count - 1)) return {};
  return "dump of " + std::to_string(dump.Count) + " words from $" + HexText(uint32_t(dump.Address), 8) +
         " runs past $ffffffff";
}

TDump ParseDump(std::string_view text) {
  TDump dump;
  size_t colon = text.find(':');
  dump.Address = Address(text.substr(0, colon), "dump address", dump.AddressText);
  if (colon != std::string_view::npos) {
    dump.Count = Number(text.substr(colon + 1), "dump count");
    if (dump.Count < 1) throw TUsageError{"dump count must be at least 1"};
  }
  if (dump.AddressText.empty())
    if (std::string reason = DumpEndReason(dump); !reason.empty()) throw TUsageError{reason};
  return dump;
}

}  // namespace

bool ParseArguments(int argc, char** argv, TOptions& options) {
  std::vector<std::string> files;
  TCommandLine<TUsageError> line(argc, argv);
  while (line.Next()) {
    if (line.IsFile()) {
      files.push_back(line.Arg());
      continue;
    }
    const std::string& arg = line.Arg();
    auto value = [&] { return line.Value(); };
    auto flag = [&] { line.Flag(); };
    if (arg == "-h" || arg == "--help") {
      flag();
      return false;
    } else if (arg == "--json") {
      flag();
      options.Json = true;
    } else if (arg == "-t" || arg == "--trace") {
      flag();
      options.Trace = true;
    } else if (arg == "--commit-log") {
      options.CommitLog = value();
      if (options.CommitLog.empty()) throw TUsageError{"empty commit log file name"};
    } else if (arg == "--memory-image") {
      options.MemoryImage = value();
      if (options.MemoryImage.empty()) throw TUsageError{"empty memory image file name"};
    } else if (arg == "-n" || arg == "--max-steps") {
      int32_t n = Number(value(), "step count");
      if (n < 1) throw TUsageError{"step count must be at least 1"};
      options.MaxSteps = uint64_t(n);
    } else if (arg == "--bp") {
      options.Breaks.push_back(ParseBreakRequest(value()));
    } else if (arg == "-b" || arg == "--break") {
      TBreakRequest bp;
      bp.Pc = Address(value(), "breakpoint address", bp.PcText);
      options.Breaks.push_back(bp);
    } else if (arg == "-d" || arg == "--dump") {
      options.Dumps.push_back(ParseDump(value()));
    } else {
      throw TUsageError{"unknown option '" + arg + "'"};
    }
  }
  if (options.Json) {
    // Nothing else may share standard output with the one JSON object.
    if (options.Trace || options.CommitLog == "-" || options.MemoryImage == "-")
      throw TUsageError{"--json cannot be combined with --trace, --commit-log - or --memory-image -"};
    uint64_t words = 0;
    for (const TDump& dump : options.Dumps) words += uint64_t(dump.Count);
    if (words > MaxJsonDumpWords)
      throw TUsageError{"--json dumps at most " + std::to_string(MaxJsonDumpWords) + " words"};
  }
  if (files.empty()) throw TUsageError{"no FILE given"};
  if (files.size() > 1) throw TUsageError{"more than one FILE given"};
  options.File = files[0];
  // Checked before anything is opened: the log would truncate the program.
  if (!options.CommitLog.empty() && options.CommitLog != "-" && SameFile(options.CommitLog, options.File))
    throw TUsageError{"the commit log " + options.CommitLog + " would overwrite FILE"};
  if (!options.MemoryImage.empty() && options.MemoryImage != "-") {
    if (SameFile(options.MemoryImage, options.File))
      throw TUsageError{"the memory image " + options.MemoryImage + " would overwrite FILE"};
    if (!options.CommitLog.empty() && options.CommitLog != "-" && SameFile(options.MemoryImage, options.CommitLog))
      throw TUsageError{"the memory image and the commit log are the same file"};
  }
  if (options.MemoryImage == "-" && options.CommitLog == "-")
    throw TUsageError{"--memory-image - and --commit-log - cannot share standard output"};
  if (!IsSourceName(options.File)) {
    // Without a source there are no labels: such an address is just bad.
    for (const TBreakRequest& bp : options.Breaks)
      for (const std::string* text : {&bp.PcText, &bp.MemText})
        if (!text->empty()) throw TUsageError{"bad breakpoint address '" + *text + "'"};
    for (const TDump& dump : options.Dumps)
      if (!dump.AddressText.empty()) throw TUsageError{"bad dump address '" + dump.AddressText + "'"};
  }
  return true;
}

namespace {

void CreateBreakPoint(const TBreakRequest& request) {
  auto* bp = new TBreakPoint;  // owned by BreakPoints
  if (request.Pc) {
    bp->UseInstruction = true;
    bp->Instruction = *request.Pc;
  }
  if (request.Mem || request.Reg) {
    if (request.Mem) {
      bp->LockPosition = true;
      bp->Position = *request.Mem;
    } else {
      bp->LockRegister = true;
      bp->Register = *request.Reg;
    }
    bp->LockValue = request.Value.has_value();
    if (request.Value) {
      bp->Value = uint32_t(*request.Value);
    } else {
      // A change watch is armed with what the word or register holds now.
      bp->Value = request.Mem ? TheMemory.ReadWord(*request.Mem) : uint32_t(TheState.GetReg(*request.Reg));
    }
  }
  if (request.Count) {
    bp->UseCount = true;
    bp->MaxCount = *request.Count;
    bp->ActCount = 0;
  }
  bp->UpdateView();
}

TStopReason RunTraced(uint64_t maxSteps, uint64_t& steps, TCommitLog* log) {
  for (;;) {
    std::string line = TheCPU.ListingLine(TheState.GetReg(-1));
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    TStopReason reason = log ? RunLogged(1, steps, *log) : RunFast(1, steps);
    if (log) log->Flush();  // keeps each log line after its trace line on standard output
    if (reason != TStopReason::StepLimit || steps == maxSteps) return reason;
  }
}

void PrintState(TStopReason reason, uint64_t steps, const TOptions& options) {
  std::string out;
  out += "stop: ";
  out += StopReasonText(reason);
  out += "\nsteps: " + std::to_string(steps) + "\n";
  out += "PC  $";
  out += HexText(uint32_t(TheState.GetReg(-1)), 8);
  out += '\n';
  for (int i = 0; i < 32; ++i) {
    out += 'R';
    out += TwoDigits(i);
    out += " $";
    out += HexText(uint32_t(TheState.GetReg(i)), 8);
    out += '\n';
  }
  for (const TBreakPoint* bp : BreakPoints) {
    out += "bp\t";
    out += bp->Caption();
    for (int i = 0; i < 3; ++i) {
      out += '\t';
      out += bp->SubItem(i);
    }
    out += '\n';
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  for (const TDump& dump : options.Dumps) {
    for (int32_t k = 0; k < dump.Count; ++k) {
      int32_t address = int32_t(uint32_t(dump.Address) + uint32_t(k));
      std::string line = "$";
      line += HexText(uint32_t(address), 8);
      line += ": ";
      line += HexText(TheMemory.ReadWord(address), 8);
      line += '\n';
      std::fwrite(line.data(), 1, line.size(), stdout);
    }
  }
}

void PrintMessage(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

// Turns the label texts of the options into addresses from the source's
// symbols; false with the reason when one names nothing.
bool ResolveLabels(TOptions& options, const TAsmSymbols& symbols, std::string& error) {
  auto resolve = [&](const std::string& text, std::optional<int32_t>& slot) {
    if (text.empty()) return true;
    int64_t v = 0;
    if (!EvaluateExpression(text, symbols, v, error)) {
      error = "bad address '" + text + "': " + error;
      return false;
    }
    if (!IsWordAddress(v)) {
      error = OutsideAddressesReason("address", text);
      return false;
    }
    slot = int32_t(uint32_t(v));
    return true;
  };
  for (TBreakRequest& bp : options.Breaks)
    if (!resolve(bp.PcText, bp.Pc) || !resolve(bp.MemText, bp.Mem)) return false;
  for (TDump& dump : options.Dumps) {
    std::optional<int32_t> address;
    if (!resolve(dump.AddressText, address)) return false;
    if (!address) continue;
    dump.Address = *address;
    error = DumpEndReason(dump);
    if (!error.empty()) return false;
  }
  return true;
}

// With --json the messages go into the report instead.
std::vector<std::string> Messages;
void KeepMessage(const std::string& text) { Messages.push_back(text); }

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace

int Run(const TOptions& given) {
  TOptions options = given;
  static char outBuffer[1 << 16];
  std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
  DisplayHooks.ShowMessage = options.Json ? KeepMessage : PrintMessage;
  Messages.clear();

  // The load builds the image and leaves the processor as a reset does, so
  // nothing builds it again (that would repeat the loader's messages).
  // A source is assembled first; its errors are reported like an invalid
  // image, and its labels become the addresses of the options.
  try {
    bool loaded = true;
    if (IsSourceName(options.File)) {
      const TAsmResult assembly = LoadAnyProgram(options.File, true);
      for (const TAsmDiagnostic& d : assembly.Diagnostics) DisplayHooks.ShowMessage(DiagnosticText(options.File, d));
      loaded = assembly.Ok();
      std::string error;
      if (loaded && !ResolveLabels(options, assembly.Symbols, error)) {
        std::fprintf(stderr, "tavora-run: %s\n", error.c_str());
        return ExitUsage;
      }
    } else {
      loaded = LoadProgram(options.File);
    }
    if (!loaded) {
      if (options.Json) Print(JsonFileError(Messages));
      return ExitFileError;
    }
  } catch (const TFileOpenError& e) {
    DisplayHooks.ShowMessage(e.what());
    if (options.Json) Print(JsonFileError(Messages));
    return ExitFileError;
  }

  // A log or image that cannot be written ends the run as a file error;
  // with --json the object still comes, with the reason among its messages.
  auto logFailed = [&](const std::string& error) {
    DisplayHooks.ShowMessage("tavora-run: " + error);
    if (options.Json) Print(JsonFileError(Messages));
    std::fflush(stdout);
    return ExitFileError;
  };
  if (!options.MemoryImage.empty()) {
    std::string error;
    if (!WriteMemoryImage(options.MemoryImage, options.File, error)) return logFailed(error);
  }
  std::unique_ptr<TCommitLog> log;
  if (!options.CommitLog.empty()) {
    log = std::make_unique<TCommitLog>();
    std::string error;
    if (!log->Open(options.CommitLog, error)) return logFailed(error);
  }

  for (const TBreakRequest& request : options.Breaks) CreateBreakPoint(request);

  uint64_t steps = 0;
  TStopReason reason = options.Trace ? RunTraced(options.MaxSteps, steps, log.get())
                       : log         ? RunLogged(options.MaxSteps, steps, *log)
                                     : RunFast(options.MaxSteps, steps);
  if (log) {
    std::string error;
    if (!log->Close(error)) {
      while (!BreakPoints.empty()) delete BreakPoints.back();
      return logFailed(error);
    }
  }
  if (options.Json) {
    Print(JsonReport(StopReasonText(reason), steps, options, Messages));
  } else {
    PrintState(reason, steps, options);
  }
  std::fflush(stdout);

  while (!BreakPoints.empty()) delete BreakPoints.back();
  return reason == TStopReason::StepLimit ? ExitStepLimit : ExitStopped;
}

int Main(int argc, char** argv) {
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tavora-run %s\n", TAVORA_VERSION);
      return ExitStopped;
    }
  TOptions options;
  try {
    if (!ParseArguments(argc, argv, options)) {
      std::fputs(UsageText, stdout);
      return ExitStopped;
    }
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "tavora-run: %s\n", e.Reason.c_str());
    return ExitUsage;
  }
  return Run(options);
}

}  // namespace runner
