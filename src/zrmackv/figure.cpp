#include "zrmackv/figure.h"

#include <algorithm>
#include <string_view>

namespace zrmackv {

namespace {

bool is_symbol_char(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '$' || c == '?' || c == '_';
}

// Token text is held to kTokenMax - 1 bytes: a longer token is consumed
// whole from the cursor, but only its first kTokenMax - 1 bytes are kept.
void keep_text(std::string& token_text, std::string_view text) {
  token_text.assign(text.substr(0, std::min(text.size(), kTokenMax - 1)));
}

void keep_char(std::string& token_text, char c) {
  if (token_text.size() < kTokenMax - 1) token_text.push_back(c);
}

bool equals_upper(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

int punctuation_kind(char c) {
  switch (c) {
    case '(': return T_LPAREN;
    case ')': return T_RPAREN;
    case '~': return T_TILDE;
    case '*': return T_STAR;
    case '/': return T_SLASH;
    case '%': return T_PERCENT;
    case '+': return T_PLUS;
    case '-': return T_MINUS;
    case '&': return T_AMP;
    case '^': return T_CARET;
    case '|': return T_PIPE;
    case ',': return T_COMMA;
    case ':': return T_COLON;
    case '[': return T_LBRACKET;
    case ']': return T_RBRACKET;
    case '{': return T_LBRACE;
    case '}': return T_RBRACE;
    default: return T_END;
  }
}

// Reads the token at the front of text (no leading blanks) and returns its
// kind and the number of bytes it takes.
int scan_token(std::string_view text, std::string& token_text, std::size_t& length) {
  token_text.clear();
  length = 0;
  if (text.empty()) return T_END;
  const char first = text[0];
  const char second = text.size() > 1 ? text[1] : '\0';
  auto run_symbol = [&](std::size_t from) {
    std::size_t i = from;
    while (i < text.size() && is_symbol_char(static_cast<unsigned char>(text[i]))) ++i;
    length = i;
    keep_text(token_text, text.substr(0, i));
  };
  auto fixed = [&](std::size_t n, int kind) {
    length = n;
    keep_text(token_text, text.substr(0, n));
    return kind;
  };

  if (first == '"' || first == '\'') {
    // A backslash before the quote character stands for the quote; every
    // other backslash is kept.
    for (std::size_t i = 1; i < text.size(); ++i) {
      char c = text[i];
      if (c == '\\' && i + 1 < text.size() && text[i + 1] == first) {
        keep_char(token_text, first);
        ++i;
      } else if (c == first) {
        length = i + 1;
        return T_STRING;
      } else {
        keep_char(token_text, c);
      }
    }
    length = text.size();
    return T_BAD;
  }
  if (first >= '0' && first <= '9') {
    run_symbol(1);
    return T_NUMBER;
  }
  if (first == '.') {
    if (second == '.') return fixed(2, T_BAD);
    if (text.size() == 1) return fixed(1, T_DOT);
    run_symbol(1);
    return T_SYMBOL;
  }
  if (first == '<') {
    if (second == '=') return fixed(2, T_LE);
    if (second == '<') return fixed(2, T_SHL);
    return fixed(1, T_LT);
  }
  if (first == '>') {
    if (second == '=') return fixed(2, T_GE);
    if (second == '>') return fixed(2, T_SHR);
    return fixed(1, T_GT);
  }
  if (first == '=') return second == '=' ? fixed(2, T_EQEQ) : fixed(1, T_ASSIGN);
  if (first == '!') return second == '=' ? fixed(2, T_NE) : fixed(1, T_BAD);
  if (int kind = punctuation_kind(first); kind != T_END) return fixed(1, kind);
  if (is_symbol_char(static_cast<unsigned char>(first))) {
    run_symbol(1);
    return T_SYMBOL;
  }
  return fixed(1, T_BAD);
}

}  // namespace

int figure_token(std::string_view& cursor, std::string& token_text) {
  std::size_t start = 0;
  while (start < cursor.size() && (cursor[start] == ' ' || cursor[start] == '\t')) ++start;
  std::size_t length = 0;
  int kind = scan_token(cursor.substr(start), token_text, length);
  cursor.remove_prefix(start + length);
  if (equals_upper(token_text, "SIZEOF"))
    kind = T_SIZEOF;
  else if (equals_upper(token_text, "TOPOF"))
    kind = T_TOPOF;
  return kind;
}

namespace {

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 99;
}

// Accumulates value * radix + digit in 32 bits, counting significant
// digits from the first one at which the value becomes non-zero.
std::int32_t convert(std::string_view digits, unsigned radix, int max_significant,
                     int& status) {
  std::uint32_t value = 0;
  int significant = 0;
  std::size_t first_significant = digits.size();
  for (std::size_t i = 0; i < digits.size(); ++i) {
    int d = digit_value(digits[i]);
    if (d >= static_cast<int>(radix)) {
      status = CONV_BAD_DIGIT;
      return 0;
    }
    value = value * radix + static_cast<std::uint32_t>(d);
    if (significant == 0 && value != 0) first_significant = i;
    if (significant > 0 || value != 0) significant++;
  }
  if (significant > max_significant) {
    status = CONV_OVERFLOW;
  } else if (radix == 10 && significant == 10 &&
             digits.substr(first_significant) > std::string_view("4294967295")) {
    status = CONV_OVERFLOW;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t figure_bin(std::string_view digits, int& status) {
  return convert(digits, 2, 32, status);
}
std::int32_t figure_oct(std::string_view digits, int& status) {
  return convert(digits, 8, 11, status);
}
std::int32_t figure_dec(std::string_view digits, int& status) {
  return convert(digits, 10, 10, status);
}
std::int32_t figure_hex(std::string_view digits, int& status) {
  return convert(digits, 16, 8, status);
}

std::int32_t figure_convert_by_suffix(std::string_view text, int& status) {
  if (text.empty()) return 0;
  std::string_view body = text.substr(0, text.size() - 1);
  switch (text.back()) {
    case 'B': case 'b': return figure_bin(body, status);
    case 'O': case 'o': return figure_oct(body, status);
    case 'H': case 'h': return figure_hex(body, status);
    default: return figure_dec(text, status);
  }
}

}  // namespace zrmackv
