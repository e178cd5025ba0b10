// The in-memory file system behind the host layer, and the work budget.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cppkv/cppkv.h"
#include "host/host.h"
#include "host/memory_file_system.h"
#include "host/work_budget.h"
#include "zrmackv/zrmackv.h"

namespace {

// Points the host layer at a fresh memory file system for one test.
class MemoryFsTest : public testing::Test {
 protected:
  void SetUp() override { host::use_file_system(&fs); }
  void TearDown() override {
    host::use_file_system(nullptr);
    host::clear_work_budget();
  }

  std::string read_all(std::string_view name) {
    std::FILE* f = host::open_file(name, "rb");
    if (!f) return "<no file>";
    std::string text;
    char buf[64];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    if (std::ferror(f)) text += "<read error>";
    std::fclose(f);
    return text;
  }

  bool write(std::string_view name, const char* mode, std::string_view text) {
    std::FILE* f = host::open_file(name, mode);
    if (!f) return false;
    std::fwrite(text.data(), 1, text.size(), f);
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    return std::fclose(f) == 0 && ok;
  }

  host::MemoryFileSystem fs{"/w"};
};

TEST_F(MemoryFsTest, WriteTruncateAppendAndReadBackNeverTouchTheDisk) {
  const std::string name = "memfs_only_" + std::to_string(::getpid()) + ".txt";
  ASSERT_TRUE(write(name, "wb", "first"));
  ASSERT_TRUE(write(name, "ab", "+more"));
  EXPECT_EQ(read_all(name), "first+more");
  ASSERT_TRUE(write(name, "w", "new"));
  EXPECT_EQ(read_all(name), "new");
  EXPECT_EQ(fs.content("/w/" + name), "new");
  EXPECT_FALSE(std::filesystem::exists(name));

  errno = 0;
  EXPECT_EQ(host::open_file("missing.txt", "rb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(fs.content("missing.txt"));  // a failed read open creates nothing
}

TEST_F(MemoryFsTest, NamesResolveComponentByComponent) {
  fs.add_file("sub/b.inc", "B");
  fs.add_file("/top.inc", "T");
  EXPECT_EQ(read_all("sub\\b.inc"), "B");  // the host's "\" is a separator
  EXPECT_EQ(read_all("/w/sub/../sub/./b.inc"), "B");
  EXPECT_EQ(read_all("../top.inc"), "T");
  EXPECT_EQ(read_all("/../../top.inc"), "T");
  // Every folder on the way must exist, even one that ".." leaves again.
  EXPECT_EQ(read_all("nowhere/../sub/b.inc"), "<no file>");
  // A file is no folder: neither with a separator after it nor inside a name.
  EXPECT_EQ(read_all("sub/b.inc/"), "<no file>");
  errno = 0;
  EXPECT_EQ(host::open_file("sub/b.inc/x", "wb"), nullptr);
  EXPECT_EQ(errno, ENOTDIR);
  // Creating needs the folder: nothing is made on the way.
  EXPECT_FALSE(write("newdir/x.txt", "wb", "x"));
  EXPECT_FALSE(host::is_directory("newdir"));
}

TEST_F(MemoryFsTest, ComponentLengthLimitFromBothSides) {
  const std::string at_limit(255, 'n');
  const std::string past_limit(256, 'n');
  EXPECT_TRUE(write(at_limit, "wb", "ok"));
  errno = 0;
  EXPECT_EQ(host::open_file(past_limit, "wb"), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST_F(MemoryFsTest, FoldersOpenForReadingButNeverReadOrWrite) {
  fs.add_folder("inc");
  EXPECT_TRUE(host::is_directory("inc"));
  EXPECT_TRUE(host::is_directory("/"));
  EXPECT_FALSE(host::is_directory("missing"));
  EXPECT_EQ(read_all("inc"), "<read error>");
  errno = 0;
  EXPECT_EQ(host::open_file("inc", "wb"), nullptr);
  EXPECT_EQ(errno, EISDIR);

  fs.add_file("inc/a.h", "");
  EXPECT_FALSE(host::remove_file("inc"));  // not empty
  EXPECT_TRUE(host::remove_file("inc/a.h"));
  EXPECT_TRUE(host::remove_file("inc"));
  EXPECT_FALSE(host::is_directory("inc"));
  EXPECT_FALSE(host::remove_file("inc"));
}

TEST_F(MemoryFsTest, SameFileThroughDifferentSpellingsOnly) {
  fs.add_file("sub/a.h", "1");
  fs.add_file("b.h", "1");
  EXPECT_TRUE(host::same_file("sub/a.h", "/w/sub/../sub/a.h"));
  EXPECT_TRUE(host::same_file("sub", "./sub/"));
  EXPECT_FALSE(host::same_file("sub/a.h", "b.h"));  // equal content, other file
  EXPECT_FALSE(host::same_file("missing", "missing"));
}

TEST_F(MemoryFsTest, CapacityIsExactAndRemovalGivesSpaceBack) {
  fs.set_capacity(10);
  EXPECT_TRUE(write("a", "wb", "0123456789"));
  EXPECT_FALSE(write("b", "wb", "x"));  // one byte past the capacity
  EXPECT_TRUE(write("a", "wb", "012345678"));  // truncation frees the old bytes
  EXPECT_TRUE(write("b", "wb", "x"));
  EXPECT_TRUE(host::remove_file("a"));
  EXPECT_TRUE(write("c", "wb", "012345678"));
}

TEST_F(MemoryFsTest, ExclusiveCreationAndReadingARemovedFile) {
  EXPECT_TRUE(write("t.mrq", "wbx", "once"));
  errno = 0;
  EXPECT_EQ(host::open_file("t.mrq", "wbx"), nullptr);
  EXPECT_EQ(errno, EEXIST);

  std::FILE* f = host::open_file("t.mrq", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(host::remove_file("t.mrq"));
  char buf[8] = {};
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 4u);  // an open file outlives its name
  EXPECT_STREQ(buf, "once");
  std::fclose(f);
}

TEST_F(MemoryFsTest, ReplacementIsWholeAndRefusedWhereItCannotBe) {
  fs.add_file("deps.d", "old");
  std::FILE* reader = host::open_file("deps.d", "rb");
  ASSERT_NE(reader, nullptr);
  EXPECT_TRUE(host::replace_file("deps.d", "new rule"));
  EXPECT_EQ(read_all("deps.d"), "new rule");
  char buf[8] = {};
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, reader), 3u);  // a reader keeps the old file
  std::fclose(reader);

  fs.add_folder("dir");
  EXPECT_FALSE(host::replace_file("dir", "x"));
  EXPECT_FALSE(host::replace_file("missing/deps.d", "x"));
  fs.set_capacity(8);  // "new rule" is replaced, so 8 bytes fit exactly
  EXPECT_TRUE(host::replace_file("deps.d", "12345678"));
  EXPECT_FALSE(host::replace_file("deps.d", "123456789"));
  EXPECT_EQ(read_all("deps.d"), "12345678");
}

TEST_F(MemoryFsTest, FreshCreationReplacesAFileButNotOneHeldLocked) {
  fs.add_file("p.mrq", "earlier");
  std::FILE* first = host::create_file_afresh("p.mrq", true);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(fs.content("p.mrq"), "");  // the earlier file is gone
  EXPECT_EQ(host::create_file_afresh("p.mrq", true), nullptr);  // held by the first
  std::FILE* unlocked = host::create_file_afresh("p.atg", false);
  ASSERT_NE(unlocked, nullptr);
  std::fclose(first);
  std::FILE* again = host::create_file_afresh("p.mrq", true);  // released at close
  EXPECT_NE(again, nullptr);
  std::FILE* over_unlocked = host::create_file_afresh("p.atg", true);
  EXPECT_NE(over_unlocked, nullptr);  // nobody held it
  for (std::FILE* f : {unlocked, again, over_unlocked})
    if (f) std::fclose(f);
  fs.add_folder("dir");
  EXPECT_EQ(host::create_file_afresh("dir", false), nullptr);
  EXPECT_TRUE(host::is_directory("dir"));
}

TEST_F(MemoryFsTest, WorkBudgetCountsOpensAndIsOffByDefault) {
  fs.add_file("a", "x");
  host::set_work_budget(2);
  EXPECT_EQ(read_all("a"), "x");
  EXPECT_EQ(read_all("a"), "x");
  EXPECT_EQ(read_all("a"), "<no file>");  // the third open is over budget
  host::clear_work_budget();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(read_all("a"), "x");
}

// zrmackv on the memory file system: the source and its include are found
// there, the scratch file is made and removed there.
TEST_F(MemoryFsTest, MacroProcessorRunsEntirelyInMemory) {
  fs.add_file("prog.arq", "\t.INCLUDE a.inc\nLAB0:\n");
  fs.add_file("a.inc", "LAB1:\n");
  char* buf = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buf, &size);
  int code = zrmackv::run_zrmackv({"-t", "prog"}, {}, out);
  std::fclose(out);
  std::string text(buf, size);
  std::free(buf);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(text, "\nprog.arq : a.inc\n");
  EXPECT_FALSE(fs.content("prog.mrq"));
  EXPECT_FALSE(fs.content("prog.atg"));  // empty default tag file removed
  EXPECT_EQ(fs.files().size(), 2u);
  EXPECT_FALSE(std::filesystem::exists("prog.arq"));
}

// A budget of lines ends a run that would go on, as an interrupt does;
// exactly enough lines for the whole source lets it finish.
TEST_F(MemoryFsTest, MacroProcessorStopsWhenTheLineBudgetIsSpent) {
  fs.add_file("prog.arq", "LAB1:\nLAB2:\nLAB3:\n");
  std::FILE* out = std::fopen("/dev/null", "w");
  host::set_work_budget(2 + 3);  // opening the source and the scratch file, three lines
  EXPECT_EQ(zrmackv::run_zrmackv({"prog"}, {}, out), 0);
  host::set_work_budget(2 + 2);
  EXPECT_EQ(zrmackv::run_zrmackv({"prog"}, {}, out), 1);
  std::fclose(out);
}

TEST_F(MemoryFsTest, PreprocessorIncludesAndSideFileInMemory) {
  fs.add_file("t.c", "#include \"a.h\"\n#include <sys.h>\n#error stop\n");
  fs.add_file("a.h", "int a;\n");
  fs.add_file("/sys/sys.h", "int s;\n");
  char* buf = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buf, &size);
  std::FILE* err = std::fopen("/dev/null", "w");
  cppkv::CapturingSink sink;
  int code = cppkv::run_cppkv({"-NCKVWA", "-WEF", "errs.txt", "t.c"}, {{"INCKV", "/sys"}}, nullptr,
                              out, err, &sink);
  std::fclose(out);
  std::fclose(err);
  std::string text(buf, size);
  std::free(buf);
  EXPECT_EQ(code, 2);
  EXPECT_NE(text.find("t.c : a.h\n"), std::string::npos) << text;
  EXPECT_NE(sink.text.find("int s;"), std::string::npos);
  auto errs = fs.content("errs.txt");
  ASSERT_TRUE(errs);
  EXPECT_NE(errs->find("stop"), std::string::npos);
}

}  // namespace
