// Outputs a run makes only when asked: the expanded text in the scratch
// file (+expand), the make-style dependency file (+depfile=), and the usage
// summary (--help).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "zrmackv/line_writer.h"
#include "zrmackv/options.h"

namespace zrmackv {

struct Run;

// Passes every line on to the run's own writer and appends it, with a line
// feed, to the scratch file; the stream's buffer keeps this to one system
// call per buffer, not per line.
class ExpandingLineWriter final : public LineWriter {
 public:
  void attach(LineWriter* inner, std::FILE** file) {
    inner_ = inner;
    file_ = file;
  }
  void write_line(std::string_view line) override {
    inner_->write_line(line);
    if (std::FILE* f = *file_) {
      std::fwrite(line.data(), 1, line.size(), f);
      std::fputc('\n', f);
    }
  }
  void file_control(std::string_view path) override { inner_->file_control(path); }

 private:
  LineWriter* inner_ = nullptr;
  std::FILE** file_ = nullptr;
};

// Handles "--help", "+expand", "+depfile=NAME" and "+deptarget=TARGET".
// Returns true when arg was one of them; outcome tells whether the run ends
// at once.
bool side_output_option(Run& run, std::string_view arg, ParseOutcome& outcome);

// Refuses a dependency file that is one of the run's own files (the source,
// the scratch file, the tag file): replacing it would destroy that file.
// Called once they are all open.
void check_side_output_names(Run& run);

// Routes the line writer into the scratch file under +expand.
void start_expanded_text(Run& run);

// After the whole source was read: makes sure the expanded text reached its
// file and writes the dependency file. A failure is a fatal stop.
void finish_side_outputs(Run& run);

}  // namespace zrmackv
