#include "cppkv/report.h"

#include <cstdio>
#include <string>

#include "cppkv/reader.h"
#include "cppkv/run.h"
#include "host/host.h"

namespace cppkv {

namespace {

struct MessageEntry {
  int number;
  const char* text;
  bool with_name;  // a quoted name follows the text
};

constexpr MessageEntry kMessages[] = {
    {1, "illegal command option", false},
    {11, "cannot open input file", true},
    {12, "cannot close input file", false},
    {16, "cannot write output file", false},
    {17, "input file name buffer overflow", false},
    {18, "not enough memory for macro identifier", false},
    {20, "cannot open tag file", false},
    {21, "include file not found", true},
    {22, "illegal file name error", false},
    {23, "include file nesting over", false},
    {25, "illegal identifier", false},
    {26, "illegal operation", false},
    {27, "macro argument error", false},
    {28, "input buffer over flow", false},
    {29, "EOF in comment", false},
    {31, "EOF in preprocess command", false},
    {32, "unknown preprocess command", false},
    {33, "new_line in string", false},
    {34, "string literal out of range 509 character", false},
    {35, "macro replace nesting over", false},
    {41, "include file error", false},
    {43, "illegal id name", false},
    {44, "token buffer over flow", false},
    {45, "illegal undef command usage", false},
    {52, "illegal ifdef/ifndef command usage", false},
    {53, "elif/else sequence error", false},
    {54, "endif not exist", false},
    {55, "endif sequence error", false},
    {61, "illegal line command usage", false},
    {81, "reserved id used", false},
    {82, "assertion warning", false},
    {83, "garbage argument", false},
    {84, "escape sequence out of range for character", false},
    {85, "redefined", true},
    {86, "zero divide", false},
    {87, "/* within comment", false},
    {88, "Environment variable 'WBKIN' must be \"SJIS\" or  \"EUC\"", false},
    {98, "Internal error", false},
    {99, "Internal error", false},
};

const MessageEntry* find_message(int id) {
  for (const MessageEntry& m : kMessages)
    if (m.number == id) return &m;
  return nullptr;
}

void write(std::FILE* f, std::string_view text) { std::fwrite(text.data(), 1, text.size(), f); }

// The console line of one message, built in head (the run's work area, so
// that a source full of errors costs no allocation per message).
void write_console(std::FILE* f, const char* label, const MessageEntry& m, std::string_view file,
                   std::uint32_t line, std::string_view name, std::string& head) {
  bool with_file = !file.empty() || m.number == M_REDEFINED;
  head.clear();
  head += '[';
  head += label;
  head += "(cppkv.";
  head += std::to_string(m.number);
  head += ")";
  if (with_file) {
    head += ":";
    head.append(file);
    head += ", line ";
    head += std::to_string(static_cast<int>(line));
  }
  head += "] ";
  head += m.text;
  if (m.with_name) {
    head += " '";
    head.append(name);
    head += "'";
  }
  head += "\n";
  write(f, head);
}

// The side-file record of one message.
void side_record(const char* label, const MessageEntry& m, std::string_view file, std::uint32_t line,
                 std::string_view name, std::string& rec) {
  bool with_file = !file.empty() || m.number == M_REDEFINED;
  rec.clear();
  if (with_file) {
    rec.append(file);
    rec += " ";
    rec += std::to_string(static_cast<int>(line));
  }
  rec += " ";
  rec += label;
  rec += " (cppkv.";
  rec += std::to_string(m.number);
  rec += "): ";
  rec += m.text;
  if (m.with_name) {
    rec += " '";
    rec.append(name);
    rec += "'";
  }
  rec += "\n";
}

// Appends one record to the side file, if one is named: "w" for the first
// record of a tag file, "a" otherwise. A side file that cannot be opened or
// written is forgotten and reported as "cannot open tag file" (fatal).
void write_side_file(Run& run, std::string_view record) {
  Settings& s = run.settings;
  if (!s.side_file_name) return;
  const char* mode = "a";
  if (s.tag_mode && run.side_file_first_open) {
    mode = "w";
    run.side_file_first_open = false;
  }
  std::FILE* f = host::open_file(*s.side_file_name, mode);
  bool written = false;
  if (f) {
    write(f, record);
    written = !std::ferror(f);
    written = std::fclose(f) == 0 && written;
  }
  // A side file that cannot be opened or written (a full disk) must not lose
  // its records in silence.
  if (!written) {
    s.side_file_name.reset();
    report(run, CLASS_FATAL, M_CANNOT_OPEN_TAG_FILE);
  }
}

}  // namespace

const char* message_text(int id) {
  const MessageEntry* m = find_message(id);
  return m ? m->text : nullptr;
}

void report(Run& run, int message_class, int id, std::string_view name) {
  const MessageEntry* m = find_message(id);
  if (!m) {
    m = find_message(M_INTERNAL_ERROR_99);
    message_class = CLASS_INTERNAL;
  } else if (id == M_INTERNAL_ERROR_98 || id == M_INTERNAL_ERROR_99) {
    message_class = CLASS_INTERNAL;
  }
  if (message_class == CLASS_ERROR) run.error_flag = true;
  if (message_class == CLASS_WARNING) run.warning_flag = true;

  const std::string file(current_name(run));
  const std::uint32_t line = current_line(run);
  const char* label = message_class == CLASS_WARNING ? "Warning" : "Error";
  write_console(run.settings.message_stream, label, *m, file, line, name, run.report_text);
  if (run.settings.side_file_name) {
    side_record(label, *m, file, line, name, run.report_text);
    write_side_file(run, run.report_text);
  }

  switch (message_class) {
    case CLASS_COMMAND: throw FatalStop{2};
    case CLASS_FATAL: throw FatalStop{3};
    case CLASS_INTERNAL: throw FatalStop{4};
    default: return;
  }
}

void report_error_directive(Run& run, std::string_view text) {
  std::string rec(current_name(run));
  rec += " ";
  rec += std::to_string(static_cast<int>(current_line(run)));
  rec += " Error ";
  rec.append(text);
  rec += "\n";
  write(run.settings.message_stream, rec);
  write_side_file(run, rec);
  throw FatalStop{2};
}

}  // namespace cppkv
