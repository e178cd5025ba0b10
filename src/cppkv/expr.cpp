// A small evaluator that stands in until the full expression language
// exists: a decimal number, an identifier (a macro whose body is a decimal
// number gives that number, any other identifier 0), or defined NAME /
// defined ( NAME ), each optionally preceded by "!" signs.
#include "cppkv/expr.h"

#include "cppkv/macros.h"
#include "cppkv/run.h"

namespace cppkv {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_id_start(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_id_char(char c) { return is_id_start(c) || is_digit(c); }

void skip_blanks(std::string_view t, std::size_t& i) {
  while (i < t.size() && is_blank(t[i])) ++i;
}

std::string_view identifier_at(std::string_view t, std::size_t& i) {
  std::size_t start = i;
  if (i >= t.size() || !is_id_start(t[i])) return {};
  while (i < t.size() && is_id_char(t[i])) ++i;
  return t.substr(start, i - start);
}

bool decimal(std::string_view t, std::int32_t& value) {
  if (t.empty()) return false;
  std::uint32_t v = 0;
  for (char c : t) {
    if (!is_digit(c)) return false;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  value = static_cast<std::int32_t>(v);
  return true;
}

}  // namespace

void convert_escapes(Run&, std::string&) {}

bool evaluate_condition(Run& run, std::string_view text, std::int32_t& value) {
  std::size_t end = text.find('\n');
  if (end != std::string_view::npos) text = text.substr(0, end);
  std::size_t i = 0;
  int negations = 0;
  skip_blanks(text, i);
  while (i < text.size() && text[i] == '!') {
    ++negations;
    ++i;
    skip_blanks(text, i);
  }
  std::int32_t v = 0;
  if (i < text.size() && is_digit(text[i])) {
    std::size_t start = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    if (!decimal(text.substr(start, i - start), v)) return false;
  } else {
    std::string_view name = identifier_at(text, i);
    if (name.empty()) return false;
    if (name == "defined") {
      skip_blanks(text, i);
      bool paren = i < text.size() && text[i] == '(';
      if (paren) {
        ++i;
        skip_blanks(text, i);
      }
      std::string_view operand = identifier_at(text, i);
      if (operand.empty()) return false;
      if (paren) {
        skip_blanks(text, i);
        if (i >= text.size() || text[i] != ')') return false;
        ++i;
      }
      v = is_defined(run, operand) ? 1 : 0;
    } else {
      auto it = run.macros.entries.find(name);
      std::string predefined;
      if (it != run.macros.entries.end() && it->second.reserved && predefined_value(run, name, predefined)) {
        if (!decimal(predefined, v)) return false;
      } else if (it != run.macros.entries.end() && !it->second.function_like) {
        std::string_view body = it->second.body;
        while (!body.empty() && is_blank(body.back())) body.remove_suffix(1);
        while (!body.empty() && is_blank(body.front())) body.remove_prefix(1);
        if (!decimal(body, v)) return false;
      }
    }
  }
  skip_blanks(text, i);
  if (i != text.size()) return false;
  for (int n = 0; n < negations; ++n) v = !v;
  value = v;
  return true;
}

}  // namespace cppkv
