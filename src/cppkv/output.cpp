#include "cppkv/output.h"

#include <cstdio>
#include <cstring>

#include "cppkv/reader.h"
#include "cppkv/report.h"
#include "cppkv/run.h"
#include "cppkv/side_outputs.h"

namespace cppkv {

void put_char(Run& run, int c) {
  if (run.sink->put_char(c) < 0) report(run, CLASS_FATAL, M_CANNOT_WRITE_OUTPUT);
}

void put_text(Run& run, std::string_view text) {
  if (run.sink->put_text(text) < 0) report(run, CLASS_FATAL, M_CANNOT_WRITE_OUTPUT);
}

void write_text(Run& run, std::string_view text) {
  for (;;) {
    std::size_t nl = text.find('\n');
    if (nl == std::string_view::npos || nl + 1 == text.size()) {
      put_text(run, text);
      return;
    }
    put_text(run, text.substr(0, nl + 1));
    write_line_control(run, current_line(run));
    text.remove_prefix(nl + 1);
  }
}

void write_blank_lines(Run& run, std::string_view line) {
  std::size_t nl = line.find('\n');
  if (nl == std::string_view::npos) return;
  std::size_t end = nl;
  while (end < line.size() && line[end] == '\n') ++end;
  static const char kNewlines[] = "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n";
  std::size_t count = end - nl;
  while (count > 0) {
    std::size_t k = count < 16 ? count : 16;
    put_text(run, std::string_view(kNewlines, k));
    count -= k;
  }
}

void write_line_control(Run& run, std::uint32_t n) {
  if (!run.settings.line_control) return;
  char head[32];
  std::snprintf(head, sizeof head, "#line %u \"", static_cast<unsigned>(n));
  put_text(run, head);
  for (char c : current_name(run)) put_char(run, c == '\\' ? '/' : static_cast<unsigned char>(c));
  put_text(run, "\"\n");
}

void write_dependency(Run& run, std::string_view path) {
  const std::string& input = run.settings.input_name;
  std::fwrite(input.data(), 1, input.size(), run.out);
  std::fputs(" : ", run.out);
  std::fwrite(path.data(), 1, path.size(), run.out);
  std::fputc('\n', run.out);
  run.dependency_written = true;
  record_opened_file(run, path);
}

}  // namespace cppkv
