#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zrmackv/figure.h"
#include "zrmackv/run.h"
#include "zrmackv/text_copy.h"

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

// Both scanners over the same text: the same kinds, the same ends, and the
// view spelling what the copy holds.
void expect_views_agree(std::string_view text) {
  std::string_view copying = text, viewing = text;
  std::string kept;
  for (int guard = 0; guard < 1000; ++guard) {
    std::string_view view;
    int kind = figure_token(copying, kept);
    int view_kind = figure_token_view(viewing, view);
    ASSERT_EQ(view_kind, kind) << text;
    ASSERT_EQ(viewing.size(), copying.size()) << text;
    if (kind == T_END) return;
    bool quoted = view[0] == '"' || view[0] == '\'';
    if (!quoted) {
      EXPECT_EQ(view.substr(0, kTokenMax - 1), kept) << text;
    } else if (view.find('\\') == std::string_view::npos) {
      std::size_t closing = view.size() >= 2 && view.back() == view[0] ? 1 : 0;
      EXPECT_EQ(view.substr(1, view.size() - 1 - closing).substr(0, kTokenMax - 1), kept) << text;
    }
  }
  FAIL() << "no end: " << text;
}

TEST(FigureToken, TheViewingScannerAgreesWithTheCopyingOne) {
  for (std::string_view text :
       {"sizeof(x)+TopOf y", "'SIZEOF' \"topof\" 'sizeof", "a<=b<<c>=d>>e==f!=g!h",
        "'it\\'s' \"a\\\"b\" 'x\\y'", "..x .y . 12H 0FFh 3q", "$a?_b ~(c)%[d]{e}:f,g",
        "\"open", "@ # `", "R0L+1*2-3/4^5|6&7", ""}) {
    expect_views_agree(text);
  }
  expect_views_agree(std::string(300, 'S') + "+1");
  expect_views_agree("'" + std::string(300, 'q') + "'");
}

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


TEST(FigureConvert, RadixConverters) {
  int status = CONV_NONE;
  EXPECT_EQ(figure_bin("", status), 0);
  EXPECT_EQ(figure_bin(std::string(32, '1'), status), -1);
  EXPECT_EQ(figure_bin("000000" + std::string(32, '1'), status), -1);
  EXPECT_EQ(figure_oct("37777777777", status), -1);
  // Eleven octal digits above 37777777777 keep their low 32 bits.
  EXPECT_EQ(figure_oct("77777777777", status), -1);
  EXPECT_EQ(figure_oct("40000000001", status), 1);
  EXPECT_EQ(figure_dec("4294967295", status), -1);
  EXPECT_EQ(figure_dec("0002147483648", status), INT32_MIN);
  EXPECT_EQ(figure_hex("7fffFFFF", status), INT32_MAX);
  EXPECT_EQ(figure_hex("00000000FFFFFFFF", status), -1);
  EXPECT_EQ(status, CONV_NONE);

  for (auto [radix, digits] : std::vector<std::pair<int, std::string>>{
           {2, "1" + std::string(32, '0')}, {8, "400000000000"}, {10, "4294967296"},
           {10, "0000004294967296"}, {10, "10000000000"}, {16, "100000000"}}) {
    status = CONV_NONE;
    if (radix == 2) figure_bin(digits, status);
    if (radix == 8) figure_oct(digits, status);
    if (radix == 10) figure_dec(digits, status);
    if (radix == 16) figure_hex(digits, status);
    EXPECT_EQ(status, CONV_OVERFLOW) << digits;
  }
  for (auto [radix, digits] : std::vector<std::pair<int, std::string>>{
           {2, "12"}, {8, "8"}, {10, "1A"}, {16, "G"}, {16, "1 2"}}) {
    status = CONV_NONE;
    if (radix == 2) figure_bin(digits, status);
    if (radix == 8) figure_oct(digits, status);
    if (radix == 10) figure_dec(digits, status);
    if (radix == 16) figure_hex(digits, status);
    EXPECT_EQ(status, CONV_BAD_DIGIT) << digits;
  }
  // The status is never cleared by a converter.
  status = CONV_OVERFLOW;
  figure_dec("1", status);
  EXPECT_EQ(status, CONV_OVERFLOW);

  // Up to nine decimal digits take a shorter way than longer numbers; both
  // sides of that length, and bad bytes on either side of the digits.
  for (auto [digits, value] : std::vector<std::pair<std::string, std::int32_t>>{
           {"999999999", 999999999}, {"000000007", 7}, {"1000000000", 1000000000},
           {"2147483647", INT32_MAX}, {"0000000000", 0}, {"0", 0}}) {
    status = CONV_NONE;
    EXPECT_EQ(figure_dec(digits, status), value) << digits;
    EXPECT_EQ(status, CONV_NONE) << digits;
  }
  for (std::string digits : {"12345678/", "/", "12345678:", ":1", "99999999\xff", "1234567890:"}) {
    status = CONV_NONE;
    EXPECT_EQ(figure_dec(digits, status), 0) << digits;
    EXPECT_EQ(status, CONV_BAD_DIGIT) << digits;
  }

  status = CONV_NONE;
  EXPECT_EQ(figure_convert_by_suffix("FFh", status), 255);
  EXPECT_EQ(figure_convert_by_suffix("101b", status), 5);
  EXPECT_EQ(figure_convert_by_suffix("17O", status), 15);
  EXPECT_EQ(figure_convert_by_suffix("42", status), 42);
  EXPECT_EQ(status, CONV_NONE);
  figure_convert_by_suffix("12D", status);
  EXPECT_EQ(status, CONV_BAD_DIGIT);
}

