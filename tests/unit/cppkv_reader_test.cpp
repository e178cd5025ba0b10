// The input reader of cppkv: character layers, logical lines, positions,
// cleaning and limits.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cppkv/reader.h"
#include "cppkv/report.h"
#include "cppkv/run.h"

namespace cppkv {
namespace {

// Reads a whole input given as bytes through the level-0 (standard input)
// entry, collecting each raw line, its cleaned form, its reported line
// number and every message.
struct Harness {
  explicit Harness(const std::string& data, KanjiCode code = KanjiCode::SJIS)
      : bytes(data),
        in(fmemopen(bytes.empty() ? nullptr : bytes.data(), bytes.size(), "rb")),
        err(open_memstream(&err_text, &err_size)),
        out(open_memstream(&out_text, &out_size)),
        run(in ? in : std::tmpfile(), out, err, nullptr) {
    run.settings.kanji_code = code;
  }
  ~Harness() {
    std::fclose(run.in);
    std::fclose(err);
    std::fclose(out);
    std::free(err_text);
    std::free(out_text);
  }

  // Returns the exit code of a fatal stop, or 0.
  int read_all(bool clean = true, std::size_t capacity = kLineBufferSize) {
    try {
      if (open_source(run, "") != OpenResult::Ok) return -1;
      LineBuffer line(capacity);
      while (read_logical_line(run, line)) {
        raw.emplace_back(line.view());
        if (clean) clean_line(run, line);
        lines.emplace_back(line.view());
        numbers.push_back(current_line(run));
      }
      check_end_of_file_state(run);
    } catch (const FatalStop& stop) {
      return stop.exit_code;
    }
    return 0;
  }

  std::string messages() {
    std::fflush(err);
    return std::string(err_text, err_size);
  }

  std::string bytes;
  std::FILE* in;
  char* err_text = nullptr;
  std::size_t err_size = 0;
  std::FILE* err;
  char* out_text = nullptr;
  std::size_t out_size = 0;
  std::FILE* out;
  Run run;
  std::vector<std::string> raw;
  std::vector<std::string> lines;
  std::vector<std::uint32_t> numbers;
};

using Lines = std::vector<std::string>;
using Numbers = std::vector<std::uint32_t>;

TEST(CppkvReader, LastLineWithoutLineFeedGetsOne) {
  Harness h("a\nb");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"a\n", "b\n"}));
  EXPECT_EQ(h.numbers, (Numbers{1, 2}));
}

TEST(CppkvReader, EmptyFileYieldsNoLine) {
  Harness h("");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_TRUE(h.lines.empty());
}

TEST(CppkvReader, SpliceJoinsLinesAndAddsLineFeeds) {
  Harness h("a\\\nb\nc\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"ab\n\n", "c\n"}));
  EXPECT_EQ(h.numbers, (Numbers{2, 3}));
}

TEST(CppkvReader, BlockCommentOverThreeLines) {
  Harness h("x /* one\ntwo\nthree */ y\nz\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"x   y\n\n\n", "z\n"}));
  EXPECT_EQ(h.numbers, (Numbers{3, 4}));
}

TEST(CppkvReader, CommentOpenerNeedsItsOwnStar) {
  Harness h("a /*/ b */ c\n/**/d\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"a   c\n", " d\n"}));
}

TEST(CppkvReader, LineCommentAndItsContinuation) {
  Harness h("a // x \\\n still comment\nb // end");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"a  \n\n", "b  \n"}));
  EXPECT_EQ(h.numbers, (Numbers{2, 3}));
}

