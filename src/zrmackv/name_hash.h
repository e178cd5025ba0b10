// The name hash shared by the reserved-word table and the symbol table.
#pragma once

#include <cstdint>
#include <string_view>

namespace zrmackv {

constexpr unsigned kHashBuckets = 251;
constexpr std::size_t kMaxNameLength = 255;

// Sum of every byte (unsigned) times 257, in 32-bit unsigned arithmetic,
// modulo the bucket count.
constexpr unsigned name_hash(std::string_view name) {
  std::uint32_t sum = 0;
  for (char c : name) sum += static_cast<std::uint32_t>(static_cast<unsigned char>(c)) * 257u;
  return sum % kHashBuckets;
}

}  // namespace zrmackv