// Evaluates operands in a fresh run; every eval() is a new source line.
class FigureEval : public ::testing::Test {
 protected:
  FigureEval() : file_(std::tmpfile()), run_(file_, nullptr) {}
  ~FigureEval() override { std::fclose(file_); }

  void new_line() {
    run_.messages.code = 0;
    run_.messages.argument.clear();
    run_.messages.quiet = false;
    run_.figure.division_by_zero = false;
  }
  int eval(std::string_view text, bool quiet = false) {
    new_line();
    run_.messages.quiet = quiet;
    run_.figure.operand = text;
    return figure_eval(run_);
  }
  // The value of text, which must evaluate with EVAL_OK.
  std::int32_t value(std::string_view text) {
    EXPECT_EQ(eval(text), EVAL_OK) << text << ": " << message();
    EXPECT_EQ(run_.messages.code, 0) << text;
    return run_.figure.value;
  }
  // The message text recorded for the line, "" when none.
  std::string message() const {
    const Messages& m = run_.messages;
    return m.code ? message_text(m.code, m.cls, m.argument) : "";
  }
  // The message of text, which must fail.
  std::string failure(std::string_view text, bool quiet = false) {
    EXPECT_EQ(eval(text, quiet), EVAL_FAIL) << text;
    return message();
  }
  void define(std::string_view name, int kind, std::int32_t v = 0) {
    symbol_set(run_, name, kind, v);
  }

  std::FILE* file_;
  zrmackv::Run run_;
};

TEST_F(FigureEval, PrecedenceAndAssociativity) {
  const std::vector<std::pair<const char*, std::int32_t>> cases = {
      {"2+3*4", 14},     {"(2+3)*4", 20},   {"1<<2+1", 8},     {"4|1^3", 6},
      {"6&3|8", 10},     {"1|2&3", 3},      {"3^5|1", 7},      {"1|4^5", 0},
      {"7-2-1", 4},      {"100/10/5", 2},   {"2*3%4", 2},      {"8>>1<<2", 16},
      {"-2*3", -6},      {"-~5", 6},        {"~-5", 4},        {"+-+3", -3},
      {"1+-2", -1},      {"2*-(3+1)", -8},  {"((((7))))", 7},  {"-(1)-(-2)", 1},
      {"1+2*3<<1&255", 14}, {" 1 \t+\t2 ", 3}, {"", 0},     {"  ", 0},
      // An operand directly followed by ( or ~ is not diagnosed: the right
      // hand operand is the value.
      {"2 (3)", 3},      {"2 ~3", -4},
  };
  for (auto [text, expected] : cases) EXPECT_EQ(value(text), expected) << text;
}

