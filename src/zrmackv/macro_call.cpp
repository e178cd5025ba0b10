// Macro calls: recognising a call, reading the actual and formal
// parameters, opening the expansion and closing it at its .ENDM.
#include "zrmackv/macro_engine.h"
#include "zrmackv/macro_internal.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

enum ScanResult { SCAN_ITEM, SCAN_SEPARATOR, SCAN_END, SCAN_FAIL };

// Copies a parenthesised run starting at text[at] == '(' into item, up to
// its matching ")"; returns the position after it, or npos when unbalanced.
std::size_t copy_parenthesised(std::string_view text, std::size_t at, std::string& item) {
  int depth = 0;
  for (std::size_t i = at; i < text.size(); ++i) {
    const char c = text[i];
    item.push_back(c);
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0) return i + 1;
  }
  return std::string_view::npos;
}

// Reads one item of an actual parameter text from its front.
ScanResult scan_actual(std::string_view& text, std::string& item) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  text.remove_prefix(i);
  item.clear();
  if (text.empty() || text[0] == '\n') return SCAN_END;
  const char first = text[0];
  if (first == ',') {
    text.remove_prefix(1);
    return SCAN_SEPARATOR;
  }
  if (first == '\'' || first == '"') {
    // Up to the same quote; a backslash takes the next character literally.
    for (i = 1; i < text.size() && text[i] != first; ++i) {
      if (text[i] == '\\' && i + 1 < text.size()) ++i;
      item.push_back(text[i]);
    }
    if (i >= text.size()) return SCAN_FAIL;
    text.remove_prefix(i + 1);
    return SCAN_ITEM;
  }
  if (first == '(') {
    std::size_t end = copy_parenthesised(text, 0, item);
    if (end == std::string_view::npos) return SCAN_FAIL;
    text.remove_prefix(end);
    return SCAN_ITEM;
  }
  for (i = 0; i < text.size() && text[i] != ',' && text[i] != '\n'; ++i) {
    const char c = text[i];
    if (c == '(') {
      std::size_t end = copy_parenthesised(text, i, item);
      if (end == std::string_view::npos) return SCAN_FAIL;
      text.remove_prefix(end);
      return SCAN_ITEM;
    }
    if (is_blank(c)) {
      // Blanks end the item only when nothing else follows them.
      std::size_t j = i;
      while (j < text.size() && is_blank(text[j])) ++j;
      if (j < text.size() && text[j] != ',' && text[j] != '\n') return SCAN_FAIL;
      text.remove_prefix(j);
      return SCAN_ITEM;
    }
    item.push_back(c);
  }
  text.remove_prefix(i);
  return SCAN_ITEM;
}

// Splits the actual parameter text into m.para_act.
bool read_actual_parameters(Run& run, MacExp& m, std::string_view text) {
  std::string& item = run.macro.item;
  bool after_item = false;
  for (;;) {
    if (m.para_act.size() == kMaxMacroParams) {
      if (only_blanks(text)) break;
      message_set(run, E_TOO_MANY_FORMAL_PARAMS, {}, MSG_ERROR);
      return false;
    }
    const std::string_view at = text;
    const ScanResult r = scan_actual(text, item);
    if (r == SCAN_END) break;
    if (r == SCAN_FAIL) {
      std::size_t blanks = 0;
      while (blanks < at.size() && is_blank(at[blanks])) ++blanks;
      message_set(run, E_ILLEGAL_MACRO_PARAM, at.substr(blanks), MSG_ERROR);
      return false;
    }
    if (r == SCAN_ITEM) {
      m.para_act.push_back(item);
      after_item = true;
    } else {
      // A separator at the start or after another one stands for an empty
      // parameter.
      if (!after_item) m.para_act.emplace_back();
      after_item = false;
    }
  }
  m.act_count = static_cast<int>(m.para_act.size());
  return true;
}

// Reads the formal names from the header's list into m.para_frm.
bool read_formal_parameters(Run& run, MacExp& m, std::string_view list) {
  bool after_name = false;
  for (;;) {
    const std::string_view at = list;
    Token t = token_split(list);
    if (t.text.empty()) break;
    if (after_name && t.text == ",") {
      after_name = false;
      continue;
    }
    if (t.cls == TK_OTHER) {
      message_set(run, E_ILLEGAL_MACRO_PARAM, at.substr(at.size() - list.size() - t.text.size()),
                  MSG_ERROR);
      return false;
    }
    for (const std::string& earlier : m.para_frm) {
      if (earlier == t.text) {
        message_set(run, E_MULTIPLE_DEFINED, t.text, MSG_ERROR);
        return false;
      }
    }
    if (m.para_frm.size() == kMaxMacroParams) {
      message_set(run, E_TOO_MANY_FORMAL_PARAMS, {}, MSG_ERROR);
      return false;
    }
    m.para_frm.emplace_back(t.text);
    after_name = true;
  }
  m.frm_count = static_cast<int>(m.para_frm.size());
  return true;
}

// Undoes a failed start: the record is emptied, and popped when pushed.
void abandon_start(Run& run, MacExp& m, bool pushed) {
  m.para_act.clear();
  m.para_frm.clear();
  m.act_count = 0;
  m.frm_count = 0;
  if (pushed) macexp_pop(run);
}

