// The host layer's file creation for the files a run names itself, and the
// dependency list's storage.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/host.h"
#include "zrmackv/dependencies.h"

namespace {

namespace fs = std::filesystem;

class HostFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kvhost." + std::to_string(::getpid()) + "." +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const char* name) const { return (dir_ / name).string(); }
  static std::string read(const std::string& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static void write(const std::string& p, const char* text) { std::ofstream(p) << text; }

  fs::path dir_;
};

TEST_F(HostFiles, ALinkIsReplacedAndItsTargetStays) {
  write(path("precious.txt"), "keep");
  fs::create_symlink(path("precious.txt"), path("p.mrq"));
  std::FILE* f = host::create_file_afresh(path("p.mrq"), false);
  ASSERT_NE(f, nullptr);
  std::fputs("scratch", f);
  std::fclose(f);
  EXPECT_EQ(read(path("precious.txt")), "keep");
  EXPECT_FALSE(fs::is_symlink(path("p.mrq")));
  EXPECT_EQ(read(path("p.mrq")), "scratch");
}

TEST_F(HostFiles, AnEarlierFileIsReplacedNotTruncatedInPlace) {
  // A hard link to the earlier file keeps its old text: the new file is a
  // new one, not the old one written over.
  write(path("p.mrq"), "old");
  fs::create_hard_link(path("p.mrq"), path("other"));
  std::FILE* f = host::create_file_afresh(path("p.mrq"), false);
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(read(path("other")), "old");
  EXPECT_EQ(read(path("p.mrq")), "");
}

TEST_F(HostFiles, ALockedFileIsLeftToItsHolderUntilClosed) {
  std::FILE* first = host::create_file_afresh(path("p.mrq"), true);
  ASSERT_NE(first, nullptr);
  std::fputs("first run", first);
  std::fflush(first);
  EXPECT_EQ(host::create_file_afresh(path("p.mrq"), true), nullptr);
  EXPECT_EQ(read(path("p.mrq")), "first run");  // neither removed nor emptied
  std::fclose(first);  // the lock goes with the file
  std::FILE* second = host::create_file_afresh(path("p.mrq"), true);
  ASSERT_NE(second, nullptr);
  std::fclose(second);
  EXPECT_EQ(read(path("p.mrq")), "");
}

TEST_F(HostFiles, AnUnlockedCreationDoesNotWaitForALock) {
  // The default tag file takes no lock: the scratch file's lock decides.
  std::FILE* held = host::create_file_afresh(path("p.mrq"), true);
  ASSERT_NE(held, nullptr);
  std::FILE* tag = host::create_file_afresh(path("p.atg"), false);
  EXPECT_NE(tag, nullptr);
  if (tag) std::fclose(tag);
  std::fclose(held);
}

TEST_F(HostFiles, AFolderInThePlaceIsNoFileToCreate) {
  fs::create_directories(path("p.mrq"));
  EXPECT_EQ(host::create_file_afresh(path("p.mrq"), true), nullptr);
  EXPECT_TRUE(fs::is_directory(path("p.mrq")));
  EXPECT_EQ(host::create_file_afresh("", false), nullptr);
}

TEST_F(HostFiles, APlantedPipeDoesNotBlockTheCreation) {
  ASSERT_EQ(::mkfifo(path("p.mrq").c_str(), 0600), 0);
  std::FILE* f = host::create_file_afresh(path("p.mrq"), true);
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_TRUE(fs::is_regular_file(path("p.mrq")));
}

TEST(DependencyList, KeepsOpeningOrderAndEachPathOnce) {
  zrmackv::DependencyList list;
  EXPECT_TRUE(list.empty());
  for (const char* p : {"a.inc", "b.inc", "a.inc", "a.inc", "inc\\a.inc"}) list.push_back(p);
  std::string joined;
  for (const std::string& p : list) joined += p + ";";
  EXPECT_EQ(joined, "a.inc;b.inc;a.inc;a.inc;inc\\a.inc;");
  EXPECT_EQ(list.size(), 5u);
  EXPECT_EQ(list.distinct_paths(), 3u);
}

TEST(DependencyList, AMillionOpeningsOfOneFileKeepOnePath) {
  zrmackv::DependencyList list;
  // Long enough that a copy per opening would be plainly visible.
  const std::string path(200, 'p');
  for (int i = 0; i < 1000000; ++i) list.push_back(path);
  EXPECT_EQ(list.size(), 1000000u);
  EXPECT_EQ(list.distinct_paths(), 1u);
  EXPECT_EQ(list[999999], path);
}

}  // namespace
