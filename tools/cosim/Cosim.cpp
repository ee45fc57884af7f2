#include "tools/cosim/Cosim.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <optional>
#include <vector>

#include "asm/Program.h"
#include "core/CPU.h"
#include "core/Loader.h"
#include "core/Text.h"
#include "tools/common/CommandLine.h"

extern char** environ;

namespace cosim {

const char* const UsageText =
    "usage: tavora-cosim [options] EXPECTED ACTUAL\n"
    "\n"
    "Compares two commit logs, one line per executed instruction, and prints\n"
    "\"match: N instructions\" or the first instruction where they differ, with\n"
    "its listing line, what each side did and the instructions before it.\n"
    "\n"
    "  EXPECTED  the simulator's log (tavora-run --commit-log), or a program\n"
    "            (.cod, .s or .asm) that tavora-run is run on to write it\n"
    "  ACTUAL    the design's log (hdl/tb.v writes it); - for standard input\n"
    "\n"
    "log lines: STEP PC WORD[ rNN VALUE][ m ADDRESS VALUE]\n"
    "\n"
    "options:\n"
    "  -p, --program         take EXPECTED as a program whatever its name\n"
    "  -n, --max-steps N     run the program at most N instructions; when it\n"
    "                        reaches them: \"step limit reached: N instructions match\"\n"
    "      --testbench FILE  what the testbench hdl/tb.v printed: a port fault it\n"
    "                        found is reported at its step, and why it ended and\n"
    "                        the signals it names when the design's log ends early\n"
    "      --tavora-run PATH the runner to use (default: the tavora-run beside\n"
    "                        this program, else the one on PATH)\n"
    "  -c, --context N       instructions shown before a difference (default 5)\n"
    "  -h, --help            show this help\n"
    "      --version         show the version\n"
    "\n"
    "exit status: 0 match, 1 difference, 2 unreadable input, 64 usage error\n";

namespace {

// ---- reading one line ----

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string Printable(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 80)) out += (c >= 32 && c < 127) ? c : '?';
  if (text.size() > 80) out += "...";
  return out;
}

// Cursor over one line that names what it expected when it fails.
struct TFields {
  std::string_view Text;
  size_t At = 0;
  std::string Error;

  bool Fail(std::string message) {
    Error = std::move(message);
    return false;
  }
  bool AtEnd() const { return At >= Text.size(); }
  std::string_view Rest() const { return Text.substr(std::min(At, Text.size())); }
  // The next field up to a space or the end.
  std::string_view Token() const {
    std::string_view rest = Rest();
    return rest.substr(0, rest.find(' '));
  }
  bool Space(const char* next) {
    if (AtEnd()) return Fail(std::string("the line ends before ") + next);
    if (Text[At] != ' ' || (At + 1 < Text.size() && Text[At + 1] == ' '))
      return Fail(std::string("expected one space before ") + next);
    ++At;
    return true;
  }
  bool Hex(uint32_t& value, const char* what) {
    if (AtEnd()) return Fail(std::string("the line ends before ") + what);
    std::string_view token = Token();
    if (token.size() != 8 || !std::all_of(token.begin(), token.end(), IsHex)) {
      std::string message = std::string(what) + " is not eight hexadecimal digits: '" + Printable(token) + "'";
      // Verilog prints unknown and floating bits as x and z.
      if (token.find_first_of("xXzZ") != std::string_view::npos) message += " (the design drives unknown bits)";
      return Fail(message);
    }
    value = 0;
    for (char c : token) value = value << 4 | uint32_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    At += 8;
    return true;
  }
};

}  // namespace

