// Tokens and their reduction. A parenthesised part is reduced when its ")"
// arrives, so the innermost, leftmost part always goes first and nesting
// depth costs stack entries on the heap, never C stack frames. Within one
// part, the operators are applied one priority at a time, each priority from
// the left (the unary chains of ! and ~ from the right), which is the order
// of repeatedly applying the leftmost operator that binds tightest; each
// priority is one pass over the part, so a whole expression takes time in
// proportion to its length.
#include "cppkv/expr_reduce.h"

#include <limits>

#include "cppkv/report.h"
#include "cppkv/run.h"

namespace cppkv {

namespace {

// Priority by token kind: 1 binds tightest; 0 for numbers.
constexpr std::uint8_t kPriority[T_KIND_COUNT] = {
    0,                   // number
    1, 1,                // ( )
    2, 2,                // ! ~
    3, 3, 3,             // * / %
    4, 4,                // + -
    5, 5,                // << >>
    6, 6, 6, 6,          // < <= > >=
    7, 7,                // == !=
    8, 9, 10,            // & ^ |
    11, 12,              // && ||
    13, 14,              // ? :
};

constexpr int kFirstBinaryPriority = 5;   // << >>
constexpr int kLastBinaryPriority = 12;   // ||

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(const ExprToken& t) { return t.kind == T_ADD || t.kind == T_SUB; }
bool is_number(const ExprToken& t) { return t.kind == T_NUMBER; }
ExprToken number(std::uint32_t value, bool is_unsigned) { return ExprToken{T_NUMBER, is_unsigned, value}; }

// The operator at the front of text, longest match first; T_KIND_COUNT when
// there is none. length receives the operator's length.
TokenKind operator_at(std::string_view text, std::size_t& length) {
  const char c = text[0];
  const char next = text.size() > 1 ? text[1] : '\0';
  length = 2;
  if (c == '<' && next == '<') return T_SHL;
  if (c == '>' && next == '>') return T_SHR;
  if (c == '<' && next == '=') return T_LE;
  if (c == '>' && next == '=') return T_GE;
  if (c == '=' && next == '=') return T_EQ;
  if (c == '!' && next == '=') return T_NE;
  if (c == '&' && next == '&') return T_AND;
  if (c == '|' && next == '|') return T_OR;
  length = 1;
  switch (c) {
    case '(': return T_OPEN;
    case ')': return T_CLOSE;
    case '!': return T_NOT;
    case '~': return T_COMPL;
    case '*': return T_MUL;
    case '/': return T_DIV;
    case '%': return T_MOD;
    case '+': return T_ADD;
    case '-': return T_SUB;
    case '<': return T_LT;
    case '>': return T_GT;
    case '&': return T_BIT_AND;
    case '^': return T_BIT_XOR;
    case '|': return T_BIT_OR;
    case '?': return T_QUEST;
    case ':': return T_COLON;
    default: return T_KIND_COUNT;  // also "=" alone
  }
}

std::int32_t as_signed(std::uint32_t v) { return static_cast<std::int32_t>(v); }

// Signed division and remainder with the one overflowing case defined:
// the most negative value divided by -1 stays itself, its remainder is 0.
std::uint32_t signed_divide(std::uint32_t a, std::uint32_t b, bool remainder) {
  if (as_signed(a) == std::numeric_limits<std::int32_t>::min() && as_signed(b) == -1)
    return remainder ? 0 : a;
  return static_cast<std::uint32_t>(remainder ? as_signed(a) % as_signed(b) : as_signed(a) / as_signed(b));
}

// Applies a two-operand operator. An unsigned operand makes the result
// unsigned and the division, remainder, right shift and ordering unsigned.
ExprToken apply_binary(Run& run, std::uint8_t kind, const ExprToken& left, const ExprToken& right) {
  const bool uns = left.is_unsigned || right.is_unsigned;
  const std::uint32_t a = left.value;
  const std::uint32_t b = right.value;
  std::uint32_t r = 0;
  switch (kind) {
    case T_MUL: r = a * b; break;
    case T_DIV:
    case T_MOD:
      if (b == 0) {
        report(run, CLASS_WARNING, M_ZERO_DIVIDE);
        r = 0;
      } else if (uns) {
        r = kind == T_DIV ? a / b : a % b;
      } else {
        r = signed_divide(a, b, kind == T_MOD);
      }
      break;
    case T_ADD: r = a + b; break;
    case T_SUB: r = a - b; break;
    case T_SHL: r = a << (b & 31); break;
    case T_SHR: r = uns ? a >> (b & 31) : static_cast<std::uint32_t>(as_signed(a) >> (b & 31)); break;
    case T_LT: r = uns ? a < b : as_signed(a) < as_signed(b); break;
    case T_LE: r = uns ? a <= b : as_signed(a) <= as_signed(b); break;
    case T_GT: r = uns ? a > b : as_signed(a) > as_signed(b); break;
    case T_GE: r = uns ? a >= b : as_signed(a) >= as_signed(b); break;
    case T_EQ: r = a == b; break;
    case T_NE: r = a != b; break;
    case T_BIT_AND: r = a & b; break;
    case T_BIT_XOR: r = a ^ b; break;
    case T_BIT_OR: r = a | b; break;
    case T_AND: r = a != 0 && b != 0; break;
    case T_OR: r = a != 0 || b != 0; break;
    default: break;
  }
  return number(r, uns);
}

// A unary operator applied to a number; the number keeps its signedness.
void apply_unary(std::uint8_t kind, ExprToken& operand) {
  switch (kind) {
    case T_NOT: operand.value = operand.value == 0 ? 1 : 0; break;
    case T_COMPL: operand.value = ~operand.value; break;
    case T_SUB: operand.value = 0u - operand.value; break;
    default: break;  // unary + changes nothing
  }
}

// One part of the expression (the inside of a pair of parentheses, or the
// top level) held in stack[start, end), reduced in place.
class Part {
 public:
  Part(Run& run, std::vector<ExprToken>& stack, std::size_t start) : run_(run), s_(stack), start_(start) {}

