#include "zrmackv/directives.h"

#include <string>

#include "zrmackv/conditions.h"
#include "zrmackv/include.h"
#include "zrmackv/reserved.h"
#include "zrmackv/run.h"
#include "zrmackv/statement.h"
#include "zrmackv/values.h"

namespace zrmackv {

namespace {

constexpr char to_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool equals_upper(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (to_upper(word[i]) != upper[i]) return false;
  return true;
}

std::string_view skip_blanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  return text.substr(i);
}

// The statement's line goes to the line writer unchanged.
void pass_on(Run& run) { run.writer->write_line(run.source.line); }

// Directives that take no name field.
bool no_name_field(Run& run) {
  const Statement& st = run.line.stmt;
  if (st.label_form == LABEL_NAME) {
    message_set(run, E_INVALID_SYMBOL_DEFINITION, st.label, MSG_ERROR);
    return false;
  }
  if (st.label_form == LABEL_COLON) {
    message_set(run, E_INVALID_LABEL, st.label, MSG_ERROR);
    return false;
  }
  return true;
}

// Directives that define the name written without ":" in their name field.
bool symbol_name_field(Run& run) {
  const Statement& st = run.line.stmt;
  if (st.label_form == LABEL_COLON) {
    message_set(run, E_INVALID_LABEL, st.label, MSG_ERROR);
    return false;
  }
  if (st.label_form == LABEL_NONE) {
    message_set(run, E_SYMBOL_MISSING, st.operation, MSG_ERROR);
    return false;
  }
  return true;
}

// Decimal count for the ._error line; a count above 65535 leaves its place
// empty.
void append_count(std::string& line, std::uint32_t count) {
  if (count <= 65535) line += std::to_string(count);
}

// Size suffixes a shift mnemonic may carry.
bool is_shift_suffix(std::string_view mnemonic, std::string_view suffix) {
  if (equals_upper(suffix, ".B") || equals_upper(suffix, ".W")) return true;
  return equals_upper(suffix, ".L") && !equals_upper(mnemonic, "ROT");
}

}  // namespace

void directive_dispatch(Run& run) {
  const Statement& st = run.line.stmt;
  const int code = st.op_code;
  if (reserved_class(code) == RC_CONDITIONAL) {
    if (no_name_field(run)) conditional_directive(run, code);
    return;
  }
  if (!run.conditions.assembling) return;
  switch (code) {
    case D_ASSERT:
      if (no_name_field(run)) assert_directive(run);
      break;
    case D_INCLUDE:
      if (no_name_field(run)) include_directive(run);
      break;
    case D_LIST:
      if (no_name_field(run)) list_directive(run);
      break;
    case D_GLB:
    case D_BTGLB:
      if (no_name_field(run)) glb_directive(run, code == D_BTGLB);
      break;
    case D_EQU:
      if (symbol_name_field(run)) equ_directive(run);
      break;
    case D_DEFINE:
      if (symbol_name_field(run)) define_directive(run);
      break;
    case D_BTEQU:
      if (symbol_name_field(run)) btequ_directive(run);
      break;
    case D_END:
      end_directive(run);
      break;
    case D_SECTION:
      if (st.label_form == LABEL_NONE) run.directives.section_mark = true;
      run.directives.shift_state = SHIFT_NONE;
      pass_on(run);
      break;
    case D_ADDR: case D_BYTE: case D_DOUBLE: case D_FLOAT: case D_LWORD: case D_ORG: case D_WORD:
      run.directives.shift_state = SHIFT_NONE;
      pass_on(run);
      break;
    case D_FILE:
    case D_LINE:
      if (no_name_field(run)) fileline_directive(run);
      break;
    case D_LANG:
    case D_LTYPE:
      message_set(run, E_ILLEGAL_DIRECTIVE, st.operation, MSG_ERROR);
      break;
    default:
      if (reserved_class(code) == RC_DIRECTIVE) pass_on(run);
      break;
  }
}

