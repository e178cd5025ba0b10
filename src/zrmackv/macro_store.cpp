// Storage of the macro engine: stored lines, the pool of their file names,
// the context record stack, and the recording of body lines.
#include <cstring>
#include <new>

#include "zrmackv/macro_engine.h"
#include "zrmackv/macro_internal.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

// The pooled copy of a file name; consecutive lines of one file share it.
std::string_view pooled_file_name(MacroEngine& me, std::string_view name) {
  if (!me.last_file_name || *me.last_file_name != name)
    me.last_file_name = &*me.file_names.emplace(name).first;
  return *me.last_file_name;
}

void release_record(MacExp& m) {
  stored_list_free(m.rep_body);
  m.rep_body = nullptr;
}

}  // namespace

StoredLine* stored_line_new(MacroEngine& me, std::string_view text, std::string_view f_name,
                            std::int32_t line_no) {
  void* memory = ::operator new(sizeof(StoredLine) + text.size());
  char* chars = static_cast<char*>(memory) + sizeof(StoredLine);
  if (!text.empty()) std::memcpy(chars, text.data(), text.size());
  return new (memory)
      StoredLine{true, std::string_view(chars, text.size()), pooled_file_name(me, f_name), line_no,
                 nullptr};
}

void stored_list_free(StoredLine* first) {
  while (first) {
    StoredLine* next = first->next;
    first->~StoredLine();
    ::operator delete(first);
    first = next;
  }
}

// Popped records kept for reuse, with their lists' capacity; deeper stacks
// give the rest back.
constexpr std::uint32_t kSpareRecords = 64;

MacExp& macexp_push(MacroEngine& me) {
  MacExp* m = me.spare;
  if (m) {
    me.spare = m->before;
    me.spare_count--;
  } else {
    m = new MacExp;
  }
  m->before = me.current;
  me.current = m;
  return *m;
}

void macexp_pop(MacroEngine& me) {
  MacExp* m = me.current;
  me.current = m->before;
  release_record(*m);
  if (me.spare_count == kSpareRecords) {
    delete m;
    return;
  }
  // Back to a fresh record, keeping what its lists have allocated.
  m->state = M_NONE;
  m->act_count = 0;
  m->frm_count = 0;
  m->para_act.clear();
  m->para_frm.clear();
  m->rep_now = 0;
  m->rep_final = 0;
  m->ret_cursor = nullptr;
  m->rep_ret_cursor = nullptr;
  m->locals.clear();
  m->caller_file.clear();
  m->caller_line = 0;
  m->before = me.spare;
  me.spare = m;
  me.spare_count++;
}

MacroEngine::~MacroEngine() {
  while (current != &bottom) macexp_pop(*this);
  release_record(bottom);
  while (spare) {
    MacExp* next = spare->before;
    delete spare;
    spare = next;
  }
  for (Symbol* entry : macro_entries) {
    stored_list_free(entry->body);
    entry->body = nullptr;
  }
  for (StoredLine* body : redefine_free_list) stored_list_free(body);
}

void macro_write_line(Run& run) { run.writer->write_line(run.source.line); }

bool only_blanks(std::string_view text) {
  for (char c : text)
    if (!is_blank(c)) return false;
  return true;
}

void macro_define(Run& run) {
  MacroEngine& me = run.macro;
  MacExp& m = *me.current;
  // Only a body whose header was made can take lines.
  if ((m.state != M_DEFINE && m.state != R_DEFINE) || !me.last_line) return;
  Statement& st = run.line.stmt;
  // A repeat block recorded during an expansion is stored with the
  // expansion's parameters in place: when it is replayed, the current
  // context is the repeat's, which has none.
  if (m.state == R_DEFINE && m.before && m.before->state == M_EXPAND &&
      m.before->frm_count != 0) {
    make_statement(st, run.source.line);
    substitute_parameters(run, *m.before);
  }
  std::string_view text = run.settings.listing ? std::string_view(run.source.line)
                                               : std::string_view(st.text);
  StoredLine* node =
      stored_line_new(me, text, run.source.current_file, static_cast<std::int32_t>(run.source.line_no));
  if (me.last_line) me.last_line->next = node;
  me.last_line = node;
}

}  // namespace zrmackv
