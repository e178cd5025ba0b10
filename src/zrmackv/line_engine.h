// The line engine: reads every line of the source, joins continuation
// lines, applies the rewriting steps, scans the statement and dispatches it.
#pragma once

#include <cstdint>
#include <string>

#include "zrmackv/directives.h"  // end_of_source_state_checks, used by the driver
#include "zrmackv/reserved.h"    // load_reserved_words, used by the driver
#include "zrmackv/statement.h"

namespace zrmackv {

struct Run;

struct LineEngine {
  Statement stmt;
  bool first_statement_seen = false;  // for the ._LANG check
  bool lang_accepted = false;         // ._LANG 'C' was the first statement

  // Continuation state of the current line.
  bool joined = false;               // joined from several physical lines
  std::uint32_t last_line_no = 0;    // number of the last of them
  int joined_depth = 0;              // include depth it was read at
  std::string join_buffer;           // scratch for joining
};

// Processes every line until the source ends or .END is executed.
// Returns false when a console interrupt stopped it.
bool line_loop(Run& run);

// Handles the line in the line buffer.
void line_process(Run& run);

}  // namespace zrmackv
