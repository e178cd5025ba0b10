#include "cppkv/directives.h"

#include <cstring>
#include <string>
#include <vector>

#include "cppkv/chars.h"
#include "cppkv/expr.h"
#include "cppkv/macros.h"
#include "cppkv/output.h"
#include "cppkv/reader.h"
#include "cppkv/report.h"
#include "cppkv/run.h"
#include "host/host.h"

namespace cppkv {

namespace {

constexpr std::size_t kMaxCandidateLength = 511;  // include candidates: 512 bytes or more is illegal

struct DirectiveName {
  const char* name;
  std::size_t length;
  DirectiveCode code;
};

// The search order: a name matches when the text starts with it and the
// character after it is not a letter.
constexpr DirectiveName kDirectives[] = {
    {"include", 7, D_INCLUDE}, {"define", 6, D_DEFINE}, {"undef", 5, D_UNDEF},
    {"if", 2, D_IF},           {"ifdef", 5, D_IFDEF},   {"ifndef", 6, D_IFNDEF},
    {"else", 4, D_ELSE},       {"endif", 5, D_ENDIF},   {"elif", 4, D_ELIF},
    {"line", 4, D_LINE},       {"assert", 6, D_ASSERT}, {"pragma", 6, D_PRAGMA},
    {"error", 5, D_ERROR},
};

// One library search per quote kind: find_first_of would look for each
// character of the text in the set with a call of its own.
bool holds_quote(std::string_view text) {
  return !text.empty() && (std::memchr(text.data(), '"', text.size()) != nullptr ||
         std::memchr(text.data(), '\'', text.size()) != nullptr);
}

bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// True when only white space follows position i.
bool only_white_after(std::string_view t, std::size_t i) {
  for (; i < t.size(); ++i)
    if (!is_white(t[i])) return false;
  return true;
}

// One level of conditional nesting.
struct Level {
  std::uint32_t depth;
  bool in_group;
  int branch_state;  // 0: no further branch may be taken; 2: none taken yet
  bool active;
};

class Engine {
 public:
  explicit Engine(Run& run) : run_(run), line_(kLineBufferSize) {}

  void run_input();

 private:
  void process_line(std::string_view text);
  void open_group(bool evaluated, std::int32_t value);
  void do_include(std::string_view text, std::size_t pos);
  bool try_candidates(const std::vector<std::string>& candidates, std::string_view written);
  bool do_line(std::string_view text, std::size_t pos);
  void do_error(std::string_view text, std::size_t pos);
  void do_define(std::string_view text, std::size_t pos);
  void do_undef(std::string_view text, std::size_t pos);
  bool read_ifdef_operand(std::string_view text, std::size_t pos, bool& defined);
  void garbage_check(std::string_view text, std::size_t pos);
  bool evaluate_with_escapes(std::string_view text, std::size_t pos, std::int32_t& value);

  Level& level() { return levels_.back(); }

