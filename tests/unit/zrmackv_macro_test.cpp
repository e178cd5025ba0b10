// Macro definitions, calls and expansions seen from the line writer: which
// lines reach it and in which form, the file-control calls, and what the
// scratch output file receives.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "zrmackv/line_engine.h"
#include "zrmackv/line_writer.h"
#include "zrmackv/run.h"
#include "zrmackv/zrmackv.h"
#include "zrmackv_run_folder.h"

using namespace zrmackv;
using Lines = std::vector<std::string>;

namespace {

// Records the file-control calls among the lines.
class RecordingWriter final : public LineWriter {
 public:
  void write_line(std::string_view line) override { lines.emplace_back(line); }
  void file_control(std::string_view path) override {
    lines.push_back("<file " + std::string(path) + ">");
  }
  Lines lines;
};

class MacroRun : public zrmackv_test::RunFolder {
 protected:
  Lines run(const std::string& source, std::vector<std::string> args = {}) {
    write("prog.arq", source);
    args.push_back("prog");
    RecordingWriter writer;
    exit_code_ = run_zrmackv(args, {}, out_, &writer);
    return writer.lines;
  }

  int exit_code_ = -1;
};

const char* const kCallSource =
    "SET\t.MACRO\tV\t; header comment\n"
    "  MOV.W\t#V,R0\t; load V\n"
    "\t.ENDM\n"
    "LAB:\tSET\t5\t; the call\n"
    "\tNOP\n";

TEST_F(MacroRun, CallHandsOverTheLabelTheCallAndTheSubstitutedBody) {
  Lines got = run(kCallSource);
  EXPECT_EQ(got, (Lines{"SET\t.MACRO\tV\t; header comment", "  MOV.W\t#V,R0\t; load V",
                        "\t.ENDM", "LAB:", "LAB:\tSET\t5\t; the call", "MOV.W\t#5,R0", "\tNOP"}));
  EXPECT_EQ(exit_code_, 0);
}

TEST_F(MacroRun, ListingKeepsIndentationAndCommentsAndMacroListingTheEndm) {
  Lines got = run(kCallSource, {"-l"});
  ASSERT_GE(got.size(), 7u);
  EXPECT_EQ(got[5], "  MOV.W\t#5,R0\t; load V");
  EXPECT_EQ(got[6], "\tNOP");  // the closing .ENDM is not listed

  got = run(kCallSource, {"-lm"});
  ASSERT_GE(got.size(), 8u);
  EXPECT_EQ(got[5], "  MOV.W\t#5,R0\t; load V");
  EXPECT_EQ(got[6], "\t.ENDM");
  EXPECT_EQ(got[7], "\tNOP");
}

TEST_F(MacroRun, FileControlWhenTheBodyComesFromAnotherFile) {
  write("defs.inc", "IN\t.MACRO\n\tNOP\n\t.ENDM\n");
  Lines got = run("\t.INCLUDE\tdefs.inc\n\tIN\n\tRTS\n\tIN\n");
  EXPECT_EQ(got, (Lines{"IN\t.MACRO", "\tNOP", "\t.ENDM", "\tIN",
                        "<file defs.inc>", "NOP", "<file prog.arq>", "\tRTS", "\tIN",
                        "<file defs.inc>", "NOP", "<file prog.arq>"}));
}

TEST_F(MacroRun, NoFileControlWhenTheBodyComesFromTheCallersFile) {
  Lines got = run("IN\t.MACRO\n\tNOP\n\t.ENDM\n\tIN\n");
  EXPECT_EQ(got, (Lines{"IN\t.MACRO", "\tNOP", "\t.ENDM", "\tIN", "NOP"}));
}

// A file read while an expansion is open is still cleaned: here the
// expansion stays open because its .ENDM carries an operand.
TEST_F(MacroRun, FileLinesAreCleanedWhileAnExpansionIsOpen) {
  Lines got = run("OPEN\t.MACRO\n\t.ENDM\tx\n\t.ENDM\n\tOPEN\r\n\tNOP\r\n\t.ENDM\r\n\tRTS\r\n");
  EXPECT_EQ(got, (Lines{"OPEN\t.MACRO", "\t.ENDM\tx", "\tOPEN", "\tNOP", "\tRTS"}));
}

// The same while the rest of a body is skipped after .EXITM: with the
// carriage returns left on, the .ENDM read from the file would carry an
// operand and the skip would never end.
TEST_F(MacroRun, FileLinesAreCleanedWhileABodyIsSkipped) {
  Lines got = run("OPEN\t.MACRO\n\t.EXITM\n\t.ENDM\tx\n\t.ENDM\n"
                  "\tOPEN\r\n\tNOP\r\n\t.ENDM\r\n\tRTS\r\n");
  EXPECT_EQ(got, (Lines{"OPEN\t.MACRO", "\t.EXITM", "\t.ENDM\tx", "\tOPEN", ".EXITM", "\tNOP",
                        "\tRTS"}));
}

TEST_F(MacroRun, RepeatLinesReachTheWriterWhenReplayed) {
  const char* source = "\t.MREPEAT\t2\t; twice\n\tNOP\t; each\n\t.ENDR\n\tRTS\n";
  EXPECT_EQ(run(source), (Lines{"\t.MREPEAT\t2\t; twice", "NOP", "NOP", "\tRTS"}));
  EXPECT_EQ(run(source, {"-lm"}), (Lines{"\t.MREPEAT\t2\t; twice", "\tNOP\t; each",
                                         "\tNOP\t; each", "\t.ENDR", "\tRTS"}));
}

// Lines fed straight to line_process, with the scratch output file open.
class MacroDirect : public ::testing::Test {
 protected:
  MacroDirect() : run(out_ = std::tmpfile(), &writer) {
    load_reserved_words(run);
    run.files.output = std::tmpfile();
  }
  ~MacroDirect() override {
    std::fclose(run.files.output);
    std::fclose(out_);
  }
  void process(const std::string& line) {
    run.source.line = line;
    line_process(run);
  }
  // Feeds lines until the expansion queue and the line are done.
  void feed(const Lines& lines) {
    for (const std::string& l : lines) {
      run.messages.code = 0;
      run.macro.call_line.clear();
      process(l);
      while (run.macro.macro_cursor) {
        run.source.line.assign(run.macro.macro_cursor->line_data);
        run.source.line_no = static_cast<std::uint32_t>(run.macro.macro_cursor->line_no);
        run.macro.macro_cursor = run.macro.macro_cursor->next;
        run.messages.code = 0;
        line_process(run);
      }
    }
  }
  static std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    return text;
  }
  std::FILE* out_;
  CapturingLineWriter writer;
  zrmackv::Run run;
};

