// The run configuration of cppkv, set while the command line is read.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace cppkv {

enum class KanjiCode { SJIS, EUC };

// The environment variable that names the system include path (-N).
enum class SystemIncludeVar { None, INCRQ, INCKV, INCHX, INCHY };

constexpr std::size_t kMaxNameLength = 511;  // input_name, output_name (512-byte buffers)
constexpr std::size_t kMaxIncludeDirs = 16;

struct Settings {
  std::string input_name;   // empty: standard input
  std::string output_name;  // cleared again before the input is opened
  std::optional<std::string> side_file_name;  // error file or tag file
  bool tag_mode = false;
  std::FILE* message_stream = nullptr;  // standard error unless -Wstdout
  bool warn_nested_comment = false;
  bool stop_at_warning = false;
  bool check_single_quote_asm = false;
  bool line_control = true;
  std::vector<std::string> include_dirs;  // each ends in a separator
  SystemIncludeVar system_include_var = SystemIncludeVar::None;
  std::string system_include_path;
  KanjiCode kanji_code = KanjiCode::SJIS;

  // Side outputs a run makes only on request; a run without them is
  // unchanged.
  std::string expand_file;              // -Wexpand_file: the preprocessed text
  std::string depfile;                  // -MF: make rule for the files read
  std::vector<std::string> deptargets;  // -MT: the rule's targets
};

}  // namespace cppkv
