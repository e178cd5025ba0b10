// .LEN, .INSTR and .SUBSTR on single lines: the results in the line and the
// statement, the argument values and every fault.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "zrmackv/macro_engine.h"
#include "zrmackv/messages.h"
#include "zrmackv/reserved.h"
#include "zrmackv/run.h"
#include "zrmackv/symbols.h"

using namespace zrmackv;

namespace {

class StringFunctions : public ::testing::Test {
 protected:
  StringFunctions() : out_(std::tmpfile()), run_(out_, nullptr) {
    load_reserved_words(run_);
    symbol_set(run_, "TWO", S_EQU, 2);
    symbol_set(run_, "LIMIT", S_EQU, 256);
    symbol_set(run_, "OVER", S_EQU, 257);
    run_.symbols.create("LAB", S_LABEL);
  }
  ~StringFunctions() override { std::fclose(out_); }

  // The line after the string functions; code() tells the message raised.
  std::string apply(const std::string& line) {
    run_.messages.code = 0;
    run_.messages.argument.clear();
    run_.source.line = line;
    make_statement(run_.line.stmt, line);
    string_functions(run_);
    return run_.source.line;
  }
  // The replacement of a function standing alone, or the message code
  // prefixed with "E" when the line was left alone.
  std::string result(const std::string& call) {
    std::string line = apply(call);
    if (code() != 0) {
      EXPECT_EQ(line, call) << "a failed call changed the line";
      return "E" + std::to_string(code());
    }
    return line;
  }
  int code() const { return run_.messages.code; }

  std::FILE* out_;
  zrmackv::Run run_;
};

TEST_F(StringFunctions, ResultReplacesTheCallAndTheCommentIsKept) {
  EXPECT_EQ(apply("LAB:\tMOV.W #.LEN{'abc'},R0\t; .LEN{'x'} .SUBSTR{'ab',1,1}"),
            "LAB:\tMOV.W #3,R0\t; .LEN{'x'} .SUBSTR{'ab',1,1}");
  EXPECT_EQ(code(), 0);
  const Statement& st = run_.line.stmt;
  EXPECT_EQ(st.text, "LAB:\tMOV.W #3,R0");
  EXPECT_EQ(st.comment, "\t; .LEN{'x'} .SUBSTR{'ab',1,1}");

  // The comment found before the call is kept even when the result would
  // change where a later search finds one.
  EXPECT_EQ(apply(" .BYTE .SUBSTR{'a\"b',1,2} ; c"), " .BYTE \"a\"\" ; c");
  EXPECT_EQ(st.text, ".BYTE \"a\"\"");
  EXPECT_EQ(st.comment, " ; c");
}

TEST_F(StringFunctions, LengthCountsEveryCharacterBetweenTheQuotes) {
  EXPECT_EQ(result(".LEN{'abc'}"), "3");
  EXPECT_EQ(result(".LEN{\"\"}"), "0");
  EXPECT_EQ(result(".len \t{ \t'a;b\"c' \t}"), "5");
  EXPECT_EQ(result(".LEN{\"it's\"}"), "4");
  EXPECT_EQ(result(".LEN{'\\'}"), "1");  // no escapes: the backslash is a character
  std::string long_text(240, 'x');
  EXPECT_EQ(result(".LEN{'" + long_text + "'}"), "240");
}

TEST_F(StringFunctions, InstrCountsFromTheStartPosition) {
  const char* expected[] = {"0", "3", "2", "1", "0", "0", "0"};
  for (int start = 0; start <= 6; ++start)
    EXPECT_EQ(result(".INSTR{'ABCDE','CD'," + std::to_string(start) + "}"), expected[start])
        << "start " << start;
  EXPECT_EQ(result(".INSTR{'ABAB','AB',2}"), "2");  // the match after start, not the first
  EXPECT_EQ(result(".INSTR{'ABCDE','E',5}"), "1");
  EXPECT_EQ(result(".INSTR{'ABCDE','DEF',4}"), "0");
  EXPECT_EQ(result(".INSTR{'ABCDE','',1}"), "1");
  EXPECT_EQ(result(".INSTR{'ABCDE','',5}"), "1");
  EXPECT_EQ(result(".INSTR{'ABCDE','',6}"), "0");
  EXPECT_EQ(result(".INSTR{'','',1}"), "0");
  EXPECT_EQ(result(".INSTR{'ABCDE','cd',1}"), "0");  // case matters
  EXPECT_EQ(result(".Instr { \"a,b\" , ',' , 1 }"), "2");
}

TEST_F(StringFunctions, SubstrIsDoubleQuotedWhateverTheQuotesOfItsText) {
  EXPECT_EQ(result(".SUBSTR{'ABCDE',2,3}"), "\"BCD\"");
  EXPECT_EQ(result(".SUBSTR{\"ABCDE\",4,2}"), "\"DE\"");
  EXPECT_EQ(result(".SUBSTR{'ABCDE',1,5}"), "\"ABCDE\"");
  EXPECT_EQ(result(".SUBSTR{'ABCDE',5,1}"), "\"E\"");
  EXPECT_EQ(result(".SUBSTR{'ABCDE',4,3}"), "\"\"");
  EXPECT_EQ(result(".SUBSTR{'ABCDE',0,2}"), "\"\"");
  EXPECT_EQ(result(".SUBSTR{'ABCDE',2,0}"), "\"\"");
  EXPECT_EQ(result(".SUBSTR{'ABCDE',6,1}"), "\"\"");
  EXPECT_EQ(result(".SUBSTR{'',1,1}"), "\"\"");
  EXPECT_EQ(result("X .substr {  'a b c' , 2 , 3 } Y"), "X \" b \" Y");
}

TEST_F(StringFunctions, NumericArgumentsTakeRadixSuffixesAndSymbols) {
  // s has 300 characters, so every start up to 256 finds its character.
  std::string s(255, 'a');
  s += "bcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  auto at = [&](const std::string& start) {
    return result(".SUBSTR{'" + s + "'," + start + ",1}");
  };
  EXPECT_EQ(at("256"), "\"b\"");
  EXPECT_EQ(at("LIMIT"), "\"b\"");
  EXPECT_EQ(at("100H"), "\"b\"");
  EXPECT_EQ(at("100h"), "\"b\"");
  EXPECT_EQ(at("0100000000B"), "\"b\"");
  EXPECT_EQ(at("400O"), "\"b\"");
  EXPECT_EQ(at("400o"), "\"b\"");
  EXPECT_EQ(at("0000256"), "\"b\"");
  EXPECT_EQ(at("1"), "\"a\"");
  EXPECT_EQ(result(".SUBSTR{'ABCDE',TWO,10B}"), "\"BC\"");
  EXPECT_EQ(result(".SUBSTR{'ABCDE',2,0H}"), "\"\"");
  // A symbol of any kind gives its value; a label's is 0.
  EXPECT_EQ(result(".INSTR{'ABCDE','A',LAB}"), "0");
  EXPECT_EQ(result(".INSTR{'ABCDE','C',TWO}"), "2");
}

