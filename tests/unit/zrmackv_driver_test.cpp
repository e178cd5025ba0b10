// In-process runs of the macro processor: the console interrupt, the source
// reader's include stack, the pending-message rules with the listing and tag
// copies of diagnostics, and the environment settings.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/host.h"
#include "zrmackv_run_folder.h"
#include "zrmackv/line_writer.h"
#include "zrmackv/options.h"
#include "zrmackv/run.h"
#include "zrmackv/zrmackv.h"

namespace fs = std::filesystem;
using namespace zrmackv;
using zrmackv_test::RunFolder;

namespace {

// Asks for an interrupt when it is handed the given line, as Ctrl+C would
// between two lines.
class InterruptingWriter : public LineWriter {
 public:
  explicit InterruptingWriter(std::string trigger) : trigger_(std::move(trigger)) {}
  void write_line(std::string_view line) override {
    lines.emplace_back(line);
    if (line == trigger_) host::request_interrupt();
  }
  std::vector<std::string> lines;

 private:
  std::string trigger_;
};

}  // namespace

TEST_F(RunFolder, InterruptStopsInOrderAndKeepsTheFiles) {
  write("prog.arq", "\tNOP\n\tSTOP\n\tNEVER\n");
  InterruptingWriter writer("\tSTOP");
  int code = run_zrmackv({"-t", "prog"}, {}, out_, &writer);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(output(), "\n");  // no dependency listing
  EXPECT_EQ(writer.lines, (std::vector<std::string>{"\tNOP", "\tSTOP"}));
  EXPECT_TRUE(fs::exists("prog.mrq"));
  EXPECT_TRUE(fs::exists("prog.atg"));
}

// The over-long-line warning (code 6) is copied without its source line.
TEST_F(RunFolder, ListingCopiesDiagnosticsIntoTheOutputFile) {
  std::string long_line(300, 'x');
  write("prog.arq", long_line + "\n\tSTOP\n\tNEVER\n");
  InterruptingWriter writer("\tSTOP");
  EXPECT_EQ(run_zrmackv({"-l", "prog"}, {}, out_, &writer), 1);
  EXPECT_EQ(read("prog.mrq"), "prog.arq 1 Warning (zrmackv): Source line exceeds 256 characters\n");
}

TEST_F(RunFolder, TwoRunsInOneProcessShareNothing) {
  write("a.arq", std::string(300, 'a') + "\n");
  write("b.arq", "\tNOP\n");
  EXPECT_EQ(run_zrmackv({"-dX=1", "a"}, {}, out_), 0);
  EXPECT_EQ(run_zrmackv({"b"}, {}, out_), 0);
  EXPECT_EQ(output(),
            "\na.arq 1 Warning (zrmackv): Source line exceeds 256 characters\n\na.arq :\n"
            "\nb.arq :\n");
}

TEST_F(RunFolder, AnUnwritableStandardOutputIsNoSuccess) {
  write("ok.arq", "\tNOP\n");
  write("bad.arq", "\t.ENDIF\n");
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(run_zrmackv({"ok"}, {}, full), 2);
  std::clearerr(full);
  EXPECT_EQ(run_zrmackv({"bad"}, {}, full), 2);
  std::clearerr(full);
  EXPECT_EQ(run_zrmackv({}, {}, full), 4);  // a set-up fatal keeps its own code
  std::fclose(full);
}

