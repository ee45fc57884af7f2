// Prints the benchmarks' loop image with the given number of iterations, so
// that other harnesses (the browser edition's benchmark) run the very same
// loop: loop_image ITERATIONS > loop.cod
#include <cstdio>
#include <cstdlib>

#include "bench/LoopImage.h"

int main(int argc, char** argv) {
  const long iterations = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20'000'000;
  if (iterations < 1 || iterations > 0x7FFFFFFF) {
    std::fputs("usage: loop_image ITERATIONS (1..2147483647)\n", stderr);
    return 64;
  }
  std::fputs(bench::LoopImage(int32_t(iterations)).c_str(), stdout);
  return 0;
}
