// The directive engine: the line loop over the whole input.
#pragma once

namespace cppkv {

struct Run;

// Runs over the main input until it is exhausted.
void process_input(Run& run);

}  // namespace cppkv
