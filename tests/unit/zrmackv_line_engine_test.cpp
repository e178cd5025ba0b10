// In-process runs of the line engine with a capturing line writer: which
// lines reach the writer, and in which form.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "zrmackv/directives.h"
#include "zrmackv/line_engine.h"
#include "zrmackv/line_writer.h"
#include "zrmackv/run.h"
#include "zrmackv/zrmackv.h"

namespace fs = std::filesystem;
using namespace zrmackv;
using Lines = std::vector<std::string>;

namespace {

class LineRun : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("zrmackv_line_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    out_ = std::tmpfile();
  }
  void TearDown() override {
    std::fclose(out_);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }

  // Runs the source text as prog.arq; returns the lines the writer got.
  Lines run(const std::string& source, std::vector<std::string> args = {}) {
    std::ofstream("prog.arq", std::ios::binary) << source;
    args.push_back("prog");
    CapturingLineWriter writer;
    exit_code_ = run_zrmackv(args, {}, out_, &writer);
    return writer.lines;
  }
  std::string output() {
    std::fflush(out_);
    std::rewind(out_);
    std::string text;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, out_)) > 0) text.append(buf, n);
    return text;
  }

  fs::path old_, dir_;
  std::FILE* out_ = nullptr;
  int exit_code_ = -1;
};

TEST_F(LineRun, AssembledLinesReachTheWriterAsRead) {
  Lines got = run(
      "\tNOP\t; comment stays\n"
      "LOOP: MOV.W R0,R1\n"
      "LOOP MOV.W R0,R1\n"
      "MOV:G #1,R0\n"
      "FOO\n"
      "LAB: .BYTE 1\n"
      ".section P,CODE\n"
      "\t.ALIGN\n"
      "#\n"
      ":\n");
  EXPECT_EQ(got, (Lines{"\tNOP\t; comment stays", "LOOP: MOV.W R0,R1", "LOOP MOV.W R0,R1",
                        "MOV:G #1,R0", "FOO", "LAB: .BYTE 1", ".section P,CODE", "\t.ALIGN", "#",
                        ":"}));
  EXPECT_EQ(exit_code_, 0);
}

TEST_F(LineRun, LinesWithErrorsAndEmptyStatementsAreNotWritten) {
  Lines got = run(
      "\n"
      "   ; only a comment\n"
      "MOV: NOP\n"
      "R1H:\n"
      "X .GLB Y\n"
      ".LIST MAYBE\n"
      "._LINE 3\n"
      "NOP\n");
  EXPECT_EQ(got, (Lines{"NOP"}));
  EXPECT_EQ(exit_code_, 3);
}

TEST_F(LineRun, ListingHandsOverEmptyStatementsAndTheListLine) {
  EXPECT_EQ(run("\n ; c\n.LIST OFF\nNOP\n"), Lines{"NOP"});
  EXPECT_EQ(run("\n ; c\n.LIST OFF\nNOP\n", {"-l"}), (Lines{"", " ; c", ".LIST OFF", "NOP"}));
}

TEST_F(LineRun, ContinuationLinesAreJoined) {
  Lines got = run(
      "\tADD.W #1,\\\\ ; first comment dropped\n"
      "\t   R0  ; last comment kept\n"
      "A\\\\\n"
      " B\\\\\n"
      "C\n"
      "NOP\n");
  EXPECT_EQ(got, (Lines{"\tADD.W #1,R0  ; last comment kept", "ABC", "NOP"}));
  EXPECT_EQ(exit_code_, 0);
}

