// Value directives: .EQU, .BTEQU, .DEFINE, .GLB and .BTGLB. The dispatcher
// has checked the name field before a handler runs.
#pragma once

namespace zrmackv {

struct Run;

void equ_directive(Run& run);
void btequ_directive(Run& run);
void define_directive(Run& run);
// .GLB (bit false) and .BTGLB (bit true).
void glb_directive(Run& run, bool bit);

}  // namespace zrmackv
