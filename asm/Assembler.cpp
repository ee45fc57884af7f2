#include "asm/Assembler.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <unordered_set>

#include "core/CPU.h"
#include "core/Instructions.h"
#include "core/Loader.h"

namespace {

constexpr int64_t MaxAddress = 0x7FFFFFFF;
// Bounds that keep a hostile source from costing more memory than the
// image it could describe: labels and constants in all, and labels and
// operands on one line (no program a person writes comes near them).
constexpr size_t MaxSymbols = size_t(1) << 22;
constexpr size_t MaxLabelsPerLine = 256;
constexpr size_t MaxOperandsPerLine = 65536;
// Lines that macro expansions feed the assembler in all: with the count of
// expansions this bounds the time a macro that repeats itself can cost.
constexpr uint64_t MaxExpandedLines = 1000000;
// Lines that included files hold in all: a file that includes the next one
// twice, sixteen deep, would otherwise cost 65536 readings.
constexpr uint64_t MaxIncludedLines = 1000000;
// Suggestions are looked for among at most this many labels, so that a
// hundred misspellings in a huge generated source stay quick.
constexpr size_t MaxSuggestionCandidates = 65536;
// What every reset puts into R30, the base that li, la and the literal pool use.
constexpr int64_t BaseAddress = HeaderAddress;
constexpr uint32_t BaseRegister = 30, StackRegister = 29, LinkRegister = 31;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsNameStart(char c) { return IsLetter(c) || c == '_' || c == '.'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
int HexValue(char c) { return IsDigit(c) ? c - '0' : Lower(c) - 'a' + 10; }

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

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

// The code point of a valid character of n bytes at s[i].
uint32_t CodePoint(std::string_view s, size_t i, size_t n) {
  uint32_t c = uint8_t(s[i]) & (n == 1 ? 0x7F : n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
  for (size_t k = 1; k < n; ++k) c = c << 6 | (uint8_t(s[i + k]) & 0x3F);
  return c;
}

// Characters that show nothing or move the text: C1 controls, no-break and
// other special spaces, zero-width characters, line separators, the
// byte-order mark. A message shows their bytes instead.
bool Invisible(uint32_t c) {
  return (c >= 0x80 && c <= 0xA0) || c == 0xAD || (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
         (c >= 0x205F && c <= 0x206F) || c == 0xFEFF || c == 0x3000;
}

// The whole character at s[i] (one byte when it is not valid UTF-8), so
// that a message never quotes half of one.
std::string_view CharacterAt(std::string_view s, size_t i) {
  return s.substr(i, std::max<size_t>(1, Utf8Length(s, i)));
}

// Source text inside a message: characters as they are, but every byte
// that is not valid UTF-8, every control character and every character
// that shows nothing as \xNN, so that a message is always valid, visible
// UTF-8 and never ends early at a NUL.
std::string Printable(std::string_view s) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(s.size());
  auto escape = [&](uint8_t b) {
    out += "\\x";
    out += Digits[b >> 4];
    out += Digits[b & 15];
  };
  for (size_t i = 0; i < s.size();) {
    const uint8_t b = uint8_t(s[i]);
    const size_t n = Utf8Length(s, i);
    if (n == 0 || b < 0x20 || b == 0x7F) {
      escape(b);
      ++i;
    } else if (n > 1 && Invisible(CodePoint(s, i, n))) {
      for (size_t k = 0; k < n; ++k) escape(uint8_t(s[i + k]));
      i += n;
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

// What an unexpected character is, where its look does not say it.
std::string CharacterHint(std::string_view s, size_t i) {
  const size_t n = Utf8Length(s, i);
  if (n < 2) return "";
  const uint32_t c = CodePoint(s, i, n);
  if (c == 0xA0 || c == 0x202F) return " (a no-break space; type a plain space)";
  if (c == 0xFEFF) return " (a byte-order mark; delete it)";
  if (Invisible(c)) return " (an invisible character; delete it)";
  return "";
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

std::string RegisterName(uint32_t r) { return std::string("R") + char('0' + r / 10) + char('0' + r % 10); }

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

const TInstruction& Plain(std::string_view mnemonic) {
  for (const TInstruction& i : Instructions)
    if (i.Mnemonic == mnemonic && !i.Alias) return i;
  return Instructions[0];
}

// ---------------------------------------------------------------- suggestions

// The number of edits (insert, delete, replace, swap of neighbours) that
// turn a into b, or 3 when it is more than 2.
int EditDistance(std::string_view a, std::string_view b) {
  if (a.size() > b.size() + 2 || b.size() > a.size() + 2 || a.size() > 64 || b.size() > 64) return 3;
  std::array<std::array<uint8_t, 66>, 66> d{};
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = uint8_t(i);
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = uint8_t(j);
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      int v = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) v = std::min(v, d[i - 2][j - 2] + 1);
      d[i][j] = uint8_t(std::min(v, 3));
    }
  return d[a.size()][b.size()];
}

// Keeps the closest candidate within two edits of the word.
struct TSuggestion {
  explicit TSuggestion(std::string_view word) : Word(word) {}
  std::string Word;
  int Best = 3;
  std::string Found;
  void Try(std::string_view candidate) {
    if (candidate == Word) return;
    // One edit in a short word, two in a long one: more would take 'foo' for 'xor'.
    const int allowed = Word.size() <= 2 ? 0 : Word.size() <= 5 ? 1 : 2;
    const int d = EditDistance(Word, candidate);
    if (d < Best && d <= allowed) {
      Best = d;
      Found = std::string(candidate);
    }
  }
  std::string Text() const { return Found.empty() ? std::string() : "; did you mean " + Found + "?"; }
};

// ---------------------------------------------------------------- characters

// Reads one escape after the backslash at s[i] (i points at the backslash);
// false with a message when it is none of the language's.
bool Escape(std::string_view s, size_t& i, uint8_t& out, std::string& error) {
  if (i + 1 >= s.size()) {
    error = "a '\\' must be followed by n, t, r, 0, \\, ', \" or xHH";
    return false;
  }
  const char c = s[i + 1];
  switch (c) {
    case 'n': out = '\n'; break;
    case 't': out = '\t'; break;
    case 'r': out = '\r'; break;
    case '0': out = 0; break;
    case '\\': out = '\\'; break;
    case '\'': out = '\''; break;
    case '"': out = '"'; break;
    case 'x':
      if (i + 3 < s.size() && IsHexDigit(s[i + 2]) && IsHexDigit(s[i + 3])) {
        out = uint8_t(HexValue(s[i + 2]) * 16 + HexValue(s[i + 3]));
        i += 4;
        return true;
      }
      error = "'\\x' needs two hexadecimal digits, as in \\x41";
      return false;
    default:
      error = "unknown escape " + Quoted(s.substr(i, 1 + std::max<size_t>(1, Utf8Length(s, i + 1)))) +
              "; the escapes are \\n, \\t, \\r, \\0, \\\\, \\', \\\" and \\xHH";
      return false;
  }
  i += 2;
  return true;
}

// Where the quoted text that opens at s[i] (with '"' or '\'') ends: the
// index after its closing quote, or npos when the line ends first.
size_t QuoteEnd(std::string_view s, size_t i) {
  const char quote = s[i];
  for (size_t k = i + 1; k < s.size(); ++k) {
    if (s[k] == '\\') {
      ++k;
    } else if (s[k] == quote) {
      return k + 1;
    }
  }
  return std::string_view::npos;
}

// The line without its comment: from ';' or '//' outside quotes, or the
// whole line when it starts with '#'.
std::string_view WithoutComment(std::string_view text) {
  size_t k = 0;
  while (k < text.size() && IsBlank(text[k])) ++k;
  if (k < text.size() && text[k] == '#') return text.substr(0, 0);
  for (; k < text.size(); ++k) {
    const char c = text[k];
    if (c == ';' || (c == '/' && k + 1 < text.size() && text[k + 1] == '/')) return text.substr(0, k);
    if (c == '"' || c == '\'') {
      const size_t end = QuoteEnd(text, k);
      if (end == std::string_view::npos) return text;
      k = end - 1;
    }
  }
  return text;
}

// ---------------------------------------------------------------- expressions

struct TExpr {
  enum { Ok, Deferred, Error } State = Ok;
  int64_t Value = 0;
  size_t Offset = 0;  // where the error or the first unknown name is
  std::string Message;
  bool Local = false;  // names a local label (1b, 1f)
};

// What a name lookup found: a value, nothing yet (a label further down), or
// an error with its message (a local label that does not exist).
enum class TFound { Known, Unknown, Error };

// Reads an expression with C's operators and precedence. lookup(name, value,
// error) resolves names; an unknown name makes the result Deferred (the
// syntax is still checked, and so are the operations whose operands are
// known), so that the caller decides whether that is an error.
template <typename Lookup>
class TParser {
 public:
  TParser(std::string_view text, Lookup& lookup, const std::optional<int64_t>& dot)
      : Text(text), Find(lookup), Dot(dot) {}

  TExpr Run() {
    Skip();
    if (I == Text.size()) {
      Fail(0, "missing value");
      return R;
    }
    TValue v;
    if (Binary(1, v)) {
      Skip();
      if (I < Text.size()) Trailing();
    }
    if (R.State == TExpr::Error) return R;
    R.State = v.Known ? TExpr::Ok : TExpr::Deferred;
    R.Value = v.Known ? v.V : 0;
    if (!v.Known) R.Offset = FirstUnknown;
    return R;
  }

 private:
  struct TValue {
    int64_t V = 0;
    bool Known = true;
  };

  std::string_view Text;
  Lookup& Find;
  const std::optional<int64_t>& Dot;
  size_t I = 0;
  size_t FirstUnknown = std::string_view::npos;
  TExpr R;

  bool Fail(size_t at, std::string message) {
    if (R.State != TExpr::Error) {
      R.State = TExpr::Error;
      R.Offset = at;
      R.Message = std::move(message);
    }
    return false;
  }
  void Skip() {
    while (I < Text.size() && IsBlank(Text[I])) ++I;
  }
  bool TermStart(char c) const { return IsNameChar(c) || c == '$' || c == '\'' || c == '(' || c == '~'; }

  void Trailing() {
    const char c = Text[I];
    if (c == ')') {
      Fail(I, "')' without a '(' before it");
    } else if (I > 0 && IsBlank(Text[I - 1]) && TermStart(c)) {
      Fail(I, "missing ',' before " + Quoted(Text.substr(I, std::min<size_t>(Text.size() - I, 12))) +
                  ", or an operator between the two values");
    } else if ((c == '<' || c == '>') && (I + 1 >= Text.size() || Text[I + 1] != c)) {
      Fail(I, std::string("unexpected '") + c + "'; the shift operators are << and >>");
    } else {
      Fail(I, "unexpected " + Quoted(CharacterAt(Text, I)) + CharacterHint(Text, I) +
                  "; expected an operator or the end of the operand");
    }
  }

  // The binary operator at I and its precedence (higher binds tighter), or 0.
  int Operator(std::string_view& op) const {
    if (I >= Text.size()) return 0;
    const char c = Text[I];
    if ((c == '<' || c == '>') && I + 1 < Text.size() && Text[I + 1] == c) {
      op = Text.substr(I, 2);
      return 4;
    }
    op = Text.substr(I, 1);
    switch (c) {
      case '|': return 1;
      case '^': return 2;
      case '&': return 3;
      case '+':
      case '-': return 5;
      case '*':
      case '/':
      case '%': return 6;
      default: return 0;
    }
  }

  bool Binary(int minPrecedence, TValue& left) {
    if (!Unary(left)) return false;
    while (true) {
      Skip();
      std::string_view op;
      const int precedence = Operator(op);
      if (precedence == 0 || precedence < minPrecedence) return true;
      const size_t at = I;
      I += op.size();
      Skip();
      if (I == Text.size()) return Fail(I, "expected a term after the operator");
      TValue right;
      if (!Binary(precedence + 1, right)) return false;
      if (!Apply(op, at, left, right)) return false;
    }
  }

  bool Apply(std::string_view op, size_t at, TValue& l, const TValue& r) {
    const char c = op[0];
    if ((c == '/' || c == '%') && r.Known && r.V == 0)
      return Fail(at, c == '/' ? "division by zero" : "remainder of a division by zero");
    if (op.size() == 2 && r.Known && (r.V < 0 || r.V > 31))
      return Fail(at, "shift count " + std::to_string(r.V) + " out of range 0..31");
    if (op.size() == 2 && l.Known && (l.V < INT32_MIN || l.V > int64_t(UINT32_MAX)))
      return Fail(at, "value " + std::to_string(l.V) + " before " + std::string(op) + " does not fit in 32 bits");
    if (!l.Known || !r.Known) {
      l.Known = false;
      return true;
    }
    int64_t v = 0;
    bool overflow = false;
    switch (c) {
      case '+': overflow = __builtin_add_overflow(l.V, r.V, &v); break;
      case '-': overflow = __builtin_sub_overflow(l.V, r.V, &v); break;
      case '*': overflow = __builtin_mul_overflow(l.V, r.V, &v); break;
      case '/':
      case '%':
        if (l.V == INT64_MIN && r.V == -1) {
          overflow = true;
        } else {
          v = c == '/' ? l.V / r.V : l.V % r.V;
        }
        break;
      case '&': v = l.V & r.V; break;
      case '^': v = l.V ^ r.V; break;
      case '|': v = l.V | r.V; break;
      case '<': v = int64_t(uint32_t(uint32_t(l.V) << r.V)); break;
      case '>': v = int64_t(uint32_t(l.V) >> r.V); break;
      default: break;
    }
    if (overflow) return Fail(at, "value too large");
    l.V = v;
    return true;
  }

  bool Unary(TValue& v) {
    Skip();
    if (I < Text.size() && (Text[I] == '-' || Text[I] == '+' || Text[I] == '~')) {
      const char op = Text[I];
      const size_t at = I++;
      Skip();
      if (I == Text.size()) return Fail(I, "expected a number, label or '.' after the sign");
      if (!Unary(v)) return false;
      if (!v.Known || op == '+') return true;
      if (op == '~') {
        v.V = ~v.V;
      } else if (__builtin_sub_overflow(int64_t(0), v.V, &v.V)) {
        return Fail(at, "value too large");
      }
      return true;
    }
    return Primary(v);
  }

  bool Number(TValue& v) {
    const size_t start = I;
    const char c = Text[I];
    int base = 10;
    if (c == '$') {
      base = 16;
      I += 1;
    } else if (c == '0' && I + 1 < Text.size() && (Text[I + 1] == 'x' || Text[I + 1] == 'X')) {
      base = 16;
      I += 2;
    } else if (c == '0' && I + 1 < Text.size() && (Text[I + 1] == 'b' || Text[I + 1] == 'B')) {
      base = 2;
      I += 2;
    }
    const size_t digits = I;
    int64_t n = 0;
    while (I < Text.size()) {
      const char d = Text[I];
      const bool ok = base == 16 ? IsHexDigit(d) : base == 2 ? (d == '0' || d == '1') : IsDigit(d);
      if (!ok) break;
      n = n * base + HexValue(d);
      if (n > 0xFFFFFFFF)
        return Fail(start, "number " + Quoted(Text.substr(start, I + 1 - start)) + " is larger than 32 bits");
      ++I;
    }
    if (I == digits)
      return Fail(start, std::string("expected ") + (base == 2 ? "binary" : "hexadecimal") + " digits after " +
                             Quoted(Text.substr(start, I - start)));
    if (base == 2 && I < Text.size() && IsDigit(Text[I])) return Fail(I, "binary digits are 0 and 1");
    v.V = n;
    return true;
  }

  bool Character(TValue& v) {
    const size_t start = I;
    size_t k = I + 1;
    uint8_t byte = 0;
    if (k >= Text.size()) return Fail(start, "a character literal needs a character and a closing '");
    if (Text[k] == '\\') {
      std::string error;
      if (!Escape(Text, k, byte, error)) return Fail(k, error);
    } else if (Text[k] == '\'') {
      return Fail(start, "empty character literal; write the quote itself as '\\''");
    } else {
      const size_t n = Utf8Length(Text, k);
      if (n > 1)
        return Fail(start, "a character literal holds one byte, and " + Quoted(Text.substr(k, n)) + " has " +
                               std::to_string(n) + " in UTF-8; write its bytes with .ascii");
      byte = uint8_t(Text[k]);
      ++k;
    }
    if (k >= Text.size() || Text[k] != '\'') return Fail(start, "missing closing ' of the character literal");
    I = k + 1;
    v.V = byte;
    return true;
  }

  bool Primary(TValue& v) {
    if (I == Text.size()) return Fail(I, "expected a number, label or '.' after the sign");
    const size_t start = I;
    const char c = Text[I];
    if (c == '(') {
      ++I;
      if (!Binary(1, v)) return false;
      Skip();
      if (I == Text.size() || Text[I] != ')') return Fail(I == Text.size() ? start : I, "missing ')' for this '('");
      ++I;
      return true;
    }
    if (c == '\'') return Character(v);
    // A local label: 1b .. 9b or 1f .. 9f.
    if (c >= '1' && c <= '9' && I + 1 < Text.size() && (Text[I + 1] == 'b' || Text[I + 1] == 'f') &&
        (I + 2 == Text.size() || !IsNameChar(Text[I + 2]))) {
      I += 2;
      R.Local = true;
      return Name(Text.substr(start, 2), start, v);
    }
    if (c == '$' || IsDigit(c)) return Number(v);
    if (IsNameStart(c)) {
      while (I < Text.size() && IsNameChar(Text[I])) ++I;
      const std::string_view name = Text.substr(start, I - start);
      if (name == ".") {
        if (!Dot) return Fail(start, "'.' (the current address) is only known inside a section");
        v.V = *Dot;
        return true;
      }
      if (RegisterNumber(name)) return Fail(start, "register " + std::string(name) + " where a value is expected");
      return Name(name, start, v);
    }
    return Fail(I, "expected a number, label or '.', found " + Quoted(CharacterAt(Text, I)) + CharacterHint(Text, I));
  }

  bool Name(std::string_view name, size_t start, TValue& v) {
    std::string error;
    switch (Find(name, v.V, error)) {
      case TFound::Known: return true;
      case TFound::Error: return Fail(start, error);
      case TFound::Unknown: break;
    }
    v.Known = false;
    if (FirstUnknown == std::string_view::npos) FirstUnknown = start;
    return true;
  }
};

template <typename Lookup>
TExpr Evaluate(std::string_view text, Lookup&& lookup, const std::optional<int64_t>& dot) {
  TParser<std::remove_reference_t<Lookup>> parser(text, lookup, dot);
  return parser.Run();
}

// The name that starts at offset in text, for messages about it.
std::string_view NameAt(std::string_view text, size_t offset) {
  size_t end = offset;
  while (end < text.size() && IsNameChar(text[end])) ++end;
  return text.substr(offset, end - offset);
}

// Decodes the string literal that an operand is; false with the offset and
// message of the first fault.
bool StringLiteral(std::string_view op, std::string& out, size_t& at, std::string& error) {
  if (op.empty() || op[0] != '"') {
    at = 0;
    error = "expected a text in double quotes, as in \"Hallo\"";
    return false;
  }
  out.clear();
  size_t k = 1;
  while (k < op.size() && op[k] != '"') {
    if (op[k] == '\\') {
      uint8_t b = 0;
      const size_t escapeAt = k;
      if (!Escape(op, k, b, error)) {
        at = escapeAt;
        return false;
      }
      out += char(b);
    } else {
      out += op[k++];
    }
  }
  if (k >= op.size()) {
    at = 0;
    error = "missing closing '\"' of the text";
    return false;
  }
  if (k + 1 < op.size()) {
    at = k + 1;
    while (at < op.size() && IsBlank(op[at])) ++at;
    error = "unexpected " + Quoted(CharacterAt(op, at)) + " after the text; separate texts with ','";
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- assembler

// Operands (or labels) of one line, each with where it stands for columns.
using TOperandList = std::vector<std::pair<std::string_view, const char*>>;

enum class TFixKind : uint8_t { Immediate, Branch, Word, Load };

// Where a logical line is: its file and line, the .include or macro call
// that led there (a TContext index), the line of the assembled source that
// started it all, and its place in the order of all lines read.
struct TWhere {
  uint32_t File = 0, Line = 0, Context = 0, Top = 0;
  uint64_t Seq = 0;
};

// A value that names a label defined further down; filled in once every
// line has been read.
struct TFixup {
  std::string_view Text;
  TWhere Where;
  uint32_t Column;  // of the operand
  uint32_t Section, Offset;
  int32_t Dot;      // the value of '.': the statement's address
  int32_t Address;  // of the word
  uint32_t Locals;  // index in LocalSnapshots, or NoLocals
  TFixKind Kind;
};
constexpr uint32_t NoLocals = UINT32_MAX;

struct TMacro {
  std::string Name;  // as written in the definition
  std::vector<std::string> Params;
  std::vector<std::string> Body;
  std::vector<uint32_t> BodyLines;  // each body line's line in File
  uint32_t File = 0, Line = 0;      // of the .macro line
};

// An .include or a macro call that lines come from, for messages.
struct TContext {
  uint32_t Parent = 0;
  uint32_t File = 0, Line = 0;
  const TMacro* Macro = nullptr;
};

// Where lines come from: a file's text, or a macro's body with arguments.
struct TFrame {
  const TMacro* Macro = nullptr;
  uint32_t File = 0;  // whose lines these are (a macro: of its definition)
  uint32_t LineNo = 0;
  uint32_t Context = 0;
  // A file.
  std::string_view Text;
  size_t Pos = 0;
  bool CrOnly = false;    // its lines end with CR alone
  int SavedScratch = -1;  // the includer's scratch register, back when the file ends
  std::string Identity;
  // A macro.
  size_t Next = 0;
  std::vector<std::string> Args;
  uint64_t Expansion = 0;
  std::string Expanded;
};

// A li or la whose value no single instruction makes: the load's word and
// the value the pool must hold.
struct TPoolUse {
  uint32_t Section, Offset;
  uint32_t Value;
  TWhere Where;
  uint32_t Column;
};

constexpr int64_t NoSection = -1;
// After a section directive that failed (or an unknown directive outside
// any section): words are dropped without a message of their own, since
// the first error already explains them.
constexpr int64_t BrokenSection = -2;

// Diagnostics wait with their order: the line of the assembled source, the
// line read, the column.
struct TOrderedDiagnostic {
  TAsmDiagnostic D;
  uint64_t Seq;
};

class TAssembler {
 public:
  TAssembler(std::string_view source, const TAsmOptions& options) : Source(source), Options(options) {}
  TAsmResult Run();

 private:
  std::string_view Source;
  const TAsmOptions& Options;
  TAsmResult R;
  std::vector<TOrderedDiagnostic> Diagnostics;
  const char* LineStart = nullptr;
  TWhere Here;
  int64_t Section = NoSection;  // the open section that takes words
  int64_t TotalWords = 0;
  bool Stop = false;
  size_t Warnings = 0;
  std::vector<TFixup> Fixups;
  std::vector<uint32_t> SectionColumns;
  std::vector<TWhere> SectionPlaces;
  TOperandList Ops, Labels;
  std::vector<TExpr> Values;
  // Lines and their sources.
  std::vector<TFrame> Frames;
  std::vector<TContext> Contexts{TContext{}};
  std::deque<std::string> Texts;  // included files; they outlive every view into them
  std::deque<std::string> Kept;   // operands of expanded lines that fixups still need
  size_t MacroDepth = 0;
  uint64_t Expansions = 0, ExpandedLines = 0, IncludedLines = 0;
  std::map<std::string, std::unique_ptr<TMacro>, std::less<>> Macros;  // by lower-case name
  std::unique_ptr<TMacro> Defining;                                    // the macro whose body is being read
  size_t DefiningFrame = 0;
  bool DefiningBroken = false;  // its first line had an error: the body is only skipped
  bool Expanding() const { return MacroDepth > 0; }
  // Local labels 1..9: their addresses in order of definition.
  std::array<std::vector<int64_t>, 9> Locals;
  std::vector<std::array<uint32_t, 9>> LocalSnapshots;
  size_t LocalCount = 0;
  std::unordered_set<std::string> Silenced;  // labels of broken sections: their uses give no error
  int Scratch = -1;
  bool FallsThrough = false;  // the last word of the open section is an instruction that goes on
  bool Pseudo = false;        // the statement is a pseudo-instruction
  bool DataStatement = false;
  std::vector<TPoolUse> PoolUses;

  uint32_t Col(const char* p) const { return uint32_t(p - LineStart) + 1; }
  void Report(TAsmSeverity severity, const TWhere& where, uint32_t column, std::string message);
  void Error(const TWhere& where, uint32_t column, std::string message) {
    Report(TAsmSeverity::Error, where, column, std::move(message));
  }
  void Error(const char* at, std::string message) { Error(Here, Col(at), std::move(message)); }
  void Warning(const TWhere& where, uint32_t column, std::string message) {
    Report(TAsmSeverity::Warning, where, column, std::move(message));
  }
  std::string FileName(uint32_t file) const;
  std::string PlaceText(uint32_t file, uint32_t line, uint32_t sameFile) const;

  bool NextLine(std::string_view& line);
  void PopFrame();
  void Line(std::string_view text);
  void CollectMacroLine(std::string_view text);
  void Statement(std::string_view name, const char* nameAt, std::string_view operands, const char* operandsAt,
                 int64_t& sectionStart);
  bool SplitOperands(std::string_view operands, const char* operandsAt);
  void Instruction(const TInstruction& ins, std::string_view name, const char* nameAt, const TOperandList& ops);
  bool PseudoInstruction(std::string_view key, std::string_view name, const char* nameAt, const TOperandList& ops);
  bool Directive(std::string_view lower, const char* nameAt, const TOperandList& ops, int64_t& sectionStart,
                 std::string_view operands, const char* operandsAt);
  void UnknownDirective(std::string_view d, const char* nameAt);
  void Include(const TOperandList& ops, const char* nameAt);
  void DefineMacro(std::string_view operands, const char* operandsAt, const char* nameAt);
  void Expand(const TMacro& macro, const char* nameAt, const TOperandList& ops);
  bool MissingComma(const TOperandList& ops);
  // The register that operand k names; an error (`why`, when given) if none.
  std::optional<uint32_t> Register(const TOperandList& ops, size_t k, const char* why = nullptr);

  std::optional<int64_t> Dot() const;
  TFound Lookup(std::string_view name, int64_t& v, std::string& error, uint32_t snapshot) const;
  TExpr Eval(std::string_view text, const std::optional<int64_t>& dot);
  // A value needed on this line: names further down are an error here.
  std::optional<int64_t> ValueNow(std::string_view text, const char* at);
  // Reserves words in the open section; the offset of the first, or -1.
  int64_t Reserve(uint64_t count, const char* at);
  bool Ranged(int64_t v, int64_t lo, int64_t hi, const char* at, const char* what);
  bool OpenSection(TSectionKind kind, int64_t start, uint64_t count, const char* at);
  void DefineLabel(std::string_view name, const char* at, int64_t value);
  void DefineLocal(char digit, const char* at, std::optional<int64_t> value);
  // A word's value from an expression: now, or once labels are known.
  void SetValue(TFixKind kind, const TExpr& e, std::string_view text, const char* at, uint32_t offset, int32_t dot,
                int32_t address);
  // Checks and stores a value into a word; false after an error message.
  bool Store(TFixKind kind, int64_t value, uint32_t section, uint32_t offset, int32_t address, const TWhere& where,
             uint32_t column);
  void ResolveFixups();
  void PlacePool();
  void CheckOverlaps();
  void Compact();
  std::string LabelSuggestion(std::string_view name) const;
};

std::string TAssembler::FileName(uint32_t file) const {
  if (file == 0) return Options.FileName.empty() ? std::string("the source") : Options.FileName;
  return R.Symbols.Files[file];
}

std::string TAssembler::PlaceText(uint32_t file, uint32_t line, uint32_t sameFile) const {
  if (file == sameFile) return "line " + std::to_string(line);
  return Printable(FileName(file)) + ":" + std::to_string(line);
}

void TAssembler::Report(TAsmSeverity severity, const TWhere& where, uint32_t column, std::string message) {
  if (severity == TAsmSeverity::Error) {
    if (Stop) return;
    if (R.ErrorCount == MaxAsmErrors) {
      R.TooManyErrors = true;
      Stop = true;
      return;
    }
    ++R.ErrorCount;
  } else {
    if (Warnings == MaxAsmErrors) return;
    ++Warnings;
  }
  TAsmDiagnostic d;
  d.Line = where.Line;
  d.Column = column;
  d.Severity = severity;
  d.Message = std::move(message);
  d.File = where.File == 0 ? std::string() : R.Symbols.Files[where.File];
  d.SourceLine = where.Top;
  for (uint32_t c = where.Context; c != 0; c = Contexts[c].Parent) {
    const TContext& ctx = Contexts[c];
    d.Context.push_back({ctx.File == 0 ? std::string() : R.Symbols.Files[ctx.File], ctx.Line,
                         ctx.Macro ? ctx.Macro->Name : std::string()});
  }
  Diagnostics.push_back({std::move(d), where.Seq});
}

std::optional<int64_t> TAssembler::Dot() const {
  if (Section < 0) return std::nullopt;
  const TAsmSection& s = R.Sections[size_t(Section)];
  return int64_t(s.Start) + int64_t(s.Words.size());
}

TFound TAssembler::Lookup(std::string_view name, int64_t& v, std::string& error, uint32_t snapshot) const {
  if (name.size() == 2 && name[0] >= '1' && name[0] <= '9' && (name[1] == 'b' || name[1] == 'f')) {
    const size_t digit = size_t(name[0] - '1');
    const std::vector<int64_t>& defs = Locals[digit];
    const size_t before = snapshot == NoLocals ? defs.size() : LocalSnapshots[snapshot][digit];
    if (name[1] == 'b') {
      if (before == 0) {
        error = std::string("no local label ") + name[0] + ": before this line for " + std::string(name);
        return TFound::Error;
      }
      v = defs[before - 1];
      return TFound::Known;
    }
    if (snapshot == NoLocals) return TFound::Unknown;
    if (before >= defs.size()) {
      error = std::string("no local label ") + name[0] + ": after this line for " + std::string(name);
      return TFound::Error;
    }
    v = defs[before];
    return TFound::Known;
  }
  const TAsmSymbol* s = R.Symbols.Find(name);
  if (!s) return TFound::Unknown;
  v = s->Value;
  return TFound::Known;
}

TExpr TAssembler::Eval(std::string_view text, const std::optional<int64_t>& dot) {
  return Evaluate(
      text, [this](std::string_view n, int64_t& v, std::string& error) { return Lookup(n, v, error, NoLocals); }, dot);
}

std::optional<int64_t> TAssembler::ValueNow(std::string_view text, const char* at) {
  TExpr e = Eval(text, Dot());
  if (e.State == TExpr::Error) {
    Error(at + e.Offset, e.Message);
    return std::nullopt;
  }
  if (e.State == TExpr::Deferred) {
    const std::string_view name = NameAt(text, e.Offset);
    if (!Silenced.count(std::string(name)))
      Error(at + e.Offset, name.size() == 2 && IsDigit(name[0])
                               ? Quoted(name) + " names a label further down; this value must be known here"
                               : Quoted(name) + " is not defined above this line; this value must be known here" +
                                     LabelSuggestion(name));
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
  if (Section == BrokenSection) return -1;
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
  if (count > 0) {
    const TAsmRangeKind kind = Pseudo || (Expanding() && !DataStatement) ? TAsmRangeKind::Expanded
                               : Expanding()                             ? TAsmRangeKind::ExpandedData
                                                                         : TAsmRangeKind::Plain;
    R.Symbols.Ranges.push_back({int32_t(s.Start + offset), uint32_t(count), Here.Top, uint32_t(Section),
                                uint32_t(offset), Here.File, Here.Line, kind});
    // Data words right after an instruction that goes on: execution runs
    // into them.
    if (DataStatement && FallsThrough && s.Kind == TSectionKind::Code)
      Warning(Here, Col(at),
              "data in the path of execution: the instruction before it goes on to this word; end the code "
              "before it with j, ret or an idle loop (beqz R00,.)");
  }
  return offset;
}

bool TAssembler::OpenSection(TSectionKind kind, int64_t start, uint64_t count, const char* at) {
  if (!Ranged(start, 0, MaxAddress, at, "section address")) return false;
  if (start + int64_t(count) - 1 > MaxAddress) {
    Error(at,
          "address past $7fffffff: " + std::to_string(count) + " words from " + Hex(uint64_t(start)) + " do not fit");
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
  s.Line = Here.Top;
  R.Sections.push_back(std::move(s));
  SectionColumns.push_back(Col(at));
  SectionPlaces.push_back(Here);
  if (count > 0)
    R.Symbols.Ranges.push_back({int32_t(start), uint32_t(count), Here.Top, uint32_t(R.Sections.size() - 1), 0,
                                Here.File, Here.Line, TAsmRangeKind::Plain});
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
    Error(at, "duplicate label " + Quoted(name) + " (first defined " +
                  (s->File == Here.File ? "on line " + std::to_string(s->FileLine)
                                        : "at " + PlaceText(s->File, s->FileLine, Here.File)) +
                  ")");
    return;
  }
  TAsmSymbol symbol;
  symbol.Name = std::string(name);
  symbol.Value = value;
  symbol.Line = Here.Top;
  symbol.Label = true;
  symbol.File = Here.File;
  symbol.FileLine = Here.Line;
  R.Symbols.Add(std::move(symbol));
}

void TAssembler::DefineLocal(char digit, const char* at, std::optional<int64_t> value) {
  if (LocalCount == MaxSymbols) {
    Error(at, "more than " + std::to_string(MaxSymbols) + " local labels");
    Stop = true;
    return;
  }
  ++LocalCount;
  if (!value && Section != BrokenSection)
    Error(at, std::string("label ") + digit + ": outside any section; start one with .code ADDR or .data ADDR");
  Locals[size_t(digit - '1')].push_back(value.value_or(0));
}

std::string TAssembler::LabelSuggestion(std::string_view name) const {
  TSuggestion s{name};
  const size_t n = std::min(R.Symbols.Symbols.size(), MaxSuggestionCandidates);
  for (size_t k = 0; k < n; ++k) s.Try(R.Symbols.Symbols[k].Name);
  return s.Text();
}

bool TAssembler::Store(TFixKind kind, int64_t v, uint32_t section, uint32_t offset, int32_t address,
                       const TWhere& where, uint32_t column) {
  uint32_t& word = R.Sections[section].Words[offset];
  switch (kind) {
    case TFixKind::Immediate:
      if (v < -32768 || v > 65535) {
        Error(where, column,
              "immediate " + std::to_string(v) + " out of range -32768..65535; use li for a constant of any size");
        return false;
      }
      word = (word & 0xFFFF0000u) | (uint32_t(v) & 0xFFFF);
      return true;
    case TFixKind::Branch: {
      if (v < INT32_MIN || v > int64_t(UINT32_MAX)) {
        Error(where, column, "branch target " + std::to_string(v) + " is not a 32-bit address");
        return false;
      }
      // Target arithmetic wraps like the processor's, so a target below 0
      // reads as its 32-bit pattern, as the code view shows it.
      const int32_t offsetWords = int32_t(uint32_t(v) - (uint32_t(address) + 1));
      if (offsetWords < -32768 || offsetWords > 32767) {
        Error(where, column,
              "branch target " + Hex(uint32_t(v)) + " too far: offset " + std::to_string(offsetWords) +
                  " out of range -32768..32767; to go further, load the address with la and jump with jr");
        return false;
      }
      word = (word & 0xFFFF0000u) | (uint32_t(offsetWords) & 0xFFFF);
      return true;
    }
    case TFixKind::Word:
      if (v < INT32_MIN || v > int64_t(UINT32_MAX)) {
        Error(where, column, "value " + std::to_string(v) + " does not fit in a 32-bit word");
        return false;
      }
      word = uint32_t(v);
      return true;
    case TFixKind::Load: {
      if (v < INT32_MIN || v > int64_t(UINT32_MAX)) {
        Error(where, column, "value " + std::to_string(v) + " does not fit in 32 bits");
        return false;
      }
      // One instruction when one makes the value: addi from R00, subi for
      // 32768, addi from R30 near the image's start; else a pool load.
      const uint32_t rb = (word >> 16) & 31;
      const int64_t s = int32_t(uint32_t(v));
      const int64_t fromBase = int64_t(uint32_t(v)) - BaseAddress;
      if (s >= -32768 && s <= 32767) {
        word = Plain("addi").Encode(0, rb, 0, uint32_t(s));
      } else if (s == 32768) {
        word = Plain("subi").Encode(0, rb, 0, 0x8000);
      } else if (fromBase >= -32768 && fromBase <= 32767) {
        word = Plain("addi").Encode(BaseRegister, rb, 0, uint32_t(fromBase));
      } else {
        word = Plain("lw").Encode(BaseRegister, rb, 0, 0);
        PoolUses.push_back({section, offset, uint32_t(v), where, column});
      }
      return true;
    }
  }
  return false;
}

void TAssembler::SetValue(TFixKind kind, const TExpr& e, std::string_view text, const char* at, uint32_t offset,
                          int32_t dot, int32_t address) {
  if (e.State == TExpr::Deferred) {
    // A local label's meaning depends on the line: which ones come before.
    uint32_t snapshot = NoLocals;
    if (e.Local) {
      std::array<uint32_t, 9> counts{};
      for (size_t k = 0; k < 9; ++k) counts[k] = uint32_t(Locals[k].size());
      snapshot = uint32_t(LocalSnapshots.size());
      LocalSnapshots.push_back(counts);
    }
    // An expanded line's text lives only while it is read.
    if (Expanding()) {
      Kept.emplace_back(text);
      text = Kept.back();
    }
    Fixups.push_back({text, Here, Col(at), uint32_t(Section), offset, dot, address, snapshot, kind});
    return;
  }
  Store(kind, e.Value, uint32_t(Section), offset, address, Here, Col(at));
}

bool TAssembler::MissingComma(const TOperandList& ops) {
  // "R1 R2" in one operand: a register, blanks, then more.
  for (const auto& [op, at] : ops) {
    size_t k = 0;
    while (k < op.size() && IsNameChar(op[k])) ++k;
    if (k == 0 || k == op.size() || !IsBlank(op[k]) || !RegisterNumber(op.substr(0, k))) continue;
    Error(at + k, "missing ',' after " + Quoted(op.substr(0, k)));
    return true;
  }
  return false;
}

std::optional<uint32_t> TAssembler::Register(const TOperandList& ops, size_t k, const char* why) {
  const auto& [op, at] = ops[k];
  if (auto r = RegisterNumber(op)) return r;
  Error(at, why ? std::string(why) : "bad register " + Quoted(op) + "; expected R0..R31");
  return std::nullopt;
}

void TAssembler::Instruction(const TInstruction& ins, std::string_view name, const char* nameAt,
                             const TOperandList& ops) {
  static constexpr const char* Forms[] = {"Rc,Ra,Rb", "Rc,Ra", "Rb,Ra,IMM", "Ra,TARGET", "Ra", "Rb"};
  static constexpr size_t Counts[] = {3, 2, 3, 2, 1, 1};
  const size_t form = size_t(ins.Operands);
  if (MissingComma(ops)) return;
  if (ops.size() != Counts[form]) {
    Error(nameAt, std::string(name) + " expects " + std::to_string(Counts[form]) + " operand" +
                      (Counts[form] > 1 ? "s" : "") + " (" + Forms[form] + "), found " + std::to_string(ops.size()));
    return;
  }
  uint32_t regs[3] = {0, 0, 0};
  bool ok = true;
  const size_t regCount = ins.Operands == TOperands::RcRaRb    ? 3
                          : ins.Operands == TOperands::RcRa    ? 2
                          : ins.Operands == TOperands::RbRaImm ? 2
                                                               : 1;
  const std::string lower = LowerCase(ins.Mnemonic);
  for (size_t k = 0; k < regCount; ++k) {
    std::string why;
    const std::string_view op = ops[k].first;
    if (!RegisterNumber(op) && !op.empty()) {
      const bool name = IsNameStart(op[0]) && NameAt(op, 0).size() == op.size();
      const bool number = IsDigit(op[0]) || op[0] == '$' || op[0] == '-' || op[0] == '\'' || op[0] == '(';
      if ((lower == "jr" || lower == "jalr") && name)
        why = "bad register " + Quoted(op) + "; " + lower + " takes a register; to " +
              (lower == "jr" ? "jump to a label write j " : "call a label write call ") + std::string(op);
      else if (ins.Operands == TOperands::RcRaRb && k == 2 && (number || name))
        why = "bad register " + Quoted(op) + "; use " + lower + "i for an immediate";
      else if (ins.Operands == TOperands::RaTarget && k == 0 && (number || name))
        why = "bad register " + Quoted(op) + "; " + lower + " tests a register, as in " + lower + " R01," +
              std::string(ops[1].first);
    }
    if (auto r = Register(ops, k, why.empty() ? nullptr : why.c_str())) {
      regs[k] = *r;
    } else {
      ok = false;
    }
  }
  uint32_t ra = 0, rb = 0, rc = 0;
  switch (ins.Operands) {
    case TOperands::RcRaRb: rc = regs[0], ra = regs[1], rb = regs[2]; break;
    case TOperands::RcRa: rc = regs[0], ra = regs[1]; break;
    case TOperands::RbRaImm: rb = regs[0], ra = regs[1]; break;
    case TOperands::RaTarget:
    case TOperands::Ra: ra = regs[0]; break;
    case TOperands::Rb: rb = regs[0]; break;
  }
  const bool hasValue = ins.Operands == TOperands::RbRaImm || ins.Operands == TOperands::RaTarget;
  const auto dot = Dot();
  TExpr e;
  if (hasValue) {
    const auto& op = ops.back();
    e = Eval(op.first, dot);
    if (e.State == TExpr::Error) {
      Error(op.second + e.Offset, e.Message);
      ok = false;
    }
  }
  const int64_t offset = Reserve(1, nameAt);
  if (!ok || offset < 0) return;
  R.Sections[size_t(Section)].Words[size_t(offset)] = ins.Encode(ra, rb, rc, 0);
  // Execution goes on after anything but a jump and a branch on R00.
  FallsThrough = !(ins.Operands == TOperands::Ra && lower == "jr") &&
                 !(ins.Operands == TOperands::RaTarget && lower == "beqz" && ra == 0);
  if (!hasValue) return;
  const TFixKind kind = ins.Operands == TOperands::RaTarget ? TFixKind::Branch : TFixKind::Immediate;
  SetValue(kind, e, ops.back().first, ops.back().second, uint32_t(offset), int32_t(*dot), int32_t(*dot));
}

// A pseudo-instruction: its operands' forms, then its words.
bool TAssembler::PseudoInstruction(std::string_view key, std::string_view name, const char* nameAt,
                                   const TOperandList& ops) {
  struct TForm {
    std::string_view Name;
    const char* Operands;  // R: a register, V: a value
    const char* Text;
  };
  static constexpr TForm Forms[] = {
      {"nop", "", ""},
      {"mv", "RR", "Rc,Ra"},
      {"not", "RR", "Rc,Ra"},
      {"neg", "RR", "Rc,Ra"},
      {"j", "V", "TARGET"},
      {"b", "V", "TARGET"},
      {"li", "RV", "Rb,VALUE"},
      {"la", "RV", "Rb,ADDRESS"},
      {"call", "V", "TARGET"},
      {"ret", "", ""},
      {"push", "R", "Rb"},
      {"pop", "R", "Rb"},
      {"beq", "RRV", "Ra,Rb,TARGET"},
      {"bne", "RRV", "Ra,Rb,TARGET"},
      {"blt", "RRV", "Ra,Rb,TARGET"},
      {"ble", "RRV", "Ra,Rb,TARGET"},
      {"bgt", "RRV", "Ra,Rb,TARGET"},
      {"bge", "RRV", "Ra,Rb,TARGET"},
  };
  const TForm* form = nullptr;
  for (const TForm& f : Forms)
    if (f.Name == key) form = &f;
  if (!form) return false;
  const std::string_view kinds = form->Operands;
  if (MissingComma(ops)) return true;
  if (ops.size() != kinds.size()) {
    Error(nameAt, std::string(name) + " expects " +
                      (kinds.empty() ? std::string("no operands")
                                     : std::to_string(kinds.size()) + " operand" + (kinds.size() > 1 ? "s" : "") +
                                           " (" + form->Text + ")") +
                      ", found " + std::to_string(ops.size()));
    return true;
  }
  bool ok = true;
  uint32_t regs[3] = {0, 0, 0};
  const auto dot = Dot();
  TExpr e;
  size_t valueIndex = 0;
  for (size_t k = 0; k < kinds.size(); ++k) {
    const std::string_view op = ops[k].first;
    if (kinds[k] == 'R') {
      if (auto r = Register(ops, k))
        regs[k] = *r;
      else
        ok = false;
      continue;
    }
    valueIndex = k;
    if (auto r = RegisterNumber(op)) {
      Error(ops[k].second,
            "register " + std::string(op) + " where a label is expected; " +
                (key == "call"                ? "to call the address in a register write jalr " + std::string(op)
                 : key == "li" || key == "la" ? "to copy a register write mv"
                                              : "to jump to the address in a register write jr " + std::string(op)));
      ok = false;
      continue;
    }
    e = Eval(op, dot);
    if (e.State == TExpr::Error) {
      Error(ops[k].second + e.Offset, e.Message);
      ok = false;
    }
  }
  if (!ok) return true;

  // The compare-and-branch forms need the scratch register.
  const bool compare = kinds == "RRV";
  uint32_t s = 0;
  if (compare) {
    const bool againstZero = (key == "beq" || key == "bne") && (regs[0] == 0 || regs[1] == 0);
    if (!againstZero) {
      if (Scratch < 0) {
        Error(nameAt, std::string(name) +
                          " needs a scratch register that it may overwrite; name one with .scratch Rn (e.g. "
                          ".scratch R28) before this line");
        return true;
      }
      s = uint32_t(Scratch);
      if (s == regs[0] || s == regs[1]) {
        Error(nameAt, "the scratch register " + RegisterName(s) + " is an operand of " + std::string(name) +
                          "; name another one with .scratch Rn");
        return true;
      }
    }
  }
  if (key == "pop" && regs[0] == StackRegister) {
    Error(ops[0].second, "pop R29 would overwrite the stack pointer it reads");
    return true;
  }

  const TInstruction &sub = Plain("sub"), &xorr = Plain("xor"), &andr = Plain("and");
  const TInstruction &addi = Plain("addi"), &subi = Plain("subi"), &xori = Plain("xori"), &slti = Plain("slti");
  const TInstruction &beqz = Plain("beqz"), &bnez = Plain("bnez"), &lw = Plain("lw"), &sw = Plain("sw");
  const TInstruction &jr = Plain("jr"), &jalr = Plain("jalr"), &slli = Plain("slli");
  std::vector<uint32_t> words;
  int valueWord = -1;  // which word takes the value
  TFixKind kind = TFixKind::Branch;
  bool goesOn = true;
  const uint32_t a = regs[0], b = regs[1];
  if (key == "nop") {
    words = {slli.Encode(0, 0, 0, 0)};
  } else if (key == "mv") {
    words = {addi.Encode(b, a, 0, 0)};
  } else if (key == "not") {
    words = {xori.Encode(b, a, 0, 0xFFFF)};
  } else if (key == "neg") {
    words = {sub.Encode(0, b, a, 0)};
  } else if (key == "j" || key == "b") {
    words = {beqz.Encode(0, 0, 0, 0)};
    valueWord = 0;
    goesOn = false;
  } else if (key == "li" || key == "la") {
    words = {addi.Encode(0, a, 0, 0)};
    valueWord = 0;
    kind = TFixKind::Load;
  } else if (key == "call") {
    words = {addi.Encode(0, LinkRegister, 0, 0), jalr.Encode(LinkRegister, 0, 0, 0)};
    valueWord = 0;
    kind = TFixKind::Load;
  } else if (key == "ret") {
    words = {jr.Encode(LinkRegister, 0, 0, 0)};
    goesOn = false;
  } else if (key == "push") {
    words = {subi.Encode(StackRegister, StackRegister, 0, 1), sw.Encode(StackRegister, a, 0, 0)};
  } else if (key == "pop") {
    words = {lw.Encode(StackRegister, a, 0, 0), addi.Encode(StackRegister, StackRegister, 0, 1)};
  } else if (key == "beq" || key == "bne") {
    const TInstruction& branch = key == "beq" ? beqz : bnez;
    if (a == 0 || b == 0) {
      words = {branch.Encode(a == 0 ? b : a, 0, 0, 0)};
    } else {
      words = {xorr.Encode(a, b, s, 0), branch.Encode(s, 0, 0, 0)};
    }
    valueWord = int(words.size()) - 1;
  } else {
    // Signed a < b without overflow: when the signs differ the sign of a
    // decides, else the sign of a - b, which cannot overflow then. The
    // scratch register becomes a or a - b by masking b with the signs'
    // difference, and its sign is the answer.
    const bool swap = key == "bgt" || key == "ble";
    const uint32_t x = swap ? b : a, y = swap ? a : b;
    const bool less = key == "blt" || key == "bgt";
    words = {xorr.Encode(x, y, s, 0),
             slti.Encode(s, s, 0, 0),
             subi.Encode(s, s, 0, 1),
             andr.Encode(s, y, s, 0),
             sub.Encode(x, s, s, 0),
             slti.Encode(s, s, 0, 0),
             (less ? bnez : beqz).Encode(s, 0, 0, 0)};
    valueWord = 6;
  }
  Pseudo = true;
  const int64_t offset = Reserve(words.size(), nameAt);
  Pseudo = false;
  if (offset < 0) return true;
  TAsmSection& section = R.Sections[size_t(Section)];
  for (size_t k = 0; k < words.size(); ++k) section.Words[size_t(offset) + k] = words[k];
  FallsThrough = goesOn;
  if (valueWord >= 0)
    SetValue(kind, e, ops[valueIndex].first, ops[valueIndex].second, uint32_t(offset + valueWord), int32_t(*dot),
             int32_t(*dot + valueWord));
  return true;
}

void TAssembler::UnknownDirective(std::string_view d, const char* nameAt) {
  // What students of other assemblers reach for, and what it is here.
  static constexpr std::pair<std::string_view, const char*> Known[] = {
      {".text", "a code section starts with .code ADDR, e.g. .code $800000"},
      {".section", "a section starts with .code ADDR or .data ADDR"},
      {".bss", "reserve zero words with .space N in a .data section, or a section of them with .mem ADDR,COUNT"},
      {".org", "start a section at an address with .code ADDR or .data ADDR"},
      {".globl", "every label is known in the whole source; leave it out"},
      {".global", "every label is known in the whole source; leave it out"},
      {".byte", "memory holds words; use .word, or .ascii for text"},
      {".half", "memory holds words; use .word"},
      {".long", "use .word"},
      {".int", "use .word"},
      {".string", "use .asciiz"},
      {".asciz", "use .asciiz"},
      {".set", "use .equ NAME,VALUE"},
      {".end", "the source ends with its last line; leave it out"},
      {".endmacro", "a macro ends with .endm"},
  };
  std::string message = "unknown directive " + Quoted(d);
  const char* hint = nullptr;
  for (const auto& [name, text] : Known)
    if (name == d) hint = text;
  if (hint) {
    message += "; " + std::string(hint);
  } else {
    TSuggestion s{d};
    for (std::string_view known : AsmDirectives) s.Try(known);
    message += s.Found.empty() ? "; expected .code, .data, .ds, .mem, .word, .ascii, .asciiz, .space, .align, "
                                 ".header, .equ, .scratch, .include or .macro"
                               : s.Text();
  }
  Error(nameAt, message);
  // Words after an unknown directive outside any section would each report
  // that they are outside one; the directive's message says enough.
  if (Section == NoSection) Section = BrokenSection;
}

bool TAssembler::Directive(std::string_view d, const char* nameAt, const TOperandList& ops, int64_t& sectionStart,
                           std::string_view operands, const char* operandsAt) {
  auto arity = [&](size_t lo, size_t hi, const char* form) {
    if (ops.size() >= lo && ops.size() <= hi) return true;
    Error(nameAt, std::string(d) + " expects " + form + ", found " + std::to_string(ops.size()) + " operand" +
                      (ops.size() == 1 ? "" : "s"));
    return false;
  };
  auto now = [&](size_t k) { return ValueNow(ops[k].first, ops[k].second); };

  if (d == ".code" || d == ".data") {
    Section = BrokenSection;
    FallsThrough = false;
    if (!arity(1, 1, "one operand (ADDR)")) return false;
    auto start = now(0);
    if (!start || !OpenSection(d == ".code" ? TSectionKind::Code : TSectionKind::Data, *start, 0, ops[0].second))
      return false;
    Section = int64_t(R.Sections.size() - 1);
    sectionStart = *start;
    return true;
  }
  if (d == ".ds" || d == ".mem") {
    const bool ds = d == ".ds";
    // Words after it need a section of their own, failed or not.
    Section = NoSection;
    FallsThrough = false;
    if (!arity(2, ds ? 3 : 2, ds ? "ADDR,COUNT[,FILL]" : "ADDR,COUNT")) return false;
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
  DataStatement = true;
  if (d == ".word" || d == "dc") {
    if (ops.empty()) return arity(1, SIZE_MAX, "one or more values");
    const auto dot = Dot();
    std::vector<TExpr>& values = Values;
    values.clear();
    bool ok = true;
    for (const auto& op : ops) {
      values.push_back(Eval(op.first, dot));
      if (values.back().State == TExpr::Error) {
        Error(op.second + values.back().Offset, values.back().Message);
        ok = false;
      }
    }
    // A stop word is meant to be reached.
    if (values[0].State == TExpr::Ok && (uint32_t(values[0].Value) >> 26) == StopOpcode) DataStatement = false;
    const int64_t offset = Reserve(ops.size(), nameAt);
    if (!ok || offset < 0) return false;
    for (size_t k = 0; k < ops.size(); ++k)
      SetValue(TFixKind::Word, values[k], ops[k].first, ops[k].second, uint32_t(offset) + uint32_t(k), int32_t(*dot),
               int32_t(*dot + int64_t(k)));
    FallsThrough = false;
    return true;
  }
  if (d == ".ascii" || d == ".asciiz") {
    if (ops.empty()) return arity(1, SIZE_MAX, "one or more texts in double quotes");
    std::string bytes, text, error;
    for (const auto& op : ops) {
      size_t at = 0;
      if (!StringLiteral(op.first, text, at, error)) {
        Error(op.second + at, error);
        return false;
      }
      bytes += text;
      if (d == ".asciiz") bytes += '\0';
    }
    const int64_t offset = Reserve(bytes.size(), nameAt);
    if (offset < 0) return false;
    TAsmSection& s = R.Sections[size_t(Section)];
    for (size_t k = 0; k < bytes.size(); ++k) s.Words[size_t(offset) + k] = uint8_t(bytes[k]);
    FallsThrough = false;
    return true;
  }
  if (d == ".space") {
    if (!arity(1, 1, "one operand (N)")) return false;
    auto n = now(0);
    if (!n || !Ranged(*n, 0, MaxImageWords, ops[0].second, "word count")) return false;
    const bool ok = Reserve(uint64_t(*n), nameAt) >= 0;
    if (*n > 0) FallsThrough = false;
    return ok;
  }
  if (d == ".align") {
    DataStatement = false;  // zero words are nop, executing them does no harm
    if (!arity(1, 1, "one operand (N)")) return false;
    auto n = now(0);
    if (!n || !Ranged(*n, 1, MaxImageWords, ops[0].second, "alignment")) return false;
    const auto dot = Dot();
    const uint64_t pad = dot ? uint64_t((*n - *dot % *n) % *n) : 0;
    return Reserve(pad, nameAt) >= 0;
  }
  if (d == ".header") {
    if (!arity(0, 0, "no operands")) return false;
    const int64_t offset = Reserve(1, nameAt);
    if (offset < 0) return false;
    R.Sections[size_t(Section)].Words[size_t(offset)] = HeaderWord;
    FallsThrough = false;
    return true;
  }
  DataStatement = false;
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
  if (d == ".scratch") {
    if (!arity(1, 1, "one register (Rn)")) return false;
    auto r = RegisterNumber(ops[0].first);
    if (!r) {
      Error(ops[0].second, "bad register " + Quoted(ops[0].first) + "; expected R1..R31");
      return false;
    }
    if (*r == 0) {
      Error(ops[0].second, "R00 always reads 0 and cannot hold what the compare-and-branch computes");
      return false;
    }
    Scratch = int(*r);
    return true;
  }
  if (d == ".include") {
    Include(ops, nameAt);
    return true;
  }
  if (d == ".macro") {
    DefineMacro(operands, operandsAt, nameAt);
    return true;
  }
  if (d == ".endm") {
    Error(nameAt, ".endm without a .macro before it");
    return false;
  }
  UnknownDirective(d, nameAt);
  return false;
}

void TAssembler::Include(const TOperandList& ops, const char* nameAt) {
  std::string name, error;
  size_t at = 0;
  if (ops.size() != 1) {
    Error(nameAt, ".include expects one file name in double quotes, found " + std::to_string(ops.size()) + " operand" +
                      (ops.size() == 1 ? "" : "s"));
    return;
  }
  if (!StringLiteral(ops[0].first, name, at, error)) {
    Error(ops[0].second + at, error);
    return;
  }
  if (name.empty() || name.find('\0') != std::string::npos) {
    Error(ops[0].second, "bad file name " + Quoted(ops[0].first));
    return;
  }
  size_t files = 0;
  for (const TFrame& f : Frames) files += f.Macro ? 0 : 1;
  if (files > MaxIncludeDepth) {
    Error(nameAt, "more than " + std::to_string(MaxIncludeDepth) + " nested .include; is a file including itself?");
    return;
  }
  TAsmIncludeFile file;
  if (!Options.ReadInclude) {
    Error(ops[0].second, "cannot include " + Quoted(name) + ": this source is not read from a file");
    return;
  }
  const std::string from = Here.File == 0 ? Options.FileName : R.Symbols.Files[Here.File];
  if (!Options.ReadInclude(from, name, file, error)) {
    Error(ops[0].second, "cannot include " + Quoted(name) + ": " + Printable(error));
    return;
  }
  for (const TFrame& f : Frames)
    if (!f.Macro && !f.Identity.empty() && f.Identity == file.Identity) {
      Error(ops[0].second, Quoted(file.File) + " includes itself" +
                               (f.File == Here.File ? "" : " through " + Printable(FileName(Here.File))) +
                               "; an .include must not lead back to a file being read");
      return;
    }
  if (R.Symbols.Files.size() >= MaxSymbols) {
    Error(nameAt, "too many included files");
    Stop = true;
    return;
  }
  Texts.push_back(std::move(file.Text));
  R.Symbols.Files.push_back(file.File);
  TFrame frame;
  frame.File = uint32_t(R.Symbols.Files.size() - 1);
  frame.Text = WithoutByteOrderMark(Texts.back());
  frame.CrOnly = frame.Text.find('\n') == std::string_view::npos;
  frame.SavedScratch = Scratch;
  frame.Identity = file.Identity;
  frame.Context = uint32_t(Contexts.size());
  Contexts.push_back({Here.Context, Here.File, Here.Line, nullptr});
  Frames.push_back(std::move(frame));
}

void TAssembler::DefineMacro(std::string_view operands, const char* operandsAt, const char* nameAt) {
  if (Expanding()) {
    Error(nameAt, "a macro cannot define another macro");
    return;
  }
  // A definition with a faulty first line still reads its body up to
  // .endm, so that the body gives no errors of its own.
  auto skipBody = [&] {
    Defining = std::make_unique<TMacro>();
    Defining->File = Here.File;
    Defining->Line = Here.Line;
    DefiningFrame = Frames.size() - 1;
    DefiningBroken = true;
  };
  // NAME, then parameters separated by commas or blanks.
  size_t i = 0;
  auto skip = [&] {
    while (i < operands.size() && (IsBlank(operands[i]) || operands[i] == ',')) ++i;
  };
  while (i < operands.size() && IsBlank(operands[i])) ++i;
  const size_t nameStart = i;
  while (i < operands.size() && IsNameChar(operands[i])) ++i;
  const std::string_view name = operands.substr(nameStart, i - nameStart);
  if (name.empty() || !(IsLetter(name[0]) || name[0] == '_')) {
    Error(name.empty() ? nameAt : operandsAt + nameStart,
          "a macro needs a name that starts with a letter or '_', as in .macro twice REG");
    skipBody();
    return;
  }
  const std::string key = LowerCase(name);
  bool taken = RegisterNumber(name).has_value();
  for (const TInstruction& ins : Instructions) taken = taken || ins.Mnemonic == key;
  for (std::string_view p : AsmPseudoInstructions) taken = taken || p == key;
  if (taken || key == "dc") {
    Error(operandsAt + nameStart, "macro name " + Quoted(name) + " is an instruction or register of the language");
    skipBody();
    return;
  }
  if (auto it = Macros.find(key); it != Macros.end()) {
    Error(operandsAt + nameStart, "macro " + Quoted(name) + " is already defined (at " +
                                      PlaceText(it->second->File, it->second->Line, Here.File) + ")");
    skipBody();
    return;
  }
  auto macro = std::make_unique<TMacro>();
  macro->Name = std::string(name);
  macro->File = Here.File;
  macro->Line = Here.Line;
  while (true) {
    skip();
    if (i >= operands.size()) break;
    const size_t start = i;
    while (i < operands.size() && IsNameChar(operands[i])) ++i;
    const std::string_view param = operands.substr(start, i - start);
    if (param.empty() || !IsNameStart(param[0]) || param[0] == '.') {
      Error(operandsAt + start, "bad macro parameter " + Quoted(operands.substr(start, i > start ? i - start : 1)) +
                                    "; a parameter is a name, used as \\name in the body");
      skipBody();
      return;
    }
    if (std::find(macro->Params.begin(), macro->Params.end(), param) != macro->Params.end()) {
      Error(operandsAt + start, "parameter " + Quoted(param) + " appears twice");
      skipBody();
      return;
    }
    macro->Params.emplace_back(param);
  }
  Defining = std::move(macro);
  DefiningFrame = Frames.size() - 1;
  DefiningBroken = false;
}

void TAssembler::CollectMacroLine(std::string_view text) {
  const std::string_view code = Trim(WithoutComment(text));
  size_t k = 0;
  while (k < code.size() && IsNameChar(code[k])) ++k;
  const std::string key = LowerCase(code.substr(0, k));
  if (key == ".endm" && (k == code.size() || IsBlank(code[k]))) {
    if (DefiningBroken) {
      Defining.reset();
      return;
    }
    const std::string name = LowerCase(Defining->Name);
    Macros.emplace(name, std::move(Defining));
    return;
  }
  if (key == ".macro") {
    if (!DefiningBroken)
      Error(text.data() + (code.data() - text.data()),
            "a .macro inside the body of '" + Defining->Name + "'; end that one with .endm first");
    return;
  }
  if (Defining->Body.size() >= MaxExpandedLines) {
    Error(text.data(), "macro body too long");
    Stop = true;
    return;
  }
  Defining->Body.emplace_back(text);
  Defining->BodyLines.push_back(Here.Line);
}

void TAssembler::Expand(const TMacro& macro, const char* nameAt, const TOperandList& ops) {
  if (ops.size() != macro.Params.size()) {
    std::string params;
    for (const std::string& p : macro.Params) params += (params.empty() ? "" : ",") + p;
    Error(nameAt, "macro " + macro.Name + " expects " + std::to_string(macro.Params.size()) + " argument" +
                      (macro.Params.size() == 1 ? "" : "s") + (params.empty() ? "" : " (" + params + ")") + ", found " +
                      std::to_string(ops.size()));
    return;
  }
  if (MacroDepth >= MaxMacroDepth) {
    Error(nameAt,
          "macros nested more than " + std::to_string(MaxMacroDepth) + " deep; does " + macro.Name + " call itself?");
    Stop = true;
    return;
  }
  if (Expansions >= MaxMacroExpansions) {
    Error(nameAt, "more than " + std::to_string(MaxMacroExpansions) + " macro expansions in this source");
    Stop = true;
    return;
  }
  TFrame frame;
  frame.Macro = &macro;
  frame.File = macro.File;
  frame.Expansion = Expansions++;
  for (const auto& op : ops) frame.Args.emplace_back(op.first);
  frame.Context = uint32_t(Contexts.size());
  Contexts.push_back({Here.Context, Here.File, Here.Line, &macro});
  Frames.push_back(std::move(frame));
  ++MacroDepth;
}

bool TAssembler::SplitOperands(std::string_view operands, const char* operandsAt) {
  // Operands split at commas outside quotes, each trimmed, each with its
  // place for columns. Reused from line to line, so that a line costs no
  // allocation.
  TOperandList& ops = Ops;
  ops.clear();
  if (Trim(operands).empty()) return true;
  size_t start = 0;
  for (size_t k = 0; k <= operands.size(); ++k) {
    if (k < operands.size() && (operands[k] == '"' || operands[k] == '\'')) {
      const size_t end = QuoteEnd(operands, k);
      if (end == std::string_view::npos) {
        k = operands.size() - 1;
        continue;
      }
      k = end - 1;
      continue;
    }
    if (k < operands.size() && operands[k] != ',') continue;
    if (ops.size() == MaxOperandsPerLine) {
      Error(operandsAt, "more than " + std::to_string(MaxOperandsPerLine) + " operands on one line");
      return false;
    }
    const std::string_view raw = operands.substr(start, k - start);
    size_t lead = 0;
    while (lead < raw.size() && IsBlank(raw[lead])) ++lead;
    ops.emplace_back(Trim(raw), operandsAt + start + lead);
    start = k + 1;
  }
  for (const auto& op : ops)
    if (op.first.empty()) {
      Error(op.second, "missing operand between commas");
      return false;
    }
  return true;
}

void TAssembler::Statement(std::string_view name, const char* nameAt, std::string_view operands, const char* operandsAt,
                           int64_t& sectionStart) {
  if (!SplitOperands(operands, operandsAt)) return;
  const TOperandList& ops = Ops;

  char lower[16];
  const size_t n = std::min(name.size(), sizeof lower);
  for (size_t k = 0; k < n; ++k) lower[k] = Lower(name[k]);
  const std::string_view key(lower, n);
  const bool tooLong = name.size() > sizeof lower;

  if (key[0] == '.' || key == "dc") {
    if (tooLong) {
      UnknownDirective(name, nameAt);
      return;
    }
    Directive(key, nameAt, ops, sectionStart, operands, operandsAt);
    return;
  }
  if (!Macros.empty()) {
    if (auto it = Macros.find(LowerCase(name)); it != Macros.end()) {
      Expand(*it->second, nameAt, ops);
      return;
    }
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
    DataStatement = false;
    Instruction(*chosen, name, nameAt, ops);
    return;
  }
  if (!tooLong && !codes.empty()) {
    Error(nameAt,
          "unknown encoding " + Quoted(name.substr(dotAt)) + " of " + std::string(base) + "; expected " + codes);
    return;
  }
  if (!tooLong && PseudoInstruction(key, name, nameAt, ops)) return;
  TSuggestion s{LowerCase(name)};
  for (const TInstruction& ins : Instructions) s.Try(ins.Mnemonic);
  for (std::string_view p : AsmPseudoInstructions) s.Try(p);
  for (const auto& [macro, definition] : Macros) s.Try(macro);
  std::string hint = s.Text();
  if (!hint.empty() && Macros.count(s.Found)) hint = "; did you mean the macro " + Macros.at(s.Found)->Name + "?";
  Error(nameAt, "unknown mnemonic " + Quoted(name) + "; expected an instruction or a directive" + hint);
}

void TAssembler::Line(std::string_view text) {
  if (Defining) {
    CollectMacroLine(text);
    return;
  }
  text = WithoutComment(text);
  size_t i = 0;
  auto skip = [&] {
    while (i < text.size() && IsBlank(text[i])) ++i;
  };
  skip();
  TOperandList& labels = Labels;
  labels.clear();
  auto defineLabels = [&](std::optional<int64_t> value) {
    for (const auto& [label, at] : labels) {
      if (IsDigit(label[0])) {
        DefineLocal(label[0], at, value);
      } else if (value) {
        DefineLabel(label, at, *value);
      } else if (Section == BrokenSection) {
        if (Silenced.size() < MaxSymbols) Silenced.emplace(label);
      } else {
        Error(at, "label " + Quoted(label) + " outside any section; start one with .code ADDR or .data ADDR");
      }
    }
  };
  while (true) {
    if (i == text.size()) break;
    const size_t start = i;
    if (text[i] == '?') {
      Error(text.data() + i, "the illegal-instruction text has no encoding; write the word itself with .word");
      return;
    }
    // A local label: one digit 1..9 and ':'.
    if (text[i] >= '1' && text[i] <= '9' && i + 1 < text.size() && text[i + 1] == ':') {
      if (labels.size() == MaxLabelsPerLine) {
        Error(text.data() + start, "more than " + std::to_string(MaxLabelsPerLine) + " labels on one line");
        return;
      }
      labels.emplace_back(text.substr(i, 1), text.data() + i);
      i += 2;
      skip();
      continue;
    }
    if (!IsNameStart(text[i])) {
      std::string message = "unexpected " + Quoted(CharacterAt(text, i)) + CharacterHint(text, i) +
                            "; expected a label, an instruction or a directive";
      if (IsDigit(text[i])) message += " (a local label is one digit 1..9 and ':')";
      Error(text.data() + i, message);
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
      Error(text.data() + i,
            "unexpected " + Quoted(CharacterAt(text, i)) + CharacterHint(text, i) + " after " + Quoted(name));
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
      defineLabels(Dot());
      labels.clear();
    }
    int64_t sectionStart = -1;
    DataStatement = false;
    Statement(name, text.data() + start, text.substr(i), text.data() + i, sectionStart);
    if (sectionDirective) {
      for (const auto& [label, at] : labels) {
        if (sectionStart >= 0 && IsDigit(label[0]))
          DefineLocal(label[0], at, sectionStart);
        else if (sectionStart >= 0)
          DefineLabel(label, at, sectionStart);
        else if (IsDigit(label[0]))
          DefineLocal(label[0], at, std::nullopt);
        else if (Silenced.size() < MaxSymbols)
          Silenced.emplace(label);
      }
    }
    return;
  }
  defineLabels(Dot());
}

bool TAssembler::NextLine(std::string_view& line) {
  TFrame& f = Frames.back();
  if (f.Macro) {
    if (f.Next >= f.Macro->Body.size()) return false;
    if (++ExpandedLines > MaxExpandedLines) {
      Error(Here, 1, "macro expansions make more than " + std::to_string(MaxExpandedLines) + " lines");
      Stop = true;
      return false;
    }
    const std::string& body = f.Macro->Body[f.Next];
    f.LineNo = f.Macro->BodyLines[f.Next];
    ++f.Next;
    // \name becomes the argument, \@ the number of this expansion; a
    // line without either is read as it stands.
    if (body.find('\\') == std::string::npos) {
      line = body;
      return true;
    }
    f.Expanded.clear();
    for (size_t k = 0; k < body.size(); ++k) {
      if (body[k] != '\\' || k + 1 >= body.size()) {
        f.Expanded += body[k];
        continue;
      }
      if (body[k + 1] == '@') {
        f.Expanded += std::to_string(f.Expansion);
        ++k;
        continue;
      }
      const std::string_view name = NameAt(body, k + 1);
      const auto& params = f.Macro->Params;
      const auto it = std::find(params.begin(), params.end(), name);
      if (name.empty() || it == params.end()) {
        f.Expanded += body[k];
        continue;
      }
      f.Expanded += f.Args[size_t(it - params.begin())];
      k += name.size();
    }
    line = f.Expanded;
    return true;
  }
  if (f.Pos >= f.Text.size()) return false;
  if (Frames.size() > 1 && ++IncludedLines > MaxIncludedLines) {
    Error(Here, 1, "included files hold more than " + std::to_string(MaxIncludedLines) + " lines in all");
    Stop = true;
    return false;
  }
  const char end = f.CrOnly ? '\r' : '\n';
  size_t stop = f.Text.find(end, f.Pos);
  if (stop == std::string_view::npos) stop = f.Text.size();
  line = f.Text.substr(f.Pos, stop - f.Pos);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  f.Pos = stop + 1;
  ++f.LineNo;
  return true;
}

void TAssembler::PopFrame() {
  TFrame& f = Frames.back();
  if (Defining && DefiningFrame == Frames.size() - 1) {
    const TWhere where{Defining->File, Defining->Line, f.Context, Here.Top, Here.Seq};
    if (!DefiningBroken) Error(where, 1, "'.macro " + Defining->Name + "' has no .endm before the end of its file");
    Defining.reset();
  }
  if (f.Macro) {
    --MacroDepth;
  } else if (Frames.size() > 1) {
    Scratch = f.SavedScratch;
  }
  Frames.pop_back();
}

void TAssembler::ResolveFixups() {
  for (const TFixup& f : Fixups) {
    if (Stop) return;
    std::optional<int64_t> dot = f.Dot;
    TExpr e = Evaluate(
        f.Text, [&](std::string_view n, int64_t& v, std::string& error) { return Lookup(n, v, error, f.Locals); }, dot);
    if (e.State == TExpr::Deferred) {
      const std::string_view name = NameAt(f.Text, e.Offset);
      if (!Silenced.count(std::string(name)))
        Error(f.Where, f.Column + uint32_t(e.Offset), "undefined label " + Quoted(name) + LabelSuggestion(name));
      continue;
    }
    if (e.State == TExpr::Error) {
      Error(f.Where, f.Column + uint32_t(e.Offset), e.Message);
      continue;
    }
    Store(f.Kind, e.Value, f.Section, f.Offset, f.Address, f.Where, f.Column);
  }
}

// The pool goes into the first free words after the section of the first
// load that needs it, where R30 still reaches them with a 16-bit offset.
void TAssembler::PlacePool() {
  if (PoolUses.empty() || R.ErrorCount > 0 || Stop) return;
  std::vector<uint32_t> values;
  std::map<uint32_t, uint32_t> index;
  for (const TPoolUse& use : PoolUses)
    if (index.emplace(use.Value, uint32_t(values.size())).second) values.push_back(use.Value);
  const int64_t count = int64_t(values.size());
  std::vector<std::pair<int64_t, int64_t>> used;  // [start, end) of every section
  for (const TAsmSection& s : R.Sections)
    if (s.Count > 0) used.emplace_back(s.Start, int64_t(s.Start) + s.Count);
  std::sort(used.begin(), used.end());
  const TAsmSection& first = R.Sections[PoolUses[0].Section];
  const int64_t lowest = BaseAddress - 32768, highest = BaseAddress + 32767;
  int64_t at = std::max<int64_t>(int64_t(first.Start) + first.Count, lowest);
  for (const auto& [start, end] : used)
    if (start < at + count && end > at) at = std::max(at, end);
  if (at + count - 1 > highest || count > MaxImageWords - TotalWords || R.Sections.size() == MaxAsmSections) {
    Error(PoolUses[0].Where, PoolUses[0].Column,
          "no room for the literal pool of li and la (" + std::to_string(count) +
              " word(s)) where R30 reaches it, $7f8000..$807fff; free words there, or keep the values small");
    return;
  }
  TAsmSection pool;
  pool.Kind = TSectionKind::Data;
  pool.Start = int32_t(at);
  pool.Count = uint32_t(count);
  pool.Words = values;
  pool.Line = 0;
  R.Sections.push_back(std::move(pool));
  SectionColumns.push_back(1);
  SectionPlaces.push_back(TWhere{});
  R.Symbols.Ranges.push_back(
      {int32_t(at), uint32_t(count), 0, uint32_t(R.Sections.size() - 1), 0, 0, 0, TAsmRangeKind::Pool});
  for (const TPoolUse& use : PoolUses) {
    uint32_t& word = R.Sections[use.Section].Words[use.Offset];
    const int64_t offset = at + index[use.Value] - BaseAddress;
    word = (word & 0xFFFF0000u) | (uint32_t(offset) & 0xFFFF);
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
    if (it != covered.end() && it->first < hi) {
      const int64_t firstShared = std::max(lo, it->first);
      Warning(SectionPlaces[k], SectionColumns[k],
              "section " + Hex(uint32_t(s.Start)) + ".." + Hex(uint32_t(hi - 1)) +
                  " overlaps an earlier section from " + Hex(uint64_t(firstShared)) +
                  " on; memory keeps the earlier section's words where they overlap");
    }
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
  const bool crOnly = Source.find('\n') == std::string_view::npos;
  const size_t lines = size_t(std::count(Source.begin(), Source.end(), crOnly ? '\r' : '\n')) + 1;
  R.Symbols.Ranges.reserve(lines);
  Fixups.reserve(lines / 8);
  TFrame main;
  main.Text = Source;
  main.CrOnly = crOnly;
  if (Options.ReadInclude && !Options.FileName.empty()) {
    // The source's own identity, so that including it again is a cycle.
    TAsmIncludeFile self;
    std::string error;
    if (Options.ReadInclude(std::string(), Options.FileName, self, error)) main.Identity = self.Identity;
  }
  Frames.push_back(std::move(main));
  std::string_view line;
  while (!Stop && !Frames.empty()) {
    if (!NextLine(line)) {
      if (!Stop) PopFrame();
      continue;
    }
    const TFrame& f = Frames.back();
    Here.File = f.File;
    Here.Line = f.LineNo;
    Here.Context = f.Context;
    Here.Top = Frames[0].LineNo;
    ++Here.Seq;
    LineStart = line.data();
    Line(line);
  }
  ResolveFixups();
  PlacePool();
  if (!Stop) CheckOverlaps();
  if (R.ErrorCount == 0 && !Stop &&
      std::none_of(R.Sections.begin(), R.Sections.end(), [](const TAsmSection& s) { return s.Count > 0; }))
    Error(TWhere{0, 1, 0, 1, 0}, 1,
          "the source holds no words; a program starts with .code $800000 and .header, then its instructions");
  Compact();
  std::stable_sort(Diagnostics.begin(), Diagnostics.end(),
                   [](const TOrderedDiagnostic& a, const TOrderedDiagnostic& b) {
                     if (a.D.SourceLine != b.D.SourceLine) return a.D.SourceLine < b.D.SourceLine;
                     if (a.Seq != b.Seq) return a.Seq < b.Seq;
                     return a.D.Column < b.D.Column;
                   });
  R.Diagnostics.reserve(Diagnostics.size());
  for (TOrderedDiagnostic& d : Diagnostics) R.Diagnostics.push_back(std::move(d.D));
  R.Symbols.Finish();
  R.FileTexts.assign(Texts.begin(), Texts.end());
  R.FileTexts.insert(R.FileTexts.begin(), std::string());
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

const TAsmLineRange* TAsmSymbols::RangeAt(int32_t address) const {
  // The last range starting at or below the address, then back while an
  // earlier, longer range may still cover it.
  size_t k = size_t(std::upper_bound(ByAddress.begin(), ByAddress.end(), address,
                                     [this](int32_t a, uint32_t i) { return a < Ranges[i].Address; }) -
                    ByAddress.begin());
  while (k > 0 && MaxEnd[k - 1] > address) {
    const TAsmLineRange& r = Ranges[ByAddress[k - 1]];
    if (int64_t(r.Address) + r.Count > address) return &r;
    --k;
  }
  return nullptr;
}

uint32_t TAsmSymbols::LineAt(int32_t address) const {
  const TAsmLineRange* r = RangeAt(address);
  return r ? r->Line : 0;
}

// ---------------------------------------------------------------- entry points

TAsmResult Assemble(std::string_view source, const TAsmOptions& options) { return TAssembler(source, options).Run(); }

std::string DiagnosticText(const std::string& file, const TAsmDiagnostic& d) {
  // Included files' names come from the source: shown as its text is.
  auto name = [&](const std::string& f) { return f.empty() ? file : Printable(f); };
  std::string text = name(d.File) + ":" + std::to_string(d.Line) + ":" + std::to_string(d.Column) +
                     (d.Severity == TAsmSeverity::Error ? ": error: " : ": warning: ") + d.Message;
  for (size_t k = 0; k < d.Context.size(); ++k) {
    const TAsmPlace& p = d.Context[k];
    text += k == 0 ? " (" : ", ";
    text += p.Macro.empty() ? "included from " : "in macro " + p.Macro + " called from ";
    text += name(p.File) + ":" + std::to_string(p.Line);
  }
  if (!d.Context.empty()) text += ")";
  return text;
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

namespace {

// The addresses of each section that an earlier section holds, which the
// loaded memory therefore does not take from it.
std::vector<std::vector<std::pair<int64_t, int64_t>>> Shadowed(const std::vector<TAsmSection>& sections) {
  std::vector<std::vector<std::pair<int64_t, int64_t>>> shadowed(sections.size());
  std::map<int64_t, int64_t> covered;
  for (size_t k = 0; k < sections.size(); ++k) {
    int64_t lo = sections[k].Start, hi = int64_t(sections[k].Start) + sections[k].Count;
    auto it = covered.upper_bound(lo);
    if (it != covered.begin() && std::prev(it)->second > lo) --it;
    for (auto j = it; j != covered.end() && j->first < hi; ++j)
      shadowed[k].emplace_back(std::max(lo, j->first), std::min(hi, j->second));
    while (it != covered.end() && it->first <= hi) {
      lo = std::min(lo, it->first);
      hi = std::max(hi, it->second);
      it = covered.erase(it);
    }
    covered.emplace(lo, hi);
  }
  return shadowed;
}

}  // namespace

std::string ListingText(const TAsmResult& result, std::string_view source) {
  const std::vector<std::string_view> lines = SplitSourceLines(source);
  std::string out;
  const auto& ranges = result.Symbols.Ranges;
  const auto shadowed = Shadowed(result.Sections);
  bool anyShadowed = false;
  std::vector<std::vector<std::string_view>> fileLines(result.FileTexts.size());
  size_t next = 0;
  auto number = [](uint32_t n) {
    std::string s = std::to_string(n);
    return std::string(s.size() < 6 ? 6 - s.size() : 0, ' ') + s;
  };
  // "$address:  word" and the mark of a word that memory will not hold.
  auto word = [&](const TAsmLineRange& r, uint32_t k) {
    const TAsmSection& s = result.Sections[r.Section];
    const bool reserved = s.Kind == TSectionKind::Ds || s.Kind == TSectionKind::Mem;
    const int64_t address = int64_t(r.Address) + k;
    out += '$';
    AppendHex(out, uint32_t(address), 8);
    out += ":  ";
    const uint32_t w = reserved ? s.Fill : s.Words[r.Offset + k];
    AppendHex(out, w, 8);
    bool hidden = false;
    for (const auto& [lo, hi] : shadowed[r.Section]) hidden = hidden || (address >= lo && address < hi);
    anyShadowed = anyShadowed || hidden;
    out += hidden ? " *" : "  ";
    return w;
  };
  for (uint32_t lineNo = 1; lineNo <= lines.size(); ++lineNo) {
    const std::string_view line = lines[lineNo - 1];
    auto text = [&] {
      out += number(lineNo);
      out += "  ";
      out += line;
    };
    bool first = true;
    size_t end = next;
    while (end < ranges.size() && ranges[end].Line == lineNo) ++end;
    // The line's own words beside it.
    for (size_t k = next; k < end; ++k) {
      const TAsmLineRange& r = ranges[k];
      if (r.Section >= result.Sections.size() || r.Kind != TAsmRangeKind::Plain || r.File != 0) continue;
      const TAsmSection& s = result.Sections[r.Section];
      const bool reserved = s.Kind == TSectionKind::Ds || s.Kind == TSectionKind::Mem;
      const uint32_t count = reserved ? 1 : r.Count;
      for (uint32_t w = 0; w < count; ++w) {
        word(r, w);
        if (first) {
          text();
        } else {
          while (out.back() == ' ') out.pop_back();
        }
        first = false;
        out += '\n';
      }
    }
    if (first) {
      out.append(22, ' ');
      text();
      out += '\n';
    }
    // Then those of pseudo-instructions, macros and included files: an
    // included line's name, number and text, an expansion's instructions.
    auto place = [&](const TAsmLineRange& r) {
      if (r.File >= fileLines.size()) return;
      if (fileLines[r.File].empty()) fileLines[r.File] = SplitSourceLines(result.FileTexts[r.File]);
      out += "  ";
      out += result.Symbols.Files[r.File] + ":" + std::to_string(r.FileLine) + "  ";
      if (r.FileLine >= 1 && r.FileLine <= fileLines[r.File].size()) out += fileLines[r.File][r.FileLine - 1];
    };
    uint32_t shownFile = 0, shownLine = 0;
    for (size_t k = next; k < end; ++k) {
      const TAsmLineRange& r = ranges[k];
      if (r.Section >= result.Sections.size() || (r.Kind == TAsmRangeKind::Plain && r.File == 0)) continue;
      const TAsmSection& s = result.Sections[r.Section];
      const bool reserved = s.Kind == TSectionKind::Ds || s.Kind == TSectionKind::Mem;
      const bool expanded = r.Kind == TAsmRangeKind::Expanded && !reserved;
      const bool data = r.Kind == TAsmRangeKind::ExpandedData;
      if (expanded && r.File != 0 && (r.File != shownFile || r.FileLine != shownLine)) {
        out.append(20, ' ');
        place(r);
        out += '\n';
      }
      shownFile = r.File;
      shownLine = r.FileLine;
      const uint32_t count = reserved ? 1 : r.Count;
      for (uint32_t w = 0; w < count; ++w) {
        const uint32_t value = word(r, w);
        if (expanded) {
          out += "          ";
          out += TheCPU.Disassemble(int32_t(uint32_t(r.Address) + w), value);
        } else if (w == 0 && !data) {
          place(r);
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        out += '\n';
      }
    }
    next = end;
  }
  for (; next < ranges.size(); ++next) {
    const TAsmLineRange& r = ranges[next];
    if (r.Kind != TAsmRangeKind::Pool || r.Section >= result.Sections.size()) continue;
    out += "                    literal pool of li and la\n";
    for (uint32_t w = 0; w < r.Count; ++w) {
      word(r, w);
      while (!out.empty() && out.back() == ' ') out.pop_back();
      out += '\n';
    }
  }
  if (anyShadowed) out += "* not in memory: an earlier section holds this address\n";
  // The symbol table, by name.
  std::vector<const TAsmSymbol*> symbols;
  for (const TAsmSymbol& s : result.Symbols.Symbols) symbols.push_back(&s);
  if (!symbols.empty()) {
    std::sort(symbols.begin(), symbols.end(),
              [](const TAsmSymbol* a, const TAsmSymbol* b) { return a->Name < b->Name; });
    size_t width = 0;
    for (const TAsmSymbol* s : symbols) width = std::max(width, s->Name.size());
    width = std::min<size_t>(width, 40);
    out += "\nsymbols:\n";
    for (const TAsmSymbol* s : symbols) {
      out += "  " + s->Name + std::string(width > s->Name.size() ? width - s->Name.size() : 0, ' ') + "  ";
      if (s->Value >= 0 && s->Value <= int64_t(UINT32_MAX)) {
        out += '$';
        AppendHex(out, uint32_t(s->Value), 8);
      } else {
        out += std::to_string(s->Value);
      }
      out += s->Label ? "  label     " : "  constant  ";
      out += s->File == 0 || s->File >= result.Symbols.Files.size()
                 ? "line " + std::to_string(s->FileLine)
                 : result.Symbols.Files[s->File] + ":" + std::to_string(s->FileLine);
      out += '\n';
    }
  }
  return out;
}

bool EvaluateExpression(std::string_view text, const TAsmSymbols& symbols, int64_t& value, std::string& error) {
  TExpr e = Evaluate(
      text,
      [&symbols](std::string_view n, int64_t& v, std::string& message) {
        if (n.size() == 2 && IsDigit(n[0])) {
          message = "local labels such as " + std::string(n) + " are only known inside the source";
          return TFound::Error;
        }
        const TAsmSymbol* s = symbols.Find(n);
        if (s) v = s->Value;
        return s ? TFound::Known : TFound::Unknown;
      },
      std::nullopt);
  if (e.State == TExpr::Error) {
    error = e.Message;
    return false;
  }
  if (e.State == TExpr::Deferred) {
    error = "unknown label " + Quoted(NameAt(text, e.Offset));
    return false;
  }
  value = e.Value;
  return true;
}

std::vector<std::string_view> SplitSourceLines(std::string_view text) {
  text = WithoutByteOrderMark(text);
  const char end = text.find('\n') == std::string_view::npos ? '\r' : '\n';
  std::vector<std::string_view> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t stop = text.find(end, pos);
    if (stop == std::string_view::npos) stop = text.size();
    std::string_view line = text.substr(pos, stop - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    pos = stop + 1;
  }
  return lines;
}
