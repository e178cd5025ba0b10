// The preprocessed text written to a file, and the run's side outputs seen
// against the text its own sink receives.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cppkv/side_outputs.h"
#include "cppkv_run_fixture.h"

namespace cppkv {
namespace {

std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

constexpr std::size_t kBuffer = 64 * 1024;

using SideOutputsTest = CppkvRunTest;

TEST_F(SideOutputsTest, FileSinkKeepsOrderAcrossBufferBoundaries) {
  CapturingSink inner;
  std::string expected;
  {
    ExpandFileSink sink;
    ASSERT_TRUE(sink.open("out.i", &inner));
    auto text = [&](std::string t) {
      EXPECT_GE(sink.put_text(t), 0);
      expected += t;
    };
    auto chr = [&](char c) {
      EXPECT_EQ(sink.put_char(static_cast<unsigned char>(c)), static_cast<unsigned char>(c));
      expected += c;
    };
    text(std::string(kBuffer - 1, 'a'));  // one byte short of full
    chr('\xff');                          // fills the buffer exactly
    chr('b');                             // starts the next one
    text(std::string(kBuffer - 1, 'c'));  // fills it exactly again
    text(std::string(kBuffer + 1, 'd'));  // larger than a buffer: written straight
    chr('\n');
    ASSERT_TRUE(sink.close());
  }
  EXPECT_EQ(inner.text, expected);
  EXPECT_TRUE(read_file("out.i") == expected);
}

TEST_F(SideOutputsTest, FileSinkReportsAFullDevice) {
  DiscardingSink inner;
  ExpandFileSink sink;
  ASSERT_TRUE(sink.open("/dev/full", &inner));
  // Buffered writes succeed until a buffer has to go out.
  EXPECT_GE(sink.put_text(std::string(kBuffer, 'x')), 0);
  EXPECT_EQ(sink.put_char('y'), -1);
  EXPECT_FALSE(sink.close());
}

TEST_F(SideOutputsTest, FileSinkFailsLikeItsInnerSink) {
  class FailingSink final : public TextSink {
   public:
    int put_char(int) override { return -1; }
    int put_text(std::string_view) override { return -1; }
  } inner;
  ExpandFileSink sink;
  ASSERT_TRUE(sink.open("out.i", &inner));
  EXPECT_EQ(sink.put_char('a'), -1);
  EXPECT_EQ(sink.put_text("abc"), -1);
  ASSERT_TRUE(sink.close());
  EXPECT_EQ(read_file("out.i"), "");
}

TEST_F(SideOutputsTest, TextFileHoldsExactlyWhatTheSinkReceives) {
  file("inc/a.h", "int a;\n#define A 1\n");
  std::string source;
  for (int i = 0; i < 3000; ++i) {
    source += "#include \"a.h\"\nint x" + std::to_string(i) + " = \\\n 1;\n";
    source += "#if 0\nskipped\n#endif\n#pragma keep " + std::to_string(i) + "\n";
  }
  file("t.c", source);
  ASSERT_EQ(run({"-Iinc", "t.c"}), 0);
  const std::string without = sink.text;
  const std::string without_stdout = stdout_text;
  ASSERT_GT(without.size(), 2 * kBuffer);

  ASSERT_EQ(run({"-Iinc", "-Wexpand_file", "out.i", "t.c"}), 0);
  EXPECT_TRUE(sink.text == without);
  EXPECT_TRUE(read_file("out.i") == without);
  EXPECT_EQ(stdout_text, without_stdout);
  EXPECT_EQ(stderr_text, "");
}

TEST_F(SideOutputsTest, FatalStopKeepsTheTextWrittenSoFar) {
  file("t.c", "int before;\n\"" + std::string(600, 'x') + "\"\nint after;\n");
  EXPECT_EQ(run({"-Wexpand_file", "out.i", "t.c"}), 3);
  std::string text = read_file("out.i");
  EXPECT_EQ(text.rfind("#line 1 \"t.c\"\nint before;\n", 0), 0u) << text;
  EXPECT_EQ(text.find("after"), std::string::npos);
}

TEST_F(SideOutputsTest, DependencyFileListsEachFileOnceAndIsWrittenWithWarnings) {
  file("a.h", "#include \"b.h\"\n");
  file("b.h", "int b;\n");
  file("t.c",
       "#ifndef T\n#define T\n#include \"a.h\"\n#include \"b.h\"\n#include \"t.c\"\n"
       "#endif\n#if 1 /* /* */\n#endif\n");
  // Including the input itself is not a dependency of its own.
  EXPECT_EQ(run({"-Wall", "-Wstop_at_warning", "-MF", "t.d", "t.c"}), 10);
  EXPECT_EQ(read_file("t.d"), "t.o: t.c a.h b.h\n\na.h:\n\nb.h:\n");
}

}  // namespace
}  // namespace cppkv
