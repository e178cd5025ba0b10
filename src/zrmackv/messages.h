// Diagnostics: the one pending message of a line, its printing, the error
// and warning counts and the fatal stop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zrmackv {

struct Run;

// The place in the program that raises a message or opens a file, for the
// run trace. Taken from the compiler's builtins, which GCC and Clang both
// have (std::source_location is missing from some Clang releases).
struct RaisingPlace {
  const char* unit;
  unsigned line;
  static constexpr RaisingPlace current(const char* unit = __builtin_FILE(),
                                        unsigned line = __builtin_LINE()) {
    return {unit, line};
  }
};

enum MessageClass : int {
  MSG_FATAL = 0,        // run-time fatal: exit code 2
  MSG_ERROR = 1,        // catalogue entry = code
  MSG_WARNING = 2,      // catalogue entry = code + 1
  MSG_SETUP_FATAL = 3,  // set-up fatal: exit code 4
};

// Fatal-table codes (classes 0 and 3).
enum FatalCode : int {
  F_NO_INPUT = 1,
  F_INVALID_OPTION = 2,
  F_IGNORE_OPTION = 3,
  F_NO_MEMORY = 4,
  F_TOO_MANY_SOURCES = 5,
  F_CANT_OPEN = 6,
  F_CANT_CREATE_TEMP = 7,
  F_CANT_WRITE = 8,
  F_CANT_CREATE = 9,
  F_COMMAND_TOO_LONG = 10,
};

// Warning codes (class 2); each prints catalogue entry code + 1.
enum WarningCode : int {
  W_TOO_MANY_ACTUAL_PARAMS = 1,
  W_ACTUAL_PARAMS_NOT_ENOUGH = 2,
  W_STRING_TOO_LONG = 3,
  W_LINE_EXCEEDS = 6,
  W_END_IN_INCLUDE = 7,
};

// Error codes (class 1); each prints catalogue entry code.
enum ErrorCode : int {
  E_NO_END = 11,
  E_VALUE_OUT_OF_RANGE = 12,
  E_ILLEGAL_OPERAND = 13,
  E_ILLEGAL_DIRECTIVE = 14,
  E_INVALID_LABEL = 15,
  E_NO_SEMICOLON = 16,
  E_INVALID_SYMBOL_DEFINITION = 17,
  E_INCLUDE_NESTING_OVER = 18,
  E_CANT_OPEN_INCLUDE = 19,
  E_CANT_OPEN_ASSERT_FILE = 20,
  E_CANT_WRITE_ASSERT_FILE = 21,
  E_INCLUDE_ITSELF = 22,
  E_TOO_MANY_MACRO_NESTING = 23,
  E_TOO_MANY_LOCAL_LABELS = 24,
  E_OPERAND_NOT_ENOUGH = 25,
  E_RESERVED_WORD_USED = 26,
  E_RPAREN_MISSING = 27,
  E_IF_MISSING_FOR_ELSE = 28,
  E_IF_MISSING_FOR_ELIF = 29,
  E_IF_MISSING_FOR_ENDIF = 30,
  E_MACRO_MISSING_FOR_ENDM = 31,
  E_MREPEAT_MISSING_FOR_ENDR = 32,
  E_MACRO_MISSING_FOR_EXITM = 33,
  E_NO_MACRO_NAME = 34,
  E_MULTIPLE_DEFINED = 35,
  E_TOO_MANY_FORMAL_PARAMS = 36,
  E_ILLEGAL_MACRO_PARAM = 37,
  E_SOURCE_LINE_TOO_LONG = 38,
  E_MACRO_MISSING_FOR_LOCAL = 39,
  E_TOO_MANY_CONDITION_NESTING = 40,
  E_NO_ENDM = 41,
  E_NO_ENDR = 42,
  E_SYMBOL_UNDEFINED = 43,
  E_NO_ENDIF = 44,
  E_DIVISION_BY_ZERO = 45,
  E_QUOTE_MISSING = 46,
  E_RIGHT_QUOTE_MISSING = 47,
  E_LBRACE_MISSING = 48,
  E_NOT_CONSTANT = 49,
  E_TOO_MANY_TEMP_LABELS = 50,
  E_TEMP_LABEL_UNDEFINED = 51,
  E_EXPRESSION_SYNTAX = 52,
  E_SYMBOL_EXPECTED = 53,
  E_ILLEGAL_MACRO_STATEMENTS = 54,
  E_RESERVED_WORD_IN_OPERAND = 55,
  E_ANOTHER_TYPE = 56,
  E_SYMBOL_MISSING = 57,
  E_INVALID_BIT_SYMBOL = 58,
  E_OPERAND_NOT_COMPLETED = 59,
};

struct Messages {
  std::uint16_t code = 0;  // pending code, 0 = none
  std::string argument;
  int cls = MSG_ERROR;
  std::uint32_t error_count = 0;
  std::uint32_t warning_count = 0;
  bool quiet = false;  // evaluation diagnostics not wanted
  bool tag_received = false;

  // True while an error (code 10 or more) is pending: the line engine then
  // abandons the rest of the line.
  bool error_pending() const { return code >= 10; }
};

// Thrown by a fatal stop; the entry point catches it and returns exit_code.
struct FatalStop {
  int exit_code;
};

// Thrown when a console interrupt is noticed (also inside a read or an open
// that it cut short); the entry point makes the orderly interrupt stop.
struct InterruptStop {};

// Raises a diagnostic; it becomes the line's pending message by the rules of
// precedence. where identifies the raising place for the run trace.
void message_set(Run& run, int code, std::string_view argument, int cls,
                 RaisingPlace where = RaisingPlace::current());

// Prints the pending message, if any, and clears it. A fatal message closes
// every file and throws FatalStop.
void message_print(Run& run);

// Raises a run-time fatal message and stops at once.
[[noreturn]] void fatal_stop(Run& run, int code, std::string_view argument,
                             RaisingPlace where = RaisingPlace::current());

// The text of a message with its argument put in place of "%s".
std::string message_text(int code, int cls, std::string_view argument);

}  // namespace zrmackv
