// Statement scanning: the token splitter, the comment split, the statement
// scanner that finds label, operation and operands, and label definition.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace zrmackv {

struct Run;

// Classes of the tokens that token_split returns.
enum TokenClass : int {
  TK_OTHER = 0,    // punctuation, a malformed number, the empty token
  TK_NAME,         // a name
  TK_NAME_COLON,   // a name directly followed by ":" (the token keeps it)
  TK_NUMBER,       // digits with an optional B, H or O suffix
};

// How a statement's name field is written.
enum LabelForm : int {
  LABEL_NONE = 0,   // no name field
  LABEL_NAME,       // a name without ":"
  LABEL_COLON,      // a label with ":"
};

struct Token {
  int cls = TK_OTHER;
  std::string_view text;
};

// The current statement. label, operation and operand are views into text
// and stay valid until text changes.
struct Statement {
  std::string text;     // line without leading blanks, comment and blanks before it
  std::string comment;  // from the first ";" outside quotes, with the blanks before it

  int label_form = LABEL_NONE;
  std::string_view label;      // the name without ":"
  std::string_view operation;  // the keyword as written
  int op_class = 0;            // ReservedClass of the operation; RC_NONE otherwise
  int op_code = 0;             // its reserved-word code
  std::string_view operand;    // the text after the keyword
  std::string_view rest;       // the text after the first two tokens
};

constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Letters, digits, "$" and "_": the characters a name goes on over. A
// table, since scanners ask this for every byte of a name.
inline constexpr std::array<bool, 256> kNameChars = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '$' || c == '_';
  return table;
}();

constexpr bool is_name_char(char c) { return kNameChars[static_cast<unsigned char>(c)]; }

// Removes one token and the blanks before it from the front of text.
Token token_split(std::string_view& text);

// Position where the comment of line begins: the blanks before the first ";"
// outside quotes; line.size() when there is no comment.
std::size_t comment_start(std::string_view line);

// Makes the statement text and the comment from line.
void make_statement(Statement& stmt, std::string_view line);

// The same with the comment taken to begin at comment_at, where it was found
// before the line was rewritten.
void make_statement(Statement& stmt, std::string_view line, std::size_t comment_at);

// Scans the statement text and sets the statement fields; returns the
// operation class.
int stmt_scan(Run& run);

// Enters a label into the symbol table.
void label_set(Run& run, std::string_view name);

}  // namespace zrmackv
