#include "Assembler.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>

#include "CPU.h"
#include "Instructions.h"
#include "Loader.h"

namespace {

constexpr int64_t MaxAddress = 0x7FFFFFFF;
// Bounds that keep a hostile source from costing more memory than the
// image it could describe: labels and constants in all, and labels and
// operands on one line (no program a person writes comes near them).
constexpr size_t MaxSymbols = size_t(1) << 22;
constexpr size_t MaxLabelsPerLine = 256;
constexpr size_t MaxOperandsPerLine = 65536;
// Sums are kept in 64 bits; a value beyond this is out of every range we
// check, and stopping here keeps long chains of terms from overflowing.
constexpr int64_t ValueLimit = int64_t(1) << 40;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) { return IsLetter(c) || c == '_' || c == '.'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Hex(uint64_t v) {
  static constexpr char Digits[] = "0123456789abcdef";
  char buf[17];
  int n = 0;
  do {
    buf[16 - n++] = Digits[v & 15];
    v >>= 4;
  } while (v && n < 16);
  return "$" + std::string(buf + 17 - n, size_t(n));
}

// The length of the valid UTF-8 character that starts at s[i], or 0 when
// the byte there starts none (a Latin-1 byte, a stray continuation byte, an
// overlong form, a surrogate, a sequence cut off by the end).
size_t Utf8Length(std::string_view s, size_t i) {
  const uint8_t b = uint8_t(s[i]);
  if (b < 0x80) return 1;
  size_t n = 0;
  uint8_t lo = 0x80, hi = 0xBF;  // the second byte's range
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() - i < n) return 0;
  for (size_t k = 1; k < n; ++k) {
    const uint8_t c = uint8_t(s[i + k]);
    if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return 0;
  }
  return n;
}

// The whole character at s[i] (one byte when it is not valid UTF-8), so
// that a message never quotes half of one.
std::string_view CharacterAt(std::string_view s, size_t i) { return s.substr(i, std::max<size_t>(1, Utf8Length(s, i))); }

// Source text inside a message: characters as they are, but every byte
// that is not valid UTF-8 and every control character as \xNN, so that a
// message is always valid UTF-8 and never ends early at a NUL.
std::string Printable(std::string_view s) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const uint8_t b = uint8_t(s[i]);
    const size_t n = Utf8Length(s, i);
    if (n == 0 || b < 0x20 || b == 0x7F) {
      out += "\\x";
      out += Digits[b >> 4];
      out += Digits[b & 15];
      ++i;
    } else {
      out.append(s.substr(i, n));
      i += n;
    }
  }
  return out;
}

// At most 40 bytes of the source, cut between characters.
std::string Quoted(std::string_view s) {
  constexpr size_t Shown = 40;
  size_t cut = 0;
  while (cut < s.size()) {
    const size_t n = std::max<size_t>(1, Utf8Length(s, cut));
    if (cut + n > Shown) break;
    cut += n;
  }
  return "'" + Printable(s.substr(0, cut)) + (cut < s.size() ? "...'" : "'");
}

// A UTF-8 byte-order mark in front of a source is no part of its first line.
std::string_view WithoutByteOrderMark(std::string_view source) {
  if (source.substr(0, 3) == "\xEF\xBB\xBF") source.remove_prefix(3);
  return source;
}

// R0..R31 or R00..R31, any case.
std::optional<uint32_t> RegisterNumber(std::string_view s) {
  if (s.size() < 2 || s.size() > 3 || (s[0] != 'R' && s[0] != 'r')) return std::nullopt;
  uint32_t n = 0;
  for (char c : s.substr(1)) {
    if (!IsDigit(c)) return std::nullopt;
    n = n * 10 + uint32_t(c - '0');
  }
  if (n > 31) return std::nullopt;
  return n;
}

// Up to eight characters as one number, so that a mnemonic is found by
// comparing numbers; longer names pack to 0, which matches nothing.
constexpr uint64_t Pack(std::string_view s) {
  if (s.size() > 8) return 0;
  uint64_t v = 0;
  for (size_t k = 0; k < s.size(); ++k) v |= uint64_t(uint8_t(s[k])) << (8 * k);
  return v;
}

constexpr std::array<uint64_t, InstructionCount> PackedMnemonics = [] {
  std::array<uint64_t, InstructionCount> p{};
  for (int k = 0; k < InstructionCount; ++k) p[size_t(k)] = Pack(Instructions[k].Mnemonic);
  return p;
}();

// ---------------------------------------------------------------- expressions

struct TExpr {
  enum { Ok, Deferred, Error } State = Ok;
  int64_t Value = 0;
  size_t Offset = 0;  // where the error or the first unknown name is
  std::string Message;
};

