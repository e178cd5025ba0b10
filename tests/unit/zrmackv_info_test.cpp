// The information file: the macro and condition sections of the per-line
// block, the allocation log of +infom, the handles of the traces, the
// message and file traces, and a trace that can no longer be written.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "zrmackv/run.h"
#include "zrmackv/zrmackv.h"
#include "zrmackv_run_folder.h"

using namespace zrmackv;
using zrmackv_test::RunFolder;

namespace {

// A run whose information file is a temporary file, read back as text.
class InfoTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    run_.info.file = std::tmpfile();
    run_.info.active = true;
  }
  void TearDown() override {
    if (run_.info.file) std::fclose(run_.info.file);
    // A test may point the engine at a record of its own; the run's teardown
    // releases only records the engine pushed.
    run_.macro.current = &run_.macro.bottom;
  }
  std::string trace() {
    std::FILE* f = run_.info.file;
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fseek(f, 0, SEEK_END);
    return text;
  }
  // The block of the current line without its first line (the counter).
  std::string block() {
    std::string text = trace();
    return text.substr(text.find('\n') + 1);
  }
  void at_line(const char* file, std::uint32_t line_no, const char* text) {
    run_.source.current_file = file;
    run_.source.line_no = line_no;
    run_.source.line = text;
  }

  zrmackv::Run run_{stdout, nullptr};
};

// Program places depend on the build; compare them as UNIT(#).
std::string masked(const std::string& text) {
  static const std::regex place(R"(([A-Za-z_]+\.cpp)\(\d+\))");
  return std::regex_replace(text, place, "$1(#)");
}

TEST_F(InfoTrace, LineCounterIncludeLevelAndSourceLine) {
  run_.source.line_count = 42;
  run_.source.depth = 2;
  at_line("inc\\a.inc", 7, "\tNOP");
  info_line_block(run_);
  EXPECT_EQ(trace(),
            "-------------------- line[   42] --------------------\n"
            "include nesting level = 2\n"
            "Source line --> inc\\a.inc(7)[\tNOP]\n");
}

TEST_F(InfoTrace, CustomMacroExpansionSection) {
  MacExp expansion;
  expansion.state = M_EXPAND;
  expansion.act_count = 3;
  expansion.caller_file = "prog.arq";
  expansion.caller_line = 12;
  run_.macro.current = &expansion;
  at_line("defs.inc", 4, "\tMOV.W\t#1,R0");
  info_line_block(run_);
  EXPECT_EQ(block(),
            "== Now custom macro expantion ==\n"
            "macro expantion nesting level = 0\n"
            "macro JITSU-hikisuu number = 3  macro KARI-hikisuu number = 0\n"
            "macro call  = prog.arq(12)\n"
            "macro define = defs.inc(4)\n"
            "=====\n"
            "Source line --> defs.inc(4)[\tMOV.W\t#1,R0]\n");
}

TEST_F(InfoTrace, DefinitionSections) {
  run_.macro.bottom.state = M_DEFINE;
  run_.macro.define_nest = 2;
  at_line("p.arq", 1, "x");
  info_line_block(run_);
  EXPECT_EQ(block(),
            "== Now custom macro define ==\n"
            "macro expantion nesting level = 0\n"
            "define nesting level = 2\n"
            "=====\n"
            "Source line --> p.arq(1)[x]\n");

  std::fclose(run_.info.file);
  run_.info.file = std::tmpfile();
  run_.macro.bottom.state = R_DEFINE;
  run_.macro.rep_define_nest = 1;
  info_line_block(run_);
  EXPECT_EQ(block(),
            "== Now repeat macro define ==\n"
            "macro expantion nesting level = 0\n"
            "define nesting level = 2  repeat define nesting level = 1\n"
            "=====\n"
            "Source line --> p.arq(1)[x]\n");
}

TEST_F(InfoTrace, RepeatAndEarlyExitSections) {
  struct Case {
    int state;
    const char* section;
  };
  const Case cases[] = {
      {R_EXPAND,
       "== Now repeat macro expantion ==\n"
       "macro expantion nesting level = 0\n"
       "now repeat number = 5   final repeat number = 0\n"
       "=====\n"},
      {M_EXIT,
       "== Now .EXITM execute in custom macro ==\n"
       "macro expantion nesting level = 0\n"
       "macro call  = c.arq(9)\n"
       "macro define = p.arq(1)\n"
       "=====\n"},
      {R_EXIT,
       "== Now .EXITM execute in repeat macro ==\n"
       "macro expantion nesting level = 0\n"
       "=====\n"},
      {M_NONE, ""},
  };
  for (const Case& c : cases) {
    std::fclose(run_.info.file);
    run_.info.file = std::tmpfile();
    run_.macro.bottom = MacExp{};
    run_.macro.bottom.state = c.state;
    run_.macro.bottom.rep_now = 5;
    run_.macro.bottom.caller_file = "c.arq";
    run_.macro.bottom.caller_line = 9;
    at_line("p.arq", 1, "x");
    info_line_block(run_);
    EXPECT_EQ(block(), std::string(c.section) + "Source line --> p.arq(1)[x]\n") << c.state;
  }
}

