// The run sequence of the macro processor, from start-up to exit.
#pragma once

namespace zrmackv {

struct Run;

// Closes every file, deletes the scratch output file and an unused derived
// tag file, and prints the closing "\n".
void end_of_run(Run& run);

// The orderly stop after a console interrupt: files closed and kept, "\n".
int interrupt_stop(Run& run);

}  // namespace zrmackv
