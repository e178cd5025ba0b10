// Operand expression evaluator: numbers and the radix converters.
#pragma once

#include <cstdint>
#include <string_view>

namespace zrmackv {

// Conversion status shared by the radix converters: set, never cleared by them.
enum ConversionStatus : int { CONV_NONE = 0, CONV_OVERFLOW = 1, CONV_BAD_DIGIT = 2 };

struct FigureState {
  int conversion_status = CONV_NONE;
  bool division_by_zero = false;  // per source line
};

// Each converts a digit string without suffix into a 32-bit value and
// records a bad digit or an overflow in status.
std::int32_t figure_bin(std::string_view digits, int& status);
std::int32_t figure_oct(std::string_view digits, int& status);
std::int32_t figure_dec(std::string_view digits, int& status);
std::int32_t figure_hex(std::string_view digits, int& status);

// Converts by the last character: B/b binary, O/o octal, H/h hexadecimal
// (the suffix removed), anything else decimal. Used by -d.
std::int32_t figure_convert_by_suffix(std::string_view text, int& status);

}  // namespace zrmackv