// Reads terms joined by '+' and '-'. lookup(name, value) says whether a name
// is known; an unknown name makes the result Deferred (its syntax is still
// checked), so that the caller decides whether that is an error.
template <typename Lookup>
TExpr Evaluate(std::string_view text, Lookup&& lookup, const std::optional<int64_t>& dot) {
  TExpr r;
  auto fail = [&](size_t at, std::string message) {
    r.State = TExpr::Error;
    r.Offset = at;
    r.Message = std::move(message);
    return r;
  };
  size_t i = 0;
  auto skip = [&] {
    while (i < text.size() && IsBlank(text[i])) ++i;
  };
  skip();
  if (i == text.size()) return fail(0, "missing value");
  int64_t sum = 0;
  bool deferred = false;
  bool negative = false;  // set by a '-' operator, flipped by unary signs
  while (true) {
    skip();
    while (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      negative ^= text[i] == '-';
      ++i;
      skip();
    }
    if (i == text.size()) return fail(i, "expected a number, label or '.' after the sign");
    const size_t start = i;
    int64_t v = 0;
    const char c = text[i];
    if (c == '$' || (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))) {
      i += c == '$' ? 1 : 2;
      const size_t digits = i;
      while (i < text.size() && (IsDigit(text[i]) || (Lower(text[i]) >= 'a' && Lower(text[i]) <= 'f'))) {
        const char d = Lower(text[i]);
        v = v * 16 + (IsDigit(d) ? d - '0' : d - 'a' + 10);
        if (v > 0xFFFFFFFF) return fail(start, "number " + Quoted(text.substr(start, i + 1 - start)) + " is larger than 32 bits");
        ++i;
      }
      if (i == digits) return fail(start, "expected hexadecimal digits after " + Quoted(text.substr(start, i - start)));
    } else if (IsDigit(c)) {
      while (i < text.size() && IsDigit(text[i])) {
        v = v * 10 + (text[i] - '0');
        if (v > 0xFFFFFFFF) return fail(start, "number " + Quoted(text.substr(start, i + 1 - start)) + " is larger than 32 bits");
        ++i;
      }
    } else if (IsNameStart(c)) {
      while (i < text.size() && IsNameChar(text[i])) ++i;
      const std::string_view name = text.substr(start, i - start);
      if (name == ".") {
        if (!dot) return fail(start, "'.' (the current address) is only known inside a section");
        v = *dot;
      } else if (!lookup(name, v)) {
        if (RegisterNumber(name)) return fail(start, "register " + std::string(name) + " where a value is expected");
        if (!deferred) r.Offset = start;
        deferred = true;
      }
    } else {
      return fail(i, "expected a number, label or '.', found " + Quoted(CharacterAt(text, i)));
    }
    sum += negative ? -v : v;
    if (sum > ValueLimit || sum < -ValueLimit) return fail(start, "value too large");
    skip();
    if (i == text.size()) break;
    if (text[i] != '+' && text[i] != '-')
      return fail(i, "unexpected " + Quoted(CharacterAt(text, i)) + "; expected '+', '-' or the end of the operand");
    negative = text[i] == '-';
    ++i;
    skip();
    if (i == text.size()) return fail(i, "expected a term after the operator");
  }
  r.State = deferred ? TExpr::Deferred : TExpr::Ok;
  r.Value = sum;
  return r;
}

// ---------------------------------------------------------------- assembler

// Operands (or labels) of one line, each with where it stands for columns.
using TOperandList = std::vector<std::pair<std::string_view, const char*>>;

enum class TFixKind : uint8_t { Immediate, Branch, Word };

// A value that names a label defined further down; filled in once every
// line has been read.
struct TFixup {
  std::string_view Text;
  uint32_t Line, Column;  // of the operand
  uint32_t Section, Offset;
  int32_t Address;  // of the statement, the value of '.'
  TFixKind Kind;
};

class TAssembler {
 public:
  explicit TAssembler(std::string_view source) : Source(source) {}
  TAsmResult Run();

 private:
  std::string_view Source;
  TAsmResult R;
  const char* LineStart = nullptr;
  uint32_t LineNo = 0;
  int64_t Section = -1;  // the open section that takes words
  int64_t TotalWords = 0;
  bool Stop = false;
  size_t Warnings = 0;
  std::vector<TFixup> Fixups;
  std::vector<uint32_t> SectionColumns;
  TOperandList Ops, Labels;
  std::vector<TExpr> Values;

  uint32_t Col(const char* p) const { return uint32_t(p - LineStart) + 1; }
  void Error(uint32_t line, uint32_t column, std::string message);
  void Error(const char* at, std::string message) { Error(LineNo, Col(at), std::move(message)); }
  void Warning(uint32_t line, uint32_t column, std::string message);

  void Line(std::string_view text);
  void Statement(std::string_view name, const char* nameAt, std::string_view operands, const char* operandsAt,
                 int64_t& sectionStart);
  void Instruction(const TInstruction& ins, std::string_view name, const char* nameAt,
                   const TOperandList& ops);
  bool Directive(std::string_view lower, const char* nameAt,
                 const TOperandList& ops, int64_t& sectionStart);

