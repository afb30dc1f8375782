// A whole refinement as the refine command runs it: 500 pairs of a triclinic cell,
// all eight keys (so the wavelength-only stage runs first), vornax.inp, vornax.out,
// mouchard written and vornax.out read back. Target: under 2 ms of CPU.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "core/cell.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "commands/refine_tab.hpp"
#include "support/recording_messages.hpp"

namespace {

using namespace vornax;

// 500 pairs: angles from the true cell with a zero shift, the start cell perturbed.
void fill_session(WorkSession& s, const std::filesystem::path& folder) {
  reset_session(s, folder);
  const CellParameters truth{9.1, 10.3, 11.7, 93.2, 101.5, 87.4};
  s.system = "TRIC";
  s.cell = s.initial_cell = {9.12, 10.28, 11.72, 93.0, 101.8, 87.6};
  s.wavelengths.lambda = 1.540593;
  s.measured.file_name = "bench.dif";
  ReciprocalCell rc;
  ReciprocalMatrix B;
  compute_reciprocal(truth, rc, B);
  for (int h = 0; h <= 8 && s.selected.size() < kMaxSelectedPairs; ++h)
    for (int k = -8; k <= 8 && s.selected.size() < kMaxSelectedPairs; ++k)
      for (int l = -8; l <= 8 && s.selected.size() < kMaxSelectedPairs; ++l) {
        if (h == 0 && (k < 0 || (k == 0 && l <= 0))) continue;
        const double q = inverse_d_squared(B, h, k, l);
        const double x = 1.5406 * std::sqrt(q) / 2;
        if (x >= 0.95) continue;
        SelectedPair p;
        p.h = static_cast<int32_t>(h);
        p.k = static_cast<int32_t>(k);
        p.l = static_cast<int32_t>(l);
        p.two_theta_obs = static_cast<float>(two_theta_from_d(1 / std::sqrt(q), 1.5406) + 0.03);
        p.two_theta_calc = p.two_theta_obs;
        s.selected.push_back(p);
      }
  s.refine_checked.fill(true);
}

void BM_WholeRefinement500Pairs(benchmark::State& state) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vornax_bench_XXXXXX").string();
  const std::filesystem::path folder = mkdtemp(tmpl.data());
  WorkSession s;
  fill_session(s, folder);
  if (s.selected.size() != kMaxSelectedPairs) state.SkipWithError("not 500 pairs");
  const auto pairs = s.selected;
  RecordingMessages m;
  int cycles = 0;
  for (auto _ : state) {
    s.selected = pairs;
    s.cell = s.initial_cell;
    const RefineOutcome out = refine_pairs(s, {"1.540593", "0"}, m);
    if (out.status != RefineStatus::Refined) state.SkipWithError("refinement failed");
    cycles = out.run.problem.cycles;
    benchmark::DoNotOptimize(s.results.cell.a);
  }
  state.counters["cycles"] = cycles;  // of the second stage
  state.counters["messages"] = static_cast<double>(m.log.size());
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_WholeRefinement500Pairs)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
