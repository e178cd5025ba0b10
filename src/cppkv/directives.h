// The directive engine: the line loop over the whole input, with the
// conditional levels, and the directives themselves.
#pragma once

#include <cstddef>
#include <string_view>

namespace cppkv {

struct Run;

// What a logical line is.
enum DirectiveCode : int {
  D_TEXT = 1,
  D_NULL = 2,
  D_INCLUDE = 3,
  D_DEFINE = 4,
  D_UNDEF = 5,
  D_IF = 6,
  D_IFDEF = 7,
  D_IFNDEF = 8,
  D_ELIF = 9,
  D_ELSE = 10,
  D_ENDIF = 11,
  D_LINE = 12,
  D_ASSERT = 13,
  D_PRAGMA = 14,
  D_ERROR = 15,
};

// Classifies a cleaned line; pos becomes the position after the directive
// name. A "#" line with an unknown name is reported ("unknown preprocess
// command") and is a text line.
DirectiveCode classify_line(Run& run, std::string_view line, std::size_t& pos);

// Runs over the main input until it is exhausted, at conditional depth 0.
void process_input(Run& run);

}  // namespace cppkv