TEST_F(InfoTrace, ConditionSectionNamesTheInnermostBlock) {
  at_line("p.arq", 3, "y");
  Conditions& c = run_.conditions;
  info_line_block(run_);
  EXPECT_EQ(block(), "Source line --> p.arq(3)[y]\n");  // outside any block

  const struct {
    std::uint8_t type;
    bool assembling;
    const char* header;
    const char* status;
  } cases[] = {
      {BLOCK_IF, true, "=== Now .IF block  ===\n", "TRUE"},
      {BLOCK_ELIF, false, "== Now .ELIF block  ==\n", "FALSE"},
      {BLOCK_ELSE, true, "== Now .ELSE block  ==\n", "TRUE"},
  };
  for (const auto& k : cases) {
    std::fclose(run_.info.file);
    run_.info.file = std::tmpfile();
    c.if_nesting = 2;
    c.blocks.push_back(CondBlock{k.type, k.assembling, false, false});
    c.assembling = k.assembling;
    info_line_block(run_);
    EXPECT_EQ(block(), std::string(k.header) + "nesting number = 2  now line status = " +
                           k.status + "\n=====\nSource line --> p.arq(3)[y]\n");
  }
}

TEST_F(InfoTrace, ErrorsAndFatalsAreTracedEvenInQuietModeButWarningsAreNot) {
  run_.messages.quiet = true;
  message_set(run_, E_ILLEGAL_OPERAND, {}, MSG_ERROR);
  message_set(run_, W_LINE_EXCEEDS, "256", MSG_WARNING);
  message_set(run_, F_INVALID_OPTION, "-x", MSG_SETUP_FATAL);
  message_set(run_, F_CANT_OPEN, "a.arq", MSG_FATAL);
  EXPECT_EQ(masked(trace()),
            "zrmackv_info_test.cpp(#) ERROR : Illegal operand is used\n"
            "zrmackv_info_test.cpp(#) ERROR : Can't open file 'a.arq'\n");
  EXPECT_EQ(run_.messages.code, 0);  // quiet mode kept them from pending
}

TEST_F(InfoTrace, ReplayedLinesPrintStableHandles) {
  StoredLine second{true, "\tNOP", "m.arq", 2, nullptr};
  StoredLine first{true, "\tMOV.W\t#1,R0", "m.arq", 1, &second};
  StoredLine end{false, "", "", 0, nullptr};
  second.next = &end;
  for (int pass = 0; pass < 2; ++pass) {
    run_.macro.macro_cursor = &first;
    ASSERT_TRUE(src_fgets(run_));
    ASSERT_TRUE(src_fgets(run_));
    EXPECT_EQ(run_.source.line, "\tNOP");
  }
  EXPECT_EQ(trace(),
            " src_fgets() ---> [1], line_data[2], f_name[3]\n"
            " src_fgets() ---> [4], line_data[5], f_name[6]\n"
            " src_fgets() ---> [1], line_data[2], f_name[3]\n"
            " src_fgets() ---> [4], line_data[5], f_name[6]\n");
}

TEST_F(InfoTrace, FileWrappersTraceRefusedOpensAndCloses) {
  int state = FILE_OPEN;
  std::FILE* file = nullptr;
  EXPECT_EQ(src_fopen(run_, "a.arq", "rb", state), nullptr);
  state = FILE_NEVER_OPENED;
  src_fclose(run_, file, state);
  EXPECT_EQ(masked(trace()),
            "zrmackv_info_test.cpp(#) [a.arq] Can't file open(already open)\n"
            "zrmackv_info_test.cpp(#) Can't file close(not open)\n");
}

TEST_F(InfoTrace, AllocationLogRunsATotalThatReleasesDoNotLower) {
  run_.info.track_memory = true;
  int a = 0;
  int b = 0;
  info_mem_alloc(run_, &a, 10);
  info_mem_alloc(run_, &b, 5);
  info_mem_free(run_, &a);
  info_mem_alloc(run_, &a, 7);  // the same address again: a fresh handle
  EXPECT_EQ(masked(trace()),
            "memory alloc 10/10[1] : zrmackv_info_test.cpp(#)\n"
            "memory alloc 5/15[2] : zrmackv_info_test.cpp(#)\n"
            "memory free [1] : zrmackv_info_test.cpp(#)\n"
            "memory alloc 7/22[3] : zrmackv_info_test.cpp(#)\n");
  EXPECT_EQ(run_.info.alloc_total, 22u);
}

TEST_F(InfoTrace, WithoutTrackingNothingIsWrittenButTheTotalStillGrows) {
  int a = 0;
  info_mem_alloc(run_, &a, 10);
  info_mem_free(run_, &a);
  run_.info.track_memory = true;
  run_.info.active = false;
  info_mem_alloc(run_, &a, 4);
  EXPECT_EQ(trace(), "");
  EXPECT_EQ(run_.info.alloc_total, 14u);
}

