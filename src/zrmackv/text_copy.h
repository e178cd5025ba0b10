// Copying a short text into a work string that is kept between lines.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace zrmackv {

// Makes s a copy of text. For the few bytes of a token or an operand,
// emptying s and appending is much cheaper than assign, whose general
// replace must allow for text lying inside s itself; that case still goes
// through assign.
inline void copy_text(std::string& s, std::string_view text) {
  const std::less_equal<const char*> at_most;
  if (at_most(s.data(), text.data()) && at_most(text.data(), s.data() + s.size())) {
    s.assign(text);
    return;
  }
  s.clear();
  s.append(text.data(), text.size());
}

}  // namespace zrmackv
