// "Calc." as the button runs it for silicon (F d -3 m, a = 5.431194 Å, Cu Kα1, 10 to
// 140° 2θ) with the installed catalogue and operator files: the lists refilled, the
// operators read, hm.txt written, the reflections generated and the grid filled.
// Target: under 0.5 ms of CPU.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "commands/calculation.hpp"
#include "core/catalogue.hpp"
#include "core/crystal_system.hpp"
#include "core/format.hpp"
#include "core/session.hpp"
#include "support/recording_messages.hpp"

namespace {

using namespace vornax;

int index_of(const std::vector<std::string>& list, const std::string& entry) {
  for (size_t i = 0; i < list.size(); ++i)
    if (trim(list[i].substr(0, 12)) == entry) return static_cast<int>(i);
  return -1;
}

void BM_CalcSilicon(benchmark::State& state) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vornax_bench_XXXXXX").string();
  const std::filesystem::path folder = mkdtemp(tmpl.data());
  WorkSession s;
  reset_session(s, folder);
  s.data_folder = VORNAX_SOURCE_DATA_DIR;
  CellTab tab;
  tab.system_index = system_index("CUBI");
  s.system = "CUBI";
  fill_getspec_list(s, tab);
  fill_hm_list(s, tab);
  tab.hm_selected = index_of(tab.hm_list, "F d -3 m:1");
  if (tab.hm_selected < 0) tab.hm_selected = index_of(tab.hm_list, "F d -3 m");
  s.symbol = to_upper(tab.hm_list[static_cast<size_t>(std::max(tab.hm_selected, 0))]);
  s.symbol_kind = "HM";
  tab.fields = {"5.431194", "5.431194", "5.431194", "90", "90", "90", "1.540593", "10", "140"};
  RecordingMessages m;
  for (auto _ : state) {
    const CalcOutcome out = calculate_reflections(s, tab, m);
    if (out.failed || s.allowed.empty()) state.SkipWithError("no reflections");
    benchmark::DoNotOptimize(s.allowed.data());
  }
  state.counters["reflections"] = static_cast<double>(s.allowed.size());
  state.counters["messages"] = static_cast<double>(m.log.size());
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_CalcSilicon)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
