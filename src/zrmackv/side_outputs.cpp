#include "zrmackv/side_outputs.h"

#include "host/host.h"
#include "host/make_rule.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

constexpr std::string_view kDepfileOption = "+depfile=";
constexpr std::string_view kDeptargetOption = "+deptarget=";

void print_usage(Run& run) {
  std::fputs(
      "Usage: zrmackv { option | source-name }\n"
      "Assembler macro processor for the Orsk/K,Velk/K Series: carries out the macro\n"
      "language of one source (extension .arq when none is given), prints its\n"
      "diagnostics and one dependency line per include file it opens.\n"
      "\n"
      "  -dNAME=VALUE[:...]  define symbols (a last letter B, O or H picks the radix)\n"
      "  -f                  ..FILE stands for the source's base name\n"
      "  -IDIR               include directory, searched before INCKV\n"
      "  -l[LETTERS]         listing: diagnostics copied into the .mrq file, and\n"
      "                      under +expand the listed lines (m: .ENDM/.ENDR too)\n"
      "  -oDIR               folder of the .mrq and .atg files\n"
      "  -patch1             shift-mnemonic check\n"
      "  -t[NAME]            tag file: a copy of every diagnostic\n"
      "  -v                  print the version line\n"
      "  +info, +infom       information file mackv.inf (in TMPKV)\n"
      "  +line_cntr          line-control pair at each macro call\n"
      "  +expand             keep the expanded source in <out-dir>/<base>.mrq\n"
      "  +depfile=NAME       write a make rule for the files the run read to NAME\n"
      "  +deptarget=TARGET   target of that rule (default <base>.o)\n"
      "  +option_list        print the option list\n"
      "  +modify             print the revision listing\n"
      "  --help              print this summary\n"
      "\n"
      "Environment: INCKV include directories (';'-separated), TMPKV folder of the\n"
      "information file.\n"
      "Exit codes: 0 success, 1 interrupted, 2 fatal error, 3 errors in the source,\n"
      "4 command-line error.\n",
      run.out);
}

}  // namespace

bool side_output_option(Run& run, std::string_view arg, ParseOutcome& outcome) {
  Settings& s = run.settings;
  outcome = ParseOutcome::Continue;
  if (arg == "--help") {
    print_usage(run);
    outcome = ParseOutcome::ExitNow;
  } else if (arg == "+expand") {
    s.expand = true;
  } else if (arg.starts_with(kDepfileOption)) {
    std::string_view name = arg.substr(kDepfileOption.size());
    if (name.empty() || host::is_separator(name.back()))
      message_set(run, F_INVALID_OPTION, arg, MSG_SETUP_FATAL);
    else
      s.depfile.assign(name);
  } else if (arg.starts_with(kDeptargetOption)) {
    std::string_view target = arg.substr(kDeptargetOption.size());
    if (target.empty())
      message_set(run, F_INVALID_OPTION, arg, MSG_SETUP_FATAL);
    else
      s.deptargets.emplace_back(target);
  } else {
    return false;
  }
  return true;
}

void check_side_output_names(Run& run) {
  const Settings& s = run.settings;
  if (s.depfile.empty()) return;
  bool own_file = host::same_file(s.depfile, s.source_name) ||
                  host::same_file(s.depfile, s.out_source) ||
                  (s.opt_t && host::same_file(s.depfile, s.mac_tag));
  if (own_file) fatal_stop(run, F_CANT_CREATE, s.depfile);
}

void start_expanded_text(Run& run) {
  if (!run.settings.expand) return;
  run.expanding.attach(run.writer, &run.files.output);
  run.writer = &run.expanding;
}

void finish_side_outputs(Run& run) {
  const Settings& s = run.settings;
  if (s.expand && run.files.output &&
      (std::fflush(run.files.output) != 0 || std::ferror(run.files.output)))
    fatal_stop(run, F_CANT_CREATE, s.out_source);
  if (s.depfile.empty()) return;
  std::vector<std::string> targets = s.deptargets;
  if (targets.empty()) targets.push_back(host::default_make_target(s.source_name));
  std::string rule = host::make_rule(targets, s.source_name, run.dependencies.first_openings());
  if (!host::replace_file(s.depfile, rule)) fatal_stop(run, F_CANT_CREATE, s.depfile);
}

}  // namespace zrmackv
