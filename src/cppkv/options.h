// The command line of cppkv.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cppkv/settings.h"

namespace cppkv {

struct Run;

enum class ParseOutcome { Continue, ExitNow };

// Reads the arguments left to right. Faults stop the run
// with "illegal command option" (FatalStop, exit code 2); -V prints the
// banner and returns ExitNow.
ParseOutcome parse_command_line(Run& run, const std::vector<std::string>& args);

// "INCRQ" ... for the -N selection; empty for none.
std::string_view system_include_variable_name(SystemIncludeVar var);

}  // namespace cppkv
