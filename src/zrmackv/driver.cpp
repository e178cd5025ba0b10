#include "zrmackv/driver.h"

#include <new>

#include "host/host.h"
#include "zrmackv/line_engine.h"
#include "zrmackv/options.h"
#include "zrmackv/run.h"
#include "zrmackv/side_outputs.h"

namespace zrmackv {

namespace {

void open_files(Run& run) {
  Settings& s = run.settings;
  SourceReader& src = run.source;
  if (run.info.active) info_place(run.info, RaisingPlace::current());
  src.source_file = src_fopen(run, s.source_name, "rb", src.source_state);
  if (!src.source_file) fatal_stop(run, F_CANT_OPEN, s.source_name);
  // A side file that is the source itself (prog.mrq or prog.atg given as the
  // source, or -t naming it) would truncate or grow the source while it is
  // read, and the scratch file is deleted at the end: refuse to create it.
  if (host::same_file(s.out_source, s.source_name)) fatal_stop(run, F_CANT_CREATE, s.out_source);
  run.files.output = src_fcreate(run, s.out_source, run.files.output_state, true);
  if (!run.files.output) fatal_stop(run, F_CANT_CREATE, s.out_source);
  if (run.info.active) info_place(run.info, RaisingPlace::current());
  if (s.opt_t) {
    // Nor may the tag file be the source, or the scratch file that the end
    // of the run deletes.
    if (host::same_file(s.mac_tag, s.source_name) || host::same_file(s.mac_tag, s.out_source))
      fatal_stop(run, F_CANT_CREATE, s.mac_tag);
    // A named tag file is the user's own and is appended to; the default
    // one is created afresh like the scratch file.
    run.files.tag = s.tag_named ? src_fopen(run, s.mac_tag, "ab", run.files.tag_state)
                                : src_fcreate(run, s.mac_tag, run.files.tag_state, false);
    if (!run.files.tag) fatal_stop(run, F_CANT_CREATE, s.mac_tag);
  }
  src.current = src.source_file;
  src.current_file = s.source_name;
  message_print(run);
}

// Checks made when the source ended without an executed .END.
void end_of_source_checks(Run& run) {
  if (run.end_executed) return;
  run.end_checks_begun = true;
  end_of_source_state_checks(run);
  message_print(run);
}

void print_dependencies(Run& run) {
  const std::string& source = run.settings.source_name;
  if (run.dependencies.empty()) {
    std::fprintf(run.out, "%s :\n", source.c_str());
    return;
  }
  for (const std::string& path : run.dependencies)
    std::fprintf(run.out, "%s : %s\n", source.c_str(), path.c_str());
}

int run_sequence(Run& run, std::string_view program, const std::vector<std::string>& args,
                 const Environment& env) {
  Settings& s = run.settings;
  read_environment(run, env);
  switch (parse_command_line(run, args)) {
    case ParseOutcome::ExitNow:
      return 0;
    case ParseOutcome::ExitAfterCleanup:
      end_of_run(run);
      return 0;
    case ParseOutcome::Continue:
      break;
  }
  if (s.info) info_open(run, program, args);
  if (s.opt_v) {
    print_version_line(run);
    info_close(run);
    return 0;
  }
  message_print(run);  // a set-up fatal message ends the run here
  load_reserved_words(run);
  derive_file_names(run);
  info_names(run);
  open_files(run);
  check_side_output_names(run);
  start_expanded_text(run);
  if (!line_loop(run)) throw InterruptStop{};
  end_of_source_checks(run);
  finish_side_outputs(run);
  end_of_run(run);
  print_dependencies(run);
  return run.messages.error_count != 0 ? 3 : 0;
}

}  // namespace

void end_of_run(Run& run) {
  // Removed while the scratch file is still open and locked, so that no
  // other run can take the names over in between. Under +expand the scratch
  // file is the expanded source the user asked for.
  if (!run.settings.out_source.empty() && !run.settings.expand)
    host::remove_file(run.settings.out_source);
  if (run.settings.opt_t && !run.settings.tag_named && run.files.tag_state != FILE_NEVER_OPENED &&
      !run.messages.tag_received)
    host::remove_file(run.settings.mac_tag);
  info_close(run);
  std::fputs("\n", run.out);
}

int interrupt_stop(Run& run) {
  host::ignore_interrupts();
  info_user_abort(run.info);
  info_close(run);
  std::fputs("\n", run.out);
  std::fflush(run.out);
  return 1;
}

int run_zrmackv(const std::vector<std::string>& args, const Environment& env, std::FILE* out,
                LineWriter* writer, std::string_view program) {
  Run run(out, writer);
  int code;
  try {
    code = run_sequence(run, program, args, env);
  } catch (const FatalStop& stop) {
    code = stop.exit_code;
  } catch (const InterruptStop&) {
    code = interrupt_stop(run);
  } catch (const std::bad_alloc&) {
    // Memory exhaustion anywhere is the run-time fatal "Not enough memory".
    try {
      fatal_stop(run, F_NO_MEMORY, {});
    } catch (const FatalStop& stop) {
      code = stop.exit_code;
    }
  }
  // Diagnostics and the dependency listing go to standard output; when it
  // could not be written (a full disk, a closed pipe) the build tool must not
  // take the run for a success with an incomplete listing.
  if ((std::fflush(out) != 0 || std::ferror(out)) && (code == 0 || code == 3)) code = 2;
  return code;
}

}  // namespace zrmackv
