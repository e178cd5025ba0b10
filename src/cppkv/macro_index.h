// The index of macro names: open addressing over a flat array of (hash,
// entry) cells, so that a lookup touches one cell for a name that is not
// there and one cell plus its entry for a name that is. Entries live in
// their own allocations and never move while they are in the index; only
// the cells move when the array grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "cppkv/macro_entry.h"

namespace cppkv {

struct MacroSlot {
  std::string name;
  MacroEntry entry;
};

namespace name_words {
// A few bytes of a name read as one number (any alignment).
inline std::uint64_t load8(const char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline std::uint64_t load4(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
}  // namespace name_words

// Names are short: they are mixed a word at a time (a name of four to
// sixteen bytes as its first and last word, overlapping where shorter), so
// a name costs a few multiplications whatever its length, inlined at the
// lookup.
inline std::uint64_t hash_name(std::string_view name) {
  using name_words::load4;
  using name_words::load8;
  constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15ULL;
  const char* p = name.data();
  const std::size_t n = name.size();
  std::uint64_t h = n * kOdd;
  // The product's low bits see only the low bits of its operands: the
  // high half is folded down, since the index takes the low bits.
  auto mix = [&h](std::uint64_t word) {
    h = (h ^ word) * kOdd;
    h ^= h >> 32;
  };
  if (n >= 8) {
    for (std::size_t i = 0; i + 8 < n; i += 8) mix(load8(p + i));
    mix(load8(p + n - 8));
  } else if (n >= 4) {
    mix(load4(p) << 32 | load4(p + n - 4));
  } else if (n > 0) {
    const auto byte = [p](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
    mix(byte(0) << 16 | byte(n / 2) << 8 | byte(n - 1));
  }
  // A last multiplication spreads names that differ in a few bits only
  // (REG_1, REG_2, ...) over the whole index.
  h *= 0xFF51AFD7ED558CCDULL;
  return h ^ (h >> 32);
}

// Two names are equal. Names up to sixteen bytes are compared with the
// same word loads as the hash instead of a call to a general comparison.
inline bool names_equal(std::string_view a, std::string_view b) {
  using name_words::load4;
  using name_words::load8;
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  const char* x = a.data();
  const char* y = b.data();
  if (n >= 8 && n <= 16) return load8(x) == load8(y) && load8(x + n - 8) == load8(y + n - 8);
  if (n >= 4 && n < 8) return load4(x) == load4(y) && load4(x + n - 4) == load4(y + n - 4);
  if (n < 4) {
    for (std::size_t i = 0; i < n; ++i)
      if (x[i] != y[i]) return false;
    return true;
  }
  return std::memcmp(x, y, n) == 0;
}

class MacroIndex {
 public:
  MacroIndex();
  ~MacroIndex();
  MacroIndex(const MacroIndex&) = delete;
  MacroIndex& operator=(const MacroIndex&) = delete;

  // The entry of name, or nullptr.
  MacroSlot* find(std::string_view name) const {
    const std::uint64_t h = hash_name(name);
    for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
      const Cell& cell = cells_[i];
      if (cell.slot == nullptr) return nullptr;
      if (cell.hash == h && names_equal(cell.slot->name, name)) return cell.slot;
    }
  }

  // The entry of name, made (with a default entry) when there is none;
  // true when it was made. The name is hashed once either way.
  std::pair<MacroSlot*, bool> find_or_add(std::string_view name);

  // Removes an entry found in this index; the entry is freed.
  void erase(MacroSlot* slot);

  std::size_t size() const { return count_; }

 private:
  struct Cell {
    std::uint64_t hash = 0;
    MacroSlot* slot = nullptr;  // nullptr: empty
  };

  void grow();

  std::unique_ptr<Cell[]> cells_;
  std::size_t mask_ = 0;  // cell count - 1, a power of two minus one
  std::size_t count_ = 0;
};

}  // namespace cppkv
