#include "zrmackv/values.h"

#include "zrmackv/run.h"

namespace zrmackv {

// The value directives do not store anything yet.
void equ_directive(Run&) {}
void btequ_directive(Run&) {}
void define_directive(Run&) {}
void glb_directive(Run&, bool) {}

}  // namespace zrmackv
