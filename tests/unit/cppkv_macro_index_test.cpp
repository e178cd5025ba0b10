// The name index against a plain set: every name added is found with its
// own entry, erased names are gone, and the names sharing a probe run with
// an erased one stay reachable, through growth and wrap-around.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cppkv/macro_index.h"

namespace cppkv {
namespace {

void expect_same(const MacroIndex& index, const std::map<std::string, std::string>& model,
                 const std::vector<std::string>& all) {
  ASSERT_EQ(index.size(), model.size());
  for (const std::string& name : all) {
    const MacroSlot* slot = index.find(name);
    const auto it = model.find(name);
    if (it == model.end()) {
      ASSERT_EQ(slot, nullptr) << name;
    } else {
      ASSERT_NE(slot, nullptr) << name;
      ASSERT_EQ(slot->name, name);
      ASSERT_EQ(slot->entry.body, it->second) << name;
    }
  }
}

TEST(CppkvMacroIndex, AddFindsTheSameEntryAgain) {
  MacroIndex index;
  auto [a, added_a] = index.find_or_add("ADD");
  ASSERT_TRUE(added_a);
  a->entry.body = "x";
  auto [again, added_again] = index.find_or_add("ADD");
  EXPECT_FALSE(added_again);
  EXPECT_EQ(again, a);
  EXPECT_EQ(index.find("ADD")->entry.body, "x");
  EXPECT_EQ(index.find("AD"), nullptr);
  EXPECT_EQ(index.find("ADDX"), nullptr);
  EXPECT_EQ(index.find(""), nullptr);
  EXPECT_EQ(index.size(), 1u);
}

TEST(CppkvMacroIndex, EntriesStayPutWhileTheIndexGrows) {
  MacroIndex index;
  MacroSlot* first = index.find_or_add("FIRST").first;
  for (int i = 0; i < 5000; ++i) index.find_or_add("N" + std::to_string(i));
  EXPECT_EQ(index.find("FIRST"), first);
  EXPECT_EQ(index.size(), 5001u);
}

TEST(CppkvMacroIndex, EraseKeepsEveryOtherNameReachable) {
  std::mt19937 rng(11);
  std::vector<std::string> all;
  for (int i = 0; i < 3000; ++i) all.push_back("M" + std::to_string(i * 7919 % 10007));
  MacroIndex index;
  std::map<std::string, std::string> model;
  for (const std::string& name : all) {
    index.find_or_add(name).first->entry.body = name + "_body";
    model[name] = name + "_body";
  }
  expect_same(index, model, all);
  // Erase in a shuffled order, checking everything at a few points, then
  // add some back: a moved cell left in the wrong place is lost then.
  std::vector<std::string> order = all;
  std::shuffle(order.begin(), order.end(), rng);
  for (std::size_t k = 0; k < order.size() / 2; ++k) {
    index.erase(index.find(order[k]));
    model.erase(order[k]);
    if (k % 500 == 0) expect_same(index, model, all);
  }
  expect_same(index, model, all);
  for (std::size_t k = 0; k < order.size() / 4; ++k) {
    auto [slot, added] = index.find_or_add(order[k]);
    ASSERT_TRUE(added);
    slot->entry.body = "again";
    model[order[k]] = "again";
  }
  expect_same(index, model, all);
}

TEST(CppkvMacroIndex, ErasingEverythingLeavesAnEmptyIndex) {
  MacroIndex index;
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i) names.push_back("n" + std::to_string(i));
  for (const auto& n : names) index.find_or_add(n);
  for (const auto& n : names) index.erase(index.find(n));
  EXPECT_EQ(index.size(), 0u);
  for (const auto& n : names) EXPECT_EQ(index.find(n), nullptr);
}

// Names whose probe runs wrap from the last cell of the first array to the
// first cells: erasing one must move the later ones back across the wrap.
TEST(CppkvMacroIndex, NamesDifferingInOneByteAtAnyLengthStayApart) {
  // Names are hashed and compared a word at a time, with the word width
  // chosen by length: every length from 1 to 24 (each side of 4, 8 and 16),
  // a change of one byte at every position, and prefixes of each other.
  MacroIndex index;
  std::map<std::string, std::string> model;
  std::vector<std::string> all;
  for (std::size_t length = 1; length <= 24; ++length) {
    const std::string base(length, 'a');
    for (std::size_t at = 0; at <= length; ++at) {
      std::string name = base;
      if (at < length) name[at] = 'b';
      all.push_back(name);
    }
  }
  for (const std::string& name : all) {
    auto [slot, added] = index.find_or_add(name);
    ASSERT_EQ(added, model.count(name) == 0) << name;
    slot->entry.body = name;
    model[name] = name;
  }
  all.push_back(std::string());
  all.push_back(std::string(25, 'a'));
  expect_same(index, model, all);
}

TEST(CppkvMacroIndex, EraseAcrossTheWrapOfTheCellArray) {
  constexpr std::uint64_t kLastCell = 255;  // the first array has 256 cells
  std::vector<std::string> at_end, at_start;
  for (int i = 0; at_end.size() < 4 || at_start.size() < 3; ++i) {
    const std::string name = "w" + std::to_string(i);
    const std::uint64_t home = hash_name(name) & kLastCell;
    if (home == kLastCell && at_end.size() < 4) at_end.push_back(name);
    if (home == 0 && at_start.size() < 3) at_start.push_back(name);
  }
  // Interleaved, so that cells at home in the first cells sit among cells
  // that wrapped there from the last one.
  std::vector<std::string> all = {at_start[0], at_end[0], at_end[1], at_start[1],
                                  at_end[2], at_start[2], at_end[3]};
  for (int order = 0; order < 2; ++order) {
    for (std::size_t victim = 0; victim < all.size(); ++victim) {
      MacroIndex index;
      std::map<std::string, std::string> model;
      for (const auto& n : all) {
        index.find_or_add(n).first->entry.body = n;
        model[n] = n;
      }
      index.erase(index.find(all[victim]));
      model.erase(all[victim]);
      expect_same(index, model, all);
    }
    std::reverse(all.begin(), all.end());
  }
}

}  // namespace
}  // namespace cppkv
