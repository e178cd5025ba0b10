// Skipping runs of bytes that need no treatment, sixteen at a time. The
// reader's fast paths describe such bytes with a 256-entry table (1: no
// treatment); a table whose other bytes form a few ranges is turned into
// byte compares over a whole block, so a long run of ordinary text costs
// a few instructions per block instead of a table look per byte. Where the
// processor has the byte shuffle, any set of bytes below 0x80 is tested
// with two nibble lookups per block instead. The answer is always exactly
// the table's: a table with too many ranges, and the tail of the text, are
// looked up byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__)
#include <tmmintrin.h>
#define CPPKV_NIBBLE_SKIP 1
#endif

namespace cppkv {

class ByteRunSkipper {
 public:
  static constexpr int kMaxSingles = 8;  // single bytes needing treatment
  static constexpr int kMaxRanges = 2;   // longer ranges of them

  // With allow_nibbles (the default) and a processor that has the byte
  // shuffle, a table whose bytes from 0x80 up all need treatment or all
  // need none is tested with two nibble lookups per block instead of a
  // compare per single byte and range.
  explicit ByteRunSkipper(const unsigned char* table, bool allow_nibbles = true) : table_(table) {
#if defined(CPPKV_NIBBLE_SKIP)
    __builtin_cpu_init();  // skippers are made by static constructors too
    if (allow_nibbles && __builtin_cpu_supports("ssse3") && set_up_nibbles()) return;
#else
    (void)allow_nibbles;
#endif
    int singles = 0;
    int ranges = 0;
    int any_stop = -1;
    int lo_of[kMaxRanges] = {};
    int width_of[kMaxRanges] = {};
    int single_of[kMaxSingles] = {};
    int b = 0;
    while (b < 256) {
      if (table[b]) {
        ++b;
        continue;
      }
      const int lo = b;
      while (b < 256 && !table[b]) ++b;
      const int width = b - lo;
      any_stop = lo;
      if (lo == 0x80 && width == 0x80) {
        high_half_ = true;
      } else if (width == 1 && singles < kMaxSingles) {
        single_of[singles++] = lo;
      } else if (width < 256 && ranges < kMaxRanges) {
        lo_of[ranges] = lo;
        width_of[ranges++] = width;
      } else {
        return;  // too many: byte by byte
      }
    }
    if (any_stop < 0) return;
#if defined(__SSE2__)
    // Unused compares repeat a byte that needs treatment anyway, and an
    // unused range is empty, so every block runs the same instructions.
    for (int k = 0; k < kMaxSingles; ++k)
      single_[k] = _mm_set1_epi8(static_cast<char>(k < singles ? single_of[k] : any_stop));
    for (int k = 0; k < kMaxRanges; ++k) {
      // Shifted so that the range starts at -128: a byte is in it when the
      // shifted value is below -128 + width as a signed byte.
      shift_[k] = _mm_set1_epi8(static_cast<char>(0x80 - lo_of[k]));
      bound_[k] = _mm_set1_epi8(static_cast<char>(-128 + width_of[k]));
    }
    blockwise_ = true;
#endif
  }

  // The first byte in [p, end) that the table marks as needing treatment,
  // or end.
  const unsigned char* skip(const unsigned char* p, const unsigned char* end) const {
#if defined(CPPKV_NIBBLE_SKIP)
    if (nibbles_) return skip_by_nibbles(p, end);
#endif
#if defined(__SSE2__)
    if (blockwise_) {
      while (end - p >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned mask = stop_mask(x);
        if (mask != 0) return p + __builtin_ctz(mask);
        p += 16;
      }
    }
#endif
    while (p < end && table_[*p]) ++p;
    return p;
  }

 private:
#if defined(CPPKV_NIBBLE_SKIP)
  // Byte b needs treatment when low_bits_[b & 15] has bit b >> 4 set (b
  // below 0x80); the bytes from 0x80 up through the block's sign bits.
  bool set_up_nibbles() {
    for (int b = 0x81; b < 256; ++b)
      if (table_[b] != table_[0x80]) return false;
    for (int b = 0; b < 0x80; ++b)
      if (!table_[b]) low_bits_[b & 15] = static_cast<unsigned char>(low_bits_[b & 15] | 1 << (b >> 4));
    for (int h = 0; h < 16; ++h) high_bits_[h] = static_cast<unsigned char>(h < 8 ? 1 << h : 0);
    high_half_ = !table_[0x80];
    nibbles_ = true;
    return true;
  }

  [[gnu::target("ssse3")]] const unsigned char* skip_by_nibbles(const unsigned char* p,
                                                               const unsigned char* end) const {
    const __m128i low_table = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low_bits_));
    const __m128i high_table = _mm_loadu_si128(reinterpret_cast<const __m128i*>(high_bits_));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i low = _mm_shuffle_epi8(low_table, _mm_and_si128(x, nibble));
      const __m128i high = _mm_shuffle_epi8(high_table, _mm_and_si128(_mm_srli_epi16(x, 4), nibble));
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(low, high), zero))) ^ 0xFFFFu;
      if (high_half_) mask |= static_cast<unsigned>(_mm_movemask_epi8(x));
      if (mask != 0) return p + __builtin_ctz(mask);
      p += 16;
    }
    while (p < end && table_[*p]) ++p;
    return p;
  }

  alignas(16) unsigned char low_bits_[16] = {};
  alignas(16) unsigned char high_bits_[16] = {};
  bool nibbles_ = false;
#endif
#if defined(__SSE2__)
  // One bit per byte of the block that needs treatment.
  unsigned stop_mask(__m128i x) const {
    __m128i hits = _mm_cmpeq_epi8(x, single_[0]);
    for (int k = 1; k < kMaxSingles; ++k) hits = _mm_or_si128(hits, _mm_cmpeq_epi8(x, single_[k]));
    for (int k = 0; k < kMaxRanges; ++k)
      hits = _mm_or_si128(hits, _mm_cmplt_epi8(_mm_add_epi8(x, shift_[k]), bound_[k]));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (high_half_) mask |= static_cast<unsigned>(_mm_movemask_epi8(x));
    return mask;
  }

  __m128i single_[kMaxSingles];
  __m128i shift_[kMaxRanges];
  __m128i bound_[kMaxRanges];
#endif
  const unsigned char* table_;
  bool blockwise_ = false;
  bool high_half_ = false;
};

}  // namespace cppkv
