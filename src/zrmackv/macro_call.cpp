#include "zrmackv/macro_engine.h"

#include "zrmackv/run.h"

namespace zrmackv {

// No macro is defined yet, so no line is a call.
bool macro_call(Run&) { return false; }
void mac_para_chg(Run&) {}
void local_label_chg(Run&) {}

}  // namespace zrmackv
