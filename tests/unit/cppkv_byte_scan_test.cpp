// The block-wise skipper must stop exactly where a byte-by-byte look at
// its table stops, for every shape of table and every position of the
// first byte that needs treatment.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "cppkv/byte_scan.h"

namespace cppkv {
namespace {

using Table = std::array<unsigned char, 256>;

Table plain_except(std::initializer_list<int> stops, int range_lo = -1, int range_hi = -1,
                   bool high_half = false) {
  Table t;
  t.fill(1);
  for (int b : stops) t[static_cast<std::size_t>(b)] = 0;
  for (int b = range_lo; range_lo >= 0 && b <= range_hi; ++b) t[static_cast<std::size_t>(b)] = 0;
  for (int b = 0x80; high_half && b < 256; ++b) t[static_cast<std::size_t>(b)] = 0;
  return t;
}

const unsigned char* slow_skip(const Table& t, const unsigned char* p, const unsigned char* end) {
  while (p < end && t[*p]) ++p;
  return p;
}

// Every byte value at every offset of a run of plain bytes, from every
// start, compared with the byte-by-byte answer.
void check_skipper_against_table(const ByteRunSkipper& skipper, const Table& t) {
  int plain_byte = 0;
  while (plain_byte < 256 && !t[static_cast<std::size_t>(plain_byte)]) ++plain_byte;
  ASSERT_LT(plain_byte, 256);
  std::vector<unsigned char> buf(48, static_cast<unsigned char>(plain_byte));
  for (int b = 0; b < 256; ++b) {
    for (std::size_t at = 0; at < buf.size(); ++at) {
      buf.assign(buf.size(), static_cast<unsigned char>(plain_byte));
      buf[at] = static_cast<unsigned char>(b);
      for (std::size_t from : {std::size_t{0}, std::size_t{3}, std::size_t{17}}) {
        const unsigned char* p = buf.data() + from;
        const unsigned char* end = buf.data() + buf.size();
        ASSERT_EQ(skipper.skip(p, end) - buf.data(), slow_skip(t, p, end) - buf.data())
            << "byte " << b << " at " << at << " from " << from;
      }
    }
  }
}

// Both ways of testing a block: the nibble lookups (taken on processors
// that have them, for tables whose high half is uniform) and the compares.
void check_against_table(const Table& t) {
  for (const bool allow_nibbles : {true, false}) {
    SCOPED_TRACE(allow_nibbles ? "nibble lookups where possible" : "byte compares");
    check_skipper_against_table(ByteRunSkipper(t.data(), allow_nibbles), t);
  }
}

TEST(CppkvByteScan, SingleBytesStopExactly) {
  check_against_table(plain_except({'\n', '\r', 0x1A, '"', '\'', '/', '?', '\\'}));
}

TEST(CppkvByteScan, NibbleLookupsDoNotMixTheNibblesOfDifferentStops) {
  // 0x12 and 0x34 stop; 0x14 and 0x32 share a nibble with each and must not.
  check_against_table(plain_except({0x12, 0x34, 0x7F, 0x00}));
}

TEST(CppkvByteScan, HighHalfStopsOnEveryHighByte) {
  check_against_table(plain_except({'\n', '?'}, -1, -1, true));
}

TEST(CppkvByteScan, RangesStopAtBothEndsAndNotPastThem) {
  // A range at the bottom, one in the middle and one reaching 0xFF: each
  // bound is off by one if the shift or the signed bound is wrong.
  check_against_table(plain_except({}, 0x00, 0x08));
  check_against_table(plain_except({'*'}, 'A', 'Z'));
  check_against_table(plain_except({}, 0xF0, 0xFF));
  check_against_table(plain_except({}, 0x01, 0xFE));
}

TEST(CppkvByteScan, SurplusSinglesBecomeRangesAndSurplusRangesFallBack) {
  // A ninth single byte is compared as a range of one; a third range is
  // more than the block compares hold, so that table is looked up byte by
  // byte.
  check_against_table(plain_except({1, 3, 5, 7, 9, 11, 13, 15, 17}));
  Table three_ranges = plain_except({}, 'a', 'c');
  for (int b = 'k'; b <= 'm'; ++b) three_ranges[static_cast<std::size_t>(b)] = 0;
  for (int b = 'x'; b <= 'z'; ++b) three_ranges[static_cast<std::size_t>(b)] = 0;
  check_against_table(three_ranges);
}

TEST(CppkvByteScan, NothingToStopAtRunsToTheEnd) {
  Table t;
  t.fill(1);
  const ByteRunSkipper skipper(t.data());
  std::vector<unsigned char> buf(100);
  for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<unsigned char>(i * 7);
  EXPECT_EQ(skipper.skip(buf.data(), buf.data() + buf.size()), buf.data() + buf.size());
  EXPECT_EQ(skipper.skip(buf.data(), buf.data()), buf.data());
}

TEST(CppkvByteScan, RandomTextAgreesWithTheTable) {
  const Table t = plain_except({'\n', '"', '/'}, '0', '9', true);
  std::mt19937 rng(7);
  std::vector<unsigned char> buf(4096);
  for (auto& b : buf) b = static_cast<unsigned char>(rng() % 64 == 0 ? rng() : 'a' + rng() % 20);
  const unsigned char* end = buf.data() + buf.size();
  for (const bool allow_nibbles : {true, false}) {
    const ByteRunSkipper skipper(t.data(), allow_nibbles);
    for (const unsigned char* p = buf.data(); p < end; ++p) ASSERT_EQ(skipper.skip(p, end), slow_skip(t, p, end));
  }
}

}  // namespace
}  // namespace cppkv
