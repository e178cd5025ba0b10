#include "cppkv/macros.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "cppkv/chars.h"
#include "cppkv/macro_body.h"
#include "cppkv/macro_expand.h"
#include "cppkv/reader.h"
#include "cppkv/report.h"
#include "host/host.h"
#include "cppkv/run.h"

namespace cppkv {

MacroTable::MacroTable() : expander(std::make_unique<Expander>()) {}
MacroTable::~MacroTable() = default;

namespace {

// The body with each parameter name outside literals replaced by its
// reference and every mark byte of the body doubled. Digit-led tokens are
// copied whole, so a parameter name never matches inside one.
std::string encode_body(std::string_view body, const std::vector<std::string_view>& params) {
  std::string out;
  out.reserve(body.size());
  std::size_t i = 0;
  auto copy = [&](char c) {
    out.push_back(c);
    if (c == kParamMark) out.push_back(c);
  };
  while (i < body.size()) {
    const char c = body[i];
    if (c == '"' || c == '\'') {
      copy(c);
      ++i;
      while (i < body.size() && body[i] != c) {
        if (body[i] == '\\' && i + 1 < body.size()) copy(body[i++]);
        copy(body[i++]);
      }
      if (i < body.size()) copy(body[i++]);
    } else if (is_digit(c)) {
      while (i < body.size() && (is_digit(body[i]) || is_letter(body[i]))) copy(body[i++]);
    } else if (is_id_start(c)) {
      const std::size_t end = identifier_end(body, i);
      const std::string_view word = body.substr(i, end - i);
      std::size_t p = 0;
      while (p < params.size() && params[p] != word) ++p;
      if (p < params.size()) {
        out.push_back(kParamMark);
        out.push_back(static_cast<char>(kParamBase + p));
      } else {
        out.append(word);
      }
      i = end;
    } else {
      copy(c);
      ++i;
    }
  }
  return out;
}

// True when substituting the encoded body can only copy it: without a mark
// byte there is no parameter reference and no doubled mark, and without
// "##" nothing is pasted. ("##" inside a literal is copied as it stands,
// but such a body is simply left to the general walk.)
bool substitutes_as_itself(std::string_view encoded) {
  return encoded.find(kParamMark) == std::string_view::npos && encoded.find("##") == std::string_view::npos;
}

// Reads the body once into what its calls need: which parameters are
// inserted expanded and the substitution steps, so that a call does not
// walk the encoded body again.
std::unique_ptr<BodyPlan> plan_body(std::string_view body) {
  auto plan = std::make_unique<BodyPlan>();
  BodyPlanRecorder recorder{body, *plan};
  walk_body(body, recorder);
  return plan;
}

// Enters an encoded definition: a reserved entry warns "reserved id used"
// and is replaced, an equal body is kept silently (parameter lists are not
// compared), another body warns "redefined".
void enter_definition(Run& run, std::string_view name, MacroEntry&& entry) {
  // One hash of the name whether it is new or not.
  auto [slot, added] = run.macros.entries.find_or_add(name);
  if (added) {
    run.macros.filter.note(name);
    slot->entry = std::move(entry);
    return;
  }
  if (slot->entry.reserved) {
    report(run, CLASS_WARNING, M_RESERVED_ID_USED);
  } else if (slot->entry.body == entry.body) {
    return;
  } else {
    report(run, CLASS_WARNING, M_REDEFINED, name);
  }
  slot->entry = std::move(entry);
}

// The body checks shared by #define and -D, then encoding and entry.
void define_parsed(Run& run, std::string_view name, bool function_like,
                   const std::vector<std::string_view>& params, std::string_view body) {
  if (body.size() > kMaxBodyLength) {
    report(run, CLASS_ERROR, M_TOKEN_BUFFER_OVERFLOW);
    return;
  }
  const std::size_t first = skip_blanks(body, 0);
  std::size_t last = body.size();
  while (last > 0 && is_blank(body[last - 1])) --last;
  if ((first + 1 < body.size() && body[first] == '#' && body[first + 1] == '#') ||
      (last > 0 && body[last - 1] == '#')) {
    report(run, CLASS_ERROR, M_ILLEGAL_IDENTIFIER);
    return;
  }
  MacroEntry entry;
  entry.function_like = function_like;
  entry.param_count = static_cast<std::uint8_t>(params.size());
  entry.body = encode_body(body, params);
  entry.verbatim = substitutes_as_itself(entry.body);
  entry.nameless = entry.verbatim && std::none_of(entry.body.begin(), entry.body.end(), is_id_start);
  if (!entry.verbatim) entry.plan = plan_body(entry.body);
  enter_definition(run, name, std::move(entry));
}

// The parameter list after "(" at i; i ends after ")". false after the
// message when the list is malformed.
bool parse_parameters(Run& run, std::string_view text, std::size_t& i,
                      std::vector<std::string_view>& params) {
  i = skip_blanks(text, i);
  if (i < text.size() && text[i] == ')') {
    ++i;
    return true;
  }
  for (;;) {
    i = skip_blanks(text, i);
    const std::size_t end = identifier_end(text, i);
    if (end == i) {
      report(run, CLASS_ERROR, M_ILLEGAL_ID_NAME);
      return false;
    }
    const std::string_view param = text.substr(i, end - i);
    for (std::string_view seen : params) {
      if (seen == param) {
        report(run, CLASS_ERROR, M_ILLEGAL_ID_NAME);
        return false;
      }
    }
    if (params.size() == kMaxParameters) {
      report(run, CLASS_ERROR, M_ILLEGAL_IDENTIFIER);
      return false;
    }
    params.push_back(param);
    i = skip_blanks(text, end);
    if (i < text.size() && text[i] == ',') {
      ++i;
      continue;
    }
    if (i < text.size() && text[i] == ')') {
      ++i;
      return true;
    }
    report(run, CLASS_ERROR, M_ILLEGAL_ID_NAME);
    return false;
  }
}

}  // namespace

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
    t.entries.find_or_add(name).first->entry = std::move(entry);
    t.filter.note(name);
  }
}

