#include "zrmackv/line_engine.h"

#include "host/host.h"
#include "host/work_budget.h"
#include "zrmackv/macro_engine.h"
#include "zrmackv/rewrite.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

constexpr std::size_t kMaxJoinedLength = 255;
constexpr std::string_view kMaxLineLengthText = "256";

// Per-line state reset at the start of every line.
void reset_line_state(Run& run) {
  run.messages.code = 0;
  run.messages.argument.clear();
  run.messages.quiet = false;
  run.source.truncated = false;
  run.source.line_position_held = false;
  run.figure.division_by_zero = false;
  run.line.joined = false;
  run.macro.call_line.clear();
}

bool is_defining(int state) { return state == M_DEFINE || state == R_DEFINE; }

void write_line(Run& run) { run.writer->write_line(run.source.line); }

// True when line, without its comment and the blanks before it, ends in two
// backslashes; end is where that text ends.
bool is_continued(std::string_view line, std::size_t& end) {
  // Most lines hold no backslash at all; those need no comment split here.
  if (line.find('\\') == std::string_view::npos) return false;
  end = comment_start(line);
  return end >= 2 && line[end - 1] == '\\' && line[end - 2] == '\\';
}

// Joins the lines that follow a line ending in two backslashes. Comments of
// all but the last physical line are dropped; the joined line never grows
// beyond 255 characters.
void join_continuation_lines(Run& run) {
  std::size_t end;
  if (!is_continued(run.source.line, end)) return;
  LineEngine& le = run.line;
  std::string& joined = le.join_buffer;
  joined.assign(run.source.line, 0, end - 2);
  for (;;) {
    if (!src_getline(run)) break;
    if (run.source.truncated) message_set(run, W_LINE_EXCEEDS, kMaxLineLengthText, MSG_WARNING);
    le.joined = true;
    le.last_line_no = run.source.line_no;
    le.joined_depth = run.source.depth;
    std::string_view next = run.source.line;
    std::size_t blanks = 0;
    while (blanks < next.size() && is_blank(next[blanks])) ++blanks;
    next.remove_prefix(blanks);
    if (joined.size() + next.size() > kMaxJoinedLength) {
      message_set(run, E_SOURCE_LINE_TOO_LONG, {}, MSG_ERROR);
      break;
    }
    joined.append(next);
    if (!is_continued(joined, end)) break;
    joined.resize(end - 2);
  }
  run.source.line.swap(joined);
}

// Recognises a ._LANG statement among the first statements of the run.
// Returns true when the line was one and has been handled.
bool lang_check(Run& run) {
  std::string_view s = run.line.stmt.text;
  constexpr std::string_view kLang = "._LANG";
  std::size_t at = std::string_view::npos;
  for (std::size_t i = 0; i + kLang.size() <= s.size() && at == std::string_view::npos; ++i) {
    std::size_t k = 0;
    while (k < kLang.size()) {
      char c = s[i + k];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (c != kLang[k]) break;
      ++k;
    }
    if (k == kLang.size()) at = i;
  }
  if (at == std::string_view::npos) return false;
  std::size_t p = at + kLang.size();
  if (p >= s.size() || !is_blank(s[p])) return false;
  while (p < s.size() && is_blank(s[p])) ++p;
  std::string_view operand = s.substr(p);
  if (operand.empty() || (operand[0] != '\'' && operand[0] != '"')) {
    message_set(run, E_QUOTE_MISSING, operand, MSG_ERROR);
    return false;
  }
  std::size_t close = operand.find(operand[0], 1);
  if (close == std::string_view::npos) {
    message_set(run, E_RIGHT_QUOTE_MISSING, operand, MSG_ERROR);
    return false;
  }
  std::string_view language = operand.substr(1, close - 1);
  if (language == "C" || language == "c")
    run.line.lang_accepted = true;
  else
    message_set(run, E_ILLEGAL_DIRECTIVE, "._LANG", MSG_ERROR);
  return true;
}

}  // namespace