bool ParseLine(std::string_view text, TLogLine& line, std::string& error) {
  TFields f;
  f.Text = text;
  line = TLogLine();
  auto fail = [&] {
    error = f.Error;
    return false;
  };
  if (text.empty()) {
    error = "empty line";
    return false;
  }
  std::string_view step = f.Token();
  if (step.empty() || step.size() > 19 ||
      !std::all_of(step.begin(), step.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    error = "the step is not a decimal number: '" + Printable(step) + "'";
    return false;
  }
  for (char c : step) line.Step = line.Step * 10 + uint64_t(c - '0');
  f.At = step.size();
  if (!f.Space("the pc") || !f.Hex(line.Pc, "the pc") || !f.Space("the word") || !f.Hex(line.Word, "the word"))
    return fail();
  if (f.Rest().substr(0, 2) == " r") {
    f.At += 2;
    std::string_view reg = f.Token();
    if (reg.size() != 2 || !std::isdigit(static_cast<unsigned char>(reg[0])) ||
        !std::isdigit(static_cast<unsigned char>(reg[1]))) {
      error = "the register number is not two decimal digits: 'r" + Printable(reg) + "'";
      return false;
    }
    line.Reg = (reg[0] - '0') * 10 + (reg[1] - '0');
    if (line.Reg < 1 || line.Reg > 31) {
      error = "register r" + std::string(reg) + " out of range r01..r31 (writes to R0 are not logged)";
      return false;
    }
    f.At += 2;
    if (!f.Space("the register value") || !f.Hex(line.RegValue, "the register value")) return fail();
  }
  if (f.Rest().substr(0, 2) == " m") {
    f.At += 2;
    line.Store = true;
    if (!f.Space("the store address") || !f.Hex(line.Address, "the store address") || !f.Space("the stored value") ||
        !f.Hex(line.Value, "the stored value"))
      return fail();
  }
  if (!f.AtEnd()) {
    error = "unexpected text after the fields: '" + Printable(f.Rest()) + "'";
    return false;
  }
  return true;
}

std::string FormatLine(const TLogLine& line) {
  std::string text = std::to_string(line.Step) + " " + HexText(line.Pc, 8) + " " + HexText(line.Word, 8);
  if (line.Reg) text += " r" + TwoDigits(line.Reg) + " " + HexText(line.RegValue, 8);
  if (line.Store) text += " m " + HexText(line.Address, 8) + " " + HexText(line.Value, 8);
  return text;
}

bool IsProgramName(std::string_view name) {
  auto endsWith = [&](std::string_view suffix) {
    if (name.size() <= suffix.size()) return false;
    std::string_view tail = name.substr(name.size() - suffix.size());
    for (size_t i = 0; i < tail.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(tail[i])) != suffix[i]) return false;
    return true;
  };
  return endsWith(".cod") || endsWith(".s") || endsWith(".asm");
}

void TTestbench::Add(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.substr(0, 4) != "tb: ") return;  // the design's own output
  std::string_view rest = line.substr(4);
  auto text = [](std::string_view t) {
    std::string out;
    for (char c : t.substr(0, 300)) out += (c >= 32 && c < 127) ? c : '?';
    return out;
  };
  if (rest.substr(0, 2) == "  ") {
    if (InFault && Details.size() < 10) Details.push_back(text(rest.substr(2)));
    return;
  }
  InFault = false;
  constexpr std::string_view FaultAt = "fault at step ", InCycle = " in cycle ";
  if (rest.substr(0, FaultAt.size()) == FaultAt) {
    std::string_view after = rest.substr(FaultAt.size());
    const size_t cycle = after.find(InCycle), colon = after.find(": ");
    uint64_t step = 0;
    bool digits = cycle > 0 && cycle != std::string_view::npos && cycle < 20 && colon != std::string_view::npos &&
                  colon > cycle + InCycle.size();
    for (size_t i = 0; digits && i < cycle; ++i) {
      digits = after[i] >= '0' && after[i] <= '9';
      step = step * 10 + uint64_t(after[i] - '0');
    }
    if (digits && step > 0 && FaultStep == 0) {
      FaultStep = step;
      FaultCycle = text(after.substr(cycle + InCycle.size(), colon - cycle - InCycle.size()));
      Fault = text(after.substr(colon + 2));
      InFault = true;
    }
    return;
  }
  constexpr std::string_view LookAtPrefix = "look at: ";
  if (rest.substr(0, LookAtPrefix.size()) == LookAtPrefix) {
    if (LookAt.size() < 10) LookAt.push_back(text(rest.substr(LookAtPrefix.size())));
    return;
  }
  // What it used, printed at the start.
  for (std::string_view start : {"memory file ", "+base=", "waveform "})
    if (rest.substr(0, start.size()) == start) return;
  End = text(rest);
}

