// The browser edition's view of the simulator: a thin C interface over the
// same libraries the desktop debugger and the runner use, called from the
// page's Web Worker. Every call returns JSON text (valid until the next
// call); the worker owns the one machine, the page only asks and draws.
//
// Reads for display (listing lines, inspector words) leave the memory's
// cached block as it was, so what a page shows never changes what a
// program computes where blocks overlap.
#include <emscripten/emscripten.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "asm/Assembler.h"
#include "asm/Program.h"
#include "asm/SourceView.h"
#include "breakpoints/BreakPoint.h"
#include "breakpoints/Run.h"
#include "core/CPU.h"
#include "core/Instructions.h"
#include "core/Loader.h"

using json = nlohmann::json;

namespace {

std::string Reply;

const char* Answer(const json& value) {
  Reply = value.dump(-1, ' ', false, json::error_handler_t::replace);
  return Reply.c_str();
}

// What the loader and the assembler said since the last call.
std::vector<std::string> Messages;
std::string Caption;

// The symbols and source lines of the last source assembled without errors.
struct TSource {
  std::string Name;
  TAsmSymbols Symbols;
  TLabelIndex Labels;
  std::vector<std::string> Lines;
  std::string Cod;
};
std::unique_ptr<TSource> Source;

uint64_t Steps = 0;  // instructions executed since the last reset

void AttachHooks() {
  DisplayHooks = TDisplayHooks{};
  DisplayHooks.ShowMessage = [](const std::string& text) { Messages.push_back(text); };
  DisplayHooks.CaptionChanged = [](const std::string& caption) { Caption = caption; };
}

json TakeMessages() {
  json list = json::array();
  for (const std::string& m : Messages) list.push_back(m);
  Messages.clear();
  return list;
}

// Looks memory up for display and puts the cache back afterwards.
class TQuietReads {
 public:
  TQuietReads() : Saved(TheMemory.SaveCache()) {}
  ~TQuietReads() { TheMemory.RestoreCache(Saved); }

 private:
  TMemory::TCacheState Saved;
};

json Status(const char* stop) {
  json status = {{"steps", Steps}, {"pc", uint32_t(TheState.GetReg(-1))}};
  status["stop"] = stop ? json(stop) : json(nullptr);
  return status;
}

json DiagnosticJson(const std::string& file, const TAsmDiagnostic& d) {
  return {{"line", d.Line},
          {"column", d.Column},
          {"severity", d.Severity == TAsmSeverity::Error ? "error" : "warning"},
          {"message", d.Message},
          {"text", DiagnosticText(file, d)}};
}

std::string BaseName(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  return base.empty() ? std::string("quelltext.s") : base;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* tv_init() {
  AttachHooks();
  BuildImage();
  Steps = 0;
  json mnemonics = json::array();
  for (const TInstruction& i : Instructions)
    if (!i.Alias) mnemonics.push_back(std::string(i.Mnemonic));
  for (std::string_view p : AsmPseudoInstructions) mnemonics.push_back(std::string(p));
  json directives = json::array();
  for (std::string_view d : AsmDirectives) directives.push_back(std::string(d));
  return Answer({{"version", TAVORA_VERSION},
                 {"mnemonics", mnemonics},
                 {"directives", directives},
                 {"maxFileBytes", MaxFileBytes},
                 {"idleLoopWord", IdleLoopWord},
                 {"caption", Caption},
                 {"messages", TakeMessages()}});
}

// Loads a source (.s, .asm) or an image (.cod and anything else) as the
// debugger's open action does, from text instead of a file. A source with
// errors changes nothing; the image that is loaded is reset.
EMSCRIPTEN_KEEPALIVE const char* tv_load(const char* name, const char* text, int length) {
  const std::string file = BaseName(name);
  const std::string path = "/tmp/" + file;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text, length);
  }
  json result = {{"kind", IsSourceName(file) ? "source" : "image"}};
  json diagnostics = json::array();
  bool ok = true;
  try {
    std::string source;
    const TAsmResult assembled = LoadAnyProgram(path, false, &source);
    for (const TAsmDiagnostic& d : assembled.Diagnostics) diagnostics.push_back(DiagnosticJson(file, d));
    ok = assembled.Ok();
    if (IsSourceName(file) && ok) {
      auto next = std::make_unique<TSource>();
      next->Name = file;
      next->Symbols = assembled.Symbols;
      next->Labels = LabelsByAddress(next->Symbols);
      next->Lines = SourceLines(source);
      next->Cod = CodText(assembled);
      Source = std::move(next);
    } else if (!IsSourceName(file)) {
      Source.reset();
    }
    if (ok) Steps = 0;
  } catch (const TFileOpenError&) {
    Messages.push_back("Datei " + file + " kann nicht geöffnet werden");
    ok = false;
  } catch (const std::bad_alloc&) {
    ProgramLines.Clear();
    BuildImage();
    Messages.push_back(InvalidFileMessage);
  }
  std::remove(path.c_str());
  result["ok"] = ok;
  result["diagnostics"] = diagnostics;
  // The loader refused the contents and put the default image in place.
  result["invalid"] = std::find(Messages.begin(), Messages.end(), InvalidFileMessage) != Messages.end();
  result["messages"] = TakeMessages();
  result["caption"] = Caption;
  json symbols = json::array();
  if (Source)
    for (const TAsmSymbol& s : Source->Symbols.Symbols)
      symbols.push_back({{"name", s.Name}, {"value", s.Value}, {"line", s.Line}, {"label", s.Label}});
  result["symbols"] = symbols;
  return Answer(result);
}