TEST_F(RunFolder, IncludeEndResumesTheIncludingFile) {
  write("main.arq", "one\ntwo\nthree\n");
  write("inc/a.inc", "a1\na2\n");
  write("inc/b.inc", "b1\n");
  zrmackv::Run run(out_, nullptr);
  run.settings.source_name = "main.arq";
  run.source.source_file = src_fopen(run, "main.arq", "rb", run.source.source_state);
  run.source.current = run.source.source_file;
  run.source.current_file = "main.arq";

  std::vector<std::string> seen;
  auto next = [&] {
    if (!src_getline(run)) return false;
    seen.push_back(run.source.current_file + ":" + std::to_string(run.source.line_no) + ":" +
                   run.source.line);
    return true;
  };
  ASSERT_TRUE(next());  // one
  int state_a = 0;
  std::FILE* a = src_fopen(run, "inc\\a.inc", "rb", state_a);
  ASSERT_NE(a, nullptr);
  src_include_push(run, a, "inc\\a.inc");
  ASSERT_TRUE(next());  // a1
  int state_b = 0;
  std::FILE* b = src_fopen(run, "inc\\b.inc", "rb", state_b);
  src_include_push(run, b, "inc\\b.inc");
  while (next()) {
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"main.arq:1:one", "inc\\a.inc:1:a1",
                                            "inc\\b.inc:1:b1", "inc\\a.inc:2:a2",
                                            "main.arq:2:two", "main.arq:3:three"}));
  EXPECT_EQ(run.source.depth, 0);
  src_close_all(run);
}

TEST_F(RunFolder, AFileIsNotOpenedTwiceThroughOneOpenState) {
  write("x.arq", "x\n");
  zrmackv::Run run(out_, nullptr);
  int state = FILE_NEVER_OPENED;
  std::FILE* f = src_fopen(run, "x.arq", "rb", state);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(state, FILE_OPEN);
  EXPECT_EQ(src_fopen(run, "x.arq", "rb", state), nullptr);
  src_fclose(run, f, state);
  EXPECT_EQ(state, FILE_CLOSED);
  src_fclose(run, f, state);  // closing again is harmless
  EXPECT_EQ(state, FILE_CLOSED);
}

namespace {

// A run positioned on line 12 of prog.arq, for raising and printing messages
// directly.
class MessageRun : public RunFolder {
 protected:
  void SetUp() override {
    RunFolder::SetUp();
    std::fclose(out_);
    out_ = run_out_;  // output() reads what the run prints
    run_.source.current_file = "prog.arq";
    run_.source.line_no = 12;
  }
  // What message_print writes on standard output.
  std::string print() {
    std::string before = output();
    message_print(run_);
    return output().substr(before.size());
  }
  std::FILE* run_out_ = std::tmpfile();
  zrmackv::Run run_{run_out_, nullptr};
};

const char* const kIllegalOperand = "\nprog.arq 12 Error (zrmackv): Illegal operand is used\n";

}  // namespace

TEST_F(MessageRun, OnePendingMessageByPrecedence) {
  EXPECT_EQ(print(), "");  // nothing pending

  message_set(run_, W_LINE_EXCEEDS, "256", MSG_WARNING);
  message_set(run_, E_ILLEGAL_OPERAND, "", MSG_ERROR);
  EXPECT_EQ(print(), kIllegalOperand);

  message_set(run_, E_ILLEGAL_OPERAND, "", MSG_ERROR);
  message_set(run_, W_LINE_EXCEEDS, "256", MSG_WARNING);  // never displaces an error
  EXPECT_EQ(print(), kIllegalOperand);

  message_set(run_, E_INVALID_LABEL, "", MSG_ERROR);
  message_set(run_, E_ILLEGAL_OPERAND, "", MSG_ERROR);  // a later error replaces
  EXPECT_EQ(print(), kIllegalOperand);

  message_set(run_, W_STRING_TOO_LONG, "abc", MSG_WARNING);
  message_set(run_, W_LINE_EXCEEDS, "256", MSG_WARNING);
  EXPECT_EQ(print(), "\nprog.arq 12 Warning (zrmackv): Source line exceeds 256 characters\n");
  EXPECT_EQ(print(), "");  // printing clears it

  // A warning prints the catalogue entry after its code.
  message_set(run_, W_END_IN_INCLUDE, "", MSG_WARNING);
  EXPECT_EQ(print(), "\nprog.arq 12 Warning (zrmackv): .END statement is in include file\n");
  message_set(run_, E_CANT_OPEN_INCLUDE, "x.inc", MSG_ERROR);
  EXPECT_EQ(print(), "\nprog.arq 12 Error (zrmackv): Can't open include file 'x.inc'\n");

  EXPECT_EQ(run_.messages.error_count, 4u);
  EXPECT_EQ(run_.messages.warning_count, 2u);
}

