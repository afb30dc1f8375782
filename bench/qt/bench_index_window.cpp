// The index window keeps the windows answering while it searches: the longest time the
// main thread is held from "Index" to the list shown, for a 20-line orthorhombic list
// and a 20-line monoclinic one. Target: under 50 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "indexing/generated_lines.hpp"
#include "support/recording_messages.hpp"
#include "ui/index_window.hpp"

namespace {

using namespace indexing_test;

void BM_IndexWindowLongestBlock(benchmark::State& state) {
  Random r{static_cast<uint64_t>(state.range(0))};
  const BravaisType type = bravais_types()[static_cast<size_t>(state.range(0))];
  const Sample sample = random_sample(type, 20, r);
  vornax::WorkSession s;
  s.data_folder = VORNAX_SOURCE_DATA_DIR;
  s.wavelengths.lambda = kCuKa1;
  s.measured.wavelengths.lambda = kCuKa1;
  for (double t : sample.two_theta) {
    vornax::MeasuredPeak p;
    p.two_theta = p.two_theta_read = t;
    p.line_code = 1;
    s.measured.peaks.push_back(p);
  }
  vornax::RecordingMessages m;
  double longest = 0;
  for (auto _ : state) {
    vornax::IndexWindow win(s, m);
    QEventLoop loop;
    QObject::connect(&win, &vornax::IndexWindow::searchFinished, &loop, &QEventLoop::quit);
    // A tick every 2 ms: the gaps between ticks are the times the main thread was held.
    QElapsedTimer clock;
    QTimer tick;
    tick.setInterval(2);
    qint64 last = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      longest = std::max(longest, (now - last) / 1e6);
      last = now;
    });
    clock.start();
    tick.start();
    QTimer::singleShot(0, &win, [&] { win.open_on_session(); });
    loop.exec();
    // The list is shown after the signal: one more turn of the loop.
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
    longest = std::max(longest, (clock.nsecsElapsed() - last) / 1e6);
  }
  state.counters["longest_block_ms"] = longest;
  state.SetLabel(std::string(type.symbol));
}
BENCHMARK(BM_IndexWindowLongestBlock)->Arg(7)->Arg(11)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
