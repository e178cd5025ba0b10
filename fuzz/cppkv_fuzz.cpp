// libFuzzer target: one whole cppkv run, in process, over the fuzz input.
//
// Build and run (clang only):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
//         -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TESTS=OFF -DKV_FUZZ=ON
//   cmake --build build-fuzz -j2 --target cppkv_fuzz
//   mkdir -p fuzz/corpus-cppkv
//   build-fuzz/cppkv_fuzz fuzz/corpus-cppkv -max_len=70000 -timeout=10 \
//         -rss_limit_mb=2048 -max_total_time=600
//
// Input layout: the first byte picks options (bit 0 -c, bit 1 WBKIN=EUC,
// bit 2 -WCSQA, bit 3 -P, bit 4 -WMT, bit 5 a bad WBKIN, bit 6 -Wstdout,
// bit 7 -DX=1). The rest is split at each line "@@@@": the first part is
// the source t.c, the second a.h beside it, the third sub/b.h, found
// through -Isub and through the system path (-NCKVWA, INCKV=sub).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cppkv/cppkv.h"

namespace {

std::string work_dir() {
  static std::string dir = [] {
    char templ[] = "/tmp/cppkv_fuzz.XXXXXX";
    const char* made = mkdtemp(templ);
    if (!made) std::abort();
    std::filesystem::create_directories(std::string(made) + "/sub");
    return std::string(made);
  }();
  return dir;
}

// Counts the writes of the text channel and fails after a budget, which
// ends the run with "cannot write output file": an include file that
// includes itself twice per level does 2^40 opens, which is the language's
// own cost, not a fault worth reporting.
class BudgetSink final : public cppkv::TextSink {
 public:
  int put_char(int c) override { return spend() ? c & 0xFF : -1; }
  int put_text(std::string_view) override { return spend() ? 0 : -1; }

 private:
  bool spend() { return ++calls_ < 100'000; }
  std::size_t calls_ = 0;
};

void write_file(const std::string& path, std::string_view data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned flags = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

  std::vector<std::string_view> parts;
  constexpr std::string_view kSplit = "\n@@@@\n";
  while (parts.size() < 2) {
    std::size_t at = rest.find(kSplit);
    if (at == std::string_view::npos) break;
    parts.push_back(rest.substr(0, at));
    rest.remove_prefix(at + kSplit.size());
  }
  parts.push_back(rest);
  while (parts.size() < 3) parts.push_back({});

  const std::string dir = work_dir();
  const std::string source = dir + "/t.c";
  write_file(source, parts[0]);
  write_file(dir + "/a.h", parts[1]);
  write_file(dir + "/sub/b.h", parts[2]);

  std::vector<std::string> args;
  cppkv::Environment env;
  if (flags & 0x01) args.push_back("-c");
  if (flags & 0x02) env["WBKIN"] = "EUC";
  if (flags & 0x20) env["WBKIN"] = "Sjis";
  if (flags & 0x04) args.push_back("-WCSQA");
  if (flags & 0x08) args.insert(args.end(), {"-P", dir + "/out.i"});
  if (flags & 0x40) args.push_back("-Wstdout");
  if (flags & 0x80) args.push_back("-DX=1");
  args.insert(args.end(), {"-I" + dir + "/sub", "-NCKVWA", source});
  env["INCKV"] = dir + "/sub";
  if (flags & 0x10) args.push_back("-WMT");

  static std::FILE* null_out = std::fopen("/dev/null", "w");
  static std::FILE* null_in = std::fopen("/dev/null", "r");
  BudgetSink sink;
  cppkv::run_cppkv(args, env, null_in, null_out, null_out, &sink);
  return 0;
}