TEST_F(FigureEval, WrappingArithmeticWithoutOverflow) {
  const std::vector<std::pair<const char*, std::int32_t>> cases = {
      {"-7/2", -3},   {"-7%2", -1},   {"7%-2", 1},    {"7/-2", -3},
      {"2147483647+1", INT32_MIN},    {"0-80000000H-1", INT32_MAX},
      {"-80000000H", INT32_MIN},      {"~80000000H", INT32_MAX},
      {"80000000H/-1", INT32_MIN},    {"80000000H%-1", 0},
      {"65536*65536", 0},             {"0FFFFFFFFH*0FFFFFFFFH", 1},
      {"80000000H*-1", INT32_MIN},
      {"1<<31", INT32_MIN}, {"1<<32", 0},  {"-1>>33", 0},   {"-8>>1", -4},
      {"1<<-1", 0},         {"-8<<-1", -4}, {"1>>-3", 8},   {"5<<0", 5},
      {"5>>0", 5},          {"-1>>31", -1}, {"1>>-31", INT32_MIN},
      {"1<<80000000H", 0},  {"1>>80000000H", 0}, {"-1<<-32", 0}, {"1>>-32", 0},
  };
  for (auto [text, expected] : cases) EXPECT_EQ(value(text), expected) << text;
}

TEST_F(FigureEval, Numbers) {
  EXPECT_EQ(value("4294967295"), -1);
  EXPECT_EQ(value("0FFFFFFFFH"), -1);
  EXPECT_EQ(value("1B"), 1);
  EXPECT_EQ(value("0BH"), 11);
  EXPECT_EQ(value("17O+17o"), 30);
  EXPECT_EQ(value("0ffh"), 255);
  EXPECT_EQ(value("77777777777O"), -1);
  // A number longer than the token buffer is valued by its whole text.
  EXPECT_EQ(value(std::string(300, '0') + "12"), 12);
  EXPECT_EQ(value(std::string(300, '0') + "1FH"), 31);

  const std::string out_of_range = "Value is out of range\n";
  const std::string illegal = "Illegal operand is used\n";
  EXPECT_EQ(failure("4294967296"), out_of_range);
  EXPECT_EQ(failure("0000004294967296"), out_of_range);
  EXPECT_EQ(failure("100000000H"), out_of_range);
  EXPECT_EQ(failure("400000000000O"), out_of_range);
  EXPECT_EQ(failure("1" + std::string(32, '0') + "B"), out_of_range);
  EXPECT_EQ(failure(std::string(300, '9')), out_of_range);
  EXPECT_EQ(failure("12D"), illegal);
  EXPECT_EQ(failure("1$"), illegal);
  EXPECT_EQ(failure("2B"), illegal);
  EXPECT_EQ(failure("8O"), illegal);
  EXPECT_EQ(failure("1G0H"), illegal);
  // FFH is a symbol: undefined, taken as 0.
  EXPECT_EQ(eval("1+FFH*0"), EVAL_UNDEF);
  EXPECT_EQ(run_.figure.value, 1);
}

