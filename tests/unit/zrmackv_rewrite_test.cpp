// The rewriting steps on single lines, with macro states and symbols that
// the end-to-end cases cannot set up yet, and the writers of the output
// file and the line writer around .INCLUDE.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zrmackv/byte_words.h"
#include "zrmackv/include.h"
#include "zrmackv/line_writer.h"
#include "zrmackv/reserved.h"
#include "zrmackv/rewrite.h"
#include "zrmackv/run.h"
#include "zrmackv/symbols.h"
#include "zrmackv/zrmackv.h"

namespace fs = std::filesystem;
using namespace zrmackv;

namespace {

class RewriteLine : public ::testing::Test {
 protected:
  RewriteLine() : out_(std::tmpfile()), run_(out_, nullptr) {
    load_reserved_words(run_);
    run_.settings.source_name = "src\\prog.arq";
    run_.source.current_file = "src\\prog.arq";
  }
  ~RewriteLine() override { std::fclose(out_); }

  std::string apply(void (*step)(zrmackv::Run&), const std::string& line) {
    run_.messages.code = 0;
    run_.messages.argument.clear();
    run_.source.line = line;
    step(run_);
    return run_.source.line;
  }
  int code() const { return run_.messages.code; }

  std::FILE* out_;
  zrmackv::Run run_;
};

TEST_F(RewriteLine, QuotesAndCommentOfTheTemporaryLabelSearch) {
  // A ";" inside single quotes is no comment; a mark inside them counts.
  EXPECT_EQ(apply(tmp_label_set, "?: .ASSERT 'a;b' ?-"), "..tl0001: .ASSERT 'a;b' ..tl0001");
  // A double quote opens a string even inside single quotes.
  EXPECT_EQ(apply(tmp_label_set, "X '\"' ?- "), "X '\"' ?- ");
  EXPECT_EQ(apply(tmp_label_set, "\"a\" ?- ; ?-"), "\"a\" ..tl0001 ; ?-");
  // A definition glued to a word is none; a second one is an error only
  // when it counts.
  EXPECT_EQ(apply(tmp_label_set, "?: A?:"), "..tl0002: A?:");
  EXPECT_EQ(code(), 0);
  apply(tmp_label_set, "?: (?:)");
  EXPECT_EQ(code(), E_INVALID_LABEL);
  EXPECT_EQ(run_.messages.argument, "?:");
  EXPECT_EQ(run_.rewrite.tmp_label_count, 3u);
}

TEST_F(RewriteLine, MacroTimeValuesComeFromTheInnermostContext) {
  MacExp& m = run_.macro.bottom;
  m.state = R_EXPAND;
  m.rep_now = 4;
  m.act_count = 7;
  EXPECT_EQ(apply(mac_name_set, " DB ..MACREP,..MACPARA"), " DB 5,0");
  m.state = M_EXPAND;
  EXPECT_EQ(apply(mac_name_set, " DB ..macrep,..MacPara"), " DB 0,7");
  m.state = M_NONE;
  // "." ends a name, but a name glued to a word before it does not count.
  EXPECT_EQ(apply(mac_name_set, "..MACPARA..MACREP"), "0..MACREP");
}

TEST_F(RewriteLine, MacroTimeNamesAsLabels) {
  apply(mac_name_set, "..MACREP: NOP");
  EXPECT_EQ(code(), E_RESERVED_WORD_USED);
  EXPECT_EQ(run_.messages.argument, "..MACREP");
  // Stops at the error: the later names stay.
  EXPECT_EQ(run_.source.line, "..MACREP: NOP");
  EXPECT_EQ(apply(mac_name_set, "..FILE ..MACPARA: x"), "src\\prog ..MACPARA: x");
  EXPECT_EQ(run_.messages.argument, "..MACPARA");
  // Inside single quotes, or joined to a word with "@", it is no label.
  EXPECT_EQ(apply(mac_name_set, "' ..FILE:'"), "' src\\prog:'");
  EXPECT_EQ(apply(mac_name_set, "L@..FILE: NOP"), "L@src\\prog: NOP");
  EXPECT_EQ(code(), 0);
  apply(mac_name_set, "$@..FILE: NOP");  // "$" is a word character too
  EXPECT_EQ(code(), 0);
  apply(mac_name_set, "+@..FILE: NOP");
  EXPECT_EQ(code(), E_RESERVED_WORD_USED);
}

TEST_F(RewriteLine, FileNameTextUnderDashF) {
  run_.settings.opt_f = true;
  run_.settings.proc_file = "prog";
  run_.source.current_file = "inc\\defs.inc";
  EXPECT_EQ(apply(mac_name_set, "..FILE"), "prog");
  run_.settings.opt_f = false;
  EXPECT_EQ(apply(mac_name_set, "..FILE"), "inc\\defs");
  run_.source.current_file = "a.b/c";
  EXPECT_EQ(apply(mac_name_set, "..FILE"), "a.b/c");
}

TEST_F(RewriteLine, DefineReplacementKeepsWhatIsNotAName) {
  symbol_set(run_, "NM", S_DEFINE, 0, "R0");
  symbol_set(run_, "EQ1", S_EQU, 5);
  EXPECT_EQ(apply(define_replace, "\tMOV.W NM,EQ1 ; NM"), "\tMOV.W R0,EQ1 ; NM");
  EXPECT_EQ(apply(define_replace, " DB 'NM',\"NM\",NM  \t"), " DB 'NM',\"NM\",R0  \t");
  EXPECT_EQ(apply(define_replace, " DB .NM,NM1,NM$,(NM)"), " DB .NM,NM1,NM$,(R0)");
  // In a .DEFINE statement only the operand is rewritten.
  EXPECT_EQ(apply(define_replace, "NM .DEFINE NM"), "NM .DEFINE R0");
  EXPECT_EQ(apply(define_replace, "  .DEFINE NM"), "  .DEFINE R0");
  EXPECT_EQ(apply(define_replace, "NM: .DEFINE NM"), "NM: .DEFINE R0");
  EXPECT_EQ(apply(define_replace, "NM .EQU NM"), "R0 .EQU R0");
  // The classification raised nothing of its own.
  EXPECT_EQ(apply(define_replace, "MOV .DEFINE NM"), "MOV .DEFINE R0");
  EXPECT_EQ(code(), 0);
}

TEST_F(RewriteLine, DefineReplacementLengthLimits) {
  // A name longer than any symbol does not match its own first 255 bytes.
  const std::string name255(255, 'L');
  symbol_set(run_, name255, S_DEFINE, 0, "x");
  EXPECT_EQ(apply(define_replace, name255), "x");
  const std::string long_line = std::string(256, 'L');
  EXPECT_EQ(apply(define_replace, long_line), std::string(255, 'L'));
  EXPECT_EQ(code(), E_SOURCE_LINE_TOO_LONG);

  symbol_set(run_, "WW", S_DEFINE, 0, std::string(200, 'w'));
  EXPECT_EQ(apply(define_replace, "WW,WW").size(), 255u);
  EXPECT_EQ(code(), E_SOURCE_LINE_TOO_LONG);
  // A line made longer by an earlier step is cut as well.
  EXPECT_EQ(apply(define_replace, std::string(300, ' ')), std::string(255, ' '));
  EXPECT_EQ(code(), E_SOURCE_LINE_TOO_LONG);
}

TEST_F(RewriteLine, ConcatMarkEscapesAndQuotes) {
  EXPECT_EQ(apply(concat_remove, "A@B 'C@D' \"E@F\""), "AB 'CD' \"E@F\"");
  EXPECT_EQ(apply(concat_remove, "A\\@B@C"), "A\\@BC");
  // An escaped quote neither opens nor closes a string.
  EXPECT_EQ(apply(concat_remove, "\\\"A@B"), "\\\"AB");
  EXPECT_EQ(apply(concat_remove, "\"\\\"A@B\""), "\"\\\"A@B\"");
  // The escape lasts until it is used: other characters leave it on.
  EXPECT_EQ(apply(concat_remove, "\\AB@C@D"), "\\AB@CD");
  // The comment stays as written, also after an escaped ";".
  EXPECT_EQ(apply(concat_remove, "A@B ; C@D"), "AB ; C@D");
  EXPECT_EQ(apply(concat_remove, "A\\;@B ; C@D"), "A\\;B ; C@D");
  // A single quote inside double quotes opens nothing.
  EXPECT_EQ(apply(concat_remove, "\"'\"A@B"), "\"'\"AB");
}

TEST_F(RewriteLine, ConcatTakesTheStatementAgain) {
  apply(concat_remove, "  MO@V.W R0,R1 ; c@d");
  EXPECT_EQ(run_.line.stmt.text, "MOV.W R0,R1");
  EXPECT_EQ(run_.line.stmt.comment, " ; c@d");
}

TEST_F(RewriteLine, LineControlPairOnlyUnderItsOption) {
  std::FILE* output = std::tmpfile();
  run_.files.output = output;
  line_cntr_write(run_, 12);
  run_.settings.line_cntr = true;
  line_cntr_write(run_, 100000);
  run_.files.output = nullptr;
  std::rewind(output);
  char buffer[128] = {};
  std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, output);
  std::fclose(output);
  EXPECT_EQ(std::string(buffer, n), "\t._ltype\te,d,'  '\n\t._line\t100000\n");
}

