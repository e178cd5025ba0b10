// Conditional assembly: which lines a chain of .IF/.ELIF/.ELSE/.ENDIF lets
// through, the condition forms of cnd_operand, and what reaches the line
// writer under the list option.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "zrmackv/conditions.h"
#include "zrmackv/line_engine.h"
#include "zrmackv/line_writer.h"
#include "zrmackv/run.h"
#include "zrmackv/zrmackv.h"

namespace fs = std::filesystem;
using namespace zrmackv;
using Lines = std::vector<std::string>;

namespace {

// Whole runs over a source; the lines the writer gets are the assembled ones.
class CondRun : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("zrmackv_cond_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    out_ = std::tmpfile();
  }
  void TearDown() override {
    std::fclose(out_);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }

  Lines run(const std::string& source, std::vector<std::string> args = {}) {
    std::ofstream("prog.arq", std::ios::binary) << source;
    args.push_back("prog");
    CapturingLineWriter writer;
    std::rewind(out_);
    exit_code_ = run_zrmackv(args, {}, out_, &writer);
    return writer.lines;
  }

  fs::path old_, dir_;
  std::FILE* out_ = nullptr;
  int exit_code_ = -1;
};

TEST_F(CondRun, OneBranchOfAChainIsAssembled) {
  EXPECT_EQ(run(".IF 0\nin_if\n.ELIF 1\nin_elif\n.ELSE\nin_else\n.ENDIF\nafter\n"),
            (Lines{"in_elif", "after"}));
  EXPECT_EQ(run(".IF 1\nin_if\n.ELIF 1\nin_elif\n.ENDIF\n"), Lines{"in_if"});
  EXPECT_EQ(run(".IF 0\na\n.ELIF 0\nb\n.ELIF 2\nc\n.ELIF 1\nd\n.ELSE\ne\n.ENDIF\n"), Lines{"c"});
  EXPECT_EQ(run(".IF 0\na\n.ELIF 0\nb\n.ELSE\nc\n.ENDIF\n"), Lines{"c"});
  EXPECT_EQ(run(".IF 1\na\n.ELSE\nb\n.ENDIF\n.if 0\nc\n.else\nd\n.endif\n"), (Lines{"a", "d"}));
  EXPECT_EQ(exit_code_, 0);
}

TEST_F(CondRun, NestedBlocks) {
  // Inside a region not assembled the inner directives are only counted.
  EXPECT_EQ(run(".IF 0\n.IF 1\na\n.ELSE\nb\n.ENDIF\n.ELSE\nc\n.ENDIF\nd\n"), (Lines{"c", "d"}));
  EXPECT_EQ(run(".IF 1\n.IF 0\na\n.ELIF 1\nb\n.ENDIF\nc\n.ELSE\n.IF 1\nd\n.ENDIF\n.ENDIF\ne\n"),
            (Lines{"b", "c", "e"}));
  // An .ELIF inside a counted .IF does not touch the outer chain.
  EXPECT_EQ(run(".IF 0\n.IF 0\n.ELIF 1\na\n.ENDIF\n.ELIF 1\nb\n.ENDIF\n"), Lines{"b"});
  // Counting goes deeper than any limit of open blocks.
  std::string source = ".IF 0\n";
  for (int i = 0; i < 70000; ++i) source += ".IF 1\n";
  for (int i = 0; i < 70000; ++i) source += ".ENDIF\n";
  source += "a\n.ELSE\nb\n.ENDIF\nc\n";
  EXPECT_EQ(run(source), (Lines{"b", "c"}));
  EXPECT_EQ(exit_code_, 0);
}

TEST_F(CondRun, FailedConditionsOpenNothing) {
  // The inner .IF fails, so the first .ENDIF closes the outer block.
  EXPECT_EQ(run(".IF 1\n.IF R0\na\n.ENDIF\nb\n.ENDIF\nc\n"), (Lines{"a", "b", "c"}));
  EXPECT_EQ(exit_code_, 3);
  // A failed .ELIF leaves the taken .IF branch current; the .ELSE is then
  // not taken.
  EXPECT_EQ(run(".IF 1\na\n.ELIF X = 1\nb\n.ELSE\nc\n.ENDIF\nd\n"), (Lines{"a", "b", "d"}));
  // ... and a branch not taken stays not taken.
  EXPECT_EQ(run(".IF 0\na\n.ELIF\nb\n.ELSE\nc\n.ENDIF\n"), Lines{"c"});
  // Misplaced directives change nothing.
  EXPECT_EQ(run(".IF 1\na\n.ELSE\nb\n.ELSE\nc\n.ELIF 1\nd\n.ENDIF\ne\n.ENDIF\n.ELSE\n"),
            (Lines{"a", "e"}));
  // A name field refuses the directive, also in a region not assembled,
  // where the refused .IF is not counted either.
  EXPECT_EQ(run("LAB: .IF 0\na\nX .ENDIF\n.IF 0\nLAB: .IF 1\n.ENDIF\nb\n"), (Lines{"a", "b"}));
}

