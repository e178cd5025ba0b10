// The token splitter, the comment split and the statement scanner.
#include <gtest/gtest.h>

#include <random>

#include <string>
#include <vector>

#include "zrmackv/reserved.h"
#include "zrmackv/run.h"
#include "zrmackv/statement.h"

using namespace zrmackv;

namespace {

// Splits the whole text; each token as "class:text".
std::vector<std::string> split_all(std::string_view text) {
  std::vector<std::string> out;
  for (int guard = 0; guard < 1000; ++guard) {
    Token t = token_split(text);
    if (t.text.empty()) break;
    out.push_back(std::to_string(t.cls) + ":" + std::string(t.text));
  }
  EXPECT_TRUE(text.empty());
  return out;
}

const std::string N = std::to_string(TK_NAME) + ":";
const std::string NC = std::to_string(TK_NAME_COLON) + ":";
const std::string NUM = std::to_string(TK_NUMBER) + ":";
const std::string O = std::to_string(TK_OTHER) + ":";

TEST(TokenSplit, Numbers) {
  using V = std::vector<std::string>;
  EXPECT_EQ(split_all("12"), V{NUM + "12"});
  EXPECT_EQ(split_all("  10B+1"), (V{NUM + "10B", O + "+", NUM + "1"}));
  EXPECT_EQ(split_all("17o,3h"), (V{NUM + "17o", O + ",", NUM + "3h"}));
  // A digit run glued to anything but an operator or a blank is no number.
  EXPECT_EQ(split_all("0FFH"), V{O + "0FFH"});
  EXPECT_EQ(split_all("10BH"), V{O + "10BH"});
  EXPECT_EQ(split_all("1x_2$ y"), (V{O + "1x_2$", N + "y"}));
  EXPECT_EQ(split_all("10)"), (V{O + "10", O + ")"}));
  EXPECT_EQ(split_all("12.W"), (V{O + "12", N + ".W"}));
}

TEST(TokenSplit, NamesAndLabels) {
  using V = std::vector<std::string>;
  EXPECT_EQ(split_all("LOOP:MOV.W\tR0,R1"),
            (V{NC + "LOOP:", N + "MOV", N + ".W", N + "R0", O + ",", N + "R1"}));
  EXPECT_EQ(split_all("..MACPARA ._LANG $a_1: _"),
            (V{N + "..MACPARA", N + "._LANG", NC + "$a_1:", N + "_"}));
  // "." and ".." not followed by a name character stand alone.
  EXPECT_EQ(split_all(". .. ...X .5"),
            (V{O + ".", O + "..", O + "..", N + ".X", O + ".", NUM + "5"}));
  EXPECT_EQ(split_all("A?B"), (V{N + "A", O + "?", N + "B"}));
  EXPECT_EQ(split_all("X :"), (V{N + "X", O + ":"}));
}

TEST(TokenSplit, AnyBytesAndTheEmptyText) {
  std::string_view empty = "   \t ";
  Token t = token_split(empty);
  EXPECT_EQ(t.cls, TK_OTHER);
  EXPECT_TRUE(t.text.empty());
  EXPECT_TRUE(empty.empty());
  std::string bytes;
  for (int c = 1; c < 256; ++c) bytes.push_back(static_cast<char>(c));
  std::string_view cursor = bytes;
  std::size_t consumed = 0;
  while (!cursor.empty()) {
    std::size_t before = cursor.size();
    token_split(cursor);
    ASSERT_LT(cursor.size(), before);
    consumed += before - cursor.size();
  }
  EXPECT_EQ(consumed, bytes.size());
  std::string high = "\xA4\xA2:";
  EXPECT_EQ(split_all(high), (std::vector<std::string>{O + "\xA4", O + "\xA2", O + ":"}));
}

// The comment split one byte at a time, for comparison.
std::size_t comment_start_bytewise(std::string_view line) {
  char quote = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      while (i > 0 && is_blank(line[i - 1])) --i;
      return i;
    }
  }
  return line.size();
}