TEST(CppkvReader, LineCommentBackslashBeforeBackslashNewline) {
  Harness h("// a \\\\\nb\nc\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{" \n\n", "c\n"}));
}

TEST(CppkvReader, Trigraphs) {
  Harness h("?\?=define X ?\?( ?\?/?\?/ ?\?) ?\?' ?\?< ?\?! ?\?> ?\?-\n");
  EXPECT_EQ(h.read_all(false), 0);
  EXPECT_EQ(h.raw, (Lines{"#define X [ \\\\ ] ^ { | } ~\n"}));
}

TEST(CppkvReader, TrigraphLookAheadIsDeliveredAsRead) {
  Harness h("??\?=\n??x\n?\n??");
  EXPECT_EQ(h.read_all(false), 0);
  EXPECT_EQ(h.raw, (Lines{"??\?=\n", "??x\n", "?\n", "??\n"}));
}

TEST(CppkvReader, TrigraphBackslashSplices) {
  Harness h("a?\?/\nb\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"ab\n\n"}));
}

TEST(CppkvReader, CarriageReturns) {
  Harness crlf("a\r\nb \\\r\nc\r\n");
  Harness lf("a\nb \\\nc\n");
  EXPECT_EQ(crlf.read_all(), 0);
  EXPECT_EQ(lf.read_all(), 0);
  EXPECT_EQ(crlf.lines, lf.lines);
  EXPECT_EQ(crlf.numbers, lf.numbers);
  Harness lone("a\rb\nc\r\r\nd\r");
  EXPECT_EQ(lone.read_all(), 0);
  EXPECT_EQ(lone.lines, (Lines{"a\rb\n", "c\r\n", "d\r\n"}));
}

TEST(CppkvReader, EndOfFileMarkDroppedOutsideLiterals) {
  Harness h("a\x1a" "b '\x1a'\n\x1a");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"ab '\x1a'\n"}));
}

TEST(CppkvReader, ShiftJisPairsBecomeEuc) {
  // 0x95 0x5C: the trail byte is a backslash; it neither escapes the
  // closing quote nor joins lines.
  Harness h("\"\x95\x5c\"\n\x88\xa0 \xe0\x40 \x81\x9f\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"\"\xc9\xbd\"\n", "\xb0\xa2 \xdf\xa1 \xa2\xa1\n"}));
  EXPECT_EQ(h.messages(), "");
}

TEST(CppkvReader, UserDefinedLeadsStayAboveAscii) {
  // 0xF5 0x9F would give a first byte of 0x10A; held at 0xFF it can never
  // become a line feed that splits the line. 0xF0 0xFC gives 0xFF itself.
  Harness h("\"\xf5\x9f\xfc\x40\xf0\xfc\"\nx\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"\"\xff\xa1\xff\xa1\xff\xfe\"\n", "x\n"}));
  EXPECT_EQ(h.numbers, (Numbers{1, 2}));
}

TEST(CppkvReader, KatakanaGetsSingleShift) {
  Harness h("\xb1\xa0\xdf\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"\x8e\xb1\x8e\xa0\x8e\xdf\n"}));
}

TEST(CppkvReader, EucPassesUnchanged) {
  Harness h("\"\x95\x5c\"\n\xb1\n", KanjiCode::EUC);
  EXPECT_EQ(h.read_all(false), 0);
  // In EUC mode 0x5C is a backslash: it escapes the quote, and the literal
  // runs to the line feed.
  EXPECT_EQ(h.raw, (Lines{"\"\x95\x5c\"\n", "\xb1\n"}));
}

TEST(CppkvReader, LeadByteWithoutTrailIsDeliveredAlone) {
  Harness h("a\x81\nb\x81\x81\x40\xe0" "1\n\x9f");
  EXPECT_EQ(h.read_all(), 0);
  // 0x81 before a line feed; 0x81 0x81 is not a pair start twice: the first
  // 0x81 takes 0x81 as trail; 0xE0 before '1' is alone.
  EXPECT_EQ(h.lines, (Lines{"a\x81\n", "b\xa1\xe1\x40\xe0" "1\n", "\x9f\n"}));
  EXPECT_EQ(h.numbers, (Numbers{1, 2, 3}));
}

TEST(CppkvReader, LeadByteBeforeCrLf) {
  Harness h("a\x81\r\nb\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"a\x81\n", "b\n"}));
}

TEST(CppkvReader, ArbitraryBytesNeverCrash) {
  std::string data;
  for (int i = 0; i < 4096; ++i) data.push_back(static_cast<char>((i * 7919 + i / 3) & 0xFF));
  data += std::string("\0\xff\r\x81", 4);
  for (KanjiCode code : {KanjiCode::SJIS, KanjiCode::EUC}) {
    Harness h(data, code);
    int rc = h.read_all();
    EXPECT_TRUE(rc == 0 || rc == 3) << rc;
  }
}

TEST(CppkvReader, NulBytesAreCharacters) {
  Harness h(std::string("a\0b\n", 4));
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{std::string("a\0b\n", 4)}));
}

