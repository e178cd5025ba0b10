#include "zrmackv/symbols.h"

#include <cstring>

#include "zrmackv/run.h"

namespace zrmackv {

namespace {

std::uint64_t load_word(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// The index hash: eight bytes at a time, then the rest, then mixed so that
// the top and bottom bits both depend on every byte.
std::uint32_t index_hash(std::string_view name) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  const char* p = name.data();
  std::size_t n = name.size();
  std::uint64_t h = n * kMultiplier;
  for (; n >= 8; n -= 8, p += 8) h = (h ^ load_word(p)) * kMultiplier;
  std::uint64_t rest = 0;
  for (std::size_t i = 0; i < n; ++i)
    rest |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  h = (h ^ rest) * kMultiplier;
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

}  // namespace

namespace {

// The tag of a hash: its top byte, never 0 (which marks a free slot).
std::uint8_t hash_tag(std::uint32_t hash) {
  std::uint8_t tag = static_cast<std::uint8_t>(hash >> 24);
  return tag ? tag : 1;
}

}  // namespace

Symbol* SymbolTable::find(std::string_view name, SymbolPlace& place) {
  place.hash = index_hash(name);
  place.count = count_;
  if (index_tags_.empty()) {
    place.slot = 0;
    return nullptr;
  }
  const std::uint8_t tag = hash_tag(place.hash);
  const std::size_t mask = index_tags_.size() - 1;
  for (std::size_t i = place.hash & mask;; i = (i + 1) & mask) {
    const std::uint8_t slot_tag = index_tags_[i];
    if (slot_tag == 0) {
      place.slot = static_cast<std::uint32_t>(i);
      return nullptr;
    }
    if (slot_tag != tag) continue;
    Symbol& e = entry(index_entries_[i] - 1);
    if (e.hash == place.hash && e.name == name) return &e;
  }
}

Symbol* SymbolTable::find(std::string_view name) {
  SymbolPlace place;
  return find(name, place);
}

const Symbol* SymbolTable::find(std::string_view name) const {
  return const_cast<SymbolTable*>(this)->find(name);
}

std::string_view SymbolTable::keep_name(std::string_view name) {
  if (name.size() > kNameBlockBytes - name_block_used_) {
    name_blocks_.push_back(std::make_unique_for_overwrite<char[]>(kNameBlockBytes));
    name_block_used_ = 0;
  }
  char* at = name_blocks_.back().get() + name_block_used_;
  if (!name.empty()) std::memcpy(at, name.data(), name.size());
  name_block_used_ += name.size();
  return {at, name.size()};
}

void SymbolTable::grow_index() {
  const std::size_t size = index_tags_.empty() ? 1024 : index_tags_.size() * 2;
  // Emptied first, so that the old arrays are gone before the new ones
  // take their place and the peak stays at the new size.
  index_tags_ = std::vector<std::uint8_t>();
  index_entries_ = std::vector<std::uint32_t>();
  index_tags_.assign(size, 0);
  index_entries_.assign(size, 0);
  const std::size_t mask = size - 1;
  // Entries go in again in order of creation, read one after the other;
  // a name created twice keeps being found as the first.
  for (std::uint32_t number = 0; number < count_; ++number) {
    const std::uint32_t hash = entry(number).hash;
    std::size_t i = hash & mask;
    while (index_tags_[i] != 0) i = (i + 1) & mask;
    index_tags_[i] = hash_tag(hash);
    index_entries_[i] = number + 1;
  }
}

Symbol& SymbolTable::create(std::string_view name, int kind, const SymbolPlace& given) {
  SymbolPlace place = given;
  // Keep the index at most half full; a grown index (or a place from an
  // older state of the table) needs the free slot found again.
  if ((count_ + 1) * 2 > index_tags_.size()) {
    grow_index();
    place.count = SIZE_MAX;
  }
  // A name created twice gets a second entry on its chain, but lookups keep
  // finding the first.
  bool indexed = place.count == count_ || !find(name, place);

  if (count_ % kEntriesPerBlock == 0)
    entry_blocks_.push_back(std::make_unique<Symbol[]>(kEntriesPerBlock));
  const std::uint32_t number = static_cast<std::uint32_t>(count_);
  Symbol& e = entry(number);
  e.kind = kind;
  e.name = keep_name(name);
  e.hash = place.hash;
  if (indexed) {
    index_tags_[place.slot] = hash_tag(place.hash);
    index_entries_[place.slot] = number + 1;
  }
  ++count_;

  unsigned bucket = name_hash(name);
  if (tails_[bucket])
    tails_[bucket]->next = &e;
  else
    heads_[bucket] = &e;
  tails_[bucket] = &e;
  return e;
}

Symbol& SymbolTable::create(std::string_view name, int kind) {
  SymbolPlace place;
  return create(name, kind, place);
}

void SymbolTable::set_text(Symbol& e, std::string_view text) {
  if (e.text_slot == 0) {
    define_texts_.emplace_back();
    e.text_slot = static_cast<std::uint32_t>(define_texts_.size());
  }
  std::string& kept = define_texts_[e.text_slot - 1];
  kept.assign(text);
  e.text = kept;
}

Symbol& symbol_new(Run& run, std::string_view name, int kind, const SymbolPlace& place,
                   RaisingPlace where) {
  Symbol& entry = run.symbols.create(name, kind, place);
  info_mem_alloc(run, &entry, sizeof(Symbol) + name.size() + 1, where);
  return entry;
}

Symbol& symbol_new(Run& run, std::string_view name, int kind, RaisingPlace where) {
  return symbol_new(run, name, kind, SymbolPlace{}, where);
}

SymbolResult symbol_lookup(const Run& run, std::string_view name) {
  const Symbol* e = run.symbols.find(name);
  if (!e) return {S_NOT_FOUND, 0};
  return {e->kind, e->value};
}

namespace {

// What symbol_set does when the name already exists.
enum Action : int {
  KEEP,      // no change, no message
  REPLACE,   // the entry takes the new kind, value and text
  BIT_ZERO,  // stays S_BTEQU with the value 0
  INVALID,   // "Invalid symbol definition"
  MULTIPLE,  // "Symbol is multiple defined"
  BIT_EXIST, // "Invalid bit-symbol exist"
  ANOTHER,   // "Symbol has already defined as another type"
};

// Column of a new kind in the conflict table; -1 for kinds outside it.
int new_kind_column(int kind) {
  switch (kind) {
    case S_EQU: return 0;
    case S_GLOBAL: return 1;
    case S_BTEQU: return 2;
    case S_BGLOBAL: return 3;
    case S_DEFINE: return 4;
    default: return -1;
  }
}

// Conflict table: existing kind (row) against new kind (column:
// S_EQU, S_GLOBAL, S_BTEQU, S_BGLOBAL, S_DEFINE).
Action conflict(int existing, int column) {
  static constexpr Action kMacro[5] = {KEEP, INVALID, KEEP, INVALID, INVALID};
  static constexpr Action kEqu[5] = {REPLACE, KEEP, BIT_EXIST, BIT_EXIST, MULTIPLE};
  static constexpr Action kLabel[5] = {KEEP, KEEP, KEEP, KEEP, KEEP};
  static constexpr Action kGlobal[5] = {REPLACE, KEEP, BIT_EXIST, BIT_EXIST, MULTIPLE};
  static constexpr Action kBtequ[5] = {ANOTHER, ANOTHER, BIT_ZERO, BIT_ZERO, MULTIPLE};
  static constexpr Action kBglobal[5] = {KEEP, INVALID, KEEP, INVALID, INVALID};
  static constexpr Action kDefine[5] = {MULTIPLE, MULTIPLE, MULTIPLE, MULTIPLE, REPLACE};
  switch (existing) {
    case S_MACRO: return kMacro[column];
    case S_EQU: return kEqu[column];
    case S_LABEL: return kLabel[column];
    case S_GLOBAL: return kGlobal[column];
    case S_BTEQU: return kBtequ[column];
    case S_BGLOBAL: return kBglobal[column];
    case S_DEFINE: return kDefine[column];
    default: return REPLACE;
  }
}

// Trace name of a kind that symbol_set stores; nullptr for the others.
const char* kind_trace_name(int kind) {
  switch (kind) {
    case S_EQU: return "S_EQU";
    case S_GLOBAL: return "S_GLOBAL";
    case S_BTEQU: return "S_BTEQU";
    case S_BGLOBAL: return "S_BGLOBAL";
    case S_DEFINE: return "S_DEFINE";
    default: return nullptr;
  }
}

// The trace line of an entry symbol_set created (created) or changed.
void trace_symbol_set(Info& info, const Symbol& e, int old_kind, bool created) {
  if (created && e.kind == S_DEFINE) {
    info_symbol_define_new(info, e.name, e.kind);
    return;
  }
  const char* kind = kind_trace_name(e.kind);
  if (!kind) return;
  info_symbol_set(info, e.name, kind, !created && old_kind == S_GLOBAL && e.kind == S_EQU);
}

void store(SymbolTable& table, Symbol& e, int kind, std::int32_t value, std::string_view text) {
  e.kind = kind;
  // Only an S_EQU (and the kinds outside the table, such as a macro name's
  // link) keeps a value; declarations carry 0.
  e.value = new_kind_column(kind) < 0 || kind == S_EQU ? value : 0;
  if (kind == S_DEFINE)
    table.set_text(e, text);
  else
    table.clear_text(e);
}

}  // namespace

bool symbol_set(Run& run, std::string_view name, int kind, std::int32_t value,
                std::string_view text) {
  if (kind == S_DEFINE) run.symbols.any_define = true;
  SymbolPlace place;
  Symbol* e = run.symbols.find(name, place);
  if (!e) {
    Symbol& created = symbol_new(run, name, kind, place);
    store(run.symbols, created, kind, value, text);
    if (run.info.active) trace_symbol_set(run.info, created, S_NOT_FOUND, true);
    return true;
  }
  int column = new_kind_column(kind);
  Action action = column < 0 ? REPLACE : conflict(e->kind, column);
  const int old_kind = e->kind;
  switch (action) {
    case KEEP: return true;
    case REPLACE:
      store(run.symbols, *e, kind, value, text);
      if (run.info.active) trace_symbol_set(run.info, *e, old_kind, false);
      return true;
    case BIT_ZERO:
      e->value = 0;
      if (run.info.active) trace_symbol_set(run.info, *e, old_kind, false);
      return true;
    case INVALID: message_set(run, E_INVALID_SYMBOL_DEFINITION, name, MSG_ERROR); break;
    case MULTIPLE: message_set(run, E_MULTIPLE_DEFINED, name, MSG_ERROR); break;
    case BIT_EXIST: message_set(run, E_INVALID_BIT_SYMBOL, name, MSG_ERROR); break;
    case ANOTHER: message_set(run, E_ANOTHER_TYPE, name, MSG_ERROR); break;
  }
  return false;
}

}  // namespace zrmackv