  // Leaves the part's value as the single entry at start; false when the
  // tokens do not form an expression.
  bool reduce(std::vector<ExprToken>& branches) {
    if (s_.size() == start_) return false;
    unsigned present = 0;  // bit per priority found in the part
    for (std::size_t i = start_; i < s_.size(); ++i) present |= 1u << kPriority[s_[i].kind];
    if ((present & (1u << 2)) && !unary_chains()) return false;
    if ((present & (1u << 3)) && !multiplicative()) return false;
    if ((present & (1u << 4)) && !additive()) return false;
    for (int p = kFirstBinaryPriority; p <= kLastBinaryPriority; ++p)
      if ((present & (1u << p)) && !binary(p)) return false;
    if ((present & ((1u << 13) | (1u << 14))) && !conditional(branches)) return false;
    return s_.size() == start_ + 1 && is_number(s_[start_]);
  }

 private:
  // A run of + and - signs and the number after them, from r on, folded
  // into one number; false when no number follows the signs.
  bool signed_operand(std::size_t& r, ExprToken& out) const {
    bool negate = false;
    for (; r < s_.size() && is_sign(s_[r]); ++r)
      if (s_[r].kind == T_SUB) negate = !negate;
    if (r >= s_.size() || !is_number(s_[r])) return false;
    out = s_[r++];
    if (negate) apply_unary(T_SUB, out);
    return true;
  }

  bool left_is_number(std::size_t w) const { return w > start_ && is_number(s_[w - 1]); }

  void finish(std::size_t w) { s_.resize(w); }

  // ! and ~ with every unary operator that directly follows them, applied
  // from the last one back to the first.
  bool unary_chains() {
    std::size_t w = start_;
    std::size_t r = start_;
    while (r < s_.size()) {
      const std::uint8_t kind = s_[r].kind;
      if (kind != T_NOT && kind != T_COMPL) {
        s_[w++] = s_[r++];
        continue;
      }
      std::size_t k = r;
      while (k < s_.size() && (kPriority[s_[k].kind] == 2 || is_sign(s_[k]))) ++k;
      if (k >= s_.size() || !is_number(s_[k])) return false;
      ExprToken operand = s_[k];
      for (std::size_t j = k; j-- > r;) apply_unary(s_[j].kind, operand);
      s_[w++] = operand;
      r = k + 1;
    }
    finish(w);
    return true;
  }

  // * / %: the number on the left with the signed number on the right. A
  // sign before the left number stays for the additive pass.
  bool multiplicative() {
    std::size_t w = start_;
    std::size_t r = start_;
    while (r < s_.size()) {
      const std::uint8_t kind = s_[r].kind;
      if (kPriority[kind] != 3) {
        s_[w++] = s_[r++];
        continue;
      }
      ExprToken right;
      ++r;
      if (!left_is_number(w) || !signed_operand(r, right)) return false;
      s_[w - 1] = apply_binary(run_, kind, s_[w - 1], right);
    }
    finish(w);
    return true;
  }