  std::optional<int64_t> Dot() const;
  bool Lookup(std::string_view name, int64_t& v) const {
    const TAsmSymbol* s = R.Symbols.Find(name);
    if (s) v = s->Value;
    return s != nullptr;
  }
  // A value needed on this line: names further down are an error here.
  std::optional<int64_t> ValueNow(std::string_view text, const char* at);
  // Reserves words in the open section; the offset of the first, or -1.
  int64_t Reserve(uint64_t count, const char* at);
  bool Ranged(int64_t v, int64_t lo, int64_t hi, const char* at, const char* what);
  bool OpenSection(TSectionKind kind, int64_t start, uint64_t count, const char* at);
  void DefineLabel(std::string_view name, const char* at, int64_t value);
  // Checks and stores a value into a word; false after an error message.
  bool Store(TFixKind kind, int64_t value, uint32_t section, uint32_t offset, int32_t address, uint32_t line,
             uint32_t column);
  void ResolveFixups();
  void CheckOverlaps();
  void Compact();
};

void TAssembler::Error(uint32_t line, uint32_t column, std::string message) {
  if (Stop) return;
  if (R.ErrorCount == MaxAsmErrors) {
    R.TooManyErrors = true;
    Stop = true;
    return;
  }
  ++R.ErrorCount;
  R.Diagnostics.push_back({line, column, TAsmSeverity::Error, std::move(message)});
}

void TAssembler::Warning(uint32_t line, uint32_t column, std::string message) {
  if (Warnings == MaxAsmErrors) return;
  ++Warnings;
  R.Diagnostics.push_back({line, column, TAsmSeverity::Warning, std::move(message)});
}

std::optional<int64_t> TAssembler::Dot() const {
  if (Section < 0) return std::nullopt;
  const TAsmSection& s = R.Sections[size_t(Section)];
  return int64_t(s.Start) + int64_t(s.Words.size());
}

std::optional<int64_t> TAssembler::ValueNow(std::string_view text, const char* at) {
  TExpr e = Evaluate(text, [this](std::string_view n, int64_t& v) { return Lookup(n, v); }, Dot());
  if (e.State == TExpr::Error) {
    Error(at + e.Offset, e.Message);
    return std::nullopt;
  }
  if (e.State == TExpr::Deferred) {
    size_t end = e.Offset;
    while (end < text.size() && IsNameChar(text[end])) ++end;
    Error(at + e.Offset, Quoted(text.substr(e.Offset, end - e.Offset)) +
                             " is not defined above this line; this value must be known here");
    return std::nullopt;
  }
  return e.Value;
}

bool TAssembler::Ranged(int64_t v, int64_t lo, int64_t hi, const char* at, const char* what) {
  if (v >= lo && v <= hi) return true;
  Error(at, std::string(what) + " " + std::to_string(v) + " out of range " + std::to_string(lo) + ".." +
                std::to_string(hi));
  return false;
}

int64_t TAssembler::Reserve(uint64_t count, const char* at) {
  if (Section < 0) {
    Error(at, "word outside any section; start one with .code ADDR or .data ADDR");
    return -1;
  }
  TAsmSection& s = R.Sections[size_t(Section)];
  const int64_t offset = int64_t(s.Words.size());
  if (int64_t(s.Start) + offset + int64_t(count) - 1 > MaxAddress) {
    Error(at, "address past $7fffffff: the section from " + Hex(uint32_t(s.Start)) + " has no room for " +
                  std::to_string(count) + " more word(s)");
    return -1;
  }
  if (TotalWords + int64_t(count) > MaxImageWords) {
    Error(at, "image larger than " + std::to_string(MaxImageWords) + " words");
    Stop = true;
    return -1;
  }
  TotalWords += int64_t(count);
  s.Words.resize(s.Words.size() + count);
  s.Count = uint32_t(s.Words.size());
  if (count > 0)
    R.Symbols.Ranges.push_back({int32_t(s.Start + offset), uint32_t(count), LineNo, uint32_t(Section), uint32_t(offset)});
  return offset;
}

bool TAssembler::OpenSection(TSectionKind kind, int64_t start, uint64_t count, const char* at) {
  if (!Ranged(start, 0, MaxAddress, at, "section address")) return false;
  if (start + int64_t(count) - 1 > MaxAddress) {
    Error(at, "address past $7fffffff: " + std::to_string(count) + " words from " + Hex(uint64_t(start)) +
                  " do not fit");
    return false;
  }
  if (R.Sections.size() == MaxAsmSections) {
    Error(at, "more than " + std::to_string(MaxAsmSections) + " sections");
    Stop = true;
    return false;
  }
  if (TotalWords + int64_t(count) > MaxImageWords) {
    Error(at, "image larger than " + std::to_string(MaxImageWords) + " words");
    Stop = true;
    return false;
  }
  TotalWords += int64_t(count);
  TAsmSection s;
  s.Kind = kind;
  s.Start = int32_t(start);
  s.Count = uint32_t(count);
  s.Line = LineNo;
  R.Sections.push_back(std::move(s));
  SectionColumns.push_back(Col(at));
  if (count > 0) R.Symbols.Ranges.push_back({int32_t(start), uint32_t(count), LineNo, uint32_t(R.Sections.size() - 1), 0});
  return true;
}