TEST_F(CondRun, OpenBlocksAtTheEnd) {
  // Reported once, at .END or at the end of the source.
  EXPECT_EQ(run(".IF 1\n.IF 0\n.ENDIF\n.END\n"), Lines{"\t._error\t1,0"});
  EXPECT_EQ(exit_code_, 3);
  EXPECT_EQ(run(".IF 0\n.END\n"), Lines{});
  EXPECT_EQ(exit_code_, 3);
  EXPECT_EQ(run(".IF 1\n.ENDIF\n.END\n"), Lines{"\t._error\t0,0"});
  EXPECT_EQ(exit_code_, 0);
}

TEST_F(CondRun, ListingGetsTheDirectivesHandledWithoutError) {
  Lines got = run(
      ".IF 0\n"
      "skipped\n"
      " .IF 1\n"     // counted
      " .ELSE\n"     // ignored while counting
      " .ENDIF\n"    // counted
      ".ELSE\n"
      "LAB: .ENDIF\n"
      ".IF R0\n"
      ".IF 2 ; comment\n"
      ".ENDIF\n"
      ".ENDIF\n",
      {"-l"});
  EXPECT_EQ(got, (Lines{".IF 0", "skipped", " .IF 1", " .ENDIF", ".ELSE", ".IF 2 ; comment",
                        ".ENDIF", ".ENDIF"}));
  // Without the option none of them.
  EXPECT_EQ(run(".IF 1\na\n.ELSE\nb\n.ENDIF\n"), Lines{"a"});
}

// Conditions evaluated directly.
class CondOperand : public ::testing::Test {
 protected:
  CondOperand() : run(stdout, nullptr) { load_reserved_words(run); }
  // The verdict; code receives the message raised, 0 for none.
  int eval(const std::string& text, int& code) {
    run.messages.code = 0;
    run.figure.division_by_zero = false;
    int result = cnd_operand(run, text);
    code = run.messages.code;
    run.messages.code = 0;
    return result;
  }
  zrmackv::Run run;
};

struct OperandCase {
  const char* text;
  int result;
  int code;
};

TEST_F(CondOperand, Forms) {
  symbol_set(run, "SIXTEEN", S_EQU, 16);
  symbol_set(run, "LBL", S_LABEL, 0);
  const OperandCase cases[] = {
      {"0", COND_FALSE, 0},
      {"  7", COND_TRUE, 0},
      {"SIXTEEN == 10H", COND_TRUE, 0},
      {"SIXTEEN-16", COND_FALSE, 0},
      {"-1 < 1", COND_TRUE, 0},
      {"4294967295 == -1", COND_TRUE, 0},
      {"80000000H < 7FFFFFFFH", COND_TRUE, 0},
      {"2 <= 1", COND_FALSE, 0},
      {"2 >= 2", COND_TRUE, 0},
      {"1 > 2", COND_FALSE, 0},
      {"1 != 1", COND_FALSE, 0},
      {"1 < 2 < 0", COND_TRUE, 0},
      {"UNDEF == 0", COND_TRUE, 0},
      {"1 == UNDEF+1", COND_TRUE, 0},
      {"UNDEF", COND_FALSE, 0},
      {"(1+2)*3 == 9", COND_TRUE, 0},
      // Strings: unsigned bytes, case matters; anything after the right
      // string is not looked at.
      {"'ABC' == 'ABC'", COND_TRUE, 0},
      {"'abc' == 'ABC'", COND_FALSE, 0},
      {"'B' > 'A'", COND_TRUE, 0},
      {"'ab' < 'abc'", COND_TRUE, 0},
      {"'\xE0' > 'a'", COND_TRUE, 0},
      {"\"it's\" == 'it\\'s'", COND_TRUE, 0},
      {"''", COND_TRUE, 0},
      {"'0'", COND_TRUE, 0},
      {"'A' != 'B' junk", COND_TRUE, 0},
      // Failures.
      {"", COND_FAILED, E_OPERAND_NOT_ENOUGH},
      {" \t ", COND_FAILED, E_OPERAND_NOT_ENOUGH},
      {"R0 == 1", COND_FAILED, E_RESERVED_WORD_USED},
      {"1 == r1h", COND_FAILED, E_RESERVED_WORD_USED},
      {"'A' == 1", COND_FAILED, E_ILLEGAL_OPERAND},
      {"'A' 'B'", COND_FAILED, E_ILLEGAL_OPERAND},
      {"'A' ==", COND_FAILED, E_ILLEGAL_OPERAND},
      {"'A' +", COND_FAILED, E_ILLEGAL_OPERAND},
      {"'sizeof'", COND_FAILED, E_NOT_CONSTANT},
      {"X = 1", COND_FAILED, E_NOT_CONSTANT},
      {"LBL", COND_FAILED, E_NOT_CONSTANT},
      {"1 == 'A'", COND_FAILED, E_ILLEGAL_OPERAND},
      {"1 == LBL", COND_FAILED, E_ILLEGAL_OPERAND},
      {"1 ==", COND_FAILED, E_ILLEGAL_OPERAND},
      {"1 == \t", COND_FAILED, E_ILLEGAL_OPERAND},
      {"== 1", COND_FAILED, E_OPERAND_NOT_ENOUGH},
      {"1 <> 2", COND_FAILED, E_OPERAND_NOT_ENOUGH},
      {"1/0 == 0", COND_FAILED, E_DIVISION_BY_ZERO},
      {"0 == 1%0", COND_FAILED, E_DIVISION_BY_ZERO},
      {"1 == (2", COND_FAILED, E_RPAREN_MISSING},
      {"1 2", COND_FAILED, E_EXPRESSION_SYNTAX},
      {"1 @", COND_FAILED, E_EXPRESSION_SYNTAX},
      {"99999999999", COND_FAILED, E_VALUE_OUT_OF_RANGE},
  };
  for (const OperandCase& c : cases) {
    int code = -1;
    EXPECT_EQ(eval(c.text, code), c.result) << c.text;
    EXPECT_EQ(code, c.code) << c.text;
  }
}

