// Repeat blocks (.MREPEAT ... .ENDR), replayed in place a given number of
// times, and the early exit .EXITM with the skip that follows it.
#include "zrmackv/macro_engine.h"
#include "zrmackv/macro_internal.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

constexpr std::int32_t kMaxRepetitions = 65535;

// Evaluates the repeat count; false after raising its message.
bool repeat_count(Run& run, std::int32_t& count) {
  std::string_view operand = run.line.stmt.operand;
  while (!operand.empty() && is_blank(operand.front())) operand.remove_prefix(1);
  if (operand.empty()) {
    message_set(run, E_OPERAND_NOT_ENOUGH, {}, MSG_ERROR);
    return false;
  }
  std::string& text = run.figure.operand;
  text.assign(operand);
  if (figure_eval(run, text) != EVAL_OK) {
    message_set(run, E_NOT_CONSTANT, {}, MSG_ERROR);
    return false;
  }
  if (!only_blanks(text)) {
    message_set(run, E_NO_SEMICOLON, text, MSG_ERROR);
    return false;
  }
  count = run.figure.value;
  if (count < 1 || count > kMaxRepetitions) {
    message_set(run, E_VALUE_OUT_OF_RANGE, {}, MSG_ERROR);
    return false;
  }
  return true;
}

// Starts recording a repeat block of count repetitions.
void repeat_define_start(Run& run, std::int32_t count) {
  MacroEngine& me = run.macro;
  MacExp& m = me.current->state == M_NONE ? *me.current : macexp_push(run);
  m.act_count = 0;
  m.frm_count = 0;
  local_labels_release(run, m);
  m.state = R_DEFINE;
  m.rep_now = 0;
  m.rep_final = count;
  std::string_view text = run.settings.listing ? std::string_view(run.source.line)
                                               : std::string_view(run.line.stmt.text);
  StoredLine* header = stored_line_new(run, text, run.source.current_file,
                                       static_cast<std::int32_t>(run.source.line_no));
  m.rep_body = header;
  m.ret_cursor = header;
  me.last_line = header;
  me.rep_define_nest = 0;
}

// The last repetition is done: the body goes, the reader resumes after the
// block.
void repeat_finish(Run& run) {
  MacroEngine& me = run.macro;
  MacExp& m = *me.current;
  me.macro_cursor = m.rep_ret_cursor;
  me.last_line = nullptr;  // no body is being recorded; this one is released
  if (m.before) {
    macexp_pop(run);
  } else {
    stored_list_release(run, m.rep_body);
    m.rep_body = nullptr;
    m.ret_cursor = nullptr;
    m.rep_ret_cursor = nullptr;
    m.state = M_NONE;
    m.rep_now = 0;
    m.rep_final = 0;
  }
  if (!run.settings.list_macro) me.suppress_line = true;
}

// The closing .ENDR of the block being recorded: the first repetition
// starts with the next line read.
void repeat_define_close(Run& run) {
  MacroEngine& me = run.macro;
  MacExp& m = *me.current;
  macro_define(run);
  m.state = R_EXPAND;
  m.ret_cursor = m.rep_body->next;
  m.rep_ret_cursor = me.macro_cursor;
  me.suppress_line = true;
  me.macro_cursor = m.ret_cursor;
}

}  // namespace

bool mrepeat_directive(Run& run) {
  MacroEngine& me = run.macro;
  switch (me.current->state) {
    case M_NONE:
    case M_EXPAND:
    case R_EXPAND: {
      std::int32_t count;
      if (repeat_count(run, count)) repeat_define_start(run, count);
      return true;
    }
    case R_DEFINE:
      if (me.rep_define_nest > kMaxNestCount) {
        message_set(run, E_TOO_MANY_MACRO_NESTING, {}, MSG_ERROR);
        return false;
      }
      me.rep_define_nest++;
      macro_define(run);
      me.suppress_line = true;
      return true;
    case M_EXIT:
    case R_EXIT:
      // Counted even past the limit, so that its .ENDR still matches.
      if (me.exit_nest > kMaxNestCount) message_set(run, E_TOO_MANY_MACRO_NESTING, {}, MSG_ERROR);
      me.exit_nest++;
      return true;
    default:
      return true;
  }
}

bool endr_directive(Run& run) {
  MacroEngine& me = run.macro;
  MacExp& m = *me.current;
  switch (m.state) {
    case R_DEFINE:
      if (!only_blanks(run.line.stmt.operand)) {
        message_set(run, E_OPERAND_NOT_ENOUGH, {}, MSG_ERROR);
        return false;
      }
      if (me.rep_define_nest != 0) {
        me.rep_define_nest--;
        macro_define(run);
        me.suppress_line = true;
      } else {
        repeat_define_close(run);
      }
      return true;
    case R_EXPAND:
      if (!only_blanks(run.line.stmt.operand)) {
        message_set(run, E_OPERAND_NOT_ENOUGH, {}, MSG_ERROR);
        return true;
      }
      if (++m.rep_now != m.rep_final) {
        me.macro_cursor = m.ret_cursor;
        me.suppress_line = true;
      } else {
        repeat_finish(run);
      }
      return true;
    case M_EXIT:
      if (me.exit_nest == 1)
        message_set(run, E_MREPEAT_MISSING_FOR_ENDR, {}, MSG_ERROR);
      else
        me.exit_nest--;
      return true;
    case R_EXIT:
      if (--me.exit_nest == 0) repeat_finish(run);
      return true;
    default:
      message_set(run, E_MREPEAT_MISSING_FOR_ENDR, {}, MSG_ERROR);
      return true;
  }
}

void exitm_directive(Run& run) {
  MacroEngine& me = run.macro;
  MacExp& m = *me.current;
  switch (m.state) {
    case M_EXPAND:
      m.state = M_EXIT;
      me.exit_nest = 1;
      break;
    case R_EXPAND:
      m.state = R_EXIT;
      me.exit_nest = 1;
      break;
    case M_NONE:
      message_set(run, E_MACRO_MISSING_FOR_EXITM, {}, MSG_ERROR);
      break;
    default:
      break;
  }
}

}  // namespace zrmackv
