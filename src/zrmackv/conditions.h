// Conditional assembly: the stack of open .IF blocks, the line status that
// decides whether a line is assembled, the counting of conditional
// directives met in a region being skipped, and the .IF/.ELIF/.ELSE/.ENDIF
// handlers with their condition evaluation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zrmackv {

struct Run;

// Kinds of the branch a block record stands for.
enum BlockType : std::uint8_t {
  BLOCK_NONE = 0,  // the base record, no block open
  BLOCK_IF = 1,
  BLOCK_ELIF = 2,
  BLOCK_ELSE = 4,
};

// Deepest .IF nesting; one more .IF is refused.
inline constexpr std::uint32_t kMaxIfNesting = 65535;

// One open conditional level, in the state of its current branch.
struct CondBlock {
  std::uint8_t block_type = BLOCK_NONE;
  bool assembling = true;     // lines of this branch are assembled
  bool else_pending = true;   // no branch of the chain taken yet: an .ELSE would be
  bool branch_taken = false;  // this branch or an earlier one of the chain was taken
};

struct Conditions {
  Conditions() { blocks.emplace_back(); }

  // Line status: the assembling flag of the current (innermost) record.
  // The line engine reads it before it does anything with a line.
  bool assembling = true;
  std::uint32_t if_nesting = 0;  // open .IF levels, 0 to 65535

  // Records, outermost first; blocks.front() is the base record, which
  // always exists and serves the outermost .IF, blocks.back() the current
  // one. Each deeper .IF adds a record; an .ELIF or .ELSE takes over the
  // record of its level, since the branch it follows is never looked at
  // again and .ENDIF ends the whole level at once. The stack therefore
  // never holds more than one record per open level.
  std::vector<CondBlock> blocks;

  // Skipping: while a region is not assembled, each .IF met there is only
  // counted and its .ENDIF uncounted; conditional directives are processed
  // again once the count is back to 0.
  bool cond_live = true;
  std::uint64_t skip_depth = 0;

  // Texts of the two strings of a string comparison; kept between lines so
  // that comparing allocates nothing once they have grown.
  std::string left_str;
  std::string right_str;

  // Back to the start-up state: the base record alone, nothing open.
  void reset();
};

// Verdicts of cnd_operand.
enum CondResult : int { COND_FALSE = 0, COND_TRUE = 1, COND_FAILED = 2 };

// Evaluates the operand of an .IF or .ELIF: a numeric expression, optionally
// compared with a second one, or a quoted string, optionally compared with a
// second one. A failure has raised its message.
int cnd_operand(Run& run, std::string_view operand);

// Runs a conditional directive (code CD_IF to CD_ENDIF) whose name field the
// dispatcher has already checked; called whatever the line status.
void conditional_directive(Run& run, int code);

}  // namespace zrmackv
