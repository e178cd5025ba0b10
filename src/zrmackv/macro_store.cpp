// Storage of the macro engine: stored lines, the pool of their file names,
// the context record stack, and the recording of body lines.
#include <cstring>
#include <new>

#include "zrmackv/macro_engine.h"
#include "zrmackv/macro_internal.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

// Popped records kept for reuse, with their lists' capacity; deeper stacks
// give the rest back.
constexpr std::uint32_t kSpareRecordsKept = 64;

// The pooled copy of a file name; consecutive lines of one file share it.
// A name new to the pool is a tracked allocation, kept until the run ends;
// its text is the f_name that the traces of the stored lines identify.
std::string_view pooled_file_name(Run& run, std::string_view name) {
  MacroEngine& me = run.macro;
  if (!me.last_file_name || *me.last_file_name != name) {
    auto [it, added] = me.file_names.emplace(name);
    if (added) info_mem_alloc(run, it->data(), name.size() + 1);
    me.last_file_name = &*it;
  }
  return *me.last_file_name;
}

// Takes the current record off the stack and keeps it for reuse, or frees
// it when enough are kept. Its lists must already be empty or untraced.
void pop_record(MacroEngine& me) {
  MacExp* m = me.current;
  me.current = m->before;
  stored_list_free(m->rep_body);
  m->rep_body = nullptr;
  if (me.spare_count == kSpareRecordsKept) {
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

}  // namespace

StoredLine* stored_line_new(Run& run, std::string_view text, std::string_view f_name,
                            std::int32_t line_no) {
  void* memory = ::operator new(sizeof(StoredLine) + text.size());
  char* chars = static_cast<char*>(memory) + sizeof(StoredLine);
  if (!text.empty()) std::memcpy(chars, text.data(), text.size());
  auto* node = new (memory) StoredLine{true, std::string_view(chars, text.size()),
                                       pooled_file_name(run, f_name), line_no, nullptr};
  // The node and its text share one block; the log shows them as the two
  // records they are, the text under the handle its trace lines print.
  info_mem_alloc(run, node, sizeof(StoredLine));
  info_mem_alloc(run, &node->line_data, text.size() + 1);
  return node;
}

void stored_list_free(StoredLine* first) {
  while (first) {
    StoredLine* next = first->next;
    first->~StoredLine();
    ::operator delete(first);
    first = next;
  }
}

void stored_list_release(Run& run, StoredLine* first) {
  while (first) {
    StoredLine* next = first->next;
    if (run.info.active) {
      info_mem_free(run, &first->line_data);
      info_mem_free(run, first);
    }
    first->next = nullptr;
    stored_list_free(first);
    first = next;
  }
}

MacExp& macexp_push(Run& run) {
  MacroEngine& me = run.macro;
  MacExp* m = me.spare;
  if (m) {
    me.spare = m->before;
    me.spare_count--;
  } else {
    m = new MacExp;
  }
  info_mem_alloc(run, m, sizeof(MacExp));
  m->before = me.current;
  me.current = m;
  return *m;
}

void macexp_pop(Run& run) {
  MacroEngine& me = run.macro;
  MacExp* m = me.current;
  stored_list_release(run, m->rep_body);
  m->rep_body = nullptr;
  local_labels_release(run, *m);
  info_mem_free(run, m);
  pop_record(me);
}

void local_labels_release(Run& run, MacExp& m) {
  if (run.info.active)
    for (const auto& l : m.locals) info_mem_free(run, l.get());
  m.locals.clear();
}

MacroEngine::~MacroEngine() {
  while (current != &bottom) pop_record(*this);
  stored_list_free(bottom.rep_body);
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
    if (run.info.active)
      info_mac_para_chg_before(run.info, m.before->act_count, m.before->frm_count);
    substitute_parameters(run, *m.before);
  }
  std::string_view text = run.settings.listing ? std::string_view(run.source.line)
                                               : std::string_view(st.text);
  StoredLine* node = stored_line_new(run, text, run.source.current_file,
                                     static_cast<std::int32_t>(run.source.line_no));
  if (run.info.active) info_macro_define(run.info, node, &node->line_data, node->f_name.data());
  if (me.last_line) me.last_line->next = node;
  me.last_line = node;
}

}  // namespace zrmackv
