// tavora-run: loads a .cod image as the debugger does at start-up, runs it
// like the debugger's fast run and prints the final state, for scripts,
// grading and tests.
#include "tools/run/Runner.h"

int main(int argc, char** argv) { return runner::Main(argc, argv); }