void line_process(Run& run) {
  LineEngine& le = run.line;
  Statement& st = le.stmt;
  const bool listing = run.settings.listing;

  // Continuation lines and the rewriting steps belong to lines that are not
  // being recorded into a macro or repeat body.
  if (!is_defining(run.macro.current->state)) {
    // One pass tells which steps have anything to do; the common line holds
    // none of their marks. A step that rewrote the line has it looked at
    // again for the steps after it.
    const std::string& line = run.source.line;
    unsigned marks = rewrite_marks(line);
    if (marks & MARK_BACKSLASH) {
      join_continuation_lines(run);
      marks = rewrite_marks(line);
    }
    if ((marks & MARK_QUESTION) && run.conditions.assembling) {
      tmp_label_set(run);
      marks = rewrite_marks(line);
    }
    if (marks & MARK_DOUBLE_DOT) mac_name_set(run);
    define_replace(run);
  }

  make_statement(st, run.source.line);

  if (st.text.empty()) {
    le.first_statement_seen = true;
    int state = run.macro.current->state;
    if (is_defining(state)) macro_define(run);
    if (listing && state != R_DEFINE && !run.messages.error_pending()) write_line(run);
    return;
  }

  if (run.conditions.assembling) {
    int state = run.macro.current->state;
    if (is_defining(state)) {
      if (stmt_scan(run) == RC_MACRO_DIRECTIVE) {
        macro_directive(run);
      } else {
        macro_define(run);
        if (state != R_DEFINE) write_line(run);
      }
      return;
    }
    if (state == M_EXIT || state == R_EXIT) {
      int cls = stmt_scan(run);
      if (cls == RC_MACRO_DIRECTIVE)
        macro_directive(run);
      else if (cls == RC_CONDITIONAL && run.conditions.if_nesting != 0)
        directive_dispatch(run);
      else
        write_line(run);
      return;
    }
  }

  if (!le.first_statement_seen) {
    le.first_statement_seen = true;
    if (lang_check(run)) return;
  }

  if (run.macro.current->state == M_EXPAND) mac_para_chg(run);
  local_label_chg(run);
  string_functions(run);

  concat_remove(run);

  if (run.conditions.assembling && macro_call(run)) return;

  int cls = stmt_scan(run);
  if (run.messages.error_pending()) return;

  if (run.conditions.assembling) {
    if (cls == RC_MNEMONIC && run.settings.patch1) shift_check(run);
    if (cls == RC_DIRECTIVE || cls == RC_CONDITIONAL) {
      directive_dispatch(run);
      return;
    }
    if (cls == RC_MACRO_DIRECTIVE) {
      macro_directive(run);
      return;
    }
    if (st.label_form == LABEL_COLON) label_set(run, st.label);
    if (!run.messages.error_pending()) write_line(run);
    return;
  }

  // Inside a block that is not assembled only conditional directives count.
  if (cls == RC_CONDITIONAL)
    directive_dispatch(run);
  else if (listing)
    write_line(run);
}

bool line_loop(Run& run) {
  SourceReader& src = run.source;
  src.current = src.source_file;
  src.current_file = run.settings.source_name;
  run.directives.listing_on = run.settings.listing;
  for (;;) {
    reset_line_state(run);
    if (!src_getline(run)) return true;
    // A spent work budget (set only by harnesses) ends the run as an
    // interrupt does.
    if (host::interrupt_requested() || !host::spend_work()) return false;
    if (run.info.active) info_line_block(run);
    if (src.truncated) message_set(run, W_LINE_EXCEEDS, kMaxLineLengthText, MSG_WARNING);
    line_process(run);
    message_print(run);
    // A joined line counts as its last physical line, unless the line took
    // the reader into another file.
    if (run.line.joined && src.depth == run.line.joined_depth) src.line_no = run.line.last_line_no;
  }
}

}  // namespace zrmackv
