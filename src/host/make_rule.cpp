#include "host/make_rule.h"

#include <unordered_set>

#include "host/host.h"

namespace host {

namespace {

constexpr std::size_t kWrapColumn = 78;  // leaves room for " \" within 80

// Appends one word to a rule line, continuing the line first when the word
// would carry it past the wrap column.
void append_word(std::string& out, std::size_t& column, const std::string& word) {
  if (column + 1 + word.size() > kWrapColumn) {
    out += " \\\n ";
    column = 1;
  } else {
    out += ' ';
    ++column;
  }
  out += word;
  column += word.size();
}

}  // namespace

std::string make_escape(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 8);
  for (char c : name) {
    switch (c) {
      case '\\': out += '/'; break;
      case ' ': out += "\\ "; break;
      case '\t': out += "\\\t"; break;
      case '#': out += "\\#"; break;
      case '$': out += "$$"; break;
      default: out += c; break;
    }
  }
  return out;
}

std::string make_rule(const std::vector<std::string>& targets, std::string_view source,
                      const std::vector<std::string>& dependencies) {
  std::string out;
  for (const std::string& t : targets) {
    if (!out.empty()) out += ' ';
    out += make_escape(t);
  }
  out += ':';
  std::size_t column = out.size();

  std::unordered_set<std::string> seen;
  std::vector<std::string> phony;
  if (!source.empty()) {
    std::string word = make_escape(source);
    seen.insert(word);
    append_word(out, column, word);
  }
  for (const std::string& dep : dependencies) {
    std::string word = make_escape(dep);
    if (!seen.insert(word).second) continue;
    append_word(out, column, word);
    phony.push_back(std::move(word));
  }
  out += '\n';
  for (const std::string& word : phony) {
    out += '\n';
    out += word;
    out += ":\n";
  }
  return out;
}

std::string default_make_target(std::string_view source) {
  std::size_t sep = last_separator(source);
  std::string_view base = sep == std::string_view::npos ? source : source.substr(sep + 1);
  std::size_t dot = base.rfind('.');
  if (dot != std::string_view::npos) base = base.substr(0, dot);
  std::string target(base);
  target += ".o";
  return target;
}

}  // namespace host