TEST(CppkvReader, LiteralsKeepCommentsAndSplices) {
  Harness h("\"/* x */\" '//' \"a\\\nb\" \"q\\\"r\"\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"\"/* x */\" '//' \"ab\" \"q\\\"r\"\n\n"}));
  EXPECT_EQ(h.numbers, (Numbers{2}));
}

TEST(CppkvReader, UnclosedLiteralReportsNewLineInString) {
  Harness h("x 'a\ny\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"x 'a\n", "y\n"}));
  EXPECT_EQ(h.messages(), "[Error(cppkv.33)] new_line in string\n");
  EXPECT_TRUE(h.run.error_flag);
  EXPECT_EQ(h.run.reader.state, 0u);
}

TEST(CppkvReader, UnpairedQuoteInAsmBlock) {
  Harness h("x 'a\n");
  h.run.asm_block = true;
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.messages(), "");
  Harness checked("x 'a\n");
  checked.run.asm_block = true;
  checked.run.settings.check_single_quote_asm = true;
  EXPECT_EQ(checked.read_all(), 0);
  EXPECT_EQ(checked.messages(), "[Error(cppkv.33)] new_line in string\n");
}

TEST(CppkvReader, StringLiteralLimit) {
  Harness ok("\"" + std::string(509, 'x') + "\"\n");
  EXPECT_EQ(ok.read_all(), 0);
  EXPECT_EQ(ok.messages(), "");
  // 510 characters: fatal, reported on the literal's own physical line.
  Harness over("a\\\nb\n\\\n\"" + std::string(510, 'x') + "\"\n");
  EXPECT_EQ(over.read_all(), 3);
  EXPECT_EQ(over.messages(), "[Error(cppkv.34)] string literal out of range 509 character\n");
}

TEST(CppkvReader, StringLiteralLimitPositionWithName) {
  Harness h("");
  std::string dir = testing::TempDir();
  std::string path = dir + "cppkv_reader_lit.c";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  std::string text = "one\ntwo \\\nthree \\\n\"" + std::string(600, 'y') + "\"\n";
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
  h.run.settings.input_name = path;
  ASSERT_EQ(open_source(h.run, path), OpenResult::Ok);
  LineBuffer line(kLineBufferSize);
  int code = 0;
  try {
    while (read_logical_line(h.run, line)) clean_line(h.run, line);
  } catch (const FatalStop& stop) {
    code = stop.exit_code;
  }
  EXPECT_EQ(code, 3);
  EXPECT_EQ(h.messages(), "[Error(cppkv.34):" + path +
                              ", line 4] string literal out of range 509 character\n");
  std::remove(path.c_str());
}

TEST(CppkvReader, NestedCommentWarningAtItsPhysicalLine) {
  Harness h("a\n/* x\n\n /* y */ b\n");
  h.run.settings.warn_nested_comment = true;
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.lines, (Lines{"a\n", "  b\n\n\n"}));
  EXPECT_EQ(h.numbers, (Numbers{1, 4}));
  EXPECT_EQ(h.messages(), "[Warning(cppkv.87)] /* within comment\n");
  EXPECT_TRUE(h.run.warning_flag);
}

TEST(CppkvReader, EofInCommentWhileReadingIsFatal) {
  Harness h("a\n/* never closed\n");
  EXPECT_EQ(h.read_all(), 3);
  EXPECT_EQ(h.messages(), "[Error(cppkv.29)] EOF in comment\n");
}

TEST(CppkvReader, CommentStateCarriedAcrossLines) {
  // "/" splice "*" is not a comment for the reader; cleaning opens one and
  // carries it to the next line.
  Harness h("/\\\n* c\nstill */ x\n");
  EXPECT_EQ(h.read_all(), 0);
  EXPECT_EQ(h.raw, (Lines{"/* c\n\n", "still */ x\n"}));
  EXPECT_EQ(h.lines, (Lines{"\n\n", "  x\n"}));
  EXPECT_EQ(h.messages(), "");
}

TEST(CppkvReader, EndOfFileStateChecks) {
  Harness block("/\\\n* c\n");
  EXPECT_EQ(block.read_all(), 0);
  EXPECT_EQ(block.messages(), "[Error(cppkv.29)] EOF in comment\n");
  Harness line_comment("/\\\n/ c");
  EXPECT_EQ(line_comment.read_all(), 0);
  EXPECT_EQ(line_comment.lines, (Lines{" \n\n"}));
  EXPECT_EQ(line_comment.messages(), "");
}

