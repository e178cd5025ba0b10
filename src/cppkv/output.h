// The output channel: the primitive writers, text and empty lines,
// line-control lines, and the dependency list on standard output.
#pragma once

#include <cstdint>
#include <string_view>

namespace cppkv {

struct Run;

// The primitive writers; a failure (-1) is the fatal "cannot write output
// file".
void put_char(Run& run, int c);
void put_text(Run& run, std::string_view text);

// Writes text; after each line feed followed by more text, a line-control
// line for the current line.
void write_text(Run& run, std::string_view text);

// For a directive or inactive line: one line feed per line feed in the run
// that starts at the line's first line feed.
void write_blank_lines(Run& run, std::string_view line);

// "#line n "name"\n" with every "\" of the current name written as "/";
// nothing when line control is off.
void write_line_control(Run& run, std::uint32_t n);

// "input : path\n" on standard output.
void write_dependency(Run& run, std::string_view path);

}  // namespace cppkv
