#include "zrmackv/figure.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "zrmackv/run.h"
#include "zrmackv/text_copy.h"

namespace zrmackv {

namespace {

constexpr std::array<bool, 256> kSymbolChars = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '$' || c == '?' || c == '_';
  return table;
}();

}  // namespace

bool figure_symbol_char(unsigned char c) { return kSymbolChars[c]; }

namespace {

// Token text is held to kTokenMax - 1 bytes: a longer token is consumed
// whole from the cursor, but only its first kTokenMax - 1 bytes are kept.
void keep_text(std::string& token_text, std::string_view text) {
  copy_text(token_text, text.substr(0, std::min(text.size(), kTokenMax - 1)));
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

// Kind and length of the token at the front of text (no leading blanks).
int token_extent(std::string_view text, std::size_t& length) {
  length = 0;
  if (text.empty()) return T_END;
  const char first = text[0];
  const char second = text.size() > 1 ? text[1] : '\0';
  auto symbol_run = [&](std::size_t from) {
    std::size_t i = from;
    while (i < text.size() && kSymbolChars[static_cast<unsigned char>(text[i])]) ++i;
    length = i;
  };
  auto fixed = [&](std::size_t n, int kind) {
    length = n;
    return kind;
  };

  if (first == '"' || first == '\'') {
    for (std::size_t i = 1; i < text.size(); ++i) {
      char c = text[i];
      if (c == '\\' && i + 1 < text.size() && text[i + 1] == first) {
        ++i;  // an escaped quote character
      } else if (c == first) {
        length = i + 1;
        return T_STRING;
      }
    }
    length = text.size();
    return T_BAD;
  }
  if (first >= '0' && first <= '9') {
    symbol_run(1);
    return T_NUMBER;
  }
  if (first == '.') {
    if (second == '.') return fixed(2, T_BAD);
    if (text.size() == 1) return fixed(1, T_DOT);
    symbol_run(1);
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
  if (kSymbolChars[static_cast<unsigned char>(first)]) {
    symbol_run(1);
    return T_SYMBOL;
  }
  return fixed(1, T_BAD);
}

bool is_quoted(std::string_view token) {
  return !token.empty() && (token[0] == '"' || token[0] == '\'');
}

// The text a quoted token stands for: its content without the quotes; a
// backslash before the quote character stands for the quote, every other
// backslash is kept.
void keep_string(std::string& token_text, std::string_view token) {
  token_text.clear();
  const char quote = token[0];
  for (std::size_t i = 1; i < token.size(); ++i) {
    char c = token[i];
    if (c == '\\' && i + 1 < token.size() && token[i + 1] == quote) {
      keep_char(token_text, quote);
      ++i;
    } else if (c == quote) {
      break;  // the closing quote
    } else {
      keep_char(token_text, c);
    }
  }
}

// SIZEOF and TOPOF, in any case, are keywords of their own whatever kind
// of token spells them.
[[gnu::always_inline]] inline int keyword_kind(int kind, std::string_view spelling) {
  // Most tokens are neither five nor six bytes long: the length settles them.
  if (spelling.size() != 5 && spelling.size() != 6) return kind;
  if (equals_upper(spelling, "SIZEOF")) return T_SIZEOF;
  if (equals_upper(spelling, "TOPOF")) return T_TOPOF;
  return kind;
}

// The token at the front of cursor after its blanks; cursor moves past it.
int next_token(std::string_view& cursor, std::string_view& token) {
  std::size_t start = 0;
  while (start < cursor.size() && (cursor[start] == ' ' || cursor[start] == '\t')) ++start;
  cursor.remove_prefix(start);
  std::size_t length = 0;
  int kind = token_extent(cursor, length);
  token = std::string_view(cursor.data(), length);
  cursor.remove_prefix(length);
  return kind;
}

}  // namespace

int figure_token(std::string_view& cursor, std::string& token_text) {
  std::string_view token;
  int kind = next_token(cursor, token);
  if (is_quoted(token))
    keep_string(token_text, token);
  else
    keep_text(token_text, token);
  return keyword_kind(kind, token_text);
}

int figure_token_view(std::string_view& cursor, std::string_view& token) {
  int kind = next_token(cursor, token);
  if (!is_quoted(token)) return keyword_kind(kind, token);
  // The content of a quoted token: without escapes it is the spelling
  // between the quotes; with one it holds a quote and is no keyword.
  std::string_view content = token.substr(1, token.size() - (kind == T_STRING ? 2 : 1));
  return keyword_kind(kind, content);
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
  // Nine decimal digits or fewer never overflow 32 bits: such a number, the
  // common one, needs neither the significant-digit count nor the overflow
  // tests. Anything else, a bad digit included, takes the general way.
  if (digits.size() <= 9) {
    std::uint32_t value = 0;
    for (char c : digits) {
      const unsigned d = static_cast<unsigned char>(c) - unsigned{'0'};
      if (d > 9) return convert(digits, 10, 10, status);
      value = value * 10 + d;
    }
    return static_cast<std::int32_t>(value);
  }
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

bool figure_number(Run& run, std::string_view text, std::int32_t& value) {
  // The status is shared with the other users of the converters; a stale
  // overflow from elsewhere must not fail this number.
  int& status = run.figure.conversion_status;
  status = CONV_NONE;
  value = 0;
  if (text.empty()) return true;
  const std::string_view body(text.data(), text.size() - 1);
  switch (text.back()) {
    case 'B': case 'b': value = figure_bin(body, status); break;
    case 'O': case 'o': value = figure_oct(body, status); break;
    case 'H': case 'h': value = figure_hex(body, status); break;
    default:
      if (text.back() < '0' || text.back() > '9') {
        message_set(run, E_ILLEGAL_OPERAND, text, MSG_ERROR);
        return false;
      }
      value = figure_dec(text, status);
      break;
  }
  if (status == CONV_BAD_DIGIT) {
    message_set(run, E_ILLEGAL_OPERAND, text, MSG_ERROR);
    return false;
  }
  if (status == CONV_OVERFLOW) {
    message_set(run, E_VALUE_OUT_OF_RANGE, text, MSG_ERROR);
    return false;
  }
  return true;
}

namespace {

// Binding levels of the operators; ( and the bottom are never reduced by a
// binary operator.
int level(int op) {
  switch (op) {
    case OP_NEG: case OP_POS: case OP_NOT: return 5;
    case OP_MUL: case OP_DIV: case OP_MOD: return 4;
    case OP_ADD: case OP_SUB: return 3;
    case OP_SHL: case OP_SHR: return 2;
    case OP_AND: return 1;
    case OP_OR: case OP_XOR: return 0;
    default: return -1;
  }
}

bool is_prefix(int op) { return op == OP_NEG || op == OP_POS || op == OP_NOT; }

const char* operator_text(int op) {
  static constexpr const char* kTexts[] = {")", "-", "+", "~", "*", "/", "%", "+",
                                           "-", "<<", ">>", "&", "|", "^", "(", ""};
  return op >= 0 && op <= OP_BOTTOM ? kTexts[op] : "";
}

int binary_operator(int kind) {
  switch (kind) {
    case T_STAR: return OP_MUL;
    case T_SLASH: return OP_DIV;
    case T_PERCENT: return OP_MOD;
    case T_PLUS: return OP_ADD;
    case T_MINUS: return OP_SUB;
    case T_SHL: return OP_SHL;
    case T_SHR: return OP_SHR;
    case T_AMP: return OP_AND;
    case T_PIPE: return OP_OR;
    case T_CARET: return OP_XOR;
    default: return -1;
  }
}

// x shifted left by count (negative: right); a magnitude of 32 or more gives 0.
std::int32_t shift_left(std::int32_t x, std::int32_t count) {
  if (count >= 32 || count <= -32) return 0;
  if (count >= 0) return static_cast<std::int32_t>(static_cast<std::uint32_t>(x) << count);
  return x >> -count;  // arithmetic: the sign is copied
}

// Wrapping 32-bit arithmetic, done in unsigned to stay clear of overflow.
std::int32_t apply_binary(Run& run, int op, std::int32_t left, std::int32_t right) {
  const std::uint32_t l = static_cast<std::uint32_t>(left);
  const std::uint32_t r = static_cast<std::uint32_t>(right);
  switch (op) {
    case OP_MUL: return static_cast<std::int32_t>(l * r);
    case OP_DIV:
    case OP_MOD:
      if (right == 0) {
        run.figure.division_by_zero = true;
        return 0;
      }
      // The one quotient that does not fit wraps to itself; its remainder is 0.
      if (right == -1) return op == OP_DIV ? static_cast<std::int32_t>(0u - l) : 0;
      return op == OP_DIV ? left / right : left % right;
    case OP_ADD: return static_cast<std::int32_t>(l + r);
    case OP_SUB: return static_cast<std::int32_t>(l - r);
    case OP_SHL: return shift_left(left, right);
    case OP_SHR:
      // Negating the count would overflow only for the minimum, which is
      // out of range either way.
      return right <= -32 ? 0 : shift_left(left, -right);
    case OP_AND: return static_cast<std::int32_t>(l & r);
    case OP_OR: return static_cast<std::int32_t>(l | r);
    case OP_XOR: return static_cast<std::int32_t>(l ^ r);
    default: return left;
  }
}

// One evaluation over a cursor into the operand text.
class Evaluator {
 public:
  Evaluator(Run& run, std::string_view text)
      : run_(run), fig_(run.figure), cursor_(text), operands_(fig_.operands),
        operators_(fig_.operators), token_(fig_.token) {
    operands_.clear();
    operands_.push_back(0);  // the sentinel: the value of an empty operand
    operators_.clear();
    operators_.push_back(OP_BOTTOM);
    fig_.conversion_status = CONV_NONE;
  }

  int run();
  std::string_view rest() const { return cursor_; }
  // The relational operator the evaluation stopped at, or nullptr.
  std::string_view stop_operator() const { return stop_; }

 private:
  int fail(int code, std::string_view argument) {
    message_set(run_, code, argument, MSG_ERROR);
    return EVAL_FAIL;
  }
  // Applies the operator on top to the operand stack and pops it.
  void reduce();
  // Reduces every operator on top that binds at least as tightly as op
  // (all binary operators are left-associative), then pushes op.
  void offer_binary(int op) {
    while (level(operators_.back()) >= level(op)) reduce();
    operators_.push_back(op);
  }
  int not_constant() {
    operands_.resize(1);
    operators_.resize(1);
    return EVAL_NOT_CONST;
  }
  int end_steps(bool at_end);
  // The current token as messages name it: held to kTokenMax - 1 bytes, a
  // quoted one by its content. Made only when a message needs it.
  const std::string& kept() {
    std::string_view cursor = raw_;
    figure_token(cursor, token_);
    return token_;
  }

  Run& run_;
  FigureState& fig_;
  std::string_view cursor_;
  std::vector<std::int32_t>& operands_;
  std::vector<int>& operators_;
  std::string& token_;
  std::string_view stop_;
  std::string_view raw_;  // the current token as written
  int parens_ = 0;
  bool undefined_used_ = false;
};

void Evaluator::reduce() {
  int op = operators_.back();
  operators_.pop_back();
  if (op == OP_LPAREN) return;
  // Every operator is pushed only with an operand to follow, so there is
  // always one above the sentinel here; the sentinel itself stays 0.
  if (is_prefix(op)) {
    std::int32_t& x = operands_.back();
    const std::uint32_t u = static_cast<std::uint32_t>(x);
    if (op == OP_NEG) x = static_cast<std::int32_t>(0u - u);
    if (op == OP_NOT) x = static_cast<std::int32_t>(~u);
    return;
  }
  std::int32_t right = operands_.back();
  operands_.pop_back();
  std::int32_t& left = operands_.back();
  left = apply_binary(run_, op, left, right);
}

int Evaluator::end_steps(bool at_end) {
  while (operators_.back() != OP_BOTTOM) reduce();
  if (parens_ != 0) return fail(E_RPAREN_MISSING, "");
  if (fig_.division_by_zero) return fail(E_DIVISION_BY_ZERO, "");
  if (!at_end) return EVAL_OK;
  if (run_.messages.code != 0 && run_.messages.cls == MSG_ERROR) return EVAL_FAIL;
  return undefined_used_ ? EVAL_UNDEF : EVAL_OK;
}

int Evaluator::run() {
  bool had_operand = false;
  bool after_operand = false;
  bool after_rparen = false;
  for (;;) {
    // The raw text of the token, blanks excluded: numbers and names are read
    // from it, so a token longer than a message holds is still valued by its
    // full text.
    std::size_t blanks = 0;
    while (blanks < cursor_.size() && (cursor_[blanks] == ' ' || cursor_[blanks] == '\t'))
      ++blanks;
    cursor_.remove_prefix(blanks);
    const char* start = cursor_.data();
    std::string_view spelling;
    const int kind = figure_token_view(cursor_, spelling);
    const std::string_view raw(start, static_cast<std::size_t>(cursor_.data() - start));
    raw_ = raw;

    if (kind == T_END || is_relational(kind)) {
      if (kind != T_END) {
        stop_ = raw;
        if (!had_operand) return fail(E_OPERAND_NOT_ENOUGH, kept());
      }
      if (!after_operand && operators_.back() != OP_BOTTOM) {
        // An operator still waits for its right operand: "1+", "~", "1+(".
        int op = operators_.back();
        if (op == OP_LPAREN) return fail(E_RPAREN_MISSING, "");
        return fail(E_EXPRESSION_SYNTAX, operator_text(op));
      }
      return end_steps(kind == T_END);
    }

    switch (kind) {
      case T_NUMBER: {
        if (after_operand) return fail(E_EXPRESSION_SYNTAX, kept());
        std::int32_t value;
        if (!figure_number(run_, raw, value)) return EVAL_FAIL;
        operands_.push_back(value);
        break;
      }
      case T_SYMBOL: {
        if (after_rparen) return fail(E_EXPRESSION_SYNTAX, kept());
        if (after_operand) return fail(E_ILLEGAL_OPERAND, kept());
        SymbolResult symbol = symbol_lookup(run_, raw);
        if (symbol.kind == S_NOT_FOUND) {
          if (run_.messages.quiet) return fail(E_SYMBOL_UNDEFINED, kept());
          undefined_used_ = true;
          operands_.push_back(0);
        } else if (symbol.kind == S_EQU) {
          operands_.push_back(symbol.value);
        } else {
          return not_constant();
        }
        break;
      }
      case T_TILDE:
      case T_LPAREN:
      case T_PLUS:
      case T_MINUS:
        if ((kind == T_PLUS || kind == T_MINUS) && after_operand) {
          offer_binary(binary_operator(kind));
        } else if (kind == T_TILDE || kind == T_LPAREN) {
          if (after_rparen) return fail(E_EXPRESSION_SYNTAX, kept());
          operators_.push_back(kind == T_TILDE ? OP_NOT : OP_LPAREN);
          if (kind == T_LPAREN) ++parens_;
        } else {
          operators_.push_back(kind == T_PLUS ? OP_POS : OP_NEG);
        }
        after_operand = after_rparen = false;
        continue;
      case T_STAR: case T_SLASH: case T_PERCENT: case T_SHL: case T_SHR:
      case T_AMP: case T_PIPE: case T_CARET:
        if (!after_operand) return fail(E_EXPRESSION_SYNTAX, kept());
        offer_binary(binary_operator(kind));
        after_operand = after_rparen = false;
        continue;
      case T_RPAREN:
        --parens_;
        if (!after_operand) return fail(E_EXPRESSION_SYNTAX, ")");
        while (operators_.back() != OP_LPAREN && operators_.back() != OP_BOTTOM) reduce();
        if (operators_.back() == OP_BOTTOM) return fail(E_EXPRESSION_SYNTAX, ")");
        operators_.pop_back();
        after_operand = after_rparen = true;
        continue;
      case T_BAD:
        return fail(E_EXPRESSION_SYNTAX, kept());
      default:
        return not_constant();
    }
    // An operand was pushed.
    had_operand = after_operand = true;
    after_rparen = false;
  }
}

}  // namespace

int figure_eval(Run& run, std::string& operand) {
  Evaluator evaluator(run, operand);
  int status = evaluator.run();
  run.figure.value = run.figure.operands.back();
  // The text read is dropped, except a relational operator the evaluation
  // stopped at: it was the last token read and stays in front of the rest.
  std::string_view stop = evaluator.stop_operator();
  const char* kept_from = stop.empty() ? evaluator.rest().data() : stop.data();
  operand.erase(0, static_cast<std::size_t>(kept_from - operand.data()));
  return status;
}

int figure_eval(Run& run) { return figure_eval(run, run.figure.operand); }

}  // namespace zrmackv