TEST(CppkvReader, CleanedLineLimit) {
  Harness ok(std::string(16381, 'x') + "\n");
  EXPECT_EQ(ok.read_all(), 0);
  Harness over(std::string(16382, 'x') + "\n");
  EXPECT_EQ(over.read_all(), 3);
  EXPECT_EQ(over.messages(), "[Error(cppkv.28)] input buffer over flow\n");
}

TEST(CppkvReader, LinesFarBeyondTheBuffer) {
  Harness h(std::string(200000, 'x') + "\n");
  EXPECT_EQ(h.read_all(false), 0);
  ASSERT_EQ(h.raw.size(), 1u);
  EXPECT_EQ(h.raw[0].size(), kLineBufferSize - 1);  // silently truncated
  Harness cleaned(std::string(200000, 'x') + "\n");
  EXPECT_EQ(cleaned.read_all(), 3);
  // A long comment is no problem: the reader drops it.
  Harness comment("a /*" + std::string(300000, '*') + "*/ b\n");
  EXPECT_EQ(comment.read_all(), 0);
  EXPECT_EQ(comment.lines, (Lines{"a   b\n"}));
  // Into the small buffer of macro-argument lines.
  Harness small(std::string(20000, 'y') + "\n" + "z\n");
  EXPECT_EQ(small.read_all(false, kArgLineBufferSize), 0);
  ASSERT_EQ(small.raw.size(), 2u);
  EXPECT_EQ(small.raw[0].size(), kArgLineBufferSize - 1);
  EXPECT_EQ(small.raw[1], "z\n");
}

TEST(CppkvReader, ManyJoinedLinesInOneLogicalLine) {
  std::string data = "a";
  for (int i = 0; i < 10000; ++i) data += "\\\n";
  data += "b\nc\n";
  Harness h(data);
  EXPECT_EQ(h.read_all(), 0);
  ASSERT_EQ(h.lines.size(), 2u);
  EXPECT_EQ(h.numbers, (Numbers{10001, 10002}));
}

TEST(CppkvReader, PushedBackLineIsReadAgain) {
  Harness h("one\ntwo\nthree\n");
  ASSERT_EQ(open_source(h.run, ""), OpenResult::Ok);
  LineBuffer line(kArgLineBufferSize);
  ASSERT_TRUE(read_logical_line(h.run, line));
  ASSERT_TRUE(read_logical_line(h.run, line));
  EXPECT_EQ(line.view(), "two\n");
  EXPECT_EQ(current_line(h.run), 2u);
  push_back_line(h.run, line.view());
  EXPECT_EQ(current_line(h.run), 1u);
  ASSERT_TRUE(read_logical_line(h.run, line));
  EXPECT_EQ(line.view(), "two\n");
  EXPECT_EQ(current_line(h.run), 2u);
  ASSERT_TRUE(read_logical_line(h.run, line));
  EXPECT_EQ(line.view(), "three\n");
  EXPECT_EQ(current_line(h.run), 3u);
}

TEST(CppkvReader, PendingLineNumberAndNames) {
  Harness h("a\nb \\\nc\nd\n");
  h.run.settings.input_name = "dir\\sub/x.c";
  ASSERT_EQ(open_source(h.run, ""), OpenResult::Ok);
  EXPECT_EQ(current_line(h.run), 1u);
  LineBuffer line(kLineBufferSize);
  ASSERT_TRUE(read_logical_line(h.run, line));
  EXPECT_EQ(current_line(h.run), 1u);
  set_line(h.run, 100);
  EXPECT_EQ(current_line(h.run), 100u);
  ASSERT_TRUE(read_logical_line(h.run, line));
  EXPECT_EQ(current_line(h.run), 101u);  // pending value plus one joined line
  set_name(h.run, "dir\\sub/y.c");
  EXPECT_EQ(current_name(h.run), "dir\\sub/y.c");
  EXPECT_EQ(current_name(h.run, true), "y.c");
  set_position_override(h.run, "o.c", 7);
  EXPECT_EQ(current_name(h.run), "o.c");
  EXPECT_EQ(current_line(h.run), 7u);
  clear_position_override(h.run);
  ASSERT_TRUE(read_logical_line(h.run, line));
  EXPECT_EQ(current_line(h.run), 102u);
  EXPECT_EQ(h.run.reader.top().physical_lines, 4u);
}

