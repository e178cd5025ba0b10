// Entry points of the macro engine that the line engine calls for each line:
// definition store, macro directives, calls, parameter and local-label
// substitution, and the string functions.
#pragma once

namespace zrmackv {

struct Run;

// Runs the macro directive found by the statement scanner.
void macro_directive(Run& run);
// Appends the current line to the body being recorded.
void macro_define(Run& run);
// Starts a call when the statement names a macro; true when one started.
bool macro_call(Run& run);
// Replaces the formal parameters of the current expansion.
void mac_para_chg(Run& run);
// Replaces the local labels of the current expansion; does nothing when the
// current context declares none.
void local_label_chg(Run& run);
// Evaluates .LEN, .INSTR and .SUBSTR in the line.
void string_functions(Run& run);

}  // namespace zrmackv
