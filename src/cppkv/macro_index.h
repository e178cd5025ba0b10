// The index of macro names: open addressing over a flat array of (hash,
// entry) cells, so that a lookup touches one cell for a name that is not
// there and one cell plus its entry for a name that is. Entries live in
// their own allocations and never move while they are in the index; only
// the cells move when the array grows.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Names are short: a multiply-and-xor step per byte, inlined at the
// lookup, costs less than a call to a general-purpose hash.
inline std::uint64_t hash_name(std::string_view name) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return h ^ (h >> 29);
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
      if (cell.hash == h && cell.slot->name == name) return cell.slot;
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
