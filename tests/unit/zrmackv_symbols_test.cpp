#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "zrmackv/run.h"
#include "zrmackv/symbols.h"

namespace zrmackv {
namespace {

class Symbols : public ::testing::Test {
 protected:
  Symbols() : file_(std::tmpfile()), run_(file_, nullptr) {}
  ~Symbols() override { std::fclose(file_); }

  std::string message() const {
    const Messages& m = run_.messages;
    return m.code ? message_text(m.code, m.cls, m.argument) : "";
  }

  std::FILE* file_;
  zrmackv::Run run_;
};

// Outcome of one cell: the entry afterwards and the message raised.
struct Cell {
  int kind;
  std::int32_t value;
  const char* text;
  const char* message;  // "" for none
};

constexpr const char* kInvalid = "Invalid symbol definition\n";
constexpr const char* kMultiple = "Symbol is multiple defined\n";
constexpr const char* kBitExist = "Invalid bit-symbol exist\n";
constexpr const char* kAnother = "Symbol has already defined as another type\n";

TEST_F(Symbols, ConflictTable) {
  // Existing entries: kind, value, text as they are made.
  struct Existing {
    int kind;
    std::int32_t value;
    const char* text;
  };
  const Existing existing[] = {
      {S_MACRO, 77, ""}, {S_EQU, 5, ""},     {S_LABEL, 0, ""},         {S_GLOBAL, 0, ""},
      {S_BTEQU, 0, ""},  {S_BGLOBAL, 0, ""}, {S_DEFINE, 0, "old text"},
  };
  const int new_kinds[] = {S_EQU, S_GLOBAL, S_BTEQU, S_BGLOBAL, S_DEFINE};
  // Each new kind is set with the value 9 and the text "new text".
  const Cell M_77 = {S_MACRO, 77, "", ""};
  const Cell E_5 = {S_EQU, 5, "", ""};
  const Cell L = {S_LABEL, 0, "", ""};
  const Cell G = {S_GLOBAL, 0, "", ""};
  const Cell BT = {S_BTEQU, 0, "", ""};
  const Cell BG = {S_BGLOBAL, 0, "", ""};
  const Cell D_OLD = {S_DEFINE, 0, "old text", ""};
  auto fails = [](Cell c, const char* msg) { return Cell{c.kind, c.value, c.text, msg}; };
  const Cell E_9 = {S_EQU, 9, "", ""};
  const Cell D_NEW = {S_DEFINE, 0, "new text", ""};
  const Cell table[7][5] = {
      /* macro  */ {M_77, fails(M_77, kInvalid), M_77, fails(M_77, kInvalid), fails(M_77, kInvalid)},
      /* equ    */ {E_9, E_5, fails(E_5, kBitExist), fails(E_5, kBitExist), fails(E_5, kMultiple)},
      /* label  */ {L, L, L, L, L},
      /* global */ {E_9, G, fails(G, kBitExist), fails(G, kBitExist), fails(G, kMultiple)},
      /* btequ  */ {fails(BT, kAnother), fails(BT, kAnother), BT, BT, fails(BT, kMultiple)},
      /* bglobal*/ {BG, fails(BG, kInvalid), BG, fails(BG, kInvalid), fails(BG, kInvalid)},
      /* define */ {fails(D_OLD, kMultiple), fails(D_OLD, kMultiple), fails(D_OLD, kMultiple),
                    fails(D_OLD, kMultiple), D_NEW},
  };
  int n = 0;
  for (int row = 0; row < 7; ++row) {
    for (int col = 0; col < 5; ++col) {
      std::string name = "sym" + std::to_string(n++);
      run_.messages.code = 0;
      symbol_set(run_, name, existing[row].kind, existing[row].value, existing[row].text);
      ASSERT_EQ(run_.messages.code, 0);
      bool stored = symbol_set(run_, name, new_kinds[col], 9, "new text");
      const Cell& want = table[row][col];
      const Symbol* e = run_.symbols.find(name);
      ASSERT_NE(e, nullptr);
      SCOPED_TRACE("existing " + std::to_string(existing[row].kind) + ", new " +
                   std::to_string(new_kinds[col]));
      EXPECT_EQ(e->kind, want.kind);
      EXPECT_EQ(e->value, want.value);
      EXPECT_EQ(e->text, want.text);
      EXPECT_EQ(message(), want.message);
      EXPECT_EQ(stored, *want.message == '\0');
    }
  }
  EXPECT_EQ(run_.symbols.size(), 35u);
}

TEST_F(Symbols, NewEntriesAndLookup) {
  EXPECT_EQ(symbol_lookup(run_, "abc").kind, S_NOT_FOUND);
  EXPECT_TRUE(symbol_set(run_, "abc", S_EQU, -5));
  EXPECT_TRUE(symbol_set(run_, "ABC", S_GLOBAL, 7));
  EXPECT_TRUE(symbol_set(run_, "bt", S_BTEQU, 7));
  EXPECT_TRUE(symbol_set(run_, "bg", S_BGLOBAL, 7));
  EXPECT_TRUE(symbol_set(run_, "d", S_DEFINE, 7, "R0"));
  // Only an S_EQU keeps the value it is given; names are case-sensitive.
  EXPECT_EQ(symbol_lookup(run_, "abc").kind, S_EQU);
  EXPECT_EQ(symbol_lookup(run_, "abc").value, -5);
  EXPECT_EQ(symbol_lookup(run_, "ABC").kind, S_GLOBAL);
  EXPECT_EQ(symbol_lookup(run_, "ABC").value, 0);
  EXPECT_EQ(symbol_lookup(run_, "bt").value, 0);
  EXPECT_EQ(symbol_lookup(run_, "bg").value, 0);
  EXPECT_EQ(run_.symbols.find("d")->text, "R0");
  EXPECT_EQ(symbol_lookup(run_, "Abc").kind, S_NOT_FOUND);

  // .GLB X then X .EQU 5: an S_EQU of 5; X .EQU 5 then .GLB X: stays 5.
  symbol_set(run_, "X", S_GLOBAL, 0);
  symbol_set(run_, "X", S_EQU, 5);
  EXPECT_EQ(symbol_lookup(run_, "X").kind, S_EQU);
  EXPECT_EQ(symbol_lookup(run_, "X").value, 5);
  symbol_set(run_, "X", S_GLOBAL, 0);
  EXPECT_EQ(symbol_lookup(run_, "X").value, 5);
  EXPECT_EQ(run_.messages.code, 0);
}

TEST_F(Symbols, ChainsKeepEveryNameOfABucket) {
  // Many names share each of the 251 buckets; all stay reachable.
  for (int i = 0; i < 2000; ++i) symbol_set(run_, "n" + std::to_string(i), S_EQU, i);
  for (int i = 0; i < 2000; ++i) {
    SymbolResult r = symbol_lookup(run_, "n" + std::to_string(i));
    ASSERT_EQ(r.kind, S_EQU);
    ASSERT_EQ(r.value, i);
  }
  EXPECT_EQ(run_.symbols.size(), 2000u);
}

// The table on its own: many names, long names, places and texts.
std::string numbered(int i) { return "lab" + std::to_string(i); }

TEST(SymbolTableStore, EveryNameStaysFoundAcrossIndexAndBlockGrowth) {
  SymbolTable table;
  // The counts around each doubling of the index (at half of 1024, 2048 ...)
  // and each block of 1024 entries are all passed on the way.
  const int total = 5000;
  for (int i = 0; i < total; ++i) {
    ASSERT_EQ(table.find(numbered(i)), nullptr) << i;
    Symbol& e = table.create(numbered(i), S_EQU);
    e.value = i;
    ASSERT_EQ(table.size(), static_cast<std::size_t>(i + 1));
    // The first and the newest entry are both there after every step.
    ASSERT_NE(table.find(numbered(0)), nullptr) << i;
    ASSERT_EQ(table.find(numbered(i)), &e) << i;
  }
  for (int i = 0; i < total; ++i) {
    const Symbol* e = table.find(numbered(i));
    ASSERT_NE(e, nullptr) << i;
    EXPECT_EQ(e->name, numbered(i));
    EXPECT_EQ(e->value, i);
  }
  EXPECT_EQ(table.find("lab5000"), nullptr);
  EXPECT_EQ(table.find("Lab1"), nullptr);  // names are case-sensitive
  EXPECT_EQ(table.find(""), nullptr);
}

TEST(SymbolTableStore, LongNamesKeepTheirBytesAcrossNameBlocks) {
  SymbolTable table;
  // 255-byte names that differ only in their last bytes fill several blocks
  // of name bytes; each keeps its own copy.
  std::vector<std::string> names;
  for (int i = 0; i < 700; ++i) {
    std::string name(255, 'N');
    std::string tag = std::to_string(i);
    name.replace(name.size() - tag.size(), tag.size(), tag);
    names.push_back(name);
    table.create(names.back(), S_LABEL);
  }
  for (const std::string& name : names) {
    const Symbol* e = table.find(name);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->name, name);
    EXPECT_NE(e->name.data(), name.data());
  }
  // The same bytes one shorter or longer are other names.
  EXPECT_EQ(table.find(std::string_view(names[5]).substr(0, 254)), nullptr);
  EXPECT_EQ(table.find(names[5] + "x"), nullptr);
}

TEST(SymbolTableStore, APlaceFromAnOlderStateIsFoundAgain) {
  SymbolTable table;
  SymbolPlace place;
  ASSERT_EQ(table.find("late", place), nullptr);
  // Other names go in (and the index grows) between lookup and creation.
  for (int i = 0; i < 3000; ++i) table.create(numbered(i), S_EQU).value = i;
  Symbol& late = table.create("late", S_LABEL, place);
  EXPECT_EQ(table.find("late"), &late);
  for (int i = 0; i < 3000; ++i) {
    const Symbol* e = table.find(numbered(i));
    ASSERT_NE(e, nullptr) << i;
    ASSERT_EQ(e->value, i);
  }
  EXPECT_EQ(table.size(), 3001u);
}

TEST(SymbolTableStore, ANameCreatedTwiceIsFoundAsTheFirst) {
  SymbolTable table;
  Symbol& first = table.create("twice", S_EQU);
  Symbol& second = table.create("twice", S_LABEL);
  EXPECT_NE(&first, &second);
  EXPECT_EQ(table.find("twice"), &first);
  EXPECT_EQ(first.next, &second);  // same bucket, in order of creation
  EXPECT_EQ(table.size(), 2u);
}

TEST_F(Symbols, DefineTextsAreKeptPerNameAndReplacedWhole) {
  const std::string long_text(200, 'x');
  for (int i = 0; i < 50; ++i)
    ASSERT_TRUE(symbol_set(run_, "d" + std::to_string(i), S_DEFINE, 0, "t" + std::to_string(i)));
  ASSERT_TRUE(symbol_set(run_, "d7", S_DEFINE, 0, long_text));
  EXPECT_EQ(run_.symbols.find("d7")->text, long_text);
  ASSERT_TRUE(symbol_set(run_, "d7", S_DEFINE, 0, "R0"));
  EXPECT_EQ(run_.symbols.find("d7")->text, "R0");
  for (int i = 0; i < 50; ++i)
    if (i != 7) {
      EXPECT_EQ(run_.symbols.find("d" + std::to_string(i))->text, "t" + std::to_string(i));
    }
  // The caller's buffer may change afterwards: the table has its own copy.
  std::string source = "ADD";
  ASSERT_TRUE(symbol_set(run_, "op", S_DEFINE, 0, source));
  source = "SUB";
  EXPECT_EQ(run_.symbols.find("op")->text, "ADD");
  // An S_EQU taking over no text keeps none, and a later text is its own.
  run_.symbols.clear_text(*run_.symbols.find("d3"));
  EXPECT_TRUE(run_.symbols.find("d3")->text.empty());
  ASSERT_TRUE(symbol_set(run_, "d3", S_DEFINE, 0, "again"));
  EXPECT_EQ(run_.symbols.find("d3")->text, "again");
  EXPECT_EQ(run_.symbols.find("d4")->text, "t4");
}

}  // namespace
}  // namespace zrmackv