TEST_F(StringFunctions, NumericArgumentFaults) {
  std::string s(300, 'a');
  auto start = [&](const std::string& word) {
    return result(".SUBSTR{'" + s + "'," + word + ",1}");
  };
  const std::string out_of_range = "E" + std::to_string(E_VALUE_OUT_OF_RANGE);
  const std::string illegal = "E" + std::to_string(E_ILLEGAL_OPERAND);
  EXPECT_EQ(start("101H"), out_of_range);
  EXPECT_EQ(start("OVER"), out_of_range);
  EXPECT_EQ(start("0FFFFFFFFH"), out_of_range);  // -1 in 32 bits
  EXPECT_EQ(start("4294967297"), out_of_range);  // would wrap to 1
  EXPECT_EQ(start("1A"), illegal);
  EXPECT_EQ(start("2B"), illegal);
  EXPECT_EQ(start("8O"), illegal);
  EXPECT_EQ(start("1?"), illegal);
  EXPECT_EQ(start("0GH"), illegal);
  EXPECT_EQ(start("mov"), "E" + std::to_string(E_RESERVED_WORD_USED));
  EXPECT_EQ(start("two"), "E" + std::to_string(E_SYMBOL_UNDEFINED));  // case matters
  EXPECT_EQ(start("A?B"), "E" + std::to_string(E_SYMBOL_UNDEFINED));
  EXPECT_EQ(start(""), "E" + std::to_string(E_SYMBOL_UNDEFINED));
  EXPECT_EQ(result(".SUBSTR{'ABC',1,257}"), out_of_range);
  EXPECT_EQ(result(".INSTR{'ABC','A',257}"), out_of_range);
  EXPECT_EQ(result(".INSTR{'ABC','A',1-1}"), illegal);  // one word only
}

TEST_F(StringFunctions, ArgumentSyntaxFaults) {
  const std::string lbrace = "E" + std::to_string(E_LBRACE_MISSING);
  const std::string quote = "E" + std::to_string(E_QUOTE_MISSING);
  const std::string right_quote = "E" + std::to_string(E_RIGHT_QUOTE_MISSING);
  const std::string illegal = "E" + std::to_string(E_ILLEGAL_OPERAND);
  EXPECT_EQ(result(".LEN"), lbrace);
  EXPECT_EQ(result(".LEN ('a')"), lbrace);
  EXPECT_EQ(result(".LEN{'a' "), lbrace);
  EXPECT_EQ(result(".LEN{'a',1}"), lbrace);
  EXPECT_EQ(result(".LEN{}"), quote);
  EXPECT_EQ(result(".LEN{"), quote);
  EXPECT_EQ(result(".LEN{'a\"}"), right_quote);
  EXPECT_EQ(result(".INSTR{'abc','b'"), illegal);
  EXPECT_EQ(result(".INSTR{'abc','b',1 "), lbrace);
  EXPECT_EQ(result(".INSTR{'abc','b',1)"), illegal);
  EXPECT_EQ(result(".INSTR{'abc','b',1,2}"), illegal);
  EXPECT_EQ(result(".SUBSTR{'abc',1,1]"), illegal);
  EXPECT_EQ(result(".SUBSTR 'abc',1,1"), lbrace);
  // The comment is not part of the arguments.
  EXPECT_EQ(result(".LEN{'a' ;}"), lbrace);
}

