#include "commands/series.hpp"

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

#include "commands/series_load.hpp"
#include "commands/peak_search.hpp"
#include "commands/refine_tab.hpp"
#include "core/cell.hpp"
#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

namespace {

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

// A folder of its own for one run: the refinement writes its files at fixed names.
std::filesystem::path make_run_folder(const std::filesystem::path& root) {
  std::filesystem::path base = root.empty() ? std::filesystem::temp_directory_path() : root;
  std::error_code ec;
  std::filesystem::create_directories(base, ec);
  std::string pattern = (base / "vornax_series_XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw file_error(base, "create a working folder in");
  return pattern;
}

SeriesRow run_one(const std::filesystem::path& file, int index, const CellParameters& start,
                  const SeriesSettings& st) {
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
    const std::filesystem::path folder = make_run_folder(st.work_root);
    struct Cleanup {
      std::filesystem::path f;
      ~Cleanup() {
        std::error_code ec;
        std::filesystem::remove_all(f, ec);
      }
    } cleanup{folder};

    SessionStart session = st.session;
    const double values[] = {start.a, start.b, start.c, start.alpha, start.beta, start.gamma};
    for (size_t k = 0; k < 6; ++k) session.cell[k] = format_fixed(values[k], 0, 6);
    session.folder = folder;
    WorkSession s;
    CellTab tab;
    if (!start_session(s, tab, session, m)) return fail(m.reason(""));

    if (!load_series_profile(s, m, file, st.type, st.lambda))
      return fail(m.reason("no wavelength"));

    PeakSearchState search;
    prepare_peak_search(s, m, search);
    search_peaks(s, m, search, requested_search_settings(search.estimate, st.search));
    hand_over_peaks(s);
    row.peaks = s.measured_count();
    if (row.peaks == 0) return fail(m.reason("no peak found"));

    RoadSettings road;
    road.tolerance = st.tolerance;
    road.keys = st.keys;
    road.eccentricity = st.eccentricity;
    road.inputs = {session.lambda, "0"};
    const RefinementRecord r = run_refinement_road(s, tab, session, road, m);
    row.pairs = s.selected_count();
    if (r.status != RoadStatus::Refined) return fail(r.message);
    row.cell = {r.values[0], r.values[1], r.values[2], r.values[3], r.values[4], r.values[5]};
    row.values = r.values;
    row.errors = r.errors;
    row.volume = r.volume;
    row.volume_error = r.volume_error;
    row.residual = r.residual;
    row.m20 = r.quality.figures.m20;
    row.f_n = r.quality.figures.f_n;
    if (r.diverging) return fail(r.message);
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
  const int total = static_cast<int>(files.size());
  std::vector<SeriesRow> rows(files.size());
  std::mutex lock;
  int done = 0;
  auto report = [&](size_t i, SeriesRow row) {
    std::lock_guard<std::mutex> g(lock);
    rows[i] = std::move(row);
    ++done;
    if (progress) progress(rows[i], done, total);
  };

  if (st.chain || st.jobs <= 1) {
    CellParameters start = st.start;
    for (size_t i = 0; i < files.size(); ++i) {
      SeriesRow row = run_one(files[i], static_cast<int>(i + 1), start, st);
      // A failed pattern does not break the chain: the next starts from the last good cell.
      if (st.chain && row.status == SeriesStatus::Ok) start = row.cell;
      report(i, std::move(row));
    }
    return rows;
  }

  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t i = next++; i < files.size(); i = next++)
      report(i, run_one(files[i], static_cast<int>(i + 1), st.start, st));
  };
  const int n = std::min(st.jobs, total);
  std::vector<std::thread> pool;
  for (int j = 0; j < n; ++j) pool.emplace_back(worker);
  for (auto& t : pool) t.join();
  return rows;
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

std::vector<std::string> series_csv_lines(const std::vector<SeriesRow>& rows) {
  std::string header = "index,file";
  for (size_t k = 0; k < kRefinedQuantities; ++k)
    header += std::string(",") + kQuantityNames[k] + ",sigma_" + kQuantityNames[k];
  header += ",volume,sigma_volume,M20,F_N,peaks,pairs,residual,status";
  std::vector<std::string> out{header};
  for (const SeriesRow& r : rows) {
    std::string line = std::to_string(r.index) + "," + r.file.filename().string();
    for (size_t k = 0; k < kRefinedQuantities; ++k)
      line += "," + number(r.values[k]) + "," + number(r.errors[k]);
    line += "," + number(r.volume) + "," + number(r.volume_error) + "," + format_fixed(r.m20, 0, 1) +
            "," + format_fixed(r.f_n, 0, 1) + "," + std::to_string(r.peaks) + "," +
            std::to_string(r.pairs) + "," + number(r.residual) + ",";
    // A message with a comma or a quote goes in quotes, quotes doubled.
    std::string status = r.status_text();
    if (status.find_first_of(",\"") != std::string::npos) {
      std::string q = "\"";
      for (char c : status) q += c == '"' ? std::string("\"\"") : std::string(1, c);
      status = q + "\"";
    }
    out.push_back(line + status);
  }
  return out;
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
  if (row.status == SeriesStatus::Ok) line += " a=" + format_fixed(row.values[0], 0, 5);
  return line + " " + row.status_text();
}

}  // namespace vornax
