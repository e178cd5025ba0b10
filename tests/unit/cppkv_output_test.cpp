// The preprocessed-text channel of cppkv, seen through a capturing sink:
// line-control lines, empty lines for directives and skipped lines, and
// passed-through lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "cppkv_run_fixture.h"

namespace cppkv {
namespace {

class OutputTest : public CppkvRunTest {};

TEST_F(OutputTest, TextLinesDirectivesAndSkippedLines) {
  file("t.c",
       "int a;\n"
       "#define X 1\n"
       "#if 0\n"
       "skipped\n"
       "#endif\n"
       "int b; /* two\n"
       "lines */ int c;\n");
  EXPECT_EQ(run({"t.c"}), 0);
  EXPECT_EQ(sink.text,
            "#line 1 \"t.c\"\n"
            "int a;\n"
            "\n\n\n\n"
            "int b;   int c;\n\n");
  EXPECT_EQ(stdout_text, "t.c : \n");
}

TEST_F(OutputTest, IncludeWritesLineControlOnEntryAndReturn) {
  file("t.c", "#include \"inc/a.h\"\nint x;\n");
  file("inc/a.h", "int a;\n#include \"b.h\"\n");
  file("inc/b.h", "int b;\n");
  EXPECT_EQ(run({"t.c"}), 0);
  EXPECT_EQ(sink.text,
            "#line 1 \"t.c\"\n"
            "\n"
            "#line 1 \"inc/a.h\"\n"
            "int a;\n"
            "\n"
            "#line 1 \"inc/b.h\"\n"
            "int b;\n"
            "#line 3 \"inc/a.h\"\n"
            "#line 2 \"t.c\"\n"
            "int x;\n");
  EXPECT_EQ(stdout_text, "t.c : inc\\a.h\nt.c : inc\\b.h\n");
}

TEST_F(OutputTest, UnknownDirectiveIsTextAndLineEndsWithItsFile) {
  // An unknown directive is reported and then handled as a text line. A
  // #line at the end of an included file sets nothing in the includer: the
  // line control after the return names the includer's next line.
  file("t.c", "#foo bar\n#include \"a.h\"\nx\n#if 0\n#foo\n#endif\n");
  file("a.h", "#line 50 \"z.h\"\n");
  EXPECT_EQ(run({"t.c"}), 1);
  EXPECT_EQ(sink.text,
            "#line 1 \"t.c\"\n"
            "#foo bar\n"
            "\n"
            "#line 1 \"a.h\"\n"
            "#line 50 \"z.h\"\n"
            "#line 3 \"t.c\"\n"
            "x\n"
            "\n\n\n");
  EXPECT_EQ(stderr_text,
            "[Error(cppkv.32):t.c, line 1] unknown preprocess command\n"
            "[Error(cppkv.32):t.c, line 5] unknown preprocess command\n");
}

TEST_F(OutputTest, LineDirectiveWritesLineControlInsteadOfEmptyLine) {
  file("t.c", "#line 40 \"dir\\\\x.c\"\na\n#line 7\nb\n#line bad\nc\n");
  EXPECT_EQ(run({"t.c"}), 1);
  EXPECT_EQ(sink.text,
            "#line 1 \"t.c\"\n"
            "#line 40 \"dir//x.c\"\n"
            "a\n"
            "#line 7 \"dir//x.c\"\n"
            "b\n"
            "\n"
            "c\n");
  EXPECT_EQ(stderr_text, "[Error(cppkv.61):dir\\\\x.c, line 8] illegal line command usage\n");
}

TEST_F(OutputTest, PassedThroughLinesSpanningPhysicalLines) {
  file("t.c", "#pragma foo \\\nbar\n# \\\n\n#pragma ASM\n#if 0\n#pragma x\n#\n#endif\n");
  EXPECT_EQ(run({"t.c"}), 0);
  EXPECT_EQ(sink.text,
            "#line 1 \"t.c\"\n"
            "#pragma foo bar\n"
            "#line 2 \"t.c\"\n"
            "\n"
            "# \n"
            "#line 4 \"t.c\"\n"
            "\n"
            "#pragma ASM\n"
            "\n\n\n\n");
}

TEST_F(OutputTest, NoLineControlWithP) {
  file("t.c", "#include \"a.h\"\nx\n");
  file("a.h", "y\n");
  EXPECT_EQ(run({"-P", "out.i", "t.c"}), 0);
  EXPECT_EQ(sink.text, "\ny\nx\n");
  EXPECT_FALSE(std::filesystem::exists("out.i"));
}

TEST_F(OutputTest, AnUnwritableDependencyListIsNoSuccess) {
  file("t.c", "int a;\n");
  std::FILE* full = std::fopen("/dev/full", "w");
  std::FILE* in = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(run_cppkv({"t.c"}, {}, in, full, err, &sink), 3);
  std::clearerr(full);
  EXPECT_EQ(run_cppkv({"-Wstdout", "t.c"}, {}, in, full, err, &sink), 3);
  std::clearerr(full);
  EXPECT_EQ(run_cppkv({"-DX(a)=a", "t.c"}, {}, in, full, err, &sink), 2);  // its own code stays
  std::fclose(full);
  std::fclose(in);
  std::fclose(err);
}

TEST_F(OutputTest, StandardInputHasAnEmptyName) {
  file("a.h", "y\n");
  EXPECT_EQ(run({}, "#include \"a.h\"\nx\n"), 0);
  EXPECT_EQ(sink.text, "#line 1 \"\"\n\n#line 1 \"a.h\"\ny\n#line 2 \"\"\nx\n");
  EXPECT_EQ(stdout_text, " : a.h\n");
}

TEST_F(OutputTest, LineCountKeptAcrossSplicesAndComments) {
  // Every logical line is followed by as many line feeds as physical lines
  // it used, so the text stays line-aligned with the input.
  std::string src = "a \\\nb\n/* 1\n2\n3 */\n#if 1 \\\n\n#endif\nc\n";
  file("t.c", src);
  EXPECT_EQ(run({"t.c"}), 0);
  std::string text = sink.text.substr(sink.text.find('\n') + 1);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(src.begin(), src.end(), '\n'));
  EXPECT_EQ(text, "a b\n\n \n\n\n\n\n\nc\n");
}

TEST_F(OutputTest, RunsInOneProcessShareNothing) {
  file("t.c", "#define X 1\n#ifdef X\n#include \"a.h\"\n#endif\n");
  file("a.h", "");
  EXPECT_EQ(run({"-DY", "t.c"}), 0);
  EXPECT_EQ(stdout_text, "t.c : a.h\n");
  file("u.c", "#ifdef X\n#include \"a.h\"\n#endif\n#ifdef Y\n#error Y\n#endif\n");
  EXPECT_EQ(run({"u.c"}), 0);
  EXPECT_EQ(stdout_text, "u.c : \n");
}

}  // namespace
}  // namespace cppkv
