#include "zrmackv/source.h"

#include "host/host.h"
#include "host/line_reader.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

constexpr char kCtrlZ = 26;

enum class ReadResult { Line, End, Failed };

// Reads one physical line of at most max characters (line feed included)
// into line. The line ends at its first NUL byte, as a C string would; the
// bytes after it are consumed up to the line feed and lost, and nul_line_end
// tells that such a line's line feed was consumed with it.
ReadResult read_physical_line(std::FILE* file, std::string& line, std::size_t max,
                              bool& nul_line_end) {
  if (!file) {
    line.clear();
    nul_line_end = false;
    return ReadResult::End;
  }
  if (!host::read_line(file, line, max, nul_line_end))
    return std::ferror(file) ? ReadResult::Failed : ReadResult::End;
  // The bytes after a NUL are read without a length bound; an interrupt that
  // cut that read short makes the read a failed one. Only such a line (or an
  // over-long or last one) lacks its line feed, so ordinary lines skip this.
  if ((line.empty() || line.back() != '\n') && host::interrupt_requested())
    return ReadResult::Failed;
  // A CR-LF line end must not cost the line its last character: a line that
  // fills the read with its CR takes the LF behind it too, as its LF form
  // would have.
  if (line.size() == max && line.back() == '\r') {
    int c = getc_unlocked(file);
    if (c == '\n')
      line.push_back('\n');
    else if (c != EOF)
      ungetc(c, file);
    else if (std::ferror(file))
      return ReadResult::Failed;
  }
  return ReadResult::Line;
}

// Drops the rest of an over-long physical line, up to its line feed. An
// interrupt that cuts this unbounded read short counts as a failed read.
ReadResult drop_rest_of_line(std::FILE* file) {
  if (!file) return ReadResult::End;
  if (host::skip_rest_of_line(file)) return ReadResult::Line;
  return std::ferror(file) || host::interrupt_requested() ? ReadResult::Failed : ReadResult::End;
}

// The name of the file being read at the current depth.
const std::string& reading_file_name(const Run& run) {
  const SourceReader& s = run.source;
  return s.depth > 0 ? s.levels[s.depth].path : run.settings.source_name;
}

// A read that failed is never taken for the end of the file: an interrupt
// stops the run in order, any other failure is fatal and names the file.
[[noreturn]] void reading_failed(Run& run) {
  if (host::interrupt_requested()) throw InterruptStop{};
  fatal_stop(run, F_CANT_OPEN, reading_file_name(run));
}

void advance_line_number(SourceReader& s) {
  s.line_count++;
  s.line_no = s.line_no + 1 > kLineNumberWrap ? 0 : s.line_no + 1;
}

// Takes the next node of the expansion queue; false when the reader must go
// on with the files.
bool take_from_queue(Run& run) {
  SourceReader& s = run.source;
  StoredLine*& cursor = run.macro.macro_cursor;
  while (cursor) {
    const IncludeLevel& level = s.levels[s.depth];
    if (level.paused && cursor == level.pause_at) return false;
    if (run.info.active)
      info_src_fgets(run.info, cursor, &cursor->line_data, cursor->f_name.data());
    if (cursor->has_text) {
      // A stored line never lies in the line buffer, and its file is mostly
      // the one already current: both are refilled without assign's general
      // replace.
      s.line.clear();
      s.line.append(cursor->line_data);
      s.nul_line_end = false;
      if (std::string_view(s.current_file) != cursor->f_name) {
        s.current_file.clear();
        s.current_file.append(cursor->f_name);
      }
      s.line_no = static_cast<std::uint32_t>(cursor->line_no);
      s.from_queue = true;
      cursor = cursor->next;
      return true;
    }
    cursor = nullptr;
  }
  return false;
}

}  // namespace

bool src_fgets(Run& run) {
  SourceReader& s = run.source;
  const std::size_t max = static_cast<std::size_t>(run.settings.max_line_length);
  for (;;) {
    if (take_from_queue(run)) return true;
    s.from_queue = false;
    switch (read_physical_line(s.current, s.line, max, s.nul_line_end)) {
      case ReadResult::Line:
        advance_line_number(s);
        return true;
      case ReadResult::Failed:
        reading_failed(run);
      case ReadResult::End:
        break;
    }
    if (s.depth == 0) return false;
    // End of an include file: resume the level below, expansion queue first.
    IncludeLevel& ended = s.levels[s.depth];
    src_fclose(run, ended.file, ended.open_state);
    info_mem_free(run, &ended);
    ended.paused = false;  // the level being closed no longer waits for its file
    ended.pause_at = nullptr;
    s.depth--;
    s.line_no = ended.resume_line;
    if (s.depth > 0) {
      s.current_file = s.levels[s.depth].path;
      s.current = s.levels[s.depth].file;
    } else {
      s.current_file = run.settings.source_name;
      s.current = s.source_file;
    }
  }
}

