#include "cppkv/reader.h"

#include <cstring>

#include "cppkv/byte_scan.h"
#include "cppkv/output.h"
#include "cppkv/report.h"
#include "cppkv/run.h"
#include "host/host.h"

namespace cppkv {

namespace {

constexpr int kEof = -1;

// Byte classes for the fast paths of read_logical_line: a byte marked 1 in a
// table needs no treatment in that state and is copied (or skipped) as is.
// Bytes of 0x80 and above are handled one by one in Shift-JIS mode, where
// they may start a pair or a katakana.
struct ByteTables {
  unsigned char plain[2][256];       // outside literals and comments
  unsigned char in_string[2][256];   // inside "..."
  unsigned char in_char[2][256];     // inside '...'
  unsigned char line_comment[2][256];
  unsigned char block_comment[2][256];

  ByteTables() {
    for (int mode = 0; mode < 2; ++mode) {  // 0: EUC, 1: SJIS
      for (int b = 0; b < 256; ++b) {
        bool high = mode == 1 && b >= 0x80;
        plain[mode][b] = !high && b != '\n' && b != '\r' && b != '?' && b != '\\' && b != '/' &&
                         b != '"' && b != '\'' && b != 0x1A;
        in_string[mode][b] = !high && b != '\n' && b != '\r' && b != '?' && b != '\\' && b != '"';
        in_char[mode][b] = !high && b != '\n' && b != '\r' && b != '?' && b != '\\' && b != '\'';
        line_comment[mode][b] = !high && b != '\n' && b != '\r' && b != '?' && b != '\\';
        block_comment[mode][b] = !high && b != '\n' && b != '?' && b != '*' && b != '/';
      }
    }
  }
};

const ByteTables kTables;

// The same tables as block-wise skippers.
struct ByteSkippers {
  ByteRunSkipper plain[2] = {ByteRunSkipper(kTables.plain[0]), ByteRunSkipper(kTables.plain[1])};
  ByteRunSkipper in_string[2] = {ByteRunSkipper(kTables.in_string[0]), ByteRunSkipper(kTables.in_string[1])};
  ByteRunSkipper in_char[2] = {ByteRunSkipper(kTables.in_char[0]), ByteRunSkipper(kTables.in_char[1])};
  ByteRunSkipper line_comment[2] = {ByteRunSkipper(kTables.line_comment[0]),
                                    ByteRunSkipper(kTables.line_comment[1])};
  ByteRunSkipper block_comment[2] = {ByteRunSkipper(kTables.block_comment[0]),
                                     ByteRunSkipper(kTables.block_comment[1])};
};

const ByteSkippers kSkippers;

inline bool is_sjis_lead(int c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
inline bool is_sjis_trail(int c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

int trigraph_of(int c) {
  switch (c) {
    case '=': return '#';
    case '(': return '[';
    case '/': return '\\';
    case ')': return ']';
    case '\'': return '^';
    case '<': return '{';
    case '!': return '|';
    case '>': return '}';
    case '-': return '~';
    default: return kEof;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Character layers

void CharSource::attach(std::FILE* f) {
  file = f;
  if (!buf) buf.reset(new unsigned char[kBufferSize]);
  pos = len = 0;
  eof = false;
  failed = false;
  kanji_next = raw_next = -1;
  tq_pos = tq_len = 0;
}

bool CharSource::refill() {
  if (eof || !file) return false;
  len = std::fread(buf.get(), 1, kBufferSize, file);
  pos = 0;
  if (len == 0) {
    eof = true;
    failed = std::ferror(file) != 0;
    return false;
  }
  return true;
}

// Layer 1: CR LF is one line feed; a lone CR is itself.
inline int CharSource::byte_get() {
  if (pos == len && !refill()) return kEof;
  int c = buf[pos++];
  if (c == '\r') {
    if (pos == len && !refill()) return c;
    if (buf[pos] == '\n') {
      ++pos;
      return '\n';
    }
  }
  return c;
}

// Layer 2: Shift-JIS pairs become EUC pairs, katakana bytes get 0x8E before
// them. A lead byte without a possible trail byte after it is delivered
// unchanged and the byte after it is read normally.
inline int CharSource::kanji_get() {
  if (kanji_next >= 0) {
    int c = kanji_next;
    kanji_next = -1;
    return c;
  }
  int c;
  if (raw_next >= 0) {
    c = raw_next;
    raw_next = -1;
  } else {
    c = byte_get();
  }
  if (!sjis || c < 0x80) return c;
  if (is_sjis_lead(c)) {
    int c2 = byte_get();
    if (!is_sjis_trail(c2)) {
      if (c2 != kEof) raw_next = c2;
      return c;
    }
    int c1 = c >= 0xE0 ? c - 0x40 : c;
    int first, second;
    if (c2 < 0x9F) {
      first = 2 * c1 - 0x61;
      second = c2 - (c2 > 0x7E ? 1 : 0) + 0x61;
    } else {
      first = 2 * c1 - 0x60;
      second = c2 + 2;
    }
    // User-defined leads (0xF0 and above) have no EUC row: their first
    // value may run past 0xFF. Only such a value is held (at 0xFF), so that
    // no byte of the pair can be read as a line feed or another ASCII
    // character; every value that fits a byte is kept, which keeps two
    // different characters apart.
    kanji_next = second;
    return first > 0xFF ? 0xFF : first;
  }
  if (c >= 0xA0 && c <= 0xDF) {
    kanji_next = c;
    return 0x8E;
  }
  return c;
}

// Layer 3: trigraphs. Characters read ahead that do not complete one are
// delivered afterwards as they are.
inline int CharSource::get() {
  if (tq_pos < tq_len) return tq[tq_pos++];
  int c = kanji_get();
  if (c != '?') return c;
  int c2 = kanji_get();
  if (c2 != '?') {
    tq[0] = c2;
    tq_pos = 0;
    tq_len = 1;
    return '?';
  }
  int c3 = kanji_get();
  int t = trigraph_of(c3);
  if (t != kEof) return t;
  tq[0] = '?';
  tq[1] = c3;
  tq_pos = 0;
  tq_len = 2;
  return '?';
}

// ---------------------------------------------------------------------------
// Include-file stack

// The join marks grow with the first lines that are continued (a few
// entries at most for ordinary sources); reserving room for a whole line's
// worth up front would cost 128 KiB per run for nothing.
Reader::Reader() : pushed_back_text(new char[kPushedBackSize]) {}

Reader::~Reader() {
  for (IncludeEntry& e : stack)
    if (e.state == ENTRY_IN_USE && e.owns_file && e.file) std::fclose(e.file);
}

namespace {

// True when a name of len bytes fits at offset: 5119 bytes minus the used
// part are available to it, so the terminator always stays in the pool.
bool name_fits(std::size_t offset, std::size_t len) {
  return offset <= kNamePoolSize - 1 && len <= kNamePoolSize - 1 - offset;
}

void store_name(Reader& r, std::size_t offset, std::string_view name) {
  std::memcpy(r.pool.data() + offset, name.data(), name.size());
  r.pool[offset + name.size()] = 0;
  r.pool_top = offset + name.size() + 1;
}

}  // namespace

OpenResult open_source(Run& run, std::string_view name) {
  Reader& r = run.reader;
  if (r.index >= kMaxIncludeIndex) return OpenResult::NestingOver;
  std::FILE* f = nullptr;
  bool owns = true;
  if (name.empty()) {
    if (r.index >= 0) return OpenResult::NotFound;
    f = run.in;
    owns = false;
  } else {
    f = host::open_file(name, "rb");
    // A folder opens for reading on this host but is never a source file:
    // the include search goes on past it, and as the input it cannot be
    // opened.
    if (f && host::is_directory(name)) {
      std::fclose(f);
      f = nullptr;
    }
  }
  if (!f) return OpenResult::NotFound;
  if (!name_fits(r.pool_top, name.size())) {
    if (owns) std::fclose(f);
    report(run, CLASS_FATAL, M_NAME_BUFFER_OVERFLOW);
  }

  if (r.index >= 0) r.top().saved_state = r.state;
  r.state = 0;
  ++r.index;
  IncludeEntry& e = r.top();
  e.state = ENTRY_IN_USE;
  e.file = f;
  e.owns_file = owns;
  e.pool_mark = r.pool_top;
  e.name_offset = r.pool_top;
  e.physical_lines = 0;
  e.line = 0;
  e.saved_state = 0;
  e.src.attach(f);
  store_name(r, e.name_offset, name);
  r.pending_line_on = true;
  r.pending_line = 1;
  if (name != std::string_view(run.settings.input_name)) write_dependency(run, name);
  return OpenResult::Ok;
}

void close_source(Run& run) {
  Reader& r = run.reader;
  if (r.index < 0) return;
  IncludeEntry& e = r.top();
  bool failed = false;
  if (e.owns_file && e.file) failed = std::fclose(e.file) != 0;
  e.file = nullptr;
  e.src.file = nullptr;
  if (failed) {
    e.owns_file = false;  // already closed
    report(run, CLASS_FATAL, M_CANNOT_CLOSE_INPUT);
  }
  e.state = ENTRY_FREE;
  r.pool_top = e.pool_mark;
  --r.index;
  r.state = r.index >= 0 ? r.top().saved_state : 0;
  r.pending_line_on = false;
}

std::string_view current_name(const Run& run, bool base_only) {
  const Reader& r = run.reader;
  std::string_view name;
  if (r.override_on) {
    name = r.override_name;
  } else if (r.index >= 0) {
    const IncludeEntry& e = r.stack[static_cast<std::size_t>(r.index)];
    name = std::string_view(r.pool.data() + e.name_offset);
  }
  if (base_only) {
    std::size_t sep = host::last_separator(name);
    if (sep != std::string_view::npos) name.remove_prefix(sep + 1);
  }
  return name;
}

std::uint32_t current_line(const Run& run) {
  const Reader& r = run.reader;
  if (r.override_on) return r.override_line;
  if (r.index < 0) return 0;
  if (r.pending_line_on) return r.pending_line;
  return r.stack[static_cast<std::size_t>(r.index)].line;
}

void set_line(Run& run, std::uint32_t n) {
  run.reader.pending_line_on = true;
  run.reader.pending_line = n;
}

void set_name(Run& run, std::string_view name) {
  Reader& r = run.reader;
  if (r.index < 0) return;
  if (!name_fits(r.top().name_offset, name.size())) report(run, CLASS_FATAL, M_NAME_BUFFER_OVERFLOW);
  store_name(r, r.top().name_offset, name);
}

void set_position_override(Run& run, std::string_view name, std::uint32_t line) {
  run.reader.override_on = true;
  run.reader.override_name.assign(name);
  run.reader.override_line = line;
}

void clear_position_override(Run& run) { run.reader.override_on = false; }

void report_at_line(Run& run, int message_class, int id, std::uint32_t line) {
  std::string name(current_name(run));
  set_position_override(run, name, line);
  try {
    report(run, message_class, id);
  } catch (...) {
    clear_position_override(run);
    throw;
  }
  clear_position_override(run);
}

void push_back_line(Run& run, std::string_view text) {
  Reader& r = run.reader;
  std::size_t n = text.size() < kPushedBackSize - 1 ? text.size() : kPushedBackSize - 1;
  std::memcpy(r.pushed_back_text.get(), text.data(), n);
  r.pushed_back_length = n;
  r.pushed_back = true;
  if (r.index >= 0) {
    --r.top().physical_lines;
    --r.top().line;
  }
}

void check_end_of_file_state(Run& run) {
  unsigned state = run.reader.state;
  run.reader.state = 0;
  if (state & ST_BLOCK_COMMENT)
    report(run, CLASS_ERROR, M_EOF_IN_COMMENT);
  else if (state != 0)
    report(run, CLASS_ERROR, M_EOF_IN_PREPROCESS_COMMAND);
}

// ---------------------------------------------------------------------------
// Logical lines

namespace {

// Reports a message at a physical line within the logical line being read.
void report_at_physical_line(Run& run, int message_class, int id, std::uint32_t joined) {
  Reader& r = run.reader;
  std::uint32_t base = r.pending_line_on ? r.pending_line : r.top().line + 1;
  report_at_line(run, message_class, id, base + joined);
}

// A read that failed is never the end of the file: the run stops with a
// fatal error naming the file, so the dependency list is not taken for
// complete.
void stop_if_read_failed(Run& run, const CharSource& s) {
  if (s.failed) report(run, CLASS_FATAL, M_CANNOT_OPEN_INPUT, current_name(run));
}

// Joins before stored offset p.
std::uint32_t joins_before(const Reader& r, std::size_t p) {
  std::uint32_t joins = 0;
  for (const auto& mark : r.join_marks) {
    if (mark.first > p) break;
    joins = mark.second;
  }
  return joins;
}

// Step 5: the characters between each double quote and the next one.
void check_string_lengths(Run& run, const char* text, std::size_t n) {
  if (n < kMaxStringLiteral + 3) return;  // no room for two quotes around 510 characters
  const char* end = text + n;
  const char* p = text;
  for (;;) {
    const char* open = static_cast<const char*>(std::memchr(p, '"', static_cast<std::size_t>(end - p)));
    if (!open) return;
    const char* close =
        static_cast<const char*>(std::memchr(open + 1, '"', static_cast<std::size_t>(end - open - 1)));
    if (!close) return;
    if (static_cast<std::size_t>(close - open - 1) > kMaxStringLiteral)
      report_at_physical_line(run, CLASS_FATAL, M_STRING_LITERAL_OUT_OF_RANGE,
                              joins_before(run.reader, static_cast<std::size_t>(open - text)));
    p = close + 1;
  }
}

}  // namespace

bool read_logical_line(Run& run, LineBuffer& lb) {
  Reader& r = run.reader;
  if (r.index < 0) return false;
  IncludeEntry& e = r.top();

  if (r.pushed_back) {
    std::size_t n = r.pushed_back_length < lb.capacity - 1 ? r.pushed_back_length : lb.capacity - 1;
    std::memcpy(lb.data.get(), r.pushed_back_text.get(), n);
    lb.data[n] = 0;
    lb.length = n;
    r.pushed_back = false;
    ++e.physical_lines;
    ++e.line;
    return true;
  }

  CharSource& s = e.src;
  s.sjis = run.settings.kanji_code == KanjiCode::SJIS;
  const int mode = s.sjis ? 1 : 0;
  const ByteRunSkipper& plain = kSkippers.plain[mode];
  char* const out = lb.data.get();
  const std::size_t limit = lb.capacity - 1;
  std::size_t n = 0;
  std::uint32_t joined = 0;
  r.join_marks.clear();

  auto store = [&](int ch) {
    if (n < limit) out[n++] = static_cast<char>(ch);
  };
  auto join = [&]() {
    ++joined;
    if (!r.join_marks.empty() && r.join_marks.back().first == n)
      r.join_marks.back().second = joined;
    else
      r.join_marks.emplace_back(static_cast<std::uint32_t>(n), joined);
  };
  // Copies the run of bytes that need no treatment in the given table;
  // bytes beyond the buffer are dropped silently.
  auto copy_run = [&](const ByteRunSkipper& table) {
    if (!s.layers_empty()) return;
    const unsigned char* p = s.buf.get() + s.pos;
    const unsigned char* end = s.buf.get() + s.len;
    const unsigned char* q = table.skip(p, end);
    std::size_t run_length = static_cast<std::size_t>(q - p);
    std::size_t room = limit - n;
    std::size_t k = run_length < room ? run_length : room;
    std::memcpy(out + n, p, k);
    n += k;
    s.pos += run_length;
  };
  // Skips the run of bytes that need no treatment in the given table.
  auto skip_run = [&](const ByteRunSkipper& table) -> bool {
    if (!s.layers_empty()) return false;
    const unsigned char* p = s.buf.get() + s.pos;
    const unsigned char* end = s.buf.get() + s.len;
    const unsigned char* q = table.skip(p, end);
    s.pos += static_cast<std::size_t>(q - p);
    return q != p;
  };

  int c;
  for (;;) {
    copy_run(plain);
    c = s.get();
  dispatch:
    switch (c) {
      case '\n':
        store('\n');
        goto line_done;
      case kEof:
        stop_if_read_failed(run, s);
        if (n == 0) return false;
        store('\n');
        goto line_done;
      case 0x1A:
        break;
      case '"':
      case '\'': {
        const int quote = c;
        const ByteRunSkipper& table = quote == '"' ? kSkippers.in_string[mode] : kSkippers.in_char[mode];
        store(quote);
        for (;;) {
          copy_run(table);
          int d = s.get();
          if (d == quote) {
            store(d);
            break;
          }
          if (d == '\n' || d == kEof) {
            c = d;
            goto dispatch;
          }
          if (d == '\\') {
            int d2 = s.get();
            if (d2 == '\n') {
              join();
              continue;
            }
            store('\\');
            if (d2 == kEof) {
              c = d2;
              goto dispatch;
            }
            store(d2);
            continue;
          }
          store(d);
        }
        break;
      }
      case '/': {
        int d = s.get();
        if (d == '*') {
          store(' ');
          const ByteRunSkipper& table = kSkippers.block_comment[mode];
          const bool warn = run.settings.warn_nested_comment;
          const std::uint32_t opened_at = joined;  // an unclosed comment is reported where it begins
          int prev = 0;
          for (;;) {
            if (skip_run(table)) prev = 0;
            int x = s.get();
            if (x == kEof) stop_if_read_failed(run, s);
            if (x == kEof) report_at_physical_line(run, CLASS_FATAL, M_EOF_IN_COMMENT, opened_at);
            if (x == '\n') {
              join();
            } else if (x == '/') {
              if (prev == '*') break;
            } else if (x == '*') {
              if (prev == '/' && warn)
                report_at_physical_line(run, CLASS_WARNING, M_NESTED_COMMENT, joined);
            }
            prev = x;
          }
          break;
        }
        if (d == '/') {
          store(' ');
          const ByteRunSkipper& table = kSkippers.line_comment[mode];
          int x = kEof;
          bool have = false;
          for (;;) {
            if (!have) {
              skip_run(table);
              x = s.get();
            }
            have = false;
            if (x == '\n' || x == kEof) break;
            if (x == '\\') {
              int y = s.get();
              if (y == '\n') {
                join();
                continue;
              }
              x = y;  // looked at again: it may be a line feed or a backslash
              have = true;
            }
          }
          c = x;
          goto dispatch;
        }
        store('/');
        c = d;
        goto dispatch;
      }
      case '\\': {
        int d = s.get();
        if (d == '\n') {
          join();
          break;
        }
        if (d == kEof) {
          c = d;
          goto dispatch;
        }
        store('\\');
        store(d);
        break;
      }
      default:
        store(c);
        break;
    }
  }

line_done:
  for (std::uint32_t i = 0; i < joined; ++i) store('\n');
  out[n] = 0;
  lb.length = n;
  check_string_lengths(run, out, n);
  e.physical_lines += static_cast<std::uint64_t>(joined) + 1;
  if (r.pending_line_on) {
    e.line = r.pending_line + joined;
    r.pending_line_on = false;
  } else {
    e.line += joined + 1;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Cleaning

namespace {

// Bytes that need no treatment outside literals and comments, and inside
// string literals and character constants.
struct CleanTables {
  unsigned char plain[256];
  unsigned char in_string[256];
  unsigned char in_char[256];
  CleanTables() {
    for (int b = 0; b < 256; ++b) {
      plain[b] = b != '/' && b != '"' && b != '\'';
      in_string[b] = b != '"' && b != '\\';
      in_char[b] = b != '\'' && b != '\\';
    }
  }
};
const CleanTables kCleanTables;
const ByteRunSkipper kCleanPlain(kCleanTables.plain);
const ByteRunSkipper kCleanInString(kCleanTables.in_string);
const ByteRunSkipper kCleanInChar(kCleanTables.in_char);

// The first position from i in in[0, len) that the skipper stops at.
std::size_t skip_from(const ByteRunSkipper& skipper, const char* in, std::size_t i, std::size_t len) {
  const auto* base = reinterpret_cast<const unsigned char*>(in);
  return static_cast<std::size_t>(skipper.skip(base + i, base + len) - base);
}

// The cleaning pass from in to out, which may be the same buffer: the text
// never grows, except by one blank when a line comment is carried in, and
// that case is given a separate out.
std::size_t clean_text(const char* in, std::size_t len, char* out, unsigned& state_io) {
  unsigned state = state_io;
  std::size_t w = 0;
  std::size_t i = 0;
  while (i < len) {
    if (state == 0) {
      const std::size_t j = skip_from(kCleanPlain, in, i, len);
      if (w != i) std::memmove(out + w, in + i, j - i);
      w += j - i;
      i = j;
      if (i >= len) break;
      char c = in[i];
      if (c == '/' && i + 1 < len && in[i + 1] == '*') {
        state = ST_BLOCK_COMMENT;
        i += 2;
      } else if (c == '/' && i + 1 < len && in[i + 1] == '/') {
        state = ST_LINE_COMMENT;
        i += 2;
      } else {
        if (c == '"') state = ST_STRING;
        if (c == '\'') state = ST_CHAR;
        out[w++] = c;
        ++i;
      }
      continue;
    }
    char c = in[i];
    if (state & ST_BLOCK_COMMENT) {
      if (c == '*' && i + 1 < len && in[i + 1] == '/') {
        out[w++] = ' ';
        state &= ~static_cast<unsigned>(ST_BLOCK_COMMENT);
        i += 2;
        continue;
      }
      if (c == '\n') out[w++] = c;
      ++i;
      continue;
    }
    if (state & ST_LINE_COMMENT) {
      if (c == '\n') {
        out[w++] = ' ';
        out[w++] = '\n';
        state &= ~static_cast<unsigned>(ST_LINE_COMMENT);
      }
      ++i;
      continue;
    }
    // Inside a literal: a backslash keeps the next character (unless it is
    // a line feed); the same quote closes it.
    const bool string = (state & ST_STRING) != 0;
    const std::size_t j = skip_from(string ? kCleanInString : kCleanInChar, in, i, len);
    if (w != i) std::memmove(out + w, in + i, j - i);
    w += j - i;
    i = j;
    if (i >= len) break;
    c = in[i];
    if (c == '\\' && i + 1 < len && in[i + 1] != '\n') {
      out[w++] = c;
      out[w++] = in[i + 1];
      i += 2;
      continue;
    }
    if (c == (string ? '"' : '\'')) state &= ~static_cast<unsigned>(ST_STRING | ST_CHAR);
    out[w++] = c;
    ++i;
  }
  state_io = state;
  return w;
}

}  // namespace

void clean_line(Run& run, LineBuffer& lb) {
  Reader& r = run.reader;
  unsigned state = r.state;
  std::size_t w;
  if (state & ST_LINE_COMMENT) {
    char* scratch = run.clean_scratch.get();
    w = clean_text(lb.data.get(), lb.length, scratch, state);
    // The buffer holds capacity + 2 bytes: room for the one added blank.
    std::memcpy(lb.data.get(), scratch, w);
  } else {
    w = clean_text(lb.data.get(), lb.length, lb.data.get(), state);
  }
  lb.data[w] = 0;
  lb.length = w;
  if (state & (ST_STRING | ST_CHAR)) {
    state &= ~static_cast<unsigned>(ST_STRING | ST_CHAR);
    r.state = state;
    if (run.settings.check_single_quote_asm || !run.asm_block)
      report(run, CLASS_ERROR, M_NEWLINE_IN_STRING);
  }
  r.state = state;
  if (w > kMaxCleanedLength) report(run, CLASS_FATAL, M_INPUT_BUFFER_OVERFLOW);
}

}  // namespace cppkv
