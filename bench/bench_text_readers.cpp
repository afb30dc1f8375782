// Text readers on large files: a 133 000-point GSAS FXYE bank (time per read), and a
// 60 MB file of blank lines read as a column peak file (.prn) and as an indexed list
// (.lst), whose peak memory (ru_maxrss of a child process that reads nothing else) is
// reported as the counters peak_MB and file_MB.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/errors.hpp"
#include "core/text_file.hpp"
#include "files/gsas_file.hpp"
#include "files/indexed_list_file.hpp"
#include "files/peak_files.hpp"

namespace {

std::string fxye_bank(int n) {
  std::string text = "Synchrotron scan, 133k points\r\n";
  text += "BANK 1 " + std::to_string(n) + " " + std::to_string(n) + " CONS 200.0 0.5 0 0 FXYE\r\n";
  char line[96];
  for (int i = 0; i < n; ++i) {
    const double x = 200.0 + 0.5 * i;  // centidegrees
    const double y = 1000.0 + (i * 7919) % 50000 + 0.25;
    std::snprintf(line, sizeof line, "%12.4f %14.5f %10.5f\r\n", x, y, 30.0 + i % 17);
    text += line;
  }
  return text;
}

void BM_GsasFxye133k(benchmark::State& state) {
  const std::string text = fxye_bank(133000);
  for (auto _ : state) benchmark::DoNotOptimize(vornax::read_gsas_file(text, "sync.fxye"));
}
BENCHMARK(BM_GsasFxye133k)->Unit(benchmark::kMillisecond);

constexpr size_t kBlankFileBytes = 60u * 1024 * 1024;

std::filesystem::path blank_file() {
  static const std::filesystem::path path = [] {
    const auto p = std::filesystem::temp_directory_path() / "vornax_bench_blank_lines.txt";
    std::ofstream f(p, std::ios::binary);
    const std::string chunk(1 << 20, '\n');
    for (size_t done = 0; done < kBlankFileBytes; done += chunk.size()) f << chunk;
    return p;
  }();
  return path;
}

// The peak resident memory of a child process that reads the file once, in MB.
double child_peak_mb(bool indexed_list) {
  const std::filesystem::path path = blank_file();
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    try {
      if (indexed_list) {
        const std::string bytes = vornax::read_file_bytes(path);
        vornax::read_indexed_list(bytes, "blank.lst");
      } else {
        vornax::read_peak_file(vornax::PeakFileType::ColumnPrn, path, 0.1);
      }
    } catch (const vornax::Error&) {
      // no peaks in the file: refused after the whole file was read
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const long kb = u.ru_maxrss;
    _exit(write(fds[1], &kb, sizeof kb) == sizeof kb ? 0 : 1);
  }
  close(fds[1]);
  long kb = -1024;
  if (read(fds[0], &kb, sizeof kb) != sizeof kb) kb = -1024;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return static_cast<double>(kb) / 1024;
}

void peak_memory(benchmark::State& state, bool indexed_list) {
  double mb = 0;
  for (auto _ : state) mb = child_peak_mb(indexed_list);
  state.counters["peak_MB"] = mb;
  state.counters["file_MB"] = static_cast<double>(kBlankFileBytes) / (1024 * 1024);
}

void BM_BlankLines60MB_Prn(benchmark::State& state) { peak_memory(state, false); }
void BM_BlankLines60MB_Lst(benchmark::State& state) { peak_memory(state, true); }
BENCHMARK(BM_BlankLines60MB_Prn)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BlankLines60MB_Lst)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