// Puts a file beside the sources the page loads, so that an .include of
// its relative path finds it (the examples' library). Only a plain relative
// path of names is taken; false otherwise or when it cannot be written.
EMSCRIPTEN_KEEPALIVE int tv_put_file(const char* path, const char* text, int length) {
  const std::string relative = path;
  if (relative.empty() || relative.size() > 200 || relative.front() == '/' || relative.back() == '/') return 0;
  std::string folder = "/tmp";
  size_t start = 0;
  while (true) {
    const size_t slash = relative.find('/', start);
    const std::string part = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty() || part == "." || part == "..") return 0;
    if (slash == std::string::npos) break;
    folder += "/" + part;
    mkdir(folder.c_str(), 0777);
    start = slash + 1;
  }
  std::ofstream out("/tmp/" + relative, std::ios::binary | std::ios::trunc);
  out.write(text, length);
  return out.good() ? 1 : 0;
}

// The image text of the last source assembled without errors ("" for none).
EMSCRIPTEN_KEEPALIVE const char* tv_cod() {
  Reply = Source ? Source->Cod : std::string();
  return Reply.c_str();
}

// Zurücksetzen: builds the held image again and resets the processor.
EMSCRIPTEN_KEEPALIVE const char* tv_reset() {
  BuildImage();
  Steps = 0;
  return Answer({{"messages", TakeMessages()}, {"caption", Caption}});
}

// Einzelschritt: one instruction, then the breakpoints, whose counters
// advance as in a run; the result is not a stop.
EMSCRIPTEN_KEEPALIVE const char* tv_step() {
  StepDisplayed([] { ++Steps; });
  return Answer(Status(nullptr));
}

// Schnell ausführen, one slice: runs until a stop, `maxSteps` more steps
// (0: no limit) or about `sliceMs` milliseconds ("interrupted"; the next
// slice goes on where this one ended, as a resumed run does).
EMSCRIPTEN_KEEPALIVE const char* tv_run_fast(double maxSteps, double sliceMs) {
  const double deadline = emscripten_get_now() + sliceMs;
  uint64_t steps = 0;
  const TStopReason reason = RunFast(
      uint64_t(maxSteps), steps, [deadline] { return emscripten_get_now() >= deadline; }, 14);
  Steps += steps;
  return Answer(Status(StopReasonText(reason)));
}