namespace {

// ---- the two logs ----

enum class TRead { Line, End, Bad };

class TLogSource {
 public:
  TLogSource(std::string name, std::FILE* file) : Name(std::move(name)), File(file) {}
  virtual ~TLogSource() {
    if (File && File != stdin) std::fclose(File);
  }
  TLogSource(const TLogSource&) = delete;
  TLogSource& operator=(const TLogSource&) = delete;

  // The next line; steps must count up from 1.
  TRead Read(TLogLine& line, std::string& error) {
    std::string text;
    bool ended = false;
    for (;;) {
      int c = getc_unlocked(File);
      if (c == EOF) {
        ended = text.empty();
        break;
      }
      if (c == '\n') break;
      if (text.size() > 200) {
        error = Where(LineNo + 1) + "line longer than 200 characters: '" + Printable(text) + "'";
        return TRead::Bad;
      }
      text += char(c);
    }
    if (std::ferror(File)) {
      error = "cannot read " + Name + ": " + std::strerror(errno);
      return TRead::Bad;
    }
    if (ended) return TRead::End;
    ++LineNo;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (!ParseLine(text, line, error)) {
      error = Where(LineNo) + error;
      return TRead::Bad;
    }
    if (line.Step != LineNo) {
      error = Where(LineNo) + "step " + std::to_string(line.Step) + " where step " + std::to_string(LineNo) +
              " was due (steps count from 1, one line each)";
      return TRead::Bad;
    }
    return TRead::Line;
  }
  // After the last line: false with a reason when whatever wrote the log
  // failed.
  virtual bool Finish(std::string&) { return true; }
  // After Finish: the log ended because the run reached its step limit.
  virtual bool AtStepLimit() const { return false; }
  // Stops whatever is still writing the log.
  virtual void Abandon() {}

  const std::string Name;

 protected:
  std::string Where(uint64_t line) const { return Name + ":" + std::to_string(line) + ": "; }
  std::FILE* File;
  uint64_t LineNo = 0;
};

// The simulator's log, read from tavora-run as it runs.
class TRunnerSource : public TLogSource {
 public:
  TRunnerSource(std::string name, std::FILE* file, pid_t child, std::string program)
      : TLogSource(std::move(name), file), Child(child), Program(std::move(program)) {}
  ~TRunnerSource() override { Abandon(); }

  bool Finish(std::string& error) override {
    int status = Wait();
    if (status == 0 || status == 3) return true;  // stopped by itself, or at the step limit
    if (status == 2)
      error = "tavora-run could not load " + Program + " (its message is above)";
    else
      error = "tavora-run failed on " + Program + " (exit status " + std::to_string(status) + ")";
    return false;
  }
  void Abandon() override {
    if (Child <= 0) return;
    kill(Child, SIGTERM);
    Wait();
  }
  bool AtStepLimit() const override { return Status == 3; }

 private:
  int Wait() {
    if (Child <= 0) return Status;
    int status = 0;
    while (waitpid(Child, &status, 0) < 0 && errno == EINTR) {}
    Child = -1;
    Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return Status;
  }
  pid_t Child;
  int Status = -1;
  std::string Program;
};

std::string OwnDirectory() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.parent_path().string();
}

