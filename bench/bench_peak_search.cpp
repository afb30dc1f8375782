// "Peak Search" then "Search" (smoothing, second derivative, scan, classification) as
// the profile window runs them, on a 30 000-point laboratory scan and a 130 000-point
// synchrotron scan. Targets: under 2 ms and under 10 ms.
// The data are those of bench/compare_scipy.py: the same formula and the same
// pseudo-random noise, so the two timings compare like with like.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "commands/peak_search.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"

namespace {

using namespace vornax;

constexpr int kPeaks = 150;

// 31-bit linear congruential generator, uniform in [-0.5, 0.5).
struct Lcg {
  uint32_t x = 12345;
  double next() {
    x = static_cast<uint32_t>((1103515245ull * x + 12345ull) % 2147483648ull);
    return x / 2147483648.0 - 0.5;
  }
};

Profile bench_profile(size_t n, double step) {
  const double start = 5, span = step * static_cast<double>(n - 1);
  Profile p;
  p.points.resize(n);
  Lcg rng;
  for (size_t i = 0; i < n; ++i) {
    const double x = start + step * static_cast<double>(i);
    double y = 5 + rng.next();
    for (int m = 0; m < kPeaks; ++m) {
      const double c = start + (m + 0.5) * span / kPeaks + 0.37 * step;
      const double sigma = 0.02 + 0.02 * ((m * 7) % 5) / 5.0;
      const double height = 20 + (m * 37) % 80;
      const double u = (x - c) / sigma;
      if (std::fabs(u) < 10) y += height * std::exp(-0.5 * u * u);
    }
    p.points[i] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(x)};
  }
  p.wavelengths = {1.5418, 1.540593, 1.544414, 0.5, "Cu"};
  return p;
}

struct Quiet : Messages {
  void error(std::string_view) override {}
  void warning(std::string_view) override {}
  void info(std::string_view) override {}
  Answer ask(std::string_view) override { return Answer::Yes; }
  void beep() override {}
};

void BM_PrepareAndSearch(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const double step = n <= 30000 ? 0.004 : 0.001;
  WorkSession s;
  s.profile = bench_profile(n, step);
  Quiet m;
  PeakSearchState st;
  size_t found = 0;
  for (auto _ : state) {
    prepare_peak_search(s, m, st);  // measures the data and sets the sliders from it
    search_peaks(s, m, st);
    found = s.measured.peaks.size();
    benchmark::DoNotOptimize(found);
  }
  state.counters["peaks"] = static_cast<double>(found);
}
BENCHMARK(BM_PrepareAndSearch)->Arg(30000)->Arg(130000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
