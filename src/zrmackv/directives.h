// Directive dispatch and the small directives handled here: .END, .LIST,
// .SECTION, ._FILE, ._LINE, ._LANG, ._LTYPE, the directives passed on
// unchanged, and the shift-instruction check of "-patch1".
#pragma once

#include <string>
#include <string_view>

namespace zrmackv {

struct Run;

// The line handed to the line writer between a shift by R1H and a following
// shift by an immediate count.
inline constexpr std::string_view kShiftNopLine = "\tNOP\t; This is a line which ASRQ output.";

// Shift-check states.
enum ShiftState : int {
  SHIFT_NONE = 0,       // nothing pending
  SHIFT_BY_R1H = 1,     // the last instruction shifted by R1H
  SHIFT_IMMEDIATE = 2,  // the last instruction shifted by an immediate count
};

struct DirectiveState {
  int shift_state = SHIFT_NONE;
  // Marks kept for the line writer; nothing else reads them.
  bool listing_on = false;    // listing switch of .LIST
  bool section_mark = false;  // set by .SECTION, cleared by .END
  std::string shift_count;    // scratch for the count the shift check evaluates
};

// Runs the directive or conditional directive the statement scanner found.
void directive_dispatch(Run& run);

void end_directive(Run& run);
void list_directive(Run& run);
void fileline_directive(Run& run);

// Checks a mnemonic statement for a shift by R1H followed by a shift by an
// immediate count; called for every assembled mnemonic under "-patch1".
void shift_check(Run& run);

// The checks of the open macro definition and conditional blocks when the
// source ends without an executed .END.
void end_of_source_state_checks(Run& run);

}  // namespace zrmackv
