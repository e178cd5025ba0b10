// The line engine: reads every line of the source and processes it.
#pragma once

namespace zrmackv {

struct Run;

// Processes every line until the source ends or .END is executed.
// Returns false when a console interrupt stopped it.
bool line_loop(Run& run);

// The checks of the open macro and condition state at the end of the source.
void end_of_source_state_checks(Run& run);

// Fills the reserved-word table.
void load_reserved_words(Run& run);

}  // namespace zrmackv
