// Symbol table: values, declarations, .DEFINE texts, labels and macro
// names, 251 hash buckets with chains in order of creation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <memory>
#include <vector>

#include "zrmackv/messages.h"
#include "zrmackv/name_hash.h"

namespace zrmackv {

struct Run;
struct StoredLine;

enum SymbolKind : int {
  S_MACRO = 1,
  S_EQU = 2,
  S_LABEL = 3,
  S_GLOBAL = 4,
  S_BTEQU = 5,
  S_BGLOBAL = 9,
  S_DEFINE = 10,
  S_NOT_FOUND = 15,
};

struct Symbol {
  std::string_view name;   // the name as written; its bytes belong to the table
  std::string_view text;   // replacement text of an S_DEFINE; bytes owned by the table
  StoredLine* body = nullptr;  // a macro name's stored body, header first
  Symbol* next = nullptr;  // next entry of the same bucket
  int kind = S_NOT_FOUND;
  std::int32_t value = 0;
  std::uint32_t hash = 0;       // the index hash of the name
  std::uint32_t text_slot = 0;  // 1 + the define-text store that holds text; 0 for none
};

// Where a name that a lookup did not find goes into the index; create takes
// it so that the name is not hashed and probed a second time.
struct SymbolPlace {
  std::uint32_t hash = 0;
  std::uint32_t slot = 0;
  std::size_t count = SIZE_MAX;  // the table's size when the place was found
};

class SymbolTable {
 public:
  SymbolTable() = default;
  SymbolTable(const SymbolTable&) = delete;
  SymbolTable& operator=(const SymbolTable&) = delete;

  // The entry of that name, or nullptr; a miss leaves in place where the
  // name would go.
  Symbol* find(std::string_view name, SymbolPlace& place);
  Symbol* find(std::string_view name);
  const Symbol* find(std::string_view name) const;
  // Creates an entry (the name must not be there yet) at the end of its
  // bucket's chain. place is the one a lookup of the same name just gave;
  // without it the name is looked up again.
  Symbol& create(std::string_view name, int kind, const SymbolPlace& place);
  Symbol& create(std::string_view name, int kind);
  // Gives e the replacement text text (kept in the table), or none.
  void set_text(Symbol& e, std::string_view text);
  void clear_text(Symbol& e) { e.text = {}; }
  std::size_t size() const { return count_; }
  // True once any name has been given a .DEFINE text: until then no line
  // needs .DEFINE replacement.
  bool any_define = false;

 private:
  // Entries live in fixed blocks, never moved; the names' bytes in larger
  // character blocks. Nothing is removed before the run ends, and a run
  // ends by freeing a few blocks.
  static constexpr std::size_t kEntriesPerBlock = 1024;
  static constexpr std::size_t kNameBlockBytes = 64 * 1024;

  Symbol& entry(std::uint32_t number) {
    return entry_blocks_[number / kEntriesPerBlock][number % kEntriesPerBlock];
  }
  std::string_view keep_name(std::string_view name);
  void grow_index();

  std::vector<std::unique_ptr<Symbol[]>> entry_blocks_;
  std::vector<std::unique_ptr<char[]>> name_blocks_;
  std::size_t name_block_used_ = kNameBlockBytes;
  std::size_t count_ = 0;
  std::deque<std::string> define_texts_;
  std::array<Symbol*, kHashBuckets> heads_{};
  std::array<Symbol*, kHashBuckets> tails_{};
  // Lookup index over the same entries, open addressing, at most half
  // full. The bucket hash adds up the bytes, so names that differ only in
  // the order of their characters (LOOP12 and LOOP21, or numbered labels in
  // general) would share a few long chains; the index keeps a lookup
  // independent of their length. Each slot has a one-byte tag from the
  // name's hash (0 for a free slot), so that a probe reads only the small
  // tag array and an entry only when its tag matches, and the entry number
  // plus 1.
  std::vector<std::uint8_t> index_tags_;
  std::vector<std::uint32_t> index_entries_;
};

struct SymbolResult {
  int kind;
  std::int32_t value;
};

// Creates a new entry and accounts for it as a tracked allocation: the
// record with its own copy of the name.
Symbol& symbol_new(Run& run, std::string_view name, int kind,
                   RaisingPlace where = RaisingPlace::current());
// The same at the index place that a lookup of name which missed found.
Symbol& symbol_new(Run& run, std::string_view name, int kind, const SymbolPlace& place,
                   RaisingPlace where = RaisingPlace::current());

// Kind and value of name; kind S_NOT_FOUND when absent.
SymbolResult symbol_lookup(const Run& run, std::string_view name);

// Creates name, or updates it by the conflict rules of its existing kind
// against the new one (S_EQU, S_GLOBAL, S_BTEQU, S_BGLOBAL or S_DEFINE).
// A new entry takes value for S_EQU (0 for the other kinds) and, for
// S_DEFINE, its own copy of text. A conflict raises its error and leaves the
// entry as it was; then the result is false. Any other new kind (a macro
// name, a label) takes over the entry whatever it was.
bool symbol_set(Run& run, std::string_view name, int kind, std::int32_t value,
                std::string_view text = {});

}  // namespace zrmackv
