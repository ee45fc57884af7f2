// The single instances of the simulator core, created at program start in
// this order before any window exists (one translation unit fixes the order).
#include "core/CPU.h"
#include "core/Loader.h"

TDisplayHooks DisplayHooks;
TMemory TheMemory;
TState TheState;
TCPU TheCPU;
TProgramLines ProgramLines;
std::string ProgramFileName;
