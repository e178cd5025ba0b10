#include "cppkv/macro_expand.h"

#include "cppkv/chars.h"
#include "cppkv/macro_body.h"
#include "cppkv/output.h"
#include "cppkv/report.h"
#include "cppkv/run.h"

namespace cppkv {

namespace {

// Also takes the end-of-text code, which is no blank.
bool is_blank_char(int c) { return c == ' ' || c == '\t'; }

// What the scanner of a text does with each byte.
enum CharClass : unsigned char { C_PLAIN, C_ID_START, C_DIGIT, C_QUOTE };

struct CharTables {
  unsigned char scan[256];      // CharClass
  unsigned char id_char[256];   // letters, digits, "_"
  unsigned char alnum[256];     // letters and digits (the rest of a number)
  unsigned char arg_plain[256]; // copied into an argument as they are
  CharTables() {
    for (int b = 0; b < 256; ++b) {
      const auto c = static_cast<unsigned char>(b);
      scan[b] = is_id_start(c) ? C_ID_START : is_digit(c) ? C_DIGIT : (c == '"' || c == '\'') ? C_QUOTE : C_PLAIN;
      alnum[b] = is_letter(c) || is_digit(c);
      id_char[b] = alnum[b] || c == '_';
      arg_plain[b] = c != '(' && c != ')' && c != ',' && c != '"' && c != '\'' && c != '\n';
    }
  }
};
const CharTables kChars;


// Writes a substituted body: arguments as the body's references ask.
struct SubstitutionWriter {
  std::string& out;
  const std::vector<std::string>& args;
  const std::vector<std::string>& expanded;
  const std::uint64_t* unchanged;  // arguments whose expansion is themselves
  std::size_t stored;  // arguments given; the others are empty