void define_macro(Run& run, std::string_view name, std::string_view body) {
  define_parsed(run, name, false, {}, body);
}

void define_directive(Run& run, std::string_view operand) {
  std::size_t i = skip_blanks(operand, 0);
  const std::size_t end = identifier_end(operand, i);
  if (end == i) {
    report(run, CLASS_ERROR, M_ILLEGAL_ID_NAME);
    return;
  }
  const std::string_view name = operand.substr(i, end - i);
  i = end;
  std::vector<std::string_view> params;
  const bool function_like = i < operand.size() && operand[i] == '(';
  if (function_like) {
    ++i;
    if (!parse_parameters(run, operand, i, params)) return;
  }
  i = skip_blanks(operand, i);
  std::size_t body_end = operand.find('\n', i);
  if (body_end == std::string_view::npos) body_end = operand.size();
  define_parsed(run, name, function_like, params, operand.substr(i, body_end - i));
}

void undefine_macro(Run& run, std::string_view name) {
  MacroSlot* slot = run.macros.entries.find(name);
  if (slot == nullptr) return;
  if (slot->entry.reserved) report(run, CLASS_WARNING, M_RESERVED_ID_USED);
  run.macros.entries.erase(slot);
}

bool predefined_value(const Run& run, std::string_view name, std::string& value) {
  if (name == "__LINE__") {
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(current_line(run)));
    value.assign(digits, static_cast<std::size_t>(n));
  } else if (name == "__FILE__") {
    value.assign(1, '"');  // (not = "\"": GCC 12 warns falsely on that copy)
    value.append(current_name(run, true));
    value += '"';
  } else if (name == "__DATE__" || name == "__TIME__") {
    value.assign(1, '"');
    value.append(name == "__DATE__" ? run.macros.date : run.macros.time);
    value += '"';
  } else {
    return false;
  }
  return true;
}

bool is_defined(const Run& run, std::string_view name) {
  return run.macros.entries.find(name) != nullptr;
}

}  // namespace cppkv