TEST_F(FigureEval, SymbolsAndStatuses) {
  define("Val", S_EQU, 40);
  define("VAL", S_EQU, 2);
  define(".loc", S_EQU, 1);
  EXPECT_EQ(value("Val+VAL+.loc"), 43);

  // Undefined: 0 with EVAL_UNDEF, no message; in quiet mode a failure whose
  // message is not recorded.
  EXPECT_EQ(eval("UNDEF+1"), EVAL_UNDEF);
  EXPECT_EQ(run_.figure.value, 1);
  EXPECT_EQ(message(), "");
  EXPECT_EQ(eval("val"), EVAL_UNDEF);  // names are case-sensitive
  EXPECT_EQ(eval("UNDEF+1", true), EVAL_FAIL);
  EXPECT_EQ(message(), "");
  EXPECT_EQ(eval("Val", true), EVAL_OK);

  // Whatever only the assembler can value is not constant, with no message.
  define("lab", S_LABEL);
  define("glb", S_GLOBAL);
  define("bit", S_BTEQU);
  define("bglb", S_BGLOBAL);
  define("def", S_DEFINE);
  define("mac", S_MACRO);
  for (const char* text :
       {"lab", "1+glb", "bit", "bglb", "def", "mac", "SIZEOF CODE", "topof DATA", "'sizeof'",
        "'a'", "\"\"", "1,2", "1:2", "X=1", "[1]", "{", "1 .", "(1+(2*sizeof"}) {
    EXPECT_EQ(eval(text), EVAL_NOT_CONST) << text;
    EXPECT_EQ(message(), "") << text;
    EXPECT_EQ(run_.figure.value, 0) << text;
  }
  // Not constant is decided at the token; errors after it are not seen.
  EXPECT_EQ(eval("lab )"), EVAL_NOT_CONST);
  EXPECT_EQ(run_.figure.operand, " )");
}

TEST_F(FigureEval, LineCarryingAnErrorFails) {
  new_line();
  message_set(run_, E_ILLEGAL_DIRECTIVE, "", MSG_ERROR);
  run_.figure.operand = "1+1";
  EXPECT_EQ(figure_eval(run_), EVAL_FAIL);
  EXPECT_EQ(run_.figure.value, 2);

  new_line();
  message_set(run_, W_LINE_EXCEEDS, "256", MSG_WARNING);
  run_.figure.operand = "1+1";
  EXPECT_EQ(figure_eval(run_), EVAL_OK);
}

TEST_F(FigureEval, RelationalStop) {
  define("A", S_EQU, 3);
  EXPECT_EQ(eval("A <= B"), EVAL_OK);
  EXPECT_EQ(run_.figure.value, 3);
  EXPECT_EQ(run_.figure.operand, "<= B");
  EXPECT_EQ(eval("1+2*3==7 junk"), EVAL_OK);
  EXPECT_EQ(run_.figure.value, 7);
  EXPECT_EQ(run_.figure.operand, "==7 junk");
  // At a relational stop an undefined symbol still gives EVAL_OK.
  EXPECT_EQ(eval("U != 0"), EVAL_OK);
  EXPECT_EQ(run_.figure.operand, "!= 0");
  for (const char* op : {"<", ">", ">=", "!="}) {
    EXPECT_EQ(eval(std::string("5") + op + "6"), EVAL_OK);
    EXPECT_EQ(run_.figure.operand, std::string(op) + "6");
  }

  EXPECT_EQ(failure("  < 2"), "Operand number is not enough\n");
  EXPECT_EQ(run_.figure.operand, "< 2");
  EXPECT_EQ(failure("(1 < 2"), "')' is missing\n");
  EXPECT_EQ(run_.figure.operand, "< 2");
  EXPECT_EQ(failure("1/0 > 2"), "Division by zero\n");
  EXPECT_EQ(failure("1+ < 2"), "Syntax error in expression '+'\n");

  // Any buffer can be evaluated; the rest stays in it.
  std::string buffer = "10 >= 2";
  new_line();
  EXPECT_EQ(figure_eval(run_, buffer), EVAL_OK);
  EXPECT_EQ(run_.figure.value, 10);
  EXPECT_EQ(buffer, ">= 2");
  EXPECT_EQ(figure_eval(run_, buffer), EVAL_FAIL);
  EXPECT_EQ(message(), "Operand number is not enough\n");
}

