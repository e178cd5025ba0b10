// Scanning text eight (or sixteen) bytes at a time: a line's common bytes
// are skipped a word at once and only the bytes a scanner looks for are
// visited.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// Sixteen bytes at a time where the host has the vector unit: one flag bit
// a byte, bit k for the k-th byte in memory order.

// The sixteen bytes at p as one chunk.
inline __m128i load_chunk(const char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// A text of 8 to 16 bytes as one chunk without reading past its end: its
// first eight bytes, then its last eight. Where the two overlap (bytes n-8
// to 7) a byte stands twice, and two bytes meet at the middle that need not
// be neighbours in the text.
inline __m128i load_ends(const char* p, std::size_t n) {
  std::uint64_t first, last;
  std::memcpy(&first, p, 8);
  std::memcpy(&last, p + n - 8, 8);
  return _mm_set_epi64x(static_cast<long long>(last), static_cast<long long>(first));
}

// The place in the text of the byte that stands k-th in load_ends(p, n).
inline std::size_t ends_place(std::size_t n, int k) {
  return k < 8 ? static_cast<std::size_t>(k) : n - 16 + static_cast<std::size_t>(k);
}

// The flags of the bytes of chunk equal to c.
inline unsigned chunk_flags(__m128i chunk, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(c))));
}
#endif

// Hands test the place of each flagged byte, lowest flag bit first (place
// maps a bit number to the byte's place in the text), until test answers
// true; true then.
template <typename Flags, typename Place, typename Test>
bool any_flagged(Flags flags, Place place, Test test) {
  for (; flags != 0; flags &= flags - 1)
    if (test(place(std::countr_zero(flags)))) return true;
  return false;
}

// True when text holds the byte c. A line of eight bytes or more is read in
// chunks of sixteen (the last one overlapping), cheaper than a call of the
// library search for the few bytes of a line.
inline bool holds_byte(std::string_view text, char c) {
#if defined(__SSE2__)
  const char* p = text.data();
  const std::size_t n = text.size();
  if (n >= 16) {
    for (std::size_t i = 0; i + 16 <= n; i += 16)
      if (chunk_flags(load_chunk(p + i), c)) return true;
    return chunk_flags(load_chunk(p + n - 16), c) != 0;
  }
  if (n >= 8) return chunk_flags(load_ends(p, n), c) != 0;
#endif
  return text.find(c) != std::string_view::npos;
}

}  // namespace zrmackv
