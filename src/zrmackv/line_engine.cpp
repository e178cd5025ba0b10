#include "zrmackv/line_engine.h"

#include "host/host.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

// Per-line state reset at the start of every line.
void reset_line_state(Run& run) {
  run.messages.code = 0;
  run.messages.argument.clear();
  run.messages.quiet = false;
  run.source.truncated = false;
  run.figure.division_by_zero = false;
}

void line_process(Run& run) {
  if (run.source.truncated) message_set(run, W_LINE_EXCEEDS, "256", MSG_WARNING);
  run.writer->write_line(run.source.line);
}

}  // namespace

bool line_loop(Run& run) {
  for (;;) {
    reset_line_state(run);
    if (!src_getline(run)) return true;
    if (host::interrupt_requested()) return false;
    line_process(run);
    message_print(run);
  }
}

void end_of_source_state_checks(Run&) {}

void load_reserved_words(Run&) {}

}  // namespace zrmackv
