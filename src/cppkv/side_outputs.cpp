#include "cppkv/side_outputs.h"

#include <cstring>

#include "cppkv/report.h"
#include "cppkv/run.h"
#include "host/host.h"
#include "host/make_rule.h"

namespace cppkv {

namespace {

constexpr std::string_view kExpandFileOption = "-Wexpand_file";

void print_usage(Run& run) {
  std::fputs(
      "Usage: cppkv { option | source-name }\n"
      "C preprocessor for the Orsk/K,Velk/K Series: preprocesses one C source\n"
      "(standard input when none is named), reports its diagnostics and prints one\n"
      "dependency line per included file it opens.\n"
      "\n"
      "  -DNAME[=VALUE]       define an object-like macro\n"
      "  -IDIR[,DIR...]       include directories (16 at most)\n"
      "  -UNAME               check NAME is an identifier (removes nothing)\n"
      "  -oFILE, -PFILE       output name, checked only; -P also drops #line lines\n"
      "  -NCRQWA, -NCKVWA, -NCHXWA, -NCHYWA\n"
      "                       system include path from INCRQ, INCKV, INCHX, INCHY\n"
      "  -V                   print the version banner\n"
      "  -Werror_fileFILE     append every message to FILE (also -WEF FILE)\n"
      "  -Wmake_tagfile       tag file <source>.ctg (also -WMT)\n"
      "  -Wstdout             messages on standard output\n"
      "  -Wall, -c            warn about /* inside a comment\n"
      "  -Wstop_at_warning    exit with 10 after warnings (also -WSAW)\n"
      "  -Wcheck_single_quote_asm\n"
      "                       check quotes inside #pragma ASM blocks (also -WCSQA)\n"
      "  -fansi               define __STDC__ as 1\n"
      "  -Wexpand_file NAME   write the preprocessed text to NAME\n"
      "  -MF NAME             write a make rule for the files the run read to NAME\n"
      "  -MT TARGET           target of that rule (default <base>.o)\n"
      "  --help               print this summary\n"
      "\n"
      "Environment: WBKIN kanji code (SJIS or EUC), INCRQ/INCKV/INCHX/INCHY system\n"
      "include directories (';'-separated).\n"
      "Exit codes: 0 success, 1 errors, 2 command-line error or #error, 3 fatal\n"
      "error, 4 internal error, 10 warnings under -Wstop_at_warning.\n",
      run.out);
}

[[noreturn]] void illegal_option(Run& run) {
  report(run, CLASS_COMMAND, M_ILLEGAL_COMMAND_OPTION);
  throw FatalStop{2};  // not reached: class 3 throws
}

// The value of an option: the text after its prefix, or the next argument
// when nothing follows it. An empty or over-long value is refused.
std::string_view option_value(Run& run, const std::vector<std::string>& args, std::size_t& i,
                              std::size_t prefix) {
  std::string_view a = args[i];
  std::string_view value;
  if (a.size() > prefix) {
    value = a.substr(prefix);
  } else {
    if (i + 1 == args.size()) illegal_option(run);
    value = args[++i];
  }
  if (value.empty() || value.size() > kMaxNameLength) illegal_option(run);
  return value;
}

bool same_name(std::string_view a, std::string_view b) {
  return !a.empty() && !b.empty() && (a == b || host::same_file(a, b));
}

}  // namespace

bool ExpandFileSink::open(std::string_view name, TextSink* inner) {
  inner_ = inner;
  file_ = host::open_file(name, "wb");
  if (!file_) return false;
  buffer_.reset(new char[kBufferSize]);
  return true;
}

bool ExpandFileSink::drain() {
  if (used_ != 0 && std::fwrite(buffer_.get(), 1, used_, file_) != used_) failed_ = true;
  used_ = 0;
  return !failed_;
}

int ExpandFileSink::put_char(int c) {
  int r = inner_->put_char(c);
  if (r < 0) return r;
  if (used_ == kBufferSize && !drain()) return -1;
  buffer_[used_++] = static_cast<char>(c);
  return r;
}

int ExpandFileSink::put_text(std::string_view text) {
  int r = inner_->put_text(text);
  if (r < 0) return r;
  if (text.size() > kBufferSize - used_) {
    if (!drain()) return -1;
    if (text.size() > kBufferSize) {  // too big to buffer: straight to the file
      if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
      return failed_ ? -1 : r;
    }
  }
  std::memcpy(buffer_.get() + used_, text.data(), text.size());
  used_ += text.size();
  return r;
}

bool ExpandFileSink::close() {
  if (!file_) return !failed_;
  drain();
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

bool side_output_option(Run& run, const std::vector<std::string>& args, std::size_t& i,
                        bool& exit_now) {
  Settings& s = run.settings;
  std::string_view a = args[i];
  exit_now = false;
  if (a == "--help") {
    print_usage(run);
    exit_now = true;
  } else if (a.starts_with(kExpandFileOption)) {
    if (!s.expand_file.empty()) illegal_option(run);
    s.expand_file.assign(option_value(run, args, i, kExpandFileOption.size()));
  } else if (a.starts_with("-MF")) {
    if (!s.depfile.empty()) illegal_option(run);
    s.depfile.assign(option_value(run, args, i, 3));
  } else if (a.starts_with("-MT")) {
    s.deptargets.emplace_back(option_value(run, args, i, 3));
  } else {
    return false;
  }
  return true;
}

void check_side_output_names(Run& run) {
  const Settings& s = run.settings;
  for (const std::string* name : {&s.expand_file, &s.depfile}) {
    if (name->empty()) continue;
    if (same_name(*name, s.input_name)) illegal_option(run);
    if (s.side_file_name && same_name(*name, *s.side_file_name)) illegal_option(run);
  }
  if (same_name(s.expand_file, s.depfile)) illegal_option(run);
}

void start_expanded_text(Run& run) {
  if (run.settings.expand_file.empty()) return;
  if (!run.expand_sink.open(run.settings.expand_file, run.sink))
    report(run, CLASS_FATAL, M_CANNOT_WRITE_OUTPUT);
  run.sink = &run.expand_sink;
}

void record_opened_file(Run& run, std::string_view path) {
  if (run.settings.depfile.empty() || path.empty()) return;
  if (run.opened_seen.emplace(path).second) run.opened_files.emplace_back(path);
}

void finish_side_outputs(Run& run) {
  const Settings& s = run.settings;
  if (!s.expand_file.empty() && !run.expand_sink.close())
    report(run, CLASS_FATAL, M_CANNOT_WRITE_OUTPUT);
  if (s.depfile.empty()) return;
  std::vector<std::string> targets = s.deptargets;
  if (targets.empty())
    targets.push_back(host::default_make_target(s.input_name.empty() ? "-" : s.input_name));
  std::string rule = host::make_rule(targets, s.input_name, run.opened_files);
  if (!host::replace_file(s.depfile, rule)) report(run, CLASS_FATAL, M_CANNOT_WRITE_OUTPUT);
}

}  // namespace cppkv
