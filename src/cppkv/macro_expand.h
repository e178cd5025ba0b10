// The expansion machine. Nested replacements never nest C calls: every
// level is a frame on a heap stack (its replacement text, how far it has
// been rescanned, and the macro it belongs to), and every argument that is
// expanded before substitution is a context of its own on a second heap
// stack. The end of a frame's text stands where the end-of-replacement
// marker would be: reaching it ends that macro's rescan and lets the macro
// be expanded again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cppkv/macros.h"
#include "cppkv/reader.h"

namespace cppkv {

class Expander {
 public:
  Expander();
  ~Expander();

  void text_line(Run& run, std::string_view line);
  bool text(Run& run, std::string_view text, std::string& out);
  void identifier_in_place(Run& run, std::string& text, std::size_t pos);

 private:
  enum class Mode {
    TextLine,    // written to the text channel; may read further lines
    Text,        // expressions, #error text: a name without its list is an error
    Argument,    // an argument expanded before substitution
    Identifier,  // one identifier of an #include or #line operand
  };

  struct Frame {
    std::string own;             // the replacement text
    const char* ext = nullptr;   // or text owned by the caller (base frames)
    bool owned = false;
    std::size_t len = 0;
    std::size_t pos = 0;         // rescanned up to here
    MacroEntry* macro = nullptr;
    std::size_t below = 0;       // characters left in the frames under it when pushed
    const char* data() const { return owned ? own.data() : ext; }
    std::size_t left() const { return len - pos; }
  };

  struct Context {
    Mode mode = Mode::Text;
    std::size_t base = 0;       // index of its base frame
    std::string* out = nullptr; // where its text goes (not in TextLine mode)
    std::size_t produced = 0;   // text written by the expansion under way
    std::uint32_t owed_newlines = 0;  // lines read on by calls not yet finished
    bool first_done = false;    // Identifier mode: the identifier was handled
    // A call whose arguments are being expanded, one context each.
    bool waiting = false;
    MacroEntry* call = nullptr;
    std::size_t rescan_from = 0;  // frame the call ended in
    std::size_t next_arg = 0;
    std::size_t arg_count = 0;    // stored arguments
    std::vector<std::string> args;
    std::vector<std::string> expanded;
    // Bit i: argument i holds no name to expand, so its expansion is the
    // argument as written and is taken from args instead of a copy.
    std::uint64_t unchanged[2] = {0, 0};
    bool expands_to_itself(std::size_t i) const { return (unchanged[i / 64] >> (i % 64)) & 1; }
  };

  struct Cursor {
    std::size_t frame;
    std::size_t pos;
  };

  enum class Collect { NoCall, Call, Failed };
  enum class ReadOn { Continued, PushedBack, Failed };

  void reset();
  void push_context(Run& run, Mode mode, std::string_view text, std::string* out);
  void run_until_done(Run& run);
  bool step(Run& run);
  void scan_top_frame(Run& run, Context& c);
  MacroSlot* lookup_expandable(Run& run, std::string_view name);
  MacroSlot* find_expandable(Run& run, const char* p, std::size_t n, std::size_t& i, std::size_t& s);
  void handle_macro(Run& run, Context& c, MacroEntry& m, std::string_view name);
  void end_top_frame(Run& run, Context& c);
  void finish_top_level(Run& run, Context& c);
  void emit(Run& run, Context& c, const char* p, std::size_t n, bool from_expansion);
  void emit_owed_newlines(Run& run, Context& c);
  Frame& new_frame(Run& run, MacroEntry* m, std::size_t len, std::size_t below);
  void push_frame(Run& run, MacroEntry* m, std::string& text, std::size_t below);
  void push_body_frame(Run& run, MacroEntry* m, std::size_t below);
  void write_nameless_body(Run& run, Context& c, const MacroEntry& m, std::size_t below);
  std::size_t remaining_from(std::size_t frame) const;

  Collect collect_arguments(Run& run, Context& c, Cursor& cur);
  static constexpr int kEndOfText = -1;
  int next_char(Context& c, Cursor& cur) {
    const Frame& f = frames_[cur.frame];
    if (cur.pos < f.len) return static_cast<unsigned char>(f.data()[cur.pos]);
    return next_char_across(c, cur);
  }
  int next_char_across(Context& c, Cursor& cur);
  ReadOn read_on(Run& run, Context& c, Cursor& cur, bool looking_for_paren);
  void commit(const Cursor& cur);
  void start_argument_expansion(Run& run, Context& c);
  void finish_call(Run& run, Context& c);
  void report_at_call(Run& run, int id, std::uint32_t line);

  std::vector<std::unique_ptr<Context>> contexts_;
  std::size_t depth_ = 0;
  std::vector<Frame> frames_;
  std::size_t nframes_ = 0;
  std::size_t errors_ = 0;
  std::uint32_t call_line_ = 0;  // where the call being collected began
  std::size_t total_args_ = 0;   // arguments of that call, stored or not
  LineBuffer continuation_;  // lines read on for an argument list
  std::string raw_copy_;     // a line looked at for "(", kept to push back
  std::string result_;       // a substituted body
  std::string name_value_;   // value of a predefined macro
  std::string identifier_out_;
  std::string scratch_arg_;
};

}  // namespace cppkv
