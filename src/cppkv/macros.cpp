#include "cppkv/macros.h"

#include <cstdio>
#include <ctime>

#include "cppkv/report.h"
#include "host/host.h"
#include "cppkv/run.h"

namespace cppkv {

void create_macro_table(Run& run) {
  MacroTable& t = run.macros;
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t now = host::current_time();
  std::tm local{};
  localtime_r(&now, &local);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%3s %02d %04d", kMonths[local.tm_mon % 12], local.tm_mday,
                local.tm_year + 1900);
  t.date = buf;
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  t.time = buf;
  for (const char* name : {"__LINE__", "__FILE__", "__DATE__", "__TIME__"}) {
    MacroEntry entry;
    entry.reserved = true;
    t.entries[name] = entry;
  }
}

void define_macro(Run& run, std::string_view name, std::string_view body) {
  auto& entries = run.macros.entries;
  auto it = entries.find(name);
  if (it == entries.end()) {
    entries.emplace(std::string(name), MacroEntry{std::string(body), false, false});
    return;
  }
  if (it->second.reserved) {
    report(run, CLASS_WARNING, M_RESERVED_ID_USED);
  } else if (it->second.body == body) {
    return;
  } else {
    report(run, CLASS_WARNING, M_REDEFINED, name);
  }
  it->second = MacroEntry{std::string(body), false, false};
}

void undefine_macro(Run& run, std::string_view name) {
  auto it = run.macros.entries.find(name);
  if (it == run.macros.entries.end()) return;
  if (it->second.reserved) report(run, CLASS_WARNING, M_RESERVED_ID_USED);
  run.macros.entries.erase(it);
}

bool predefined_value(const Run& run, std::string_view name, std::string& value) {
  if (name == "__LINE__") {
    value = std::to_string(current_line(run));
  } else if (name == "__FILE__") {
    value.assign(1, '"');  // (not = "\"": GCC 12 warns falsely on that copy)
    value.append(current_name(run, true));
    value += "\"";
  } else if (name == "__DATE__") {
    value = "\"" + run.macros.date + "\"";
  } else if (name == "__TIME__") {
    value = "\"" + run.macros.time + "\"";
  } else {
    return false;
  }
  return true;
}

bool is_defined(const Run& run, std::string_view name) {
  return run.macros.entries.find(name) != run.macros.entries.end();
}

}  // namespace cppkv

// TEMPORARY STAND-IN, replaced by the full expander: object-like macros give
// their bodies, one level deep; function-like names, quoted literals and
// tokens that start with a digit are copied as written.
namespace cppkv {

bool expand_text(Run& run, std::string_view text, std::string& out) {
  auto id_char = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  };
  out.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    std::size_t end = i + 1;
    if (c == '"' || c == '\'') {
      while (end < text.size() && text[end] != c) end += text[end] == '\\' ? 2 : 1;
      end = end < text.size() ? end + 1 : text.size();
    } else if (id_char(c)) {
      while (end < text.size() && id_char(text[end])) ++end;
      const std::string_view name = text.substr(i, end - i);
      auto it = (c >= '0' && c <= '9') ? run.macros.entries.end() : run.macros.entries.find(name);
      if (it != run.macros.entries.end() && !it->second.function_like) {
        std::string value;
        if (it->second.reserved && predefined_value(run, name, value))
          out += value;
        else
          out += it->second.body;
        i = end;
        continue;
      }
    }
    out.append(text.substr(i, end - i));
    i = end;
  }
  return true;
}

}  // namespace cppkv
