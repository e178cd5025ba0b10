// Conditional expressions of #if, #elif and #assert.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cppkv {

struct Run;

// Longest expression text, after macro expansion, that is evaluated; a
// longer one is the fatal "input buffer over flow".
constexpr std::size_t kMaxExpressionLength = 16383;

// One token of a converted expression: a number or an operator.
struct ExprToken {
  std::uint8_t kind;         // TokenKind (expr_reduce.h)
  bool is_unsigned;          // written with u/U, or computed from an unsigned operand
  std::uint32_t value;       // numbers only: the 32-bit two's-complement bits
};

// Work areas kept across evaluations so that an #if line costs no
// allocation once they have grown to the longest expression seen.
struct ExprWork {
  std::string after_defined;   // text with every defined NAME resolved
  std::string expanded;        // after macro expansion
  std::string converted;       // plain decimal numbers and operators
  std::vector<ExprToken> tokens;
  std::vector<ExprToken> stack;       // reduction stack
  std::vector<std::uint32_t> opens;   // stack positions of open parentheses
  std::vector<ExprToken> branches;    // conditional-operator work list
};

// Replaces each escape sequence that stands alone between quotes on an #if
// or #elif line by the decimal value of its character; an octal or
// hexadecimal value above 255 warns "escape sequence out of range for
// character" and keeps its low 8 bits.
void convert_escapes(Run& run, std::string& line);

// Evaluates text up to its line feed; false when the expression is not
// understood (reported by the caller as "illegal operation").
bool evaluate_condition(Run& run, std::string_view text, std::int32_t& value);

}  // namespace cppkv
