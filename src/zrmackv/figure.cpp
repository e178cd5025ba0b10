#include "zrmackv/figure.h"

#include <string_view>

namespace zrmackv {

namespace {

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 99;
}

// Accumulates value * radix + digit in 32 bits, counting significant
// digits from the first one at which the value becomes non-zero.
std::int32_t convert(std::string_view digits, unsigned radix, int max_significant,
                     int& status) {
  std::uint32_t value = 0;
  int significant = 0;
  std::size_t first_significant = digits.size();
  for (std::size_t i = 0; i < digits.size(); ++i) {
    int d = digit_value(digits[i]);
    if (d >= static_cast<int>(radix)) {
      status = CONV_BAD_DIGIT;
      return 0;
    }
    value = value * radix + static_cast<std::uint32_t>(d);
    if (significant == 0 && value != 0) first_significant = i;
    if (significant > 0 || value != 0) significant++;
  }
  if (significant > max_significant) {
    status = CONV_OVERFLOW;
  } else if (radix == 10 && significant == 10 &&
             digits.substr(first_significant) > std::string_view("4294967295")) {
    status = CONV_OVERFLOW;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t figure_bin(std::string_view digits, int& status) {
  return convert(digits, 2, 32, status);
}
std::int32_t figure_oct(std::string_view digits, int& status) {
  return convert(digits, 8, 11, status);
}
std::int32_t figure_dec(std::string_view digits, int& status) {
  return convert(digits, 10, 10, status);
}
std::int32_t figure_hex(std::string_view digits, int& status) {
  return convert(digits, 16, 8, status);
}

std::int32_t figure_convert_by_suffix(std::string_view text, int& status) {
  if (text.empty()) return 0;
  std::string_view body = text.substr(0, text.size() - 1);
  switch (text.back()) {
    case 'B': case 'b': return figure_bin(body, status);
    case 'O': case 'o': return figure_oct(body, status);
    case 'H': case 'h': return figure_hex(body, status);
    default: return figure_dec(text, status);
  }
}

}  // namespace zrmackv
