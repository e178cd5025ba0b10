// What both fuzz targets share: decoding the input into arguments,
// environment and files, one run on a fresh in-memory file system with a
// work budget, and the checks beyond crashes (documented exit codes, a
// second run of the same input gives the same result).
//
// Input layout, both targets:
//   byte 0      bits 0-2: number of option picks n (0 to 7);
//               bit 3: leave out the default input name (cppkv then reads
//               standard input; zrmackv has no source);
//               bit 4: the default input name comes first, not last.
//   bytes 1..n  each picks one entry of the target's option table (modulo
//               its size); an entry is an argument or an environment setting.
//   the rest    split at a separator line into the files of the run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host.h"
#include "host/memory_file_system.h"
#include "host/work_budget.h"

namespace fuzz {

// The folder the runs work in, inside the memory file system.
inline constexpr std::string_view kWorkFolder = "/w";


// Bytes the files of one run may hold together.
inline constexpr std::size_t kFileSpace = 8u << 20;

// One option-table entry: an argument ("-Isub") or, with an environment
// name, a variable setting.
struct Pick {
  std::string_view argument;
  std::string_view variable = {};
};

struct Invocation {
  std::vector<std::string> args;
  std::map<std::string, std::string> env;
  bool default_input = true;
  bool input_first = false;
  std::string_view text;  // the part after the option picks
};

// Reads the option picks at the front of the input.
inline Invocation decode(std::span<const std::uint8_t> data, std::span<const Pick> table) {
  Invocation inv;
  if (data.empty()) return inv;
  const std::uint8_t control = data[0];
  std::size_t picks = control & 0x07;
  inv.default_input = !(control & 0x08);
  inv.input_first = (control & 0x10) != 0;
  std::size_t at = 1;
  for (; picks > 0 && at < data.size(); --picks, ++at) {
    const Pick& p = table[data[at] % table.size()];
    if (p.variable.empty())
      inv.args.emplace_back(p.argument);
    else
      inv.env[std::string(p.variable)] = std::string(p.argument);
  }
  inv.text = std::string_view(reinterpret_cast<const char*>(data.data()) + at, data.size() - at);
  return inv;
}

// Adds the default input name, first or last, unless the input leaves it out.
inline void place_input(Invocation& inv, std::string_view name) {
  if (!inv.default_input) return;
  inv.args.insert(inv.input_first ? inv.args.begin() : inv.args.end(), std::string(name));
}

// Splits text at each separator line into at most count parts (missing
// parts are empty).
inline std::vector<std::string_view> split_parts(std::string_view text, std::string_view separator,
                                                 std::size_t count) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < count) {
    std::size_t at = text.find(separator);
    if (at == std::string_view::npos) break;
    parts.push_back(text.substr(0, at));
    text.remove_prefix(at + separator.size());
  }
  parts.push_back(text);
  parts.resize(count);
  return parts;
}

// FNV-1a over everything a run produced on its text channel, with a cap on
// the calls so that an exponential expansion ends (the write then fails).
class TextDigest {
 public:
  bool add(std::string_view text) {
    for (unsigned char c : text) hash_ = (hash_ ^ c) * 0x100000001b3ull;
    return ++calls_ <= kMaxCalls;
  }
  std::uint64_t value() const { return hash_ ^ calls_; }

 private:
  static constexpr std::size_t kMaxCalls = 200'000;
  std::uint64_t hash_ = 0xcbf29ce484222325ull;
  std::size_t calls_ = 0;
};

// A standard stream in memory; text() is what was written so far.
class MemoryStream {
 public:
  MemoryStream() : file_(open_memstream(&buffer_, &size_)) {
    if (!file_) std::abort();
  }
  ~MemoryStream() {
    std::fclose(file_);
    std::free(buffer_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  std::FILE* file() const { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

// Everything a run shows to the outside; two runs of one input must agree.
struct Outcome {
  int exit_code = 0;
  std::string standard_output;
  std::string standard_error;
  std::uint64_t text_digest = 0;
  std::vector<std::pair<std::string, std::string>> files;
  bool operator==(const Outcome&) const = default;
};

// Sets up the host for one run (fresh memory file system, a budget of work
// units, pinned clock) and restores it afterwards.
class RunScope {
 public:
  explicit RunScope(std::uint64_t work_budget) : fs_(kWorkFolder) {
    fs_.set_capacity(kFileSpace);
    host::use_file_system(&fs_);
    host::set_work_budget(work_budget);
    host::fix_clock(981201600);  // a fixed instant: __DATE__ and __TIME__ repeat
    host::clear_interrupt();
  }
  ~RunScope() {
    host::use_file_system(nullptr);
    host::clear_work_budget();
    host::release_clock();
  }
  host::MemoryFileSystem& fs() { return fs_; }

 private:
  host::MemoryFileSystem fs_;
};

[[noreturn]] inline void fail(const char* what, const Outcome& a, const Outcome& b) {
  std::fprintf(stderr, "fuzz check failed: %s\nexit %d / %d\n--- first stdout\n%s\n--- second stdout\n%s\n",
               what, a.exit_code, b.exit_code, a.standard_output.c_str(), b.standard_output.c_str());
  std::abort();
}

// Whether this input is run a second time. A repeat doubles the cost of an
// input, so by default one input in four (chosen by its content, so the
// choice is the same every time the input comes back) is repeated; with
// KV_FUZZ_REPEAT=all in the environment every input is.
inline bool repeat_this_input(std::span<const std::uint8_t> data) {
  static const bool all = [] {
    const char* v = std::getenv("KV_FUZZ_REPEAT");
    return v && std::string_view(v) == "all";
  }();
  if (all) return true;
  std::uint32_t h = 2166136261u;
  for (std::uint8_t b : data) h = (h ^ b) * 16777619u;
  return (h & 3) == 0;
}

// Runs the input through run_once and checks the exit code against the
// documented ones; with repeat, runs it again and checks that the second
// outcome equals the first.
template <typename RunOnce>
void check_runs(RunOnce run_once, std::initializer_list<int> documented_codes, bool repeat) {
  Outcome first = run_once();
  bool documented = false;
  for (int code : documented_codes) documented |= code == first.exit_code;
  if (!documented) fail("undocumented exit code", first, first);
  if (!repeat) return;
  Outcome second = run_once();
  if (!(first == second)) fail("a second run of the same input differs", first, second);
}

}  // namespace fuzz
