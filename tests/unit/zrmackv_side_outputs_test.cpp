// The expanded source and the dependency file against what the run's own
// line writer receives, and runs with and without them side by side.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "host/host.h"
#include "zrmackv/line_writer.h"
#include "zrmackv/zrmackv.h"

namespace fs = std::filesystem;

namespace zrmackv {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::vector<std::string> lines;
};

class SideOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("zrmackv_side_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "inc");
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  static void write(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
  }
  static std::string read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::set<std::string> folder() {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(".")) names.insert(e.path().string());
    return names;
  }
  static Outcome run(const std::vector<std::string>& args) {
    CapturingLineWriter writer;
    std::FILE* out = std::tmpfile();
    int code = run_zrmackv(args, {}, out, &writer);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    return {code, text, writer.lines};
  }
  // A source with include files, errors, warnings and long lines.
  static void write_sample() {
    std::string src = "\t.INCLUDE\tdefs.inc\n";
    for (int i = 0; i < 400; ++i) {
      src += "L" + std::to_string(i) + ":\tMOV.W\t#" + std::to_string(i) + ",R0\n";
      if (i % 50 == 0) src += "\t.EQU\n\t.INCLUDE\tdefs.inc\n" + std::string(300, 'x') + "\n";
    }
    write("prog.arq", src);
    write("inc/defs.inc", "CNT\t.EQU\t2\n\tADD.W\t#CNT,R0\n");
  }

  fs::path old_, dir_;
};

TEST_F(SideOutputs, ExpandedSourceIsExactlyTheWrittenLines) {
  write_sample();
  Outcome o = run({"+expand", "-Iinc", "prog"});
  ASSERT_EQ(o.code, 3);
  std::string joined;
  for (const std::string& line : o.lines) joined += line + "\n";
  ASSERT_GT(joined.size(), 8192u);  // more than one stream buffer
  EXPECT_TRUE(read("prog.mrq") == joined);
}


// Every stream, file and exit code of a run is the same with and without
// the side outputs, except the files asked for.
TEST_F(SideOutputs, SideOutputsChangeNothingElse) {
  write_sample();
  const std::vector<std::string> base = {"-l", "-tlog.txt", "-Iinc", "prog"};
  Outcome plain = run(base);
  std::set<std::string> plain_files = folder();
  std::string plain_tag = read("log.txt");
  fs::remove("log.txt");
  EXPECT_FALSE(fs::exists("prog.mrq"));  // the scratch file is gone again

  std::vector<std::string> asked = base;
  asked.insert(asked.begin(), {"+expand", "+depfile=prog.d", "+deptarget=x.o"});
  Outcome side = run(asked);
  EXPECT_EQ(side.code, plain.code);
  EXPECT_EQ(side.out, plain.out);
  EXPECT_EQ(side.lines, plain.lines);
  EXPECT_EQ(read("log.txt"), plain_tag);
  std::set<std::string> side_files = folder();
  plain_files.insert({"./prog.mrq", "./prog.d"});
  EXPECT_EQ(side_files, plain_files);
  EXPECT_EQ(read("prog.d"), "x.o: prog.arq inc/defs.inc\n\ninc/defs.inc:\n");
}

}  // namespace
}  // namespace zrmackv
