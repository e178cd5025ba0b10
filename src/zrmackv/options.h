// Command line, environment and file naming of a run.
#pragma once

#include <string>
#include <vector>

#include "zrmackv/zrmackv.h"

namespace zrmackv {

struct Run;

// What the command line asks for at once.
enum class ParseOutcome {
  Continue,
  ExitNow,             // the option list was printed
  ExitAfterCleanup,    // the revision listing was printed
};

// Reads TMPKV and INCKV.
void read_environment(Run& run, const Environment& env);

// Parses the arguments left to right. Set-up fatal messages are only
// recorded.
ParseOutcome parse_command_line(Run& run, const std::vector<std::string>& args);

// Derives in_dir, proc_file, out_dir, out_source and mac_tag.
void derive_file_names(Run& run);

// Pieces printed by -v, "+option_list" and "+modify".
void print_version_line(Run& run);
void print_option_list(Run& run);
void print_revision_listing(Run& run);

// The revision identifiers, one per source unit: eleven for the revision
// listing, twelve (with the macrorq header) for the information file.
std::vector<const char*> revision_identifiers(bool with_macrorq);

}  // namespace zrmackv
