// Reading an encoded replacement body: the one walk that both the
// definition (which parameters are inserted expanded) and the substitution
// of a call (what is written) use, so the two never disagree.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <vector>

#include "cppkv/macro_entry.h"
#include "cppkv/macros.h"

namespace cppkv {

inline bool body_blank(char c) { return c == ' ' || c == '\t'; }

inline std::size_t body_skip_blanks(std::string_view body, std::size_t i) {
  while (i < body.size() && body_blank(body[i])) ++i;
  return i;
}

// True when a parameter reference (not a doubled mark) starts at i.
inline bool param_reference_at(std::string_view body, std::size_t i) {
  return i + 1 < body.size() && body[i] == kParamMark && body[i + 1] != kParamMark;
}

inline std::size_t param_index_at(std::string_view body, std::size_t i) {
  return static_cast<unsigned char>(body[i + 1]) - kParamBase;
}

// The bytes at which a body stops being copied as it stands.
struct BodySpecialBytes {
  bool is[256] = {};
  constexpr BodySpecialBytes() {
    is[static_cast<unsigned char>(kParamMark)] = is['#'] = is['"'] = is['\''] = true;
  }
};
inline constexpr BodySpecialBytes kBodySpecial{};

// Walks an encoded body and tells the visitor what it holds:
//   text(string_view)        characters copied as they are
//   param(index, ParamUse)   a parameter reference
//   paste()                  a ## operator: blanks written before it go
// Literals are copied untouched (a doubled mark inside one is one byte).
template <class Visitor>
void walk_body(std::string_view body, Visitor& v) {
  const std::size_t n = body.size();
  std::size_t i = 0;
  bool after_paste = false;
  while (i < n) {
    const char c = body[i];
    if (c == kParamMark) {
      if (i + 1 >= n || body[i + 1] == kParamMark) {
        v.text(body.substr(i, 1));
        i += 2;
      } else {
        const std::size_t index = param_index_at(body, i);
        i += 2;
        const std::size_t j = body_skip_blanks(body, i);
        const bool paste_follows = j + 1 < n && body[j] == '#' && body[j + 1] == '#';
        v.param(index, after_paste || paste_follows ? ParamUse::AsWritten : ParamUse::Expanded);
      }
      after_paste = false;
      continue;
    }
    if (c == '#') {
      if (i + 1 < n && body[i + 1] == '#') {
        v.paste();
        i = body_skip_blanks(body, i + 2);
        after_paste = true;
        continue;
      }
      const std::size_t j = body_skip_blanks(body, i + 1);
      if (param_reference_at(body, j)) {
        v.param(param_index_at(body, j), ParamUse::Stringized);
        i = j + 2;
      } else {
        v.text(body.substr(i, 1));
        ++i;
      }
      after_paste = false;
      continue;
    }
    if (c == '"' || c == '\'') {
      std::size_t j = i + 1;
      std::size_t run = i;
      while (j < n && body[j] != c) {
        if (body[j] == kParamMark && j + 1 < n && body[j + 1] == kParamMark) {
          v.text(body.substr(run, j + 1 - run));
          j += 2;
          run = j;
          continue;
        }
        j += body[j] == '\\' && j + 1 < n ? 2 : 1;
      }
      if (j < n) ++j;  // the closing quote
      if (j > n) j = n;
      v.text(body.substr(run, j - run));
      i = j;
      after_paste = false;
      continue;
    }
    std::size_t j = i + 1;
    while (j < n && !kBodySpecial.is[static_cast<unsigned char>(body[j])]) ++j;
    v.text(body.substr(i, j - i));
    i = j;
    after_paste = false;
  }
}

// Records what walk_body tells into a plan: runs of text that follow each
// other in the body become one step, and every parameter inserted
// expanded is marked.
struct BodyPlanRecorder {
  std::string_view body;
  BodyPlan& plan;

  void text(std::string_view t) {
    std::vector<BodyStep>& steps = plan.steps;
    const auto offset = static_cast<std::uint16_t>(t.data() - body.data());
    if (!steps.empty() && steps.back().kind == BodyStep::Kind::Text &&
        steps.back().offset + steps.back().length == offset) {
      steps.back().length = static_cast<std::uint16_t>(steps.back().length + t.size());
      return;
    }
    BodyStep s;
    s.offset = offset;
    s.length = static_cast<std::uint16_t>(t.size());
    steps.push_back(s);
  }
  void paste() {
    BodyStep s;
    s.kind = BodyStep::Kind::Paste;
    plan.steps.push_back(s);
  }
  void param(std::size_t index, ParamUse use) {
    if (use == ParamUse::Expanded && index < kMaxParameters)
      plan.expanded_params[index / 64] |= std::uint64_t{1} << (index % 64);
    BodyStep s;
    s.kind = BodyStep::Kind::Param;
    s.use = use;
    s.index = static_cast<std::uint16_t>(index);
    plan.steps.push_back(s);
  }
};

// Tells the visitor the planned steps of a body, as walk_body would.
template <class Visitor>
void replay_body(const MacroEntry& m, Visitor& v) {
  for (const BodyStep& s : m.plan->steps) {
    switch (s.kind) {
      case BodyStep::Kind::Text: v.text(std::string_view(m.body.data() + s.offset, s.length)); break;
      case BodyStep::Kind::Param: v.param(s.index, s.use); break;
      case BodyStep::Kind::Paste: v.paste(); break;
    }
  }
}

// Appends an argument as a string literal: a double quote, the argument
// with a backslash before each quote that opens or closes a literal and
// before every double quote and backslash inside one, a double quote.
void append_stringized(std::string& out, std::string_view argument);

}  // namespace cppkv
