// A series of patterns (a temperature or time scan): on each profile in turn the peak
// search, "Auto Sel." and the refinement, each run on a fresh session (the refinement
// in memory), one result row per pattern; a pattern that fails gives a row that
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
#include "profile/peak_kill.hpp"
#include "profile/peak_search.hpp"
#include "profile/search_settings.hpp"
#include "refine/figures_of_merit.hpp"

namespace vornax {

// What a row must show to be called "ok"; a row that refined but misses one of them
// is "suspect: <reason>". The defaults are passed easily by a good lab pattern and
// missed by a cell paired on the wrong lines.
struct SeriesGates {
  double min_paired = 0.5;       // fraction of the peaks in range that were paired
  int min_pairs = 6;             // pairs, at least (and more than the refined quantities + 2)
  double min_m20 = 10;           // M(N), de Wolff
  double min_fn = 10;            // F(N), Smith and Snyder
  double max_shift = 0.5;        // |zero shift|, degrees 2θ
  double max_rel_error = 1e-3;   // σ of a refined length over the length
  // The run converged: the cycles stopped because the residual did, or the values sit
  // at the minimum (one more step would move none by a tenth of its error).
  bool need_convergence = true;
};

struct SeriesSettings {
  SessionStart session;                   // the cell tab as typed (the folder is the run's own)
  CellParameters start;                   // the starting cell of the first run (or of every run)
  std::optional<double> lambda;           // answers a profile without wavelength
  SearchSettingsRequest search;          // each pattern's own derived settings unless given
  // The line codes kept after the search: the Kα lines (unresolved, and Kα1 of a
  // resolved doublet). A Kα2 line or a contamination line handed to "Auto Sel." is
  // paired with the Kα1 reflection nearest to it and pulls the cell away.
  PeakKillSettings keep{{true, true, false, false, false}};
  std::string tolerance = "0.1";          // of "Auto Sel."
  std::optional<PerQuantity<bool>> keys;  // refined quantities; none: the system's default
  bool eccentricity = false;
  // Each pattern's peaks fitted on its profile (split: a split pseudo-Voigt) and refined
  // with weights 1/σ²; the fitted lines stand at Kα1, so a pattern with a Kα2 line typed
  // with the Kα mean wavelength is calculated and refined with its Kα1 wavelength.
  bool fit = false, split = false;
  bool chain = false;
  int jobs = 1;                           // parallel runs (only without chain)
  std::optional<ProfileFileType> type;    // none: the kind from each file name
  std::filesystem::path work_root;        // where the runs' folders are made; empty: temp
  // true: each pattern keeps vornax.inp, vornax.out and mouchard in a folder of its own
  // under work_root, named after the pattern; false: the refinement runs in memory.
  bool files = false;
  SeriesGates gates;
  bool cif = false;                       // each refined row carries its CIF text
  // This run's slice of the list: the pattern at 0-based position k is taken when
  // k mod shard_count == shard_index. Rows keep their index in the whole list.
  int shard_index = 0, shard_count = 1;
};

enum class SeriesStatus { Ok, Suspect, Failed };

struct SeriesRow {
  int index = 0;  // 1-based, in the order of the files
  std::filesystem::path file;
  SeriesStatus status = SeriesStatus::Failed;
  std::string message;  // "ok", why the pattern failed, or why it is suspect
  CellParameters cell;
  PerQuantity<double> values{};  // a, b, c, α, β, γ, shift (°2θ), λ
  PerQuantity<double> errors{};
  PerQuantity<bool> refined{};
  double volume = 0, volume_error = 0;
  double m20 = 0, f_n = 0;
  bool figures_valid = false;
  int pairs = 0, peaks = 0;
  int peaks_in_range = 0;  // the measured peaks the pairing could take
  double residual = 0;  // degrees 2θ
  bool converged = false;  // see SeriesGates::need_convergence
  int cycles = 0;
  std::string cif;      // with SeriesSettings::cif, a refined row's CIF data block
  std::string status_text() const {
    switch (status) {
      case SeriesStatus::Ok: return "ok";
      case SeriesStatus::Suspect: return "suspect: " + message;
      case SeriesStatus::Failed: break;
    }
    return "failed: " + message;
  }
};

// Why a refined row is not to be trusted, or nothing: the first gate it misses, e.g.
// "4 of 12 peaks paired (below 50 %)".
std::optional<std::string> series_gate_failure(const SeriesRow& row, const SeriesGates& gates);

// Called once a row is known (under a lock: rows of parallel runs never interleave);
// `done` counts the rows reported so far.
using SeriesProgress = std::function<void(const SeriesRow& row, int done, int total)>;

// Runs the series (or its shard); rows in file order. Throws nothing: whatever stops a
// pattern (a damaged file, a working folder that cannot be made) is said on its row.
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

// The CSV table: a header line, then one line per row. Fields holding a comma, a
// quote or a line break are quoted, their quotes doubled (RFC 4180).
std::vector<std::string> series_csv_lines(const std::vector<SeriesRow>& rows);

// One CSV field as RFC 4180 wants it.
std::string csv_field(const std::string& text);

// The name of a row's CIF: the pattern's name with .cif in place of its extension.
std::filesystem::path series_cif_name(const SeriesRow& row);

// An SVG drawing: one panel per refined length and one for the volume, each value
// against the pattern's index with its error bar. Failed rows are left out.
std::string series_svg(const std::vector<SeriesRow>& rows);

// The progress line: "[37/200] pattern_037.xy a=5.43112 ok".
std::string series_progress_line(const SeriesRow& row, int done, int total);

}  // namespace vornax