// Starten, one batch of at most `count` steps in the order of the display
// run: the step, its breakpoints, then the stop opcode and the idle loop.
// The batch also ends, without a stop, after a step that leaves the program
// counter outside `low`..`high` (signed), so the page can move the code view
// exactly where the desktop's view would follow the counter.
// null: the batch ended without a stop.
EMSCRIPTEN_KEEPALIVE const char* tv_run_display(int count, double low, double high) {
  const int32_t lo = int32_t(int64_t(low)), hi = int32_t(int64_t(high));
  if (count <= 0) return Answer(Status(nullptr));
  int left = count;
  auto shown = [] {
    ++Steps;
    return false;
  };
  auto more = [&] {
    const int32_t pc = TheState.GetReg(-1);
    return --left > 0 && pc >= lo && pc <= hi;
  };
  const TStopReason reason = RunDisplayed(
      shown, [] { return false; }, more);
  return Answer(Status(reason == TStopReason::Interrupted ? nullptr : StopReasonText(reason)));
}

// The program counter, R0..R31, which registers carry a watch and the
// next-instruction line.
EMSCRIPTEN_KEEPALIVE const char* tv_state() {
  json regs = json::array(), watched = json::array();
  for (int i = 0; i < 32; ++i) {
    regs.push_back(uint32_t(TheState.GetReg(i)));
    watched.push_back(FindByRegister(i) != nullptr);
  }
  std::string next = "---";
  if (TheState.NextValid) {
    next = TheCPU.ListingText(TheState.NextAddress, TheState.NextWord);
    if (Source) NameBranchTarget(next, Source->Labels);
  }
  return Answer(
      {{"pc", uint32_t(TheState.GetReg(-1))}, {"regs", regs}, {"watched", watched}, {"next", next}, {"steps", Steps}});
}

// index -1 is the program counter, 0..31 the general registers.
EMSCRIPTEN_KEEPALIVE void tv_set_reg(int index, double value) {
  if (index < -1 || index > 31) return;
  TheState.SetReg(index, int32_t(uint32_t(uint64_t(value))));
}

// `lines` lines of the code view from `top` on: with `symbols`, a label of
// the loaded source takes a line of its own above its word and branches
// name their target; with `source`, each word's source line follows.
EMSCRIPTEN_KEEPALIVE const char* tv_listing(double top, int lines, int symbols, int source) {
  TQuietReads quiet;
  json list = json::array();
  const bool labels = symbols && Source && !Source->Labels.empty();
  uint32_t a = uint32_t(int64_t(top));
  bool labelDone = false;
  for (int row = 0; row < lines; ++row) {
    const int32_t address = int32_t(a);
    if (labels && !labelDone) {
      if (auto it = Source->Labels.find(address); it != Source->Labels.end()) {
        list.push_back({{"address", a}, {"label", it->second}});
        labelDone = true;
        continue;
      }
    }
    std::string text = TheCPU.ListingLine(address);
    if (Source && symbols) NameBranchTarget(text, Source->Labels);
    if (Source && source) {
      const uint32_t number = Source->Symbols.LineAt(address);
      if (number > 0 && number <= Source->Lines.size()) AppendSourceLine(text, Source->Lines[number - 1]);
    }
    list.push_back({{"address", a},
                    {"text", text},
                    {"line", Source ? Source->Symbols.LineAt(address) : 0},
                    {"breakpoint", FindByInstruction(address) != nullptr}});
    ++a;
    labelDone = false;
  }
  return Answer(list);
}

// `count` words from `address` on, and which of them carry a watch.
EMSCRIPTEN_KEEPALIVE const char* tv_words(double address, int count) {
  TQuietReads quiet;
  json words = json::array(), watched = json::array();
  const uint32_t start = uint32_t(int64_t(address));
  for (int i = 0; i < count; ++i) {
    const int32_t a = int32_t(start + uint32_t(i));
    words.push_back(TheMemory.ReadWord(a));
    watched.push_back(FindByMemory(a) != nullptr);
  }
  return Answer({{"words", words}, {"watched", watched}});
}

