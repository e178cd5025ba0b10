// Conditional assembly: the line status that decides whether a line is
// assembled, and the .IF/.ELIF/.ELSE/.ENDIF handlers.
#pragma once

#include <cstdint>

namespace zrmackv {

struct Run;

struct Conditions {
  bool assembling = true;         // line status of the innermost block
  std::uint32_t if_nesting = 0;   // open .IF levels
};

// Runs a conditional directive (code CD_IF to CD_ENDIF) whose name field the
// dispatcher has already checked; called whatever the line status.
void conditional_directive(Run& run, int code);

}  // namespace zrmackv