TEST_F(LineRun, ContinuationStopsBeforeTheLineGrowsBeyond255) {
  // Each physical line adds ten characters.
  std::string source;
  for (int i = 0; i < 200; ++i) source += "ABCDEFGHIJ\\\\\n";
  source += "NOP\n";
  Lines got = run(source);
  auto repeat = [](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "ABCDEFGHIJ";
    return s;
  };
  // Groups of 26 physical lines: 25 fit, the 26th is dropped with the
  // error, which also keeps the joined part from the writer. The last 18
  // lines join with the final line.
  EXPECT_EQ(got, Lines{repeat(18) + "NOP"});
  std::string expected;
  for (int line = 26; line <= 182; line += 26)
    expected += "\nprog.arq " + std::to_string(line) + " Error (zrmackv): Source line is too long\n";
  EXPECT_EQ(output(), expected + "\nprog.arq :\n");
  EXPECT_EQ(exit_code_, 3);
}

TEST_F(LineRun, ContinuationAtTheEndOfTheSource) {
  EXPECT_EQ(run("NOP\\\\"), Lines{"NOP"});
  EXPECT_EQ(exit_code_, 0);
}

TEST_F(LineRun, AJoinedLineMayHoldExactly255Characters) {
  // The second line's leading blanks do not count.
  const std::string head(245, 'A');
  EXPECT_EQ(run(head + "\\\\\n   BCDEFGHIJK\nNOP\n"), (Lines{head + "BCDEFGHIJK", "NOP"}));
  EXPECT_EQ(exit_code_, 0);
  EXPECT_EQ(run(head + "A\\\\\n   BCDEFGHIJK\nNOP\n"), Lines{"NOP"});
  EXPECT_NE(output().find("\nprog.arq 2 Error (zrmackv): Source line is too long\n"),
            std::string::npos);
  EXPECT_EQ(exit_code_, 3);
}

TEST_F(LineRun, EndHandsOverTheErrorLineAndStopsReading) {
  Lines got = run("MOV: NOP\nLAB: .END\nNOP\nR0:\n");
  EXPECT_EQ(got, Lines{"\t._error\t2,0"});
  EXPECT_EQ(exit_code_, 3);
  EXPECT_EQ(output(),
            "\nprog.arq 1 Error (zrmackv): Reserved word is used as label or symbol\n"
            "\nprog.arq 2 Error (zrmackv): Invalid label definition\n"
            "\nprog.arq :\n");
}

TEST_F(LineRun, EndCountsAWarningOfItsOwnLine) {
  std::string long_end = ".END" + std::string(300, ' ');
  EXPECT_EQ(run("NOP\n" + long_end + "\n"), (Lines{"NOP", "\t._error\t0,1"}));
  EXPECT_EQ(exit_code_, 0);
}

TEST_F(LineRun, EndWithAnOperandDoesNotEnd) {
  EXPECT_EQ(run(".END 1\nNOP\n.END ; done\nNOP\n"), (Lines{"NOP", "\t._error\t1,0"}));
}

TEST_F(LineRun, LangEnablesFileAndLine) {
  EXPECT_EQ(run("._lang 'c'\n._FILE 'x.c'\n._LINE 3\n"), (Lines{"._FILE 'x.c'", "._LINE 3"}));
  EXPECT_EQ(exit_code_, 0);
  EXPECT_EQ(run("._LANG 'ASM'\n._FILE 'x.c'\nNOP\n"), Lines{"NOP"});
  EXPECT_EQ(exit_code_, 3);
}

