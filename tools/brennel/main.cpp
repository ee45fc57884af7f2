// Program entry of brennel: command line, reading, writing, exit status.
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/brennel/brennel.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("brennel %s\n", TAVORA_VERSION);
      return 0;
    }
  if (argc < 2) {
    Usage(argc > 0 ? argv[0] : nullptr);
    return 1;
  }
  PROGARGS args;
  if (!HandleOptions(argc, argv, args)) return args.help ? 0 : 1;

  auto say = [&args](const char* message) {
    if (args.verbose) std::fputs(message, stderr);
  };

  say("Parsing cod-file...\n");
  std::vector<MEMITEM> image;
  ParseFailure why = ParseFailure::None;
  const int parsed = parsecod(args.infile, image, &why);
  switch (parsed) {
    case BRENNEL_OK: say("Parsing successful\n"); break;
    case BRENNEL_NO_INPUT: say("Parsing failed: error opening input file\n"); break;
    default:
      say(why == ParseFailure::FileTooLarge    ? "Parsing failed: input file too large\n"
          : why == ParseFailure::ImageTooLarge ? "Parsing failed: image too large\n"
                                               : "Parsing failed: Syntax error in input file\n");
      break;
  }
  if (parsed != BRENNEL_OK) return parsed;

  say("Writing memory file...\n");
  // Writing the output would destroy the image just read.
  if (std::strcmp(args.infile, "-") != 0 && SameFile(args.infile, *args.outfile)) {
    say("Writing failed: output file is the input file\n");
    return BRENNEL_NO_OUTPUT;
  }
  const int written = writemem(args.outfile->c_str(), image, args.binary);
  say(written == BRENNEL_OK ? "Testbench successfully generated\n" : "Writing failed: error opening output file\n");
  return written;
}