TEST(CppkvReader, IncludeStackLimitsAndPool) {
  Harness h("");
  std::string path = testing::TempDir() + "cppkv_stack.h";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs("x\n", f);
  std::fclose(f);
  h.run.settings.input_name = "main.c";
  ASSERT_EQ(open_source(h.run, ""), OpenResult::Ok);
  EXPECT_EQ(open_source(h.run, path + ".missing"), OpenResult::NotFound);
  EXPECT_EQ(open_source(h.run, ""), OpenResult::NotFound);  // a name is required above level 0
  for (int i = 1; i <= kMaxIncludeIndex; ++i)
    ASSERT_EQ(open_source(h.run, path), OpenResult::Ok) << i;
  EXPECT_EQ(h.run.reader.index, 40);
  EXPECT_EQ(h.run.reader.top().state, ENTRY_IN_USE);
  EXPECT_EQ(open_source(h.run, path), OpenResult::NestingOver);
  std::size_t top = h.run.reader.pool_top;
  close_source(h.run);
  EXPECT_EQ(h.run.reader.stack[40].state, ENTRY_FREE);
  EXPECT_LT(h.run.reader.pool_top, top);
  while (h.run.reader.index >= 0) close_source(h.run);
  EXPECT_EQ(h.run.reader.pool_top, 0u);
  std::remove(path.c_str());
}

TEST(CppkvReader, NamePoolOverflowIsFatal) {
  Harness h("");
  // A 500-byte name: folders of 100-character names.
  std::string name = testing::TempDir() + "cppkv_pool";
  std::filesystem::create_directories(name);
  std::string top_dir = name;
  while (name.size() < 390) {
    name += "/" + std::string(100, 'd');
    std::filesystem::create_directories(name);
  }
  name += "/" + std::string(499 - name.size(), 'n');
  ASSERT_EQ(name.size(), 500u);
  std::FILE* f = std::fopen(name.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  int code = 0;
  int opened = 0;
  try {
    ASSERT_EQ(open_source(h.run, ""), OpenResult::Ok);
    for (int i = 0; i < 40; ++i) {
      ASSERT_EQ(open_source(h.run, name), OpenResult::Ok);
      ++opened;
    }
  } catch (const FatalStop& stop) {
    code = stop.exit_code;
  }
  EXPECT_EQ(code, 3);
  EXPECT_EQ(opened, 10);  // 1 + 10 x 501 bytes fit in 5119, the 11th does not
  EXPECT_NE(h.messages().find("input file name buffer overflow"), std::string::npos);
  std::filesystem::remove_all(top_dir);
}

TEST(CppkvReader, NamePoolBoundaryWithLineNames) {
  // A #line name replaces the current entry's name in place: at the bottom
  // of the pool 5119 bytes fit (its terminator takes the last byte), 5120
  // do not.
  Harness h("");
  ASSERT_EQ(open_source(h.run, ""), OpenResult::Ok);
  set_name(h.run, std::string(5119, 'n'));
  EXPECT_EQ(current_name(h.run), std::string(5119, 'n'));
  EXPECT_EQ(h.run.reader.pool_top, 5120u);
  set_name(h.run, "short.c");
  EXPECT_EQ(h.run.reader.pool_top, 8u);
  int code = 0;
  try {
    set_name(h.run, std::string(5120, 'n'));
  } catch (const FatalStop& stop) {
    code = stop.exit_code;
  }
  EXPECT_EQ(code, 3);
  EXPECT_NE(h.messages().find("input file name buffer overflow"), std::string::npos);
}

TEST(CppkvReader, SavedStatePerIncludeLevel) {
  Harness h("");
  ASSERT_EQ(open_source(h.run, ""), OpenResult::Ok);
  h.run.reader.state = ST_BLOCK_COMMENT;
  std::string path = testing::TempDir() + "cppkv_saved.h";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fclose(f);
  ASSERT_EQ(open_source(h.run, path), OpenResult::Ok);
  EXPECT_EQ(h.run.reader.state, 0u);
  h.run.reader.state = ST_STRING;
  close_source(h.run);
  EXPECT_EQ(h.run.reader.state, static_cast<unsigned>(ST_BLOCK_COMMENT));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace cppkv
