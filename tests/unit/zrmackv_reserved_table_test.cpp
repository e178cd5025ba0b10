// The reserved-word table: its contents, codes, classes and lookups.
#include <gtest/gtest.h>

#include <string>

#include "zrmackv/reserved.h"
#include "zrmackv/run.h"

using namespace zrmackv;

namespace {

struct Loaded {
  Loaded() : run(stdout, nullptr) { load_reserved_words(run); }
  Run run;
};

TEST(ReservedTable, HoldsEveryGroupWithItsCodes) {
  Loaded t;
  // 32 registers, 9 flags, 166 mnemonics, 44 directives, 6 macro
  // directives, 3 string functions, 4 conditional directives, 3 names.
  EXPECT_EQ(t.run.reserved.size(), 267u);
  struct Case {
    const char* word;
    int cls;
    int code;
  } cases[] = {
      {"R0", RC_REGISTER, 1},       {"VCT", RC_REGISTER, 20},   {"DMD0", RC_REGISTER, 21},
      {"DCT0", RC_REGISTER, 23},    {"R1H", RC_REGISTER, 8},    {"SP", RC_REGISTER, 33},
      {"IPL", RC_FLAG, 51},         {"B", RC_FLAG, 55},         {"C", RC_FLAG, 59},
      {"ABS", RC_MNEMONIC, 100},    {"XOR", RC_MNEMONIC, 265},  {"BITINDEX", RC_MNEMONIC, 110},
      {".ASSERT", RC_DIRECTIVE, D_ASSERT},  {".END", RC_DIRECTIVE, 615},
      {".SECTION", RC_DIRECTIVE, D_SECTION}, {"._VAR", RC_DIRECTIVE, 643},
      {".MACRO", RC_MACRO_DIRECTIVE, 700},  {".ENDR", RC_MACRO_DIRECTIVE, 705},
      {".LEN", RC_STRING_FUNCTION, 800},    {".SUBSTR", RC_STRING_FUNCTION, 802},
      {".IF", RC_CONDITIONAL, 850},         {".ENDIF", RC_CONDITIONAL, 853},
      {"..MACPARA", RC_MACRO_TIME, 900},    {"..FILE", RC_MACRO_TIME, 902},
  };
  for (const Case& c : cases) {
    ReservedWord r = reserved_find(t.run, c.word);
    EXPECT_EQ(r.cls, c.cls) << c.word;
    EXPECT_EQ(r.code, c.code) << c.word;
  }
}

TEST(ReservedTable, EveryEntryIsInTheBucketOfItsHash) {
  Loaded t;
  std::size_t total = 0;
  for (unsigned b = 0; b < kHashBuckets; ++b) total += t.run.reserved.bucket_length(b);
  EXPECT_EQ(total, t.run.reserved.size());
  EXPECT_EQ(t.run.reserved.bucket_length(kHashBuckets), 0u);
}

TEST(ReservedTable, CallersUpperCaseTheWord) {
  Loaded t;
  EXPECT_EQ(reserved_find(t.run, "mov").cls, RC_NONE);
  EXPECT_EQ(reserved_find_any_case(t.run, "mov").cls, RC_MNEMONIC);
  EXPECT_EQ(reserved_find_any_case(t.run, "r1h").code, 8);
  EXPECT_EQ(reserved_find_any_case(t.run, ".equ").code, D_EQU);
  EXPECT_EQ(reserved_find_any_case(t.run, "..MacRep").code, MT_MACREP);
}

TEST(ReservedTable, OtherWordsAreNotReserved) {
  Loaded t;
  for (std::string word : {"", "MOVE", "MO", "R4", ".", "..", "._LANGX", "LOOP", "A", "\xC4\xB5"})
    EXPECT_EQ(reserved_find_any_case(t.run, word).cls, RC_NONE) << word;
  std::string long_word(300, 'A');
  EXPECT_EQ(reserved_find(t.run, long_word).cls, RC_NONE);
  EXPECT_EQ(reserved_find_any_case(t.run, long_word).cls, RC_NONE);
  // Word and hash only match as a whole: the same bytes in another order.
  EXPECT_EQ(reserved_find(t.run, "VOM").cls, RC_NONE);
}

TEST(ReservedTable, EmptyBeforeLoadingAndLoadedOnce) {
  zrmackv::Run run(stdout, nullptr);
  EXPECT_EQ(reserved_find(run, "MOV").cls, RC_NONE);
  load_reserved_words(run);
  load_reserved_words(run);
  EXPECT_EQ(run.reserved.size(), 267u);
  EXPECT_EQ(mnemonic_code("SHL"), reserved_find(run, "SHL").code);
  EXPECT_EQ(mnemonic_code("R0"), 0);
}

}  // namespace