void TAssembler::DefineLabel(std::string_view name, const char* at, int64_t value) {
  if (name == ".") {
    Error(at, "'.' is the current address and cannot be defined");
    return;
  }
  if (RegisterNumber(name)) {
    Error(at, Quoted(name) + " is a register name and cannot be a label or constant");
    return;
  }
  if (R.Symbols.Symbols.size() == MaxSymbols) {
    Error(at, "more than " + std::to_string(MaxSymbols) + " labels and constants");
    Stop = true;
    return;
  }
  if (const TAsmSymbol* s = R.Symbols.Find(name)) {
    Error(at, "duplicate label " + Quoted(name) + " (first defined on line " + std::to_string(s->Line) + ")");
    return;
  }
  R.Symbols.Add({std::string(name), value, LineNo, true});
}

bool TAssembler::Store(TFixKind kind, int64_t v, uint32_t section, uint32_t offset, int32_t address, uint32_t line,
                       uint32_t column) {
  uint32_t& word = R.Sections[section].Words[offset];
  switch (kind) {
    case TFixKind::Immediate:
      if (v < -32768 || v > 65535) {
        Error(line, column, "immediate " + std::to_string(v) + " out of range -32768..65535");
        return false;
      }
      word = (word & 0xFFFF0000u) | (uint32_t(v) & 0xFFFF);
      return true;
    case TFixKind::Branch: {
      if (v < INT32_MIN || v > int64_t(UINT32_MAX)) {
        Error(line, column, "branch target " + std::to_string(v) + " is not a 32-bit address");
        return false;
      }
      // Target arithmetic wraps like the processor's, so a target below 0
      // reads as its 32-bit pattern, as the code view shows it.
      const int32_t offsetWords = int32_t(uint32_t(v) - (uint32_t(address) + 1));
      if (offsetWords < -32768 || offsetWords > 32767) {
        Error(line, column, "branch target " + Hex(uint32_t(v)) + " too far: offset " + std::to_string(offsetWords) +
                                " out of range -32768..32767");
        return false;
      }
      word = (word & 0xFFFF0000u) | (uint32_t(offsetWords) & 0xFFFF);
      return true;
    }
    case TFixKind::Word:
      if (v < INT32_MIN || v > int64_t(UINT32_MAX)) {
        Error(line, column, "value " + std::to_string(v) + " does not fit in a 32-bit word");
        return false;
      }
      word = uint32_t(v);
      return true;
  }
  return false;
}

void TAssembler::Instruction(const TInstruction& ins, std::string_view name, const char* nameAt,
                             const TOperandList& ops) {
  static constexpr const char* Forms[] = {"Rc,Ra,Rb", "Rc,Ra", "Rb,Ra,IMM", "Ra,TARGET", "Ra", "Rb"};
  static constexpr size_t Counts[] = {3, 2, 3, 2, 1, 1};
  const size_t form = size_t(ins.Operands);
  if (ops.size() != Counts[form]) {
    Error(nameAt, std::string(name) + " expects " + std::to_string(Counts[form]) + " operand" +
                      (Counts[form] > 1 ? "s" : "") + " (" + Forms[form] + "), found " + std::to_string(ops.size()));
    return;
  }
  uint32_t regs[3] = {0, 0, 0};
  bool ok = true;
  const size_t regCount = ins.Operands == TOperands::RcRaRb ? 3 : ins.Operands == TOperands::RcRa ? 2
                          : ins.Operands == TOperands::RbRaImm                                   ? 2
                          : 1;
  for (size_t k = 0; k < regCount; ++k) {
    if (auto r = RegisterNumber(ops[k].first)) {
      regs[k] = *r;
    } else {
      Error(ops[k].second, ops[k].first.empty() ? "missing register; expected R0..R31"
                                                : "bad register " + Quoted(ops[k].first) + "; expected R0..R31");
      ok = false;
    }
  }
  uint32_t ra = 0, rb = 0, rc = 0;
  switch (ins.Operands) {
    case TOperands::RcRaRb: rc = regs[0], ra = regs[1], rb = regs[2]; break;
    case TOperands::RcRa: rc = regs[0], ra = regs[1]; break;
    case TOperands::RbRaImm: rb = regs[0], ra = regs[1]; break;
    case TOperands::RaTarget: case TOperands::Ra: ra = regs[0]; break;
    case TOperands::Rb: rb = regs[0]; break;
  }
  const bool hasValue = ins.Operands == TOperands::RbRaImm || ins.Operands == TOperands::RaTarget;
  const auto dot = Dot();
  TExpr e;
  if (hasValue) {
    const auto& op = ops.back();
    e = Evaluate(op.first, [this](std::string_view n, int64_t& v) { return Lookup(n, v); }, dot);
    if (e.State == TExpr::Error) {
      Error(op.second + e.Offset, e.Message);
      ok = false;
    }
  }
  const int64_t offset = Reserve(1, nameAt);
  if (!ok || offset < 0) return;
  uint32_t& word = R.Sections[size_t(Section)].Words[size_t(offset)];
  word = ins.Encode(ra, rb, rc, 0);
  if (!hasValue) return;
  const TFixKind kind = ins.Operands == TOperands::RaTarget ? TFixKind::Branch : TFixKind::Immediate;
  const auto& op = ops.back();
  if (e.State == TExpr::Deferred) {
    Fixups.push_back({op.first, LineNo, Col(op.second), uint32_t(Section), uint32_t(offset), int32_t(*dot), kind});
  } else {
    Store(kind, e.Value, uint32_t(Section), uint32_t(offset), int32_t(*dot), LineNo, Col(op.second));
  }
}