// The runner beside this program (installed), or in the build tree's
// tools/run; empty to search PATH.
std::string FindRunner() {
  std::string dir = OwnDirectory();
  if (dir.empty()) return {};
  for (const char* candidate : {"/tavora-run", "/../run/tavora-run"}) {
    std::string path = dir + candidate;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

std::unique_ptr<TLogSource> StartRunner(const TOptions& options, std::string& error) {
  std::string runner = options.Runner.empty() ? FindRunner() : options.Runner;
  const bool searchPath = runner.empty();
  if (searchPath) runner = "tavora-run";

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return nullptr;
  }
  // The child writes its log to descriptor 3; keep the pipe's own
  // descriptors clear of it so the dup2 below really copies.
  for (int& fd : fds) {
    if (fd <= 3) {
      int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
      close(fd);
      fd = moved;
    }
  }
  std::vector<std::string> args = {runner, "--commit-log", "/dev/fd/3"};
  if (options.MaxSteps) {
    args.push_back("--max-steps");
    args.push_back(std::to_string(options.MaxSteps));
  }
  args.push_back("--");
  args.push_back(options.Expected);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  pid_t pid = -1;
  int rc = searchPath ? posix_spawnp(&pid, runner.c_str(), &actions, nullptr, argv.data(), environ)
                      : posix_spawn(&pid, runner.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    error = "cannot start " + runner + ": " + std::strerror(rc) + " (give its place with --tavora-run)";
    return nullptr;
  }
  std::FILE* file = fdopen(fds[0], "r");
  if (!file) {
    close(fds[0]);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    error = "cannot read from tavora-run";
    return nullptr;
  }
  return std::make_unique<TRunnerSource>("simulator log of " + options.Expected, file, pid, options.Expected);
}

std::unique_ptr<TLogSource> OpenLog(const std::string& name, std::string& error) {
  if (name == "-") return std::make_unique<TLogSource>("standard input", stdin);
  std::error_code ec;
  if (std::filesystem::is_directory(name, ec)) {
    error = "cannot read " + name + ": it is a directory";
    return nullptr;
  }
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) {
    error = "cannot read " + name + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<TLogSource>(name, file);
}

// ---- what a log line leaves out ----

// What an instruction does besides what its log line shows: a write to R0,
// which the processor drops, and the address it loads from or stores to.
struct TNote {
  bool DropsR0 = false;
  bool R0Known = true;  // false: a load whose word is not known here
  uint32_t R0Value = 0;
  bool Access = false, Load = false;
  uint32_t Address = 0;
};

// The processor as the simulator's log leaves it, step by step: the
// loader's start registers with every logged write, and, when the program
// could be loaded here too, its memory with every logged store.
class TMachine {
 public:
  TMachine() { Regs[30] = uint32_t(HeaderAddress); }

  void LoadImage(const std::string& program) {
    try {
      const TAsmResult assembly = LoadAnyProgram(program, false);
      HaveImage = IsSourceName(program) ? assembly.Ok() : !ProgramLines.empty();
    } catch (const TFileOpenError&) {
      HaveImage = false;  // the runner says why
    }
    Low = TheMemory.LowBound();
    High = TheMemory.HighBound();
  }

  // What the line's instruction does, before it executes.
  TNote NoteOf(const TLogLine& line) const {
    TNote note;
    struct TProbe {
      const TMachine& Machine;
      TNote& Note;
      uint32_t Pc;
      uint32_t PC() const { return Pc; }
      void SetPC(uint32_t v) { Pc = v; }
      uint32_t Reg(int i) const { return i == 0 ? 0 : Machine.Regs[i]; }
      void SetReg(int i, uint32_t v) {
        if (i != 0) return;
        Note.DropsR0 = true;
        Note.R0Value = v;
        Note.R0Known = !Note.Load || Machine.HaveImage;
      }
      uint32_t Load(int32_t address) {
        Note.Access = Note.Load = true;
        Note.Address = uint32_t(address);
        return Machine.HaveImage ? TheMemory.ReadWord(address) : 0;
      }
      void Store(int32_t address, uint32_t) {
        Note.Access = true;
        Note.Address = uint32_t(address);
      }
    } probe{*this, note, line.Pc};
    ExecuteWord(probe, line.Word);
    return note;
  }

  void Apply(const TLogLine& line) {
    if (line.Reg) Regs[line.Reg] = line.RegValue;
    if (line.Store && HaveImage) TheMemory.WriteWord(int32_t(line.Address), line.Value);
  }

  // Where an address lies when no word is there: "" when one is, or when
  // the program's memory is not known here.
  std::string Place(uint32_t address) const {
    if (!HaveImage || TheMemory.FindWord(int32_t(address), false) >= 0) return {};
    return int64_t(int32_t(address)) >= Low && int64_t(int32_t(address)) < High ? "in a gap between sections"
                                                                                : "outside every section";
  }

 private:
  uint32_t Regs[32] = {};
  bool HaveImage = false;
  int64_t Low = 0, High = 0;
};

// A line of the simulator's log with what it leaves out.
struct TStep {
  TLogLine Line;
  TNote Note;
};

// ---- the report ----

std::string Listing(const TLogLine& line) { return TheCPU.ListingText(int32_t(line.Pc), line.Word); }

std::string Effect(const TLogLine& line, const TNote& note) {
  std::string text;
  if (line.Reg) {
    text = "R" + TwoDigits(line.Reg) + " := $" + HexText(line.RegValue, 8);
  } else if (note.DropsR0) {
    text = "R00 := " + (note.R0Known ? "$" + HexText(note.R0Value, 8) : "the word at $" + HexText(note.Address, 8)) +
           " (dropped by the processor)";
  }
  if (line.Store) {
    if (!text.empty()) text += ", ";
    text += "[$" + HexText(line.Address, 8) + "] := $" + HexText(line.Value, 8);
  }
  return text.empty() ? "no register or memory write" : text;
}

// What differs first, in the order a reader checks a line; previous is the
// step before, where both agreed.
std::string Headline(const TLogLine& sim, const TLogLine& design, const TLogLine* previous) {
  const auto same = [](const TLogLine& a, const TLogLine& b) { return a.Pc == b.Pc && a.Word == b.Word; };
  if (previous && same(design, *previous) && !same(sim, *previous))
    return "the design retired the instruction at $" + HexText(design.Pc, 8) + " again: a possible double retire";
  if (sim.Pc != design.Pc) return "the design executed another address";
  if (sim.Word != design.Word) return "the design executed another word at the same address";
  if (sim.Reg != design.Reg || sim.RegValue != design.RegValue) {
    if (!design.Reg) return "the design wrote no register";
    if (!sim.Reg) return "the design wrote a register the simulator did not";
    if (sim.Reg != design.Reg) return "the design wrote another register";
    return "the design wrote another value";
  }
  if (!design.Store) return "the design stored nothing";
  if (!sim.Store) return "the design stored a word the simulator did not";
  if (sim.Address != design.Address) return "the design stored at another address";
  return "the design stored another value";
}

// What the report shows about one step. A fault the testbench found
// stands in for the design's line (its log stops before the step).
struct TDifference {
  uint64_t Step = 0;
  std::string Headline;
  const TLogLine* Sim = nullptr;
  const TLogLine* Design = nullptr;
  const TTestbench* Fault = nullptr;
  const TTestbench* Ending = nullptr;  // why the testbench ended, when its log ends early
};

void PrintDifference(std::FILE* out, const TDifference& d, const std::deque<TStep>& before, const TMachine& machine) {
  std::fprintf(out, "difference at step %llu: %s\n", static_cast<unsigned long long>(d.Step), d.Headline.c_str());
  // Without a line on either side only a fault is left to show.
  const TLogLine* shown = d.Sim ? d.Sim : d.Design;
  if (shown) std::fprintf(out, "  instruction  %s\n", Listing(*shown).c_str());
  auto side = [&](const char* who, const TLogLine* line, const char* none) {
    if (!line) {
      std::fprintf(out, "  %-11s  %s\n", who, none);
      return;
    }
    std::string what = Effect(*line, machine.NoteOf(*line));
    if (line->Pc != shown->Pc || line->Word != shown->Word) what = Listing(*line) + "  ->  " + what;
    std::fprintf(out, "  %-11s  %s\n", who, what.c_str());
    std::fprintf(out, "  %-11s  %s\n", "", FormatLine(*line).c_str());
  };
  side("simulator", d.Sim, "(its log ends: it stopped before this step)");
  if (!d.Fault) side("design", d.Design, "(its log ends: it did not execute this step)");
  // An address where no section loaded anything reads like a load or
  // program-counter fault; say so.
  auto place = [&](uint32_t address, const char* what) {
    const std::string where = machine.Place(address);
    if (!where.empty())
      std::fprintf(out, "  %-11s  $%s, %s, is %s: nothing is loaded there, it reads $ffffffff until stored to\n",
                   "note", HexText(address, 8).c_str(), what, where.c_str());
  };
  if (d.Sim && d.Design && d.Design->Pc != d.Sim->Pc) place(d.Design->Pc, "where the design went");
  if (shown) {
    const TNote note = machine.NoteOf(*shown);
    if (note.Access) place(note.Address, note.Load ? "which the instruction loads" : "where the instruction stores");
  }
  if (d.Design && d.Design->Store && (!d.Sim || !d.Sim->Store || d.Sim->Address != d.Design->Address))
    place(d.Design->Address, "where the design stored");
  if (d.Fault) {
    const std::vector<std::string>& details = d.Fault->Details;
    std::fprintf(out, "  %-11s  in cycle %s%s%s\n", "design", d.Fault->FaultCycle.c_str(), details.empty() ? "" : ": ",
                 details.empty() ? "" : details[0].c_str());
    for (size_t i = 1; i < details.size(); ++i) std::fprintf(out, "  %-11s  %s\n", "", details[i].c_str());
  }
  if (!before.empty()) {
    std::fprintf(out, "before it:\n");
    for (const TStep& step : before)
      std::fprintf(out, "  %6llu  %-44s %s\n", static_cast<unsigned long long>(step.Line.Step),
                   Listing(step.Line).c_str(), Effect(step.Line, step.Note).c_str());
  }
  if (const TTestbench* tb = d.Fault ? d.Fault : d.Ending) {
    std::fprintf(
        out, "testbench: %s\n",
        tb->End.empty() ? "it printed no reason for its end (did the design call $finish or $stop?)" : tb->End.c_str());
    for (const std::string& signal : tb->LookAt) std::fprintf(out, "  look at: %s\n", signal.c_str());
  }
}

// Reads what the testbench printed, a line at a time: the design's own
// output in it may be long.
bool ReadTestbench(const std::string& name, TTestbench& tb, std::string& error) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  std::error_code ec;
  if (!file || std::filesystem::is_directory(name, ec)) {
    error = "cannot read the testbench's output " + name + ": " + (file ? "it is a directory" : std::strerror(errno));
    if (file) std::fclose(file);
    return false;
  }
  std::string line;
  for (int c; (c = getc_unlocked(file)) != EOF;) {
    if (c != '\n') {
      if (line.size() < 1000) line += char(c);
      continue;
    }
    tb.Add(line);
    line.clear();
  }
  if (!line.empty()) tb.Add(line);
  const bool failed = std::ferror(file);
  std::fclose(file);
  if (failed) error = "cannot read the testbench's output " + name;
  return !failed;
}

}  // namespace

