// The memory file of the hardware testbench (hdl/tb.v): the memory that the
// last load built, in $readmemh's text form.
//
//   // memory image of PROGRAM: N words in R runs; a word not listed reads ffffffff
//   @00800000
//   52455341
//   27c20020
//   ...
//
// Each run of consecutive present words follows an @address record (eight
// lowercase hexadecimal digits, like every word), runs in ascending order.
// The file lists exactly the words a section covers; a word it does not
// list is not present and reads ffffffff. Where sections overlap, a word is
// the one the simulator's first lookup after the load finds: the cached
// block's (the section loaded last) where it covers the address, else the
// oldest section's.
#pragma once

#include <string>

namespace runner {

// Writes the file to path ("-": standard output). Leaves the memory's
// cached block as the load left it, so the run that follows is the same.
// False with the reason when the file cannot be written.
bool WriteMemoryImage(const std::string& path, const std::string& program, std::string& error);

}  // namespace runner
