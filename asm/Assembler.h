// tavora_asm: turns a source in the code view's own language into the
// sections of a program image, with diagnostics and a symbol table.
//
// The language, as a user writes it:
// - One statement per line; lines end with LF, CRLF, or CR alone in a file
//   without any LF. A comment runs from ';' or '//' to the end of the line,
//   or is a whole line starting with '#'. A UTF-8 byte-order mark at the
//   very start is skipped (columns count after it).
// - A label is `name:` before a statement or alone on its line; a name starts
//   with a letter, '_' or '.', then letters, digits, '_' and '.'. Labels and
//   .equ names are case-sensitive and share one namespace; mnemonics,
//   register names, directives and macro names are not case-sensitive.
//   `1:` .. `9:` are local labels, defined any number of times and named
//   `1b` (the nearest before the use) and `1f` (the nearest after).
// - Instructions are written as the code view prints them:
//     add sub xor or and      Rc,Ra,Rb       slli srli   Rc,Ra
//     addi subi xori ori andi sgti seqi sget slti snei slei lw sw   Rb,Ra,IMM
//     beqz bnez               Ra,TARGET      (absolute target; the offset
//                                             counts from the next word)
//     jr jalr                 Ra             clri seti   Rb
//   A suffix picks one encoding of a mnemonic that has two (addi.11,
//   add.35; addi.9 names the usual one). Registers: R0..R31 or R00..R31.
// - Pseudo-instructions (AsmPseudoInstructions) expand to real ones: nop, mv,
//   not, neg, j, b, li, la, call, ret, push, pop, and the compare-and-branch
//   beq bne blt ble bgt bge Ra,Rb,TARGET, which need the register that
//   `.scratch Rn` names. li and la are one word: an addi from R00 or R30, or
//   a load relative to R30 (which every reset sets to $800000) from a literal
//   pool the assembler places after the code, within reach of R30. call is
//   li R31 then jalr R31; push and pop keep a stack in R29 that grows down.
// - Numbers: $hex, 0xhex, 0bbinary, decimal, or a character 'A' (escapes
//   \n \t \r \0 \\ \' \" \xHH). Expressions use C's operators and
//   precedence: unary - + ~, then * / %, + -, << >> (logical, on 32 bits),
//   &, ^, |, and parentheses, in 64 bits; a term is a number, a label, an
//   .equ name or '.', the address of the current statement.
// - An immediate is -32768..65535 and keeps its low 16 bits; a branch
//   offset is -32768..32767; a word is -2147483648..4294967295.
// - Directives:
//     .code ADDR / .data ADDR    start a section; following words go there
//     .ds ADDR,COUNT[,FILL]      COUNT words of FILL (default 0)
//     .mem ADDR,COUNT            COUNT reserved words that read 0
//     .word EXPR[,EXPR...]       raw words; `dc EXPR` is the same for one
//     .ascii "T" / .asciiz "T"   a word per UTF-8 byte (.asciiz then a 0)
//     .space N / .align N        N zero words / zero words to a multiple of N
//     .header                    the word $52455341 ("RESA")
//     .equ NAME,EXPR             a constant
//     .scratch Rn                the compare-and-branch register from here on
//     .include "FILE"            FILE's lines here (relative to this file)
//     .macro NAME [P,...] / .endm   a macro; \P and \@ in its body
//   Section addresses, .space, .align, .ds, .mem and .equ need values known
//   on their line (no names defined further down); instructions and words
//   may use labels from anywhere.
// - Every word lies in a section, at an address from 0 to $7fffffff. The
//   image obeys the loader's caps (words in all sections, section count).
//   A section overlapping an earlier one is only a warning, as the loader
//   accepts it; where they overlap, memory keeps the earlier section's words.
//
// Every error is reported (up to MaxAsmErrors), each with its file, line and
// column; there is no image when there is any error, or when the source
// holds no words. A message is valid UTF-8 whatever the source holds: source
// text in it shows control characters and bytes that are not UTF-8 as \xNN.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Loader.h"

constexpr size_t MaxAsmErrors = 100;
// Bounds that keep a source that includes or expands itself finite.
constexpr size_t MaxIncludeDepth = 16;
constexpr size_t MaxMacroDepth = 64;
constexpr size_t MaxMacroExpansions = 100000;

// Every directive of the language, for editors that highlight it.
inline constexpr std::string_view AsmDirectives[] = {".code",    ".data",    ".ds",    ".mem",   ".word",   "dc",
                                                     ".space",   ".header",  ".equ",   ".ascii", ".asciiz", ".align",
                                                     ".scratch", ".include", ".macro", ".endm"};
// Every pseudo-instruction: the assembler's own mnemonics that expand to
// instructions of the instruction table.
inline constexpr std::string_view AsmPseudoInstructions[] = {"nop", "mv",  "not",  "neg", "j",    "b",
                                                             "li",  "la",  "call", "ret", "push", "pop",
                                                             "beq", "bne", "blt",  "ble", "bgt",  "bge"};
// Sections one source may open: as many as the loader accepts.
constexpr size_t MaxAsmSections = size_t(MaxSections);

enum class TAsmSeverity { Error, Warning };

// A place that led to a diagnostic's line: an .include or a macro's call.
struct TAsmPlace {
  std::string File;  // empty: the assembled source itself
  uint32_t Line = 0;
  std::string Macro;  // the macro called there; empty for an .include
};

struct TAsmDiagnostic {
  uint32_t Line = 0;    // 1-based, in File
  uint32_t Column = 0;  // 1-based, in bytes
  TAsmSeverity Severity = TAsmSeverity::Error;
  std::string Message;
  std::string File;                // empty: the assembled source itself
  std::vector<TAsmPlace> Context;  // innermost first
  uint32_t SourceLine = 0;         // the line of the assembled source that led here
};

