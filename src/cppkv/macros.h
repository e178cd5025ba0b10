// The macro table and macro expansion: definitions with their encoded
// bodies, the reserved predefined names, #define and #undef, and the
// expansion of text lines, expressions, #error text, arguments and the
// #include and #line operands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cppkv {

struct Run;
class Expander;

constexpr std::size_t kMaxParameters = 100;
constexpr std::size_t kMaxBodyLength = 16383;      // "token buffer over flow" beyond
constexpr std::size_t kMaxArgumentLength = 16384;  // "macro argument error" beyond
constexpr std::size_t kMaxSubstituted = 16382;     // a substituted body
constexpr std::size_t kMaxRewritten = 16381;       // result plus the rest, text of one rescan
// Expansion levels in progress at once (replacements being rescanned plus
// arguments being expanded for a call); one more is the fatal "macro
// replace nesting over".
constexpr std::size_t kMaxNesting = 65536;

// In an encoded body a parameter reference is kParamMark followed by
// kParamBase + index; a kParamMark byte of the body itself is stored doubled.
constexpr char kParamMark = 0x1F;
constexpr unsigned char kParamBase = 0x40;

struct MacroEntry {
  std::string body;  // encoded replacement body
  bool reserved = false;       // predefined (__LINE__, __FILE__, __DATE__, __TIME__)
  bool function_like = false;
  bool expanding = false;      // being rescanned: not expanded again meanwhile
  std::uint8_t param_count = 0;
  // Parameters referenced away from # and ##, whose arguments are inserted
  // fully expanded (bit i for parameter i).
  std::uint64_t expanded_params[2] = {0, 0};

  bool param_expanded(std::size_t i) const { return (expanded_params[i / 64] >> (i % 64)) & 1; }
};

// Lookup by string_view without making a string.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

// A quick test that rules most identifiers out before the table is
// searched: one bit per shape of name (first and last characters and
// length). A set bit means "may be defined"; bits are never cleared.
class NameFilter {
 public:
  void note(std::string_view name) { bits_[slot(name) / 64] |= std::uint64_t{1} << (slot(name) % 64); }
  bool may_hold(std::string_view name) const { return (bits_[slot(name) / 64] >> (slot(name) % 64)) & 1; }

 private:
  static constexpr std::size_t kBits = 1 << 16;
  static std::size_t slot(std::string_view name) {
    const auto first = static_cast<unsigned char>(name.front());
    const auto last = static_cast<unsigned char>(name.back());
    return ((std::size_t{first} << 8 | last) ^ name.size() << 11) % kBits;
  }
  std::uint64_t bits_[kBits / 64] = {};
};

struct MacroTable {
  MacroTable();
  ~MacroTable();
  MacroTable(const MacroTable&) = delete;
  MacroTable& operator=(const MacroTable&) = delete;

  std::unordered_map<std::string, MacroEntry, NameHash, std::equal_to<>> entries;
  NameFilter filter;  // every name ever entered
  std::string date;  // "Mmm dd yyyy", taken once when the table is created
  std::string time;  // "hh:mm:ss"
  std::unique_ptr<Expander> expander;  // work areas of expansion, reused
};

// Creates the table with the predefined macros, marked reserved.
void create_macro_table(Run& run);

// Enters an object-like definition (-D, -fansi) through the same operation
// as #define.
void define_macro(Run& run, std::string_view name, std::string_view body);

// The operand of #define: the name, a parameter list directly after it,
// and the body up to the line feed. Reports and leaves the table unchanged
// when malformed.
void define_directive(Run& run, std::string_view operand);

// Removes a definition ("reserved id used" first for a predefined one); an
// unknown name is accepted silently.
void undefine_macro(Run& run, std::string_view name);

bool is_defined(const Run& run, std::string_view name);

// The value of a predefined macro (__LINE__, __FILE__ with the current
// file's base name in quotes, __DATE__, __TIME__ in quotes); false for any
// other name.
bool predefined_value(const Run& run, std::string_view name, std::string& value);

// Expands an active text line (text, one line feed, one more per joined
// physical line) and writes the result to the text channel. A call whose
// argument list goes on past the line reads further lines.
void expand_text_line(Run& run, std::string_view line);

// Expands a whole text without reading further lines (expressions, #error
// text, arguments); false after a reported error such as "macro argument
// error".
bool expand_text(Run& run, std::string_view text, std::string& out);

// Replaces the identifier at pos in text by its expansion (unchanged when
// it names no macro); the rest of the text follows it and may supply the
// argument list. Used for the #include and #line operands.
void expand_identifier_in_place(Run& run, std::string& text, std::size_t pos);

}  // namespace cppkv
