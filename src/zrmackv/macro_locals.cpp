// Local labels: .LOCAL declares names of the current expansion, and every
// line of the expansion gets them replaced by names unique in the run.
#include <cstdio>

#include "zrmackv/macro_engine.h"
#include "zrmackv/macro_internal.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

const LocalLabel* find_local(const MacExp& m, std::string_view name) {
  for (const LocalLabel& l : m.locals)
    if (l.name == name) return &l;
  return nullptr;
}

// Appends the generated name of a local label: "..ml" and four upper-case
// hexadecimal digits.
void append_generated_name(std::string& out, std::uint32_t number) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "..ml%04X", static_cast<unsigned>(number));
  out.append(buffer);
}

}  // namespace

void local_directive(Run& run) {
  MacroEngine& me = run.macro;
  MacExp& m = *me.current;
  if (m.state == M_EXIT || m.state == R_EXIT) return;
  if (m.state != M_EXPAND) {
    message_set(run, E_MACRO_MISSING_FOR_LOCAL, {}, MSG_ERROR);
    return;
  }
  std::string_view list = run.line.stmt.operand;
  Token t = token_split(list);
  while (t.cls == TK_NAME) {
    if (is_reserved(run, t.text)) {
      message_set(run, E_RESERVED_WORD_USED, t.text, MSG_ERROR);
      return;
    }
    if (find_local(m, t.text)) {
      message_set(run, E_MULTIPLE_DEFINED, t.text, MSG_ERROR);
      return;
    }
    // The count stops one past the limit: every later name fails the same
    // way, and the count can never wrap round to numbers handed out before.
    if (me.local_label_count <= kMaxLocalLabels) me.local_label_count++;
    if (me.local_label_count > kMaxLocalLabels)
      message_set(run, E_TOO_MANY_LOCAL_LABELS, {}, MSG_ERROR);
    else
      m.locals.push_back({std::string(t.text), me.local_label_count});
    const Token separator = token_split(list);
    if (separator.text.empty()) return;
    if (separator.text != ",") {
      message_set(run, E_NO_SEMICOLON, separator.text, MSG_ERROR);
      return;
    }
    t = token_split(list);
  }
}

void local_label_chg(Run& run) {
  MacroEngine& me = run.macro;
  const MacExp& m = *me.current;
  std::string& line = run.source.line;
  if (m.locals.empty() || line.empty()) return;
  bool named = false;
  for (const LocalLabel& l : m.locals) named = named || line.find(l.name) != std::string::npos;
  // Without any of the names the rebuilt line would be the line itself;
  // only the statement is taken again.
  if (!named) {
    make_statement(run.line.stmt, line);
    return;
  }
  std::string& out = me.work;
  out.clear();
  std::string_view rest = line;
  for (;;) {
    std::size_t blanks = 0;
    while (blanks < rest.size() && is_blank(rest[blanks])) ++blanks;
    out.append(rest.substr(0, blanks));
    rest.remove_prefix(blanks);
    if (rest.empty() || rest[0] == ';') break;
    const Token t = token_split(rest);
    const bool colon = t.cls == TK_NAME_COLON;
    const LocalLabel* local = nullptr;
    if (t.cls == TK_NAME || colon)
      local = find_local(m, colon ? t.text.substr(0, t.text.size() - 1) : t.text);
    if (!local) {
      out.append(t.text);
      continue;
    }
    append_generated_name(out, local->number);
    if (colon) out.push_back(':');
  }
  out.append(rest);
  line.swap(out);
  make_statement(run.line.stmt, line);
}

}  // namespace zrmackv
