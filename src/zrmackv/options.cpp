#include "zrmackv/options.h"

#include <cctype>
#include <string_view>

#include "host/host.h"
#include "zrmackv/run.h"
#include "zrmackv/side_outputs.h"

namespace zrmackv {

namespace {

constexpr const char* kProgramName = "zrmackv";
constexpr const char* kVersion = "2.10.00";

bool is_identifier_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '$' || c == '?' || c == '_';
}

void record_invalid(Run& run, std::string_view text) {
  message_set(run, F_INVALID_OPTION, text, MSG_SETUP_FATAL);
}

// Defines one name=value pair of -d; false when the pair is malformed.
bool define_one(Run& run, std::string_view definition) {
  std::size_t eq = definition.find('=');
  if (eq == std::string_view::npos || eq == 0) return false;
  std::string_view name = definition.substr(0, eq);
  std::string_view value_text = definition.substr(eq + 1);
  for (char c : name)
    if (!is_identifier_char(c)) return false;
  for (char c : value_text)  // a second "=" fails here too
    if (!is_identifier_char(c)) return false;
  int status = CONV_NONE;
  std::int32_t value = figure_convert_by_suffix(value_text, status);
  if (status != CONV_NONE) return false;
  symbol_set(run, name, S_EQU, value);
  run.settings.defines.emplace_back(std::string(name), value);
  return true;
}

// -d text: definitions separated by ":", each entered at once; the ones
// before a failing definition stay.
bool parse_defines(Run& run, std::string_view text) {
  for (;;) {
    std::size_t colon = text.find(':');
    if (!define_one(run, text.substr(0, colon))) return false;
    if (colon == std::string_view::npos) return true;
    text.remove_prefix(colon + 1);
  }
}

void parse_listing_letters(Run& run, std::string_view letters) {
  Settings& s = run.settings;
  for (char c : letters) {
    switch (std::tolower(static_cast<unsigned char>(c))) {
      case 'c': s.listing = s.list_continuation = true; break;
      case 'd': s.listing = s.list_define = true; break;
      case 'i': s.listing = true; break;
      case 'm': s.listing = s.list_macro = true; break;
      default: break;
    }
  }
  if (letters.size() > 5) record_invalid(run, letters);
}

void strip_trailing_separators(std::string& dir) {
  while (!dir.empty() && host::is_separator(dir.back())) dir.pop_back();
}

void parse_minus_option(Run& run, const std::string& arg) {
  Settings& s = run.settings;
  if (arg.size() < 2) return;  // "-" alone: no letter, ignored
  char letter = arg[1];
  std::string_view text = std::string_view(arg).substr(2);
  std::string_view after_dash = std::string_view(arg).substr(1);
  char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  if (letter == 'm') {
    if (after_dash == "macname")
      s.macname = true;
    else
      record_invalid(run, arg);
    return;
  }
  if (letter == 'r') {
    if (!text.empty()) {
      s.opt_r = true;
      s.r_text.assign(text);
    }
    return;
  }
  switch (lower) {
    case '.':
      if (text.empty()) s.opt_dot = true; else record_invalid(run, arg);
      break;
    case 'd':
      s.opt_d = true;
      if (text.empty() || !parse_defines(run, text)) record_invalid(run, arg);
      break;
    case 'f':
      if (text.empty()) s.opt_f = true; else record_invalid(run, arg);
      break;
    case 'i':
      if (text.empty()) {
        record_invalid(run, arg);
      } else {
        s.opt_I = true;
        s.include_dir.assign(text);
        if (!host::is_separator(s.include_dir.back())) s.include_dir += '\\';
      }
      break;
    case 'l':
      if (text.empty()) s.listing = true; else parse_listing_letters(run, text);
      break;
    case 'o':
      if (text.empty()) {
        record_invalid(run, arg);
      } else {
        s.out_dir_given = true;
        s.out_dir.append(text);
        strip_trailing_separators(s.out_dir);
      }
      break;
    case 'p':
      if (text.empty()) s.opt_p = true;
      else if (after_dash == "patch1") s.patch1 = true;
      else record_invalid(run, arg);
      break;
    case 't':
      s.opt_t = true;
      if (!text.empty()) {
        s.tag_named = true;
        s.mac_tag.assign(text);
      }
      break;
    case 'v':
      if (text.empty()) s.opt_v = true; else record_invalid(run, arg);
      break;
    default:
      break;  // not an option letter: ignored
  }
}

ParseOutcome parse_plus_option(Run& run, std::string_view name) {
  Settings& s = run.settings;
  if (name == "info") s.info = true;
  else if (name == "infom") s.info = s.infom = true;
  else if (name == "nosrc") s.nosrc = true;
  else if (name == "equok") s.equok = true;
  else if (name == "notime") s.notime = true;
  else if (name == "line_cntr") s.line_cntr = true;
  else if (name == "modify") {
    print_revision_listing(run);
    return ParseOutcome::ExitAfterCleanup;
  } else if (name == "option_list") {
    print_option_list(run);
    return ParseOutcome::ExitNow;
  }
  return ParseOutcome::Continue;
}

}  // namespace

void read_environment(Run& run, const Environment& env) {
  Settings& s = run.settings;
  if (auto it = env.find("TMPKV"); it != env.end()) {
    s.temp_dir = it->second;
    if (s.temp_dir.empty() || (!host::is_separator(s.temp_dir.back()) && s.temp_dir.back() != ':'))
      s.temp_dir += '\\';
  }
  if (auto it = env.find("INCKV"); it != env.end()) {
    std::string_view list = it->second;
    for (;;) {
      std::size_t semi = list.find(';');
      std::string dir(list.substr(0, semi));
      if (dir.empty() || (!host::is_separator(dir.back()) && dir.back() != ':')) dir += '\\';
      s.include_paths.push_back(std::move(dir));
      if (semi == std::string_view::npos) break;
      list.remove_prefix(semi + 1);
    }
  }
}