  Run& run_;
  LineBuffer line_;
  std::vector<Level> levels_;  // the conditional levels, innermost last
};

void Engine::run_input() {
  levels_.push_back(Level{0, false, 0, true});
  for (;;) {
    if (!read_logical_line(run_, line_)) {
      const bool main_file = run_.reader.index == 0;
      if (main_file && level().depth > 0) run_.endif_missing = true;
      check_end_of_file_state(run_);
      if (main_file) return;  // every open level ends with the main input
      close_source(run_);
      write_line_control(run_, current_line(run_) + 1);
      continue;
    }
    clean_line(run_, line_);
    process_line(line_.view());
  }
}

void Engine::open_group(bool evaluated, std::int32_t value) {
  const std::uint32_t depth = level().depth + 1;
  if (!level().active) {
    levels_.push_back(Level{depth, true, 0, false});
  } else if (!evaluated) {
    report(run_, CLASS_ERROR, M_ILLEGAL_OPERATION);
  } else if (value != 0) {
    levels_.push_back(Level{depth, true, 0, true});
  } else {
    levels_.push_back(Level{depth, true, 2, false});
  }
}

// #if and #elif: escape sequences are converted first; only a line with a
// quote in it can hold one.
bool Engine::evaluate_with_escapes(std::string_view text, std::size_t pos, std::int32_t& value) {
  if (!holds_quote(text))
    return evaluate_condition(run_, text.substr(pos), value);
  std::string copy(text);
  convert_escapes(run_, copy);
  return evaluate_condition(run_, std::string_view(copy).substr(pos), value);
}

void Engine::garbage_check(std::string_view text, std::size_t pos) {
  if (!only_white_after(text, pos)) report(run_, CLASS_WARNING, M_GARBAGE_ARGUMENT);
}

void Engine::process_line(std::string_view text) {
  std::size_t pos = 0;
  const DirectiveCode code = classify_line(run_, text, pos);
  const bool active = level().active;

  switch (code) {
    case D_TEXT:
      if (active)
        expand_text_line(run_, text);
      else
        write_blank_lines(run_, text);
      return;
    case D_NULL:
      if (active)
        write_text(run_, text);
      else
        write_blank_lines(run_, text);
      return;
    case D_PRAGMA: {
      std::size_t i = skip_blanks(text, pos);
      std::size_t end = i;
      while (end < text.size() && is_id_char(text[end])) ++end;
      std::string_view word = text.substr(i, end - i);
      std::size_t rest = skip_blanks(text, end);
      bool alone = rest == text.size() || text[rest] == '\n';
      if (alone && word == "ASM") run_.asm_block = true;
      if (alone && word == "ENDASM") run_.asm_block = false;
      if (active)
        write_text(run_, text);
      else
        write_blank_lines(run_, text);
      return;
    }
    case D_LINE:
      if (active && do_line(text, pos)) {
        write_line_control(run_, current_line(run_));
        return;
      }
      write_blank_lines(run_, text);
      return;
    default:
      break;
  }

  write_blank_lines(run_, text);
  switch (code) {
    case D_INCLUDE:
      if (active) do_include(text, pos);
      break;
    case D_DEFINE:
      if (active) do_define(text, pos);
      break;
    case D_UNDEF:
      if (active) do_undef(text, pos);
      break;
    case D_IF: {
      std::int32_t value = 0;
      bool ok = evaluate_with_escapes(text, pos, value);
      open_group(ok, value);
      break;
    }
    case D_IFDEF:
    case D_IFNDEF: {
      bool defined = false;
      bool ok = read_ifdef_operand(text, pos, defined);
      if (!level().active) {
        open_group(ok, 0);
      } else if (!ok) {
        report(run_, CLASS_ERROR, M_ILLEGAL_IFDEF_USAGE);
      } else {
        open_group(true, defined == (code == D_IFDEF) ? 1 : 0);
      }
      break;
    }
    case D_ELIF: {
      std::int32_t value = 0;
      bool ok = evaluate_with_escapes(text, pos, value);
      Level& l = level();
      if (!l.in_group) {
        report(run_, CLASS_ERROR, M_ELIF_ELSE_SEQUENCE_ERROR);
      } else if (!ok) {
        report(run_, CLASS_ERROR, M_ILLEGAL_OPERATION);
      } else {
        l.active = false;
        if (l.branch_state == 2 && value != 0) {
          l.branch_state = 0;
          l.active = true;
        }
      }
      break;
    }
    case D_ELSE: {
      garbage_check(text, pos);
      Level& l = level();
      if (!l.in_group) {
        report(run_, CLASS_ERROR, M_ELIF_ELSE_SEQUENCE_ERROR);
      } else {
        l.in_group = false;
        l.active = false;
        if (l.branch_state == 2) {
          l.branch_state = 0;
          l.active = true;
        }
      }
      break;
    }
    case D_ENDIF:
      garbage_check(text, pos);
      if (level().depth > 0)
        levels_.pop_back();
      else
        report(run_, CLASS_ERROR, M_ENDIF_SEQUENCE_ERROR);
      break;
    case D_ASSERT: {
      std::int32_t value = 0;
      bool ok = evaluate_condition(run_, text.substr(pos), value);
      if (active) {
        if (!ok)
          report(run_, CLASS_ERROR, M_ILLEGAL_OPERATION);
        else if (value == 0)
          report(run_, CLASS_WARNING, M_ASSERTION_WARNING);
      }
      break;
    }
    case D_ERROR:
      if (active) do_error(text, pos);
      break;
    default:
      break;
  }
}

// #ifdef / #ifndef operand: an identifier, then only white space ("garbage
// argument" otherwise). false when there is no identifier.
bool Engine::read_ifdef_operand(std::string_view text, std::size_t pos, bool& defined) {
  std::size_t i = skip_blanks(text, pos);
  std::size_t end = identifier_end(text, i);
  if (end == i) return false;
  garbage_check(text, end);
  defined = is_defined(run_, text.substr(i, end - i));
  return true;
}

void Engine::do_include(std::string_view text, std::size_t pos) {
  std::string operand(text.substr(skip_blanks(text, pos)));
  if (!operand.empty() && is_id_start(operand[0])) expand_identifier_in_place(run_, operand, 0);

  bool bracketed;
  std::string name;
  if (!operand.empty() && (operand[0] == '"' || operand[0] == '<')) {
    bracketed = operand[0] == '<';
    const char close = bracketed ? '>' : '"';
    std::size_t end = 1;
    while (end < operand.size() && operand[end] != close && operand[end] != '\n') ++end;
    name = operand.substr(1, end - 1);
    if (bracketed && (end >= operand.size() || operand[end] != close))
      report(run_, CLASS_ERROR, M_ILLEGAL_FILE_NAME);
  } else {
    report(run_, CLASS_ERROR, M_INCLUDE_FILE_ERROR);
    return;
  }
  // A name is text up to its first NUL byte, as the file system sees it.
  std::string written = name.substr(0, name.find('\0'));
  if (written.empty()) {
    report(run_, CLASS_ERROR, M_ILLEGAL_FILE_NAME);
    return;
  }

  std::string converted = written;
  for (char& c : converted)
    if (c == '/') c = '\\';

  std::vector<std::string> candidates;
  if (host::is_separator(written[0])) {
    candidates.push_back(converted);
  } else {
    if (!bracketed) {
      std::string_view current = current_name(run_);
      std::size_t sep = host::last_separator(current);
      std::string dir = sep == std::string_view::npos ? std::string() : std::string(current.substr(0, sep + 1));
      candidates.push_back(dir + converted);
    }
    for (const std::string& dir : run_.settings.include_dirs) candidates.push_back(dir + converted);
    std::string_view path = run_.settings.system_include_path;
    while (!path.empty()) {
      std::size_t semi = path.find(';');
      std::string_view dir = path.substr(0, semi);
      path = semi == std::string_view::npos ? std::string_view() : path.substr(semi + 1);
      if (dir.empty()) continue;
      std::string d(dir);
      if (!host::is_separator(d.back())) d += '\\';
      candidates.push_back(d + converted);
    }
  }
  for (std::string& c : candidates)
    for (char& ch : c)
      if (ch == '/') ch = '\\';
  try_candidates(candidates, written);
}

bool Engine::try_candidates(const std::vector<std::string>& candidates, std::string_view written) {
  for (const std::string& candidate : candidates) {
    if (candidate.size() > kMaxCandidateLength) {
      report(run_, CLASS_ERROR, M_ILLEGAL_FILE_NAME);
      return false;
    }
    switch (open_source(run_, candidate)) {
      case OpenResult::Ok:
        write_line_control(run_, 1);
        return true;
      case OpenResult::NestingOver:
        report(run_, CLASS_ERROR, M_INCLUDE_NESTING_OVER);
        return false;
      case OpenResult::NotFound:
        break;
    }
  }
  report(run_, CLASS_ERROR, M_INCLUDE_NOT_FOUND, written);
  return false;
}

// #line number ["name"]; false (after the message) when malformed.
bool Engine::do_line(std::string_view text, std::size_t pos) {
  std::string operand(text.substr(pos));
  std::size_t i = skip_blanks(operand, 0);
  if (i < operand.size() && !is_digit(operand[i]) && is_id_start(operand[i]))
    expand_identifier_in_place(run_, operand, i);
  i = skip_blanks(operand, i);
  if (i >= operand.size() || !is_digit(operand[i])) {
    report(run_, CLASS_ERROR, M_ILLEGAL_LINE_USAGE);
    return false;
  }
  std::uint32_t number = 0;
  while (i < operand.size() && is_digit(operand[i]))
    number = number * 10 + static_cast<std::uint32_t>(operand[i++] - '0');
  i = skip_blanks(operand, i);
  if (i < operand.size() && is_id_start(operand[i])) {
    expand_identifier_in_place(run_, operand, i);
    i = skip_blanks(operand, i);
  }
  bool has_name = false;
  std::string name;
  if (i >= operand.size() || operand[i] == '\n') {
    // the line ends after the number
  } else if (operand[i] == '"') {
    std::size_t end = i + 1;
    while (end < operand.size() && operand[end] != '"' && operand[end] != '\n') ++end;
    name = operand.substr(i + 1, end - i - 1);
    name.resize(std::strlen(name.c_str()));  // up to a NUL byte
    has_name = true;
  } else {
    report(run_, CLASS_ERROR, M_ILLEGAL_LINE_USAGE);
    return false;
  }
  if (has_name) set_name(run_, name);
  set_line(run_, number);
  return true;
}

void Engine::do_error(std::string_view text, std::size_t pos) {
  std::size_t i = skip_blanks(text, pos);
  std::string message;
  message.reserve(text.size() - i);
  while (i < text.size()) {
    char c = text[i];
    if (c == '"' || c == '\'') {
      std::size_t end = text.find(c, i + 1);
      end = end == std::string_view::npos ? text.size() : end + 1;
      message.append(text.substr(i, end - i));
      i = end;
      continue;
    }
    if (c != '#') message.push_back(c);
    ++i;
  }
  std::string expanded;
  expand_text(run_, message, expanded);
  report_error_directive(run_, expanded);
}

void Engine::do_define(std::string_view text, std::size_t pos) { define_directive(run_, text.substr(pos)); }

void Engine::do_undef(std::string_view text, std::size_t pos) {
  std::size_t i = skip_blanks(text, pos);
  std::size_t end = identifier_end(text, i);
  if (end == i) {
    report(run_, CLASS_ERROR, M_ILLEGAL_UNDEF_USAGE);
    return;
  }
  garbage_check(text, end);
  undefine_macro(run_, text.substr(i, end - i));
}

}  // namespace

DirectiveCode classify_line(Run& run, std::string_view line, std::size_t& pos) {
  std::size_t i = skip_blanks(line, 0);
  if (i >= line.size() || line[i] != '#') {
    pos = 0;
    return D_TEXT;
  }
  i = skip_blanks(line, i + 1);
  if (i >= line.size() || line[i] == '\n') {
    pos = i;
    return D_NULL;
  }
  std::string_view rest = line.substr(i);
  // A name matches when the letters that start the rest are exactly it
  // (what follows it is no letter); every name is letters only, so only
  // names of that many letters need comparing.
  std::size_t letters = 0;
  while (letters < rest.size() && is_letter(rest[letters])) ++letters;
  for (const DirectiveName& d : kDirectives) {
    if (d.length == letters && std::memcmp(rest.data(), d.name, d.length) == 0) {
      pos = i + d.length;
      return d.code;
    }
  }
  report(run, CLASS_ERROR, M_UNKNOWN_PREPROCESS_COMMAND);
  pos = 0;
  return D_TEXT;
}

void process_input(Run& run) {
  Engine engine(run);
  engine.run_input();
}

}  // namespace cppkv
