// One macro definition as the table keeps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cppkv {

struct MacroEntry {
  std::string body;  // encoded replacement body
  bool reserved = false;       // predefined (__LINE__, __FILE__, __DATE__, __TIME__)
  bool function_like = false;
  bool expanding = false;      // being rescanned: not expanded again meanwhile
  // The body holds no parameter reference, ## or mark byte: a call's
  // replacement is the body itself, rescanned where it is stored.
  bool verbatim = false;
  std::uint8_t param_count = 0;
  // Parameters referenced away from # and ##, whose arguments are inserted
  // fully expanded (bit i for parameter i).
  std::uint64_t expanded_params[2] = {0, 0};

  bool param_expanded(std::size_t i) const { return (expanded_params[i / 64] >> (i % 64)) & 1; }
};

}  // namespace cppkv