bool TAssembler::Directive(std::string_view d, const char* nameAt,
                           const TOperandList& ops,
                           int64_t& sectionStart) {
  auto arity = [&](size_t lo, size_t hi, const char* form) {
    if (ops.size() >= lo && ops.size() <= hi) return true;
    Error(nameAt, std::string(d) + " expects " + form + ", found " + std::to_string(ops.size()) + " operand" +
                      (ops.size() == 1 ? "" : "s"));
    return false;
  };
  auto now = [&](size_t k) { return ValueNow(ops[k].first, ops[k].second); };

  if (d == ".code" || d == ".data") {
    if (!arity(1, 1, "one operand (ADDR)")) return false;
    Section = -1;
    auto start = now(0);
    if (!start || !OpenSection(d == ".code" ? TSectionKind::Code : TSectionKind::Data, *start, 0, ops[0].second))
      return false;
    Section = int64_t(R.Sections.size() - 1);
    sectionStart = *start;
    return true;
  }
  if (d == ".ds" || d == ".mem") {
    const bool ds = d == ".ds";
    if (!arity(2, ds ? 3 : 2, ds ? "ADDR,COUNT[,FILL]" : "ADDR,COUNT")) return false;
    Section = -1;
    auto start = now(0), count = now(1);
    std::optional<int64_t> fill = int64_t(0);
    if (ops.size() == 3) fill = now(2);
    if (!start || !count || !fill) return false;
    if (!Ranged(*count, 1, MaxImageWords, ops[1].second, "count")) return false;
    if (!Ranged(*fill, INT32_MIN, UINT32_MAX, ops.size() == 3 ? ops[2].second : nameAt, "fill value")) return false;
    if (!OpenSection(ds ? TSectionKind::Ds : TSectionKind::Mem, *start, uint64_t(*count), ops[0].second)) return false;
    R.Sections.back().Fill = uint32_t(*fill);
    sectionStart = *start;
    return true;
  }
  if (d == ".word" || d == "dc") {
    if (ops.empty()) return arity(1, SIZE_MAX, "one or more values");
    const auto dot = Dot();
    std::vector<TExpr>& values = Values;
    values.clear();
    bool ok = true;
    for (const auto& op : ops) {
      values.push_back(Evaluate(op.first, [this](std::string_view n, int64_t& v) { return Lookup(n, v); }, dot));
      if (values.back().State == TExpr::Error) {
        Error(op.second + values.back().Offset, values.back().Message);
        ok = false;
      }
    }
    const int64_t offset = Reserve(ops.size(), nameAt);
    if (!ok || offset < 0) return false;
    for (size_t k = 0; k < ops.size(); ++k) {
      const uint32_t o = uint32_t(offset) + uint32_t(k);
      if (values[k].State == TExpr::Deferred)
        Fixups.push_back({ops[k].first, LineNo, Col(ops[k].second), uint32_t(Section), o, int32_t(*dot), TFixKind::Word});
      else
        Store(TFixKind::Word, values[k].Value, uint32_t(Section), o, int32_t(*dot), LineNo, Col(ops[k].second));
    }
    return true;
  }
  if (d == ".space") {
    if (!arity(1, 1, "one operand (N)")) return false;
    auto n = now(0);
    if (!n || !Ranged(*n, 0, MaxImageWords, ops[0].second, "word count")) return false;
    return Reserve(uint64_t(*n), nameAt) >= 0;
  }
  if (d == ".header") {
    if (!arity(0, 0, "no operands")) return false;
    const int64_t offset = Reserve(1, nameAt);
    if (offset < 0) return false;
    R.Sections[size_t(Section)].Words[size_t(offset)] = HeaderWord;
    return true;
  }
  if (d == ".equ") {
    if (!arity(2, 2, "NAME,EXPR")) return false;
    const std::string_view name = ops[0].first;
    bool valid = !name.empty() && IsNameStart(name[0]);
    for (char c : name) valid = valid && IsNameChar(c);
    if (!valid) {
      Error(ops[0].second, "bad name " + Quoted(name) + "; a name starts with a letter, '_' or '.'");
      return false;
    }
    auto v = now(1);
    if (!v) return false;
    const size_t before = R.Symbols.Symbols.size();
    DefineLabel(name, ops[0].second, *v);
    if (R.Symbols.Symbols.size() > before) R.Symbols.Symbols.back().Label = false;
    return true;
  }
  Error(nameAt, "unknown directive " + Quoted(d) + "; expected .code, .data, .ds, .mem, .word, .space, .header or .equ");
  return false;
}