TEST_F(LineRun, ShiftCheckPutsNopBetweenR1HAndImmediateShifts) {
  const std::string nop(kShiftNopLine);
  EXPECT_EQ(run("SHL.W R1H,R0\nSHL.W #2,R0\n", {"-patch1"}),
            (Lines{"SHL.W R1H,R0", nop, "SHL.W #2,R0"}));
  // Without the option nothing is added.
  EXPECT_EQ(run("SHL.W R1H,R0\nSHL.W #2,R0\n"), (Lines{"SHL.W R1H,R0", "SHL.W #2,R0"}));
  // A data directive between them ends the pending state; other lines keep it.
  EXPECT_EQ(run("SHL.W R1H,R0\n.BYTE 1\nSHL.W #2,R0\n", {"-patch1"}),
            (Lines{"SHL.W R1H,R0", ".BYTE 1", "SHL.W #2,R0"}));
  EXPECT_EQ(run("sha.l r1h,R0\nLAB:\n.ALIGN\nrot.b #1,R0\n", {"-patch1"}),
            (Lines{"sha.l r1h,R0", "LAB:", ".ALIGN", nop, "rot.b #1,R0"}));
  // A negative count, ROT.L and other mnemonics set no immediate shift.
  EXPECT_EQ(run("SHL.W R1H,R0\nSHL.W #-1,R0\nSHL.W #2,R0\n", {"-patch1"}),
            (Lines{"SHL.W R1H,R0", "SHL.W #-1,R0", "SHL.W #2,R0"}));
  EXPECT_EQ(run("SHA.B R1H,R0\nROT.L #1,R0\n", {"-patch1"}),
            (Lines{"SHA.B R1H,R0", "ROT.L #1,R0"}));
  EXPECT_EQ(run("SHA.B R1H,R0\nNOP\nSHA #1,R0\n", {"-patch1"}),
            (Lines{"SHA.B R1H,R0", "NOP", "SHA #1,R0"}));
  // A shift by another register, or with a size no shift has, ends the
  // pending state too.
  EXPECT_EQ(run("SHL.W R1H,R0\nSHL.W R0L,R1\nSHL.W #2,R0\n", {"-patch1"}),
            (Lines{"SHL.W R1H,R0", "SHL.W R0L,R1", "SHL.W #2,R0"}));
  EXPECT_EQ(run("SHL.W R1H,R0\nSHL.X R1H,R1\nSHL.W #2,R0\n", {"-patch1"}),
            (Lines{"SHL.W R1H,R0", "SHL.X R1H,R1", "SHL.W #2,R0"}));
  // Every data directive ends it; lines of a region not assembled do not.
  for (const char* data : {".ADDR 1", ".DOUBLE 1", ".FLOAT 1", ".LWORD 1", ".ORG 0", ".WORD 1"})
    EXPECT_EQ(run(std::string("SHL.W R1H,R0\n") + data + "\nSHL.W #2,R0\n", {"-patch1"}),
              (Lines{"SHL.W R1H,R0", data, "SHL.W #2,R0"}))
        << data;
  EXPECT_EQ(run("SHL.W R1H,R0\n.IF 0\nNOP\n.BYTE 1\n.ENDIF\nSHL.W #2,R0\n", {"-patch1"}),
            (Lines{"SHL.W R1H,R0", nop, "SHL.W #2,R0"}));
  // Without a size the first operand is the count; an undefined symbol
  // counts as 0.
  EXPECT_EQ(run("SHL R1H,R0\n.SECTION P\nSHL R1H,R0\nSHL #UNKNOWN,R0\n", {"-patch1"}),
            (Lines{"SHL R1H,R0", ".SECTION P", "SHL R1H,R0", nop, "SHL #UNKNOWN,R0"}));
}

TEST_F(LineRun, ShiftCheckNopComesEvenWhenTheLineFails) {
  const std::string nop(kShiftNopLine);
  EXPECT_EQ(run("SHL.W R1H,R0\nSHL:SHL.W #2,R0\n", {"-patch1"}),
            (Lines{"SHL.W R1H,R0", nop}));
}

}  // namespace

