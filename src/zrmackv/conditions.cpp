#include "zrmackv/conditions.h"

#include "zrmackv/figure.h"
#include "zrmackv/reserved.h"
#include "zrmackv/run.h"
#include "zrmackv/text_copy.h"
#include "zrmackv/statement.h"

namespace zrmackv {

void Conditions::reset() {
  blocks.resize(1);
  blocks.front() = CondBlock{};
  assembling = true;
  if_nesting = 0;
  cond_live = true;
  skip_depth = 0;
}

namespace {

// Whether a relational operator holds for a comparison whose outcome has
// the sign of order (negative: less, 0: equal, positive: greater).
bool relation_holds(int kind, int order) {
  switch (kind) {
    case T_EQEQ: return order == 0;
    case T_NE: return order != 0;
    case T_LT: return order < 0;
    case T_LE: return order <= 0;
    case T_GT: return order > 0;
    case T_GE: return order >= 0;
    default: return false;
  }
}

int verdict(bool condition) { return condition ? COND_TRUE : COND_FALSE; }

bool value_usable(int status) { return status == EVAL_OK || status == EVAL_UNDEF; }

// Refuses a reserved word written as a symbol anywhere in the operand, up to
// the first malformed token.
bool reserved_word_in(Run& run, std::string_view operand) {
  std::string_view token;
  for (;;) {
    int kind = figure_token_view(operand, token);
    if (kind == T_END || kind == T_BAD) return false;
    if (kind == T_SYMBOL && is_reserved(run, token)) {
      message_set(run, E_RESERVED_WORD_USED, token, MSG_ERROR);
      return true;
    }
  }
}

// 'text' alone, or 'text' followed by a relational operator and another
// quoted text. Anything after the right-hand string is not looked at.
int string_condition(Run& run, std::string_view operand) {
  Conditions& c = run.conditions;
  std::string_view cursor = operand;
  figure_token(cursor, c.left_str);
  std::string& token = run.figure.token;
  int op = figure_token(cursor, token);
  if (op == T_END) {
    // A string alone is true, even an empty one.
    if (run.info.active) info_cnd_operand_str(run.info, c.left_str, false, {}, true);
    return COND_TRUE;
  }
  if (!is_relational(op) || figure_token(cursor, c.right_str) != T_STRING) {
    message_set(run, E_ILLEGAL_OPERAND, operand, MSG_ERROR);
    return COND_FAILED;
  }
  // Byte by byte as unsigned bytes, case-sensitive.
  int order = std::string_view(c.left_str).compare(c.right_str);
  const bool holds = relation_holds(op, order);
  if (run.info.active) info_cnd_operand_str(run.info, c.left_str, true, c.right_str, holds);
  return verdict(holds);
}

// An expression alone (true when not 0), or two expressions compared as
// signed 32-bit values. Undefined symbols count as 0 without a message.
int numeric_condition(Run& run, std::string_view operand) {
  std::string& text = run.figure.operand;
  copy_text(text, operand);
  int status = figure_eval(run, text);
  if (status == EVAL_NOT_CONST) {
    message_set(run, E_NOT_CONSTANT, operand, MSG_ERROR);
    return COND_FAILED;
  }
  if (!value_usable(status)) return COND_FAILED;
  const std::int32_t left = run.figure.value;

  // The evaluation consumed everything up to the end or up to a
  // relational operator, which now begins the text.
  std::string_view cursor = text;
  int op = figure_token_kind(cursor);
  if (op == T_END) {
    if (run.info.active) info_cnd_operand(run.info, left, false, 0, left != 0);
    return verdict(left != 0);
  }
  if (!is_relational(op)) {
    message_set(run, E_ILLEGAL_OPERAND, operand, MSG_ERROR);
    return COND_FAILED;
  }
  text.erase(0, text.size() - cursor.size());
  // A comparison with nothing on its right is as malformed as its string
  // counterpart; evaluated, the empty right side would silently read as 0.
  std::string_view right_text = text;
  if (figure_token_kind(right_text) == T_END) {
    message_set(run, E_ILLEGAL_OPERAND, operand, MSG_ERROR);
    return COND_FAILED;
  }
  // The right side stops at a further relational operator; the rest of the
  // text is not examined.
  status = figure_eval(run, text);
  if (!value_usable(status)) {
    if (!run.messages.error_pending()) message_set(run, E_ILLEGAL_OPERAND, operand, MSG_ERROR);
    return COND_FAILED;
  }
  const std::int32_t right = run.figure.value;
  const bool holds = relation_holds(op, left < right ? -1 : left > right ? 1 : 0);
  if (run.info.active) info_cnd_operand(run.info, left, true, right, holds);
  return verdict(holds);
}

// Makes the record at the top of the stack the line status.
void update_status(Conditions& c) { c.assembling = c.blocks.back().assembling; }

void if_directive(Run& run) {
  Conditions& c = run.conditions;
  if (c.if_nesting >= kMaxIfNesting) {
    message_set(run, E_TOO_MANY_CONDITION_NESTING, {}, MSG_ERROR);
    return;
  }
  int result = cnd_operand(run, run.line.stmt.operand);
  if (result == COND_FAILED) return;  // no block is opened
  const bool condition = result == COND_TRUE;
  // The outermost .IF uses the base record.
  if (c.if_nesting != 0) c.blocks.emplace_back();
  CondBlock& b = c.blocks.back();
  b.block_type = BLOCK_IF;
  b.assembling = condition;
  b.else_pending = !condition;
  b.branch_taken = condition;
  ++c.if_nesting;
  update_status(c);
}

bool chain_open(const Conditions& c) {
  std::uint8_t type = c.blocks.back().block_type;
  return type == BLOCK_IF || type == BLOCK_ELIF;
}

void elif_directive(Run& run) {
  Conditions& c = run.conditions;
  if (!chain_open(c)) {
    message_set(run, E_IF_MISSING_FOR_ELIF, {}, MSG_ERROR);
    return;
  }
  // Evaluated even after a taken branch, so that its errors are reported.
  int result = cnd_operand(run, run.line.stmt.operand);
  if (result == COND_FAILED) return;  // the previous branch stays current
  CondBlock& b = c.blocks.back();
  const bool taken = !b.assembling && result == COND_TRUE && !b.branch_taken;
  b.block_type = BLOCK_ELIF;
  if (taken) {
    b.assembling = true;
    b.else_pending = false;
    b.branch_taken = true;
  } else {
    b.assembling = false;  // else_pending and branch_taken carry over
  }
  update_status(c);
}

void else_directive(Run& run) {
  Conditions& c = run.conditions;
  if (!chain_open(c)) {
    message_set(run, E_IF_MISSING_FOR_ELSE, {}, MSG_ERROR);
    return;
  }
  CondBlock& b = c.blocks.back();
  b.block_type = BLOCK_ELSE;
  b.assembling = b.else_pending;
  b.else_pending = false;
  update_status(c);
}

void endif_directive(Run& run) {
  Conditions& c = run.conditions;
  if (c.blocks.back().block_type == BLOCK_NONE) {
    message_set(run, E_IF_MISSING_FOR_ENDIF, {}, MSG_ERROR);
    return;
  }
  if (c.blocks.size() > 1)
    c.blocks.pop_back();
  else
    c.blocks.front() = CondBlock{};
  if (c.if_nesting != 0) --c.if_nesting;
  update_status(c);
}

}  // namespace

int cnd_operand(Run& run, std::string_view operand) {
  std::size_t blanks = 0;
  while (blanks < operand.size() && is_blank(operand[blanks])) ++blanks;
  operand.remove_prefix(blanks);
  if (operand.empty()) {
    message_set(run, E_OPERAND_NOT_ENOUGH, {}, MSG_ERROR);
    return COND_FAILED;
  }
  if (reserved_word_in(run, operand)) return COND_FAILED;
  // A quoted SIZEOF or TOPOF reads as the keyword, not as a string.
  std::string_view first = operand;
  if (figure_token_kind(first) == T_STRING) return string_condition(run, operand);
  return numeric_condition(run, operand);
}

void conditional_directive(Run& run, int code) {
  Conditions& c = run.conditions;
  bool counted = false;
  switch (code) {
    case CD_IF:
      if (c.assembling) {
        if_directive(run);
      } else {
        // An .IF inside a region not assembled opens nothing; until its
        // .ENDIF no conditional directive is processed.
        ++c.skip_depth;
        c.cond_live = false;
        counted = true;
      }
      break;
    case CD_ELIF:
      if (!c.cond_live) return;
      elif_directive(run);
      break;
    case CD_ELSE:
      if (!c.cond_live) return;
      else_directive(run);
      break;
    case CD_ENDIF:
      if (c.cond_live) {
        endif_directive(run);
      } else {
        if (c.skip_depth > 0) --c.skip_depth;
        if (c.skip_depth == 0) c.cond_live = true;
        counted = true;
      }
      break;
    default:
      return;
  }
  if (run.settings.listing && (counted || !run.messages.error_pending()))
    run.writer->write_line(run.source.line);
}

}  // namespace zrmackv