void TAssembler::Statement(std::string_view name, const char* nameAt, std::string_view operands,
                           const char* operandsAt, int64_t& sectionStart) {
  // Operands split at commas, each trimmed, each with its place for columns.
  // Reused from line to line, so that a line costs no allocation.
  TOperandList& ops = Ops;
  ops.clear();
  if (size_t(std::count(operands.begin(), operands.end(), ',')) >= MaxOperandsPerLine) {
    Error(operandsAt, "more than " + std::to_string(MaxOperandsPerLine) + " operands on one line");
    return;
  }
  if (!Trim(operands).empty()) {
    size_t pos = 0;
    while (true) {
      const size_t comma = operands.find(',', pos);
      std::string_view raw = operands.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
      const char* at = operandsAt + pos;
      size_t lead = 0;
      while (lead < raw.size() && IsBlank(raw[lead])) ++lead;
      ops.emplace_back(Trim(raw), at + lead);
      if (comma == std::string_view::npos) break;
      pos = comma + 1;
    }
  }
  for (const auto& op : ops)
    if (op.first.empty()) {
      Error(op.second, "missing operand between commas");
      return;
    }

  char lower[16];
  const size_t n = std::min(name.size(), sizeof lower);
  for (size_t k = 0; k < n; ++k) lower[k] = Lower(name[k]);
  const std::string_view key(lower, n);
  const bool tooLong = name.size() > sizeof lower;

  if (!tooLong && (key[0] == '.' || key == "dc")) {
    Directive(key, nameAt, ops, sectionStart);
    return;
  }
  // A mnemonic, perhaps with a suffix naming its encoding.
  const size_t dotAt = key.find('.');
  const std::string_view base = key.substr(0, dotAt);
  const TInstruction* chosen = nullptr;
  std::string codes;
  const uint64_t packed = Pack(base);
  for (int k = 0; k < InstructionCount; ++k) {
    if (PackedMnemonics[size_t(k)] != packed) continue;
    const TInstruction& ins = Instructions[k];
    if (dotAt == std::string_view::npos) {
      if (!ins.Alias) chosen = &ins;
      continue;
    }
    if (key.substr(dotAt + 1) == std::to_string(ins.Code)) chosen = &ins;
    codes += (codes.empty() ? "." : " or .") + std::to_string(ins.Code);
  }
  if (!tooLong && chosen) {
    Instruction(*chosen, name, nameAt, ops);
    return;
  }
  if (!tooLong && !codes.empty()) {
    Error(nameAt, "unknown encoding " + Quoted(name.substr(dotAt)) + " of " + std::string(base) + "; expected " + codes);
    return;
  }
  Error(nameAt, "unknown mnemonic " + Quoted(name) + "; expected an instruction or a directive");
}

void TAssembler::Line(std::string_view text) {
  // The comment ends the statement; the language has no strings to skip.
  size_t end = text.size();
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] == ';' || (text[k] == '/' && k + 1 < text.size() && text[k + 1] == '/')) {
      end = k;
      break;
    }
  }
  text = text.substr(0, end);
  size_t i = 0;
  auto skip = [&] {
    while (i < text.size() && IsBlank(text[i])) ++i;
  };
  skip();
  TOperandList& labels = Labels;
  labels.clear();
  while (true) {
    if (i == text.size()) break;
    const size_t start = i;
    if (text[i] == '?') {
      Error(text.data() + i, "the illegal-instruction text has no encoding; write the word itself with .word");
      return;
    }
    if (!IsNameStart(text[i])) {
      Error(text.data() + i, "unexpected " + Quoted(CharacterAt(text, i)) + "; expected a label, an instruction or a directive");
      return;
    }
    while (i < text.size() && IsNameChar(text[i])) ++i;
    const std::string_view name = text.substr(start, i - start);
    if (i < text.size() && text[i] == ':') {
      if (labels.size() == MaxLabelsPerLine) {
        Error(text.data() + start, "more than " + std::to_string(MaxLabelsPerLine) + " labels on one line");
        return;
      }
      labels.emplace_back(name, text.data() + start);
      ++i;
      skip();
      continue;
    }
    if (i < text.size() && !IsBlank(text[i])) {
      Error(text.data() + i, "unexpected " + Quoted(CharacterAt(text, i)) + " after " + Quoted(name));
      return;
    }
    // The statement. Labels in front of a section directive name the
    // section's start; any other takes the current address.
    char first[8];
    const size_t m = std::min(name.size(), sizeof first);
    for (size_t k = 0; k < m; ++k) first[k] = Lower(name[k]);
    const std::string_view key(first, m);
    const bool sectionDirective = key == ".code" || key == ".data" || key == ".ds" || key == ".mem";
    if (!sectionDirective) {
      for (const auto& [label, at] : labels) {
        if (auto dot = Dot()) DefineLabel(label, at, *dot);
        else Error(at, "label " + Quoted(label) + " outside any section; start one with .code ADDR or .data ADDR");
      }
      labels.clear();
    }
    int64_t sectionStart = -1;
    Statement(name, text.data() + start, text.substr(i), text.data() + i, sectionStart);
    for (const auto& [label, at] : labels)
      if (sectionStart >= 0) DefineLabel(label, at, sectionStart);
    return;
  }
  for (const auto& [label, at] : labels) {
    if (auto dot = Dot()) DefineLabel(label, at, *dot);
    else Error(at, "label " + Quoted(label) + " outside any section; start one with .code ADDR or .data ADDR");
  }
}

