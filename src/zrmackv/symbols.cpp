#include "zrmackv/symbols.h"

#include "zrmackv/run.h"

namespace zrmackv {

Symbol* SymbolTable::find(std::string_view name) {
  for (Symbol* e = heads_[name_hash(name)]; e; e = e->next)
    if (e->name == name) return e;
  return nullptr;
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
  return entry;
}

SymbolResult symbol_lookup(const Run& run, std::string_view name) {
  const Symbol* e = run.symbols.find(name);
  if (!e) return {S_NOT_FOUND, 0};
  return {e->kind, e->value};
}

void symbol_set(Run& run, std::string_view name, int kind, std::int32_t value,
                std::string_view text) {
  Symbol* e = run.symbols.find(name);
  if (!e) e = &run.symbols.create(name, kind);
  e->kind = kind;
  e->value = kind == S_EQU ? value : 0;
  if (kind == S_DEFINE)
    e->text.assign(text);
  else
    e->text.clear();
}

}  // namespace zrmackv