int Compare(const TOptions& options, std::FILE* out, std::FILE* err) {
  std::string error;
  auto problem = [&](const std::string& text) {
    std::fprintf(err, "tavora-cosim: %s\n", text.c_str());
    return ExitUnreadable;
  };
  if (options.Expected == "-" && options.Actual == "-") return problem("only one log can come from standard input");
  TTestbench bench;
  const TTestbench* tb = nullptr;
  if (!options.Testbench.empty()) {
    if (!ReadTestbench(options.Testbench, bench, error)) return problem(error);
    tb = &bench;
  }
  std::unique_ptr<TLogSource> design = OpenLog(options.Actual, error);
  if (!design) {
    if (tb && !tb->End.empty()) error += " (the testbench: " + tb->End + ")";
    return problem(error);
  }
  std::unique_ptr<TLogSource> sim =
      options.ExpectedIsProgram ? StartRunner(options, error) : OpenLog(options.Expected, error);
  if (!sim) return problem(error);

  TMachine machine;
  if (options.ExpectedIsProgram) machine.LoadImage(options.Expected);
  std::deque<TStep> before;
  TLogLine previous;
  uint64_t matched = 0;
  for (;;) {
    TLogLine s, d;
    TRead rs = sim->Read(s, error);
    if (rs == TRead::Bad) return problem(error);
    TRead rd = design->Read(d, error);
    if (rd == TRead::Bad) return problem(error);
    if (rs == TRead::End && !sim->Finish(error)) return problem(error);

    const uint64_t step = matched + 1;
    // The testbench stops before it logs the step where it found a fault.
    if (rd == TRead::End && tb && tb->FaultStep == step) {
      sim->Abandon();
      TDifference fault{step, tb->Fault, rs == TRead::Line ? &s : nullptr, nullptr, tb, nullptr};
      PrintDifference(out, fault, before, machine);
      return ExitDifference;
    }
    if (rs == TRead::End && rd == TRead::End) {
      if (matched == 0) return problem("both logs are empty: nothing to compare");
      if (sim->AtStepLimit())
        std::fprintf(out, "step limit reached: %llu instructions match\n", static_cast<unsigned long long>(matched));
      else
        std::fprintf(out, "match: %llu instructions\n", static_cast<unsigned long long>(matched));
      return ExitMatch;
    }
    if (rs == TRead::End || rd == TRead::End || !(s == d)) {
      sim->Abandon();
      std::string headline = rd == TRead::End   ? "the design's log ends before the simulator's"
                             : rs == TRead::End ? "the design's log goes on after the simulator stopped"
                                                : Headline(s, d, matched ? &previous : nullptr);
      if (matched == 0 && rd == TRead::End) headline += " (" + design->Name + " is empty)";
      if (matched == 0 && rs == TRead::End) headline += " (" + sim->Name + " is empty)";
      TDifference difference{step,
                             headline,
                             rs == TRead::Line ? &s : nullptr,
                             rd == TRead::Line ? &d : nullptr,
                             nullptr,
                             rd == TRead::End ? tb : nullptr};
      PrintDifference(out, difference, before, machine);
      return ExitDifference;
    }
    ++matched;
    previous = s;
    before.push_back({s, machine.NoteOf(s)});
    if (before.size() > size_t(options.Context)) before.pop_front();
    machine.Apply(s);
  }
}

