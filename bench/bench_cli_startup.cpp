// Start-up of the command line: `vornax-cli profile` of a small column file as a whole
// process, beside the same conversion by xyconv (Debian's libxy-bin), a small C++
// program that reads the same file and prints it. The ratio of the two is the cost of
// our start-up over a plain reader's; we aim to stay within 2x.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct ProcessCost {
  double wall = 0, cpu = 0;  // seconds
};

// Runs argv with standard output and error thrown away; the child's own CPU time comes
// from wait4, so other load on the machine only blurs the wall time.
ProcessCost run_process(const std::vector<std::string>& argv, bool& ok) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int err = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ProcessCost cost;
  if (err != 0) {
    ok = false;
    return cost;
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  cost.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto secs = [](timeval t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
  cost.cpu = secs(usage.ru_utime) + secs(usage.ru_stime);
  ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return cost;
}

// A small scan, 2θ and counts in two columns, as both programs read it (a column file
// names no wavelength, so vornax-cli is given one).
const fs::path& small_scan() {
  static const fs::path file = [] {
    const fs::path f = fs::temp_directory_path() / ("vornax_bench_start_" + std::to_string(::getpid()) + ".xy");
    std::ofstream out(f);
    for (int i = 0; i < 200; ++i) out << 20 + 0.05 * i << ' ' << 100 + (i * 37) % 400 << '\n';
    return f;
  }();
  return file;
}

std::vector<std::string> vornax_run() { return {VORNAX_CLI_PATH, "profile", small_scan().string(), "--lambda", "1.540593"}; }

std::vector<std::string> xyconv_run() {
  for (const char* dir : {"/usr/bin", "/usr/local/bin"}) {
    const fs::path p = fs::path(dir) / "xyconv";
    if (fs::exists(p)) return {p.string(), small_scan().string(), "-"};
  }
  return {};
}

void time_one(benchmark::State& state, const std::vector<std::string>& argv) {
  if (argv.empty()) {
    state.SkipWithError("xyconv not found (install libxy-bin)");
    return;
  }
  double cpu = 0;
  for (auto _ : state) {
    bool ok = true;
    const ProcessCost c = run_process(argv, ok);
    if (!ok) {
      state.SkipWithError(("failed: " + argv[0]).c_str());
      return;
    }
    state.SetIterationTime(c.wall);
    cpu += c.cpu;
  }
  state.counters["child_cpu_ms"] =
      benchmark::Counter(cpu * 1e3 / static_cast<double>(state.iterations()));
}

void BM_VornaxCliProfile(benchmark::State& state) { time_one(state, vornax_run()); }
BENCHMARK(BM_VornaxCliProfile)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_XyconvSameFile(benchmark::State& state) { time_one(state, xyconv_run()); }
BENCHMARK(BM_XyconvSameFile)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Both in turn, so that both see the same load; the ratio is vornax-cli over xyconv.
void BM_StartupRatio(benchmark::State& state) {
  const auto ours = vornax_run(), theirs = xyconv_run();
  if (theirs.empty()) {
    state.SkipWithError("xyconv not found (install libxy-bin)");
    return;
  }
  ProcessCost a, b;
  for (auto _ : state) {
    bool ok1 = true, ok2 = true;
    const ProcessCost x = run_process(ours, ok1), y = run_process(theirs, ok2);
    if (!ok1 || !ok2) {
      state.SkipWithError("a run failed");
      return;
    }
    a.wall += x.wall;
    a.cpu += x.cpu;
    b.wall += y.wall;
    b.cpu += y.cpu;
    state.SetIterationTime(x.wall + y.wall);
  }
  state.counters["wall_ratio"] = a.wall / b.wall;
  state.counters["cpu_ratio"] = b.cpu > 0 ? a.cpu / b.cpu : 0;
}
BENCHMARK(BM_StartupRatio)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove(small_scan(), ec);
  return 0;
}