TEST(CommentSplit, EverySpecialByteIsSeenWhereverItStands) {
  // Each special byte at every offset of a long line, so that it falls at
  // each place of the eight-byte groups, beside bytes above 0x7F.
  for (char special : {';', '\'', '"', '\\'}) {
    for (std::size_t at = 0; at < 40; ++at) {
      std::string line(40, 'a');
      line[(at * 7) % 40] = '\xE9';
      line[at] = special;
      line += " ; tail";
      EXPECT_EQ(comment_start(line), comment_start_bytewise(line)) << line;
    }
  }
  std::mt19937 random(3);
  const char alphabet[] = {'a', ' ', '\t', ';', '\'', '"', '\\', '\xBB', '\xBC'};
  for (int round = 0; round < 2000; ++round) {
    std::string line;
    std::size_t n = random() % 48;
    for (std::size_t i = 0; i < n; ++i) line.push_back(alphabet[random() % sizeof alphabet]);
    ASSERT_EQ(comment_start(line), comment_start_bytewise(line)) << line;
  }
}

TEST(CommentSplit, TheLastBytesOfEveryLengthAreSeenOnce) {
  // The bytes after the last whole group are read again as the end of an
  // overlapping group, and a line of 8 to 15 bytes as its first and last
  // eight: a quote in an overlap must count once, not twice. Lengths up to
  // three groups of sixteen.
  for (std::size_t n = 0; n <= 48; ++n) {
    for (std::size_t at = 0; at < n; ++at) {
      for (char special : {';', '\'', '"'}) {
        std::string line(n, 'a');
        line[at] = special;
        EXPECT_EQ(comment_start(line), comment_start_bytewise(line)) << line;
        if (at + 1 < n) {
          line[n - 1] = ';';  // behind an opening quote, or after a comment
          EXPECT_EQ(comment_start(line), comment_start_bytewise(line)) << line;
        }
      }
    }
  }
}

TEST(CommentSplit, QuotedPartsHideTheSemicolon) {
  EXPECT_EQ(comment_start("NOP ; x"), 3u);
  EXPECT_EQ(comment_start("NOP\t \t;"), 3u);
  EXPECT_EQ(comment_start(".BYTE ';' ; x"), 9u);
  EXPECT_EQ(comment_start(".BYTE \";'\";x"), 10u);
  // A backslash escapes nothing: the quoted part ends at the next quote.
  EXPECT_EQ(comment_start("X .DEFINE 'it\\'s;' ;c"), 16u);
  EXPECT_EQ(comment_start(".ASSERT 'C:\\work\\' ; folder"), 18u);
  EXPECT_EQ(comment_start(".BYTE 'open;"), 12u);
  EXPECT_EQ(comment_start(";"), 0u);
  EXPECT_EQ(comment_start("  ;"), 0u);
  EXPECT_EQ(comment_start("trailing\\"), 9u);
}

class Scan : public ::testing::Test {
 protected:
  Scan() : run(stdout, nullptr) { load_reserved_words(run); }
  int scan(const std::string& line) {
    run.messages.code = 0;
    make_statement(run.line.stmt, line);
    return stmt_scan(run);
  }
  const Statement& st() const { return run.line.stmt; }
  zrmackv::Run run;
};

TEST_F(Scan, MakesStatementTextAndComment) {
  scan("\t LAB:  NOP   ; note ");
  EXPECT_EQ(st().text, "LAB:  NOP");
  EXPECT_EQ(st().comment, "   ; note ");
}

TEST_F(Scan, LabelsWithAndWithoutColon) {
  EXPECT_EQ(scan("LOOP: MOV.W R0,R1"), RC_MNEMONIC);
  EXPECT_EQ(st().label_form, LABEL_COLON);
  EXPECT_EQ(st().label, "LOOP");
  EXPECT_EQ(st().operation, "MOV");
  EXPECT_EQ(st().operand, ".W R0,R1");

  EXPECT_EQ(scan("LOOP mov.w R0,R1"), RC_MNEMONIC);
  EXPECT_EQ(st().label_form, LABEL_NAME);
  EXPECT_EQ(st().operation, "mov");

  EXPECT_EQ(scan("X .equ 5"), RC_DIRECTIVE);
  EXPECT_EQ(st().op_code, D_EQU);
  EXPECT_EQ(st().label, "X");
  EXPECT_EQ(st().operand, " 5");

  EXPECT_EQ(scan("LAB: FOO 1"), RC_NONE);
  EXPECT_EQ(st().label_form, LABEL_COLON);
  EXPECT_EQ(scan("LAB: R0"), RC_NONE);
  EXPECT_EQ(scan("LAB:"), RC_NONE);
  EXPECT_EQ(st().label, "LAB");
  EXPECT_EQ(run.messages.code, 0);
}

