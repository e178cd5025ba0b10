#include "zrmackv/macro_engine.h"

#include "zrmackv/run.h"

namespace zrmackv {

// Macro definitions are not stored yet.
void macro_directive(Run&) {}
void macro_define(Run&) {}

}  // namespace zrmackv