TEST_F(MessageRun, QuietModeAndBodyDefinitionDropMessages) {
  run_.messages.quiet = true;
  message_set(run_, E_ILLEGAL_OPERAND, "", MSG_ERROR);
  EXPECT_EQ(print(), "");
  run_.messages.quiet = false;

  for (int state : {M_DEFINE, R_DEFINE}) {
    run_.macro.current->state = state;
    message_set(run_, E_ILLEGAL_OPERAND, "", MSG_ERROR);
    message_set(run_, W_STRING_TOO_LONG, "abc", MSG_WARNING);
    EXPECT_EQ(print(), "") << state;
    message_set(run_, W_LINE_EXCEEDS, "256", MSG_WARNING);
    EXPECT_EQ(print(), "\nprog.arq 12 Warning (zrmackv): Source line exceeds 256 characters\n");
    message_set(run_, E_TOO_MANY_MACRO_NESTING, "", MSG_ERROR);
    EXPECT_EQ(print(), "\nprog.arq 12 Error (zrmackv): Too many macro nesting\n");
  }
  // While a body is expanded, messages count again.
  run_.macro.current->state = M_EXPAND;
  message_set(run_, E_ILLEGAL_OPERAND, "", MSG_ERROR);
  EXPECT_EQ(print(), kIllegalOperand);
}

TEST_F(MessageRun, ParameterCountWarningsPointAtTheCall) {
  run_.macro.current->state = M_EXPAND;
  run_.macro.current->caller_file = "inc\\call.inc";
  run_.macro.current->caller_line = 7;
  message_set(run_, W_TOO_MANY_ACTUAL_PARAMS, "", MSG_WARNING);
  EXPECT_EQ(print(), "\ninc\\call.inc 7 Warning (zrmackv): Too many actual macro parameters\n");
  message_set(run_, W_ACTUAL_PARAMS_NOT_ENOUGH, "", MSG_WARNING);
  EXPECT_EQ(print(), "\ninc\\call.inc 7 Warning (zrmackv): Actual macro parameters are not enough\n");
  // Every other message keeps the reader's position.
  message_set(run_, W_STRING_TOO_LONG, "abc", MSG_WARNING);
  EXPECT_EQ(print(), "\nprog.arq 12 Warning (zrmackv): String 'abc' is too long\n");
}

TEST_F(MessageRun, FatalMessagesStopWithTheirExitCodes) {
  message_set(run_, F_INVALID_OPTION, "-vx", MSG_SETUP_FATAL);
  try {
    message_print(run_);
    ADD_FAILURE() << "no stop";
  } catch (const FatalStop& stop) {
    EXPECT_EQ(stop.exit_code, 4);
  }
  EXPECT_EQ(output(), "\nError (zrmackv): Invarid option '-vx' is used\n");

  // A run-time fatal stop wins over a pending error, quiet mode and a body
  // being defined: a file that cannot be opened is never silently skipped.
  run_.macro.current->state = M_DEFINE;
  run_.messages.quiet = true;
  message_set(run_, E_ILLEGAL_OPERAND, "", MSG_ERROR);
  std::string before = output();
  try {
    fatal_stop(run_, F_CANT_CREATE, "out\\prog.mrq");
  } catch (const FatalStop& stop) {
    EXPECT_EQ(stop.exit_code, 2);
  }
  EXPECT_EQ(output().substr(before.size()), "\nError (zrmackv): Can't create file 'out\\prog.mrq'\n");
}

