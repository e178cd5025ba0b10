// In-process throughput of the cppkv input reader (logical lines, with and
// without the cleaning pass) and of the whole pipeline, on a generated C
// source held in memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "cppkv/cppkv.h"
#include "cppkv/reader.h"
#include "cppkv/run.h"

namespace {

std::string make_source(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 1024);
  for (int i = 0; text.size() < bytes; ++i) {
    std::string n = std::to_string(i);
    text += "/* function " + n + ": a block comment\n * over lines, \"quotes\" and 'apostrophes'\n */\n";
    text += "#define VALUE_" + n + " (" + n + " * 3 + \\\n                  7)\n";
    text += "#if " + std::to_string(i % 2) + "\n";
    text += "static const char *name_" + n + " = \"item " + n + "\\n\\t\\\"q\\\"\"; // comment\n";
    text += "#else\nstatic const char *name_" + n + " = \"other\";\n#endif\n";
    text += "int function_" + n + "(int a, int b)\n{\n    int total = a + b * VALUE_" + n +
            "; /* inline */\n    char c = '\\'';\n    if (total > " + n +
            " && c != '\\0') {\n        total -= b; // adjust\n    }\n    return total;\n}\n\n";
  }
  return text;
}

const std::string& source() {
  static const std::string text = make_source(16u << 20);
  return text;
}

void read_all(benchmark::State& state, bool clean) {
  std::string text = source();
  for (auto _ : state) {
    std::FILE* in = fmemopen(text.data(), text.size(), "rb");
    {
      cppkv::Run run(in, stdout, stderr, nullptr);
      cppkv::open_source(run, "");
      cppkv::LineBuffer line(cppkv::kLineBufferSize);
      std::size_t lines = 0;
      while (cppkv::read_logical_line(run, line)) {
        if (clean) cppkv::clean_line(run, line);
        ++lines;
      }
      benchmark::DoNotOptimize(lines);
    }
    std::fclose(in);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

void BM_ReadLogicalLines(benchmark::State& state) { read_all(state, false); }
void BM_ReadAndCleanLines(benchmark::State& state) { read_all(state, true); }

void BM_WholePipeline(benchmark::State& state) {
  std::string text = source();
  std::FILE* devnull = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    std::FILE* in = fmemopen(text.data(), text.size(), "rb");
    int code = cppkv::run_cppkv({}, {}, in, devnull, devnull);
    benchmark::DoNotOptimize(code);
    std::fclose(in);
  }
  std::fclose(devnull);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

BENCHMARK(BM_ReadLogicalLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndCleanLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholePipeline)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