TEST_F(FigureEval, SyntaxMessagesNameTheToken) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"1 @", "@"},     {"..", ".."},     {"1+!", "!"},     {"'abc", "abc"},
      {"*2", "*"},      {"(/2)", "/"},    {"1+<<2", "<<"},  {"|1", "|"},
      {"(1)2", "2"},    {"(1)~2", "~"},   {"(1)(2)", "("},  {"1 2", "2"},
      {"(1)X", "X"},    {")", ")"},       {"1)", ")"},      {"(1))", ")"},
      {"()", ")"},      {"1+)", ")"},     {"1+", "+"},      {"~", "~"},
      {"-", "-"},       {"(1*", "*"},     {"1+-", "-"},     {"3>>", ">>"},
  };
  for (auto [text, argument] : cases)
    EXPECT_EQ(failure(text), std::string("Syntax error in expression '") + argument + "'\n")
        << text;
  EXPECT_EQ(failure("1 X"), "Illegal operand is used\n");
  EXPECT_EQ(failure("(1"), "')' is missing\n");
  EXPECT_EQ(failure("((1)"), "')' is missing\n");
  EXPECT_EQ(failure("1+("), "')' is missing\n");
  EXPECT_EQ(failure("("), "')' is missing\n");
  // The end steps check the parentheses before a division by zero.
  EXPECT_EQ(failure("(1/0"), "')' is missing\n");
  EXPECT_EQ(failure("U", true), "");
  // The first error ends the evaluation.
  EXPECT_EQ(failure("1 @ 12D"), "Syntax error in expression '@'\n");
  EXPECT_EQ(run_.figure.operand, " 12D");
}

TEST_F(FigureEval, SentinelStaysZero) {
  for (const char* text : {"1+", "~", "-", "5*", "(", "1+(", "2 ~"}) {
    eval(text);
    EXPECT_EQ(value(""), 0) << "after " << text;
    EXPECT_EQ(value("7"), 7) << "after " << text;
  }
}

TEST_F(FigureEval, DivisionByZeroIsPerLine) {
  EXPECT_EQ(failure("1/0"), "Division by zero\n");
  EXPECT_EQ(run_.figure.value, 0);
  EXPECT_EQ(failure("5%(2-2)"), "Division by zero\n");
  // The flag outlives the evaluation: the rest of the line fails too.
  run_.figure.operand = "1";
  EXPECT_EQ(figure_eval(run_), EVAL_FAIL);
  // Quiet mode: the same status, nothing recorded.
  EXPECT_EQ(eval("1/0", true), EVAL_FAIL);
  EXPECT_EQ(message(), "");
  EXPECT_EQ(value("1"), 1);
}

TEST_F(FigureEval, QuietModeRecordsNothing) {
  for (const char* text : {"1 @", "12D", "4294967296", "(1", "1)", "< 1", "1 X", "1+"}) {
    EXPECT_EQ(eval(text, true), EVAL_FAIL) << text;
    EXPECT_EQ(message(), "") << text;
  }
}

TEST_F(FigureEval, DeepNestingNeedsNoRecursion) {
  const std::size_t depth = 200000;
  std::string text = std::string(depth, '(') + "1" + std::string(depth, ')');
  EXPECT_EQ(value(text), 1);
  EXPECT_EQ(value(std::string(depth, '-') + "5"), 5);
  EXPECT_EQ(value(std::string(depth + 1, '~') + "5"), -6);
  std::string sum = "0";
  for (int i = 0; i < 10000; ++i) sum += "+1";
  EXPECT_EQ(value(sum), 10000);
}

}  // namespace
}  // namespace zrmackv

TEST(CopyText, CopiesFromElsewhereAndFromInsideItself) {
  using zrmackv::copy_text;
  std::string s = "previous longer text";
  copy_text(s, "SYM");
  EXPECT_EQ(s, "SYM");
  const std::string other = "A+B";
  copy_text(s, other);
  EXPECT_EQ(s, "A+B");
  // A part of the string itself, at its start, in its middle and at its end.
  s = "abcdef";
  copy_text(s, std::string_view(s).substr(0, 3));
  EXPECT_EQ(s, "abc");
  s = "abcdef";
  copy_text(s, std::string_view(s).substr(2, 3));
  EXPECT_EQ(s, "cde");
  s = "abcdef";
  copy_text(s, std::string_view(s).substr(6));
  EXPECT_EQ(s, "");
  copy_text(s, {});
  EXPECT_EQ(s, "");
}