// Directives handed straight to line_process.
class CondDirect : public ::testing::Test {
 protected:
  CondDirect() : run(stdout, nullptr) { load_reserved_words(run); }
  int process(const std::string& line) {
    run.messages.code = 0;
    run.source.line = line;
    line_process(run);
    return run.messages.code;
  }
  zrmackv::Run run;
};

TEST_F(CondDirect, NestingLimit) {
  for (std::uint32_t i = 0; i < kMaxIfNesting; ++i) ASSERT_EQ(process(".IF 1"), 0);
  EXPECT_EQ(run.conditions.if_nesting, kMaxIfNesting);
  // The refused .IF is not evaluated: its condition's error does not show.
  EXPECT_EQ(process(".IF R0"), E_TOO_MANY_CONDITION_NESTING);
  EXPECT_EQ(run.conditions.if_nesting, kMaxIfNesting);
  EXPECT_EQ(process(".ELSE"), 0);
  EXPECT_FALSE(run.conditions.assembling);
  for (std::uint32_t i = 0; i < kMaxIfNesting; ++i) ASSERT_EQ(process(".ENDIF"), 0);
  EXPECT_EQ(process(".ENDIF"), E_IF_MISSING_FOR_ENDIF);
  EXPECT_TRUE(run.conditions.assembling);
  EXPECT_EQ(run.conditions.blocks.size(), 1u);
}

TEST_F(CondDirect, ALongChainKeepsOneRecordPerLevel) {
  process(".IF 1");
  process(".IF 0");
  for (int i = 0; i < 1000; ++i) process(".ELIF 0");
  process(".ELSE");
  EXPECT_TRUE(run.conditions.assembling);
  EXPECT_EQ(run.conditions.blocks.size(), 2u);
  process(".ENDIF");
  EXPECT_EQ(run.conditions.blocks.size(), 1u);
  EXPECT_EQ(run.conditions.if_nesting, 1u);
  process(".ENDIF");
  EXPECT_EQ(run.conditions.blocks.front().block_type, BLOCK_NONE);
  EXPECT_TRUE(run.conditions.blocks.front().else_pending);
  EXPECT_EQ(run.conditions.if_nesting, 0u);
}

TEST_F(CondDirect, SkipCountingBackToLive) {
  process(".IF 0");
  process(".IF 1");
  process(".IF 1");
  EXPECT_FALSE(run.conditions.cond_live);
  EXPECT_EQ(run.conditions.skip_depth, 2u);
  EXPECT_EQ(process(".ELIF"), 0);  // not looked at while counting
  process(".ENDIF");
  process(".ENDIF");
  EXPECT_TRUE(run.conditions.cond_live);
  EXPECT_EQ(run.conditions.if_nesting, 1u);
  process(".ELSE");
  EXPECT_TRUE(run.conditions.assembling);
}

}  // namespace
