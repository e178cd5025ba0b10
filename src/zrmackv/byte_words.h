// Scanning text eight bytes at a time: a line's common bytes are skipped a
// word at once and only the bytes a scanner looks for are visited.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zrmackv {

// A word of eight bytes with the high bit set in each byte that is zero,
// and no other bit.
constexpr std::uint64_t zero_bytes(std::uint64_t x) {
  constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fu;
  return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// The flags of the bytes of word equal to c.
constexpr std::uint64_t bytes_equal(std::uint64_t word, char c) {
  return zero_bytes(word ^ (0x0101010101010101u * static_cast<unsigned char>(c)));
}

// Memory index of the byte whose flag is the lowest bit set in flags.
inline std::size_t flagged_byte(std::uint64_t flags) {
  const auto k = static_cast<std::size_t>(std::countr_zero(flags) / 8);
  return std::endian::native == std::endian::little ? k : 7 - k;
}

// The eight bytes at p as one word.
inline std::uint64_t load_word(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

}  // namespace zrmackv
