// Reading text files line by line without touching every byte one call at a
// time: the C library's buffered line read does the scanning and copying.
#pragma once

#include <cstdio>
#include <string>

namespace host {

// Reads one physical line of at most max bytes, its line feed included, into
// line. A NUL byte ends the text as it would end a C string: when it stands
// before the last of the max bytes, the bytes after it are consumed up to the
// line feed and lost, and nul_line_end tells whether that line feed was
// found. Returns false at the end of the file when nothing was read, and on a
// read error (ferror tells which).
bool read_line(std::FILE* file, std::string& line, std::size_t max, bool& nul_line_end);

// Consumes the rest of a line up to and including its line feed; true when
// the line feed was found (false at the end of the file, on a read error or
// when a console interrupt cuts the read short).
bool skip_rest_of_line(std::FILE* file);

}  // namespace host
