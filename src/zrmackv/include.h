// .INCLUDE (search and push of include files) and .ASSERT (messages).
#pragma once

namespace zrmackv {

struct Run;

void include_directive(Run& run);
void assert_directive(Run& run);

}  // namespace zrmackv
