// Character classes and small scanning steps shared by the directive
// engine and the macro table.
#pragma once

#include <cstddef>
#include <string_view>

namespace cppkv {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_id_start(char c) { return is_letter(c) || c == '_'; }
inline bool is_id_char(char c) { return is_id_start(c) || is_digit(c); }

// The first position from i that is not a blank or tab.
inline std::size_t skip_blanks(std::string_view t, std::size_t i) {
  while (i < t.size() && is_blank(t[i])) ++i;
  return i;
}

// The end of the identifier starting at i (i itself when none starts there).
inline std::size_t identifier_end(std::string_view t, std::size_t i) {
  if (i >= t.size() || !is_id_start(t[i])) return i;
  while (i < t.size() && is_id_char(t[i])) ++i;
  return i;
}

}  // namespace cppkv
