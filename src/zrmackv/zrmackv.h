// Public entry of the assembler macro processor.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zrmackv {

class LineWriter;

using Environment = std::map<std::string, std::string>;

// Runs one whole macro-processor run: args are the arguments after the
// program name, env the environment, out standard output. Lines that survive
// processing go to writer (nullptr: the default writer, which discards).
// program is the program's own path as started, for the information file.
// Returns the exit code.
int run_zrmackv(const std::vector<std::string>& args, const Environment& env, std::FILE* out,
                LineWriter* writer = nullptr, std::string_view program = "zrmackv");

}  // namespace zrmackv
