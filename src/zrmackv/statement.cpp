#include "zrmackv/statement.h"

#include <bit>

#include "zrmackv/byte_words.h"
#include "zrmackv/reserved.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr bool is_name_start(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '$' || c == '_';
}

// Characters that end a number, besides a blank and the end of the text.
constexpr bool is_operator(char c) {
  switch (c) {
    case '%': case '&': case '*': case '+': case ',': case '-':
    case '/': case '<': case '>': case '^': case '|':
      return true;
    default:
      return false;
  }
}

constexpr bool is_radix_suffix(char c) {
  return c == 'B' || c == 'b' || c == 'H' || c == 'h' || c == 'O' || c == 'o';
}

bool ends_number(std::string_view text, std::size_t at) {
  return at >= text.size() || is_blank(text[at]) || is_operator(text[at]);
}

// The format letters that may follow a mnemonic written with ":".
bool is_format_letter(const Token& t) {
  if (t.cls != TK_NAME || t.text.size() != 1) return false;
  switch (t.text[0]) {
    case 'Z': case 'z': case 'Q': case 'q': case 'S': case 's': case 'G': case 'g':
      return true;
    default:
      return false;
  }
}

// Classes that may stand as the operation after a label.
bool is_operation_class(int cls) {
  return cls == RC_MNEMONIC || cls == RC_DIRECTIVE || cls == RC_MACRO_DIRECTIVE ||
         cls == RC_STRING_FUNCTION || cls == RC_CONDITIONAL;
}

// The token splitter itself, inlined where a statement is scanned: every
// line splits its first two words there.
[[gnu::always_inline]] inline Token split_token(std::string_view& text) {
  std::size_t start = 0;
  while (start < text.size() && is_blank(text[start])) ++start;
  text.remove_prefix(start);
  const std::size_t n = text.size();
  if (n == 0) return {TK_OTHER, std::string_view(text.data(), 0)};

  std::size_t length;
  int cls;
  if (is_digit(text[0])) {
    std::size_t j = 1;
    while (j < n && is_digit(text[j])) ++j;
    if (j < n && is_radix_suffix(text[j]) && ends_number(text, j + 1)) {
      length = j + 1;
      cls = TK_NUMBER;
    } else if (ends_number(text, j)) {
      length = j;
      cls = TK_NUMBER;
    } else {
      // A digit run glued to other characters is no number.
      while (j < n && is_name_char(text[j])) ++j;
      length = j;
      cls = TK_OTHER;
    }
  } else {
    std::size_t dots = 0;
    if (text[0] == '.') dots = n > 1 && text[1] == '.' ? 2 : 1;
    if (dots < n && is_name_start(text[dots])) {
      std::size_t j = dots + 1;
      while (j < n && is_name_char(text[j])) ++j;
      if (j < n && text[j] == ':') {
        length = j + 1;
        cls = TK_NAME_COLON;
      } else {
        length = j;
        cls = TK_NAME;
      }
    } else {
      length = dots ? dots : 1;
      cls = TK_OTHER;
    }
  }
  Token token{cls, std::string_view(text.data(), length)};
  text.remove_prefix(length);
  return token;
}

}  // namespace

Token token_split(std::string_view& text) { return split_token(text); }

// The bytes the comment split must look at; it skips all others.
constexpr std::array<bool, 256> kCommentSplitChars = [] {
  std::array<bool, 256> table{};
  table['"'] = table['\''] = table[';'] = true;
  return table;
}();

namespace {

// One byte the comment split looks at: a quote opens or closes a quoted
// part, a ";" outside one begins the comment. True at the comment.
bool comment_split_step(char c, char& quote) {
  if (quote) {
    if (c == quote) quote = 0;
  } else if (c == '"' || c == '\'') {
    quote = c;
  } else if (c == ';') {
    return true;
  }
  return false;
}

// The comment's start with the blanks before the ";" at semicolon.
std::size_t with_blanks_before(std::string_view line, std::size_t semicolon) {
  while (semicolon > 0 && is_blank(line[semicolon - 1])) --semicolon;
  return semicolon;
}

#if defined(__SSE2__)
// The flags of the quotes and ";" among the sixteen bytes of chunk.
unsigned comment_flags(__m128i chunk) {
  return chunk_flags(chunk, '"') | chunk_flags(chunk, '\'') | chunk_flags(chunk, ';');
}
#else
// The flags of the quotes and ";" among the eight bytes of word.
std::uint64_t comment_flags(std::uint64_t word) {
  return bytes_equal(word, '"') | bytes_equal(word, '\'') | bytes_equal(word, ';');
}
#endif

}  // namespace

std::size_t comment_start(std::string_view line) {
  // A quoted part runs from a quote to the next quote of the same kind; a
  // backslash escapes nothing here, so 'C:\dir\' closes at its last quote.
  // Only the quotes and ";" are visited, in line order; the bytes between
  // them are skipped many at once.
  char quote = 0;
  const char* p = line.data();
  const std::size_t n = line.size();
  std::size_t i = 0;
  // The comment's ";" when the flagged bytes reach it; its place is then
  // in at.
  std::size_t at = 0;
  const auto splits_at = [&](std::size_t place) {
    at = place;
    return comment_split_step(line[place], quote);
  };
#if defined(__SSE2__)
  if (n >= 16) {
    for (; i + 16 <= n; i += 16) {
      const auto place = [i](int k) { return i + static_cast<std::size_t>(k); };
      if (any_flagged(comment_flags(load_chunk(p + i)), place, splits_at)) return with_blanks_before(line, at);
    }
    if (i == n) return n;
    // The last bytes as the end of the line's last sixteen: the bytes
    // already visited lose their flags.
    const unsigned flags = comment_flags(load_chunk(p + n - 16)) & (~0u << (16 - (n - i)));
    const auto place = [n](int k) { return n - 16 + static_cast<std::size_t>(k); };
    return any_flagged(flags, place, splits_at) ? with_blanks_before(line, at) : n;
  }
  if (n >= 8) {
    // The first eight bytes and the last eight: the bytes of the last eight
    // that the first eight hold already (n-8 to 7) lose their flags.
    const unsigned twice = ((1u << (16 - n)) - 1) << 8;
    const unsigned flags = comment_flags(load_ends(p, n)) & ~twice;
    const auto place = [n](int k) { return ends_place(n, k); };
    return any_flagged(flags, place, splits_at) ? with_blanks_before(line, at) : n;
  }
#else
  // Eight bytes at a time (the flags are taken lowest bit first, which is
  // memory order only on a little-endian host).
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= n; i += 8) {
      const auto place = [i](int k) { return i + static_cast<std::size_t>(k) / 8; };
      if (any_flagged(comment_flags(load_word(p + i)), place, splits_at)) return with_blanks_before(line, at);
    }
  }
