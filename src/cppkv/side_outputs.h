// Outputs a run makes only when asked: the preprocessed text in a file
// (-Wexpand_file), the make-style dependency file (-MF, -MT) and the usage
// summary (--help).
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cppkv/cppkv.h"

namespace cppkv {

struct Run;

// The primitive writers in front of the run's own sink: everything goes to
// that sink and, through a buffer of its own, into a file, so writing costs
// one system call per buffer rather than per character.
class ExpandFileSink final : public TextSink {
 public:
  ExpandFileSink() = default;
  ExpandFileSink(const ExpandFileSink&) = delete;
  ExpandFileSink& operator=(const ExpandFileSink&) = delete;
  ~ExpandFileSink() override { close(); }

  // Creates the file name; false when it cannot be created.
  bool open(std::string_view name, TextSink* inner);
  // Writes out the buffer and closes the file; false when any write or the
  // close failed.
  bool close();

  int put_char(int c) override;
  int put_text(std::string_view text) override;

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  bool drain();

  TextSink* inner_ = nullptr;
  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

// Handles "--help", "-Wexpand_file", "-MF" and "-MT" at args[i] (moving i
// past a value taken from the next argument). Returns true when the
// argument was one of them; exit_now is set after --help.
bool side_output_option(Run& run, const std::vector<std::string>& args, std::size_t& i,
                        bool& exit_now);

// Refuses, as a command-line error, a text or dependency file that is the
// input itself or another file the run writes: it would be destroyed.
void check_side_output_names(Run& run);

// Creates the text file under -Wexpand_file and puts it in front of the
// run's sink; a file that cannot be created is fatal.
void start_expanded_text(Run& run);

// Remembers a file the run opened, for the dependency file.
void record_opened_file(Run& run, std::string_view path);

// After the whole input was read: closes the text file and writes the
// dependency file. A failure of either is fatal.
void finish_side_outputs(Run& run);

}  // namespace cppkv
