// Expression evaluation for #if, #elif and #assert. The text is rewritten
// in passes, in this order: defined NAME becomes 1 or 0; macros are
// expanded; hexadecimal and octal constants become decimal; an L suffix
// goes; a quoted character becomes its code; every other identifier becomes
// the digit 0 (a lone u/U after a digit stays as the unsigned suffix). What
// is left, decimal numbers and operators, is tokenized and reduced
// (expr_reduce.cpp).
//
// The passes after expansion look only at what they rewrite and at the
// character just written, so they run as one scan that gives the same text
// as running them one after the other: a digit produced by one pass joins
// the digits around it exactly as it would in the rewritten text (10UL reads
// as 100, since UL is an identifier that becomes 0).
#include "cppkv/expr.h"

#include <new>

#include "cppkv/expr_reduce.h"
#include "cppkv/macros.h"
#include "cppkv/report.h"
#include "cppkv/run.h"

namespace cppkv {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_id_start(char c) { return is_letter(c) || c == '_'; }
bool is_id_char(char c) { return is_id_start(c) || is_digit(c); }
bool is_quote(char c) { return c == '\'' || c == '"'; }
bool is_octal(char c) { return c >= '0' && c <= '7'; }

int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::size_t identifier_end(std::string_view t, std::size_t i) {
  while (i < t.size() && is_id_char(t[i])) ++i;
  return i;
}

std::size_t skip_blanks(std::string_view t, std::size_t i) {
  while (i < t.size() && is_blank(t[i])) ++i;
  return i;
}

void append_decimal(std::string& out, std::uint32_t v) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) out.push_back(digits[--n]);
}

// The end of the quoted literal that starts at i: past its closing quote of
// the same kind (a backslash keeps the next character), or the text's end.
std::size_t literal_end(std::string_view t, std::size_t i) {
  const char quote = t[i];
  std::size_t k = i + 1;
  while (k < t.size() && t[k] != quote && t[k] != '\n') k += (t[k] == '\\' && k + 1 < t.size()) ? 2 : 1;
  return k < t.size() && t[k] == quote ? k + 1 : k;
}

// The escape sequence whose backslash is at i: its character value (low 8
// bits) and the position after it. false for a backslash followed by
// anything that does not make an escape sequence.
bool escape_at(std::string_view t, std::size_t i, std::uint32_t& value, std::size_t& end, bool& out_of_range) {
  out_of_range = false;
  if (i + 1 >= t.size()) return false;
  const char c = t[i + 1];
  static constexpr char kSimple[] = "a\ab\bf\fn\nr\rt\tv\v''\"\"??\\\\";
  for (std::size_t k = 0; k + 1 < sizeof kSimple; k += 2) {
    if (kSimple[k] == c) {
      value = static_cast<unsigned char>(kSimple[k + 1]);
      end = i + 2;
      return true;
    }
  }
  std::uint32_t v = 0;
  std::size_t k = i + 1;
  if (is_octal(c)) {
    for (; k < t.size() && k < i + 4 && is_octal(t[k]); ++k) v = v * 8 + static_cast<std::uint32_t>(t[k] - '0');
  } else if (c == 'x' && i + 2 < t.size() && hex_value(t[i + 2]) >= 0) {
    // Any number of digits: only whether the value passed 255 and its low
    // 8 bits matter.
    for (k = i + 2; k < t.size() && hex_value(t[k]) >= 0; ++k) {
      v = v * 16 + static_cast<std::uint32_t>(hex_value(t[k]));
      if (v > 255) {
        out_of_range = true;
        v &= 0xFF;
      }
    }
  } else {
    return false;
  }
  if (v > 255) out_of_range = true;
  value = v & 0xFF;
  end = k;
  return true;
}

// defined NAME, defined ( NAME ), or (for an identifier that starts with
// "defined") the rest of the identifier as the name. at is just after the
// word "defined"; id_end is the end of the identifier it begins.
bool resolve_defined(const Run& run, std::string_view t, std::size_t at, std::size_t id_end, std::size_t& end,
                     bool& defined) {
  std::size_t i = at;
  std::size_t name_end;
  if (at < id_end) {
    if (!is_id_start(t[at])) return false;
    name_end = id_end;
    end = id_end;
  } else {
    i = skip_blanks(t, i);
    const bool paren = i < t.size() && t[i] == '(';
    if (paren) i = skip_blanks(t, i + 1);
    if (i >= t.size() || !is_id_start(t[i])) return false;
    name_end = identifier_end(t, i);
    end = name_end;
    if (paren) {
      end = skip_blanks(t, end);
      if (end >= t.size() || t[end] != ')') return false;
      ++end;
    }
  }
  defined = is_defined(run, t.substr(i, name_end - i));
  return true;
}

// Pass 1: every defined operator becomes " 1 " or " 0 ". Other identifiers,
// tokens that start with a digit and quoted literals are copied whole; the
// text between defined operators goes out in one piece.
bool replace_defined(const Run& run, std::string_view t, std::string& out) {
  static constexpr std::string_view kDefined = "defined";
  out.clear();
  std::size_t copied = 0;  // t[0, copied) is in out
  std::size_t i = 0;
  while (i < t.size()) {
    const char c = t[i];
    std::size_t end = i + 1;
    if (is_quote(c)) {
      end = literal_end(t, i);
    } else if (is_digit(c)) {
      end = identifier_end(t, i);
    } else if (is_id_start(c)) {
      end = identifier_end(t, i);
      if (c == 'd' && end - i >= kDefined.size() && t.compare(i, kDefined.size(), kDefined) == 0) {
        bool defined = false;
        if (!resolve_defined(run, t, i + kDefined.size(), end, end, defined)) return false;
        out.append(t.data() + copied, i - copied);
        out += defined ? " 1 " : " 0 ";
        copied = end;
      }
    }
    i = end;
  }
  out.append(t.data() + copied, t.size() - copied);
  return true;
}

