#include "zrmackv/rewrite.h"

#include "zrmackv/run.h"

namespace zrmackv {

// The line is not rewritten yet.
void tmp_label_set(Run&) {}
void mac_name_set(Run&) {}
void define_replace(Run&) {}
void concat_remove(Run&) {}

}  // namespace zrmackv