void TAssembler::ResolveFixups() {
  for (const TFixup& f : Fixups) {
    if (Stop) return;
    TExpr e = Evaluate(f.Text, [this](std::string_view n, int64_t& v) { return Lookup(n, v); },
                       std::optional<int64_t>(f.Address));
    if (e.State == TExpr::Deferred) {
      size_t end = e.Offset;
      while (end < f.Text.size() && IsNameChar(f.Text[end])) ++end;
      Error(f.Line, f.Column + uint32_t(e.Offset), "undefined label " + Quoted(f.Text.substr(e.Offset, end - e.Offset)));
      continue;
    }
    if (e.State == TExpr::Error) {
      Error(f.Line, f.Column + uint32_t(e.Offset), e.Message);
      continue;
    }
    Store(f.Kind, e.Value, f.Section, f.Offset, f.Address, f.Line, f.Column);
  }
}

void TAssembler::CheckOverlaps() {
  // The union of the sections so far, as disjoint [start, end) ranges.
  std::map<int64_t, int64_t> covered;
  for (size_t k = 0; k < R.Sections.size(); ++k) {
    const TAsmSection& s = R.Sections[k];
    if (s.Count == 0) continue;
    int64_t lo = s.Start, hi = int64_t(s.Start) + s.Count;
    auto it = covered.upper_bound(lo);
    if (it != covered.begin() && std::prev(it)->second > lo) --it;
    if (it != covered.end() && it->first < hi)
      Warning(s.Line, SectionColumns[k],
              "section " + Hex(uint32_t(s.Start)) + ".." + Hex(uint32_t(hi - 1)) + " overlaps an earlier section");
    while (it != covered.end() && it->first <= hi) {
      lo = std::min(lo, it->first);
      hi = std::max(hi, it->second);
      it = covered.erase(it);
    }
    covered.emplace(lo, hi);
  }
}

void TAssembler::Compact() {
  std::vector<uint32_t> newIndex(R.Sections.size());
  std::vector<TAsmSection> kept;
  kept.reserve(R.Sections.size());
  for (size_t k = 0; k < R.Sections.size(); ++k) {
    newIndex[k] = uint32_t(kept.size());
    if (R.Sections[k].Count > 0) kept.push_back(std::move(R.Sections[k]));
  }
  for (TAsmLineRange& r : R.Symbols.Ranges) r.Section = newIndex[r.Section];
  R.Sections = std::move(kept);
}

TAsmResult TAssembler::Run() {
  Source = WithoutByteOrderMark(Source);
  // Most lines put one word into the image; reserving for that up front
  // keeps a large source from regrowing these tables again and again.
  const size_t lines = size_t(std::count(Source.begin(), Source.end(), '\n')) + 1;
  R.Symbols.Ranges.reserve(lines);
  Fixups.reserve(lines / 8);
  size_t pos = 0;
  while (pos < Source.size() && !Stop) {
    size_t end = Source.find('\n', pos);
    if (end == std::string_view::npos) end = Source.size();
    std::string_view line = Source.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++LineNo;
    LineStart = line.data();
    Line(line);
    pos = end + 1;
  }
  ResolveFixups();
  if (!Stop) CheckOverlaps();
  Compact();
  std::stable_sort(R.Diagnostics.begin(), R.Diagnostics.end(), [](const TAsmDiagnostic& a, const TAsmDiagnostic& b) {
    return a.Line != b.Line ? a.Line < b.Line : a.Column < b.Column;
  });
  R.Symbols.Finish();
  if (R.ErrorCount > 0) R.Sections.clear();
  return std::move(R);
}

void AppendHex(std::string& out, uint32_t v, int digits) {
  static constexpr char Digits[] = "0123456789abcdef";
  int needed = 1;
  while (needed < 8 && (v >> (4 * needed)) != 0) ++needed;
  if (digits < needed) digits = needed;
  for (int k = digits - 1; k >= 0; --k) out += Digits[(v >> (4 * k)) & 15];
}

}  // namespace

// ---------------------------------------------------------------- symbols

const TAsmSymbol* TAsmSymbols::Find(std::string_view name) const {
  auto it = Index.find(name);
  return it == Index.end() ? nullptr : &Symbols[it->second];
}

void TAsmSymbols::Add(TAsmSymbol symbol) {
  Index.emplace(symbol.Name, uint32_t(Symbols.size()));
  Symbols.push_back(std::move(symbol));
}