// A hexadecimal ("0x"), octal ("0" and digits) or decimal digit run at i,
// written in decimal; returns the position after it.
std::size_t convert_number(std::string_view t, std::size_t i, std::string& out) {
  std::uint32_t v = 0;
  std::size_t k = i + 1;
  if (t[i] == '0' && k + 1 < t.size() && (t[k] == 'x' || t[k] == 'X') && hex_value(t[k + 1]) >= 0) {
    for (k += 1; k < t.size() && hex_value(t[k]) >= 0; ++k) v = v * 16 + static_cast<std::uint32_t>(hex_value(t[k]));
  } else if (t[i] == '0' && k < t.size() && is_digit(t[k])) {
    // Each digit gives its low three bits, so 8 and 9 count as 0 and 1.
    for (; k < t.size() && is_digit(t[k]); ++k) v = v * 8 + (static_cast<std::uint32_t>(t[k] - '0') & 7);
  } else {
    while (k < t.size() && is_digit(t[k])) ++k;
    out.append(t.substr(i, k - i));
    return k;
  }
  append_decimal(out, v);
  return k;
}

// Passes 3 to 6 over the expanded text: numbers to decimal, the L suffix
// dropped, character constants to their codes, identifiers to 0. false for
// a quote that does not enclose exactly one character.
bool convert_operands(std::string_view t, std::string& out) {
  out.clear();
  std::size_t i = 0;
  while (i < t.size()) {
    const char c = t[i];
    if (is_digit(c)) {
      i = convert_number(t, i, out);
      if (i < t.size() && (t[i] == 'L' || t[i] == 'l') && !(i + 1 < t.size() && (is_letter(t[i + 1]) || is_digit(t[i + 1]))))
        ++i;
    } else if (is_quote(c)) {
      const char inside = i + 1 < t.size() ? t[i + 1] : '\0';
      if (i + 2 >= t.size() || t[i + 2] != c || inside == c || inside == '\\' || inside == '\n') return false;
      append_decimal(out, static_cast<unsigned char>(inside));
      i += 3;
    } else if (is_id_start(c)) {
      const std::size_t end = identifier_end(t, i);
      const bool suffix = end == i + 1 && (c == 'u' || c == 'U') && !out.empty() && is_digit(out.back());
      out.push_back(suffix ? c : '0');
      i = end;
    } else {
      // Operators and blanks go out as a run.
      std::size_t k = i + 1;
      while (k < t.size() && !is_digit(t[k]) && !is_quote(t[k]) && !is_id_start(t[k])) ++k;
      out.append(t.data() + i, k - i);
      i = k;
    }
  }
  return true;
}

bool evaluate(Run& run, std::string_view text, std::int32_t& value) {
  ExprWork& w = run.expr_work;
  if (!replace_defined(run, text, w.after_defined)) return false;
  if (!expand_text(run, w.after_defined, w.expanded)) return false;
  if (w.expanded.size() > kMaxExpressionLength) report(run, CLASS_FATAL, M_INPUT_BUFFER_OVERFLOW);
  if (!convert_operands(w.expanded, w.converted)) return false;
  if (!tokenize_expression(w.converted, w.tokens)) return false;
  ExprToken result{};
  if (!reduce_expression(run, w, result)) return false;
  value = static_cast<std::int32_t>(result.value);
  return true;
}

}  // namespace

void convert_escapes(Run& run, std::string& line) {
  // The converted text is never longer than what it replaces (a quote, a
  // backslash and at least one more character, a quote, against at most
  // three digits), so the line is rewritten in place.
  const std::string_view t = line;
  std::size_t w = 0;
  std::size_t r = 0;
  while (r < t.size()) {
    if (!is_quote(t[r])) {
      line[w++] = t[r++];
      continue;
    }
    std::uint32_t value = 0;
    std::size_t end = 0;
    bool out_of_range = false;
    if (r + 1 < t.size() && t[r + 1] == '\\' && escape_at(t, r + 1, value, end, out_of_range) && end < t.size() &&
        t[end] == t[r]) {
      if (out_of_range) report(run, CLASS_WARNING, M_ESCAPE_OUT_OF_RANGE);
      char digits[3];
      int n = 0;
      do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
      } while (value != 0);
      while (n > 0) line[w++] = digits[--n];
      r = end + 1;
      continue;
    }
    // Anything else between quotes is kept as written; the evaluation then
    // refuses it.
    for (const std::size_t e = literal_end(t, r); r < e;) line[w++] = t[r++];
  }
  line.resize(w);
}

bool evaluate_condition(Run& run, std::string_view text, std::int32_t& value) {
  const std::size_t end = text.find('\n');
  if (end != std::string_view::npos) text = text.substr(0, end);
  try {
    return evaluate(run, text, value);
  } catch (const std::bad_alloc&) {
    std::fputs("malloc error:\n", run.settings.message_stream);
    return false;
  }
}

}  // namespace cppkv
