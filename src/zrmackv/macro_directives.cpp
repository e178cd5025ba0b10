// The macro directives: the dispatcher through which the line engine hands
// over .MACRO, .LOCAL, .EXITM, .ENDM, .MREPEAT and .ENDR, and the recording
// of custom macro definitions.
#include "zrmackv/macro_engine.h"
#include "zrmackv/macro_internal.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

bool is_defining(int state) { return state == M_DEFINE || state == R_DEFINE; }

// A formal list is refused at definition time only for a reserved word that
// is not a macro-time name; its syntax is checked at each call.
bool formal_list_acceptable(Run& run, std::string_view list) {
  bool after_parameter = false;
  for (;;) {
    Token t = token_split(list);
    if (t.text.empty()) return true;
    if (after_parameter && t.text == ",") {
      after_parameter = false;
      continue;
    }
    after_parameter = true;
    ReservedWord r = reserved_find_any_case(run, t.text);
    if (r.cls != RC_NONE && r.cls != RC_MACRO_TIME) {
      std::string upper(t.text);
      for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      message_set(run, E_RESERVED_WORD_USED, upper, MSG_ERROR);
      return false;
    }
  }
}

// Starts recording the definition of the macro name.
void macro_define_start(Run& run, std::string_view name) {
  MacroEngine& me = run.macro;
  Statement& st = run.line.stmt;
  if (reserved_find(run, name).cls != RC_NONE) {
    message_set(run, E_RESERVED_WORD_USED, name, MSG_ERROR);
    return;
  }
  if (!formal_list_acceptable(run, st.operand)) return;
  SymbolPlace place;
  Symbol* entry = run.symbols.find(name, place);
  if (!entry) {
    entry = &symbol_new(run, name, S_MACRO, place);
    me.name_shapes.set(macro_name_shape(name));
    me.macro_entries.push_back(entry);
  } else if (entry->kind != S_MACRO) {
    message_set(run, E_MULTIPLE_DEFINED, name, MSG_ERROR);
    return;
  } else {
    // An expansion in progress may still be replaying the old body: it is
    // released once no definition and no expansion is active.
    if (run.info.active) info_old_macro_define(run.info, entry->body);
    me.redefine_free_list.push_back(entry->body);
    entry->body = nullptr;
  }
  StoredLine* header = stored_line_new(run, st.text, run.source.current_file,
                                       static_cast<std::int32_t>(run.source.line_no));
  entry->body = header;
  me.last_line = header;
  MacExp& m = me.current->state == M_NONE ? *me.current : macexp_push(run);
  m.state = M_DEFINE;
  local_labels_release(run, m);
  m.rep_now = 0;
  m.rep_final = 0;
  m.frm_count = 0;
  m.act_count = 0;
  m.ret_cursor = nullptr;
  me.define_nest = 1;
}

// Releases the replaced bodies once nothing can be reading them, each line
// traced with its place and text.
void release_replaced_bodies(Run& run) {
  MacroEngine& me = run.macro;
  if (me.define_nest != 0 || me.mac_exp_cnt != 0) return;
  for (StoredLine* line : me.redefine_free_list) {
    while (line) {
      if (run.info.active)
        info_mac_redefine_free(run.info, line, line->f_name, line->line_no, line->line_data);
      StoredLine* next = line->next;
      line->next = nullptr;
      stored_list_release(run, line);
      line = next;
    }
  }
  me.redefine_free_list.clear();
  me.last_line = nullptr;
}

void after_endm(Run& run) {
  MacroEngine& me = run.macro;
  if (!me.suppress_line && !run.messages.error_pending()) macro_write_line(run);
  if (me.current->state != M_DEFINE && me.file_switch) {
    run.writer->file_control(run.source.current_file);
    me.file_switch = false;
  }
  release_replaced_bodies(run);
}

