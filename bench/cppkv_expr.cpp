// Time to evaluate one #if expression of a given length, for several
// shapes: a flat sum, mixed priorities, deep parentheses, long unary chains
// and nested conditional operators. The times at 4,096, 8,192 and 16,383
// characters show how the cost grows with the length.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "cppkv/expr.h"
#include "cppkv/run.h"

namespace {

std::string fill(const std::string& head, const std::string& unit, const std::string& tail, std::size_t length) {
  std::string text = head;
  while (text.size() + unit.size() + tail.size() <= length) text += unit;
  return text + tail;
}

std::string make(int shape, std::size_t length) {
  switch (shape) {
    case 0: return fill("1", "+1", "", length);
    case 1: return fill("1", " * 3 + 0x1F / 2 - 'a' % 7 << 1 >= 5 && X || 010 != 2u", "", length);
    case 2: {
      const std::size_t depth = (length - 1) / 2;
      return std::string(depth, '(') + "1" + std::string(depth, ')');
    }
    case 3: return std::string(length - 1, '!') + "1";
    default: return fill("", "1 ? 2 : ", "3", length);
  }
}

void BM_Evaluate(benchmark::State& state) {
  const std::string text = make(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1)));
  std::FILE* devnull = std::fopen("/dev/null", "w");
  cppkv::Run run(devnull, devnull, devnull, nullptr);
  for (auto _ : state) {
    std::int32_t value = 0;
    bool ok = cppkv::evaluate_condition(run, text, value);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
  std::fclose(devnull);
}

// Shapes: 0 flat sum, 1 mixed operators, 2 parentheses, 3 ! chain, 4 ?: chain.
BENCHMARK(BM_Evaluate)->ArgsProduct({{0, 1, 2, 3, 4}, {4096, 8192, 16383}});

}  // namespace

BENCHMARK_MAIN();