// Records the lines and the file changes the line writer is told about.
class RecordingWriter : public LineWriter {
 public:
  void write_line(std::string_view line) override { events.push_back(std::string(line)); }
  void file_control(std::string_view path) override { events.push_back("file " + std::string(path)); }
  std::vector<std::string> events;
};

class IncludeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("zrmackv_include_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "inc");
    fs::current_path(dir_);
    out_ = std::tmpfile();
  }
  void TearDown() override {
    std::fclose(out_);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  std::FILE* out_ = nullptr;
  fs::path old_, dir_;
};

TEST_F(IncludeRun, ListingHandsTheIncludeLineToTheWriter) {
  std::ofstream("prog.arq") << "\t.INCLUDE defs.inc\n\t.INCLUDE nothere.inc\n";
  std::ofstream("inc/defs.inc") << "\tNOP\n";
  RecordingWriter listed;
  EXPECT_EQ(run_zrmackv({"-l", "-Iinc", "prog"}, {}, out_, &listed), 3);
  EXPECT_EQ(listed.events,
            (std::vector<std::string>{"\t.INCLUDE defs.inc", "file inc\\defs.inc", "\tNOP"}));
  RecordingWriter quiet;
  run_zrmackv({"-Iinc", "prog"}, {}, out_, &quiet);
  EXPECT_EQ(quiet.events, (std::vector<std::string>{"\tNOP"}));
}

