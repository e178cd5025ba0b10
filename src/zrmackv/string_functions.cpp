// The string functions .LEN, .INSTR and .SUBSTR: each computes a length, a
// position or a substring of quoted text given in braces and is replaced in
// the line by its result before the statement is scanned.
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "zrmackv/byte_words.h"
#include "zrmackv/macro_engine.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Largest value a start or length argument may have.
constexpr std::int32_t kMaxArgumentValue = 256;

struct StringFunction {
  std::string_view keyword;  // upper case, as searched for
  int code;
};

// In the order a line is searched for them: each search sees the line as the
// ones before it left it.
constexpr StringFunction kFunctions[] = {
    {".LEN", SF_LEN},
    {".INSTR", SF_INSTR},
    {".SUBSTR", SF_SUBSTR},
};

constexpr char to_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// True when text at at spells the upper-case keyword in either case.
bool spells(std::string_view text, std::size_t at, std::string_view keyword) {
  if (text.size() - at < keyword.size()) return false;
  for (std::size_t k = 0; k < keyword.size(); ++k)
    if (to_upper(text[at + k]) != keyword[k]) return false;
  return true;
}

// First place where the keyword stands in text as a plain substring, quotes
// and word starts not considered; npos when it does not.
std::size_t find_keyword(std::string_view text, std::string_view keyword) {
  for (std::size_t at = text.find('.'); at != npos; at = text.find('.', at + 1))
    if (spells(text, at, keyword)) return at;
  return npos;
}

// True when the "." at at is followed by the first two letters of a
// keyword, in either case: LE, IN or SU. Few other words begin so.
inline bool may_start_keyword(std::string_view line, std::size_t at) {
  if (line.size() - at < 3) return false;
  const char first = static_cast<char>(line[at + 1] | 0x20);
  const char second = static_cast<char>(line[at + 2] | 0x20);
  return (first == 'l' && second == 'e') || (first == 'i' && second == 'n') ||
         (first == 's' && second == 'u');
}

// The common line holds none of the keywords, and this is all the work it
// costs: the line is read many bytes at a time, and only the places of its
// dots are looked at. A dot may be looked at twice where chunks overlap. A
// true answer may still find no keyword.
bool may_hold_keyword(std::string_view line) {
  const std::size_t n = line.size();
  const auto starts_keyword = [line](std::size_t place) { return may_start_keyword(line, place); };
#if defined(__SSE2__)
  const char* p = line.data();
  if (n >= 16) {
    for (std::size_t i = 0;; i += 16) {
      if (i + 16 > n) i = n - 16;  // the last chunk overlaps the one before it
      const auto place = [i](int k) { return i + static_cast<std::size_t>(k); };
      if (any_flagged(chunk_flags(load_chunk(p + i), '.'), place, starts_keyword)) return true;
      if (i + 16 == n) return false;
    }
  }
  if (n >= 8) {
    // The first eight bytes and the last eight.
    const auto place = [n](int k) { return ends_place(n, k); };
    return any_flagged(chunk_flags(load_ends(p, n), '.'), place, starts_keyword);
  }
#else
  if (n >= 8) {
    for (std::size_t i = 0;; i += 8) {
      if (i + 8 > n) i = n - 8;  // the last word overlaps the one before it
      const auto place = [i](int k) { return i + flagged_byte(std::uint64_t{1} << k); };
      if (any_flagged(bytes_equal(load_word(line.data() + i), '.'), place, starts_keyword)) return true;
      if (i + 8 == n) return false;
    }
  }
#endif
  for (std::size_t i = 0; i < n; ++i)
    if (line[i] == '.' && may_start_keyword(line, i)) return true;
  return false;
}