TEST_F(InfoTrace, MacroEngineTraceTexts) {
  int node = 0, text = 0, name = 0, header = 0;
  info_macro_define(run_.info, &node, &text, &name);
  info_old_macro_define(run_.info, &header);
  info_mac_redefine_free(run_.info, &node, "m.arq", 3, "\tNOP");
  info_mac_para_chg(run_.info, 2, 3);
  info_mac_para_chg_done(run_.info, "\tMOV.W\t#1,R0");
  info_mac_para_chg_before(run_.info, 1, 0);
  info_mac_exp_underflow(run_.info);
  info_string_function(run_.info, "X .EQU 3");
  EXPECT_EQ(trace(),
            "macro_define() ---> [1], line_data[2], f_name[3]\n"
            " old macro define point [4]\n"
            "mac redefine free [1], m.arq(3)[\tNOP]\n"
            "== mac_para_chg() ==\n"
            "macexp->para_act[2] macexp->para_frm[3]\n"
            "--> \tMOV.W\t#1,R0\n"
            "== mac_para_chg() ==\n"
            "macexp->before->para_act[1] macexp->before->para_frm[0]\n"
            "***** mac_exp_cnt underflow *****\n"
            "---> X .EQU 3\n");
}

// A trace that can no longer be written (a full disk) changes nothing in
// the run: no crash, no stop, and the close still happens.
TEST_F(InfoTrace, WriteFailuresAfterTheHeaderAreIgnored) {
  std::fclose(run_.info.file);
  run_.info.file = std::fopen("/dev/full", "w");
  ASSERT_NE(run_.info.file, nullptr);
  run_.info.file_state = FILE_OPEN;
  run_.info.track_memory = true;
  at_line("p.arq", 1, std::string(300, 'x').c_str());
  info_line_block(run_);
  info_mem_alloc(run_, &run_, 8);
  message_set(run_, E_ILLEGAL_OPERAND, {}, MSG_ERROR);
  info_close(run_);
  EXPECT_FALSE(run_.info.active);
  EXPECT_EQ(run_.info.file, nullptr);
  EXPECT_EQ(run_.messages.code, E_ILLEGAL_OPERAND);
}

TEST(InfoFilePath, CurrentFolderOrTheTemporaryDirectory) {
  EXPECT_EQ(info_file_path(""), "mackv.inf");
  EXPECT_EQ(info_file_path("tmp\\"), "tmp\\\\mackv.inf");
  EXPECT_EQ(info_file_path("C:"), "C:\\mackv.inf");
}

// Whole runs: the -d values in hexadecimal as 32-bit numbers, the symbol
// entries in the allocation log (those made before the file opened count
// in the total without a line), and a released include level.
TEST_F(RunFolder, DefinesPrintAsThirtyTwoBitHexadecimal) {
  write("p.arq", "");
  EXPECT_EQ(run_zrmackv({"+info", "-dA=80000000H:B=0", "p"}, {}, out_, nullptr, "zr"), 0);
  std::string text = read("mackv.inf");
  EXPECT_NE(text.find("zr +info -dA=80000000H:B=0 p \n INCKV =\n TMPKV =   \n"
                      "-D symbol set\n  A = 80000000\n  B = 0\n---\n"),
            std::string::npos)
      << text;
}

TEST_F(RunFolder, AllocationLogOfSymbolsAndIncludeLevels) {
  write("p.arq", "L1:\tNOP\n\t.INCLUDE a.inc\nLONGER:\tNOP\n");
  write("a.inc", "\tNOP\n");
  EXPECT_EQ(run_zrmackv({"-dX=1", "+infom", "p"}, {}, out_), 0);
  const std::size_t x = sizeof(Symbol) + 2;
  const std::size_t l1 = sizeof(Symbol) + 3;
  const std::size_t path = 6;  // "a.inc" and its end
  const std::size_t level = sizeof(IncludeLevel) + 6;
  const std::size_t longer = sizeof(Symbol) + 7;
  std::size_t total = x + l1;
  std::string expected = "memory alloc " + std::to_string(l1) + "/" + std::to_string(total) +
                         "[1] : statement.cpp(#)\n label_set( L1 )\n";
  std::string text = masked(read("mackv.inf"));
  EXPECT_NE(text.find(expected), std::string::npos) << text;
  total += path;
  expected = "memory alloc 6/" + std::to_string(total) + "[2] : include.cpp(#)\n";
  total += level;
  expected += "memory alloc " + std::to_string(level) + "/" + std::to_string(total) +
              "[3] : source.cpp(#)\n";
  EXPECT_NE(text.find(expected), std::string::npos) << text;
  EXPECT_NE(text.find("file close now\nmemory free [3] : source.cpp(#)\n"), std::string::npos);
  total += longer;
  expected = "memory alloc " + std::to_string(longer) + "/" + std::to_string(total) +
             "[4] : statement.cpp(#)\n label_set( LONGER )\n";
  EXPECT_NE(text.find(expected), std::string::npos) << text;
  EXPECT_EQ(text.find("memory alloc " + std::to_string(x)), std::string::npos);
}

}  // namespace
