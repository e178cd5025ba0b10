#include "cppkv/directives.h"

#include "cppkv/output.h"
#include "cppkv/reader.h"
#include "cppkv/run.h"

namespace cppkv {

// Until the directive engine exists: every logical line is read and
// cleaned, and stands in the output as its empty lines.
void process_input(Run& run) {
  LineBuffer line(kLineBufferSize);
  for (;;) {
    if (!read_logical_line(run, line)) {
      check_end_of_file_state(run);
      return;
    }
    clean_line(run, line);
    write_blank_lines(run, line.view());
  }
}

}  // namespace cppkv
