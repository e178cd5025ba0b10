// Operand expression evaluator: tokens, numbers, operators and the radix
// converters. It values only absolute expressions (numbers and S_EQU
// symbols); anything else is reported back as not constant.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zrmackv {

struct Run;

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

// True for the relational kinds < <= > >= == !=.
constexpr bool is_relational(int kind) { return kind >= T_LT && kind <= T_NE; }

// Size of the token text buffer: a token keeps at most kTokenMax - 1 bytes.
constexpr std::size_t kTokenMax = 256;

// Skips blanks and tabs at the front of cursor, reads one token, puts its
// text (as written; a string's content without its quotes) into token_text
// and leaves cursor on the rest. Returns the token kind.
// A token longer than kTokenMax - 1 bytes is consumed whole from cursor, but
// only its first kTokenMax - 1 bytes are kept in token_text.
int figure_token(std::string_view& cursor, std::string& token_text);

// The same token without copying it: token is the text as written (a
// string with its quotes and escapes). For scans that only look at symbols.
int figure_token_view(std::string_view& cursor, std::string_view& token);

// Only the kind of the token, for callers that do not look at its text;
// cursor moves past the token as with figure_token.
inline int figure_token_kind(std::string_view& cursor) {
  std::string_view token;
  return figure_token_view(cursor, token);
}

// Symbol characters: A-Z, a-z, 0-9, $, ? and _.
bool figure_symbol_char(unsigned char c);

// Conversion status shared by the radix converters: set, never cleared by them.
enum ConversionStatus : int { CONV_NONE = 0, CONV_OVERFLOW = 1, CONV_BAD_DIGIT = 2 };

// Statuses of figure_eval.
enum EvalStatus : int {
  EVAL_OK = 0,         // an absolute value was computed
  EVAL_UNDEF = 1,      // computed, but an undefined symbol was taken as 0
  EVAL_NOT_CONST = 2,  // holds something only the assembler can value; no message
  EVAL_FAIL = 3,       // an error was found (and reported unless quiet)
};

// Operator codes of the operator stack.
enum OperatorCode : int {
  OP_RPAREN = 0, OP_NEG, OP_POS, OP_NOT, OP_MUL, OP_DIV, OP_MOD, OP_ADD, OP_SUB,
  OP_SHL, OP_SHR, OP_AND, OP_OR, OP_XOR, OP_LPAREN, OP_BOTTOM,
};

struct FigureState {
  // The statement's operand buffer. The line engine and the directive
  // handlers put the operand text here; figure_eval(run) consumes it from
  // the front and leaves in it whatever it did not read (at a relational
  // stop: the operator followed by the unread rest).
  std::string operand;
  // Result of the last evaluation (the top of the operand stack); read it
  // right after figure_eval returns.
  std::int32_t value = 0;

  int conversion_status = CONV_NONE;
  bool division_by_zero = false;  // per source line; the line engine clears it

  // Work areas, kept between evaluations so that evaluating allocates
  // nothing once they have grown. Each evaluation starts them afresh from
  // their bottom entries (the value 0 and OP_BOTTOM).
  std::vector<std::int32_t> operands;
  std::vector<int> operators;
  std::string token;
};

// Evaluates the expression at the front of operand and returns an
// EvalStatus; the value is left in run.figure.value. The consumed text is
// removed from operand. An evaluation that stops at a relational operator
// (status EVAL_OK or EVAL_FAIL) leaves operand beginning with that operator.
int figure_eval(Run& run, std::string& operand);

// The same on the statement's operand buffer, run.figure.operand.
int figure_eval(Run& run);

// Converts the text of a T_NUMBER token: its last character picks the radix
// (a digit: decimal; B/b binary, O/o octal, H/h hexadecimal, the suffix
// removed). Returns false after raising "Illegal operand is used" (unknown
// suffix, digit outside the radix) or "Value is out of range" (overflow).
bool figure_number(Run& run, std::string_view text, std::int32_t& value);

// Each converts a digit string without suffix into a 32-bit value and
// records a bad digit or an overflow in status. An empty string is 0.
std::int32_t figure_bin(std::string_view digits, int& status);
std::int32_t figure_oct(std::string_view digits, int& status);
std::int32_t figure_dec(std::string_view digits, int& status);
std::int32_t figure_hex(std::string_view digits, int& status);

// Converts by the last character: B/b binary, O/o octal, H/h hexadecimal
// (the suffix removed), anything else decimal. Used by -d.
std::int32_t figure_convert_by_suffix(std::string_view text, int& status);

}  // namespace zrmackv
