// Run settings: everything the command line and the environment decide,
// set once before the source is read.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zrmackv {

constexpr std::size_t kMaxArgumentLength = 2048;
constexpr int kMaxLineLength = 256;

struct Settings {
  // File naming.
  std::string source_name;  // as given, completed with ".arq" when it has no "."
  bool source_given = false;
  std::string in_dir;       // directory of the source, without the final "\"
  std::string proc_file;    // base name without directory and extension
  std::string out_dir;      // -o directory, else in_dir
  bool out_dir_given = false;
  std::string out_source;   // scratch output file (.mrq)
  std::string mac_tag;      // tag file name
  bool tag_named = false;   // -t carried a name

  std::string include_dir;                 // -I text, ending in "\"
  std::vector<std::string> include_paths;  // INCKV directories, in order
  std::string temp_dir;                    // TMPKV, ending in "\" or ":"
  std::vector<std::pair<std::string, std::int32_t>> defines;  // -d list

  // One flag per option.
  bool opt_dot = false;
  bool opt_d = false;
  bool opt_f = false;            // ..FILE is proc_file
  bool opt_I = false;
  bool listing = false;          // -l
  bool list_continuation = false;  // -lc
  bool list_define = false;        // -ld
  bool list_macro = false;         // -lm
  bool opt_p = false;
  bool patch1 = false;           // shift_check on
  bool opt_t = false;            // tag file on
  bool opt_v = false;
  bool macname = false;
  bool opt_r = false;
  std::string r_text;

  bool info = false;
  bool infom = false;
  bool nosrc = false;
  bool equok = false;
  bool notime = false;
  bool line_cntr = false;

  int max_line_length = kMaxLineLength;

  // Side outputs a run makes only on request; a run without them is
  // unchanged.
  bool expand = false;                  // +expand: the scratch file keeps the expanded text
  std::string depfile;                  // +depfile=: make rule for the files read
  std::vector<std::string> deptargets;  // +deptarget=: the rule's targets
};

}  // namespace zrmackv
