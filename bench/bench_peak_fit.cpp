// The profile fit of the found peaks on a 30 000-point laboratory scan (10–130°, step
// 0.004°) holding 100 Cu Kα doublets of 0.05–0.12° with Poisson counts, each peak
// given where a search leaves an unresolved doublet. Target: under 5 ms per pattern.
#include <benchmark/benchmark.h>

#include <vector>

#include "profile/classification.hpp"
#include "profile/peak_fit.hpp"
#include "profile/profile_generator.hpp"

namespace {

using namespace vornax;

constexpr int kLines = 100;
constexpr double kCuA1 = 1.540593, kCuA2 = 1.544414;

struct Pattern {
  Profile profile;
  std::vector<PeakToFit> peaks;
};

Pattern bench_pattern() {
  testing::CountedRecipe r;
  r.start = 10;
  r.step = 0.004;
  r.points = 30001;
  r.fwhm = 0.05;
  r.fwhm_tan = 0.03;  // 0.05° at 10°, 0.11° at 130°
  r.lambda1 = kCuA1;
  r.lambda2 = kCuA2;
  r.background = 150;
  r.seed = 99;
  Pattern out;
  for (int m = 0; m < kLines; ++m) {
    const double x = 10.6 + 1.18 * m;
    r.lines.push_back({x, 1000.0 + (m * 3717) % 20000});
    // Near the doublet's maximum, a step off.
    const double a2 = testing::alpha2_angle(x, kCuA1, kCuA2);
    out.peaks.push_back({x + (a2 - x) / 3 + 0.004, kLineKAlpha});
  }
  out.profile = testing::make_counted_profile(r);
  return out;
}

void BM_FitPeaks(benchmark::State& state) {
  const Pattern pattern = bench_pattern();
  PeakFitOptions options;
  if (state.range(0) != 0) options.fwhm = 0.08;  // else measured on the profile
  int fitted = 0;
  for (auto _ : state) {
    const PeakFitResult r = fit_peaks(pattern.profile, pattern.peaks, pattern.profile.wavelengths, options);
    fitted = r.fitted_count;
    benchmark::DoNotOptimize(r.peaks.data());
  }
  state.counters["fitted"] = fitted;
}
BENCHMARK(BM_FitPeaks)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_StripKAlpha2(benchmark::State& state) {
  const Pattern pattern = bench_pattern();
  for (auto _ : state) {
    std::vector<double> s = strip_kalpha2(pattern.profile, pattern.profile.wavelengths);
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_StripKAlpha2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
