#include "zrmackv/rewrite.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "host/host.h"
#include "zrmackv/byte_words.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

constexpr std::size_t npos = std::string_view::npos;

constexpr char to_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Letters, digits, "$", "?" and "_": a mark glued to one of these is part of
// a longer word.
bool is_ident(char c) { return figure_symbol_char(static_cast<unsigned char>(c)); }

// The search shared by the temporary labels and the macro-time names. It
// walks the line from the left: a double quote toggles the double-quoted
// state, a single quote the single-quoted state, and a ";" outside both
// starts the comment, where the search ends. A mark is found only outside
// double quotes; whether it stood inside single quotes is noted.
class MarkSearch {
 public:
  MarkSearch(std::string_view mark, bool fold_case) : mark_(mark), fold_case_(fold_case) {}

  // Position of the next mark at or after the search position; npos when
  // there is none before the comment or the end.
  std::size_t next(std::string_view line) {
    while (pos_ < line.size() && !ended_) {
      if (!double_quoted_ && matches(line, pos_)) {
        in_single_ = single_quoted_;
        return pos_;
      }
      step(line[pos_++]);
    }
    return npos;
  }

  // The mark just found was replaced by n characters: the search goes on
  // after them. Their quotes and ";" still count as if the line had been
  // searched again from the left, but no mark is looked for inside them, so
  // a replacement holding the mark itself cannot make the line grow forever.
  void skip_replacement(std::string_view line, std::size_t n) {
    const std::size_t end = pos_ + n;
    while (pos_ < end && !ended_) step(line[pos_++]);
    pos_ = end;
  }

  bool in_single() const { return in_single_; }

 private:
  bool matches(std::string_view line, std::size_t at) const {
    if (line.size() - at < mark_.size()) return false;
    for (std::size_t k = 0; k < mark_.size(); ++k) {
      char c = fold_case_ ? to_upper(line[at + k]) : line[at + k];
      if (c != mark_[k]) return false;
    }
    return true;
  }

  void step(char c) {
    if (c == '"')
      double_quoted_ = !double_quoted_;
    else if (c == '\'')
      single_quoted_ = !single_quoted_;
    else if (c == ';' && !double_quoted_ && !single_quoted_)
      ended_ = true;
  }

  std::string_view mark_;
  bool fold_case_;
  std::size_t pos_ = 0;
  bool double_quoted_ = false;
  bool single_quoted_ = false;
  bool ended_ = false;
  bool in_single_ = false;
};

// A mark counts when it begins the line or follows a character that cannot
// be part of a word.
bool starts_word(std::string_view line, std::size_t at) { return at == 0 || !is_ident(line[at - 1]); }

bool ends_word(std::string_view line, std::size_t end) {
  return end >= line.size() || !is_ident(line[end]);
}

// "..tl" and the number in four upper-case hexadecimal digits (five for the
// "?+" that follows ..tlFFFF, a label that can never be made).
std::string_view tmp_label_name(char (&buffer)[16], std::uint32_t n) {
  int length = std::snprintf(buffer, sizeof buffer, "..tl%04X", static_cast<unsigned>(n));
  return std::string_view(buffer, static_cast<std::size_t>(length));
}

// Replaces every counting occurrence of mark ("?+" or "?-") by name, from
// the left, until none is left or one does not count.
void replace_reference(std::string& line, std::string_view mark, std::string_view name) {
  MarkSearch search(mark, false);
  for (;;) {
    std::size_t at = search.next(line);
    if (at == npos || !starts_word(line, at)) return;
    line.replace(at, mark.size(), name);
    search.skip_replacement(line, name.size());
  }
}

// Finds the first counting mark ("?-") without replacing it.
bool holds_mark(std::string_view line, std::string_view mark) {
  MarkSearch search(mark, false);
  std::size_t at = search.next(line);
  return at != npos && starts_word(line, at);
}

// Replaces each counting occurrence of the macro-time name (written in
// upper case) by text. Returns false after raising the error for a name
// used as a label.
bool replace_name(Run& run, std::string& line, std::string_view name, std::string_view text) {
  MarkSearch search(name, true);
  for (;;) {
    std::size_t at = search.next(line);
    if (at == npos) return true;
    const std::size_t end = at + name.size();
    if (!starts_word(line, at) || !ends_word(line, end)) return true;
    if (end < line.size() && line[end] == ':' && !search.in_single()) {
      // A label definition, unless the name is the tail of a word joined
      // with "@" (X@..FILE:), which makes a new label.
      bool joined = at >= 2 && line[at - 1] == '@' && is_ident(line[at - 2]);
      if (!joined) {
        message_set(run, E_RESERVED_WORD_USED, name, MSG_ERROR);
        return false;
      }
    }
    line.replace(at, name.size(), text);
    search.skip_replacement(line, text.size());
    if (run.info.active) info_rewritten(run.info, line);
  }
}

