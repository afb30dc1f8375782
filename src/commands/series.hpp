// A series of patterns (a temperature or time scan): on each profile in turn the peak
// search, "Auto Sel." and the refinement, each run on its own session in its own
// working folder, one result row per pattern; a pattern that fails gives a row that
// says why and the series goes on. Chained, each run starts from the cell the
// previous one refined; otherwise the runs are independent and may go in parallel.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "commands/refinement_road.hpp"
#include "core/cell_entry.hpp"
#include "core/refined_quantity.hpp"
#include "core/session.hpp"
#include "files/profile_files.hpp"
#include "profile/peak_search.hpp"
#include "profile/search_settings.hpp"
#include "refine/figures_of_merit.hpp"

namespace vornax {

struct SeriesSettings {
  SessionStart session;                   // the cell tab as typed (each run's folder is its own)
  CellParameters start;                   // the starting cell of the first run (or of every run)
  std::optional<double> lambda;           // answers a profile without wavelength
  SearchSettingsRequest search;          // each pattern's own derived settings unless given
  std::string tolerance = "0.1";          // of "Auto Sel."
  std::optional<PerQuantity<bool>> keys;  // refined quantities; none: the system's default
  bool eccentricity = false;
  bool chain = false;
  int jobs = 1;                           // parallel runs (only without chain)
  std::optional<ProfileFileType> type;    // none: the kind from each file name
  std::filesystem::path work_root;        // where the runs' folders are made; empty: temp
};

enum class SeriesStatus { Ok, Failed };

struct SeriesRow {
  int index = 0;  // 1-based, in the order of the files
  std::filesystem::path file;
  SeriesStatus status = SeriesStatus::Failed;
  std::string message;  // "ok", or why the pattern failed
  CellParameters cell;
  PerQuantity<double> values{};  // a, b, c, α, β, γ, shift (°2θ), λ
  PerQuantity<double> errors{};
  double volume = 0, volume_error = 0;
  double m20 = 0, f_n = 0;
  int pairs = 0, peaks = 0;
  double residual = 0;  // degrees 2θ
  std::string status_text() const { return status == SeriesStatus::Ok ? "ok" : "failed: " + message; }
};

// Called once a row is known (under a lock: rows of parallel runs never interleave);
// `done` counts the rows reported so far.
using SeriesProgress = std::function<void(const SeriesRow& row, int done, int total)>;

// Runs the series; rows in file order. Throws nothing: whatever stops a pattern (a
// damaged file, a working folder that cannot be made) is said on its row.
std::vector<SeriesRow> run_series(const std::vector<std::filesystem::path>& files,
                                  const SeriesSettings& settings,
                                  const SeriesProgress& progress = {});

// The profiles of a folder, in name order: the files whose extension names a profile
// kind, except those too common to be taken for profiles unnamed (.txt, .prn), as the
// table of profile formats marks them. Entries that cannot be looked at (a link loop)
// are left out; a folder that cannot be read sets `ec`.
std::vector<std::filesystem::path> series_files_in(const std::filesystem::path& folder,
                                                   std::error_code& ec);
// The same, with nothing found when the folder cannot be read.
std::vector<std::filesystem::path> series_files_in(const std::filesystem::path& folder);

// The CSV table: a header line, then one line per row.
std::vector<std::string> series_csv_lines(const std::vector<SeriesRow>& rows);

// An SVG drawing: one panel per refined length and one for the volume, each value
// against the pattern's index with its error bar. Failed rows are left out.
std::string series_svg(const std::vector<SeriesRow>& rows);

// The progress line: "[37/200] pattern_037.xy a=5.43112 ok".
std::string series_progress_line(const SeriesRow& row, int done, int total);

}  // namespace vornax
