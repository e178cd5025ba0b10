// The fuzz targets' shared harness: how an input becomes arguments,
// environment and files, and the checks made on the runs.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "host/file_system.h"

namespace {

constexpr fuzz::Pick kTable[] = {{"-a"}, {"-b"}, {"v1", "VAR"}, {"-c"}};

// The invocation views the input's bytes: keep every input alive.
fuzz::Invocation decode(std::vector<std::uint8_t> bytes) {
  static std::vector<std::vector<std::uint8_t>> inputs;
  inputs.push_back(std::move(bytes));
  const auto& kept = inputs.back();
  return fuzz::decode(std::span(kept.data(), kept.size()), kTable);
}

TEST(FuzzHarness, PicksComeFromTheTableModuloItsSize) {
  // Three picks: 1 -> "-b", 4 -> "-a" (wraps), 2 -> an environment entry.
  auto inv = decode({0x03, 1, 4, 2, 'x', 'y'});
  EXPECT_EQ(inv.args, (std::vector<std::string>{"-b", "-a"}));
  EXPECT_EQ(inv.env.at("VAR"), "v1");
  EXPECT_EQ(inv.text, "xy");
  EXPECT_TRUE(inv.default_input);

  // The count is the low three bits only; the picks stop at the input's end.
  auto short_input = decode({0xF7, 3});
  EXPECT_EQ(short_input.args, (std::vector<std::string>{"-c"}));
  EXPECT_EQ(short_input.text, "");
  EXPECT_TRUE(decode({}).args.empty());
}

TEST(FuzzHarness, InputNameLeftOutFirstOrLast) {
  auto last = decode({0x01, 0});
  fuzz::place_input(last, "t.c");
  EXPECT_EQ(last.args, (std::vector<std::string>{"-a", "t.c"}));

  auto first = decode({0x11, 0});
  fuzz::place_input(first, "t.c");
  EXPECT_EQ(first.args, (std::vector<std::string>{"t.c", "-a"}));

  auto none = decode({0x19, 0});
  fuzz::place_input(none, "t.c");
  EXPECT_EQ(none.args, (std::vector<std::string>{"-a"}));
}

TEST(FuzzHarness, TextSplitsAtSeparatorLinesIntoAFixedNumberOfParts) {
  auto parts = fuzz::split_parts("src\n%%\ninc\n%%\nsub\n%%\nrest", "\n%%\n", 3);
  EXPECT_EQ(parts, (std::vector<std::string_view>{"src", "inc", "sub\n%%\nrest"}));
  auto one = fuzz::split_parts("a%%b\n%%", "\n%%\n", 3);  // no separator line
  EXPECT_EQ(one, (std::vector<std::string_view>{"a%%b\n%%", "", ""}));
}

TEST(FuzzHarness, ScopeGivesAFreshFileSystemAndRestoresTheHost) {
  {
    fuzz::RunScope scope(1);
    EXPECT_EQ(host::file_system_in_use(), &scope.fs());
    scope.fs().add_file("a", "x");
    std::FILE* f = host::open_file("a", "rb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(host::open_file("a", "rb"), nullptr);  // the budget of one is spent
    EXPECT_EQ(host::current_time(), host::current_time());
  }
  EXPECT_EQ(host::file_system_in_use(), nullptr);
  EXPECT_TRUE(host::spend_work());  // no budget after the scope
  fuzz::RunScope fresh(10);
  EXPECT_FALSE(fresh.fs().content("a"));
}

TEST(FuzzHarness, RunsAreCheckedForDocumentedCodesAndRepeatability) {
  auto fixed = [](int code) {
    return [code] {
      fuzz::Outcome o;
      o.exit_code = code;
      o.standard_output = "same";
      return o;
    };
  };
  fuzz::check_runs(fixed(3), {0, 3}, true);
  EXPECT_DEATH(fuzz::check_runs(fixed(5), {0, 3}, false), "undocumented exit code");
  int calls = 0;
  auto drifting = [&calls] {
    fuzz::Outcome o;
    o.files.emplace_back("/w/x", std::to_string(++calls));
    return o;
  };
  EXPECT_DEATH(fuzz::check_runs(drifting, {0}, true), "second run");
  calls = 0;
  fuzz::check_runs(drifting, {0}, false);  // not repeated: nothing to compare
  EXPECT_EQ(calls, 1);
}

}  // namespace
