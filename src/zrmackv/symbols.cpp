#include "zrmackv/symbols.h"

#include "zrmackv/run.h"

namespace zrmackv {

Symbol* SymbolTable::find(std::string_view name) {
  auto it = index_.find(name);
  return it == index_.end() ? nullptr : it->second;
}

const Symbol* SymbolTable::find(std::string_view name) const {
  return const_cast<SymbolTable*>(this)->find(name);
}

Symbol& SymbolTable::create(std::string_view name, int kind) {
  unsigned bucket = name_hash(name);
  Symbol& entry = entries_.emplace_back();
  entry.kind = kind;
  entry.name.assign(name);
  if (tails_[bucket])
    tails_[bucket]->next = &entry;
  else
    heads_[bucket] = &entry;
  tails_[bucket] = &entry;
  index_.emplace(entry.name, &entry);  // the name's characters never move
  return entry;
}

Symbol& symbol_new(Run& run, std::string_view name, int kind, RaisingPlace where) {
  Symbol& entry = run.symbols.create(name, kind);
  info_mem_alloc(run, &entry, sizeof(Symbol) + name.size() + 1, where);
  return entry;
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

void store(Symbol& e, int kind, std::int32_t value, std::string_view text) {
  e.kind = kind;
  // Only an S_EQU (and the kinds outside the table, such as a macro name's
  // link) keeps a value; declarations carry 0.
  e.value = new_kind_column(kind) < 0 || kind == S_EQU ? value : 0;
  if (kind == S_DEFINE)
    e.text.assign(text);
  else
    e.text.clear();
}

}  // namespace

bool symbol_set(Run& run, std::string_view name, int kind, std::int32_t value,
                std::string_view text) {
  if (kind == S_DEFINE) run.symbols.any_define = true;
  Symbol* e = run.symbols.find(name);
  if (!e) {
    Symbol& created = symbol_new(run, name, kind);
    store(created, kind, value, text);
    if (run.info.active) trace_symbol_set(run.info, created, S_NOT_FOUND, true);
    return true;
  }
  int column = new_kind_column(kind);
  Action action = column < 0 ? REPLACE : conflict(e->kind, column);
  const int old_kind = e->kind;
  switch (action) {
    case KEEP: return true;
    case REPLACE:
      store(*e, kind, value, text);
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
