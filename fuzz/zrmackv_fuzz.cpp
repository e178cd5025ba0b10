// Fuzz target: one whole macro-processor run per input.
//
// Input layout: the first byte picks options (one bit each); the rest is
// split at the first two lines "%%" into the source file, an include file
// a.inc beside it and an include file sub/b.inc found through -I or INCKV.
// The run works in a private temporary folder that is also the current
// directory, so .ASSERT files and the scratch files land there.
//
// Run it as an unprivileged user: .ASSERT writes wherever the input says.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "zrmackv/zrmackv.h"

namespace {

std::string g_dir;
std::FILE* g_null = nullptr;

void write_file(const std::string& path, std::string_view data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

// Splits off the text before the next "\n%%\n" (the rest stays in text).
std::string_view take_part(std::string_view& text) {
  constexpr std::string_view kMark = "\n%%\n";
  std::size_t at = text.find(kMark);
  std::string_view part = text.substr(0, at);
  text = at == std::string_view::npos ? std::string_view() : text.substr(at + kMark.size());
  return part;
}

// Names of devices and kernel files would let an input read forever.
bool names_special_file(std::string_view text) {
  for (std::string_view word : {"dev", "proc", "sys"})
    if (text.find(word) != std::string_view::npos) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/zrmackv_fuzz.XXXXXX";
  if (!mkdtemp(pattern)) std::abort();
  g_dir = pattern;
  if (chdir(g_dir.c_str()) != 0) std::abort();
  std::string sub = g_dir + "/sub";
  std::string out = g_dir + "/out";
  if (mkdir(sub.c_str(), 0700) != 0 || mkdir(out.c_str(), 0700) != 0) std::abort();
  g_null = std::fopen("/dev/null", "w");
  if (!g_null) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 64 * 1024) return -1;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (names_special_file(text)) return -1;
  const std::uint8_t options = data[0];
  std::string_view source = take_part(text);
  std::string_view a_inc = take_part(text);
  std::string_view b_inc = text;
  write_file(g_dir + "/src.arq", source);
  write_file(g_dir + "/a.inc", a_inc);
  write_file(g_dir + "/sub/b.inc", b_inc);

  std::vector<std::string> args;
  if (options & 0x01) args.push_back("-l");
  if (options & 0x02) args.push_back((options & 0x80) ? "-ttag.atg" : "-t");
  if (options & 0x04) args.push_back("-patch1");
  if (options & 0x08) args.push_back("-f");
  if (options & 0x10) args.push_back("-lcdm");
  if (options & 0x20) args.push_back("-DX=1:Y=0FFH:Z=101B");
  if (options & 0x40) args.push_back("-Isub");
  if (options & 0x80) args.push_back("-oout");
  args.push_back("src");  // src.arq in the current folder
  zrmackv::Environment env;
  if (!(options & 0x40)) env["INCKV"] = g_dir + "/sub;;" + g_dir;
  zrmackv::run_zrmackv(args, env, g_null);
  return 0;
}