// Starts the expansion of macro with the actual parameter text actual.
bool macro_expand_start(Run& run, const Symbol& macro, std::string_view actual) {
  MacroEngine& me = run.macro;
  SourceReader& src = run.source;
  Statement& st = run.line.stmt;
  const bool pushed = me.current->state != M_NONE;
  MacExp& m = pushed ? macexp_push(run) : *me.current;
  m.para_act.clear();
  m.para_frm.clear();
  if (!read_actual_parameters(run, m, actual)) {
    abandon_start(run, m, pushed);
    return false;
  }
  const StoredLine& header = *macro.body;
  me.call_line = src.line;
  src.line.assign(header.line_data);
  make_statement(st, src.line);
  std::string_view list = st.text;
  token_split(list);  // the macro name
  token_split(list);  // .MACRO
  if (!read_formal_parameters(run, m, list)) {
    abandon_start(run, m, pushed);
    return false;
  }
  if (m.act_count > m.frm_count)
    message_set(run, W_TOO_MANY_ACTUAL_PARAMS, {}, MSG_WARNING);
  else if (m.act_count < m.frm_count)
    message_set(run, W_ACTUAL_PARAMS_NOT_ENOUGH, {}, MSG_WARNING);
  if (me.mac_exp_cnt >= kMaxMacroExpansions) {
    message_set(run, E_TOO_MANY_MACRO_NESTING, {}, MSG_ERROR);
    abandon_start(run, m, pushed);
    return false;
  }
  me.mac_exp_cnt++;
  m.ret_cursor = me.macro_cursor;
  me.macro_cursor = header.next;
  m.state = M_EXPAND;
  m.caller_file = src.current_file;
  m.caller_line = static_cast<std::int32_t>(src.line_no);
  src.line_no = static_cast<std::uint32_t>(header.line_no);
  src.current_file.assign(header.f_name);
  me.file_switch = m.caller_file != header.f_name;
  return true;
}

// The macro entry named by token, or nullptr.
const Symbol* macro_named(Run& run, const Token& token) {
  if (token.cls != TK_NAME || !run.macro.name_shapes.test(macro_name_shape(token.text)))
    return nullptr;
  const Symbol* entry = run.symbols.find(token.text);
  return entry && entry->kind == S_MACRO ? entry : nullptr;
}

bool forbids_call(const ReservedWord& r) {
  return r.cls == RC_DIRECTIVE || r.cls == RC_CONDITIONAL || (r.code >= 1000 && r.code <= 1112);
}

}  // namespace

bool macro_call(Run& run) {
  MacroEngine& me = run.macro;
  // A line with an error pending is abandoned; it must not start a call
  // whose lines would carry its message.
  if (!me.macro_defined || run.messages.error_pending()) return false;
  std::string_view r1 = run.line.stmt.text;
  const Token t1 = token_split(r1);
  std::string_view r2 = r1;

  bool started = false;
  if (t1.cls == TK_NAME) {
    // Most lines name no macro: the second word is looked at only for a call.
    const Symbol* macro = macro_named(run, t1);
    if (!macro) return false;
    const Token t2 = token_split(r2);
    ReservedWord c2;
    if (t2.cls == TK_NAME) c2 = reserved_find_any_case(run, t2.text);
    if (forbids_call(c2)) {
      message_set(run, E_MULTIPLE_DEFINED, t1.text, MSG_ERROR);
      return false;
    }
    if (c2.cls == RC_MACRO_DIRECTIVE) return false;
    started = macro_expand_start(run, *macro, r1);
  } else if (const Symbol* macro = macro_named(run, token_split(r2))) {
    if (t1.cls != TK_NAME_COLON) {
      message_set(run, E_INVALID_SYMBOL_DEFINITION, t1.text, MSG_ERROR);
      return false;
    }
    // The label goes to the line writer as a line of its own.
    run.writer->write_line(t1.text);
    started = macro_expand_start(run, *macro, r2);
  }
  if (!started) return false;
  const MacExp& m = *me.current;
  line_cntr_write(run, m.caller_line);
  run.writer->write_line(me.call_line);
  if (me.file_switch) run.writer->file_control(run.source.current_file);
  return true;
}

bool macro_expansion_end(Run& run) {
  MacroEngine& me = run.macro;
  SourceReader& src = run.source;
  MacExp& m = *me.current;
  if (!only_blanks(run.line.stmt.operand)) {
    message_set(run, E_OPERAND_NOT_ENOUGH, {}, MSG_ERROR);
    return false;
  }
  local_labels_release(run, m);
  m.para_act.clear();
  m.para_frm.clear();
  m.act_count = 0;
  m.frm_count = 0;
  if (src.current_file != m.caller_file) {
    src.current_file = m.caller_file;
    me.file_switch = true;
  }
  m.caller_file.clear();
  src.line_no = static_cast<std::uint32_t>(m.caller_line);
  me.macro_cursor = m.ret_cursor;
  if (m.before) {
    macexp_pop(run);
  } else {
    m.state = M_NONE;
    m.ret_cursor = nullptr;
  }
  if (!run.settings.list_macro) me.suppress_line = true;
  if (me.mac_exp_cnt > 0)
    me.mac_exp_cnt--;
  else if (run.info.active)
    info_mac_exp_underflow(run.info);
  return true;
}

}  // namespace zrmackv
