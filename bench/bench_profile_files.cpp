// Reading large profiles: a 130 000-point synchrotron column file and a 30 000-point
// RAW1 scan, both built in memory.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "files/column_profile.hpp"
#include "files/raw_file.hpp"

namespace {

std::string column_scan(int n) {
  std::string text = "# 2theta counts sigma\n";
  for (int i = 0; i < n; ++i)
    text += std::to_string(2.0 + 0.001 * i) + "\t" + std::to_string(1000 + (i * 7919) % 50000) +
            "\t" + std::to_string(30 + i % 17) + "\r\n";
  return text;
}

std::string raw1_scan(int n) {
  std::string b(1016, '\0');
  auto put = [&](size_t at, auto v) { std::memcpy(b.data() + at, &v, sizeof v); };
  std::memcpy(b.data(), "RAW1", 4);
  put(616, 1.5418);
  put(716, int32_t{n});
  put(728, 5.0);
  put(888, 0.01);
  for (int i = 0; i < n; ++i) {
    const float v = static_cast<float>(100 + (i * 31) % 5000);
    b.append(reinterpret_cast<const char*>(&v), 4);
  }
  return b;
}

void BM_ColumnProfile130k(benchmark::State& state) {
  const std::string text = column_scan(130000);
  for (auto _ : state) benchmark::DoNotOptimize(vornax::read_column_profile(text, "sync.xye"));
}
BENCHMARK(BM_ColumnProfile130k)->Unit(benchmark::kMillisecond);

void BM_Raw1Profile30k(benchmark::State& state) {
  const std::string bytes = raw1_scan(30000);
  for (auto _ : state) benchmark::DoNotOptimize(vornax::read_raw_file(bytes, "scan.raw"));
}
BENCHMARK(BM_Raw1Profile30k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
