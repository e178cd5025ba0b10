// Source reader: delivers the next raw line from the expansion queue, the
// innermost include file or the source, cleans and numbers it, and keeps the
// current position every diagnostic carries.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "zrmackv/messages.h"

namespace zrmackv {

struct Run;
struct StoredLine;

constexpr int kMaxIncludeDepth = 9;
constexpr std::uint32_t kLineNumberWrap = 100000;

// Open state of a file: 0 never opened, 1 open, 2 closed.
enum OpenState : int { FILE_NEVER_OPENED = 0, FILE_OPEN = 1, FILE_CLOSED = 2 };

struct IncludeLevel {
  std::FILE* file = nullptr;
  int open_state = FILE_NEVER_OPENED;
  std::string path;
  std::uint32_t resume_line = 0;  // line to resume in the level below
  bool paused = false;            // started during a macro expansion
  const StoredLine* pause_at = nullptr;
};

struct SourceReader {
  std::string line;  // current line buffer (cleaned: at most 255 characters)
  std::string current_file;
  std::uint32_t line_no = 0;
  std::FILE* current = nullptr;
  std::uint64_t line_count = 0;  // lines read from files

  // Depth 0 is the source; depths 1 to 9 are include files.
  std::array<IncludeLevel, kMaxIncludeDepth + 1> levels;
  int depth = 0;

  std::FILE* source_file = nullptr;
  int source_state = FILE_NEVER_OPENED;

  // The position of the line being processed, kept when an .INCLUDE on it
  // has already made the include file current: the line's own diagnostics
  // still carry the including line's file and number.
  bool line_position_held = false;
  std::string held_file;
  std::uint32_t held_line = 0;

  bool truncated = false;  // the line just read was over-long
  bool from_queue = false; // the line just read was replayed from a stored body
  bool nul_line_end = false;  // the raw line stopped at a NUL and its line feed was read
  bool end_seen = false;   // .END executed in the source: read no further
};

// The next raw line into the line buffer; false when the source is exhausted.
bool src_fgets(Run& run);

// The next cleaned line; false at the end of the source or after .END.
bool src_getline(Run& run);

std::FILE* src_fopen(Run& run, std::string_view path, const char* mode, int& open_state,
                     RaisingPlace where = RaisingPlace::current());
// Creates a file the run names itself (scratch or default tag file) afresh,
// never through a symbolic link; lock keeps other runs off it while open.
std::FILE* src_fcreate(Run& run, std::string_view path, int& open_state, bool lock,
                       RaisingPlace where = RaisingPlace::current());
void src_fclose(Run& run, std::FILE*& file, int& open_state,
                RaisingPlace where = RaisingPlace::current());

// Makes file the innermost include level; path becomes the current file name.
void src_include_push(Run& run, std::FILE* file, std::string_view path);

// Closes the source and every include file still open.
void src_close_all(Run& run);

}  // namespace zrmackv
