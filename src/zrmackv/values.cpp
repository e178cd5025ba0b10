#include "zrmackv/values.h"

#include <string>
#include <string_view>

#include "zrmackv/reserved.h"
#include "zrmackv/run.h"
#include "zrmackv/text_copy.h"
#include "zrmackv/statement.h"

namespace zrmackv {

namespace {

// The statement's line goes to the line writer unchanged.
void pass_on(Run& run) { run.writer->write_line(run.source.line); }

bool error_recorded(const Run& run) {
  return run.messages.code != 0 && run.messages.cls == MSG_ERROR;
}

// Raises "Invalid reserved word exist in operand" and returns true when a
// T_SYMBOL of operand is, in upper case, a reserved word.
bool reserved_in_expression(Run& run, std::string_view operand) {
  std::string_view token;
  for (;;) {
    int kind = figure_token_view(operand, token);
    if (kind == T_END) return false;
    if (kind == T_SYMBOL && is_reserved(run, token)) {
      message_set(run, E_RESERVED_WORD_IN_OPERAND, token, MSG_ERROR);
      return true;
    }
  }
}

}  // namespace

void equ_directive(Run& run) {
  const Statement& st = run.line.stmt;
  if (reserved_in_expression(run, st.operand)) return;
  // The expression is the assembler's business: nothing about it is
  // reported for the rest of this line, and only a plain absolute value is
  // stored.
  run.messages.quiet = true;
  std::string& operand = run.figure.operand;
  copy_text(operand, st.operand);
  int status = figure_eval(run);
  if (status == EVAL_OK && !run.figure.division_by_zero) {
    std::string_view rest = operand;
    if (figure_token_kind(rest) == T_END)
      symbol_set(run, st.label, S_EQU, run.figure.value);
    if (run.info.active) info_equ_value(run.info, st.label, run.figure.value);
  } else if (run.info.active) {
    info_equ_not_valued(run.info);
  }
  pass_on(run);
}

void btequ_directive(Run& run) {
  const Statement& st = run.line.stmt;
  std::string_view operand = st.operand;
  for (;;) {
    Token token = token_split(operand);
    if (token.text.empty()) break;
    std::string_view name = token.text;
    if (token.cls == TK_NAME_COLON) name.remove_suffix(1);
    if ((token.cls == TK_NAME || token.cls == TK_NAME_COLON) && is_reserved(run, name)) {
      message_set(run, E_RESERVED_WORD_IN_OPERAND, name, MSG_ERROR);
      return;
    }
  }
  symbol_set(run, st.label, S_BTEQU, 0);
  if (!error_recorded(run)) pass_on(run);
}

void define_directive(Run& run) {
  const Statement& st = run.line.stmt;
  std::string_view operand = st.operand;
  std::size_t i = 0;
  while (i < operand.size() && is_blank(operand[i])) ++i;
  std::string text;
  if (i < operand.size() && (operand[i] == '"' || operand[i] == '\'')) {
    // Up to the same quote; a backslash before it stands for the quote.
    const char quote = operand[i++];
    bool closed = false;
    for (; i < operand.size(); ++i) {
      if (operand[i] == '\\' && i + 1 < operand.size() && operand[i + 1] == quote) {
        text.push_back(quote);
        ++i;
      } else if (operand[i] == quote) {
        closed = true;
        ++i;
        break;
      } else {
        text.push_back(operand[i]);
      }
    }
    if (!closed) {
      message_set(run, E_ILLEGAL_OPERAND, operand, MSG_ERROR);
      return;
    }
  } else {
    std::size_t start = i;
    while (i < operand.size() && !is_blank(operand[i])) ++i;
    text.assign(operand.substr(start, i - start));
  }
  while (i < operand.size() && is_blank(operand[i])) ++i;
  if (i < operand.size()) {
    message_set(run, E_ILLEGAL_OPERAND, operand, MSG_ERROR);
    return;
  }
  symbol_set(run, st.label, S_DEFINE, 0, text);
  if (!error_recorded(run)) pass_on(run);
}

void glb_directive(Run& run, bool bit) {
  const Statement& st = run.line.stmt;
  std::string_view operand = st.operand;
  Token token = token_split(operand);
  if (token.text.empty()) return;
  bool first = true;
  for (;;) {
    if (token.cls != TK_NAME) {
      if (first)
        message_set(run, E_OPERAND_NOT_COMPLETED, token.text, MSG_ERROR);
      else
        message_set(run, E_NO_SEMICOLON, token.text, MSG_ERROR);
      return;
    }
    if (is_reserved(run, token.text)) {
      message_set(run, E_RESERVED_WORD_IN_OPERAND, token.text, MSG_ERROR);
      return;
    }
    if (!symbol_set(run, token.text, bit ? S_BGLOBAL : S_GLOBAL, 0)) return;
    token = token_split(operand);
    if (token.text.empty()) break;
    if (token.text != ",") {
      message_set(run, E_NO_SEMICOLON, token.text, MSG_ERROR);
      return;
    }
    token = token_split(operand);
    if (token.text.empty()) break;  // a comma at the very end is accepted
    first = false;
  }
  if (!error_recorded(run)) pass_on(run);
}

}  // namespace zrmackv
