// .INCLUDE (search and push of include files) and .ASSERT (messages).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace zrmackv {

struct Run;

// Longest file name or path the program opens. A longer candidate is not
// tried at all: it is refused as a file that cannot be opened.
constexpr std::size_t kMaxPathLength = 2052;

// Runs .INCLUDE for the current statement; on success the next line comes
// from the include file.
void include_directive(Run& run);

// Searches for the include file written as name: an absolute name only as
// written; otherwise in the source's directory, the "-I" directory and each
// INCKV directory, in that order. Returns the opened file (and its path in
// path, also appended to the dependency list) or nullptr.
std::FILE* include_open(Run& run, std::string_view name, std::string& path);

// Runs .ASSERT for the current statement.
void assert_directive(Run& run);

}  // namespace zrmackv
