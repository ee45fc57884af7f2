// tavora-cosim: compares the simulator's commit log with a hardware
// design's and reports the first instruction where they differ.
#include "tools/cosim/Cosim.h"

int main(int argc, char** argv) { return cosim::Main(argc, argv); }
