// Repeat blocks (.MREPEAT ... .ENDR) and the early exit .EXITM.
#include "zrmackv/macro_engine.h"
#include "zrmackv/macro_internal.h"
#include "zrmackv/run.h"

namespace zrmackv {

bool mrepeat_directive(Run&) { return true; }
bool endr_directive(Run& run) {
  message_set(run, E_MREPEAT_MISSING_FOR_ENDR, {}, MSG_ERROR);
  return true;
}
void exitm_directive(Run& run) {
  message_set(run, E_MACRO_MISSING_FOR_EXITM, {}, MSG_ERROR);
}

}  // namespace zrmackv
