// Macro activity state read by the source reader and the message reporter:
// the stored-line list that expansions replay and the context record stack.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zrmackv {

// One stored source line of a macro or repeat body.
struct StoredLine {
  bool has_text = true;  // a node without text ends the expansion queue
  std::string line_data;
  std::string f_name;
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

// Context record of one macro activity.
struct MacExp {
  int state = M_NONE;
  std::string caller_file;
  std::int32_t caller_line = 0;
  int act_count = 0;         // actual parameters of a macro expansion
  std::int32_t rep_now = 0;  // repetitions of a repeat completed so far
  MacExp* before = nullptr;
};

struct MacroEngine {
  MacExp bottom;                  // lives for the whole run
  MacExp* current = &bottom;      // innermost activity
  StoredLine* macro_cursor = nullptr;  // next stored line to deliver; none: read files
  std::uint32_t define_nest = 0;      // depth of custom macro definitions being recorded
  std::uint32_t rep_define_nest = 0;  // depth of .MREPEAT blocks inside a repeat body
};

}  // namespace zrmackv
