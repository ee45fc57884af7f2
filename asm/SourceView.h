// What a code view adds to its listing when the program came from a
// source: a label on a line of its own above the word it names, the label
// after a branch's target address, and the source line beside each word.
// The desktop window and the browser page both show them through this.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "asm/Assembler.h"

// The first label of each address, in the order the source defines them.
using TLabelIndex = std::unordered_map<int32_t, std::string>;
TLabelIndex LabelsByAddress(const TAsmSymbols& symbols);

// "bnez  R04,$00800004" becomes "bnez  R04,$00800004 <loop>" when a label
// names the target; other lines stay as they are.
void NameBranchTarget(std::string& line, const TLabelIndex& labels);

// The lines of a source text, numbered as the assembler numbers them
// (SplitSourceLines), for showing them beside the listing.
std::vector<std::string> SourceLines(const std::string& text);

// The listing font draws ASCII: the source line with tabs as blanks and
// every other character as '?', placed from column 56 on.
void AppendSourceLine(std::string& line, std::string_view source);