// Text of ..FILE: the base name of the source under "-f", else the current
// file name without its extension (a "." in a directory name is no
// extension).
std::string_view file_name_text(const Run& run) {
  if (run.settings.opt_f) return run.settings.proc_file;
  std::string_view name = run.source.current_file;
  std::size_t dot = name.rfind('.');
  std::size_t sep = host::last_separator(name);
  if (dot != npos && (sep == npos || dot > sep)) name = name.substr(0, dot);
  return name;
}

std::string_view decimal(char (&buffer)[24], long long value) {
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

// True when a name that .DEFINE gave a text stands in line outside quoted
// strings and the comment.
bool holds_defined_name(Run& run, std::string_view line) {
  std::string& token = run.rewrite.token;
  for (;;) {
    int kind = figure_token(line, token);
    if (kind == T_END) return false;
    if (kind == T_BAD && token == ";") return false;
    if (kind == T_SYMBOL) {
      const Symbol* symbol = run.symbols.find(token);
      if (symbol && symbol->kind == S_DEFINE) return true;
    }
  }
}

// Where rewriting starts: after the directive of a .DEFINE statement (its
// name field and directive stay as written), else at the start of the line.
std::size_t define_rewrite_start(Run& run) {
  const std::string& line = run.source.line;
  Statement& st = run.line.stmt;
  make_statement(st, line);
  // Only the class is wanted here; the statement is scanned again, with its
  // diagnostics, once the line has been rewritten.
  const bool quiet = run.messages.quiet;
  run.messages.quiet = true;
  stmt_scan(run);
  run.messages.quiet = quiet;
  if (st.op_code != D_DEFINE) return 0;
  std::size_t blanks = 0;
  while (blanks < line.size() && is_blank(line[blanks])) ++blanks;
  return blanks + static_cast<std::size_t>(st.operand.data() - st.text.data());
}

// The rewritten line is held to 255 characters.
void cut_line(Run& run) {
  std::string& line = run.source.line;
  if (line.size() <= kMaxRewrittenLine) return;
  message_set(run, E_SOURCE_LINE_TOO_LONG, {}, MSG_ERROR);
  line.resize(kMaxRewrittenLine);
}

#if defined(__SSE2__)
// The marks among sixteen bytes held in chunk. dots carries the dot flags
// (one bit a byte, in line order) of the chunk before, whose last byte may
// begin a pair with this chunk's first; it takes out this chunk's.
unsigned chunk_marks(__m128i chunk, unsigned& dots) {
  const unsigned before = dots;
  dots = chunk_flags(chunk, '.');
  unsigned marks = 0;
  if (chunk_flags(chunk, '\\')) marks |= MARK_BACKSLASH;
  if (chunk_flags(chunk, '?')) marks |= MARK_QUESTION;
  if ((dots & (dots >> 1)) | ((before >> 15) & dots & 1u)) marks |= MARK_DOUBLE_DOT;
  return marks;
}
#endif

}  // namespace

unsigned rewrite_marks(std::string_view line) {
  const char* p = line.data();
  const std::size_t n = line.size();
  unsigned marks = 0;
#if defined(__SSE2__)
  if (n >= 16) {
    // Sixteen bytes at a time; the last ones as the end of an overlapping
    // chunk, which may see a byte twice: a mark found twice is one mark.
    unsigned dots = 0;
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) marks |= chunk_marks(load_chunk(p + i), dots);
    if (i < n) {
      dots = 0;  // the overlapping chunk holds the seam with the one before
      marks |= chunk_marks(load_chunk(p + n - 16), dots);
    }
    return marks;
  }
  if (n >= 8) {
    // The first eight bytes and the last eight: every byte is there, and
    // every pair of neighbours is inside one of the halves. A dot pair
    // across the middle that the line does not hold costs only the exact
    // search of the step.
    unsigned dots = 0;
    return chunk_marks(load_ends(p, n), dots);
  }
#endif
  char before = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = p[i];
    if (c == '\\') marks |= MARK_BACKSLASH;
    if (c == '?') marks |= MARK_QUESTION;
    if (c == '.' && before == '.') marks |= MARK_DOUBLE_DOT;
    before = c;
  }
  return marks;
}