TEST_F(StringFunctions, OnlyTheFirstOccurrenceOfEachKeywordIsLookedAt) {
  EXPECT_EQ(apply(".LEN{'a'} .LEN{'ab'}"), "1 .LEN{'ab'}");
  // A keyword glued to a name character is no call, and the search ends.
  EXPECT_EQ(apply(".LENGTH .LEN{'ab'}"), ".LENGTH .LEN{'ab'}");
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(apply("X.LEN_ .INSTR{'ab','b',1}"), "X.LEN_ 2");
  // Quotes are not considered: a keyword inside a string is found first.
  EXPECT_EQ(apply(".BYTE '.LEN{\"ab\"}', .LEN{'abc'}"), ".BYTE '2', .LEN{'abc'}");
  // "?" is no name character here, so the keyword is evaluated and fails.
  EXPECT_EQ(apply(".LEN? .LEN{'a'}"), ".LEN? .LEN{'a'}");
  EXPECT_EQ(code(), E_LBRACE_MISSING);
  // Each function sees the line as the one before it left it.
  EXPECT_EQ(apply(".INSTR{'a.LEN{\"xyz\"}b','b',1} .SUBSTR{'.INSTR',1,1}"), "3 \".\"");
  EXPECT_EQ(apply(".SUBSTR{'.LEN{\"x\"}',1,3} .INSTR{'xy','y',1}"), "\"\" 2");
}

TEST_F(StringFunctions, AKeywordIsFoundWhereverItStands) {
  // Every place in lines of every length around the sizes that the search
  // reads at once, with dots before and after that begin other words.
  for (std::size_t before = 0; before <= 33; ++before) {
    for (std::size_t after = 0; after <= 9; ++after) {
      const std::string pad_before = std::string(before, '.').replace(0, before ? 1 : 0, "x");
      const std::string pad_after(after, '.');
      const std::pair<std::string, std::string> calls[] = {
          {".len{'ab'}", "2"}, {".INSTR{'ab','b',1}", "2"}, {".Substr{'ab',2,1}", "\"b\""}};
      for (const auto& [call, want] : calls)
        EXPECT_EQ(apply(pad_before + call + pad_after), pad_before + want + pad_after)
            << call << " after " << before;
    }
  }
  // A keyword at the very end of a line is a call without its braces.
  for (std::size_t before = 0; before <= 33; ++before) {
    apply(std::string(before, 'x') + ".LEN");
    EXPECT_EQ(code(), E_LBRACE_MISSING) << "after " << before;
    apply(std::string(before, 'x') + " .sub");
    EXPECT_EQ(code(), 0);
  }
  // Words that begin like a keyword are looked at and left alone.
  EXPECT_EQ(apply(".INCLUDE .LENGTH .SUBSECT .LE .IN .SU ."), ".INCLUDE .LENGTH .SUBSECT .LE .IN .SU .");
  EXPECT_EQ(code(), 0);
}

TEST_F(StringFunctions, AKeywordUsedAsLabelIsReported) {
  EXPECT_EQ(apply(".LEN: NOP"), ".LEN: NOP");
  EXPECT_EQ(code(), E_RESERVED_WORD_USED);
  EXPECT_EQ(run_.messages.argument, ".LEN");
  EXPECT_EQ(apply(".substr: .LEN{'a'}"), ".substr: 1");
  EXPECT_EQ(code(), E_RESERVED_WORD_USED);
  EXPECT_EQ(run_.messages.argument, ".SUBSTR");
}

TEST_F(StringFunctions, AFaultLeavesTheOtherFunctionsOfTheLineAtWork) {
  // The failed .LEN stays as written; .INSTR and .SUBSTR are still replaced.
  EXPECT_EQ(apply(".LEN{x} .INSTR{'ab','b',1} .SUBSTR{'ab',1,1}"), ".LEN{x} 2 \"a\"");
  EXPECT_EQ(code(), E_QUOTE_MISSING);
  // The last fault of the line is the one reported.
  EXPECT_EQ(apply(".LEN{x} .INSTR{'ab','b',999}"), ".LEN{x} .INSTR{'ab','b',999}");
  EXPECT_EQ(code(), E_VALUE_OUT_OF_RANGE);
}

TEST_F(StringFunctions, LinesNotAssembledAreLeftAlone) {
  run_.conditions.assembling = false;
  EXPECT_EQ(apply(".LEN{'abc'} .LEN:"), ".LEN{'abc'} .LEN:");
  EXPECT_EQ(code(), 0);
}

}  // namespace
