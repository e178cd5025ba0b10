// The input reader: the include-file stack with its name pool and line
// counters, the character layers (byte reader with CR-LF folding, Shift-JIS
// to EUC conversion, trigraphs), logical lines with splices, comments and
// literals, the pushed-back line, and the comment/quote cleaning pass.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

namespace cppkv {

struct Run;

constexpr int kIncludeStackSize = 41;  // entries 0 (main input) to 40
constexpr int kMaxIncludeIndex = 40;
constexpr std::size_t kNamePoolSize = 5120;
constexpr std::size_t kLineBufferSize = 65536;     // the directive engine's buffer
constexpr std::size_t kArgLineBufferSize = 16384;  // macro-argument continuation lines
constexpr std::size_t kPushedBackSize = 16384;
constexpr std::size_t kMaxCleanedLength = 16382;
constexpr std::size_t kMaxStringLiteral = 509;

// The comment/quote state carried from line to line.
enum CarriedState : unsigned {
  ST_BLOCK_COMMENT = 0x1000,
  ST_CHAR = 0x2000,
  ST_STRING = 0x4000,
  ST_LINE_COMMENT = 0x8000,
};

enum EntryState : std::int32_t { ENTRY_IN_USE = 'R', ENTRY_FREE = 'F' };

enum class OpenResult { Ok, NestingOver, NotFound };

// The three character layers of one open file, innermost first: the byte
// reader (block-buffered, CR-LF folded), the kanji layer and the trigraph
// layer. Each layer keeps its own look-ahead.
struct CharSource {
  static constexpr std::size_t kBufferSize = 1 << 16;

  std::FILE* file = nullptr;
  std::unique_ptr<unsigned char[]> buf;  // allocated once per stack entry
  std::size_t pos = 0;
  std::size_t len = 0;
  bool eof = false;
  bool failed = false;  // the end came from a read error, not the file's end
  bool sjis = true;

  int kanji_next = -1;  // second byte of a converted pair or katakana
  int raw_next = -1;    // byte read ahead by the kanji layer, examined again
  int tq[2] = {0, 0};   // trigraph look-ahead queue
  int tq_pos = 0;
  int tq_len = 0;

  void attach(std::FILE* f);
  bool refill();
  bool layers_empty() const { return tq_pos == tq_len && kanji_next < 0 && raw_next < 0; }
  inline int byte_get();
  inline int kanji_get();
  inline int get();
};

struct IncludeEntry {
  std::int32_t state = ENTRY_FREE;
  std::FILE* file = nullptr;
  bool owns_file = false;  // false for standard input
  std::size_t pool_mark = 0;
  std::uint64_t physical_lines = 0;
  std::size_t name_offset = 0;
  std::uint32_t line = 0;
  unsigned saved_state = 0;
  CharSource src;
};

// A line buffer of fixed capacity: at most capacity - 1 bytes are stored,
// followed by a NUL.
struct LineBuffer {
  explicit LineBuffer(std::size_t capacity)
      : data(new char[capacity + 2]), capacity(capacity) {
    data[0] = 0;
  }
  std::unique_ptr<char[]> data;
  std::size_t capacity;
  std::size_t length = 0;
  std::string_view view() const { return {data.get(), length}; }
};

struct Reader {
  Reader();
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  std::array<IncludeEntry, kIncludeStackSize> stack;
  int index = -1;  // current entry; -1 when nothing is open

  std::array<char, kNamePoolSize> pool{};
  std::size_t pool_top = 0;

  bool pending_line_on = false;  // pending line number (flag, value)
  std::uint32_t pending_line = 0;

  bool override_on = false;  // reported-position override
  std::string override_name;
  std::uint32_t override_line = 0;

  unsigned state = 0;  // the current comment/quote state

  bool pushed_back = false;
  std::size_t pushed_back_length = 0;
  std::unique_ptr<char[]> pushed_back_text;

  // Joins met while reading the current logical line: (stored length at the
  // join, joins so far). Preallocated; at most one entry per stored byte.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> join_marks;

  IncludeEntry& top() { return stack[static_cast<std::size_t>(index)]; }
};

// Pushes a file onto the include-file stack. An empty name at level 0 reads
// standard input. On success a dependency line is written when the name
// differs from the main input's name.
OpenResult open_source(Run& run, std::string_view name);

// Pops the current file.
void close_source(Run& run);

// Reads one logical line into buf; false at end of file.
bool read_logical_line(Run& run, LineBuffer& buf);

// The comment/quote pass over a line just read, with the carried state.
void clean_line(Run& run, LineBuffer& buf);

// Saves a line to be returned by the next read and steps the current
// entry's counters back by one.
void push_back_line(Run& run, std::string_view text);

// The reported position (honouring the override).
std::string_view current_name(const Run& run, bool base_only = false);
std::uint32_t current_line(const Run& run);

// #line: the line number of the next line, and a new current name.
void set_line(Run& run, std::uint32_t n);
void set_name(Run& run, std::string_view name);

// The position override installed for one message.
void set_position_override(Run& run, std::string_view name, std::uint32_t line);
void clear_position_override(Run& run);

// Reports a message at another line of the current file (the override is
// installed for that message only).
void report_at_line(Run& run, int message_class, int id, std::uint32_t line);

// The end-of-file state check: "EOF in comment" or "EOF in preprocess
// command" for a state still open, which is then cleared.
void check_end_of_file_state(Run& run);

}  // namespace cppkv
