#include "host/line_reader.h"

#include "host/host.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace host {

namespace {

// fgets without taking the stream's lock: a stream is read by one thread.
char* read_chunk(char* buffer, int size, std::FILE* file) {
#ifdef __GLIBC__
  return fgets_unlocked(buffer, size, file);
#else
  return std::fgets(buffer, size, file);
#endif
}

// The whole line when it lies complete in the stream's buffer, without NUL
// bytes: found and taken from there at once, the way getc_unlocked takes
// one byte. False when the general read must do it.
bool take_buffered_line(std::FILE* file, std::string& line, std::size_t max) {
#ifdef __GLIBC__
  const char* begin = file->_IO_read_ptr;
  const char* end = file->_IO_read_end;
  if (!begin || end <= begin) return false;
  const std::size_t window = std::min(static_cast<std::size_t>(end - begin), max);
  const void* line_feed = std::memchr(begin, '\n', window);
  if (!line_feed) return false;
  const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(line_feed) - begin) + 1;
  if (std::memchr(begin, '\0', length)) return false;
  line.append(begin, length);  // line is empty: appending skips assign's general replace
  file->_IO_read_ptr += length;
  return true;
#else
  (void)file;
  (void)line;
  (void)max;
  return false;
#endif
}

}  // namespace

bool skip_rest_of_line(std::FILE* file) {
  // This read has no length bound (a device may never send a line feed), so
  // it looks at the interrupt flag now and then; an interrupt ends it.
  constexpr unsigned kInterruptPollBytes = 1u << 16;
  unsigned until_poll = kInterruptPollBytes;
  int c;
  do {
    if (--until_poll == 0) {
      until_poll = kInterruptPollBytes;
      if (interrupt_requested()) return false;
    }
    c = getc_unlocked(file);
  } while (c != EOF && c != '\n');
  return c == '\n';
}

bool read_line(std::FILE* file, std::string& line, std::size_t max, bool& nul_line_end) {
  nul_line_end = false;
  line.clear();
  if (!file || max == 0 || max >= INT_MAX) return false;
  if (take_buffered_line(file, line, max)) return true;
  // Filling the buffer with line feeds first shows where the read stopped
  // even when the line holds NUL bytes: a line feed that was read is
  // followed by the terminating NUL; otherwise the terminating NUL is
  // followed by the filling. The byte after the buffer is std::string's own
  // NUL.
  line.assign(max + 1, '\n');
  char* buffer = line.data();
  if (!read_chunk(buffer, static_cast<int>(max + 1), file)) {
    line.clear();
    return false;
  }
  const void* found = std::memchr(buffer, '\n', max + 1);
  std::size_t length;  // bytes read
  bool ended_with_line_feed = false;
  if (!found) {
    length = max;
  } else {
    std::size_t at = static_cast<std::size_t>(static_cast<const char*>(found) - buffer);
    if (at < max && buffer[at + 1] == '\0') {
      length = at + 1;
      ended_with_line_feed = true;
    } else {
      length = at - 1;
    }
  }
  const void* nul = std::memchr(buffer, '\0', length);
  if (!nul) {
    line.resize(length);
    return true;
  }
  std::size_t text = static_cast<std::size_t>(static_cast<const char*>(nul) - buffer);
  line.resize(text);
  if (text + 1 >= max) return true;  // the NUL was the last byte the line may take
  if (ended_with_line_feed)
    nul_line_end = true;
  else if (length == max)
    nul_line_end = skip_rest_of_line(file);
  return true;
}

}  // namespace host