#endif
  for (; i < n; ++i) {
    const char c = line[i];
    if (kCommentSplitChars[static_cast<unsigned char>(c)] && comment_split_step(c, quote))
      return with_blanks_before(line, i);
  }
  return n;
}

namespace {

[[gnu::always_inline]] inline void make_statement_at(Statement& stmt, std::string_view line, std::size_t end) {
  std::size_t begin = 0;
  while (begin < end && is_blank(line[begin])) ++begin;
  // The line never lies in the statement's own strings, so each is emptied
  // and refilled: cheaper for a line's few bytes than assign's general
  // replace, which must allow for a source inside the string itself.
  stmt.text.clear();
  stmt.text.append(line.data() + begin, end - begin);
  stmt.comment.clear();
  if (end != line.size()) stmt.comment.append(line.data() + end, line.size() - end);
  stmt.label_form = LABEL_NONE;
  stmt.label = {};
  stmt.operation = {};
  stmt.op_class = RC_NONE;
  stmt.op_code = 0;
  stmt.operand = {};
  stmt.rest = {};
}

}  // namespace

void make_statement(Statement& stmt, std::string_view line) {
  make_statement_at(stmt, line, comment_start(line));
}

void make_statement(Statement& stmt, std::string_view line, std::size_t comment_at) {
  make_statement_at(stmt, line, comment_at);
}

int stmt_scan(Run& run) {
  Statement& st = run.line.stmt;
  std::string_view cursor = st.text;
  Token t1 = split_token(cursor);
  std::string_view after_first = cursor;
  Token t2 = split_token(cursor);
  st.rest = cursor;

  ReservedWord r1, r2;
  if (t1.cls == TK_NAME) r1 = reserved_find_any_case(run, t1.text);
  if (t2.cls == TK_NAME) r2 = reserved_find_any_case(run, t2.text);

  st.label_form = LABEL_NONE;
  st.label = {};
  st.operation = {};
  st.op_class = RC_NONE;
  st.op_code = 0;
  st.operand = {};

  auto set_operation = [&](std::string_view word, ReservedWord r, std::string_view operand) {
    st.operation = word;
    st.op_class = r.cls;
    st.op_code = r.code;
    st.operand = operand;
  };
  // After a label the second word is the operation when it can be one.
  auto operation_after_label = [&] {
    if (is_operation_class(r2.cls)) set_operation(t2.text, r2, cursor);
  };
  // A reserved word or number in the name field of a statement whose second
  // word defines something.
  auto check_name_field = [&] {
    bool defining = r2.code == D_BTEQU || r2.code == D_EQU || r2.code == D_DEFINE;
    bool assembled_only = r2.cls == RC_MACRO_DIRECTIVE || r2.cls == RC_STRING_FUNCTION ||
                          r2.cls == RC_CONDITIONAL || r2.code == D_ASSERT ||
                          r2.code == D_INCLUDE || r2.code == D_LIST;
    if (defining || (assembled_only && run.conditions.assembling))
      message_set(run, E_RESERVED_WORD_USED, t1.text, MSG_ERROR);
  };

  switch (t1.cls) {
    case TK_NAME_COLON: {
      std::string_view name = t1.text.substr(0, t1.text.size() - 1);
      ReservedWord r = reserved_find_any_case(run, name);
      if (r.cls == RC_MNEMONIC && is_format_letter(t2)) {
        set_operation(name, r, cursor);  // a mnemonic with a format letter
        break;
      }
      st.label_form = LABEL_COLON;
      st.label = name;
      operation_after_label();
      break;
    }
    case TK_NAME:
      if (r1.cls == RC_NONE) {
        st.label_form = LABEL_NAME;
        st.label = t1.text;
        operation_after_label();
      } else if (r1.cls == RC_DIRECTIVE || r1.cls == RC_MACRO_DIRECTIVE ||
                 r1.cls == RC_STRING_FUNCTION || r1.cls == RC_CONDITIONAL) {
        set_operation(t1.text, r1, after_first);
      } else {
        check_name_field();
        if (r1.cls == RC_MNEMONIC) set_operation(t1.text, r1, after_first);
      }
      break;
    case TK_NUMBER:
      check_name_field();
      break;
    default:
      break;
  }
  return st.op_class;
}

void label_set(Run& run, std::string_view name) {
  if (is_reserved(run, name)) {
    message_set(run, E_RESERVED_WORD_USED, name, MSG_ERROR);
    return;
  }
  SymbolPlace place;
  Symbol* entry = run.symbols.find(name, place);
  if (!entry) entry = &symbol_new(run, name, S_LABEL, place);
  entry->kind = S_LABEL;
  entry->value = 0;
  if (run.info.active) info_label_set(run.info, name);
}

}  // namespace zrmackv
