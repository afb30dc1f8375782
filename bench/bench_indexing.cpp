// Indexing of generated line lists: the share of samples whose true cell is ranked first,
// per Bravais type, and the time per sample on one core.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "indexing/generated_lines.hpp"
#include "indexing/indexer.hpp"

namespace {

using namespace indexing_test;

// VORNAX_INDEX_SEED draws other lists, to check that a change is not fitted to the
// usual ones.
const uint64_t kSeed = [] {
  const char* env = std::getenv("VORNAX_INDEX_SEED");
  return env ? std::strtoull(env, nullptr, 10) : 1000;
}();

// VORNAX_INDEX_LINES: lines per list (25 by default; the published comparisons use 20).
const int kLines = [] {
  const char* env = std::getenv("VORNAX_INDEX_LINES");
  return env ? std::atoi(env) : 25;
}();

void BM_IndexBravaisType(benchmark::State& state) {
  const BravaisType type = bravais_types()[static_cast<size_t>(state.range(0))];
  const int samples = static_cast<int>(state.range(1));
  IndexSettings settings;
  settings.lambda = kCuKa1;
  settings.impurities = 3;
  settings.time_budget = 120;
  int first = 0, found = 0, total = 0, timeouts = 0;
  for (auto _ : state) {
    Random r{kSeed + static_cast<uint64_t>(state.range(0))};
    first = found = total = timeouts = 0;
    for (int i = 0; i < samples; ++i) {
      const Sample s = random_sample(type, kLines, r);
      const IndexResult res = index_lines(s.two_theta, settings);
      const Mat3 truth = primitive_metric(s.cell, s.centring);
      ++total;
      timeouts += res.out_of_time;
      for (size_t k = 0; k < res.candidates.size(); ++k)
        if (same_lattice(res.candidates[k].reduced, truth, 0.003)) {
          ++found;
          if (k == 0) ++first;
          break;
        }
      // VORNAX_BENCH_VERBOSE=1 lists the lists whose true cell was not ranked first.
      const bool missed = res.candidates.empty() || !same_lattice(res.candidates[0].reduced, truth, 0.003);
      if (missed && std::getenv("VORNAX_BENCH_VERBOSE")) {
        std::fprintf(stderr, "%s miss: %.4f %.4f %.4f %.2f %.2f %.2f impurities %d zero %.3f",
                     type.symbol.data(), s.cell.a, s.cell.b, s.cell.c, s.cell.alpha, s.cell.beta,
                     s.cell.gamma, s.impurities, s.zero);
        if (!res.candidates.empty()) {
          const IndexedCell& c = res.candidates[0];
          std::fprintf(stderr, "; first %s %.4f %.4f %.4f %.2f %.2f %.2f M20 %.1f unindexed %zu",
                       c.type.symbol.data(), c.cell.a, c.cell.b, c.cell.c, c.cell.alpha,
                       c.cell.beta, c.cell.gamma, c.m20, c.unindexed.size());
        }
        std::fprintf(stderr, "\n");
      }
    }
  }
  state.counters["first_pct"] = 100.0 * first / total;
  state.counters["found_pct"] = 100.0 * found / total;
  state.counters["timeouts"] = timeouts;
  state.counters["s_per_sample"] = benchmark::Counter(
      static_cast<double>(total), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.SetLabel(std::string(type.symbol));
}

}  // namespace

// Every Bravais type with kSamples samples (VORNAX_INDEX_SAMPLES overrides); one
// iteration each: the rates are the result.
static const int kSamples = [] {
  const char* env = std::getenv("VORNAX_INDEX_SAMPLES");
  return env ? std::atoi(env) : 50;
}();
BENCHMARK(BM_IndexBravaisType)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 13, 1), {kSamples}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
