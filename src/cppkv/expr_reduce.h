// The last two steps of expression evaluation: splitting the converted text
// (decimal numbers, u/U suffixes, operators) into tokens, and reducing the
// tokens by operator priority to one 32-bit number.
#pragma once

#include <string_view>

#include "cppkv/expr.h"

namespace cppkv {

enum TokenKind : std::uint8_t {
  T_NUMBER = 0,
  T_OPEN,     // (
  T_CLOSE,    // )
  T_NOT,      // !
  T_COMPL,    // ~
  T_MUL,      // *
  T_DIV,      // /
  T_MOD,      // %
  T_ADD,      // +
  T_SUB,      // -
  T_SHL,      // <<
  T_SHR,      // >>
  T_LT,       // <
  T_LE,       // <=
  T_GT,       // >
  T_GE,       // >=
  T_EQ,       // ==
  T_NE,       // !=
  T_BIT_AND,  // &
  T_BIT_XOR,  // ^
  T_BIT_OR,   // |
  T_AND,      // &&
  T_OR,       // ||
  T_QUEST,    // ?
  T_COLON,    // :
  T_KIND_COUNT
};

// Splits converted text into tokens: blanks and tabs are skipped, a digit
// run is a number (its low 32 bits) with at most one u/U after it, and
// operators take the longest match. false for anything else.
bool tokenize_expression(std::string_view text, std::vector<ExprToken>& tokens);

// Reduces the tokens to one number; false when they do not form an
// expression. Division by zero warns "zero divide" and gives 0.
bool reduce_expression(Run& run, ExprWork& work, ExprToken& result);

}  // namespace cppkv