TEST_F(IncludeRun, SearchFailureChangesNothing) {
  zrmackv::Run run(out_, nullptr);
  run.settings.include_dir = "inc\\";
  run.settings.include_paths = {"none\\", "\\"};
  std::string path = "kept";
  EXPECT_EQ(include_open(run, "missing.inc", path), nullptr);
  EXPECT_TRUE(run.dependencies.empty());
  // Every directory, the root among them, is no file.
  EXPECT_EQ(include_open(run, "", path), nullptr);
  EXPECT_EQ(include_open(run, "inc", path), nullptr);
  EXPECT_TRUE(run.dependencies.empty());
}

// An .INCLUDE replayed from a macro body, or from a repeat body, delivers
// the whole include file before the rest of the replay, then the source
// goes on.
class PausedInclude : public IncludeRun, public ::testing::WithParamInterface<int> {};

TEST_P(PausedInclude, IncludeFromAReplayPausesIt) {
  std::ofstream("main.arq") << "m1\nm2\n";
  std::ofstream("inc.inc") << "i1\r\ni2\n";
  zrmackv::Run run(out_, nullptr);
  load_reserved_words(run);
  run.settings.source_name = "main.arq";
  run.source.source_file = src_fopen(run, "main.arq", "rb", run.source.source_state);
  run.source.current = run.source.source_file;
  run.source.current_file = "main.arq";

  StoredLine end;
  end.has_text = false;
  StoredLine q3{true, "q3", "main.arq", 7, &end};
  StoredLine q2{true, "\t.INCLUDE inc.inc", "main.arq", 6, &q3};
  StoredLine q1{true, "q1", "main.arq", 5, &q2};
  run.macro.bottom.state = GetParam();
  run.macro.macro_cursor = &q1;

  std::vector<std::string> seen;
  while (src_getline(run)) {
    seen.push_back(run.source.current_file + ":" + run.source.line);
    if (run.source.line.find(".INCLUDE") != std::string::npos) {
      make_statement(run.line.stmt, run.source.line);
      stmt_scan(run);
      include_directive(run);
    }
    if (run.source.line == "q3") run.macro.bottom.state = M_NONE;  // the replay ends
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"main.arq:q1", "main.arq:\t.INCLUDE inc.inc",
                                            "inc.inc:i1", "inc.inc:i2", "main.arq:q3",
                                            "main.arq:m1", "main.arq:m2"}));
  ASSERT_EQ(run.dependencies.size(), 1u);
  EXPECT_EQ(run.dependencies[0], "inc.inc");
  src_close_all(run);
}

