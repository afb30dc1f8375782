// Filling the calculated grid with 10 000 reflections, and filling it again with the
// same number of rows (what "Calc." pressed twice does). Target: under 100 ms each.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableWidget>

#include "commands/calculation.hpp"
#include "core/session.hpp"
#include "ui/grid_text_table.hpp"

namespace {

vornax::GridText big_grid() {
  vornax::WorkSession s;
  for (int i = 0; i < 10000; ++i)
    s.allowed.push_back({i % 17, i % 13, i % 11, 0, 1.0 + i * 1e-4, 10.0 + i * 0.015});
  return vornax::calculated_grid(s);
}

void BM_RefillCalculatedGrid(benchmark::State& state) {
  const vornax::GridText g = big_grid();
  QTableWidget table;
  vornax::setup_table(&table, false);
  vornax::fill_table(&table, g);  // the first fill; the refills are measured
  for (auto _ : state) {
    vornax::fill_table(&table, g);
    benchmark::DoNotOptimize(table.rowCount());
  }
}
BENCHMARK(BM_RefillCalculatedGrid)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
