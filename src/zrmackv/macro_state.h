// Macro activity state read by the source reader and the message reporter:
// the stored-line lists that expansions replay, the context record stack and
// the engine's counters.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace zrmackv {

struct Run;
struct Symbol;

// One stored source line of a macro or repeat body. A node the engine makes
// is one allocation: the text follows the node itself, and the file name
// points into the engine's pool of file names.
struct StoredLine {
  bool has_text = true;  // a node without text ends the expansion queue
  std::string_view line_data;
  std::string_view f_name;
  std::int32_t line_no = 0;
  StoredLine* next = nullptr;
};

// Activity of a context record. The values are bits: 0-1 defining,
// 2-3 expanding, 4-5 skipping after .EXITM.
enum MacState : int {
  M_NONE = 0,
  M_DEFINE = 1,
  R_DEFINE = 2,
  M_EXPAND = 4,
  R_EXPAND = 8,
  M_EXIT = 16,
  R_EXIT = 32,
};

// A local label declared by .LOCAL in one expansion.
struct LocalLabel {
  std::string name;      // as written
  std::uint32_t number;  // 1 to 65534; the generated name is ..mlNNNN
};

// Context record of one macro activity. It owns only what it uses: the
// parameter lists hold exactly the parameters of the call.
struct MacExp {
  int state = M_NONE;
  int act_count = 0;                  // actual parameters of an expansion
  int frm_count = 0;                  // formal parameters of an expansion
  std::vector<std::string> para_act;  // actual parameter texts, in call order
  std::vector<std::string> para_frm;  // formal names, in header order
  std::int32_t rep_now = 0;           // repetitions of a repeat completed so far
  std::int32_t rep_final = 0;         // repetitions of a repeat
  // Macro: the reader cursor to resume after the expansion. Repeat: the
  // header while recording, then the first body line.
  StoredLine* ret_cursor = nullptr;
  StoredLine* rep_ret_cursor = nullptr;  // repeat: the cursor after the last repetition
  // Each label is a record of its own, in declaration order, so it keeps
  // one identity in the allocation log from its declaration to its release.
  std::vector<std::unique_ptr<LocalLabel>> locals;
  std::string caller_file;
  std::int32_t caller_line = 0;
  MacExp* before = nullptr;     // enclosing activity; none for the bottom record
  StoredLine* rep_body = nullptr;  // repeat: the recorded body, header first (owned)
};

constexpr std::uint32_t kMaxMacroExpansions = 65535;  // open expansions
constexpr std::uint32_t kMaxDefineNest = 65536;       // nested definitions
constexpr std::uint32_t kMaxLocalLabels = 65534;
constexpr std::uint32_t kMaxNestCount = 65535;        // nested blocks while recording or skipping
constexpr std::size_t kMaxMacroParams = 80;

struct MacroEngine {
  MacroEngine() = default;
  MacroEngine(const MacroEngine&) = delete;
  MacroEngine& operator=(const MacroEngine&) = delete;
  ~MacroEngine();

  MacExp bottom;                       // lives for the whole run
  MacExp* current = &bottom;           // innermost activity
  StoredLine* macro_cursor = nullptr;  // next stored line to deliver; none: read files
  StoredLine* last_line = nullptr;     // the most recently stored line
  std::uint32_t define_nest = 0;       // depth of custom macro definitions being recorded
  std::uint32_t rep_define_nest = 0;   // depth of .MREPEAT blocks inside a repeat body
  std::uint32_t mac_exp_cnt = 0;       // custom macro expansions in progress
  std::uint32_t exit_nest = 0;         // nesting while skipping after .EXITM
  std::uint32_t local_label_count = 0; // last local label number handed out
  bool macro_defined = false;          // a definition has been closed: calls are possible
  bool file_switch = false;            // replayed lines come from another file
  bool suppress_line = false;          // the current line is not for the line writer
  std::vector<StoredLine*> redefine_free_list;  // replaced bodies waiting for release
  std::string call_line;               // the current line when it is a macro call

  // Length and first byte (either case) of every macro name made: a word of
  // a shape no macro has is refused as a call without a symbol lookup.
  std::bitset<64 * 32> name_shapes;

  // Every macro entry made, so that the bodies are released at the end.
  std::vector<Symbol*> macro_entries;
  // File names of stored lines; each distinct name is kept once.
  std::unordered_set<std::string> file_names;
  const std::string* last_file_name = nullptr;
  MacExp* spare = nullptr;  // popped records kept for the next pushes, linked by before
  std::uint32_t spare_count = 0;

  // Work areas kept between lines so that substitution allocates nothing
  // once they have grown.
  std::string work;
  std::string item;
};

// The shape of a non-empty name that name_shapes records.
inline std::size_t macro_name_shape(std::string_view name) {
  return (name.size() % 64) * 32 + (static_cast<unsigned char>(name[0]) % 32);
}

// A new stored line with the text and the position given; the node and its
// text are tracked allocations.
StoredLine* stored_line_new(Run& run, std::string_view text, std::string_view f_name,
                            std::int32_t line_no);
// Releases a whole list during the run, starting at first, each node and
// text as a tracked release.
void stored_list_release(Run& run, StoredLine* first);
// Releases a whole list at the end of the run, when nothing is traced.
void stored_list_free(StoredLine* first);

// Pushes a fresh record above the current one and makes it current.
MacExp& macexp_push(Run& run);
// Frees the current record, which must have a before, and makes that current.
void macexp_pop(Run& run);
// Releases the local labels of m.
void local_labels_release(Run& run, MacExp& m);

}  // namespace zrmackv
