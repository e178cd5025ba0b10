// The message reporter: message table, console lines, the error file and
// tag file, the #error record, and the fatal stop.
#pragma once

#include <string_view>

namespace cppkv {

struct Run;

// Message classes chosen by the caller of report.
enum MessageClass : int {
  CLASS_ERROR = 1,     // error flag; processing goes on
  CLASS_WARNING = 2,   // warning flag; processing goes on
  CLASS_COMMAND = 3,   // command-line fatal: exit code 2
  CLASS_FATAL = 4,     // fatal: exit code 3
  CLASS_INTERNAL = 5,  // internal error: exit code 4
};

// Message identifiers: the message numbers themselves.
enum MessageId : int {
  M_ILLEGAL_COMMAND_OPTION = 1,
  M_CANNOT_OPEN_INPUT = 11,
  M_CANNOT_CLOSE_INPUT = 12,
  M_CANNOT_WRITE_OUTPUT = 16,
  M_NAME_BUFFER_OVERFLOW = 17,
  M_NO_MEMORY_FOR_MACRO = 18,
  M_CANNOT_OPEN_TAG_FILE = 20,
  M_INCLUDE_NOT_FOUND = 21,
  M_ILLEGAL_FILE_NAME = 22,
  M_INCLUDE_NESTING_OVER = 23,
  M_ILLEGAL_IDENTIFIER = 25,
  M_ILLEGAL_OPERATION = 26,
  M_MACRO_ARGUMENT_ERROR = 27,
  M_INPUT_BUFFER_OVERFLOW = 28,
  M_EOF_IN_COMMENT = 29,
  M_EOF_IN_PREPROCESS_COMMAND = 31,
  M_UNKNOWN_PREPROCESS_COMMAND = 32,
  M_NEWLINE_IN_STRING = 33,
  M_STRING_LITERAL_OUT_OF_RANGE = 34,
  M_MACRO_REPLACE_NESTING_OVER = 35,
  M_INCLUDE_FILE_ERROR = 41,
  M_ILLEGAL_ID_NAME = 43,
  M_TOKEN_BUFFER_OVERFLOW = 44,
  M_ILLEGAL_UNDEF_USAGE = 45,
  M_ILLEGAL_IFDEF_USAGE = 52,
  M_ELIF_ELSE_SEQUENCE_ERROR = 53,
  M_ENDIF_NOT_EXIST = 54,
  M_ENDIF_SEQUENCE_ERROR = 55,
  M_ILLEGAL_LINE_USAGE = 61,
  M_RESERVED_ID_USED = 81,
  M_ASSERTION_WARNING = 82,
  M_GARBAGE_ARGUMENT = 83,
  M_ESCAPE_OUT_OF_RANGE = 84,
  M_REDEFINED = 85,
  M_ZERO_DIVIDE = 86,
  M_NESTED_COMMENT = 87,
  M_BAD_WBKIN = 88,
  M_INTERNAL_ERROR_98 = 98,
  M_INTERNAL_ERROR_99 = 99,
};

// A fatal stop (classes 3 to 5, #error) unwinds to run_cppkv, which returns
// the exit code.
struct FatalStop {
  int exit_code;
};

// The number and text of a message; nullptr text for an identifier that is
// not in the table.
const char* message_text(int id);

// Reports one message. name is the quoted name of messages 11, 21 and 85.
// Returns only for classes 1 and 2; the others throw FatalStop.
void report(Run& run, int message_class, int id, std::string_view name = {});

// The #error record: "%s %d Error %s\n" on the message stream and in the
// side file, then exit code 2. Never returns.
[[noreturn]] void report_error_directive(Run& run, std::string_view text);

}  // namespace cppkv