namespace {

std::string lower(std::string_view word) {
  std::string s(word);
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

void expect_same_answer(const Run& run, const std::string& word) {
  ReservedWord fast = reserved_find(run, word);
  ReservedWord chain = run.reserved.chain_find(word);
  EXPECT_EQ(fast.cls, chain.cls) << word;
  EXPECT_EQ(fast.code, chain.code) << word;
  ReservedWord any = reserved_find_any_case(run, lower(word));
  std::string upper(word);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  ReservedWord chain_upper = run.reserved.chain_find(upper);
  EXPECT_EQ(any.code, chain_upper.code) << word;
  EXPECT_EQ(any.cls, chain_upper.cls) << word;
}

}  // namespace

TEST(ReservedTable, IndexAgreesWithTheChainsOnEveryWordAndItsNeighbours) {
  Loaded t;
  const ReservedTable& table = t.run.reserved;
  for (std::size_t i = 0; i < table.size(); ++i) {
    std::string word(table.word(i));
    ASSERT_NE(table.chain_find(word).cls, RC_NONE) << word;
    expect_same_answer(t.run, word);
    // One byte off, one byte short, one byte more: words the index must not
    // take for this one.
    for (std::size_t k = 0; k < word.size(); ++k) {
      std::string changed = word;
      changed[k] = static_cast<char>(changed[k] + 1);
      expect_same_answer(t.run, changed);
    }
    expect_same_answer(t.run, word.substr(0, word.size() - 1));
    expect_same_answer(t.run, word + "0");
    expect_same_answer(t.run, word + std::string(1, '\0'));
  }
}

// Only the bytes of the word itself count, whatever follows it in the line,
// and a word of any length is found in any mix of cases.
TEST(ReservedTable, AnyCaseLookupReadsOnlyTheWord) {
  Loaded t;
  const std::string line = "r0l nopx ..macparaX .endmX";
  const std::string_view v(line);
  EXPECT_EQ(reserved_find_any_case(t.run, v.substr(0, 2)).code, 1);  // R0, not R0L
  EXPECT_EQ(reserved_find_any_case(t.run, v.substr(0, 3)).code, 5);  // R0L
  EXPECT_EQ(reserved_find_any_case(t.run, v.substr(4, 3)).cls, RC_MNEMONIC);
  EXPECT_EQ(reserved_find_any_case(t.run, v.substr(4, 4)).cls, RC_NONE);
  EXPECT_EQ(reserved_find_any_case(t.run, v.substr(9, 9)).code, MT_MACPARA);
  EXPECT_EQ(reserved_find_any_case(t.run, v.substr(9, 10)).cls, RC_NONE);
  EXPECT_EQ(reserved_find_any_case(t.run, v.substr(20, 5)).cls, RC_MACRO_DIRECTIVE);
  EXPECT_EQ(reserved_find_any_case(t.run, v.substr(20, 6)).cls, RC_NONE);
  EXPECT_EQ(reserved_find_any_case(t.run, "InTb").code, 15);
  EXPECT_EQ(reserved_find_any_case(t.run, "..mAcPaRa").code, MT_MACPARA);
}
