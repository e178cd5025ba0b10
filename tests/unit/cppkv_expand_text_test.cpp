// Expansion of whole texts that never reads further lines (expressions,
// #error text) and of one identifier in a directive operand, called
// directly as the expression evaluator and the directive engine call them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cppkv/macros.h"
#include "cppkv/run.h"

namespace cppkv {
namespace {

class ExpandTextTest : public testing::Test {
 protected:
  ExpandTextTest() : err_(open_memstream(&err_text_, &err_size_)), in_(std::tmpfile()), run_(in_, in_, err_, nullptr) {
    create_macro_table(run_);
  }
  ~ExpandTextTest() override {
    std::fclose(err_);
    std::fclose(in_);
    std::free(err_text_);
  }
  void define(const std::string& operand) { define_directive(run_, operand + "\n"); }
  std::string messages() {
    std::fflush(err_);
    return std::string(err_text_, err_size_);
  }

  char* err_text_ = nullptr;
  std::size_t err_size_ = 0;
  std::FILE* err_;
  std::FILE* in_;
  cppkv::Run run_;
};

TEST_F(ExpandTextTest, NoBlankAfterExpansionsAndLineFeedsKept) {
  define("ONE 1");
  define("F(a,b) a-b");
  std::string out;
  EXPECT_TRUE(expand_text(run_, "ONE+F(ONE,2)ONE\n\n", out));
  EXPECT_EQ(out, "1+1-21\n\n");
  EXPECT_EQ(messages(), "");
}

TEST_F(ExpandTextTest, NameWithoutListAtTheEndIsAnError) {
  define("F(a) a");
  std::string out;
  EXPECT_FALSE(expand_text(run_, "1 + F", out));
  EXPECT_EQ(out, "1 + F");
  EXPECT_FALSE(expand_text(run_, "F\n", out));
  EXPECT_FALSE(expand_text(run_, "F(1\n)", out));  // the list never goes on to another line
  EXPECT_EQ(messages(),
            "[Error(cppkv.27)] macro argument error\n"
            "[Error(cppkv.27)] macro argument error\n"
            "[Error(cppkv.27)] macro argument error\n");
  // Not followed by a list but by other text: no call and no error.
  EXPECT_TRUE(expand_text(run_, "F + 1", out));
  EXPECT_EQ(out, "F + 1");
}

TEST_F(ExpandTextTest, OutputMayBeReusedAndTheTableStaysUsable) {
  define("X X+1");
  std::string out = "old text";
  EXPECT_TRUE(expand_text(run_, "X", out));
  EXPECT_EQ(out, "X+1");
  // The being-expanded mark is gone once the expansion has ended.
  EXPECT_TRUE(expand_text(run_, "X X", out));
  EXPECT_EQ(out, "X+1 X+1");
}

TEST_F(ExpandTextTest, IdentifierInPlaceTakesItsListFromTheRest) {
  define("NAME(n) #n");
  define("N 50");
  std::string text = "NAME(a.h) rest\n";
  expand_identifier_in_place(run_, text, 0);
  EXPECT_EQ(text, "\"a.h\" rest\n");
  text = "100 N N\n";
  expand_identifier_in_place(run_, text, 4);  // only the identifier at the position
  EXPECT_EQ(text, "100 50 N\n");
  text = "100 other N\n";
  expand_identifier_in_place(run_, text, 4);
  EXPECT_EQ(text, "100 other N\n");
  EXPECT_EQ(messages(), "");
}

TEST_F(ExpandTextTest, UndefAndRedefinitionChangeWhatExpands) {
  define("V 1");
  std::string out;
  undefine_macro(run_, "V");
  EXPECT_FALSE(is_defined(run_, "V"));
  EXPECT_TRUE(expand_text(run_, "V", out));
  EXPECT_EQ(out, "V");
  define("V(x) <x>");
  EXPECT_TRUE(expand_text(run_, "V(2)", out));
  EXPECT_EQ(out, "<2>");
  define("V 3");  // another body: replaced, with a warning
  EXPECT_TRUE(expand_text(run_, "V(2)", out));
  EXPECT_EQ(out, "3(2)");
  EXPECT_EQ(messages(), "[Warning(cppkv.85):, line 0] redefined 'V'\n");
}

}  // namespace
}  // namespace cppkv