namespace {

// Lines handed straight to line_process, with state set up by hand for the
// situations that other directives create.
class Direct : public ::testing::Test {
 protected:
  Direct() : run(stdout, &writer) { load_reserved_words(run); }
  // Processes one line; returns the pending message code.
  int process(const std::string& line) {
    run.messages.code = 0;
    run.source.line = line;
    line_process(run);
    return run.messages.code;
  }
  CapturingLineWriter writer;
  zrmackv::Run run;
};

TEST_F(Direct, EndInAnIncludeFileOnlyWarns) {
  run.source.depth = 1;
  EXPECT_EQ(process(".END"), W_END_IN_INCLUDE);
  EXPECT_EQ(run.messages.cls, MSG_WARNING);
  EXPECT_TRUE(writer.lines.empty());
  EXPECT_FALSE(run.source.end_seen);
  EXPECT_FALSE(run.end_executed);
}

TEST_F(Direct, EndClosesOpenBlocksAndCountsItsOwnError) {
  run.conditions.if_nesting = 3;
  run.macro.define_nest = 2;
  run.macro.rep_define_nest = 1;
  run.messages.error_count = 4;
  run.messages.warning_count = 2;
  EXPECT_EQ(process("  .end"), E_NO_ENDIF);
  EXPECT_EQ(run.conditions.if_nesting, 0u);
  EXPECT_EQ(run.macro.define_nest, 0u);
  EXPECT_EQ(run.macro.rep_define_nest, 0u);
  EXPECT_EQ(writer.lines, Lines{"\t._error\t5,2"});
  EXPECT_TRUE(run.source.end_seen);
  EXPECT_TRUE(run.end_executed);
}

TEST_F(Direct, EndLeavesLargeCountsOut) {
  run.messages.error_count = 65536;
  run.messages.warning_count = 65535;
  process(".END");
  EXPECT_EQ(writer.lines, Lines{"\t._error\t,65535"});
}

TEST_F(Direct, EndOfSourceChecks) {
  run.macro.current->state = M_DEFINE;
  end_of_source_state_checks(run);
  EXPECT_EQ(run.messages.code, E_NO_ENDM);  // kept: definition mode was left first
  EXPECT_EQ(run.macro.current->state, M_NONE);

  run.messages.code = 0;
  run.macro.current->state = R_DEFINE;
  run.conditions.if_nesting = 1;
  end_of_source_state_checks(run);
  EXPECT_EQ(run.messages.code, E_NO_ENDR);

  run.messages.code = 0;
  run.conditions.assembling = false;
  end_of_source_state_checks(run);
  EXPECT_EQ(run.messages.code, E_NO_ENDIF);
  EXPECT_TRUE(run.conditions.assembling);

  run.messages.code = 0;
  run.conditions.if_nesting = 0;
  end_of_source_state_checks(run);
  EXPECT_EQ(run.messages.code, 0);
}

TEST_F(Direct, LinesOfABlockNotAssembled) {
  run.conditions.assembling = false;
  EXPECT_EQ(process("LAB: NOP"), 0);
  EXPECT_EQ(process("NOP .MACRO"), 0);
  EXPECT_EQ(process(".END"), 0);
  EXPECT_EQ(process("X .GLB Y"), 0);
  EXPECT_EQ(process(".LIST MAYBE"), 0);
  EXPECT_EQ(run.symbols.find("LAB"), nullptr);
  EXPECT_FALSE(run.end_executed);
  // Conditional directives still have their name field checked; defining
  // directives still refuse a reserved word in the name field.
  EXPECT_EQ(process("LAB: .ENDIF"), E_INVALID_LABEL);
  EXPECT_EQ(process("X .else"), E_INVALID_SYMBOL_DEFINITION);
  EXPECT_EQ(process("R0 .EQU 1"), E_RESERVED_WORD_USED);
  EXPECT_TRUE(writer.lines.empty());
  run.settings.listing = true;
  process("NOP");
  process("");
  EXPECT_EQ(writer.lines, (Lines{"NOP", ""}));
}

TEST_F(Direct, BodiesBeingRecordedAreNotProcessed) {
  run.macro.current->state = M_DEFINE;
  EXPECT_EQ(process("MOV: NOP"), 0);
  EXPECT_EQ(process(".END"), 0);
  EXPECT_EQ(process("A\\\\"), 0);  // no continuation while recording
  EXPECT_EQ(process(""), 0);
  EXPECT_FALSE(run.end_executed);
  EXPECT_EQ(writer.lines, (Lines{"MOV: NOP", ".END", "A\\\\"}));
  writer.lines.clear();
  run.macro.current->state = R_DEFINE;
  run.settings.listing = true;
  process("NOP");
  process("");
  EXPECT_TRUE(writer.lines.empty());
}

TEST_F(Direct, RestOfAnExitedExpansionPassesUnprocessed) {
  run.macro.current->state = M_EXIT;
  EXPECT_EQ(process("MOV: NOP"), 0);
  EXPECT_EQ(process(".END"), 0);
  EXPECT_EQ(process(".ELSE"), 0);
  EXPECT_FALSE(run.end_executed);
  EXPECT_EQ(writer.lines, (Lines{"MOV: NOP", ".END", ".ELSE"}));
  // With a conditional block open, conditional directives are dispatched.
  run.conditions.if_nesting = 1;
  EXPECT_EQ(process("LAB: .ELSE"), E_INVALID_LABEL);
  EXPECT_EQ(writer.lines.size(), 3u);
}

TEST_F(Direct, LangCheckOnlyForTheFirstStatement) {
  EXPECT_EQ(process("._LANG C"), E_QUOTE_MISSING);
  EXPECT_EQ(run.messages.argument, "C");
  EXPECT_FALSE(run.line.lang_accepted);
  EXPECT_EQ(process("._LANG 'C'"), E_ILLEGAL_DIRECTIVE);
  EXPECT_FALSE(run.line.lang_accepted);

  run.line.first_statement_seen = false;
  EXPECT_EQ(process("._LANG \"C"), E_RIGHT_QUOTE_MISSING);
  run.line.first_statement_seen = false;
  EXPECT_EQ(process("._LANG,'C'"), E_ILLEGAL_DIRECTIVE);  // an ordinary ._LANG line
  run.line.first_statement_seen = false;
  EXPECT_EQ(process("   ; a comment is an empty statement"), 0);
  EXPECT_EQ(process("._LANG 'C'"), E_ILLEGAL_DIRECTIVE);
  run.line.first_statement_seen = false;
  EXPECT_EQ(process("._Lang\t\"c\" ; C source"), 0);
  EXPECT_TRUE(run.line.lang_accepted);
  EXPECT_TRUE(writer.lines.empty());
  EXPECT_EQ(process("._LINE 1"), 0);
  EXPECT_EQ(process("X ._FILE 'a'"), E_INVALID_SYMBOL_DEFINITION);
  EXPECT_EQ(writer.lines, Lines{"._LINE 1"});
}

TEST_F(Direct, ListSwitchUnderTheListOption) {
  run.settings.listing = true;
  EXPECT_EQ(process(".LIST off"), 0);
  EXPECT_FALSE(run.directives.listing_on);
  EXPECT_EQ(process(".LIST ON\t ; x"), 0);
  EXPECT_TRUE(run.directives.listing_on);
  EXPECT_EQ(process(".LIST ON,OFF"), E_ILLEGAL_OPERAND);
  EXPECT_EQ(process(".LIST OFF X"), E_NO_SEMICOLON);
  EXPECT_EQ(process(".LIST   "), E_OPERAND_NOT_ENOUGH);
  EXPECT_TRUE(run.directives.listing_on);
  EXPECT_EQ(writer.lines, (Lines{".LIST off", ".LIST ON\t ; x"}));
}

TEST_F(Direct, SectionMarkNeedsNoNameField) {
  process("P .SECTION P");
  EXPECT_FALSE(run.directives.section_mark);
  process(".SECTION P");
  EXPECT_TRUE(run.directives.section_mark);
  process(".END");
  EXPECT_FALSE(run.directives.section_mark);
  EXPECT_EQ(writer.lines, (Lines{"P .SECTION P", ".SECTION P", "\t._error\t0,0"}));
}

}  // namespace