INSTANTIATE_TEST_SUITE_P(MacroAndRepeat, PausedInclude, ::testing::Values(M_EXPAND, R_EXPAND));

}  // namespace

namespace {

// The marks read one byte at a time, for comparison.
unsigned rewrite_marks_bytewise(std::string_view line) {
  unsigned marks = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\') marks |= MARK_BACKSLASH;
    if (line[i] == '?') marks |= MARK_QUESTION;
    if (i > 0 && line[i] == '.' && line[i - 1] == '.') marks |= MARK_DOUBLE_DOT;
  }
  return marks;
}

}  // namespace

TEST(RewriteMarks, EveryMarkIsFoundWhereverItStands) {
  // Lines of every length up to three chunks of sixteen, with each mark at
  // every place: the short lines, the chunk seams and the overlapping end
  // are all crossed. A line's marks may only ever be more than its bytes
  // hold (a dot pair taken across the middle of a short line), never fewer.
  for (std::size_t n = 0; n <= 48; ++n) {
    for (std::size_t at = 0; at < n; ++at) {
      for (const char* mark : {"\\", "?", "..", "."}) {
        std::string line(n, 'a');
        const std::size_t length = std::min(std::strlen(mark), n - at);
        line.replace(at, length, mark, length);
        const unsigned expected = rewrite_marks_bytewise(line);
        const unsigned found = rewrite_marks(line);
        EXPECT_EQ(found & expected, expected) << line;
        EXPECT_EQ(found & ~unsigned{MARK_DOUBLE_DOT}, expected & ~unsigned{MARK_DOUBLE_DOT}) << line;
      }
    }
  }
  // Two lone dots apart: no pair, except where a short line's two halves
  // meet (the eighth byte and the first of the last eight).
  EXPECT_EQ(rewrite_marks("a.b.c.d.e.f.g.h.i.j.k.l.m.n"), 0u);
  EXPECT_EQ(rewrite_marks(".a.a.a.a.a.a.a.a.a.a.a.a.a.a.a.a.a.a.a"), 0u);
  EXPECT_EQ(rewrite_marks("X ..FILE"), unsigned{MARK_DOUBLE_DOT});
  EXPECT_EQ(rewrite_marks("0123456789abcde."), 0u);
  EXPECT_EQ(rewrite_marks("0123456789abcde.."), unsigned{MARK_DOUBLE_DOT});
  EXPECT_EQ(rewrite_marks("0123456789abcdef.0123456789abcde."), 0u);
  EXPECT_EQ(rewrite_marks("0123456789abcde..0123456789abcdef"), unsigned{MARK_DOUBLE_DOT});
  EXPECT_EQ(rewrite_marks("?: MOV ?+ \\\\"), unsigned{MARK_QUESTION | MARK_BACKSLASH});
}

TEST(HoldsByte, AgreesWithTheLibrarySearchAtEveryLengthAndPlace) {
  // Short lines, lines of 8 to 15 bytes read as their two ends, and longer
  // ones whose last chunk overlaps the one before.
  for (std::size_t n = 0; n <= 48; ++n) {
    std::string line(n, 'a');
    EXPECT_FALSE(holds_byte(line, '@')) << n;
    for (std::size_t at = 0; at < n; ++at) {
      line.assign(n, 'a');
      line[at] = '@';
      EXPECT_TRUE(holds_byte(line, '@')) << n << " " << at;
      EXPECT_FALSE(holds_byte(line, 'b')) << n << " " << at;
    }
  }
  // Only the text's own bytes count, not those behind its end.
  const std::string behind = "abcdefghijklmnopqrst@";
  for (std::size_t n = 0; n < behind.size(); ++n)
    EXPECT_FALSE(holds_byte(std::string_view(behind).substr(0, n), '@')) << n;
}
