// Operations shared by the units of the macro engine; the line engine uses
// only macro_engine.h.
#pragma once

#include <string_view>

namespace zrmackv {

struct Run;
struct MacExp;

// Hands the line buffer to the line writer.
void macro_write_line(Run& run);

// .MACRO with a name: starts a definition or counts a nested one.
// False when the directive was refused.
bool macro_name_directive(Run& run, std::string_view name);
// .ENDM by the current state; false when it was refused while recording.
bool endm_directive(Run& run);
// The end of a custom macro expansion; false (and nothing ends) when
// .ENDM carries an operand.
bool macro_expansion_end(Run& run);

// Substitutes the formal parameters of params in the statement text, then
// rebuilds the line buffer from the result.
void substitute_parameters(Run& run, const MacExp& params);

// .LOCAL: declares local labels of the current expansion.
void local_directive(Run& run);

// .MREPEAT, .ENDR and .EXITM by the current state. The first two return
// false when the directive was refused while a repeat body is recorded.
bool mrepeat_directive(Run& run);
bool endr_directive(Run& run);
void exitm_directive(Run& run);

// True when nothing but blanks is left in text.
bool only_blanks(std::string_view text);

}  // namespace zrmackv
