// Rewriting steps applied to the line buffer before its statement is
// scanned: temporary labels, macro-time names, .DEFINE replacement and
// removal of the "@" concatenation mark.
#pragma once

namespace zrmackv {

struct Run;

void tmp_label_set(Run& run);
void mac_name_set(Run& run);
void define_replace(Run& run);
void concat_remove(Run& run);

}  // namespace zrmackv