enum class TSectionKind { Code, Data, Ds, Mem };

struct TAsmSection {
  TSectionKind Kind = TSectionKind::Code;
  int32_t Start = 0;
  uint32_t Count = 0;           // words; for Code and Data the size of Words
  uint32_t Fill = 0;            // Ds only
  std::vector<uint32_t> Words;  // Code and Data only
  uint32_t Line = 0;            // the directive that opened it (0: the literal pool)
};

struct TAsmSymbol {
  std::string Name;
  int64_t Value = 0;
  uint32_t Line = 0;      // in the assembled source: the definition, or the .include or call that led to it
  bool Label = false;     // a label (an address), not an .equ constant
  uint32_t File = 0;      // index in TAsmSymbols::Files
  uint32_t FileLine = 0;  // the definition's line in that file
};

// How a range's words came from its line.
enum class TAsmRangeKind : uint8_t {
  Plain,         // the statement's own words
  Expanded,      // a pseudo-instruction's or a macro's instructions
  ExpandedData,  // a macro's data words
  Pool,          // the literal pool of li and la
};

// Words that one source line put into the image.
struct TAsmLineRange {
  int32_t Address = 0;
  uint32_t Count = 0;
  uint32_t Line = 0;     // in the assembled source (see TAsmSymbol::Line); 0 for the pool
  uint32_t Section = 0;  // index in TAsmResult::Sections
  uint32_t Offset = 0;   // of the first word inside that section
  uint32_t File = 0;     // where the statement is: index in TAsmSymbols::Files
  uint32_t FileLine = 0;
  TAsmRangeKind Kind = TAsmRangeKind::Plain;
};

// Label to address and address to source line, for going to a label and
// for showing source lines beside a listing.
class TAsmSymbols {
 public:
  // The symbol of that name (case-sensitive), or nullptr.
  const TAsmSymbol* Find(std::string_view name) const;
  // The line of the assembled source that put a word at the address (for
  // an included file's word or a macro's, the .include or the call); 0 when
  // none did.
  uint32_t LineAt(int32_t address) const;
  // The range that put a word at the address, or nullptr: its File and
  // FileLine name the statement itself, also inside included files.
  const TAsmLineRange* RangeAt(int32_t address) const;

  std::vector<TAsmSymbol> Symbols;    // in order of definition
  std::vector<TAsmLineRange> Ranges;  // in source order, the pool last
  // File names: [0] is the assembled source (empty), then included files.
  std::vector<std::string> Files{std::string()};

  // Used by the assembler while it fills the table.
  void Add(TAsmSymbol symbol);
  void Finish();

 private:
  struct THash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, uint32_t, THash, std::equal_to<>> Index;
  std::vector<uint32_t> ByAddress;  // Ranges indexes sorted by address
  std::vector<int64_t> MaxEnd;      // largest range end up to each ByAddress entry
};

struct TAsmResult {
  std::vector<TAsmSection> Sections;        // in source order, empty ones left out
  std::vector<TAsmDiagnostic> Diagnostics;  // in source order, by line and column
  TAsmSymbols Symbols;
  std::vector<std::string> FileTexts;  // the text of each of Symbols.Files ([0] empty)
  size_t ErrorCount = 0;
  bool TooManyErrors = false;  // assembly stopped at MaxAsmErrors
  bool Ok() const { return ErrorCount == 0; }
};

// Reads the file an .include names. `from` is the including file's name as
// the assembler knows it (empty for the assembled source), `name` the
// operand. Fills `file` (the name messages use, e.g. "dir/lib.s"), `identity`
// (equal for two names of one file, to find cycles) and `text`; false with a
// reason in `error` when the file cannot be read.
struct TAsmIncludeFile {
  std::string File, Identity, Text;
};
using TAsmIncludeReader =
    std::function<bool(const std::string& from, const std::string& name, TAsmIncludeFile& file, std::string& error)>;

struct TAsmOptions {
  std::string FileName;           // the source's name, for finding its includes; may be empty
  TAsmIncludeReader ReadInclude;  // none: every .include is an error
};

// The lines of a source as the assembler numbers them: a byte-order mark
// skipped, ends at LF (a CR before it dropped), or at CR alone in a text
// without any LF.
std::vector<std::string_view> SplitSourceLines(std::string_view text);

// Assembles a whole source text.
TAsmResult Assemble(std::string_view source, const TAsmOptions& options = {});

// "FILE:LINE:COLUMN: error: message" (or "warning:"), then where it was
// included from or which macro call led there; `file` names the assembled
// source.
std::string DiagnosticText(const std::string& file, const TAsmDiagnostic& diagnostic);

// The image as .cod text in the 0x number form that the loader and the
// converter both read; the default image's text when there are no sections.
std::string CodText(const TAsmResult& result);

// One line per source line with the address and word of each word it put
// into the image beside it; further words of a line follow on lines of
// their own, those of a pseudo-instruction or a macro with their
// instruction, those of an included file with its name, line and text.
// Words that memory will not hold (an earlier section holds their address)
// are marked. The literal pool and the symbol table close the listing.
std::string ListingText(const TAsmResult& result, std::string_view source);

// Evaluates an expression of the language (numbers, names of the symbol
// table, the operators; no '.' and no local labels). False with a message when it is not one or
// names something unknown.
bool EvaluateExpression(std::string_view text, const TAsmSymbols& symbols, int64_t& value, std::string& error);