// The label rules of the macro directives, then the directive itself.
// False when the directive was refused.
bool carry_out(Run& run) {
  const Statement& st = run.line.stmt;
  const int code = st.op_code;
  if (code == MD_MACRO) {
    if (st.label_form == LABEL_NONE) {
      message_set(run, E_NO_MACRO_NAME, {}, MSG_ERROR);
      return false;
    }
    if (st.label_form == LABEL_COLON && !run.settings.macname) {
      message_set(run, E_INVALID_LABEL, st.label, MSG_ERROR);
      return false;
    }
    return macro_name_directive(run, st.label);
  }
  if (code == MD_MREPEAT) {
    if (st.label_form == LABEL_NAME) {
      message_set(run, E_INVALID_SYMBOL_DEFINITION, st.label, MSG_ERROR);
      return false;
    }
    if (st.label_form == LABEL_COLON) {
      if (is_reserved(run, st.label)) {
        message_set(run, E_RESERVED_WORD_USED, st.label, MSG_ERROR);
        return false;
      }
      label_set(run, st.label);
    }
    return mrepeat_directive(run);
  }
  if (st.label_form != LABEL_NONE) {
    message_set(run, st.label_form == LABEL_COLON ? E_INVALID_LABEL : E_INVALID_SYMBOL_DEFINITION,
                st.label, MSG_ERROR);
    return false;
  }
  switch (code) {
    case MD_LOCAL: local_directive(run); return true;
    case MD_EXITM: exitm_directive(run); return true;
    case MD_ENDR: return endr_directive(run);
    default: return endm_directive(run);
  }
}

}  // namespace

bool macro_name_directive(Run& run, std::string_view name) {
  MacroEngine& me = run.macro;
  switch (me.current->state) {
    case M_NONE:
    case M_EXPAND:
    case R_EXPAND:
      macro_define_start(run, name);
      return true;
    case M_DEFINE:
      if (me.define_nest >= kMaxDefineNest) {
        message_set(run, E_TOO_MANY_MACRO_NESTING, {}, MSG_ERROR);
        return false;
      }
      me.define_nest++;
      macro_define(run);
      return true;
    case M_EXIT:
    case R_EXIT:
      if (me.exit_nest >= kMaxNestCount)
        message_set(run, E_TOO_MANY_MACRO_NESTING, {}, MSG_ERROR);
      else
        me.exit_nest++;
      return true;
    default:
      return true;
  }
}

bool endm_directive(Run& run) {
  MacroEngine& me = run.macro;
  MacExp& m = *me.current;
  switch (m.state) {
    case M_DEFINE:
      macro_define(run);
      if (--me.define_nest == 0) {
        if (m.before)
          macexp_pop(run);
        else
          m.state = M_NONE;
        me.macro_defined = true;
      }
      break;
    case M_EXPAND:
      macro_expansion_end(run);
      break;
    case M_EXIT:
      if (--me.exit_nest == 0 && !macro_expansion_end(run)) me.exit_nest = 1;
      break;
    case R_EXIT:
      if (me.exit_nest == 1)
        message_set(run, E_MACRO_MISSING_FOR_ENDM, {}, MSG_ERROR);
      else
        me.exit_nest--;
      break;
    default:
      message_set(run, E_MACRO_MISSING_FOR_ENDM, {}, MSG_ERROR);
      break;
  }
  after_endm(run);
  return true;
}

void macro_directive(Run& run) {
  MacroEngine& me = run.macro;
  me.suppress_line = false;
  const int code = run.line.stmt.op_code;
  const int state = me.current->state;
  if (state == M_DEFINE && code != MD_MACRO && code != MD_ENDM) {
    macro_define(run);
    macro_write_line(run);
    return;
  }
  if (state == R_DEFINE && code != MD_MREPEAT && code != MD_ENDR) {
    macro_define(run);
    return;
  }
  const bool carried = carry_out(run);
  if (!carried && is_defining(state)) {
    // A refused directive line stays in the body, so that its error is
    // reported where the body is replayed.
    macro_define(run);
    if (state == R_DEFINE) me.suppress_line = true;
  }
  if (carried && code == MD_ENDM) return;  // after_endm has handed the line over
  if (!me.suppress_line && !run.messages.error_pending()) macro_write_line(run);
}

}  // namespace zrmackv
