// The run sequence of cppkv, from start-up to the exit code.
#include <cstdio>

#include "cppkv/cppkv.h"
#include "cppkv/directives.h"
#include "cppkv/macros.h"
#include "cppkv/options.h"
#include "cppkv/output.h"
#include "cppkv/reader.h"
#include "cppkv/report.h"
#include "cppkv/run.h"
#include "cppkv/side_outputs.h"

namespace cppkv {

namespace {

void read_kanji_code(Run& run, const Environment& env) {
  Settings& s = run.settings;
  s.kanji_code = KanjiCode::SJIS;
  auto it = env.find("WBKIN");
  if (it == env.end()) return;
  const std::string& v = it->second;
  if (v == "SJIS" || v == "sjis") return;
  if (v == "EUC" || v == "euc") {
    s.kanji_code = KanjiCode::EUC;
    return;
  }
  report(run, CLASS_WARNING, M_BAD_WBKIN);
}

int run_sequence(Run& run, const std::vector<std::string>& args, const Environment& env) {
  Settings& s = run.settings;
  create_macro_table(run);
  if (parse_command_line(run, args) == ParseOutcome::ExitNow) return 0;
  check_side_output_names(run);

  std::string_view var = system_include_variable_name(s.system_include_var);
  if (!var.empty()) {
    auto it = env.find(std::string(var));
    if (it != env.end()) s.system_include_path = it->second;
  }
  s.output_name.clear();

  if (open_source(run, s.input_name) != OpenResult::Ok)
    report(run, CLASS_FATAL, M_CANNOT_OPEN_INPUT, s.input_name);
  start_expanded_text(run);
  read_kanji_code(run, env);
  write_line_control(run, 1);

  process_input(run);

  if (run.endif_missing) report(run, CLASS_ERROR, M_ENDIF_NOT_EXIST);
  close_source(run);
  finish_side_outputs(run);

  if (run.error_flag) return 1;
  if (run.warning_flag) return s.stop_at_warning ? 10 : 0;
  if (!run.dependency_written) write_dependency(run, "");
  return 0;
}

}  // namespace

int run_cppkv(const std::vector<std::string>& args, const Environment& env, std::FILE* in,
              std::FILE* out, std::FILE* err, TextSink* sink) {
  int code;
  {
    Run run(in, out, err, sink);
    try {
      code = run_sequence(run, args, env);
    } catch (const FatalStop& stop) {
      code = stop.exit_code;
    }
  }  // the reader closes every file still open
  // Standard output carries the dependency list; when it could not be
  // written (a full disk, a closed pipe) the build tool must not take the
  // run for a success with an incomplete list: it ends like a fatal error.
  if ((std::fflush(out) != 0 || std::ferror(out)) && (code == 0 || code == 10)) code = 3;
  std::fflush(err);
  return code;
}

}  // namespace cppkv