TEST_F(Scan, MnemonicWithFormatLetter) {
  for (const char* letter : {"G", "g", "Q", "q", "S", "s", "Z", "z"}) {
    EXPECT_EQ(scan(std::string("MOV:") + letter + " #1,R0"), RC_MNEMONIC) << letter;
    EXPECT_EQ(st().label_form, LABEL_NONE);
    EXPECT_EQ(st().operation, "MOV");
    EXPECT_EQ(st().operand, " #1,R0");
  }
  // Other letters, and a name that is no mnemonic, make a label.
  EXPECT_EQ(scan("MOV:W #1,R0"), RC_NONE);
  EXPECT_EQ(st().label_form, LABEL_COLON);
  EXPECT_EQ(scan("MOV: NOP"), RC_MNEMONIC);
  EXPECT_EQ(st().label, "MOV");
  EXPECT_EQ(st().operation, "NOP");
  EXPECT_EQ(scan("R0:G"), RC_NONE);
  EXPECT_EQ(st().label_form, LABEL_COLON);
}

TEST_F(Scan, KeywordsFirstHaveNoLabel) {
  EXPECT_EQ(scan(".END"), RC_DIRECTIVE);
  EXPECT_EQ(st().label_form, LABEL_NONE);
  EXPECT_EQ(scan(".LIST ON ,x"), RC_DIRECTIVE);
  EXPECT_EQ(st().operand, " ON ,x");
  EXPECT_EQ(scan(".macro A"), RC_MACRO_DIRECTIVE);
  EXPECT_EQ(scan(".INSTR X"), RC_STRING_FUNCTION);
  EXPECT_EQ(scan(".ELSE"), RC_CONDITIONAL);
  EXPECT_EQ(scan("R0"), RC_NONE);
  EXPECT_EQ(scan("..FILE"), RC_NONE);
  EXPECT_EQ(scan("# 1"), RC_NONE);
  EXPECT_EQ(scan("12 NOP"), RC_NONE);
  EXPECT_EQ(run.messages.code, 0);
}

TEST_F(Scan, ReservedWordsInTheNameField) {
  // A defining directive after a reserved word or number: always refused.
  for (const char* line : {"MOV .EQU 1", "R0 .EQU 1", "r0 .equ 1", "C .DEFINE X", "5 .BTEQU 1",
                           "..MACREP .EQU 1", "IPL .BTEQU 1"}) {
    scan(line);
    EXPECT_EQ(run.messages.code, E_RESERVED_WORD_USED) << line;
  }
  // The others only while lines are assembled.
  for (const char* line : {"NOP .MACRO", "SP .IF 1", "R1 .LEN", "NOP .INCLUDE a", "NOP .ASSERT",
                           "NOP .list on", "NOP .ENDR"}) {
    scan(line);
    EXPECT_EQ(run.messages.code, E_RESERVED_WORD_USED) << line;
    run.conditions.assembling = false;
    scan(line);
    EXPECT_EQ(run.messages.code, 0) << line;
    run.conditions.assembling = true;
  }
  run.conditions.assembling = false;
  scan("R0 .EQU 1");
  EXPECT_EQ(run.messages.code, E_RESERVED_WORD_USED);
  run.conditions.assembling = true;
  // Directives outside those lists are no definition of the first word.
  for (const char* line : {"NOP .BYTE 1", "R0 .GLB X", "NOP .END", "NOP NOP"}) {
    scan(line);
    EXPECT_EQ(run.messages.code, 0) << line;
  }
  EXPECT_EQ(scan("NOP .EQU 1"), RC_MNEMONIC);
  EXPECT_EQ(st().operand, " .EQU 1");
  EXPECT_EQ(run.messages.argument, "NOP");
}

TEST_F(Scan, LabelSetEntersLabelsAndRefusesReservedWords) {
  label_set(run, "Loop");
  const Symbol* s = run.symbols.find("Loop");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->kind, S_LABEL);
  EXPECT_EQ(run.symbols.find("LOOP"), nullptr);
  Symbol& v = run.symbols.create("V", S_EQU);
  v.value = 7;
  label_set(run, "V");
  EXPECT_EQ(v.kind, S_LABEL);
  EXPECT_EQ(v.value, 0);
  label_set(run, "V");  // twice is no error
  EXPECT_EQ(run.messages.code, 0);
  std::size_t before = run.symbols.size();
  for (const char* word : {"r1h", "C", "SP", "nop", ".end", "..file"}) {
    run.messages.code = 0;
    label_set(run, word);
    EXPECT_EQ(run.messages.code, E_RESERVED_WORD_USED) << word;
    EXPECT_EQ(run.messages.argument, word);
  }
  EXPECT_EQ(run.symbols.size(), before);
}

}  // namespace