bool src_getline(Run& run) {
  SourceReader& s = run.source;
  for (;;) {
    if (s.end_seen) return false;
    if (!src_fgets(run)) return false;
    // A replayed line is taken as it was stored; a line from a file is
    // always cleaned, whatever the macro engine is doing.
    if (s.from_queue) return true;
    std::string& line = s.line;
    if (!line.empty() && line.back() == kCtrlZ) line.pop_back();
    if (line.empty()) continue;  // nothing before the end of the file
    if (line.back() == '\n') {
      line.pop_back();
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    // A NUL ended the text but the line end was read with it: the line is
    // complete, and the next physical line must not be dropped as its rest.
    if (s.nul_line_end) return true;
    if (line.size() < static_cast<std::size_t>(run.settings.max_line_length) - 2) return true;
    // Over-long: keep the first 255 characters, drop the rest of the line.
    line.resize(std::min<std::size_t>(line.size(), run.settings.max_line_length - 1));
    s.truncated = true;
    if (drop_rest_of_line(s.current) == ReadResult::Failed) reading_failed(run);
    return true;
  }
}

std::FILE* src_fopen(Run& run, std::string_view path, const char* mode, int& open_state,
                     RaisingPlace where) {
  if (open_state == FILE_OPEN) {
    if (run.info.active) info_file_already_open(run.info, where, path);
    return nullptr;
  }
  // Some hosts open a folder for reading and then deliver no line: a folder
  // is never a file to read.
  std::FILE* file =
      mode[0] == 'r' && host::is_directory(path) ? nullptr : host::open_file(path, mode);
  if (file) open_state = FILE_OPEN;
  if (run.info.active) info_file_opened(run.info, where, path);
  // An open that waited (a pipe without a writer) and was cut short by
  // Ctrl+C is no missing file: the run stops as interrupted.
  if (!file && host::interrupt_requested()) throw InterruptStop{};
  return file;
}

std::FILE* src_fcreate(Run& run, std::string_view path, int& open_state, bool lock,
                       RaisingPlace where) {
  if (open_state == FILE_OPEN) {
    if (run.info.active) info_file_already_open(run.info, where, path);
    return nullptr;
  }
  std::FILE* file = host::create_file_afresh(path, lock);
  if (file) open_state = FILE_OPEN;
  if (run.info.active) info_file_opened(run.info, where, path);
  return file;
}

void src_fclose(Run& run, std::FILE*& file, int& open_state, RaisingPlace where) {
  const bool was_open = open_state == FILE_OPEN;
  if (was_open) {
    if (file) std::fclose(file);
    file = nullptr;
    open_state = FILE_CLOSED;
  }
  if (run.info.active) info_file_closed(run.info, where, was_open);
}

void src_include_push(Run& run, std::FILE* file, std::string_view path) {
  SourceReader& s = run.source;
  IncludeLevel& level = s.levels[s.depth + 1];
  level.file = file;
  level.resume_line = s.line_no;
  level.path.assign(path);
  level.open_state = FILE_OPEN;
  info_mem_alloc(run, &level, sizeof(IncludeLevel) + path.size() + 1);
  // Opened by a replayed line: the rest of the replay waits for the file. A
  // repeat replay waits too; otherwise each repetition would push one more
  // level before any of the files is read.
  const int state = run.macro.current->state;
  level.paused = state == M_EXPAND || state == R_EXPAND;
  level.pause_at = level.paused ? run.macro.macro_cursor : nullptr;
  if (!s.line_position_held) {
    s.line_position_held = true;
    s.held_file.swap(s.current_file);
    s.held_line = s.line_no;
  }
  s.current_file.assign(path);
  s.line_no = 0;
  s.current = file;
  s.depth++;
}

void src_close_all(Run& run) {
  SourceReader& s = run.source;
  src_fclose(run, s.source_file, s.source_state);
  for (int d = 1; d <= kMaxIncludeDepth; ++d) src_fclose(run, s.levels[d].file, s.levels[d].open_state);
  s.current = nullptr;
}

}  // namespace zrmackv
