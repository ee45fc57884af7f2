// The runner's result as one JSON object, for grading scripts: the same
// facts as the plain output, with numbers as numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/run/Runner.h"

namespace runner {

// The final state after a run: stop reason, steps, program counter,
// registers, breakpoint rows, the dumps asked for and the loader messages.
std::string JsonReport(const char* stop, uint64_t steps, const TOptions& options,
                       const std::vector<std::string>& messages);

// The object for an image that could not be loaded: only the reason
// "file-error" and the messages.
std::string JsonFileError(const std::vector<std::string>& messages);

}  // namespace runner