  // + and -: two-operand after a number, otherwise signs of the number
  // that follows them.
  bool additive() {
    std::size_t w = start_;
    std::size_t r = start_;
    while (r < s_.size()) {
      if (!is_sign(s_[r])) {
        s_[w++] = s_[r++];
        continue;
      }
      ExprToken operand;
      if (left_is_number(w)) {
        const std::uint8_t kind = s_[r++].kind;
        if (!signed_operand(r, operand)) return false;
        s_[w - 1] = apply_binary(run_, kind, s_[w - 1], operand);
      } else {
        if (!signed_operand(r, operand)) return false;
        s_[w++] = operand;
      }
    }
    finish(w);
    return true;
  }

  // The two-operand operators of one priority, from the left.
  bool binary(int priority) {
    std::size_t w = start_;
    std::size_t r = start_;
    while (r < s_.size()) {
      const std::uint8_t kind = s_[r].kind;
      if (kPriority[kind] != priority) {
        s_[w++] = s_[r++];
        continue;
      }
      if (!left_is_number(w) || r + 1 >= s_.size() || !is_number(s_[r + 1])) return false;
      s_[w - 1] = apply_binary(run_, kind, s_[w - 1], s_[r + 1]);
      r += 2;
    }
    finish(w);
    return true;
  }

  // number ? number : number, grouping from the right as in C: the part is
  // read from its end, so the rightmost ? is applied first. The chosen
  // operand keeps its own signedness.
  bool conditional(std::vector<ExprToken>& pending) {
    pending.clear();
    for (std::size_t i = s_.size(); i-- > start_;) {
      const ExprToken& t = s_[i];
      if (t.kind != T_QUEST) {
        pending.push_back(t);
        continue;
      }
      const std::size_t n = pending.size();
      if (i == start_ || !is_number(s_[i - 1]) || n < 3 || !is_number(pending[n - 1]) ||
          pending[n - 2].kind != T_COLON || !is_number(pending[n - 3]))
        return false;
      const ExprToken chosen = s_[i - 1].value != 0 ? pending[n - 1] : pending[n - 3];
      pending.resize(n - 3);
      pending.push_back(chosen);
      --i;  // the condition is used up
    }
    if (pending.size() != 1 || !is_number(pending[0])) return false;
    s_[start_] = pending[0];
    finish(start_ + 1);
    return true;
  }

  Run& run_;
  std::vector<ExprToken>& s_;
  std::size_t start_;
};

}  // namespace

bool tokenize_expression(std::string_view text, std::vector<ExprToken>& tokens) {
  tokens.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t') {
      ++i;
    } else if (is_digit(c)) {
      std::uint32_t value = 0;
      for (; i < text.size() && is_digit(text[i]); ++i) value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
      bool is_unsigned = false;
      if (i < text.size() && (text[i] == 'u' || text[i] == 'U')) {
        is_unsigned = true;
        ++i;
        if (i < text.size() && (text[i] == 'u' || text[i] == 'U')) return false;
      }
      tokens.push_back(number(value, is_unsigned));
    } else {
      std::size_t length = 0;
      const TokenKind kind = operator_at(text.substr(i), length);
      if (kind == T_KIND_COUNT) return false;
      tokens.push_back(ExprToken{kind, false, 0});
      i += length;
    }
  }
  return true;
}

bool reduce_expression(Run& run, ExprWork& work, ExprToken& result) {
  std::vector<ExprToken>& stack = work.stack;
  std::vector<std::uint32_t>& opens = work.opens;
  stack.clear();
  opens.clear();
  for (const ExprToken& t : work.tokens) {
    if (t.kind == T_OPEN) {
      opens.push_back(static_cast<std::uint32_t>(stack.size()));
      stack.push_back(t);
    } else if (t.kind == T_CLOSE) {
      if (opens.empty()) {
        // A stray ")": what stands before it is still reduced (and may
        // warn) before the expression fails.
        Part(run, stack, 0).reduce(work.branches);
        return false;
      }
      const std::size_t open = opens.back();
      opens.pop_back();
      if (!Part(run, stack, open + 1).reduce(work.branches)) return false;
      stack[open] = stack[open + 1];
      stack.pop_back();
    } else {
      stack.push_back(t);
    }
  }
  if (!opens.empty()) {
    // An unclosed "(": its inside is reduced, then the expression fails.
    Part(run, stack, opens.back() + 1).reduce(work.branches);
    return false;
  }
  if (!Part(run, stack, 0).reduce(work.branches)) return false;
  result = stack[0];
  return true;
}

}  // namespace cppkv
