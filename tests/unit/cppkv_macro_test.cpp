// Macro expansion in cppkv, seen through the text channel: object-like and
// function-like macros, rescanning, # and ##, argument lists over several
// lines with the output kept line-aligned, and the limits.
#include <gtest/gtest.h>

#include <string>

#include "cppkv_run_fixture.h"

namespace cppkv {
namespace {

class MacroTest : public CppkvRunTest {
 protected:
  // Runs t.c and returns the text after the first line-control line.
  std::string expand(const std::string& source, int expected_exit = 0) {
    file("t.c", source);
    EXPECT_EQ(run({"t.c"}), expected_exit) << stderr_text;
    const std::string head = "#line 1 \"t.c\"\n";
    EXPECT_EQ(sink.text.compare(0, head.size(), head), 0) << sink.text;
    return sink.text.substr(head.size());
  }

  // The source at a limit runs cleanly; the one just past it ends with the
  // exit code and the message given.
  void expect_limit(const std::string& at_limit, const std::string& past_limit, int exit_code,
                    const std::string& message) {
    file("ok.c", at_limit);
    EXPECT_EQ(run({"ok.c"}), 0) << stderr_text;
    file("t.c", past_limit);
    EXPECT_EQ(run({"t.c"}), exit_code);
    EXPECT_EQ(stderr_text, message);
  }
};

TEST_F(MacroTest, ObjectLikeAndBlankAfterExpansion) {
  // A blank follows an expansion unless a blank, tab or line feed does.
  EXPECT_EQ(expand("#define N 10\n#define E\nN;N N\tN\nE;x\n"),
            "\n\n"
            "10 ;10 10\t10\n"
            " ;x\n");
}

TEST_F(MacroTest, IdentifiersLiteralsAndNumbersAreNotTouchedInside) {
  EXPECT_EQ(expand("#define A z\nAA A_ 1A 0xA \"A\" 'A' A\n"),
            "\n"
            "AA A_ 1A 0xA \"A\" 'A' z\n");
}

TEST_F(MacroTest, FunctionLikeCallsNestedAndRescanned) {
  EXPECT_EQ(expand("#define ADD(a, b) ((a) + (b))\n"
                   "#define TWICE(x) ADD(x, x)\n"
                   "#define ONE 1\n"
                   "TWICE(ADD(ONE, 2)) ADD( ( 1 , 2 ) , \"a,b\" )\n"),
            "\n\n\n"
            "((((1) + (2))) + (((1) + (2)))) ((( 1 , 2 )) + (\"a,b\"))\n");
}

TEST_F(MacroTest, NameWithoutListStaysAndSelfReferenceStopsOnce) {
  EXPECT_EQ(expand("#define F(x) [x]\n#define X X+1\n#define P Q\n#define Q P\nF + F; X P Q\n"),
            "\n\n\n\n"
            "F + F; X+1 P Q\n");
}

TEST_F(MacroTest, CallAssembledFromReplacementAndRestOfLine) {
  // g's replacement ends in f; the list comes from the rest of the line.
  EXPECT_EQ(expand("#define f(x) <x>\n#define g f\n#define h(y) g(y)(y)\ng(1) h(2)\n"),
            "\n\n\n"
            "<1> <2>(2)\n");
}

TEST_F(MacroTest, FunctionLikeNamePassedAsArgumentIsCalledByTheBody) {
  EXPECT_EQ(expand("#define CALL(f) f(7)\n#define SQ(v) v*v\nCALL(SQ)\n"), "\n\n7*7\n");
  EXPECT_EQ(stderr_text, "");
}

TEST_F(MacroTest, ArgumentCountMismatchExpandsAnyway) {
  EXPECT_EQ(expand("#define F(a, b) [a|b]\nF(1) F(1,2,3) F()\n", 1),
            "\n"
            "[1|] [1|2] [|]\n");
  EXPECT_EQ(stderr_text,
            "[Error(cppkv.27):t.c, line 2] macro argument error\n"
            "[Error(cppkv.27):t.c, line 2] macro argument error\n"
            "[Error(cppkv.27):t.c, line 2] macro argument error\n");
}

TEST_F(MacroTest, EmptyListAndEmptyArguments) {
  EXPECT_EQ(expand("#define Z() zero\n#define T(a,b) <a><b>\nZ() Z( ) T(,)\n"),
            "\n\n"
            "zero zero <><>\n");
}

TEST_F(MacroTest, Stringizing) {
  EXPECT_EQ(expand("#define S(x) # x\n"
                   "S(  a  +  b  ) S(\"a\\\"b\") S('\\n') S('\"') S(p\\q)\n"),
            "\n"
            "\"a  +  b\" \"\\\"a\\\\\\\"b\\\"\" \"\\'\\\\n\\'\" \"\\'\\\"\\'\" \"p\\q\"\n");
}

TEST_F(MacroTest, PastingUsesArgumentsAsWritten) {
  EXPECT_EQ(expand("#define ONE 1\n"
                   "#define CAT(a, b) a ## b\n"
                   "#define CAT3(a, b) a##b##_x\n"
                   "#define KEEP(a) a ONE\n"
                   "CAT( x , y ) CAT(ONE, ONE) KEEP(ONE) CAT3(p, q)\n"),
            "\n\n\n\n"
            "xy ONEONE 1 1 pq_x\n");
}

TEST_F(MacroTest, PastedNameIsRescanned) {
  EXPECT_EQ(expand("#define xy 42\n#define CAT(a, b) a ## b\nCAT(x, y)\n"), "\n\n42\n");
}

TEST_F(MacroTest, HashNotBeforeParameterAndLiteralsInBodyAreCopied) {
  EXPECT_EQ(expand("#define H(x) # + x \"x ## x\" '#'\nH(1)\n"), "\n# + 1 \"x ## x\" '#'\n");
}

TEST_F(MacroTest, ArgumentsOverSeveralLinesKeepTheOutputAligned) {
  EXPECT_EQ(expand("#define F(a, b) a+b\n"
                   "F(1,\n"
                   "  2) tail\n"
                   "next\n"),
            "\n"
            "1+2\n tail\n"
            "next\n");
}

TEST_F(MacroTest, ListOnTheNextLine) {
  // The name ends the line; the next line starts with "(".
  EXPECT_EQ(expand("#define F(x) <x>\nF\n  (3);\nafter\n"),
            "\n"
            "<3> \n;\n"
            "after\n");
}

TEST_F(MacroTest, NextLineWithoutParenthesisIsReadAgainNormally) {
  EXPECT_EQ(expand("#define F(x) <x>\n#define G 9\nF\nG F\n#define H 1\nH\n"),
            "\n\n"
            "F\n"
            "9 F\n"
            "\n"
            "1\n");
}

TEST_F(MacroTest, JoinedLinesBeforeTheListAreMadeUp) {
  // The calling line and the continuation were each joined from two
  // physical lines: four line feeds in all.
  EXPECT_EQ(expand("#define F(x) <x>\na F /* c\n */\n(1\\\n)b\nz\n"),
            "\n"
            "a <1> \n\nb\n\n"
            "z\n");
}

TEST_F(MacroTest, UnterminatedCallAtEndOfFile) {
  EXPECT_EQ(expand("#define F(x) <x>\nF(1,\n", 1), "\nF(1,\n");
  EXPECT_EQ(stderr_text, "[Error(cppkv.27):t.c, line 2] macro argument error\n");
}

TEST_F(MacroTest, ErrorsWhileCollectingNameTheLineWhereTheCallBegan) {
  EXPECT_EQ(expand("#define F(a,b) a\nx F(1,\n2,\n3) y\n", 1), "\nx 1\n\n y\n");
  EXPECT_EQ(stderr_text, "[Error(cppkv.27):t.c, line 2] macro argument error\n");
}

TEST_F(MacroTest, PredefinedNames) {
  file("dir/t.c", "__LINE__ __FILE__\n#line 77\n__LINE__\n");
  EXPECT_EQ(run({"dir/t.c"}), 0);
  EXPECT_EQ(sink.text,
            "#line 1 \"dir/t.c\"\n"
            "1 \"t.c\"\n"
            "#line 77 \"dir/t.c\"\n"
            "77\n");
}

TEST_F(MacroTest, LineInsideAMultiLineCallIsTheLineReadLast) {
  EXPECT_EQ(expand("#define F(x) x\nF(__LINE__\n)\n"), "\n3\n\n");
}

TEST_F(MacroTest, ReservedNameRedefinedBecomesOrdinary) {
  EXPECT_EQ(expand("#define __LINE__ 5\n__LINE__\n"), "\n5\n");
  EXPECT_EQ(stderr_text, "[Warning(cppkv.81):t.c, line 1] reserved id used\n");
}

TEST_F(MacroTest, DateIsQuotedWithTwoDigitDay) {
  std::string text = expand("__DATE__ __TIME__\n");
  ASSERT_EQ(text.size(), std::string("\"Mar 05 2026\" \"12:34:56\"\n").size()) << text;
  EXPECT_EQ(text[0], '"');
  EXPECT_NE(text[5], ' ');  // the day has a leading zero, not a blank
  EXPECT_EQ(text[12], '"');
  EXPECT_EQ(text[17], ':');
}

TEST_F(MacroTest, DefineRules) {
  EXPECT_EQ(expand("#define A(x) x\n#define B(x,x) x\n#define C(x y) x\n#define D ## x\n"
                   "#define E x #\n#define F(x) # x\n#define G x ## # y\n#define H 1\n#define H(a) 1\nH\n",
                   1),
            "\n\n\n\n\n\n\n\n\n1\n");
  EXPECT_EQ(stderr_text,
            "[Error(cppkv.43):t.c, line 2] illegal id name\n"
            "[Error(cppkv.43):t.c, line 3] illegal id name\n"
            "[Error(cppkv.25):t.c, line 4] illegal identifier\n"
            "[Error(cppkv.25):t.c, line 5] illegal identifier\n");
}

TEST_F(MacroTest, BodiesComparedAfterEncoding) {
  // Parameter names do not matter, their places do; trailing blanks count.
  expand("#define F(a) a+1\n#define F(b) b+1\n#define G 1\n#define G 1 \n");
  EXPECT_EQ(stderr_text, "[Warning(cppkv.85):t.c, line 4] redefined 'G'\n");
}

TEST_F(MacroTest, MarkByteInBodyIsKeptAsWritten) {
  EXPECT_EQ(expand("#define M(a) \x1F" "a\x1F\x1F" "\n#define M(b) \x1F" "b\x1F\x1F\nM(z)\n"),
            "\n\n\x1Fz\x1F\x1F\n");
  EXPECT_EQ(stderr_text, "");
}

TEST_F(MacroTest, HundredParametersAndHundredOneRefused) {
  std::string params;
  std::string args;
  for (int i = 0; i < 100; ++i) {
    params += (i ? ",p" : "p") + std::to_string(i);
    args += (i ? "," : "") + std::to_string(i);
  }
  expand("#define OK(" + params + ") p0 p99\nOK(" + args + ")\n#define NO(" + params + ",p100) x\n", 1);
  EXPECT_EQ(sink.text.substr(sink.text.find('\n') + 1), "\n0 99\n\n");
  EXPECT_EQ(stderr_text, "[Error(cppkv.25):t.c, line 3] illegal identifier\n");
}

TEST_F(MacroTest, BodyLengthLimit) {
  // A #define line cannot hold such a body; -D can.
  const std::string at_limit(16383, 'a');
  file("t.c", "#ifdef OK\nok\n#endif\n#ifdef NO\nno\n#endif\n");
  EXPECT_EQ(run({"-DOK=" + at_limit, "-DNO=" + at_limit + "b", "t.c"}), 1);
  EXPECT_EQ(sink.text, "#line 1 \"t.c\"\n\nok\n\n\n\n\n");
  EXPECT_EQ(stderr_text, "[Error(cppkv.44)] token buffer over flow\n");
}

TEST_F(MacroTest, ArgumentLengthLimit) {
  // The list runs over two lines, joined with one blank: 10,000 + 1 +
  // 6,383 characters are taken; one more is refused.
  const std::string head = "#define F(x) 1\nF(" + std::string(10000, 'a') + "\n";
  expect_limit(head + std::string(6383, 'b') + ")\n", head + std::string(6384, 'b') + ")\n", 1,
               "[Error(cppkv.27):t.c, line 2] macro argument error\n");
}

TEST_F(MacroTest, ExpansionLengthLimit) {
  // Ten copies of a 1,637-character body, nine blanks and two more
  // characters make 16,381; one more character is too many.
  const std::string defs = "#define B " + std::string(1637, 'x') + "\n";
  expect_limit(defs + "#define T B B B B B B B B B B;;\nT\n", defs + "#define T B B B B B B B B B B;;;\nT\n", 3,
               "[Error(cppkv.28):t.c, line 3] input buffer over flow\n");
}

TEST_F(MacroTest, ArgumentsWithAndWithoutNamesToExpand) {
  // An argument without a macro name is inserted as written, one with a
  // name expanded; blanks around either are dropped, # and ## see them as
  // written.
  EXPECT_EQ(expand("#define N 7\n#define F(x, y) x|y|#x|#y|x##y\nF( a + 1 ,  N\t)F(N,\"N\")\n"),
            "\n\n"
            "a + 1|7|\"a + 1\"|\"N\"|a + 1N 7|\"N\"|\"N\"|\"\\\"N\\\"\"|7\"N\"\n");
}

TEST_F(MacroTest, PlainBodyRescannedWhereStoredKeepsTheLimit) {
  // A body without parameters, ## or mark bytes is rescanned in place:
  // 16,380 characters and the line feed after the call make 16,381, one
  // more character is too many, as for a substituted body.
  file("t.c", "X\n");
  EXPECT_EQ(run({"-DX=" + std::string(16380, 'a'), "t.c"}), 0) << stderr_text;
  EXPECT_EQ(run({"-DX=" + std::string(16381, 'a'), "t.c"}), 3);
  EXPECT_EQ(stderr_text, "[Error(cppkv.28):t.c, line 1] input buffer over flow\n");
}

TEST_F(MacroTest, BodiesCopiedAsTheyStandOrWalked) {
  // A lone # is copied; ## inside a literal is copied; ## outside one
  // pastes; a mark byte in the body is one byte of the replacement.
  EXPECT_EQ(expand("#define H # x\n#define S \"a##b\" 'c##d'\n#define P a ## b\n#define M \x1f\x1f\nH S P M\n"),
            "\n\n\n\n"
            "# x \"a##b\" 'c##d' ab \x1f\x1f\n");
  // The same pieces in a body with a parameter, read into steps once.
  EXPECT_EQ(expand("#define G(x) #y x ## x \"x#\" \x1f\x1f# x#x\nG(a)|G( b c )\n"),
            "\n"
            "#y aa \"x#\" \x1f\x1f\"a\"\"a\" |#y b cb c \"x#\" \x1f\x1f\"b c\"\"b c\"\n");
}

// Macros M0 ... M(count - 1), each naming the next, the last one with the
// body given, and a line that uses M0.
std::string chain(int count, const std::string& last_body = "end") {
  std::string source;
  for (int i = 0; i + 1 < count; ++i)
    source += "#define M" + std::to_string(i) + " M" + std::to_string(i + 1) + "\n";
  return source + "#define M" + std::to_string(count - 1) + " " + last_body + "\nM0\n";
}

TEST_F(MacroTest, ReplacementPlusRestOfLineLimit) {
  // 2 x 8,189 + 1 characters of replacement: with ";" and the line feed
  // after the call they make 16,381; one more character is too many.
  const std::string head = "#define R(x) x x\nR(" + std::string(8189, 'a') + ")";
  expect_limit(head + ";\n", head + ";;\n", 3, "[Error(cppkv.28):t.c, line 2] input buffer over flow\n");
}

TEST_F(MacroTest, ChainAtTheNestingBoundExpands) {
  // 65,536 replacements in progress at once, without a C frame each.
  std::string text = expand(chain(65536));
  EXPECT_EQ(text, std::string(65536, '\n') + "end\n");
}

TEST_F(MacroTest, ChainPastTheNestingBoundIsFatal) {
  file("t.c", chain(65537));
  EXPECT_EQ(run({"t.c"}), 3);
  EXPECT_EQ(stderr_text, "[Error(cppkv.35):t.c, line 65538] macro replace nesting over\n");
}

TEST_F(MacroTest, BodyWithoutNamesAtTheNestingBound) {
  // A body without names is written out without a frame of its own, under
  // the same bound: the 65,536th replacement passes, the 65,537th not.
  EXPECT_EQ(expand(chain(65536, "(1+2)")), std::string(65536, '\n') + "(1+2)\n");
  file("t.c", chain(65537, "(1+2)"));
  EXPECT_EQ(run({"t.c"}), 3);
  EXPECT_EQ(stderr_text, "[Error(cppkv.35):t.c, line 65538] macro replace nesting over\n");
}

TEST_F(MacroTest, BodyWithoutNamesInArgumentsAndExpressions) {
  // Written out where the frame would have been rescanned: inside an
  // argument, before and after other text, in an #if expression, and
  // under the length limit of one rescan.
  EXPECT_EQ(expand("#define ONE (1)\n#define F(x) [x]\n#define E\nF(ONE)ONE+ONE E;\n#if ONE+ONE == 2\nyes\n#endif\n"),
            "\n\n\n[(1)] (1) +(1)  ;\n\nyes\n\n");
  file("t.c", "X\n");
  EXPECT_EQ(run({"-DX=" + std::string(16380, '1'), "t.c"}), 0) << stderr_text;
  EXPECT_EQ(run({"-DX=" + std::string(16381, '1'), "t.c"}), 3);
  EXPECT_EQ(stderr_text, "[Error(cppkv.28):t.c, line 1] input buffer over flow\n");
}

TEST_F(MacroTest, NestedArgumentsExpandWithoutDeepRecursion) {
  std::string call = "x";
  for (int i = 0; i < 3000; ++i) call = "F(" + call + ")";
  std::string text = expand("#define F(a) a\n" + call + "\n");
  EXPECT_EQ(text, "\nx\n");
}

TEST_F(MacroTest, DirectiveOperandsAreExpanded) {
  file("h.h", "int h;\n");
  EXPECT_EQ(expand("#define NAME(n) #n\n#define N 50\n#include NAME(h.h)\n#line N\nx\n"),
            "\n\n\n#line 1 \"h.h\"\nint h;\n#line 4 \"t.c\"\n#line 50 \"t.c\"\nx\n");
  EXPECT_EQ(stdout_text, "t.c : h.h\n");
}

TEST_F(MacroTest, ErrorTextIsExpandedWithoutBlanks) {
  file("t.c", "#define WHAT(x) bad x\n#define V 3\n#error WHAT(V)V!\n");
  EXPECT_EQ(run({"t.c"}), 2);
  EXPECT_EQ(stderr_text, "t.c 3 Error bad 33!\n\n");
}

TEST_F(MacroTest, ErrorTextWithNameWithoutList) {
  file("t.c", "#define F(x) x\n#error F\n");
  EXPECT_EQ(run({"t.c"}), 2);
  EXPECT_EQ(stderr_text, "[Error(cppkv.27):t.c, line 2] macro argument error\nt.c 2 Error F\n\n");
}

TEST_F(MacroTest, DashDDefinesThroughTheSameOperation) {
  file("t.c", "X Y Z\n");
  EXPECT_EQ(run({"-DX", "-DY=2", "-DY=3", "-DZ=\"a b\"", "t.c"}), 0);
  EXPECT_EQ(sink.text, "#line 1 \"t.c\"\n 3 \"a b\"\n");
  EXPECT_EQ(stderr_text, "[Warning(cppkv.85):, line 0] redefined 'Y'\n");
}

}  // namespace
}  // namespace cppkv
