#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zrmackv/figure.h"

namespace zrmackv {
namespace {

// Splits text into (kind, token text) pairs up to T_END.
std::vector<std::pair<int, std::string>> tokens(std::string_view text) {
  std::vector<std::pair<int, std::string>> out;
  std::string token;
  for (;;) {
    int kind = figure_token(text, token);
    if (kind == T_END) break;
    out.emplace_back(kind, token);
  }
  EXPECT_TRUE(token.empty());
  return out;
}

using Tokens = std::vector<std::pair<int, std::string>>;

TEST(FigureToken, NumbersSymbolsAndOperators) {
  EXPECT_EQ(tokens(" \t0FFH+ab$?_1*(x_2)"),
            (Tokens{{T_NUMBER, "0FFH"}, {T_PLUS, "+"}, {T_SYMBOL, "ab$?_1"}, {T_STAR, "*"},
                    {T_LPAREN, "("}, {T_SYMBOL, "x_2"}, {T_RPAREN, ")"}}));
  EXPECT_EQ(tokens("1/2%3-4&5|6^~7"),
            (Tokens{{T_NUMBER, "1"}, {T_SLASH, "/"}, {T_NUMBER, "2"}, {T_PERCENT, "%"},
                    {T_NUMBER, "3"}, {T_MINUS, "-"}, {T_NUMBER, "4"}, {T_AMP, "&"},
                    {T_NUMBER, "5"}, {T_PIPE, "|"}, {T_NUMBER, "6"}, {T_CARET, "^"},
                    {T_TILDE, "~"}, {T_NUMBER, "7"}}));
}

TEST(FigureToken, RelationalShiftsAndPunctuation) {
  EXPECT_EQ(tokens("< <= << > >= >> = == != , : [ ] { }"),
            (Tokens{{T_LT, "<"}, {T_LE, "<="}, {T_SHL, "<<"}, {T_GT, ">"}, {T_GE, ">="},
                    {T_SHR, ">>"}, {T_ASSIGN, "="}, {T_EQEQ, "=="}, {T_NE, "!="},
                    {T_COMMA, ","}, {T_COLON, ":"}, {T_LBRACKET, "["}, {T_RBRACKET, "]"},
                    {T_LBRACE, "{"}, {T_RBRACE, "}"}}));
  EXPECT_EQ(tokens("!x"), (Tokens{{T_BAD, "!"}, {T_SYMBOL, "x"}}));
  EXPECT_EQ(tokens("@#\x80"), (Tokens{{T_BAD, "@"}, {T_BAD, "#"}, {T_BAD, "\x80"}}));
}

TEST(FigureToken, Dots) {
  EXPECT_EQ(tokens(".abc.d"), (Tokens{{T_SYMBOL, ".abc"}, {T_SYMBOL, ".d"}}));
  EXPECT_EQ(tokens("..x"), (Tokens{{T_BAD, ".."}, {T_SYMBOL, "x"}}));
  EXPECT_EQ(tokens("a ."), (Tokens{{T_SYMBOL, "a"}, {T_DOT, "."}}));
  // A dot not at the end and not followed by a symbol character is the
  // one-character symbol ".".
  EXPECT_EQ(tokens(". +"), (Tokens{{T_SYMBOL, "."}, {T_PLUS, "+"}}));
  EXPECT_EQ(tokens(".("), (Tokens{{T_SYMBOL, "."}, {T_LPAREN, "("}}));
}

TEST(FigureToken, Strings) {
  EXPECT_EQ(tokens(R"("a'b" 'c"d')"), (Tokens{{T_STRING, "a'b"}, {T_STRING, "c\"d"}}));
  // \" stands for the quote; other backslashes stay. A quote preceded by a
  // backslash never closes the string, even after another backslash.
  EXPECT_EQ(tokens(R"("x\"y\n\\" z)"), (Tokens{{T_BAD, "x\"y\\n\\\" z"}}));
  EXPECT_EQ(tokens(R"("a\b"c)"), (Tokens{{T_STRING, "a\\b"}, {T_SYMBOL, "c"}}));
  EXPECT_EQ(tokens(R"('it\'s')"), (Tokens{{T_STRING, "it's"}}));
  EXPECT_EQ(tokens(R"(""+1)"), (Tokens{{T_STRING, ""}, {T_PLUS, "+"}, {T_NUMBER, "1"}}));
  std::string_view cursor = R"("abc\" def)";
  std::string token;
  EXPECT_EQ(figure_token(cursor, token), T_BAD);
  EXPECT_EQ(token, "abc\" def");
  EXPECT_TRUE(cursor.empty());
}

TEST(FigureToken, SizeofAndTopofWhateverTheirForm) {
  EXPECT_EQ(tokens("SIZEOF sizeof TopOf 'sizeof' sizeofx"),
            (Tokens{{T_SIZEOF, "SIZEOF"}, {T_SIZEOF, "sizeof"}, {T_TOPOF, "TopOf"},
                    {T_SIZEOF, "sizeof"}, {T_SYMBOL, "sizeofx"}}));
}

TEST(FigureToken, LeavesRemainderAndCutsLongTokens) {
  std::string_view cursor = "  abc  + 1";
  std::string token;
  EXPECT_EQ(figure_token(cursor, token), T_SYMBOL);
  EXPECT_EQ(cursor, "  + 1");
  EXPECT_EQ(figure_token(cursor, token), T_PLUS);
  EXPECT_EQ(cursor, " 1");

  std::string long_name(1000, 'q');
  std::string text = long_name + "+'" + std::string(600, 's') + "'-";
  EXPECT_EQ(tokens(text), (Tokens{{T_SYMBOL, std::string(kTokenMax - 1, 'q')},
                                  {T_PLUS, "+"},
                                  {T_STRING, std::string(kTokenMax - 1, 's')},
                                  {T_MINUS, "-"}}));
  EXPECT_EQ(tokens("   \t "), Tokens{});
}

}  // namespace
}  // namespace zrmackv
