#include "cppkv/macro_index.h"

namespace cppkv {

namespace {
constexpr std::size_t kInitialCells = 256;
}

MacroIndex::MacroIndex() : cells_(new Cell[kInitialCells]), mask_(kInitialCells - 1) {}

MacroIndex::~MacroIndex() {
  for (std::size_t i = 0; i <= mask_; ++i) delete cells_[i].slot;
}

std::pair<MacroSlot*, bool> MacroIndex::find_or_add(std::string_view name) {
  // Kept at most half full, so that probe runs stay short.
  if ((count_ + 1) * 2 > mask_ + 1) grow();
  const std::uint64_t h = hash_name(name);
  std::size_t i = h & mask_;
  for (;; i = (i + 1) & mask_) {
    Cell& cell = cells_[i];
    if (cell.slot == nullptr) break;
    if (cell.hash == h && names_equal(cell.slot->name, name)) return {cell.slot, false};
  }
  cells_[i].hash = h;
  cells_[i].slot = new MacroSlot{std::string(name), MacroEntry{}};
  ++count_;
  return {cells_[i].slot, true};
}

void MacroIndex::erase(MacroSlot* slot) {
  std::size_t i = hash_name(slot->name) & mask_;
  while (cells_[i].slot != slot) i = (i + 1) & mask_;
  delete slot;
  --count_;
  // Later cells of the same probe run move back into the hole, so that no
  // lookup stops early at it.
  std::size_t hole = i;
  for (std::size_t j = (i + 1) & mask_; cells_[j].slot != nullptr; j = (j + 1) & mask_) {
    const std::size_t home = cells_[j].hash & mask_;
    // The cell at j may fill the hole when its home is not inside (hole, j].
    const bool home_after_hole = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
    if (home_after_hole) continue;
    cells_[hole] = cells_[j];
    hole = j;
  }
  cells_[hole] = Cell{};
}

void MacroIndex::grow() {
  const std::size_t old_size = mask_ + 1;
  std::unique_ptr<Cell[]> old = std::move(cells_);
  cells_.reset(new Cell[old_size * 2]);
  mask_ = old_size * 2 - 1;
  for (std::size_t k = 0; k < old_size; ++k) {
    if (old[k].slot == nullptr) continue;
    std::size_t i = old[k].hash & mask_;
    while (cells_[i].slot != nullptr) i = (i + 1) & mask_;
    cells_[i] = old[k];
  }
}

}  // namespace cppkv
