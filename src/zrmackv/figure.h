// Operand expression evaluator: numbers and the radix converters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zrmackv {

// Token kinds of figure_token.
enum TokenKind : int {
  T_END = 0,
  T_NUMBER,
  T_SYMBOL,
  T_STRING,
  T_BAD,
  T_SIZEOF,
  T_TOPOF,
  // Operators and punctuation.
  T_PLUS, T_MINUS, T_STAR, T_SLASH, T_PERCENT, T_AMP, T_PIPE, T_CARET, T_TILDE,
  T_LPAREN, T_RPAREN, T_LT, T_LE, T_GT, T_GE, T_EQEQ, T_NE, T_SHL, T_SHR,
  T_COMMA, T_COLON, T_ASSIGN, T_LBRACKET, T_RBRACKET, T_LBRACE, T_RBRACE, T_DOT,
  // Further kinds may be added by the evaluator.
};

// Size of the token text buffer: a token keeps at most kTokenMax - 1 bytes.
constexpr std::size_t kTokenMax = 256;

// Skips blanks and tabs at the front of cursor, reads one token, puts its
// text (as written) into token_text and leaves cursor on the rest.
// Returns the token kind.
int figure_token(std::string_view& cursor, std::string& token_text);

// Conversion status shared by the radix converters: set, never cleared by them.
enum ConversionStatus : int { CONV_NONE = 0, CONV_OVERFLOW = 1, CONV_BAD_DIGIT = 2 };

struct FigureState {
  int conversion_status = CONV_NONE;
  bool division_by_zero = false;  // per source line
};

// Each converts a digit string without suffix into a 32-bit value and
// records a bad digit or an overflow in status.
std::int32_t figure_bin(std::string_view digits, int& status);
std::int32_t figure_oct(std::string_view digits, int& status);
std::int32_t figure_dec(std::string_view digits, int& status);
std::int32_t figure_hex(std::string_view digits, int& status);

// Converts by the last character: B/b binary, O/o octal, H/h hexadecimal
// (the suffix removed), anything else decimal. Used by -d.
std::int32_t figure_convert_by_suffix(std::string_view text, int& status);

}  // namespace zrmackv
