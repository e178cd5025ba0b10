// The buffered line read against a byte-at-a-time reading of the same
// rules, on inputs built to hit every way a line can stop: a line feed, the
// length limit, NUL bytes before, at and after the limit, and the end of the
// file with or without a line feed.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "host/line_reader.h"

namespace {

// The rules one byte at a time.
bool reference_read(std::FILE* file, std::string& line, std::size_t max, bool& nul_line_end) {
  line.clear();
  nul_line_end = false;
  bool read_any = false;
  bool ended_at_nul = false;
  while (line.size() < max) {
    int c = std::getc(file);
    if (c == EOF) break;
    read_any = true;
    if (c == 0) ended_at_nul = true;
    if (c == '\n') {
      if (ended_at_nul)
        nul_line_end = true;
      else
        line.push_back('\n');
      break;
    }
    if (!ended_at_nul) line.push_back(static_cast<char>(c));
    if (ended_at_nul && line.size() + 1 >= max) break;
  }
  return read_any;
}

struct Read {
  bool got;
  std::string line;
  bool nul_line_end;
  bool operator==(const Read&) const = default;
};

std::FILE* file_with(const std::string& bytes) {
  std::FILE* f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  return f;
}

template <typename ReadFn>
std::vector<Read> read_all(const std::string& bytes, std::size_t max, ReadFn read) {
  std::FILE* f = file_with(bytes);
  std::vector<Read> out;
  for (;;) {
    Read r;
    r.got = read(f, r.line, max, r.nul_line_end);
    out.push_back(r);
    if (!r.got) break;
  }
  std::fclose(f);
  return out;
}

void expect_same(const std::string& bytes, std::size_t max) {
  auto expected = read_all(bytes, max, reference_read);
  auto actual = read_all(bytes, max, host::read_line);
  ASSERT_EQ(actual.size(), expected.size()) << "max " << max;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].got, expected[i].got) << "line " << i << " max " << max;
    EXPECT_EQ(actual[i].line, expected[i].line) << "line " << i << " max " << max;
    EXPECT_EQ(actual[i].nul_line_end, expected[i].nul_line_end) << "line " << i << " max " << max;
  }
}

TEST(HostReadLine, PlainLinesKeepTheirLineFeeds) {
  auto reads = read_all("one\n\ntwo\r\nlast", 256, host::read_line);
  ASSERT_EQ(reads.size(), 5u);
  EXPECT_EQ(reads[0].line, "one\n");
  EXPECT_EQ(reads[1].line, "\n");
  EXPECT_EQ(reads[2].line, "two\r\n");
  EXPECT_EQ(reads[3].line, "last");
  EXPECT_FALSE(reads[4].got);
}

TEST(HostReadLine, LengthLimitFromBothSides) {
  const std::size_t max = 8;
  // Seven bytes and the line feed fill the limit exactly.
  auto at = read_all("1234567\nx\n", max, host::read_line);
  EXPECT_EQ(at[0].line, "1234567\n");
  EXPECT_EQ(at[1].line, "x\n");
  // One more: the line feed is left for the next read.
  auto over = read_all("12345678\nx\n", max, host::read_line);
  EXPECT_EQ(over[0].line, "12345678");
  EXPECT_EQ(over[1].line, "\n");
  EXPECT_EQ(over[2].line, "x\n");
}

TEST(HostReadLine, NulEndsTheTextAndEatsTheRestOfItsLine) {
  auto reads = read_all(std::string("ab\0cd\nnext\n", 11), 256, host::read_line);
  ASSERT_GE(reads.size(), 2u);
  EXPECT_EQ(reads[0].line, "ab");
  EXPECT_TRUE(reads[0].nul_line_end);
  EXPECT_EQ(reads[1].line, "next\n");
  // A NUL as the last byte the line may take stops the read right there.
  auto last = read_all(std::string("1234567\0z\n", 10), 8, host::read_line);
  EXPECT_EQ(last[0].line, "1234567");
  EXPECT_FALSE(last[0].nul_line_end);
  EXPECT_EQ(last[1].line, "z\n");
}

TEST(HostReadLine, AgreesWithByteAtATimeReadingAroundTheLimit) {
  // Every placement of a NUL and a line feed in lines around the limit.
  for (std::size_t max : {1u, 2u, 3u, 4u, 7u}) {
    for (std::size_t len = 0; len <= max + 2; ++len) {
      for (std::size_t nul = 0; nul <= len; ++nul) {
        std::string line(len, 'a');
        if (nul < len) line[nul] = '\0';
        expect_same(line + "\nrest\n", max);
        expect_same(line, max);
        expect_same(line + std::string(max + 3, 'b') + "\nrest", max);
      }
    }
  }
}

TEST(HostReadLine, AgreesWithByteAtATimeReadingOnRandomBytes) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', 'b', '\n', '\0', '\r', ';'};
  for (int round = 0; round < 300; ++round) {
    std::string bytes;
    std::size_t n = random() % 200;
    for (std::size_t i = 0; i < n; ++i) bytes.push_back(alphabet[random() % sizeof alphabet]);
    for (std::size_t max : {1u, 5u, 16u, 256u}) expect_same(bytes, max);
  }
}

TEST(HostReadLine, AgreesWithByteAtATimeReadingAcrossTheStreamsBuffer) {
  // Far more than one buffer of the stream: lines end exactly at, just
  // before and just after the buffer's ends, with a NUL now and then.
  std::mt19937 random(11);
  std::string bytes;
  while (bytes.size() < 100000) {
    std::size_t n = random() % 300;
    bytes.append(n, 'x');
    if (random() % 20 == 0) bytes.push_back('\0');
    bytes.push_back('\n');
  }
  for (std::size_t max : {256u, 4096u, 16382u}) expect_same(bytes, max);
}

}  // namespace
