// Conditional expressions of #if, #elif and #assert.
#pragma once

#include <cstdint>
#include <string>

namespace cppkv {

struct Run;

// Rewrites escape sequences in character constants of an #if or #elif line.
void convert_escapes(Run& run, std::string& line);

// Evaluates text up to its line feed; false when the expression is not
// understood (reported by the caller as "illegal operation").
bool evaluate_condition(Run& run, std::string_view text, std::int32_t& value);

}  // namespace cppkv