  void text(std::string_view t) { out.append(t); }
  void paste() {
    while (!out.empty() && body_blank(out.back())) out.pop_back();
  }
  void param(std::size_t index, ParamUse use) {
    if (index >= stored) return;
    switch (use) {
      case ParamUse::Expanded:
        out.append((unchanged[index / 64] >> (index % 64)) & 1 ? args[index] : expanded[index]);
        break;
      case ParamUse::AsWritten: out.append(args[index]); break;
      case ParamUse::Stringized: append_stringized(out, args[index]); break;
    }
  }
};

std::string_view trim_blanks(std::string_view t) {
  while (!t.empty() && is_blank_char(t.front())) t.remove_prefix(1);
  while (!t.empty() && is_blank_char(t.back())) t.remove_suffix(1);
  return t;
}

}  // namespace

void append_stringized(std::string& out, std::string_view argument) {
  out.push_back('"');
  std::size_t i = 0;
  const std::size_t n = argument.size();
  while (i < n) {
    const char c = argument[i++];
    if (c != '"' && c != '\'') {
      out.push_back(c);
      continue;
    }
    out.push_back('\\');
    out.push_back(c);
    while (i < n && argument[i] != c) {
      const char d = argument[i++];
      if (d == '\\') {
        out.append("\\\\");
        if (i < n) {
          const char e = argument[i++];
          if (e == '"' || e == '\\') out.push_back('\\');
          out.push_back(e);
        }
        continue;
      }
      if (d == '"') out.push_back('\\');
      out.push_back(d);
    }
    if (i < n) {
      out.push_back('\\');
      out.push_back(c);
      ++i;
    }
  }
  out.push_back('"');
}

Expander::Expander() : continuation_(kArgLineBufferSize) {}
Expander::~Expander() = default;

void Expander::reset() {
  depth_ = 0;
  nframes_ = 0;
}

// Forced inline into its callers: it runs once per text line, expression
// and expanded argument, and its set-up as a call cost as much as its work.
[[gnu::always_inline]] inline void Expander::push_context(Run& run, Mode mode, std::string_view text, std::string* out) {
  if (nframes_ > kMaxNesting) report(run, CLASS_FATAL, M_MACRO_REPLACE_NESTING_OVER);
  if (depth_ == contexts_.size()) contexts_.push_back(std::make_unique<Context>());
  Context& c = *contexts_[depth_++];
  c.mode = mode;
  c.base = nframes_;
  c.out = out;
  c.produced = 0;
  c.owed_newlines = 0;
  c.first_done = false;
  c.waiting = false;
  c.call = nullptr;
  if (nframes_ == frames_.size()) frames_.emplace_back();
  Frame& f = frames_[nframes_++];
  f.owned = false;
  f.ext = text.data();
  f.len = text.size();
  f.pos = 0;
  f.macro = nullptr;
  f.below = 0;
}

// Forced inline: it runs once per piece of text written (a run between
// names, each expansion), mostly for a few characters.
[[gnu::always_inline]] inline void Expander::emit(Run& run, Context& c, const char* p, std::size_t n, bool from_expansion) {
  if (n == 0) return;
  if (from_expansion) {
    c.produced += n;
    if (c.produced > kMaxRewritten) report(run, CLASS_FATAL, M_INPUT_BUFFER_OVERFLOW);
  }
  if (c.mode == Mode::TextLine)
    put_text(run, std::string_view(p, n));
  else
    c.out->append(p, n);
}

// A replacement of len characters pushed on top, its text still to be
// attached. Forced inline, with push_frame: once per call, and as calls
// their set-up cost about as much as their work.
[[gnu::always_inline]] inline Expander::Frame& Expander::new_frame(Run& run, MacroEntry* m, std::size_t len, std::size_t below) {
  if (len + below > kMaxRewritten) report(run, CLASS_FATAL, M_INPUT_BUFFER_OVERFLOW);
  if (nframes_ > kMaxNesting) report(run, CLASS_FATAL, M_MACRO_REPLACE_NESTING_OVER);
  if (nframes_ == frames_.size()) frames_.emplace_back();
  Frame& f = frames_[nframes_++];
  f.len = len;
  f.pos = 0;
  f.macro = m;
  f.below = below;
  m->expanding = true;
  return f;
}

// Pushes a replacement; its text is taken over from text, which is left
// with some other content.
[[gnu::always_inline]] inline void Expander::push_frame(Run& run, MacroEntry* m, std::string& text, std::size_t below) {
  Frame& f = new_frame(run, m, text.size(), below);
  f.own.swap(text);
  f.owned = true;
}

// Pushes a replacement that is the macro's body as stored. No definition
// changes while a line is expanded, so the body outlives the frame.
void Expander::push_body_frame(Run& run, MacroEntry* m, std::size_t below) {
  Frame& f = new_frame(run, m, m->body.size(), below);
  f.ext = m->body.data();
  f.owned = false;
}

// What pushing a body without names and rescanning it comes to, without
// the frame: the same limits, the body written as produced by an
// expansion, and the end of the replacement.
void Expander::write_nameless_body(Run& run, Context& c, const MacroEntry& m, std::size_t below) {
  if (m.body.size() + below > kMaxRewritten) report(run, CLASS_FATAL, M_INPUT_BUFFER_OVERFLOW);
  if (nframes_ > kMaxNesting) report(run, CLASS_FATAL, M_MACRO_REPLACE_NESTING_OVER);
  emit(run, c, m.body.data(), m.body.size(), true);
  if (nframes_ - 1 == c.base) finish_top_level(run, c);
}

std::size_t Expander::remaining_from(std::size_t frame) const {
  return frames_[frame].below + frames_[frame].left();
}

// One move of the machine; false once the outermost context is finished.
// Forced inline into run_until_done: a move is taken per name and per run
// of text, and saving and restoring the registers of a call per move cost
// more than the move's own dispatch.
[[gnu::always_inline]] inline bool Expander::step(Run& run) {
  Context& c = *contexts_[depth_ - 1];
  if (c.waiting) {
    start_argument_expansion(run, c);
    return true;
  }
  const std::size_t top = nframes_ - 1;
  const bool at_base = top == c.base;
  const bool identifier_done = c.mode == Mode::Identifier && at_base && c.first_done;
  if (!identifier_done && frames_[top].pos < frames_[top].len) {
    scan_top_frame(run, c);
    return true;
  }
  if (!identifier_done && !at_base) {
    end_top_frame(run, c);
    return true;
  }
  // The context is finished. An argument's context hands back to the
  // call waiting for it; the outermost one ends the run.
  if (c.mode != Mode::Argument) return false;
  nframes_ = c.base;
  --depth_;
  return true;
}

void Expander::run_until_done(Run& run) {
  while (step(run)) {
  }
}

// The table slot of a macro that may be expanded now, or nullptr.
inline MacroSlot* Expander::lookup_expandable(Run& run, std::string_view name) {
  MacroTable& table = run.macros;
  if (!table.filter.may_hold(name)) return nullptr;
  MacroSlot* slot = table.entries.find(name);
  if (slot == nullptr || slot->entry.expanding) return nullptr;
  return slot;
}

// The next identifier in p[i, n) that names a macro that may be expanded
// now; s and i become its bounds. Numbers and literals are stepped over
// whole. nullptr (with i == n) when there is none. Forced inline into its
// two callers: it runs once per rescan of a short text, and as a call it
// saved and restored most registers each time, costing more than the scan
// of a typical replacement.
[[gnu::always_inline]] inline MacroSlot* Expander::find_expandable(Run& run, const char* p, std::size_t n, std::size_t& i, std::size_t& s) {
  const unsigned char* const begin = reinterpret_cast<const unsigned char*>(p);
  const unsigned char* const end = begin + n;
  const unsigned char* q = begin + i;
  for (;;) {
    while (q < end && kChars.scan[*q] == C_PLAIN) ++q;
    if (q >= end) break;
    const unsigned char* const start = q++;
    switch (kChars.scan[*start]) {
      case C_ID_START: {
        while (q < end && kChars.id_char[*q]) ++q;
        const std::string_view name(reinterpret_cast<const char*>(start), static_cast<std::size_t>(q - start));
        if (MacroSlot* slot = lookup_expandable(run, name)) {
          s = static_cast<std::size_t>(start - begin);
          i = static_cast<std::size_t>(q - begin);
          return slot;
        }
        break;
      }
      case C_DIGIT:
        while (q < end && kChars.alnum[*q]) ++q;
        break;
      default:  // a literal, up to the same quote or the line end
        while (q < end && *q != *start && *q != '\n') q += *q == '\\' && q + 1 < end ? 2 : 1;
        if (q < end && *q == *start) ++q;
        break;
    }
  }
  i = n;
  return nullptr;
}

void Expander::scan_top_frame(Run& run, Context& c) {
  const std::size_t ti = nframes_ - 1;
  Frame& f = frames_[ti];
  const char* p = f.data();
  const std::size_t n = f.len;
  std::size_t i = f.pos;
  if (c.mode == Mode::Identifier && ti == c.base) {
    // Only the identifier at the start is replaced.
    c.first_done = true;
    if (!is_id_start(p[i])) return;
    std::size_t e = i;
    while (e < n && kChars.id_char[static_cast<unsigned char>(p[e])]) ++e;
    MacroSlot* slot = lookup_expandable(run, std::string_view(p + i, e - i));
    f.pos = e;
    if (slot)
      handle_macro(run, c, slot->entry, slot->name);
    else
      emit(run, c, p + i, e - i, false);
    return;
  }
  const bool from_expansion = ti > c.base;
  std::size_t s = i;
  MacroSlot* slot = find_expandable(run, p, n, i, s);
  if (!slot) {
    emit(run, c, p + f.pos, n - f.pos, from_expansion);
    f.pos = n;
    return;
  }
  emit(run, c, p + f.pos, s - f.pos, from_expansion);
  f.pos = i;
  handle_macro(run, c, slot->entry, slot->name);
}

void Expander::handle_macro(Run& run, Context& c, MacroEntry& m, std::string_view name) {
  const std::size_t top = nframes_ - 1;
  if (m.reserved) {
    predefined_value(run, name, name_value_);
    push_frame(run, &m, name_value_, remaining_from(top));
    return;
  }
  c.call = &m;
  if (!m.function_like) {
    c.arg_count = 0;
    c.rescan_from = top;
    finish_call(run, c);
    return;
  }
  const std::uint32_t call_line = call_line_ = current_line(run);
  Cursor cur{top, frames_[top].pos};
  const Collect result = collect_arguments(run, c, cur);
  if (result == Collect::Call) {
    if (total_args_ != m.param_count) report_at_call(run, M_MACRO_ARGUMENT_ERROR, call_line);
    commit(cur);
    c.rescan_from = cur.frame;
    c.next_arg = 0;
    c.waiting = true;
    return;
  }
  // No call: the name stays as written.
  if (result == Collect::Failed) report_at_call(run, M_MACRO_ARGUMENT_ERROR, call_line);
  emit(run, c, name.data(), name.size(), top > c.base);
  if (c.mode == Mode::TextLine && top == c.base) emit_owed_newlines(run, c);
}

void Expander::report_at_call(Run& run, int id, std::uint32_t line) {
  ++errors_;
  report_at_line(run, CLASS_ERROR, id, line);
}

void Expander::end_top_frame(Run& run, Context& c) {
  Frame& f = frames_[nframes_ - 1];
  if (f.macro) f.macro->expanding = false;
  --nframes_;
  if (nframes_ - 1 == c.base) finish_top_level(run, c);
}

// A macro of the context's own text is expanded in full. On a text line,
// a blank keeps it apart from what follows, and the lines its argument
// list read on are made up with line feeds.
void Expander::finish_top_level(Run& run, Context& c) {
  c.produced = 0;
  if (c.mode != Mode::TextLine) return;
  const Frame& b = frames_[c.base];
  const int next = b.pos < b.len ? static_cast<unsigned char>(b.data()[b.pos]) : '\n';
  if (next != ' ' && next != '\t' && next != '\n') emit(run, c, " ", 1, false);
  emit_owed_newlines(run, c);
}

void Expander::emit_owed_newlines(Run& run, Context& c) {
  static const char kNewlines[] = "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n";
  while (c.owed_newlines > 0) {
    const std::uint32_t k = c.owed_newlines < 16 ? c.owed_newlines : 16;
    put_text(run, std::string_view(kNewlines, k));
    c.owed_newlines -= k;
  }
}

// The character at the cursor once the cursor has run off the end of its
// replacement: the ends of replacements are stepped over (they stay open
// until the call is rewritten); kEndOfText at the end of the context's own
// text.
int Expander::next_char_across(Context& c, Cursor& cur) {
  while (cur.pos >= frames_[cur.frame].len) {
    if (cur.frame == c.base) return kEndOfText;
    --cur.frame;
    cur.pos = frames_[cur.frame].pos;
  }
  return static_cast<unsigned char>(frames_[cur.frame].data()[cur.pos]);
}

Expander::Collect Expander::collect_arguments(Run& run, Context& c, Cursor& cur) {
  const bool may_read_on = c.mode == Mode::TextLine;
  // Look for the "(" that makes the name a call.
  for (;;) {
    const int ch = next_char(c, cur);
    if (is_blank_char(ch)) {
      ++cur.pos;
      continue;
    }
    if (ch == '(') {
      ++cur.pos;
      break;
    }
    if (ch != '\n' && ch != kEndOfText) return Collect::NoCall;
    if (may_read_on && ch == '\n' && cur.frame == c.base) {
      const ReadOn r = read_on(run, c, cur, true);
      if (r == ReadOn::Continued) continue;
      return r == ReadOn::PushedBack ? Collect::NoCall : Collect::Failed;
    }
    // A name passed as an argument is left for the rescan of the body,
    // where its list may follow.
    return c.mode == Mode::Argument ? Collect::NoCall : Collect::Failed;
  }

  total_args_ = 0;
  c.arg_count = 0;
  c.unchanged[0] = c.unchanged[1] = 0;
  bool any_text = false;  // "()" with only white space is no argument at all
  bool too_long = false;
  // Each argument is collected where it is kept; those past the parameter
  // limit are counted but not kept.
  auto next_slot = [&]() -> std::string& {
    if (c.arg_count >= kMaxParameters) return scratch_arg_;
    if (c.args.size() <= c.arg_count) c.args.resize(c.arg_count + 1);
    return c.args[c.arg_count];
  };
  std::string* arg = &next_slot();
  arg->clear();
  auto store = [&]() {
    const std::string_view t = trim_blanks(*arg);
    std::size_t keep = t.size();
    if (keep > kMaxArgumentLength) {
      if (!too_long) report_at_call(run, M_MACRO_ARGUMENT_ERROR, call_line_);
      too_long = true;
      keep = kMaxArgumentLength;
    }
    // Blanks around an argument are rare: the string is only touched when
    // there are some (or it is too long).
    const auto lead = static_cast<std::size_t>(t.data() - arg->data());
    if (lead > 0) arg->erase(0, lead);
    if (keep != arg->size()) arg->resize(keep);
    if (c.arg_count < kMaxParameters) ++c.arg_count;
    ++total_args_;
    arg = &next_slot();
    arg->clear();
  };
  int depth = 0;
  for (;;) {
    {  // a run of characters that need no look within one replacement
      const Frame& f = frames_[cur.frame];
      const unsigned char* u = reinterpret_cast<const unsigned char*>(f.data());
      std::size_t j = cur.pos;
      while (j < f.len && kChars.arg_plain[u[j]]) ++j;
      if (j > cur.pos) {
        for (std::size_t k = cur.pos; !any_text && k < j; ++k) any_text = !is_blank_char(u[k]);
        arg->append(f.data() + cur.pos, j - cur.pos);
        cur.pos = j;
        continue;
      }
    }
    const int ch = next_char(c, cur);
    if (ch == '\n' || ch == kEndOfText) {
      if (may_read_on && ch == '\n' && cur.frame == c.base && read_on(run, c, cur, false) == ReadOn::Continued)
        continue;
      return Collect::Failed;
    }
    ++cur.pos;
    if (ch == ')' && depth == 0) {
      if (any_text || total_args_ > 0) store();
      break;
    }
    if (ch == ',' && depth == 0) {
      store();
      continue;
    }
    if (!is_blank_char(ch)) any_text = true;
    arg->push_back(static_cast<char>(ch));
    if (ch == '(') ++depth;
    if (ch == ')') --depth;
    if (ch == '"' || ch == '\'') {
      // A literal is copied whole: a backslash before its own quote or
      // before another backslash does not end it.
      for (;;) {
        const int d = next_char(c, cur);
        if (d == '\n' || d == kEndOfText) break;
        ++cur.pos;
        arg->push_back(static_cast<char>(d));
        if (d == ch) break;
        if (d == '\\') {
          const int e = next_char(c, cur);
          if (e == ch || e == '\\') {
            ++cur.pos;
            arg->push_back(static_cast<char>(e));
          }
        }
      }
    }
  }
  if (c.expanded.size() < c.arg_count) c.expanded.resize(c.arg_count);
  return Collect::Call;
}

// The argument list goes on past the line: the next logical line of the
// input is read (cleaned) and joined on with a blank for the line end. When
// only looking for "(" and the line does not start with one, it is pushed
// back to be read again normally.
Expander::ReadOn Expander::read_on(Run& run, Context& c, Cursor& cur, bool looking_for_paren) {
  const std::uint32_t before = current_line(run);
  if (!read_logical_line(run, continuation_)) return ReadOn::Failed;
  if (looking_for_paren) {
    std::string_view raw = continuation_.view();
    std::size_t k = 0;
    while (k < raw.size() && is_blank_char(raw[k])) ++k;
    if (k >= raw.size() || raw[k] != '(' || run.reader.state != 0) {
      push_back_line(run, raw);
      return ReadOn::PushedBack;
    }
  }
  clean_line(run, continuation_);
  c.owed_newlines += current_line(run) - before;

  std::string_view line = continuation_.view();
  line = line.substr(0, line.find('\n'));
  Frame& b = frames_[c.base];
  const std::size_t line_end = cur.pos;
  const std::size_t newlines = b.len - line_end;
  if (!b.owned) {
    b.own.assign(b.ext, line_end);
    b.owned = true;
  } else {
    b.own.resize(line_end);
  }
  b.own.push_back(' ');
  b.own.append(line);
  b.own.append(newlines, '\n');
  b.len = b.own.size();
  return ReadOn::Continued;
}

// The call's text is consumed: replacements its list ran past stay open,
// empty, until the new replacement has been rescanned.
void Expander::commit(const Cursor& cur) {
  for (std::size_t k = cur.frame + 1; k < nframes_; ++k) frames_[k].pos = frames_[k].len;
  frames_[cur.frame].pos = cur.pos;
}

void Expander::start_argument_expansion(Run& run, Context& c) {
  const MacroEntry& m = *c.call;
  const std::size_t limit = c.arg_count < m.param_count ? c.arg_count : m.param_count;
  while (c.next_arg < limit && !m.param_expanded(c.next_arg)) ++c.next_arg;
  if (c.next_arg < limit) {
    const std::size_t i = c.next_arg++;
    const std::string& arg = c.args[i];
    std::size_t end = 0;
    std::size_t start = 0;
    if (!find_expandable(run, arg.data(), arg.size(), end, start)) {
      c.unchanged[i / 64] |= std::uint64_t{1} << (i % 64);
      return;
    }
    // What comes before the first macro name goes out as it is.
    c.expanded[i].assign(arg, 0, start);
    push_context(run, Mode::Argument, arg, &c.expanded[i]);
    frames_[nframes_ - 1].pos = start;
    return;
  }
  c.waiting = false;
  finish_call(run, c);
}

void Expander::finish_call(Run& run, Context& c) {
  MacroEntry& m = *c.call;
  if (m.verbatim) {
    if (m.body.size() > kMaxSubstituted) report(run, CLASS_FATAL, M_INPUT_BUFFER_OVERFLOW);
    if (m.nameless)
      write_nameless_body(run, c, m, remaining_from(c.rescan_from));
    else
      push_body_frame(run, &m, remaining_from(c.rescan_from));
    return;
  }
  result_.clear();
  SubstitutionWriter writer{result_, c.args, c.expanded, c.unchanged, c.arg_count};
  replay_body(m, writer);
  if (result_.size() > kMaxSubstituted) report(run, CLASS_FATAL, M_INPUT_BUFFER_OVERFLOW);
  push_frame(run, &m, result_, remaining_from(c.rescan_from));
}

void Expander::text_line(Run& run, std::string_view line) {
  reset();
  push_context(run, Mode::TextLine, line, nullptr);
  run_until_done(run);
  emit_owed_newlines(run, *contexts_[0]);
  reset();
}

bool Expander::text(Run& run, std::string_view text, std::string& out) {
  reset();
  errors_ = 0;
  std::string copy;
  if (text.data() >= out.data() && text.data() < out.data() + out.size()) {
    copy.assign(text);
    text = copy;
  }
  out.clear();
  push_context(run, Mode::Text, text, &out);
  run_until_done(run);
  reset();
  return errors_ == 0;
}

void Expander::identifier_in_place(Run& run, std::string& text, std::size_t pos) {
  if (pos >= text.size()) return;
  reset();
  identifier_out_.clear();
  push_context(run, Mode::Identifier, std::string_view(text).substr(pos), &identifier_out_);
  run_until_done(run);
  const Frame& b = frames_[0];
  identifier_out_.append(b.data() + b.pos, b.len - b.pos);
  text.replace(pos, std::string::npos, identifier_out_);
  reset();
}

void expand_text_line(Run& run, std::string_view line) { run.macros.expander->text_line(run, line); }

bool expand_text(Run& run, std::string_view text, std::string& out) {
  return run.macros.expander->text(run, text, out);
}

void expand_identifier_in_place(Run& run, std::string& text, std::size_t pos) {
  run.macros.expander->identifier_in_place(run, text, pos);
}

}  // namespace cppkv
