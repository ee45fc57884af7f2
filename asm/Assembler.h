// tavora_asm: turns a source in the code view's own language into the
// sections of a program image, with diagnostics and a symbol table.
//
// The language, as a user writes it:
// - One statement per line; lines end with LF or CRLF. A comment runs from
//   ';' or '//' to the end of the line. Blank lines are allowed. A UTF-8
//   byte-order mark at the very start is skipped (columns count after it).
// - A label is `name:` before a statement or alone on its line; a name starts
//   with a letter, '_' or '.', then letters, digits, '_' and '.'. Labels and
//   .equ names are case-sensitive and share one namespace; mnemonics,
//   register names and directives are not case-sensitive.
// - Instructions are written as the code view prints them:
//     add sub xor or and      Rc,Ra,Rb       slli srli   Rc,Ra
//     addi subi xori ori andi sgti seqi sget slti snei slei lw sw   Rb,Ra,IMM
//     beqz bnez               Ra,TARGET      (absolute target; the offset
//                                             counts from the next word)
//     jr jalr                 Ra             clri seti   Rb
//   A suffix picks one encoding of a mnemonic that has two (addi.11,
//   add.35; addi.9 names the usual one). Registers: R0..R31 or R00..R31.
// - Numbers: $hex, 0xhex or decimal, each with an optional sign. An
//   expression is terms joined by '+' and '-'; a term is a number, a label,
//   an .equ name or '.', the address of the current statement.
// - An immediate is -32768..65535 and keeps its low 16 bits; a branch
//   offset is -32768..32767; a word is -2147483648..4294967295.
// - Directives:
//     .code ADDR / .data ADDR    start a section; following words go there
//     .ds ADDR,COUNT[,FILL]      COUNT words of FILL (default 0)
//     .mem ADDR,COUNT            COUNT reserved words that read 0
//     .word EXPR[,EXPR...]       raw words; `dc EXPR` is the same for one
//     .space N                   N zero words
//     .header                    the word $52455341 ("RESA")
//     .equ NAME,EXPR             a constant
//   Section addresses, .space, .ds, .mem and .equ need values known on
//   their line (no names defined further down); instructions and words may
//   use labels from anywhere.
// - Every word lies in a section, at an address from 0 to $7fffffff. The
//   image obeys the loader's caps (words in all sections, section count).
//   A section overlapping an earlier one is only a warning, as the loader
//   accepts it; where they overlap, the memory decides which word is read.
//
// Every error is reported (up to MaxAsmErrors), each with its line and
// column; there is no image when there is any error. A message is valid
// UTF-8 whatever the source holds: source text in it shows control
// characters and bytes that are not UTF-8 as \xNN.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Loader.h"

constexpr size_t MaxAsmErrors = 100;

// Every directive of the language, for editors that highlight it.
inline constexpr std::string_view AsmDirectives[] = {".code", ".data", ".ds",     ".mem", ".word",
                                                     "dc",    ".space", ".header", ".equ"};
// Sections one source may open: as many as the loader accepts.
constexpr size_t MaxAsmSections = size_t(MaxSections);

enum class TAsmSeverity { Error, Warning };

struct TAsmDiagnostic {
  uint32_t Line = 0;    // 1-based
  uint32_t Column = 0;  // 1-based, in bytes
  TAsmSeverity Severity = TAsmSeverity::Error;
  std::string Message;
};

enum class TSectionKind { Code, Data, Ds, Mem };

struct TAsmSection {
  TSectionKind Kind = TSectionKind::Code;
  int32_t Start = 0;
  uint32_t Count = 0;            // words; for Code and Data the size of Words
  uint32_t Fill = 0;             // Ds only
  std::vector<uint32_t> Words;   // Code and Data only
  uint32_t Line = 0;             // the directive that opened it
};

struct TAsmSymbol {
  std::string Name;
  int64_t Value = 0;
  uint32_t Line = 0;
  bool Label = false;  // a label (an address), not an .equ constant
};

// Words that one source line put into the image.
struct TAsmLineRange {
  int32_t Address = 0;
  uint32_t Count = 0;
  uint32_t Line = 0;
  uint32_t Section = 0;  // index in TAsmResult::Sections
  uint32_t Offset = 0;   // of the first word inside that section
};

// Label to address and address to source line, for going to a label and
// for showing source lines beside a listing.
class TAsmSymbols {
 public:
  // The symbol of that name (case-sensitive), or nullptr.
  const TAsmSymbol* Find(std::string_view name) const;
  // The source line that put a word at the address; 0 when none did.
  uint32_t LineAt(int32_t address) const;

  std::vector<TAsmSymbol> Symbols;    // in order of definition
  std::vector<TAsmLineRange> Ranges;  // in source order

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
  std::vector<TAsmSection> Sections;       // in source order, empty ones left out
  std::vector<TAsmDiagnostic> Diagnostics; // sorted by line and column
  TAsmSymbols Symbols;
  size_t ErrorCount = 0;
  bool TooManyErrors = false;  // assembly stopped at MaxAsmErrors
  bool Ok() const { return ErrorCount == 0; }
};

// Assembles a whole source text.
TAsmResult Assemble(std::string_view source);

// "FILE:LINE:COLUMN: error: message" (or "warning:").
std::string DiagnosticText(const std::string& file, const TAsmDiagnostic& diagnostic);

// The image as .cod text in the 0x number form that the loader and the
// converter both read; the default image's text when there are no sections.
std::string CodText(const TAsmResult& result);

// One line per source line with the address and word of each word it put
// into the image beside it; further words of a line follow on lines of
// their own.
std::string ListingText(const TAsmResult& result, std::string_view source);

// Evaluates an expression of the language (numbers, names of the symbol
// table, '+' and '-'; no '.'). False with a message when it is not one or
// names something unknown.
bool EvaluateExpression(std::string_view text, const TAsmSymbols& symbols, int64_t& value,
                        std::string& error);