// Under -l each diagnostic also goes into the output file, after the line it
// was found on when its code is 7 or more and the source is still being read;
// the tag file gets the lines of standard output without the empty lines.
TEST_F(MessageRun, ListingAndTagCopies) {
  run_.settings.listing = true;
  run_.files.output = src_fopen(run_, "prog.mrq", "wb", run_.files.output_state);
  run_.files.tag = src_fopen(run_, "prog.atg", "wb", run_.files.tag_state);
  ASSERT_NE(run_.files.output, nullptr);
  ASSERT_NE(run_.files.tag, nullptr);
  run_.source.line = "\tBAD 1";

  message_set(run_, W_LINE_EXCEEDS, "256", MSG_WARNING);
  message_print(run_);
  message_set(run_, W_END_IN_INCLUDE, "", MSG_WARNING);
  message_print(run_);
  message_set(run_, E_ILLEGAL_OPERAND, "", MSG_ERROR);
  message_print(run_);
  run_.end_checks_begun = true;
  run_.source.line = "\tLAST";
  message_set(run_, E_NO_ENDIF, "", MSG_ERROR);
  message_print(run_);
  EXPECT_TRUE(run_.messages.tag_received);
  src_fclose(run_, run_.files.output, run_.files.output_state);
  src_fclose(run_, run_.files.tag, run_.files.tag_state);

  const std::string diagnostics =
      "prog.arq 12 Warning (zrmackv): Source line exceeds 256 characters\n"
      "prog.arq 12 Warning (zrmackv): .END statement is in include file\n"
      "prog.arq 12 Error (zrmackv): Illegal operand is used\n"
      "prog.arq 12 Error (zrmackv): No .ENDIF statement\n";
  EXPECT_EQ(read("prog.atg"), diagnostics);
  EXPECT_EQ(read("prog.mrq"),
            "prog.arq 12 Warning (zrmackv): Source line exceeds 256 characters\n"
            "\tBAD 1\n"
            "prog.arq 12 Warning (zrmackv): .END statement is in include file\n"
            "\tBAD 1\n"
            "prog.arq 12 Error (zrmackv): Illegal operand is used\n"
            "prog.arq 12 Error (zrmackv): No .ENDIF statement\n");
}

// INCKV pieces get a "\" unless they end in a separator or a drive colon; an
// empty piece is the entry "\". TMPKV likewise.
TEST(ZrmackvEnvironment, IncludeAndTemporaryDirectories) {
  zrmackv::Run run(stdout, nullptr);
  read_environment(run, {{"INCKV", "a;;b\\;c:;d/;"}, {"TMPKV", "tmp"}});
  EXPECT_EQ(run.settings.include_paths,
            (std::vector<std::string>{"a\\", "\\", "b\\", "c:", "d/", "\\"}));
  EXPECT_EQ(run.settings.temp_dir, "tmp\\");

  zrmackv::Run unset(stdout, nullptr);
  read_environment(unset, {});
  EXPECT_TRUE(unset.settings.include_paths.empty());
  EXPECT_EQ(unset.settings.temp_dir, "");
  zrmackv::Run drive(stdout, nullptr);
  read_environment(drive, {{"TMPKV", "D:"}});
  EXPECT_EQ(drive.settings.temp_dir, "D:");
}

// A line replayed from a stored body is taken as it is (no cleaning) and
// diagnostics on it carry the position stored with it.
TEST_F(MessageRun, ReplayedLinesCarryTheirStoredPosition) {
  write("prog.arq", "m1\n");
  run_.source.source_file = src_fopen(run_, "prog.arq", "rb", run_.source.source_state);
  run_.source.current = run_.source.source_file;
  StoredLine end;
  end.has_text = false;
  StoredLine q2{true, "q2\r", "inc\\defs.inc", 41, &end};
  StoredLine q1{true, "q1", "inc\\defs.inc", 40, &q2};
  run_.macro.current->state = M_EXPAND;
  run_.macro.macro_cursor = &q1;

  ASSERT_TRUE(src_getline(run_));
  EXPECT_EQ(run_.source.line, "q1");
  message_set(run_, E_ILLEGAL_OPERAND, "", MSG_ERROR);
  EXPECT_EQ(print(), "\ninc\\defs.inc 40 Error (zrmackv): Illegal operand is used\n");
  ASSERT_TRUE(src_getline(run_));
  EXPECT_EQ(run_.source.line, "q2\r");
  EXPECT_EQ(run_.source.line_no, 41u);
  EXPECT_EQ(run_.source.line_count, 0u);  // replayed lines are not read from a file
  src_close_all(run_);
}
