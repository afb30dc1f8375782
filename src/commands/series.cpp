#include "commands/series.hpp"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

#include "commands/series_load.hpp"
#include "commands/peak_search.hpp"
#include "commands/refine_tab.hpp"
#include "commands/result_cif.hpp"
#include "core/cell.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"
#include "refine/least_squares.hpp"
#include "refine/refinement.hpp"

namespace vornax {

namespace {

// The shortest text that reads back as the same double.
std::string shortest(double v) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

// Keeps the first error of a run for its row; the rest is not shown (a batch run has
// nobody to answer), and a question is answered No.
struct RowMessages : Messages {
  std::string first, first_warning;
  void error(std::string_view t) override { keep(t); }
  void warning(std::string_view t) override {
    if (first_warning.empty()) first_warning = trim(t);
  }
  void info(std::string_view t) override { warning(t); }
  Answer ask(std::string_view) override { return Answer::No; }
  void beep() override {}
  void keep(std::string_view t) {
    if (first.empty()) first = trim(t);
  }
  // The reason for a row: the first error, else the first warning, else `fallback`.
  std::string reason(std::string fallback) const {
    return !first.empty() ? first : !first_warning.empty() ? first_warning : std::move(fallback);
  }
};

// A folder of its own: the calculation writes its operator table at a fixed name, and
// with --files the refinement its files too.
std::filesystem::path make_run_folder(const std::filesystem::path& root) {
  std::filesystem::path base = root;
  if (base.empty()) {
    // The operator table written by each "Calc." goes to memory where the system
    // offers a memory file system: a disk would sync its metadata for every pattern.
    std::error_code ec;
    base = std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
               ? std::filesystem::path("/dev/shm")
               : std::filesystem::temp_directory_path();
  }
  std::error_code ec;
  std::filesystem::create_directories(base, ec);
  std::string pattern = (base / "vornax_series_XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw file_error(base, "create a working folder in");
  return pattern;
}

// A worker's folder, removed with its files when the worker ends.
struct RunFolder {
  std::filesystem::path path;
  ~RunFolder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};

// The folder of a run that keeps its files: under the work root, named after the
// pattern (its index first, so two patterns of one name in different folders differ).
std::filesystem::path kept_run_folder(const SeriesSettings& st, const std::filesystem::path& file,
                                      int index) {
  const std::filesystem::path base = st.work_root.empty() ? std::filesystem::path(".") : st.work_root;
  char number[16];
  std::snprintf(number, sizeof number, "%04d_", index);
  const std::filesystem::path folder = base / (number + file.stem().string());
  std::filesystem::create_directories(folder);
  return folder;
}

// Whether the refined values sit at the least-squares minimum: one more Gauss-Newton
// step from them would move each by less than a tenth of its standard error. The
// engine calls a run converged only when a step still lowered the residual a little,
// so a run already at the minimum, whose every further step is undone, ends at the
// cycle limit without that flag.
bool at_least_squares_minimum(const RefinementProblem& solved) {
  RefinementProblem p = solved;
  const int n = p.npar, count = p.count();
  if (n < 1 || count <= n) return false;
  RowMessages quiet;
  compute_calculated_angles(p, quiet);
  compute_design_matrix(p);
  NormalMatrix a{};
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < n; ++k)
      for (const auto& row : p.D) a[j][k] += row[j] * row[k];
  if (invert_normal_matrix(a, n)) return false;
  double ss = 0;
  for (const auto& o : p.obs) ss += (o.theta_obs - o.theta_calc) * (o.theta_obs - o.theta_calc);
  const double s2 = ss / (count - n);
  for (int j = 0; j < n; ++j) {
    double step = 0;
    for (int k = 0; k < n; ++k) step += a[j][k] * p.r[k];
    if (std::fabs(step) > 0.1 * std::sqrt(s2 * std::fabs(a[j][j]))) return false;
  }
  return true;
}

void fill_from_record(SeriesRow& row, const RefinementRecord& r) {
  row.cell = {r.values[0], r.values[1], r.values[2], r.values[3], r.values[4], r.values[5]};
  row.values = r.values;
  row.errors = r.errors;
  row.refined = r.refined;
  row.volume = r.volume;
  row.volume_error = r.volume_error;
  row.residual = r.residual;
  row.converged = r.converged || at_least_squares_minimum(r.outcome.run.problem);
  row.cycles = r.cycles;
  row.figures_valid = r.quality.figures.valid;
  row.m20 = r.quality.figures.m20;
  row.f_n = r.quality.figures.f_n;
  row.peaks_in_range = r.pairing.peaks;
}

// One pattern on a fresh session, started from `start`. `shared_folder` is the
// worker's working folder (with --files each pattern has its own); every run starts
// from the same typed fields, so nothing of one pattern reaches the next but what the
// caller passes in `start`.
SeriesRow run_one(const std::filesystem::path& file, int index, const CellParameters& start,
                  const SeriesSettings& st, const std::filesystem::path& shared_folder) {
  SeriesRow row;
  row.index = index;
  row.file = file;
  RowMessages m;
  auto fail = [&](std::string why) {
    row.status = SeriesStatus::Failed;
    row.message = why.empty() ? "failed" : std::move(why);
    return row;
  };
  try {
    const std::filesystem::path folder =
        st.files ? kept_run_folder(st, file, index) : shared_folder;

    SessionStart session = st.session;
    const double values[] = {start.a, start.b, start.c, start.alpha, start.beta, start.gamma};
    // Full precision: a start cell rounded to the sixth decimal would differ between a
    // chained run and the same cell typed.
    for (size_t k = 0; k < 6; ++k) session.cell[k] = shortest(values[k]);
    session.folder = folder;
    WorkSession s;
    CellTab tab;
    if (!start_session(s, tab, session, m)) return fail(m.reason(""));

    if (!load_series_profile(s, m, file, st.type, st.lambda))
      return fail(m.reason("no wavelength"));

    PeakSearchState search;
    prepare_peak_search(s, m, search);
    search_peaks(s, m, search, requested_search_settings(search.estimate, st.search));
    if (st.fit && !s.measured.peaks.empty()) {
      search.split_profile = st.split;
      fit_measured_peaks(s, m, search);
      // A wavelength typed as the Kα mean becomes Kα1; one typed near Kα1 is kept, as a
      // user's more precise Kα1 (1.540593 against the table's 1.54056).
      const WavelengthSet& w = s.profile.wavelengths;
      const auto typed = parse_typed(session.lambda);
      const double mean = (w.lambda1 + w.ratio * w.lambda2) / (1 + w.ratio);
      if (typed && has_kalpha2(w) &&
          std::fabs(*typed - w.lambda1) > std::fabs(*typed - mean)) {
        session.lambda = shortest(w.lambda1);
        tab.fields[6] = session.lambda;
      }
    }
    keep_peak_codes(s, search, st.keep);
    hand_over_peaks(s);
    row.peaks = s.measured_count();
    if (row.peaks == 0) return fail(m.reason("no peak found"));

    RoadSettings road;
    road.tolerance = st.tolerance;
    road.keys = st.keys;
    road.eccentricity = st.eccentricity;
    road.inputs = {session.lambda, "0"};
    road.inputs.files = st.files;
    if (st.fit) road.inputs.weights = WeightMode::Fitted;
    const RefinementRecord r = run_refinement_road(s, tab, session, road, m);
    row.pairs = s.selected_count();
    if (r.status != RoadStatus::Refined) return fail(r.message);
    fill_from_record(row, r);
    if (r.diverging) return fail(r.message);
    if (st.cif) row.cif = result_cif(s, r, series_cif_name(row).stem().string());
    if (auto why = series_gate_failure(row, st.gates)) {
      row.status = SeriesStatus::Suspect;
      row.message = *why;
      return row;
    }
    row.status = SeriesStatus::Ok;
    row.message = "ok";
    return row;
  } catch (const std::exception& e) {
    // A damaged file, a full disk: this pattern's row, not the end of the series.
    return fail(e.what());
  }
}

std::string number(double v) { return format_fixed(v, 0, 6); }

}  // namespace

std::vector<SeriesRow> run_series(const std::vector<std::filesystem::path>& files,
                                  const SeriesSettings& st,
                                  const SeriesProgress& progress) {
  // This shard's patterns, by their position in the whole list.
  const size_t count = static_cast<size_t>(std::max(st.shard_count, 1));
  std::vector<size_t> mine;
  for (size_t k = 0; k < files.size(); ++k)
    if (k % count == static_cast<size_t>(st.shard_index)) mine.push_back(k);

  const int total = static_cast<int>(mine.size());
  std::vector<SeriesRow> rows(mine.size());
  std::mutex lock;
  int done = 0;
  auto report = [&](size_t i, SeriesRow row) {
    std::lock_guard<std::mutex> g(lock);
    rows[i] = std::move(row);
    ++done;
    if (progress) progress(rows[i], done, total);
  };
  // One working folder per worker, made once: only the calculation's operator table is
  // written there (and, with --files, nothing: each pattern has its own folder).
  auto worker_folder = [&](RunFolder& folder) -> std::optional<std::string> {
    if (st.files) return std::nullopt;
    try {
      folder.path = make_run_folder(st.work_root);
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return std::nullopt;
  };
  auto failed_row = [&](size_t i, const std::string& why) {
    SeriesRow row;
    row.index = static_cast<int>(mine[i] + 1);
    row.file = files[mine[i]];
    row.message = why;
    return row;
  };

  if (st.chain || st.jobs <= 1) {
    RunFolder folder;
    const auto folder_error = worker_folder(folder);
    CellParameters start = st.start;
    for (size_t i = 0; i < mine.size(); ++i) {
      const size_t k = mine[i];
      if (folder_error) {
        report(i, failed_row(i, *folder_error));
        continue;
      }
      SeriesRow row = run_one(files[k], static_cast<int>(k + 1), start, st, folder.path);
      // Only an ok row carries the chain on: after a failed or suspect pattern the next
      // starts from the last good cell. Unchained, every run starts from st.start.
      if (st.chain && row.status == SeriesStatus::Ok) start = row.cell;
      report(i, std::move(row));
    }
    return rows;
  }

  std::atomic<size_t> next{0};
  auto worker = [&] {
    RunFolder folder;
    const auto folder_error = worker_folder(folder);
    for (size_t i = next++; i < mine.size(); i = next++) {
      if (folder_error) report(i, failed_row(i, *folder_error));
      else report(i, run_one(files[mine[i]], static_cast<int>(mine[i] + 1), st.start, st, folder.path));
    }
  };
  const int n = std::min(st.jobs, total);
  std::vector<std::thread> pool;
  for (int j = 0; j < n; ++j) pool.emplace_back(worker);
  for (auto& t : pool) t.join();
  return rows;
}

std::optional<std::string> series_gate_failure(const SeriesRow& r, const SeriesGates& g) {
  auto percent = [](double f) { return format_fixed(100 * f, 0, 0) + " %"; };
  int npar = 0;
  for (bool k : r.refined) npar += k;
  const int least_pairs = std::max(g.min_pairs, npar + 3);
  if (r.pairs < least_pairs)
    return "too few lines: " + std::to_string(r.pairs) + " pairs (at least " + std::to_string(least_pairs) +
           " wanted)";
  if (r.peaks_in_range > 0 && double(r.pairs) < g.min_paired * r.peaks_in_range)
    return std::to_string(r.pairs) + " of " + std::to_string(r.peaks_in_range) +
           " peaks paired (below " + percent(g.min_paired) + ")";
  if (g.need_convergence && !r.converged) return "the refinement did not converge";
  const size_t shift = index_of(RefinedQuantity::Shift);
  if (std::fabs(r.values[shift]) > g.max_shift)
    return "zero shift " + format_fixed(r.values[shift], 0, 4) + " deg beyond " + shortest(g.max_shift);
  for (size_t k = 0; k < 3; ++k)
    if (r.errors[k] > g.max_rel_error * std::fabs(r.values[k]))
      return std::string("sigma(") + kQuantityNames[k] + ") " + format_fixed(r.errors[k], 0, 6) + " above " +
             shortest(100 * g.max_rel_error) + " % of " + kQuantityNames[k];
  if (!r.figures_valid) return "no figures of merit";
  if (r.m20 < g.min_m20)
    return "M(N) " + format_fixed(r.m20, 0, 1) + " below " + shortest(g.min_m20);
  if (r.f_n < g.min_fn)
    return "F(N) " + format_fixed(r.f_n, 0, 1) + " below " + shortest(g.min_fn);
  return std::nullopt;
}

std::vector<std::filesystem::path> series_files_in(const std::filesystem::path& folder,
                                                   std::error_code& ec) {
  std::vector<std::filesystem::path> out;
  ec.clear();
  std::filesystem::directory_iterator it(folder, ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    // An entry that cannot be looked at (a link loop, a dangling link) is no profile.
    std::error_code entry;
    if (!it->is_regular_file(entry) || entry) continue;
    // Only names of a known kind, and not the too-common ones (.txt, .prn).
    if (profile_taken_by_folder_scan(it->path())) out.push_back(it->path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::filesystem::path> series_files_in(const std::filesystem::path& folder) {
  std::error_code ec;
  return series_files_in(folder, ec);
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string q = "\"";
  for (char c : text) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::vector<std::string> series_csv_lines(const std::vector<SeriesRow>& rows) {
  std::string header = "index,file";
  for (size_t k = 0; k < kRefinedQuantities; ++k)
    header += std::string(",") + kQuantityNames[k] + ",sigma_" + kQuantityNames[k];
  header += ",volume,sigma_volume,M20,F_N,peaks,pairs,residual,status";
  // Added later, so at the end: scripts that count columns keep working.
  header += ",peaks_in_range,converged,cycles";
  std::vector<std::string> out{header};
  for (const SeriesRow& r : rows) {
    std::string line = std::to_string(r.index) + "," + csv_field(r.file.filename().string());
    for (size_t k = 0; k < kRefinedQuantities; ++k)
      line += "," + number(r.values[k]) + "," + number(r.errors[k]);
    line += "," + number(r.volume) + "," + number(r.volume_error) + "," + format_fixed(r.m20, 0, 1) +
            "," + format_fixed(r.f_n, 0, 1) + "," + std::to_string(r.peaks) + "," +
            std::to_string(r.pairs) + "," + number(r.residual) + "," + csv_field(r.status_text());
    line += "," + std::to_string(r.peaks_in_range) + "," + (r.converged ? "yes" : "no") + "," +
            std::to_string(r.cycles);
    out.push_back(line);
  }
  return out;
}

std::filesystem::path series_cif_name(const SeriesRow& row) {
  return row.file.filename().replace_extension(".cif");
}

std::string series_svg(const std::vector<SeriesRow>& rows) {
  struct Panel {
    std::string label;
    std::vector<std::array<double, 3>> points;  // index, value, error
  };
  std::vector<Panel> panels;
  const char* lengths[] = {"a (A)", "b (A)", "c (A)"};
  for (size_t k = 0; k < 3; ++k) {
    Panel p{lengths[k], {}};
    bool refined = false;
    for (const SeriesRow& r : rows) {
      if (r.status != SeriesStatus::Ok) continue;
      p.points.push_back({double(r.index), r.values[k], r.errors[k]});
      refined = refined || r.errors[k] > 0;
    }
    if (refined) panels.push_back(std::move(p));
  }
  Panel v{"V (A^3)", {}};
  for (const SeriesRow& r : rows)
    if (r.status == SeriesStatus::Ok) v.points.push_back({double(r.index), r.volume, r.volume_error});
  panels.push_back(std::move(v));

  constexpr double kWidth = 640, kPanelHeight = 200, kLeft = 90, kRight = 20, kTop = 20, kBottom = 30;
  const double height = panels.size() * (kPanelHeight + kTop + kBottom);
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kWidth) +
                    "\" height=\"" + number(height) + "\" font-family=\"sans-serif\" font-size=\"11\">\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  double xmin = 1, xmax = 1;
  for (const SeriesRow& r : rows) xmax = std::max(xmax, double(r.index));
  if (xmax == xmin) xmax = xmin + 1;
  for (size_t n = 0; n < panels.size(); ++n) {
    const Panel& p = panels[n];
    const double top = n * (kPanelHeight + kTop + kBottom) + kTop;
    double ymin = HUGE_VAL, ymax = -HUGE_VAL;
    for (const auto& [x, y, e] : p.points) {
      ymin = std::min(ymin, y - e);
      ymax = std::max(ymax, y + e);
    }
    if (p.points.empty()) ymin = 0, ymax = 1;
    if (ymax - ymin < 1e-12) ymin -= 0.5, ymax += 0.5;
    const double pad = 0.05 * (ymax - ymin);
    ymin -= pad;
    ymax += pad;
    auto px = [&](double x) { return kLeft + (x - xmin) / (xmax - xmin) * (kWidth - kLeft - kRight); };
    auto py = [&](double y) { return top + (ymax - y) / (ymax - ymin) * kPanelHeight; };
    svg += "<g>\n<rect x=\"" + number(kLeft) + "\" y=\"" + number(top) + "\" width=\"" +
           number(kWidth - kLeft - kRight) + "\" height=\"" + number(kPanelHeight) +
           "\" fill=\"none\" stroke=\"black\"/>\n";
    svg += "<text x=\"5\" y=\"" + number(top + 12) + "\">" + p.label + "</text>\n";
    svg += "<text x=\"5\" y=\"" + number(top + 28) + "\">" + format_fixed(ymax, 0, 5) + "</text>\n";
    svg += "<text x=\"5\" y=\"" + number(top + kPanelHeight) + "\">" + format_fixed(ymin, 0, 5) + "</text>\n";
    svg += "<text x=\"" + number(kLeft) + "\" y=\"" + number(top + kPanelHeight + 15) + "\">" +
           format_fixed(xmin, 0, 0) + "</text>\n";
    svg += "<text x=\"" + number(kWidth - kRight - 20) + "\" y=\"" + number(top + kPanelHeight + 15) +
           "\">" + format_fixed(xmax, 0, 0) + "</text>\n";
    for (const auto& [x, y, e] : p.points) {
      const std::string cx = number(px(x));
      svg += "<line class=\"error\" x1=\"" + cx + "\" y1=\"" + number(py(y - e)) + "\" x2=\"" + cx +
             "\" y2=\"" + number(py(y + e)) + "\" stroke=\"blue\"/>\n";
      svg += "<circle class=\"value\" cx=\"" + cx + "\" cy=\"" + number(py(y)) +
             "\" r=\"2.5\" fill=\"blue\"/>\n";
    }
    svg += "</g>\n";
  }
  svg += "</svg>\n";
  return svg;
}

std::string series_progress_line(const SeriesRow& row, int done, int total) {
  std::string line = "[" + std::to_string(done) + "/" + std::to_string(total) + "] " +
                     row.file.filename().string();
  if (row.status != SeriesStatus::Failed) line += " a=" + format_fixed(row.values[0], 0, 5);
  return line + " " + row.status_text();
}

}  // namespace vornax
