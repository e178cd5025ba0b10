// Expression evaluation of #if, #elif and #assert, called directly: operator
// priorities, signed and unsigned arithmetic, constants and suffixes,
// defined, character constants, failures and the escape conversion.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cppkv/expr.h"
#include "cppkv/macros.h"
#include "cppkv/report.h"
#include "cppkv/run.h"

namespace cppkv {
namespace {

struct ExprHarness {
  ExprHarness() : err(open_memstream(&err_text, &err_size)), in(std::tmpfile()), run(in, in, err, nullptr) {}
  ~ExprHarness() {
    std::fclose(err);
    std::fclose(in);
    std::free(err_text);
  }
  std::string console() {
    std::fflush(err);
    return std::string(err_text, err_size);
  }
  int count(const std::string& text) {
    const std::string all = console();
    int n = 0;
    for (std::size_t p = all.find(text); p != std::string::npos; p = all.find(text, p + 1)) ++n;
    return n;
  }
  char* err_text = nullptr;
  std::size_t err_size = 0;
  std::FILE* err;
  std::FILE* in;
  Run run;
};

struct Expect {
  const char* text;
  bool ok;
  std::int32_t value;
};

constexpr bool FAILS = false;

void check_all(std::initializer_list<Expect> cases, ExprHarness& h) {
  for (const Expect& e : cases) {
    std::int32_t value = -12345;
    const bool ok = evaluate_condition(h.run, e.text, value);
    EXPECT_EQ(ok, e.ok) << e.text;
    if (ok && e.ok) {
      EXPECT_EQ(value, e.value) << e.text;
    }
  }
}

// Each pair gives a different value if the two operators' priorities were
// swapped, or if one priority were grouped from the wrong side.
TEST(CppkvExpr, PriorityPairs) {
  ExprHarness h;
  check_all({{"!0 * 5", true, 5},
             {"~0 + 2", true, 1},
             {"2 + 3 * 4", true, 14},
             {"(2 + 3) * 4", true, 20},
             {"10 - 6 / 2", true, 7},
             {"1 + 7 % 4", true, 4},
             {"1 << 2 + 1", true, 8},
             {"16 >> 2 - 1", true, 8},
             {"1 << 2 < 3", true, 0},
             {"8 >> 1 <= 3", true, 0},
             {"2 == 2 < 3", true, 0},
             {"3 != 2 > 1", true, 1},
             {"6 & 2 == 2", true, 0},
             {"6 ^ 3 & 5", true, 7},
             {"1 | 3 ^ 3", true, 1},
             {"0 && 0 | 1", true, 0},
             {"1 || 0 && 0", true, 1},
             {"0 || 0 ? 5 : 6", true, 6},
             {"1 ? 2 : 3 || 0", true, 2},
             {"!~0", true, 0},
             {"~!0", true, -2},
             {"10 - 3 - 2", true, 5},
             {"64 / 4 / 2", true, 8},
             {"100 % 7 % 3", true, 2},
             {"2 << 1 << 2", true, 16},
             {"1 ? 2 : 0 ? 3 : 4", true, 2},
             {"0 ? 2 : 0 ? 3 : 4", true, 4},
             {"1 ? 0 ? 7 : 8 : 9", true, 8}},
            h);
}

TEST(CppkvExpr, SignsBeforeOperands) {
  ExprHarness h;
  check_all({{"- 2 * 3", true, -6},
             {"2 * - 3", true, -6},
             {"1 - - 1", true, 2},
             {"1 - -2 * 3", true, 7},
             {"- - 1", true, 1},
             {"+ 1", true, 1},
             {"2 * - - + - 3", true, -6},
             {"! - 1", true, 0},
             {"~ - 1", true, 0},
             {"- ~ 1", true, 2},
             {"! - ! 1", true, 1},
             // A sign before a number applies after the * / % to its right:
             // -(1u / 2), not (-1u) / 2.
             {"-1u / 2", true, 0},
             {"2 * -1u / 2", true, 2147483647}},
            h);
}

TEST(CppkvExpr, SignedAndUnsignedOperators) {
  ExprHarness h;
  check_all({{"-3 * 4", true, -12},
             {"65536 * 65536", true, 0},
             {"(3u * -1) > 0", true, 1},
             {"4294967289 / 2", true, -3},
             {"4294967289u / 2", true, 2147483644},
             {"4294967289 / 2u", true, 2147483644},
             {"4294967289 % 10", true, -7},
             {"4294967289 % 10u", true, 9},
             {"(1 + 0) > -1", true, 1},
             {"(1u + 0) > -1", true, 0},
             {"(0 - 1) > 0", true, 0},
             {"(0u - 1) > 0", true, 1},
             {"1 << 33", true, 2},
             {"(1 << 31) < 0", true, 1},
             {"(1u << 0) > -1", true, 0},
             {"-8 >> 1", true, -4},
             {"-8 >> 33", true, -4},
             {"4294967288u >> 1", true, 2147483644},
             {"-8 >> 1u", true, 2147483644},
             {"-1 < 0", true, 1},
             {"-1 < 0u", true, 0},
             {"-1 <= 0", true, 1},
             {"-1 <= 0u", true, 0},
             {"0 > -1", true, 1},
             {"0u > -1", true, 0},
             {"0 >= -1", true, 1},
             {"0 >= -1u", true, 0},
             {"4294967295 == -1", true, 1},
             {"(2 == 2) > -1", true, 1},
             {"(2u == 2) > -1", true, 0},
             {"(2u != 3) > -1", true, 0},
             {"12 & 10", true, 8},
             {"12 ^ 10", true, 6},
             {"12 | 10", true, 14},
             {"(-1 & 1) > -1", true, 1},
             {"(-1 & 1u) > -1", true, 0},
             {"(0 ^ 1u) > -1", true, 0},
             {"(0 | 1u) > -1", true, 0},
             {"5 && 7", true, 1},
             {"0 && 7", true, 0},
             {"0 || -3", true, 1},
             {"0 || 0", true, 0},
             {"(1u && 1) > -1", true, 0},
             {"(0 || 1u) > -1", true, 0},
             {"(1 ? 1u : 2) > -1", true, 0},
             {"(0 ? 1u : 2) > -1", true, 1},
             {"!0 > -1", true, 1},
             {"!0u > -1", true, 0},
             {"~0 > 0", true, 0},
             {"~0u > 0", true, 1},
             {"-1u > 0", true, 1},
             {"2147483648 < 0", true, 1},
             {"2147483648 / -1 == 2147483648", true, 1},
             {"2147483648 % -1", true, 0}},
            h);
  EXPECT_EQ(h.console(), "");
}

TEST(CppkvExpr, ZeroDivideWarnsAndGivesZero) {
  ExprHarness h;
  check_all({{"1 / 0", true, 0}, {"7 % 0", true, 0}, {"1u / 0u", true, 0}, {"0 && 1 / 0", true, 0}}, h);
  EXPECT_EQ(h.count("zero divide"), 4);
  check_all({{"(1 / 0) + (2 % 0) + 3", true, 3}}, h);
  EXPECT_EQ(h.count("zero divide"), 6);
}

// What is reduced before a failure is found still warns; what would come
// after it does not.
TEST(CppkvExpr, WarningsUpToTheFailure) {
  ExprHarness h;
  check_all({{"(1 / 0) )", FAILS, 0}}, h);
  EXPECT_EQ(h.count("zero divide"), 1);
  check_all({{"(1 / 0", FAILS, 0}}, h);
  EXPECT_EQ(h.count("zero divide"), 2);
  check_all({{"1 / 0 )", FAILS, 0}}, h);
  EXPECT_EQ(h.count("zero divide"), 3);
  check_all({{"1 / 0 + (2 +)", FAILS, 0}, {"1 / 0 + !", FAILS, 0}, {"1 / 0 = 1", FAILS, 0}}, h);
  EXPECT_EQ(h.count("zero divide"), 3);
}

TEST(CppkvExpr, Constants) {
  ExprHarness h;
  check_all({{"0xFFFFFFFF == -1", true, 1},
             {"0X1f", true, 31},
             {"0x123456789 == 0x23456789", true, 1},
             {"010", true, 8},
             {"09", true, 1},
             {"0", true, 0},
             {"00", true, 0},
             {"4294967295 > 0", true, 0},
             {"4294967296", true, 0},
             {"99999999999999999999", true, 1661992959},
             {"10L == 10", true, 1},
             {"10l", true, 10},
             {"0x10L", true, 16},
             {"010L", true, 8},
             {"10UL == 10", true, 0},
             {"10UL", true, 100},
             {"10LU", true, 100},
             {"10u > -1", true, 0},
             {"0x10u > -1", true, 0},
             {"10 u", FAILS, 0},
             {"1_", true, 10},
             {"1 2", FAILS, 0}},
            h);
}

TEST(CppkvExpr, CharacterConstants) {
  ExprHarness h;
  check_all({{"'A' == 65", true, 1},
             {"' '", true, 32},
             {"'\"'", true, 34},
             {"\"A\"", true, 65},
             {"'A'u > -1", true, 0},
             {"'a'L", true, 970},  // the L is not after a digit, so it reads as 0
             {"'ab'", FAILS, 0},
             {"''", FAILS, 0},
             {"'''", FAILS, 0},
             {"'a", FAILS, 0},
             {"'\\n'", FAILS, 0},  // escapes are converted only on #if and #elif lines
             {"'\\'", FAILS, 0}},
            h);
}

TEST(CppkvExpr, DefinedAndIdentifiers) {
  ExprHarness h;
  define_macro(h.run, "X", "1");
  define_macro(h.run, "_x", "");
  define_macro(h.run, "N", "3");
  define_macro(h.run, "H", "0x10");
  define_macro(h.run, "D", "defined X");
  check_all({{"defined X", true, 1},
             {"defined(X)", true, 1},
             {"defined ( X )", true, 1},
             {"defined\tX + defined Y", true, 1},
             {"!defined Y", true, 1},
             {"defined_x", true, 1},
             {"definedY", true, 0},
             {"is_defined", true, 0},
             {"Y", true, 0},
             {"Y + 1", true, 1},
             {"x1", true, 0},
             {"N * 2", true, 6},
             {"H == 16", true, 1},
             {"D", FAILS, 0},  // defined is resolved before expansion
             {"defined", FAILS, 0},
             {"defined 1", FAILS, 0},
             {"defined (X", FAILS, 0},
             {"defined ()", FAILS, 0},
             {"defined1", FAILS, 0}},
            h);
}

TEST(CppkvExpr, MalformedExpressions) {
  ExprHarness h;
  check_all({{"", FAILS, 0},
             {"   \t", FAILS, 0},
             {"1 = 1", FAILS, 0},
             {"1 $ 1", FAILS, 0},
             {"(1", FAILS, 0},
             {"1)", FAILS, 0},
             {"()", FAILS, 0},
             {"(1)(2)", FAILS, 0},
             {"1 +", FAILS, 0},
             {"* 1", FAILS, 0},
             {"1 * * 1", FAILS, 0},
             {"1 << << 1", FAILS, 0},
             {"!", FAILS, 0},
             {"1 ?", FAILS, 0},
             {"1 ? 2", FAILS, 0},
             {"1 : 2", FAILS, 0},
             {"1 ? 2 :", FAILS, 0},
             {"1 ? 2 : 3 : 4", FAILS, 0},
             {"? 1 : 2", FAILS, 0},
             {"((((1))))", true, 1},
             {"1 == 1\nrest of a joined line", true, 1}},
            h);
  EXPECT_EQ(h.console(), "");
}

TEST(CppkvExpr, LongAndDeepExpressionsUseNoCStack) {
  ExprHarness h;
  std::int32_t value = 0;
  const std::string deep = std::string(8000, '(') + "1" + std::string(8000, ')');
  ASSERT_TRUE(evaluate_condition(h.run, deep, value));
  EXPECT_EQ(value, 1);
  ASSERT_TRUE(evaluate_condition(h.run, std::string(16000, '!') + "7", value));
  EXPECT_EQ(value, 1);
  ASSERT_TRUE(evaluate_condition(h.run, std::string(16001, '-') + "7", value));
  EXPECT_EQ(value, -7);
  EXPECT_FALSE(evaluate_condition(h.run, std::string(8000, '(') + "1" + std::string(7999, ')'), value));
}

// The expanded expression may hold 16,383 characters; one more is fatal.
TEST(CppkvExpr, ExpressionLengthLimit) {
  ExprHarness h;
  std::string text = "1";
  while (text.size() < kMaxExpressionLength) text += "+1";
  ASSERT_EQ(text.size(), 16383u);
  std::int32_t value = 0;
  ASSERT_TRUE(evaluate_condition(h.run, text, value));
  EXPECT_EQ(value, 8192);
  text += " ";
  try {
    evaluate_condition(h.run, text, value);
    ADD_FAILURE() << "no fatal stop";
  } catch (const FatalStop& stop) {
    EXPECT_EQ(stop.exit_code, 3);
  }
  EXPECT_EQ(h.count("input buffer over flow"), 1);
}

struct Converted {
  const char* line;
  const char* expected;
  int warnings;
};

TEST(CppkvExpr, EscapeConversion) {
  const Converted cases[] = {
      {"'\\a' '\\b' '\\f' '\\n' '\\r' '\\t' '\\v'", "7 8 12 10 13 9 11", 0},
      {"'\\'' '\\\"' '\\?' '\\\\'", "39 34 63 92", 0},
      {"'\\101' '\\0' '\\7' '\\07'", "65 0 7 7", 0},
      {"'\\x41' '\\x0000041' '\\xff'", "65 65 255", 0},
      {"'\\x141'", "65", 1},
      {"'\\x100000041'", "65", 1},
      {"'\\777' '\\400'", "255 0", 2},
      {"\"\\n\"", "10", 0},
      {"#if '\\n' == 10 && '\\t' == 9\n", "#if 10 == 10 && 9 == 9\n", 0},
      // Not a single escape sequence between quotes: kept as written.
      {"'\\1234' '\\x' '\\q' 'a\\n' '\\na' 'A'", "'\\1234' '\\x' '\\q' 'a\\n' '\\na' 'A'", 0},
      {"\"it's\" '\\n'", "\"it's\" 10", 0},
      {"'\\n", "'\\n", 0},
  };
  for (const Converted& c : cases) {
    ExprHarness h;
    std::string line = c.line;
    convert_escapes(h.run, line);
    EXPECT_EQ(line, c.expected) << c.line;
    EXPECT_EQ(h.count("escape sequence out of range for character"), c.warnings) << c.line;
  }
}

}  // namespace
}  // namespace cppkv
