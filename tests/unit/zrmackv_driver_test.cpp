// In-process runs of the macro processor: the console interrupt, the source
// reader's include stack and the listing copy of diagnostics.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/host.h"
#include "zrmackv/line_writer.h"
#include "zrmackv/run.h"
#include "zrmackv/zrmackv.h"

namespace fs = std::filesystem;
using namespace zrmackv;

namespace {

// A fresh folder per test, made current for the test's duration.
class RunFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("zrmackv_unit_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    out_ = std::tmpfile();
    host::clear_interrupt();
  }
  void TearDown() override {
    host::clear_interrupt();
    std::fclose(out_);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  static void write(const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(name).parent_path().empty() ? "." : fs::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << text;
  }
  static std::string read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
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
};

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
