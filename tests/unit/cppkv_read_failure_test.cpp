// A read that fails is never taken for the end of the input.
#include <gtest/gtest.h>

#include <cstdio>

#include "cppkv_run_fixture.h"

namespace cppkv {
namespace {

class ReadFailure : public CppkvRunTest {};

TEST_F(ReadFailure, StandardInputThatIsAFolderIsFatal) {
  // A folder opens for reading on this host; reading it fails.
  std::FILE* in = std::fopen(".", "rb");
  ASSERT_NE(in, nullptr);
  int code = run_on(in, {});
  std::fclose(in);
  EXPECT_EQ(code, 3);
  EXPECT_EQ(stderr_text, "[Error(cppkv.11)] cannot open input file ''\n");
  EXPECT_EQ(stdout_text, "");  // no dependency line that would look complete
}

TEST_F(ReadFailure, AnEmptyInputIsStillAnOrdinaryEnd) {
  EXPECT_EQ(run({}), 0);
  EXPECT_EQ(stdout_text, " : \n");
  EXPECT_EQ(stderr_text, "");
}

}  // namespace
}  // namespace cppkv
