// Allowed-reflection generation: the largest input the candidate limit lets through
// (a large triclinic cell, about 9975 candidates, where the exchange sort dominates;
// target under 10 ms of CPU) and a typical case (corundum, R -3 c in hexagonal axes, to
// 140° 2θ with Cu Kα1, 36 operators).
#include <benchmark/benchmark.h>

#include "core/reflections.hpp"
#include "core/symmetry.hpp"

using namespace vornax;

namespace {

struct Quiet : Messages {
  void error(std::string_view) override {}
  void warning(std::string_view) override {}
  void info(std::string_view) override {}
  Answer ask(std::string_view) override { return Answer::Yes; }
  void beep() override {}
};

SymmetryOperator op(std::array<double, 4> r1, std::array<double, 4> r2, std::array<double, 4> r3) {
  SymmetryOperator o;
  o.rows = {r1, r2, r3};
  return o;
}

WorkSession triclinic_limit_case() {
  WorkSession s;
  s.system = "TRIC";
  s.symbol = "P 1";
  s.lattice_letter = 'P';
  s.cell = {20.1, 21.2, 22.3, 81, 97, 103};
  s.wavelengths.lambda = 1.5406;
  s.window_max = 75.45;
  s.operators = {op({1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0})};
  return s;
}

// R -3 c, hexagonal axes: the six operators of the -3 c part listed once, doubled by
// the centre of symmetry, then the two rhombohedral centring translations.
WorkSession corundum() {
  WorkSession s;
  s.system = "HEXA";
  s.symbol = "R -3 C";
  s.lattice_letter = 'R';
  s.cell = {4.7589, 4.7589, 12.991, 90, 90, 120};
  s.wavelengths.lambda = 1.540593;
  s.window_max = 140;
  const std::vector<SymmetryOperator> half = {
      op({1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}),
      op({0, -1, 0, 0}, {1, -1, 0, 0}, {0, 0, 1, 0}),
      op({-1, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}),
      op({0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, -1, 0.5}),
      op({1, -1, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 0.5}),
      op({-1, 0, 0, 0}, {-1, 1, 0, 0}, {0, 0, -1, 0.5}),
  };
  s.operators = half;
  for (auto o : half) {
    for (auto& row : o.rows) {
      for (auto& v : row) v = -v;
      if (row[3] < 0) row[3] += 1;
    }
    s.operators.push_back(o);
  }
  add_lattice_centring(s.operators, 'R', "HEXA");
  return s;
}

void run(benchmark::State& state, WorkSession s) {
  Quiet m;
  for (auto _ : state) {
    generate_allowed_reflections(s, m);
    benchmark::DoNotOptimize(s.allowed.data());
  }
  state.counters["reflections"] = static_cast<double>(s.allowed.size());
}

void BM_AllowedTriclinicLimit(benchmark::State& state) { run(state, triclinic_limit_case()); }
void BM_AllowedCorundum(benchmark::State& state) { run(state, corundum()); }

}  // namespace

BENCHMARK(BM_AllowedTriclinicLimit)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_AllowedCorundum)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

BENCHMARK_MAIN();