void TAsmSymbols::Finish() {
  ByAddress.resize(Ranges.size());
  for (uint32_t k = 0; k < ByAddress.size(); ++k) ByAddress[k] = k;
  const auto byAddress = [this](uint32_t a, uint32_t b) { return Ranges[a].Address < Ranges[b].Address; };
  if (!std::is_sorted(ByAddress.begin(), ByAddress.end(), byAddress))
    std::stable_sort(ByAddress.begin(), ByAddress.end(), byAddress);
  MaxEnd.resize(ByAddress.size());
  int64_t m = INT64_MIN;
  for (size_t k = 0; k < ByAddress.size(); ++k) {
    const TAsmLineRange& r = Ranges[ByAddress[k]];
    m = std::max(m, int64_t(r.Address) + r.Count);
    MaxEnd[k] = m;
  }
}

uint32_t TAsmSymbols::LineAt(int32_t address) const {
  // The last range starting at or below the address, then back while an
  // earlier, longer range may still cover it.
  size_t k = size_t(std::upper_bound(ByAddress.begin(), ByAddress.end(), address,
                                     [this](int32_t a, uint32_t i) { return a < Ranges[i].Address; }) -
                    ByAddress.begin());
  while (k > 0 && MaxEnd[k - 1] > address) {
    const TAsmLineRange& r = Ranges[ByAddress[k - 1]];
    if (int64_t(r.Address) + r.Count > address) return r.Line;
    --k;
  }
  return 0;
}

// ---------------------------------------------------------------- entry points

TAsmResult Assemble(std::string_view source) { return TAssembler(source).Run(); }

std::string DiagnosticText(const std::string& file, const TAsmDiagnostic& d) {
  return file + ":" + std::to_string(d.Line) + ":" + std::to_string(d.Column) +
         (d.Severity == TAsmSeverity::Error ? ": error: " : ": warning: ") + d.Message;
}

std::string CodText(const TAsmResult& result) {
  static constexpr const char* Keywords[] = {".CODE", ".DATA", ".DS", ".MEM"};
  std::string out;
  size_t words = 0;
  for (const TAsmSection& s : result.Sections) words += s.Words.size();
  out.reserve(words * 11 + result.Sections.size() * 32);
  for (const TAsmSection& s : result.Sections) {
    out += Keywords[int(s.Kind)];
    out += "\n0x";
    AppendHex(out, uint32_t(s.Start), 8);
    out += "\n0x";
    AppendHex(out, s.Count, 1);
    out += '\n';
    if (s.Kind == TSectionKind::Ds) {
      out += "0x";
      AppendHex(out, s.Fill, 1);
      out += '\n';
    }
    for (uint32_t w : s.Words) {
      out += "0x";
      AppendHex(out, w, 8);
      out += '\n';
    }
  }
  return out;
}

std::string ListingText(const TAsmResult& result, std::string_view source) {
  source = WithoutByteOrderMark(source);
  std::string out;
  const auto& ranges = result.Symbols.Ranges;
  size_t next = 0;
  uint32_t lineNo = 0;
  size_t pos = 0;
  auto number = [](uint32_t n) {
    std::string s = std::to_string(n);
    return std::string(s.size() < 6 ? 6 - s.size() : 0, ' ') + s;
  };
  while (pos < source.size()) {
    size_t end = source.find('\n', pos);
    if (end == std::string_view::npos) end = source.size();
    std::string_view line = source.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
    ++lineNo;
    bool first = true;
    auto text = [&] {
      out += "  ";
      out += number(lineNo);
      out += "  ";
      out += line;
    };
    for (; next < ranges.size() && ranges[next].Line == lineNo; ++next) {
      const TAsmLineRange& r = ranges[next];
      if (r.Section >= result.Sections.size()) continue;
      const TAsmSection& s = result.Sections[r.Section];
      const bool reserved = s.Kind == TSectionKind::Ds || s.Kind == TSectionKind::Mem;
      const uint32_t count = reserved ? 1 : r.Count;
      for (uint32_t k = 0; k < count; ++k) {
        out += '$';
        AppendHex(out, uint32_t(r.Address) + k, 8);
        out += ":  ";
        AppendHex(out, reserved ? s.Fill : s.Words[r.Offset + k], 8);
        if (first) text();
        first = false;
        out += '\n';
      }
    }
    if (first) {
      out.append(20, ' ');
      text();
      out += '\n';
    }
  }
  return out;
}

bool EvaluateExpression(std::string_view text, const TAsmSymbols& symbols, int64_t& value, std::string& error) {
  TExpr e = Evaluate(
      text,
      [&symbols](std::string_view n, int64_t& v) {
        const TAsmSymbol* s = symbols.Find(n);
        if (s) v = s->Value;
        return s != nullptr;
      },
      std::nullopt);
  if (e.State == TExpr::Error) {
    error = e.Message;
    return false;
  }
  if (e.State == TExpr::Deferred) {
    size_t end = e.Offset;
    while (end < text.size() && IsNameChar(text[end])) ++end;
    error = "unknown label " + Quoted(text.substr(e.Offset, end - e.Offset));
    return false;
  }
  value = e.Value;
  return true;
}
