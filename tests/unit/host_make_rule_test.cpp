// The make rule both programs write, and the replace-by-rename file write.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/host.h"
#include "host/make_rule.h"

namespace {

TEST(MakeEscape, EachSpecialCharacterHasItsOwnForm) {
  EXPECT_EQ(host::make_escape("inc\\a b.h"), "inc/a\\ b.h");
  EXPECT_EQ(host::make_escape("x$y"), "x$$y");
  EXPECT_EQ(host::make_escape("x#y"), "x\\#y");
  EXPECT_EQ(host::make_escape("x\ty"), "x\\\ty");
  EXPECT_EQ(host::make_escape("plain/name-1.h"), "plain/name-1.h");
}

TEST(MakeRule, EveryNameOnceAtItsFirstPlaceAndAnEmptyRulePerDependency) {
  std::string rule = host::make_rule({"t.o"}, "t.c", {"b.h", "a.h", "b.h", "t.c", "inc\\a.h"});
  EXPECT_EQ(rule, "t.o: t.c b.h a.h inc/a.h\n\nb.h:\n\na.h:\n\ninc/a.h:\n");
}

TEST(MakeRule, SpellingsThatMakeReadsAlikeCountAsOne) {
  // inc\a.h and inc/a.h are the same prerequisite once written for make.
  EXPECT_EQ(host::make_rule({"t.o"}, "t.c", {"inc\\a.h", "inc/a.h"}),
            "t.o: t.c inc/a.h\n\ninc/a.h:\n");
}

TEST(MakeRule, WithoutSourceOnlyDependenciesFollowTheTargets) {
  EXPECT_EQ(host::make_rule({"a.o", "b x.o"}, "", {"h.h"}), "a.o b\\ x.o: h.h\n\nh.h:\n");
  EXPECT_EQ(host::make_rule({"-.o"}, "", {}), "-.o:\n");
}

// "t.o: " is 4 characters before the first blank; names are sized so the
// first line ends exactly at column 78 or one past it.
TEST(MakeRule, ALineIsContinuedOnlyWhenTheNextNameWouldPassColumn78) {
  std::string fits(78 - 4 - 1, 'f');  // "t.o:" + " " + name = 78 columns
  EXPECT_EQ(host::make_rule({"t.o"}, fits, {}), "t.o: " + fits + "\n");
  std::string over(78 - 4, 'o');  // one column more
  EXPECT_EQ(host::make_rule({"t.o"}, over, {}), "t.o: \\\n " + over + "\n");

  std::string a(40, 'a'), b(78 - 4 - 1 - 40 - 1, 'b');
  EXPECT_EQ(host::make_rule({"t.o"}, a, {b}), "t.o: " + a + " " + b + "\n\n" + b + ":\n");
  std::string b2 = b + "c";
  EXPECT_EQ(host::make_rule({"t.o"}, a, {b2}),
            "t.o: " + a + " \\\n " + b2 + "\n\n" + b2 + ":\n");
}

TEST(MakeRule, EveryLineStaysWithin80Columns) {
  std::vector<std::string> deps;
  for (int i = 0; i < 50; ++i) deps.push_back("include/dir/header_" + std::to_string(i) + ".h");
  std::istringstream lines(host::make_rule({"main.o"}, "src/main.c", deps));
  std::string line;
  while (std::getline(lines, line)) EXPECT_LE(line.size(), 80u) << line;
}

TEST(MakeRule, DefaultTargetIsTheBaseNameWithDotO) {
  EXPECT_EQ(host::default_make_target("src\\prog.arq"), "prog.o");
  EXPECT_EQ(host::default_make_target("a.dir/b.c"), "b.o");
  EXPECT_EQ(host::default_make_target("dir.v\\prog"), "prog.o");
  EXPECT_EQ(host::default_make_target("x.tar.c"), "x.tar.o");
}

class ReplaceFile : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(testing::TempDir()) /
           ("replace_file_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const std::string& name) { return (dir_ / name).string(); }
  std::string read(const std::string& name) {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::size_t entries() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_), {}));
  }
  std::filesystem::path dir_;
};

TEST_F(ReplaceFile, CreatesThenReplacesWholly) {
  ASSERT_TRUE(host::replace_file(path("x.d"), "first version, longer\n"));
  EXPECT_EQ(read("x.d"), "first version, longer\n");
  ASSERT_TRUE(host::replace_file(path("x.d"), "second\n"));
  EXPECT_EQ(read("x.d"), "second\n");
  EXPECT_EQ(entries(), 1u);  // no temporary file left
}

// The new content arrives as a new file renamed into place: whoever holds
// the old file (here through a second link) still sees it whole, which a
// write into the old file would not give.
TEST_F(ReplaceFile, OldFileIsReplacedNotRewritten) {
  ASSERT_TRUE(host::replace_file(path("x.d"), "old rule\n"));
  std::filesystem::create_hard_link(dir_ / "x.d", dir_ / "held.d");
  ASSERT_TRUE(host::replace_file(path("x.d"), "new\n"));
  EXPECT_EQ(read("x.d"), "new\n");
  EXPECT_EQ(read("held.d"), "old rule\n");
}

TEST_F(ReplaceFile, BackslashSeparatesFolders) {
  std::filesystem::create_directories(dir_ / "sub");
  ASSERT_TRUE(host::replace_file(path("sub") + "\\x.d", "r\n"));
  EXPECT_EQ(read("sub/x.d"), "r\n");
}

TEST_F(ReplaceFile, NewFileGetsTheUsualPermissions) {
  mode_t old = ::umask(022);
  ASSERT_TRUE(host::replace_file(path("x.d"), ""));
  ::umask(old);
  struct stat st{};
  ASSERT_EQ(::stat(path("x.d").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(ReplaceFile, FailureLeavesNothingBehind) {
  EXPECT_FALSE(host::replace_file(path("missing/x.d"), "r\n"));
  EXPECT_FALSE(host::replace_file(path("x.d") + "/", "r\n"));
  EXPECT_FALSE(host::replace_file("", "r\n"));
  // A folder in the way cannot be replaced by a file and stays as it was.
  std::filesystem::create_directories(dir_ / "folder.d" / "inner");
  EXPECT_FALSE(host::replace_file(path("folder.d"), "r\n"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "folder.d" / "inner"));
  EXPECT_EQ(entries(), 1u);
}

}  // namespace