void tmp_label_set(Run& run) {
  std::string& line = run.source.line;
  if (line.find('?') == npos) return;
  std::uint32_t& count = run.rewrite.tmp_label_count;
  char name_buffer[16];

  // A definition "?:" takes the next number.
  MarkSearch definition("?:", false);
  std::size_t at = definition.next(line);
  if (at != npos && starts_word(line, at)) {
    if (count >= kMaxTempLabels) {
      message_set(run, E_TOO_MANY_TEMP_LABELS, {}, MSG_ERROR);
      return;
    }
    ++count;
    std::string_view name = tmp_label_name(name_buffer, count);
    line.replace(at, 1, name);  // the ":" stays
    definition.skip_replacement(line, name.size() + 1);
    std::size_t again = definition.next(line);
    if (again != npos && starts_word(line, again)) {
      message_set(run, E_INVALID_LABEL, "?:", MSG_ERROR);
      return;
    }
  }

  // "?+" is the next definition, "?-" the most recent one.
  replace_reference(line, "?+", tmp_label_name(name_buffer, count + 1));
  if (holds_mark(line, "?-")) {
    if (count == 0) {
      message_set(run, E_TEMP_LABEL_UNDEFINED, {}, MSG_ERROR);
      return;
    }
    replace_reference(line, "?-", tmp_label_name(name_buffer, count));
  }
}

void mac_name_set(Run& run) {
  std::string& line = run.source.line;
  if (line.find("..") == npos) return;
  const MacExp& macexp = *run.macro.current;
  char rep_buffer[24];
  char para_buffer[24];
  std::string_view rep = macexp.state == R_EXPAND
                             ? decimal(rep_buffer, static_cast<long long>(macexp.rep_now) + 1)
                             : std::string_view("0");
  std::string_view para =
      macexp.state == M_EXPAND ? decimal(para_buffer, macexp.act_count) : std::string_view("0");
  if (!replace_name(run, line, "..FILE", file_name_text(run))) return;
  if (!replace_name(run, line, "..MACREP", rep)) return;
  replace_name(run, line, "..MACPARA", para);
}

void define_replace(Run& run) {
  std::string& line = run.source.line;
  if (run.symbols.any_define && holds_defined_name(run, line)) {
    const std::size_t start = define_rewrite_start(run);
    std::string& result = run.rewrite.scratch;
    std::string& token = run.rewrite.token;
    result.assign(line, 0, start);
    std::string_view cursor = std::string_view(line).substr(start);
    for (;;) {
      const std::string_view before = cursor;
      const int kind = figure_token(cursor, token);
      const std::size_t consumed = before.size() - cursor.size();
      const std::string_view raw = before.substr(0, consumed);
      if (kind == T_END) {
        result.append(raw);  // trailing blanks
        break;
      }
      if (kind == T_BAD && token == ";") {
        result.append(before);  // the comment stays as it stands
        break;
      }
      std::size_t blanks = 0;
      while (blanks < raw.size() && is_blank(raw[blanks])) ++blanks;
      // A name longer than any symbol keeps only part of itself in token
      // and must not match a shorter name.
      const Symbol* symbol = nullptr;
      if (kind == T_SYMBOL && raw.size() - blanks < kTokenMax) symbol = run.symbols.find(token);
      if (symbol && symbol->kind == S_DEFINE) {
        result.append(raw.substr(0, blanks));
        result.append(symbol->text);  // not scanned again
      } else {
        result.append(raw);
      }
    }
    line.swap(result);
  }
  cut_line(run);
}

void concat_remove(Run& run) {
  std::string& line = run.source.line;
  if (!holds_byte(line, '@')) return;
  bool double_quoted = false;
  bool single_quoted = false;
  bool escaped = false;
  bool dropped = false;
  const std::size_t n = line.size();
  std::size_t out = 0;  // characters are only ever dropped: out <= in
  for (std::size_t in = 0; in < n; ++in) {
    const char c = line[in];
    if (c == '\\') {
      escaped = !escaped;
    } else if (escaped && (c == '"' || c == '\'' || c == ';')) {
      escaped = false;
    } else if (c == '"') {
      if (!single_quoted) double_quoted = !double_quoted;
    } else if (c == '\'') {
      if (!double_quoted) single_quoted = !single_quoted;
    } else if (c == ';' && !double_quoted && !single_quoted) {
      // The comment is kept as it stands.
      std::copy(line.begin() + static_cast<std::ptrdiff_t>(in), line.end(),
                line.begin() + static_cast<std::ptrdiff_t>(out));
      out += n - in;
      break;
    } else if (c == '@' && !double_quoted) {
      if (!escaped) {
        dropped = true;
        continue;
      }
      escaped = false;
    }
    line[out++] = c;
  }
  if (!dropped) return;
  line.resize(out);
  make_statement(run.line.stmt, line);
}

void line_cntr_write(Run& run, std::int32_t line_no) {
  std::FILE* output = run.files.output;
  if (!run.settings.line_cntr || !output) return;
  std::fputs("\t._ltype\te,d,'  '\n", output);
  std::fprintf(output, "\t._line\t%ld\n", static_cast<long>(line_no));
}

}  // namespace zrmackv
