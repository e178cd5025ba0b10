#include "cppkv/options.h"

#include <cstdio>
#include <cstring>

#include "cppkv/macros.h"
#include "cppkv/report.h"
#include "cppkv/run.h"
#include "cppkv/side_outputs.h"
#include "host/host.h"

namespace cppkv {

namespace {

constexpr const char* kBanner = "   C Preprocessor\t\tVersion 4.01.00\n";

[[noreturn]] void illegal_option(Run& run) {
  report(run, CLASS_COMMAND, M_ILLEGAL_COMMAND_OPTION);
  throw FatalStop{2};  // not reached: class 3 throws
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_id_start(char c) { return is_letter(c) || c == '_'; }
bool is_id_char(char c) { return is_id_start(c) || is_digit(c); }

// Length of the identifier at the start of text (0 when there is none).
std::size_t identifier_length(std::string_view text) {
  if (text.empty() || !is_id_start(text[0])) return 0;
  std::size_t n = 1;
  while (n < text.size() && is_id_char(text[n])) ++n;
  return n;
}

// -D value: name, then the end, a blank (empty value), or "=" and a value
// running to the first blank outside quotes. false when malformed.
bool define_option(Run& run, std::string_view text) {
  std::size_t n = identifier_length(text);
  if (n == 0) return false;
  std::string_view name = text.substr(0, n);
  std::string_view rest = text.substr(n);
  if (rest.empty() || rest[0] == ' ') {
    define_macro(run, name, "");
    return true;
  }
  if (rest[0] != '=') return false;
  rest.remove_prefix(1);
  std::size_t i = 0;
  while (i < rest.size() && rest[i] != ' ') {
    if (rest[i] == '"' || rest[i] == '\'') {
      char quote = rest[i++];
      while (i < rest.size() && rest[i] != quote) ++i;
      if (i < rest.size()) ++i;  // the closing quote; unclosed: to the end
      continue;
    }
    ++i;
  }
  define_macro(run, name, rest.substr(0, i));
  return true;
}

// -I value: directories separated by "," or blanks, each stored with "\"
// appended unless it ends in a separator. false when malformed (no
// directory at all, or one longer than a name buffer) or over the limit.
bool include_option(Run& run, std::string_view text) {
  std::vector<std::string>& dirs = run.settings.include_dirs;
  bool any = false;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ',' || text[i] == ' ') {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < text.size() && text[j] != ',' && text[j] != ' ') ++j;
    std::string dir(text.substr(i, j - i));
    if (!host::is_separator(dir.back())) dir += '\\';
    if (dir.size() > kMaxNameLength) return false;
    if (dirs.size() >= kMaxIncludeDirs) return false;
    dirs.push_back(std::move(dir));
    any = true;
    i = j;
  }
  return any;
}

// -U value: an identifier followed by nothing or a blank.
bool undefine_option_valid(std::string_view text) {
  std::size_t n = identifier_length(text);
  if (n == 0) return false;
  return n == text.size() || text[n] == ' ';
}

// The tag-file name: the input name with its extension replaced by ".ctg".
std::string tag_file_name(std::string_view input) {
  std::size_t sep = host::last_separator(input);
  std::size_t start = sep == std::string_view::npos ? 0 : sep + 1;
  std::size_t dot = input.rfind('.');
  std::string name(input);
  if (dot != std::string_view::npos && dot >= start) name.resize(dot);
  name += ".ctg";
  return name;
}

// A side file that is the input itself would delete the input (tag file)
// or grow it while it is read (error file): it is refused before anything
// is deleted or written, and no record goes into it.
void refuse_side_file_that_is_input(Run& run) {
  Settings& s = run.settings;
  if (!s.side_file_name || s.input_name.empty()) return;
  if (!host::same_file(*s.side_file_name, s.input_name)) return;
  s.side_file_name.reset();
  report(run, CLASS_FATAL, M_CANNOT_OPEN_TAG_FILE);
}

// The tag file named before the input is deleted only once the input is
// known not to be it (or when no input follows).
struct DeferredTagRemoval {
  bool pending = false;
  void settle(Run& run) {
    if (!pending) return;
    pending = false;
    if (run.settings.side_file_name) host::remove_file(*run.settings.side_file_name);
  }
};

}  // namespace

