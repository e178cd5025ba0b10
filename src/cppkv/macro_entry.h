// One macro definition as the table keeps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cppkv {

enum class ParamUse : std::uint8_t {
  Expanded,    // fully expanded argument
  AsWritten,   // next to ##: the argument as written
  Stringized,  // after #: the argument as a string literal
};

// One step of substituting a body, read from it once at definition: a run
// of the body's own bytes, a parameter reference, or a ## operator.
struct BodyStep {
  enum class Kind : std::uint8_t { Text, Param, Paste };
  Kind kind = Kind::Text;
  ParamUse use = ParamUse::Expanded;  // Param
  std::uint16_t index = 0;            // Param: the parameter
  std::uint16_t offset = 0;           // Text: where the run starts in the body
  std::uint16_t length = 0;           // Text
};

// What a call of a body that does not substitute to itself needs, kept
// apart from the entry so that plain object-like macros, the commonest,
// do not pay for it.
struct BodyPlan {
  // Parameters referenced away from # and ##, whose arguments are inserted
  // fully expanded (bit i for parameter i).
  std::uint64_t expanded_params[2] = {0, 0};
  std::vector<BodyStep> steps;  // the body's substitution steps
};

struct MacroEntry {
  std::string body;  // encoded replacement body
  bool reserved = false;       // predefined (__LINE__, __FILE__, __DATE__, __TIME__)
  bool function_like = false;
  bool expanding = false;      // being rescanned: not expanded again meanwhile
  // The body holds no parameter reference, ## or mark byte: a call's
  // replacement is the body itself, rescanned where it is stored.
  bool verbatim = false;
  // A verbatim body without a letter or "_": its rescan can find no name,
  // so a call writes it out at once instead of pushing it to be rescanned.
  bool nameless = false;
  std::uint8_t param_count = 0;
  std::unique_ptr<BodyPlan> plan;  // none for a verbatim body

  // A verbatim body references no parameter, so inserts none expanded.
  bool param_expanded(std::size_t i) const { return plan && ((plan->expanded_params[i / 64] >> (i % 64)) & 1); }
};

}  // namespace cppkv
