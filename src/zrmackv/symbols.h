// Symbol table: values, declarations, .DEFINE texts, labels and macro
// names, 251 hash buckets with chains in order of creation.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

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
  int kind = S_NOT_FOUND;
  std::string name;
  std::string text;  // replacement text of an S_DEFINE
  std::int32_t value = 0;
  StoredLine* body = nullptr;  // a macro name's stored body, header first
  Symbol* next = nullptr;  // next entry of the same bucket
};

class SymbolTable {
 public:
  // The entry of that name, or nullptr.
  Symbol* find(std::string_view name);
  const Symbol* find(std::string_view name) const;
  // Creates an entry at the end of its bucket's chain.
  Symbol& create(std::string_view name, int kind);
  std::size_t size() const { return entries_.size(); }
  // True once any name has been given a .DEFINE text: until then no line
  // needs .DEFINE replacement.
  bool any_define = false;

 private:
  std::deque<Symbol> entries_;  // stable addresses; nothing is removed
  std::array<Symbol*, kHashBuckets> heads_{};
  std::array<Symbol*, kHashBuckets> tails_{};
  // Lookup index over the same entries. The bucket hash adds up the bytes,
  // so names that differ only in the order of their characters (LOOP12 and
  // LOOP21, or numbered labels in general) share a few long chains; the
  // index keeps a lookup independent of their length.
  std::unordered_map<std::string_view, Symbol*> index_;
};

struct SymbolResult {
  int kind;
  std::int32_t value;
};

// Creates a new entry and accounts for it as a tracked allocation: the
// record with its own copy of the name.
Symbol& symbol_new(Run& run, std::string_view name, int kind,
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
