#include "zrmackv/include.h"

#include "host/host.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

std::string_view skip_blanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  return text.substr(i);
}

// Length of the word at the front of text: up to a blank, a tab or the end.
std::size_t word_length(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && !is_blank(text[i])) ++i;
  return i;
}

// Opens path for reading unless it is longer than a path may be (the reader
// refuses a folder itself).
std::FILE* try_open(Run& run, std::string_view path) {
  if (path.size() > kMaxPathLength) return nullptr;
  int state = FILE_NEVER_OPENED;
  return src_fopen(run, path, "r", state);
}

// The statement's line goes to the line writer unchanged.
void pass_on(Run& run) { run.writer->write_line(run.source.line); }

// Writes message and a line end into the assertion file path; "Can't open"
// or "Can't write" when that fails.
void write_assert_file(Run& run, const std::string& path, std::string_view message, bool append) {
  int state = FILE_NEVER_OPENED;
  if (run.info.active) info_assert_file(run.info, path, append);
  std::FILE* file =
      path.size() > kMaxPathLength ? nullptr : src_fopen(run, path, append ? "a" : "w", state);
  if (!file) {
    message_set(run, E_CANT_OPEN_ASSERT_FILE, path, MSG_ERROR);
    return;
  }
  bool written = std::fwrite(message.data(), 1, message.size(), file) == message.size();
  written = std::fputc('\n', file) != EOF && written;
  written = std::fflush(file) == 0 && written;
  src_fclose(run, file, state);
  if (!written) message_set(run, E_CANT_WRITE_ASSERT_FILE, path, MSG_ERROR);
}

}  // namespace

std::FILE* include_open(Run& run, std::string_view name, std::string& path) {
  const Settings& s = run.settings;
  std::FILE* file = nullptr;
  enum Try { AS_WRITTEN, OPTION_DIRECTORY, ENVIRONMENT_DIRECTORY };
  auto attempt = [&](std::string_view directory, std::string_view separator, Try kind) {
    if (file) return;
    path.assign(directory).append(separator).append(name);
    if (run.info.active) {
      if (kind == AS_WRITTEN) info_include_try(run.info, path, name);
      else if (kind == OPTION_DIRECTORY) info_include_try_option(run.info, path);
      else info_include_try_environment(run.info, path);
    }
    file = try_open(run, path);
  };
  if (host::is_absolute(name)) {
    attempt({}, {}, AS_WRITTEN);
  } else {
    // The main source's directory, even for an include inside an include
    // file that lies elsewhere.
    attempt(s.in_dir, s.in_dir.empty() ? "" : "\\", AS_WRITTEN);
    if (!s.include_dir.empty()) attempt(s.include_dir, {}, OPTION_DIRECTORY);
    for (const std::string& directory : s.include_paths)
      attempt(directory, {}, ENVIRONMENT_DIRECTORY);
  }
  if (file) {
    run.dependencies.push_back(path);
    info_mem_alloc(run, &run.dependencies[run.dependencies.size() - 1], path.size() + 1);
  }
  return file;
}

void include_directive(Run& run) {
  std::string_view operand = skip_blanks(run.line.stmt.operand);
  // The name as written, up to a blank: quotes are part of it.
  const std::string_view name = operand.substr(0, word_length(operand));
  const std::string_view rest = skip_blanks(operand.substr(name.size()));
  if (!rest.empty()) {
    message_set(run, E_NO_SEMICOLON, rest, MSG_ERROR);
    return;
  }
  if (run.source.depth >= kMaxIncludeDepth) {
    message_set(run, E_INCLUDE_NESTING_OVER, name, MSG_ERROR);
    return;
  }
  if (name == run.source.current_file) {
    message_set(run, E_INCLUDE_ITSELF, name, MSG_ERROR);
    return;
  }
  std::string path;
  std::FILE* file = include_open(run, name, path);
  if (!file) {
    message_set(run, E_CANT_OPEN_INCLUDE, name, MSG_ERROR);
    return;
  }
  src_include_push(run, file, path);
  if (run.settings.listing) {
    pass_on(run);
    run.writer->file_control(run.source.current_file);
  }
}

void assert_directive(Run& run) {
  std::string_view operand = skip_blanks(run.line.stmt.operand);
  if (operand.empty() || (operand[0] != '"' && operand[0] != '\'')) {
    message_set(run, E_QUOTE_MISSING, operand, MSG_ERROR);
    return;
  }
  // Up to the same quote; there is no escape.
  const std::size_t close = operand.find(operand[0], 1);
  if (close == std::string_view::npos) {
    message_set(run, E_RIGHT_QUOTE_MISSING, operand, MSG_ERROR);
    return;
  }
  const std::string_view message = operand.substr(1, close - 1);
  std::string_view rest = skip_blanks(operand.substr(close + 1));
  if (rest.empty()) {
    std::fwrite(message.data(), 1, message.size(), run.out);
    std::fputc('\n', run.out);
    pass_on(run);
    return;
  }
  if (rest[0] != '>') {
    message_set(run, E_ILLEGAL_OPERAND, rest, MSG_ERROR);
    return;
  }
  const bool append = rest.size() > 1 && rest[1] == '>';
  rest = skip_blanks(rest.substr(append ? 2 : 1));
  const std::string_view name = rest.substr(0, word_length(rest));
  const std::string_view after = skip_blanks(rest.substr(name.size()));
  if (!after.empty()) {
    message_set(run, E_NO_SEMICOLON, after, MSG_ERROR);
    return;
  }
  // A bare file name goes into the "-o" directory.
  std::string path;
  if (run.settings.out_dir_given && host::last_separator(name) == std::string_view::npos)
    path.assign(run.settings.out_dir).append("\\");
  path.append(name);
  write_assert_file(run, path, message, append);
  pass_on(run);
}

}  // namespace zrmackv
