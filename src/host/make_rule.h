// Make-style dependency files, written the same way by both programs: one
// rule "target: source dep..." and an empty rule per dependency, so that a
// deleted header ends in a rebuild rather than in "no rule to make target".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host {

// name as make reads it: "\" written as "/", blanks, tabs and "#" escaped
// with "\", "$" doubled.
std::string make_escape(std::string_view name);

// The whole file: "targets: source deps" with lines continued by " \" before
// they pass 80 columns, then "dep:" for each dependency. Every name appears
// once, at its first place; source may be empty (standard input), and a
// dependency equal to it is not repeated.
std::string make_rule(const std::vector<std::string>& targets, std::string_view source,
                      const std::vector<std::string>& dependencies);

// The default target: the base name of source (no folder, no extension)
// with ".o".
std::string default_make_target(std::string_view source);

}  // namespace host
