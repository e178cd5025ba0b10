#include "zrmackv/macro_engine.h"

#include "zrmackv/run.h"

namespace zrmackv {

// The string functions are not evaluated yet.
void string_functions(Run&) {}

}  // namespace zrmackv