void end_directive(Run& run) {
  const Statement& st = run.line.stmt;
  if (!skip_blanks(st.operand).empty()) {
    message_set(run, E_NO_SEMICOLON, st.operand, MSG_ERROR);
    return;
  }
  if (st.label_form == LABEL_COLON) {
    message_set(run, E_INVALID_LABEL, st.label, MSG_ERROR);
  } else if (st.label_form == LABEL_NAME) {
    message_set(run, E_INVALID_SYMBOL_DEFINITION, st.label, MSG_ERROR);
  } else if (run.source.depth > 0) {
    message_set(run, W_END_IN_INCLUDE, {}, MSG_WARNING);
    return;
  }

  const int state = run.macro.current->state;
  if (state == M_DEFINE)
    message_set(run, E_NO_ENDM, {}, MSG_ERROR);
  else if (state == R_DEFINE)
    message_set(run, E_NO_ENDR, {}, MSG_ERROR);
  else if (run.conditions.if_nesting != 0)
    message_set(run, E_NO_ENDIF, {}, MSG_ERROR);
  run.conditions.if_nesting = 0;
  run.macro.define_nest = 0;
  run.macro.rep_define_nest = 0;

  // The totals include the message of this line, which is printed after it.
  std::uint32_t errors = run.messages.error_count;
  std::uint32_t warnings = run.messages.warning_count;
  if (run.messages.code != 0) {
    if (run.messages.cls == MSG_WARNING)
      ++warnings;
    else
      ++errors;
  }
  std::string line = "\t._error\t";
  append_count(line, errors);
  line += ',';
  append_count(line, warnings);
  run.writer->write_line(line);

  run.source.end_seen = true;
  run.end_executed = true;
  run.directives.section_mark = false;
}

void list_directive(Run& run) {
  std::string_view operand = skip_blanks(run.line.stmt.operand);
  if (operand.empty()) {
    message_set(run, E_OPERAND_NOT_ENOUGH, {}, MSG_ERROR);
    return;
  }
  std::size_t end = 0;
  while (end < operand.size() && !is_blank(operand[end])) ++end;
  std::string_view word = operand.substr(0, end);
  bool on = equals_upper(word, "ON");
  if (!on && !equals_upper(word, "OFF")) {
    message_set(run, E_ILLEGAL_OPERAND, word, MSG_ERROR);
    return;
  }
  if (!skip_blanks(operand.substr(end)).empty()) {
    message_set(run, E_NO_SEMICOLON, operand.substr(end), MSG_ERROR);
    return;
  }
  if (!run.settings.listing) return;
  run.directives.listing_on = true;
  pass_on(run);
  run.directives.listing_on = on;
}

void fileline_directive(Run& run) {
  if (run.line.lang_accepted)
    pass_on(run);
  else
    message_set(run, E_ILLEGAL_DIRECTIVE, run.line.stmt.operation, MSG_ERROR);
}

void shift_check(Run& run) {
  const Statement& st = run.line.stmt;
  DirectiveState& d = run.directives;
  const std::string_view mnemonic = st.operation;
  if (!equals_upper(mnemonic, "SHA") && !equals_upper(mnemonic, "SHL") &&
      !equals_upper(mnemonic, "ROT")) {
    d.shift_state = SHIFT_NONE;
    return;
  }
  std::string_view cursor = st.operand;
  Token count = token_split(cursor);
  if (!count.text.empty() && count.text[0] == '.') {
    if (!is_shift_suffix(mnemonic, count.text)) {
      d.shift_state = SHIFT_NONE;
      return;
    }
    count = token_split(cursor);
  }

  const int previous = d.shift_state;
  if (!count.text.empty() && count.text[0] == '#') {
    // The count runs from after "#" up to the first comma of the operand.
    std::size_t comma = cursor.find(',');
    std::string& text = d.shift_count;
    text.assign(cursor.substr(0, comma));
    int status = figure_eval(run, text);
    if ((status == EVAL_OK || status == EVAL_UNDEF) && run.figure.value < 0) {
      d.shift_state = SHIFT_NONE;
      return;
    }
    d.shift_state = SHIFT_IMMEDIATE;
  } else if (equals_upper(count.text, "R1H")) {
    d.shift_state = SHIFT_BY_R1H;
  } else {
    d.shift_state = SHIFT_NONE;
  }
  if (previous == SHIFT_BY_R1H && d.shift_state == SHIFT_IMMEDIATE)
    run.writer->write_line(kShiftNopLine);
}

void end_of_source_state_checks(Run& run) {
  MacExp& current = *run.macro.current;
  if (current.state == M_DEFINE || current.state == R_DEFINE) {
    int code = current.state == M_DEFINE ? E_NO_ENDM : E_NO_ENDR;
    // Definition mode is left first: messages raised while a body is being
    // recorded are not kept.
    current.state = M_NONE;
    run.macro.define_nest = 0;
    run.macro.rep_define_nest = 0;
    message_set(run, code, {}, MSG_ERROR);
  } else if (run.conditions.if_nesting != 0) {
    run.conditions.assembling = true;
    message_set(run, E_NO_ENDIF, {}, MSG_ERROR);
  }
}

}  // namespace zrmackv