ParseOutcome parse_command_line(Run& run, const std::vector<std::string>& args) {
  Settings& s = run.settings;
  bool input_given = false;
  DeferredTagRemoval tag_removal;
  const std::size_t count = args.size();

  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view a = args[i];
    const bool is_last = i + 1 == count;

    // The value of an option: the rest of the argument after `skip`
    // characters, or the next argument when nothing follows.
    auto value_of = [&](std::size_t skip) -> std::string_view {
      if (a.size() > skip) return a.substr(skip);
      if (is_last) illegal_option(run);
      return args[++i];
    };
    // Skips the next argument when the option is exactly `length` long.
    auto skip_next_if_bare = [&](std::size_t length) {
      if (a.size() != length) return;
      if (is_last) illegal_option(run);
      ++i;
    };

    if (a.empty() || a[0] != '-') {
      if (input_given) illegal_option(run);
      std::string_view name = a.substr(0, a.find(' '));
      if (name.empty() || name.size() > kMaxNameLength) illegal_option(run);
      if (name == std::string_view(s.output_name)) illegal_option(run);
      s.input_name.assign(name);
      input_given = true;
      refuse_side_file_that_is_input(run);
      tag_removal.settle(run);
      continue;
    }

    if (starts_with(a, "-Wccom_max_warnings")) {
      skip_next_if_bare(19);
      continue;
    }
    if (starts_with(a, "-WCMW") || starts_with(a, "-asrq") || starts_with(a, "-lnrq")) {
      skip_next_if_bare(5);
      continue;
    }
    if (starts_with(a, "-dir")) {
      skip_next_if_bare(4);
      continue;
    }
    if (starts_with(a, "-l")) {
      skip_next_if_bare(2);
      continue;
    }
    if (a.size() < 2) continue;  // "-" alone

    // Options of the opt-in side outputs, kept apart from the classic ones.
    if (bool exit_now; side_output_option(run, args, i, exit_now)) {
      if (exit_now) return ParseOutcome::ExitNow;
      continue;
    }

    switch (a[1]) {
      case 'D':
        if (!define_option(run, value_of(2))) illegal_option(run);
        break;
      case 'I':
        if (!include_option(run, value_of(2))) illegal_option(run);
        break;
      case 'U':
        if (!undefine_option_valid(value_of(2))) illegal_option(run);
        break;
      case 'P':
        s.line_control = false;
        [[fallthrough]];
      case 'o': {
        if (is_last) illegal_option(run);
        if (!s.output_name.empty()) illegal_option(run);
        std::string_view name = value_of(2);
        if (name.size() > kMaxNameLength) illegal_option(run);
        s.output_name.assign(name);
        break;
      }
      case 'N': {
        std::string_view word = a.substr(2);
        if (starts_with(word, "CRQWA"))
          s.system_include_var = SystemIncludeVar::INCRQ;
        else if (starts_with(word, "CKVWA"))
          s.system_include_var = SystemIncludeVar::INCKV;
        else if (starts_with(word, "CHXWA"))
          s.system_include_var = SystemIncludeVar::INCHX;
        else if (starts_with(word, "CHYWA"))
          s.system_include_var = SystemIncludeVar::INCHY;
        break;
      }
      case 'V':
        tag_removal.settle(run);
        std::fputs(kBanner, s.message_stream);
        return ParseOutcome::ExitNow;
      case 'W': {
        std::string_view sub = a.substr(2);
        if (starts_with(sub, "error_file") || starts_with(sub, "EF")) {
          if (is_last) illegal_option(run);
          if (s.side_file_name) illegal_option(run);
          std::size_t skip = starts_with(sub, "error_file") ? 12 : 4;
          s.side_file_name = std::string(value_of(skip));
          refuse_side_file_that_is_input(run);
        } else if (starts_with(sub, "make_tagfile") || starts_with(sub, "MT")) {
          s.side_file_name = tag_file_name(s.input_name);
          s.tag_mode = true;
          tag_removal.pending = true;
          if (input_given) {
            refuse_side_file_that_is_input(run);
            tag_removal.settle(run);
          }
        } else if (sub == "stdout") {
          s.message_stream = run.out;
        } else if (sub == "all") {
          s.warn_nested_comment = true;
        } else if (sub == "stop_at_warning" || sub == "SAW") {
          s.stop_at_warning = true;
        } else if (sub == "check_single_quote_asm" || sub == "CSQA") {
          s.check_single_quote_asm = true;
        }
        break;
      }
      case 'c':
        s.warn_nested_comment = true;
        break;
      case 'f':
        if (starts_with(a.substr(2), "ansi")) define_macro(run, "__STDC__", "1");
        break;
      default:
        break;  // unknown option letters are ignored
    }
  }
  tag_removal.settle(run);
  return ParseOutcome::Continue;
}

std::string_view system_include_variable_name(SystemIncludeVar var) {
  switch (var) {
    case SystemIncludeVar::INCRQ: return "INCRQ";
    case SystemIncludeVar::INCKV: return "INCKV";
    case SystemIncludeVar::INCHX: return "INCHX";
    case SystemIncludeVar::INCHY: return "INCHY";
    case SystemIncludeVar::None: break;
  }
  return {};
}

}  // namespace cppkv