TEST_F(MacroDirect, LineControlPairAtEachCallUnderLineCntr) {
  run.settings.line_cntr = true;
  run.source.current_file = "prog.arq";
  feed({"M\t.MACRO", "\tNOP", "\t.ENDM"});
  run.source.line_no = 41;
  feed({"\tM"});
  EXPECT_EQ(contents(run.files.output), "\t._ltype\te,d,'  '\n\t._line\t41\n");
  EXPECT_EQ(run.macro.mac_exp_cnt, 0u);
  EXPECT_EQ(run.source.line_no, 41u);  // the call position is back
}

TEST_F(MacroDirect, ListingCopiesTheCallLineForAnErrorOnIt) {
  run.settings.listing = true;
  run.source.current_file = "prog.arq";
  feed({"DBL\t.MACRO\tX,,Y", "\t.ENDM"});
  run.messages.code = 0;
  run.macro.call_line.clear();
  process("\tDBL\t1");
  EXPECT_EQ(run.messages.code, E_ILLEGAL_MACRO_PARAM);
  message_print(run);
  EXPECT_EQ(contents(run.files.output),
            "\tDBL\t1\nprog.arq 0 Error (zrmackv): Illegal macro parameter\n");
  EXPECT_EQ(run.macro.current, &run.macro.bottom);
  EXPECT_EQ(run.macro.current->state, M_NONE);
}

TEST_F(MacroDirect, FailedCallInsideAnExpansionPopsItsRecord) {
  feed({"BAD\t.MACRO\tX,X", "\t.ENDM", "OUT\t.MACRO", "\tBAD", "\t.ENDM"});
  feed({"\tOUT"});
  EXPECT_EQ(run.macro.current, &run.macro.bottom);
  EXPECT_EQ(run.macro.current->state, M_NONE);
  EXPECT_EQ(run.macro.mac_exp_cnt, 0u);
}

TEST_F(MacroDirect, ReplacedBodiesWaitUntilNothingRuns) {
  feed({"M\t.MACRO", "M\t.MACRO", "\t.ENDM", "\t.ENDM", "\tM"});
  // M's first run redefined M: the old body was released when it ended.
  EXPECT_TRUE(run.macro.redefine_free_list.empty());
  feed({"\tM", "\tM"});
  EXPECT_TRUE(run.macro.redefine_free_list.empty());
  // A redefinition outside any expansion releases the old body at its .ENDM.
  feed({"M\t.MACRO"});
  EXPECT_EQ(run.macro.redefine_free_list.size(), 1u);
  feed({"\t.ENDM"});
  EXPECT_TRUE(run.macro.redefine_free_list.empty());
}

}  // namespace
