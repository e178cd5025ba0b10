// Parameter substitution in the lines of a custom macro expansion.
#include "zrmackv/macro_engine.h"
#include "zrmackv/macro_internal.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

constexpr std::size_t kMaxSubstitutedLine = 255;

// Length of the substitution token at text[at]: an optional "." or "..",
// then a run of identifier characters, or a double-quoted run (which never
// matches a name), or a single character. Zero at the end of the text.
std::size_t substitution_token(std::string_view text, std::size_t at, bool& quoted) {
  quoted = false;
  const std::size_t n = text.size();
  std::size_t i = at;
  if (i < n && text[i] == '.') {
    ++i;
    if (i < n && text[i] == '.') ++i;
  }
  if (i < n && is_name_char(text[i])) {
    while (i < n && is_name_char(text[i])) ++i;
    return i - at;
  }
  if (i < n && text[i] == '"') {
    quoted = true;
    std::size_t close = text.find('"', i + 1);
    return (close == std::string_view::npos ? n : close + 1) - at;
  }
  if (i > at) return i - at;  // just the dots
  return i < n ? 1 : 0;
}

// Replaces every token equal to name in text by value, scanning on after
// each inserted text.
void replace_parameter(Run& run, std::string& text, std::string_view name,
                       std::string_view value) {
  if (text.find(name) == std::string::npos) return;  // no token can match
  std::size_t at = 0;
  for (;;) {
    while (at < text.size() && is_blank(text[at])) ++at;
    bool quoted;
    const std::size_t length = substitution_token(text, at, quoted);
    if (length == 0) return;
    if (!quoted && std::string_view(text).substr(at, length) == name) {
      if (text.size() - length + value.size() > kMaxSubstitutedLine) {
        message_set(run, E_SOURCE_LINE_TOO_LONG, {}, MSG_ERROR);
      } else {
        text.replace(at, length, value);
        at += value.size();
        continue;
      }
    }
    at += length;
  }
}

}  // namespace

void substitute_parameters(Run& run, const MacExp& params) {
  Statement& st = run.line.stmt;
  std::string& line = run.source.line;
  for (int i = 0; i < params.frm_count; ++i) {
    std::string_view value = i < params.act_count ? std::string_view(params.para_act[i])
                                                  : std::string_view();
    replace_parameter(run, st.text, params.para_frm[i], value);
  }
  if (run.settings.listing) {
    std::size_t indent = 0;
    while (indent < line.size() && is_blank(line[indent])) ++indent;
    line.resize(indent);
    line.append(st.text).append(st.comment);
  } else {
    line.assign(st.text);
  }
}

void mac_para_chg(Run& run) {
  const MacExp& m = *run.macro.current;
  if (m.state != M_EXPAND || m.frm_count == 0) return;
  if (run.info.active) [[unlikely]] {
    info_mac_para_chg(run.info, m.act_count, m.frm_count);
    substitute_parameters(run, m);
    info_mac_para_chg_done(run.info, run.source.line);
    return;
  }
  substitute_parameters(run, m);
}

}  // namespace zrmackv
