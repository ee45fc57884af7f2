// How our console tools read their command line: options and file names in
// any order, "--" ends the options, "-" alone is a file name (standard
// input or output), and long options also take their value after "=".
// Error is the tool's usage error, built from one line of reason.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Word addresses run from 0 to $ffffffff. Address options are computed in
// 64 bits and checked against this range, so that a value outside is a
// usage error instead of wrapping onto some other word.
constexpr int64_t LastWordAddress = 0xFFFFFFFF;
inline bool IsWordAddress(int64_t value) { return value >= 0 && value <= LastWordAddress; }
inline std::string OutsideAddressesReason(std::string_view what, std::string_view text) {
  return "bad " + std::string(what) + " '" + std::string(text) + "': outside the addresses 0..$ffffffff";
}

template <class Error>
class TCommandLine {
 public:
  TCommandLine(int argc, char** argv) : Argc(argc), Argv(argv) {}

  // Moves to the next argument; false at the end. Then either IsFile() and
  // Arg() is the name, or Arg() is the option without any "=value".
  bool Next() {
    if (++Index >= Argc) return false;
    Current = Argv[Index];
    InlineValue.reset();
    File = OptionsEnded || Current.empty() || Current[0] != '-' || Current == "-";
    if (!File && Current == "--") {
      OptionsEnded = true;
      return Next();
    }
    if (!File && Current.rfind("--", 0) == 0) {
      if (size_t eq = Current.find('='); eq != std::string::npos) {
        InlineValue = Current.substr(eq + 1);
        Current.resize(eq);
      }
    }
    return true;
  }
  bool IsFile() const { return File; }
  const std::string& Arg() const { return Current; }

  // The option's value: after "=", or the next argument.
  std::string Value() {
    if (InlineValue) return *InlineValue;
    if (Index + 1 >= Argc) throw Error{"option " + Current + " needs a value"};
    return Argv[++Index];
  }
  // The option takes no value.
  void Flag() const {
    if (InlineValue) throw Error{"option " + Current + " takes no value"};
  }

 private:
  int Argc;
  char** Argv;
  int Index = 0;
  std::string Current;
  std::optional<std::string> InlineValue;
  bool File = false;
  bool OptionsEnded = false;
};
