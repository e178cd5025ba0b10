// Rewriting steps applied to the line buffer before its statement is
// scanned: temporary labels, macro-time names, .DEFINE replacement and
// removal of the "@" concatenation mark. Also the one writer that puts text
// into the scratch output file besides the diagnostic copy of "-l": the
// line-control pair of "+line_cntr".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zrmackv {

struct Run;

// The highest temporary-label number; the next "?:" is an error.
constexpr std::uint32_t kMaxTempLabels = 65535;

// Longest line the rewriting steps leave behind.
constexpr std::size_t kMaxRewrittenLine = 255;

struct Rewrite {
  // "?:" definitions of the run so far; never reset. A definition past
  // kMaxTempLabels is refused and leaves it there, so "?-" still names the
  // last label that was made.
  std::uint32_t tmp_label_count = 0;
  // Work areas kept between lines, so that rewriting allocates nothing once
  // they have grown.
  std::string scratch;
  std::string token;
};

// The characters that give a rewriting step something to do on a line.
enum RewriteMark : unsigned {
  MARK_BACKSLASH = 1u,   // a line continued by two backslashes
  MARK_QUESTION = 2u,    // temporary labels
  MARK_DOUBLE_DOT = 4u,  // macro-time names
};

// The RewriteMarks of line, found in one pass. A step whose mark is missing
// would leave the line as it is; one whose mark is there still makes its
// own exact search.
unsigned rewrite_marks(std::string_view line);

// Replaces "?:" by the next temporary-label name and "?+"/"?-" by the names
// of the next and the most recent one. Only for assembled lines.
void tmp_label_set(Run& run);

// Replaces ..FILE, ..MACREP and ..MACPARA by their values.
void mac_name_set(Run& run);

// Replaces the names defined with .DEFINE by their texts; cuts the line to
// 255 characters.
void define_replace(Run& run);

// Drops the "@" concatenation marks and takes the statement text again.
void concat_remove(Run& run);

// Under "+line_cntr": writes the line-control pair for a macro call on line
// line_no into the output file. Called once a macro call has been accepted.
void line_cntr_write(Run& run, std::int32_t line_no);

}  // namespace zrmackv
