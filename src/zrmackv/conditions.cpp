#include "zrmackv/conditions.h"

#include "zrmackv/run.h"

namespace zrmackv {

// Conditional blocks are not opened yet: every line is assembled.
void conditional_directive(Run&, int) {}

}  // namespace zrmackv