std::string_view decimal(char (&buffer)[16], std::int32_t value) {
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

// Reads the arguments of one function call from the text after its keyword.
// Each read raises its own message and returns false on a fault.
class ArgumentReader {
 public:
  ArgumentReader(Run& run, std::string_view text, std::size_t pos, std::string_view keyword)
      : run_(run), text_(text), pos_(pos), keyword_(keyword) {}

  // Blanks, then "{".
  bool open() {
    skip_blanks();
    if (at_end() || text_[pos_] != '{') return fail(E_LBRACE_MISSING, keyword_);
    ++pos_;
    return true;
  }

  // Blanks, then a string between two single or two double quotes (no
  // escapes). The string is a view into the text.
  bool string(std::string_view& value) {
    skip_blanks();
    if (at_end() || (text_[pos_] != '"' && text_[pos_] != '\''))
      return fail(E_QUOTE_MISSING, rest());
    const char quote = text_[pos_];
    const std::size_t close = text_.find(quote, pos_ + 1);
    if (close == npos) return fail(E_RIGHT_QUOTE_MISSING, rest());
    value = text_.substr(pos_ + 1, close - pos_ - 1);
    pos_ = close + 1;
    return true;
  }

  // Blanks, ",", then the blanks that the next argument skips itself.
  bool comma() {
    skip_blanks();
    if (at_end() || text_[pos_] != ',') return fail(E_ILLEGAL_OPERAND, rest());
    ++pos_;
    return true;
  }

  // Blanks, then one word of symbol characters valued as a number or a
  // symbol, which must lie between 0 and 256.
  bool number(std::int32_t& value) {
    skip_blanks();
    std::size_t end = pos_;
    while (end < text_.size() && figure_symbol_char(static_cast<unsigned char>(text_[end]))) ++end;
    const std::string_view word = text_.substr(pos_, end - pos_);
    pos_ = end;
    if (!word.empty() && word[0] >= '0' && word[0] <= '9') {
      int status = CONV_NONE;
      value = figure_convert_by_suffix(word, status);
      if (status == CONV_BAD_DIGIT) return fail(E_ILLEGAL_OPERAND, word);
      // A number beyond 32 bits would otherwise wrap into the range.
      if (status == CONV_OVERFLOW) return fail(E_VALUE_OUT_OF_RANGE, word);
    } else {
      if (is_reserved(run_, word)) return fail(E_RESERVED_WORD_USED, word);
      const SymbolResult symbol = symbol_lookup(run_, word);
      if (symbol.kind == S_NOT_FOUND) return fail(E_SYMBOL_UNDEFINED, word);
      value = symbol.value;
    }
    if (value < 0 || value > kMaxArgumentValue) return fail(E_VALUE_OUT_OF_RANGE, word);
    return true;
  }

  // Blanks, then "}". A line that ends first lacks its braces; any other
  // character is an operand fault, except for .LEN, whose one argument
  // leaves nothing else the character could belong to.
  bool close(bool single_argument) {
    skip_blanks();
    if (at_end()) return fail(E_LBRACE_MISSING, keyword_);
    if (text_[pos_] != '}')
      return fail(single_argument ? E_LBRACE_MISSING : E_ILLEGAL_OPERAND, rest());
    ++pos_;
    return true;
  }

  // Where the call ends: just after its "}".
  std::size_t position() const { return pos_; }

 private:
  void skip_blanks() {
    while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
  }
  bool at_end() const { return pos_ >= text_.size(); }
  std::string_view rest() const { return text_.substr(pos_); }
  bool fail(int code, std::string_view argument) {
    message_set(run_, code, argument, MSG_ERROR);
    return false;
  }

  Run& run_;
  std::string_view text_;
  std::size_t pos_;
  std::string_view keyword_;
};

// Position of t in s counted from start (which counts as 1); 0 when start is
// 0 or beyond s, or when t does not occur there.
std::int32_t instr_position(std::string_view s, std::string_view t, std::int32_t start) {
  const auto from = static_cast<std::size_t>(start);
  if (start == 0 || from > s.size()) return 0;
  const std::size_t found = s.find(t, from - 1);
  if (found == npos) return 0;
  return static_cast<std::int32_t>(found - (from - 1) + 1);
}

// The part of s that .SUBSTR takes; empty when start or length is 0 or the
// part would reach beyond s.
std::string_view substr_part(std::string_view s, std::int32_t start, std::int32_t length) {
  const auto from = static_cast<std::size_t>(start);
  const auto count = static_cast<std::size_t>(length);
  if (start == 0 || length == 0 || from + count - 1 > s.size()) return {};
  return s.substr(from - 1, count);
}

// Puts part, in double quotes, in place of line[at, end). part lies inside
// that range after its first character, so it can be moved down in place.
void replace_call_quoted(std::string& line, std::size_t at, std::size_t end,
                         std::string_view part) {
  const std::size_t n = part.size();
  char* out = line.data() + at;
  if (n != 0) std::memmove(out + 1, part.data(), n);
  out[0] = '"';
  out[n + 1] = '"';
  line.erase(at + n + 2, end - (at + n + 2));
}

// Evaluates the function whose keyword stands at at in line[0, line_end)
// and puts its result in place of the keyword, the braces and what they
// hold; line_end follows the change. Returns false, with the line left
// alone, on a fault.
bool evaluate(Run& run, std::string& line, std::size_t& line_end, std::size_t at,
              const StringFunction& f) {
  const std::string_view text(line.data(), line_end);
  ArgumentReader args(run, text, at + f.keyword.size(), f.keyword);
  std::string_view s, t;
  std::int32_t first = 0, second = 0;
  if (!args.open() || !args.string(s)) return false;
  switch (f.code) {
    case SF_LEN:
      if (!args.close(true)) return false;
      break;
    case SF_INSTR:
      if (!args.comma() || !args.string(t) || !args.comma() || !args.number(first) ||
          !args.close(false))
        return false;
      break;
    default:
      if (!args.comma() || !args.number(first) || !args.comma() || !args.number(second) ||
          !args.close(false))
        return false;
      break;
  }
  const std::size_t end = args.position();
  const std::size_t before = line.size();
  char buffer[16];
  switch (f.code) {
    case SF_LEN:
      line.replace(at, end - at, decimal(buffer, static_cast<std::int32_t>(s.size())));
      break;
    case SF_INSTR:
      line.replace(at, end - at, decimal(buffer, instr_position(s, t, first)));
      break;
    default:
      replace_call_quoted(line, at, end, substr_part(s, first, second));
      break;
  }
  line_end = line_end + line.size() - before;
  return true;
}

// Evaluates the functions of a line that may hold a keyword. Kept
// out of line so that the common line pays for none of its set-up.
[[gnu::noinline]] void evaluate_line(Run& run) {
  std::string& line = run.source.line;
  // The comment is set aside: keywords in it are not looked at, and it is
  // kept as it was whatever the results hold.
  std::size_t line_end = comment_start(line);
  bool changed = false;
  for (const StringFunction& f : kFunctions) {
    // Only the first occurrence of each keyword in a line is looked at.
    const std::size_t at = find_keyword(std::string_view(line.data(), line_end), f.keyword);
    if (at == npos) continue;
    const std::size_t after = at + f.keyword.size();
    if (after < line_end && line[after] == ':') {
      message_set(run, E_RESERVED_WORD_USED, f.keyword, MSG_ERROR);
    } else if (after >= line_end || !is_name_char(line[after])) {
      if (evaluate(run, line, line_end, at, f)) {
        changed = true;
        if (run.info.active) info_string_function(run.info, std::string_view(line.data(), line_end));
      }
    }
  }
  if (changed) make_statement(run.line.stmt, line, line_end);
}

}  // namespace

void string_functions(Run& run) {
  if (run.conditions.assembling && may_hold_keyword(run.source.line)) evaluate_line(run);
}

}  // namespace zrmackv