// A word typed into an inspector: stored as the program would store it.
EMSCRIPTEN_KEEPALIVE void tv_write_word(double address, double value) {
  TheMemory.WriteWord(int32_t(uint32_t(int64_t(address))), uint32_t(uint64_t(value)));
}

// Every breakpoint with its fields and its list row's texts.
EMSCRIPTEN_KEEPALIVE const char* tv_breakpoints() {
  json list = json::array();
  for (const TBreakPoint* bp : BreakPoints)
    list.push_back({{"useInstruction", bp->UseInstruction},
                    {"instruction", uint32_t(bp->Instruction)},
                    {"lockPosition", bp->LockPosition},
                    {"position", uint32_t(bp->Position)},
                    {"lockRegister", bp->LockRegister},
                    {"register", bp->Register},
                    {"lockValue", bp->LockValue},
                    {"value", bp->Value},
                    {"useCount", bp->UseCount},
                    {"maxCount", bp->MaxCount},
                    {"actCount", bp->ActCount},
                    {"caption", bp->Caption()},
                    {"counter", bp->SubItem(0)},
                    {"limit", bp->SubItem(1)},
                    {"condition", bp->SubItem(2)}});
  return Answer(list);
}

// Creates (index -1 or past the end) or rewrites the breakpoint at index.
EMSCRIPTEN_KEEPALIVE int tv_bp_put(int index, int useInstruction, double instruction, int lockPosition, double position,
                                   int lockRegister, int reg, int lockValue, double value, int useCount, int maxCount,
                                   int actCount) {
  TBreakPoint* bp = index >= 0 && size_t(index) < BreakPoints.size() ? BreakPoints[size_t(index)] : new TBreakPoint;
  bp->UseInstruction = useInstruction != 0;
  bp->Instruction = int32_t(uint32_t(int64_t(instruction)));
  bp->LockPosition = lockPosition != 0;
  bp->Position = int32_t(uint32_t(int64_t(position)));
  bp->LockRegister = lockRegister != 0 && !bp->LockPosition;
  bp->Register = reg & 31;
  bp->LockValue = lockValue != 0;
  bp->Value = uint32_t(uint64_t(value));
  bp->UseCount = useCount != 0;
  bp->MaxCount = maxCount;
  bp->ActCount = actCount;
  bp->UpdateView();
  return int(std::find(BreakPoints.begin(), BreakPoints.end(), bp) - BreakPoints.begin());
}

EMSCRIPTEN_KEEPALIVE void tv_bp_delete(int index) {
  if (index >= 0 && size_t(index) < BreakPoints.size()) delete BreakPoints[size_t(index)];
}

EMSCRIPTEN_KEEPALIVE void tv_bp_clear() {
  while (!BreakPoints.empty()) delete BreakPoints.back();
}

// The mouse toggles: 0 an instruction address, 1 a memory word, 2 a
// register. True when a breakpoint was created, false when one was freed.
EMSCRIPTEN_KEEPALIVE int tv_toggle(int kind, double key) {
  const int32_t k = int32_t(uint32_t(int64_t(key)));
  switch (kind) {
    case 0: return ToggleInstruction(k);
    case 1: return ToggleMemoryWatch(k);
    case 2: return k >= 0 && k <= 31 ? ToggleRegisterWatch(k) : 0;
    default: return 0;
  }
}

// A number or an expression over the loaded source's labels, as "Gehe zu
// Adresse" reads it; the value is a word address.
EMSCRIPTEN_KEEPALIVE const char* tv_evaluate(const char* text) {
  const TAsmSymbols none;
  int64_t value = 0;
  std::string error;
  if (!EvaluateExpression(text, Source ? Source->Symbols : none, value, error))
    return Answer({{"ok", false}, {"error", error}});
  if (value < INT32_MIN || value > int64_t(UINT32_MAX))
    return Answer({{"ok", false}, {"error", "outside the addresses 0..$ffffffff"}});
  return Answer({{"ok", true}, {"value", uint32_t(uint64_t(value))}});
}

}  // extern "C"
