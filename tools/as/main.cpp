// tavora-as: assembles a source in the code view's language into a .cod
// image that the debugger, the runner and brennel all read.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "asm/Assembler.h"
#include "asm/Program.h"
#include "core/Loader.h"
#include "tools/common/OutputFile.h"

namespace {

constexpr int ExitDone = 0;
constexpr int ExitNoSource = 1;
constexpr int ExitSourceErrors = 2;
constexpr int ExitNoOutput = 3;
constexpr int ExitUsage = 64;

const char* const UsageText =
    "usage: tavora-as [-o OUT.cod] [-l] SOURCE\n"
    "\n"
    "Assembles SOURCE (written as the debugger's code view shows instructions,\n"
    "with pseudo-instructions, macros and .include) into a .cod image. Without\n"
    "-o the image goes beside SOURCE, with .cod in place of its extension;\n"
    "-o - writes it to standard output. SOURCE - reads standard input (then -o\n"
    "is needed; .include is then relative to the working folder).\n"
    "\n"
    "options:\n"
    "  -o OUT     write the image to OUT (never to SOURCE itself)\n"
    "  -l         print a listing: each source line beside its addresses and words,\n"
    "             expansions under their line, then the symbol table\n"
    "  -h, --help show this help\n"
    "  --version  show the version\n"
    "\n"
    "exit status: 0 done; 1 SOURCE cannot be read; 2 errors in SOURCE (no image\n"
    "is written); 3 the image or the listing cannot be written; 64 usage error\n";

int Usage(const std::string& reason) {
  std::fprintf(stderr, "tavora-as: %s\n(tavora-as -h shows the usage)\n", reason.c_str());
  return ExitUsage;
}

std::string DefaultOutput(const std::string& source) {
  std::filesystem::path p(source);
  p.replace_extension(".cod");
  return p.string();
}

bool WriteAll(FILE* f, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output, source;
  bool listing = false, outputGiven = false, optionsEnded = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      files.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(UsageText, stdout);
      return ExitDone;
    } else if (arg == "--version") {
      std::printf("tavora-as %s\n", TAVORA_VERSION);
      return ExitDone;
    } else if (arg == "-l") {
      listing = true;
    } else if (arg == "-o" || arg.rfind("-o", 0) == 0) {
      if (outputGiven) return Usage("-o given twice");
      if (arg.size() > 2) {
        output = arg.substr(2);
      } else {
        if (i + 1 >= argc) return Usage("option -o needs a file name");
        output = argv[++i];
      }
      if (output.empty()) return Usage("option -o needs a file name");
      outputGiven = true;
    } else {
      return Usage("unknown option '" + arg + "'");
    }
  }
  if (files.empty()) return Usage("no SOURCE given");
  if (files.size() > 1) return Usage("more than one SOURCE given");
  source = files[0];
  const bool fromInput = source == "-";
  if (!outputGiven) {
    if (fromInput) return Usage("SOURCE - needs -o: there is no file to put the image beside");
    output = DefaultOutput(source);
  }

  std::string text;
  if (fromInput) {
    if (!ReadStandardInput(text, MaxFileBytes)) {
      std::fprintf(stderr, "tavora-as: cannot read standard input\n");
      return ExitNoSource;
    }
    source = "<stdin>";
  } else {
    try {
      text = ReadSourceFile(source);
    } catch (const TFileOpenError&) {
      std::fprintf(stderr, "tavora-as: cannot read %s\n", source.c_str());
      return ExitNoSource;
    }
  }
  if (!fromInput && output != "-" && SameFile(source, output)) {
    std::fprintf(stderr, "tavora-as: %s would overwrite its source; choose another name with -o\n", output.c_str());
    return ExitNoOutput;
  }

  const TAsmResult result = Assemble(text, SourceFileOptions(fromInput ? std::string() : source));
  std::string messages;
  for (const TAsmDiagnostic& d : result.Diagnostics) messages += DiagnosticText(source, d) + "\n";
  if (result.TooManyErrors)
    messages += "tavora-as: too many errors; stopped after " + std::to_string(MaxAsmErrors) + "\n";
  if (!result.Ok()) messages += "tavora-as: " + std::to_string(result.ErrorCount) + " error(s); no image written\n";
  std::fputs(messages.c_str(), stderr);
  if (!result.Ok()) return ExitSourceErrors;

  if (listing && !WriteAll(stdout, ListingText(result, text))) {
    std::fprintf(stderr, "tavora-as: cannot write the listing\n");
    return ExitNoOutput;
  }
  const std::string image = CodText(result);
  if (output == "-") {
    if (!WriteAll(stdout, image)) {
      std::fprintf(stderr, "tavora-as: cannot write the image to standard output\n");
      return ExitNoOutput;
    }
    return ExitDone;
  }
  std::string error;
  if (!WriteOutputFile(output, image, error)) {
    std::fprintf(stderr, "tavora-as: cannot write %s: %s\n", output.c_str(), error.c_str());
    return ExitNoOutput;
  }
  return ExitDone;
}