bool ParseArguments(int argc, char** argv, TOptions& options) {
  std::vector<std::string> files;
  bool forceProgram = false;
  auto number = [](const std::string& text, const char* what, int64_t low, int64_t high) {
    int32_t v;
    if (!ParseNumber(text, v) || v < low || v > high) throw TUsageError{"bad " + std::string(what) + " '" + text + "'"};
    return v;
  };
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
      std::fputs(UsageText, stdout);
      return false;
    } else if (arg == "--version") {
      flag();
      std::printf("tavora-cosim %s\n", TAVORA_VERSION);
      return false;
    } else if (arg == "-p" || arg == "--program") {
      flag();
      forceProgram = true;
    } else if (arg == "-n" || arg == "--max-steps") {
      options.MaxSteps = uint64_t(number(value(), "step count", 1, INT32_MAX));
    } else if (arg == "-c" || arg == "--context") {
      options.Context = number(value(), "context", 0, 1000);
    } else if (arg == "--testbench") {
      options.Testbench = value();
      if (options.Testbench.empty()) throw TUsageError{"empty testbench output file name"};
    } else if (arg == "--tavora-run") {
      options.Runner = value();
      if (options.Runner.empty()) throw TUsageError{"empty tavora-run path"};
    } else {
      throw TUsageError{"unknown option '" + arg + "'"};
    }
  }
  if (files.size() != 2)
    throw TUsageError{files.size() < 2 ? "two logs needed: EXPECTED ACTUAL" : "more than two files given"};
  options.Expected = files[0];
  options.Actual = files[1];
  options.ExpectedIsProgram = forceProgram || IsProgramName(options.Expected);
  if (options.ExpectedIsProgram && options.Expected == "-")
    throw TUsageError{"a program cannot come from standard input"};
  if (options.MaxSteps && !options.ExpectedIsProgram) throw TUsageError{"--max-steps needs a program to run"};
  return true;
}

int Main(int argc, char** argv) {
  TOptions options;
  try {
    if (!ParseArguments(argc, argv, options)) return ExitMatch;
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "tavora-cosim: %s\n(tavora-cosim --help shows the usage)\n", e.Reason.c_str());
    return ExitUsage;
  }
  int status = Compare(options, stdout, stderr);
  std::fflush(stdout);
  return status;
}

}  // namespace cosim
