// A series of 200 patterns (8001 points each, a cubic cell growing with the index):
// profile load, peak search, "Calc.", "Auto Sel." and refinement on each: chained in
// order; unchained one and two at a time, in memory; and unchained through the
// refinement's files (vornax.inp, vornax.out, mouchard per pattern, as --files).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "commands/calculation.hpp"
#include "commands/series.hpp"
#include "core/cell_entry.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"

namespace {

using namespace vornax;

constexpr int kPatterns = 200;
constexpr double kLambda = 1.540593;

std::filesystem::path make_patterns() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vornax_bench_series_XXXXXX").string();
  const std::filesystem::path dir = mkdtemp(tmpl.data());
  std::mt19937 rng(7);
  std::normal_distribution<double> gauss(0, 1);
  for (int i = 1; i <= kPatterns; ++i) {
    const double a = 4.0 + 0.0002 * i;
    std::vector<std::pair<double, double>> lines;
    for (int n = 1; n <= 40; ++n) {
      const double x = kLambda * std::sqrt(n) / (2 * a);
      if (x >= 1) break;
      const double tt = 2 * std::asin(x) * 180 / 3.14159265358979323846;
      if (tt > 20.5 && tt < 99.5) lines.push_back({tt, 1000.0 / (1 + 0.1 * n)});
    }
    char name[64];
    std::snprintf(name, sizeof name, "pattern_%03d.xy", i);
    std::ofstream f(dir / name);
    for (int j = 0; j <= 8000; ++j) {
      const double t = 20 + 0.01 * j;
      double y = 20;
      for (const auto& [p, h] : lines) y += h * std::exp(-4 * std::log(2) * std::pow((t - p) / 0.2, 2));
      f << t << ' ' << std::max(0.0, y + std::sqrt(y) * gauss(rng)) << '\n';
    }
  }
  return dir;
}

// Made once, removed when the program ends.
const std::filesystem::path& patterns() {
  static const struct Folder {
    std::filesystem::path dir = make_patterns();
    ~Folder() {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  } folder;
  return folder.dir;
}

void run(benchmark::State& state, bool chain, int jobs, bool files = false) {
  const auto files_in = series_files_in(patterns());
  SeriesSettings st;
  // Chained, each run starts from the cell before; unchained, all start from the
  // middle of the series with a wider tolerance.
  const double a0 = chain ? 4.0 : 4.02;
  st.start = {a0, a0, a0, 90, 90, 90};
  st.session.system = "CUBI";
  st.session.group = "P m -3 m";
  st.session.lambda = "1.540593";
  st.session.range_min = "20";
  st.session.range_max = "100";
  st.session.data_folder = VORNAX_SOURCE_DATA_DIR;
  st.lambda = kLambda;
  st.tolerance = chain ? "0.15" : "0.5";
  PerQuantity<bool> keys{};
  keys[0] = keys[6] = true;  // a and the zero shift
  st.keys = keys;
  st.chain = chain;
  st.jobs = jobs;
  st.files = files;
  std::string work;
  if (files) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vornax_bench_runs_XXXXXX").string();
    work = mkdtemp(tmpl.data());
    st.work_root = work;
  }
  int ok = 0;
  for (auto _ : state) {
    const auto rows = run_series(files_in, st);
    ok = 0;
    for (const auto& r : rows) ok += r.status == SeriesStatus::Ok;
  }
  state.counters["refined"] = ok;
  if (!work.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
  }
}

void BM_SeriesChained(benchmark::State& s) { run(s, true, 1); }
void BM_SeriesOneJob(benchmark::State& s) { run(s, false, 1); }
void BM_SeriesTwoJobs(benchmark::State& s) { run(s, false, 2); }
void BM_SeriesThroughFiles(benchmark::State& s) { run(s, false, 1, true); }
// Wall-clock time: the parallel runs happen on other threads.
BENCHMARK(BM_SeriesChained)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_SeriesOneJob)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_SeriesTwoJobs)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_SeriesThroughFiles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