ParseOutcome parse_command_line(Run& run, const std::vector<std::string>& args) {
  Settings& s = run.settings;
  if (args.empty()) {
    message_set(run, F_NO_INPUT, {}, MSG_SETUP_FATAL);
    return ParseOutcome::Continue;
  }
  for (const std::string& arg : args) {
    if (arg.size() > kMaxArgumentLength) {
      message_set(run, F_COMMAND_TOO_LONG, {}, MSG_SETUP_FATAL);
      return ParseOutcome::Continue;
    }
  }
  int sources = 0;
  for (const std::string& arg : args) {
    // Options of the opt-in side outputs, kept apart from the classic ones.
    if (ParseOutcome outcome; side_output_option(run, arg, outcome)) {
      if (outcome != ParseOutcome::Continue) return outcome;
      continue;
    }
    if (!arg.empty() && arg[0] == '-') {
      parse_minus_option(run, arg);
    } else if (!arg.empty() && arg[0] == '+') {
      ParseOutcome outcome = parse_plus_option(run, std::string_view(arg).substr(1));
      if (outcome != ParseOutcome::Continue) return outcome;
    } else {
      if (++sources > 2) {
        message_set(run, F_TOO_MANY_SOURCES, {}, MSG_SETUP_FATAL);
        return ParseOutcome::Continue;
      }
      s.source_name = arg;
      s.source_given = true;
    }
  }
  if (run.messages.code == 0 && !s.source_given) message_set(run, F_NO_INPUT, {}, MSG_SETUP_FATAL);
  return ParseOutcome::Continue;
}

void derive_file_names(Run& run) {
  Settings& s = run.settings;
  if (s.source_name.find('.') == std::string::npos) s.source_name += ".arq";
  const std::string& name = s.source_name;
  std::size_t sep = host::last_separator(name);
  std::size_t dot = name.rfind('.');
  std::size_t base_start = sep == std::string::npos ? 0 : sep + 1;
  s.in_dir = sep == std::string::npos ? std::string() : name.substr(0, sep);
  std::size_t base_end = dot != std::string::npos && dot >= base_start ? dot : name.size();
  s.proc_file = name.substr(base_start, base_end - base_start);
  if (!s.out_dir_given) s.out_dir = s.in_dir;
  std::string prefix = s.out_dir.empty() ? std::string() : s.out_dir + "\\";
  s.out_source = prefix + s.proc_file + ".mrq";
  if (!s.tag_named) s.mac_tag = prefix + s.proc_file + ".atg";
}

void print_version_line(Run& run) {
  std::fprintf(run.out, "   Macro Processor (%s) for %s Version %s  (core 1.20.00)\n", kProgramName,
               "Orsk/K,Velk/K Series", kVersion);
}

void print_option_list(Run& run) {
  std::fputs(
      "\n\t"
      "[ -. ] no message\n\t"
      "[ -d ] symbol define\n\t"
      "[ -f ] ..file control\n\t"
      "[ -l ] list file\n\t"
      "[ -lm ] macro list file\n\t"
      "[ -o ] output path\n\t"
      "[ -t ] tag-file\n\t"
      "[ -v ] version\n\t"
      "[ -p ] macro extend-line mark change\n\t"
      "[ -patch1 ] Velk shift mnemonic bug fix\n\t"
      "[ +info ] info file\n\t"
      "[ +infom ] info memory file\n\t"
      "[ +nosrc ] ._file nooutput\n\t"
      "[ +equok ] .equ no check\n\t"
      "[ +notime ] time no output\n\t"
      "[ +line_cntr ] ._line control\n\t"
      "[ +modify ] source modify info\n\t"
      "\n",
      run.out);
}

namespace {

// One revision identifier per source unit: the headers, then the units. The
// header of the Orsk/K,Velk/K macro records is listed only in the
// information file, where it is labelled macrorq.
constexpr const char* kRevisions[] = {
    "macro     header  2.10.00  macro engine records and constants",
    "system    header  2.10.00  host and file conventions",
    "table     header  2.10.00  reserved-word and symbol tables",
    "tablekv   header  2.10.00  Orsk/K,Velk/K reserved words",
    "proto     header  2.10.00  shared declarations",
    "macrorq   header  2.10.00  Orsk/K,Velk/K macro records",
    "main      unit    2.10.00  driver, options and messages",
    "macro     unit    2.10.00  macro definition, call and repeat",
    "input     unit    2.10.00  source reader and line engine",
    "output    unit    2.10.00  output file and line rewriting",
    "directiv  unit    2.10.00  directives, symbols and conditions",
    "figure    unit    2.10.00  expression evaluator",
};
constexpr std::size_t kMacrorqRevision = 5;

}  // namespace

std::vector<const char*> revision_identifiers(bool with_macrorq) {
  std::vector<const char*> lines;
  for (std::size_t i = 0; i < std::size(kRevisions); ++i)
    if (with_macrorq || i != kMacrorqRevision) lines.push_back(kRevisions[i]);
  return lines;
}

void print_revision_listing(Run& run) {
  std::fprintf(run.out, " ===== Macro Processor Version %s (%s.%s) =====\n", kVersion, "PC", "WN");
  for (const char* line : revision_identifiers(false)) std::fprintf(run.out, "\t%s\n", line);
}

}  // namespace zrmackv
