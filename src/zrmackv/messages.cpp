#include "zrmackv/messages.h"

#include <array>

#include "zrmackv/run.h"

namespace zrmackv {

namespace {

constexpr const char* kProgramName = "zrmackv";

// Fatal table, indexed by code.
constexpr std::array<const char*, 11> kFatalTexts = {
    "",
    "No input files specified\n",
    "Invarid option '%s' is used\n",
    "Ignore option '%s'\n",
    "Not enough memory\n",
    "Too many souce files\n",
    "Can't open file '%s'\n",
    "Can't create Temporary file\n",
    "Can't write file '%s'\n",
    "Can't create file '%s'\n",
    "Command line is too long\n",
};

// Catalogue of errors (entry = code) and warnings (entry = code + 1).
constexpr std::array<const char*, 61> kCatalogue = {
    "",
    "",
    "Too many actual macro parameters\n",
    "Actual macro parameters are not enough\n",
    "String '%s' is too long\n",
    "Symbol '%s' is not defined ( regarded as 0 )\n",
    "Unnecessary ':' is found\n",
    "Source line exceeds %s characters\n",
    ".END statement is in include file\n",
    "",
    "",
    "No .END statement\n",
    "Value is out of range\n",
    "Illegal operand is used\n",
    "Illegal directive command is used\n",
    "Invalid label definition\n",
    "No ';' at the top of comment\n",
    "Invalid symbol definition\n",
    "Include nesting over\n",
    "Can't open include file '%s'\n",
    "Can't open '.ASSERT' message file '%s'\n",
    "Can't write '.ASSERT' message file '%s'\n",
    "Including the include file in itself\n",
    "Too many macro nesting\n",
    "Too many macro local label definition\n",
    "Operand number is not enough\n",
    "Reserved word is used as label or symbol\n",
    "')' is missing\n",
    "'.IF' is missing for '.ELSE'\n",
    "'.IF' is missing for '.ELIF'\n",
    "'.IF' is missing for '.ENDIF'\n",
    "'.MACRO' is missing for '.ENDM'\n",
    "'.MREPEAT' is missing for '.ENDR'\n",
    "'.MACRO' or '.MREPEAT' is missing for '.EXITM'\n",
    "No macro name\n",
    "Symbol is multiple defined\n",
    "Too many formal parameter\n",
    "Illegal macro parameter\n",
    "Source line is too long\n",
    "'.MACRO' is missing for '.LOCAL'\n",
    "Too many nesting level of condition assemble\n",
    "No '.ENDM' statement\n",
    "No '.ENDR' statement\n",
    "Symbol is undefined\n",
    "No .ENDIF statement\n",
    "Division by zero\n",
    "Quote is missing\n",
    "Right quote is missing\n",
    "'{' is missing\n",
    "The value is not constant\n",
    "Too many temporary label\n",
    "Temporary label is undefined\n",
    "Syntax error in expression '%s'\n",
    "Symbol is expected\n",
    "Illegal macro statements\n",
    "Invalid reserved word exist in operand\n",
    "Symbol has already defined as another type\n",
    "Symbol is missing\n",
    "Invalid bit-symbol exist\n",
    "Operand expression is not completed\n",
    "",
};

const char* template_for(int code, int cls) {
  if (cls == MSG_FATAL || cls == MSG_SETUP_FATAL)
    return code >= 0 && code < static_cast<int>(kFatalTexts.size()) ? kFatalTexts[code] : "";
  int entry = cls == MSG_WARNING ? code + 1 : code;
  return entry >= 0 && entry < static_cast<int>(kCatalogue.size()) ? kCatalogue[entry] : "";
}

bool is_fatal(int cls) { return cls == MSG_FATAL || cls == MSG_SETUP_FATAL; }

// A record that cannot be written to the tag file (a full disk) must not be
// lost in silence: the run ends as it does when standard output fails.
[[noreturn]] void tag_write_failed(Run& run) {
  src_fclose(run, run.files.tag, run.files.tag_state);  // no record goes there any more
  fatal_stop(run, F_CANT_WRITE, run.settings.mac_tag);
}

}  // namespace

std::string message_text(int code, int cls, std::string_view argument) {
  std::string_view text = template_for(code, cls);
  std::string result;
  std::size_t mark = text.find("%s");
  if (mark == std::string_view::npos) return std::string(text);
  result.reserve(text.size() + argument.size());
  result.append(text.substr(0, mark)).append(argument).append(text.substr(mark + 2));
  return result;
}

void message_set(Run& run, int code, std::string_view argument, int cls, RaisingPlace where) {
  Messages& m = run.messages;
  if (run.info.active && (cls == MSG_FATAL || cls == MSG_ERROR))
    info_message(run.info, where, message_text(code, cls, argument));
  if (m.quiet) return;
  int state = run.macro.current->state;
  if ((state == M_DEFINE || state == R_DEFINE) && code != E_TOO_MANY_MACRO_NESTING &&
      code != W_LINE_EXCEEDS)
    return;
  if (code < 10 && m.code >= 10) return;  // a warning never displaces an error
  m.code = static_cast<std::uint16_t>(code);
  m.argument.assign(argument);
  m.cls = cls;
}

void message_print(Run& run) {
  Messages& m = run.messages;
  if (m.code == 0) return;
  std::fputs("\n", run.out);
  std::fflush(run.out);

  if (is_fatal(m.cls)) {
    int exit_code = m.cls == MSG_FATAL ? 2 : 4;
    std::fprintf(run.out, "Error (%s): %s", kProgramName,
                 message_text(m.code, m.cls, m.argument).c_str());
    std::fflush(run.out);
    m.error_count++;
    m.code = 0;
    info_close(run);  // the output and tag files are kept
    throw FatalStop{exit_code};
  }

  // The parameter-count warnings point at the macro call.
  const SourceReader& src = run.source;
  std::string_view file = src.line_position_held ? src.held_file : src.current_file;
  unsigned long line = src.line_position_held ? src.held_line : src.line_no;
  if (m.cls == MSG_WARNING &&
      (m.code == W_TOO_MANY_ACTUAL_PARAMS || m.code == W_ACTUAL_PARAMS_NOT_ENOUGH)) {
    file = run.macro.current->caller_file;
    line = static_cast<unsigned long>(static_cast<long>(run.macro.current->caller_line));
  }
  if (m.cls == MSG_WARNING)
    m.warning_count++;
  else
    m.error_count++;

  std::string header(file);
  header += ' ';
  header += std::to_string(static_cast<long>(line));
  header += m.cls == MSG_WARNING ? " Warning (" : " Error (";
  header += kProgramName;
  header += "): ";
  std::string text = message_text(m.code, m.cls, m.argument);
  std::fputs(header.c_str(), run.out);
  std::fputs(text.c_str(), run.out);

  if (run.settings.listing && run.files.output) {
    if (!run.end_executed && !run.end_checks_begun && m.code >= 7) {
      // A macro call's line buffer holds the macro header by now.
      const std::string& line =
          run.macro.call_line.empty() ? run.source.line : run.macro.call_line;
      std::fputs(line.c_str(), run.files.output);
      std::fputs("\n", run.files.output);
    }
    std::fputs(header.c_str(), run.files.output);
    std::fputs(text.c_str(), run.files.output);
  }
  m.code = 0;
  if (run.files.tag) {
    std::fputs(header.c_str(), run.files.tag);
    std::fputs(text.c_str(), run.files.tag);
    m.tag_received = true;
    if (std::fflush(run.files.tag) != 0 || std::ferror(run.files.tag)) tag_write_failed(run);
  }
}

void fatal_stop(Run& run, int code, std::string_view argument, RaisingPlace where) {
  message_set(run, code, argument, MSG_FATAL, where);
  // Quiet mode or a definition in progress must not swallow a fatal stop.
  run.messages.code = static_cast<std::uint16_t>(code);
  run.messages.argument.assign(argument);
  run.messages.cls = MSG_FATAL;
  message_print(run);
  throw FatalStop{2};  // not reached: message_print throws
}

}  // namespace zrmackv
