// The road from measured peaks to a refined cell, written once: the session start from
// the cell tab's values (or a cell file), "Calc.", the choice of the refined quantities,
// "Auto Sel." and the refinement, ending in one record of results. The command line's
// refine, plot and series and the refinement tab all take this road and read the same
// record, so a rule about what may be refined holds everywhere.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "commands/calculation.hpp"
#include "commands/refine_tab.hpp"
#include "core/cell_entry.hpp"
#include "core/messages.hpp"
#include "core/refined_quantity.hpp"
#include "core/session.hpp"
#include "refine/figures_of_merit.hpp"
#include "selection/selection.hpp"

namespace vornax {

// The "Initial cell parameters" tab as a user fills it: system, group (from the H-M
// list or, with getspec, the Getspec list), the nine fields as typed and the θ / 2θ
// choice; or a cell file in place of system, group and cell.
struct SessionStart {
  std::string system;
  std::string group;
  bool getspec = false;
  std::array<std::string, 6> cell;
  std::string lambda;
  std::string range_min, range_max;
  bool theta = false;
  std::filesystem::path cell_file;    // .cry or .ics: system, group and cell from the file
  std::filesystem::path folder;       // working and current folder of the run
  std::filesystem::path data_folder;  // where the catalogue files are
};

// A fresh session and tab as the window has them once the system and group are chosen
// and the fields typed (or the cell file loaded); "Calc." has not run yet. False, with
// the reason on m.error, for an unknown system, a group missing from its list, a
// wavelength or range that does not read, or a refused cell file. Throws
// CatalogueMissing and FileError as the lists do.
bool start_session(WorkSession& s, CellTab& tab, const SessionStart& start, Messages& m);

// Runs "Calc." on a started session: the whole command for typed fields, the
// calculation sequence for a loaded cell file (whose fields the file filled).
CalcOutcome calculate_started(WorkSession& s, CellTab& tab, const SessionStart& start, Messages& m);

// "a,c,shift": the eight "To refine" keys; `bad` names an unknown item.
std::optional<PerQuantity<bool>> parse_refine_keys(const std::string& list,
                                                   std::string* bad = nullptr);

// Why `keys` cannot be refined in the session's crystal system, or nothing: a quantity
// the system ties to another ("b is tied to a in this crystal system (CUBI); refine a
// instead") or fixes ("alpha is fixed in this crystal system (CUBI)"). Needs "Calc."
// to have set the system's defaults.
std::optional<std::string> refine_keys_refusal(const WorkSession& s, const PerQuantity<bool>& keys);

// One pair of the run, as the record keeps it.
struct PairRecord {
  int h = 0, k = 0, l = 0;
  double two_theta_obs = 0;          // as paired
  double two_theta_obs_shifted = 0;  // corrected by the refined shift
  double two_theta_calc = 0;         // from the refined cell
  bool flagged = false;              // its deletion moves a value by > 2σ, or residual > 3σ
};

enum class RoadStatus {
  Failed,    // a step stopped the road; `message` says why
  Paired,    // pairs made, no refinement asked
  Singular,  // "Singular Matrix": no values
  Refined,
};

// Everything a run gives, at the engine's full precision (degrees 2θ and ångström).
struct RefinementRecord {
  RoadStatus status = RoadStatus::Failed;
  std::string message;               // the first error (or warning) of a failed road
  PerQuantity<double> values{};      // a, b, c, α, β, γ, shift (°2θ), λ
  PerQuantity<double> errors{};      // their standard errors (0: not refined)
  PerQuantity<bool> refined{};       // the keys of the run
  double volume = 0, volume_error = 0;
  ShiftMode shift_model = ShiftMode::ConstantZeroShift;
  int cycles = 0;
  double residual = 0;               // degrees 2θ
  bool converged = false;
  bool diverging = false;
  WeightMode weighting = WeightMode::Unit;
  double sigma_floor = 0;            // degrees 2θ, under fitted weighting
  // sqrt(Σ w·Δ² / (N − npar)) of a run with fitted weights (about 1 when the fitted σ
  // describe the scatter). None under unit weights: without σ there is no scale to
  // compare with, and the residual above already says how large the scatter is.
  std::optional<double> goodness_of_fit;
  RefinementQuality quality;         // figures of merit and per-pair diagnostics
  std::vector<PairRecord> pairs;
  int peaks = 0;                     // measured peaks in the session
  RefineOutcome outcome;             // what the refinement tab shows (grids, status)
  PairingSummary pairing;            // the measured peaks in the range left unpaired
  int paired_again = 0;              // runs of "Pair again" after the first refinement
};

// The refinement command of the tab (refine_pairs) with its record. The keys come from
// s.refine_checked; keys the system does not leave free are refused with their reason
// before anything is written.
RefinementRecord refine_cell(WorkSession& s, const RefineInputs& in, Messages& m);

// What the road does after "Calc.".
struct RoadSettings {
  std::string tolerance = "0.1";           // of "Auto Sel."
  std::optional<PerQuantity<bool>> keys;   // none: the system's defaults
  bool eccentricity = false;
  RefineInputs inputs;                     // Initial λ and shift boxes
  bool refine = true;                      // false: stop once the pairs are made
  int pair_again = 0;                      // up to this many runs of "Pair again"
};

// "Calc.", the keys, "Auto Sel." (unless "Calc." paired a loaded indexed list by its
// indices) and the refinement, on a started session with its measured peaks. Messages
// go to `m` as they come; the record's message repeats the first failure.
// `after_pairing`, when given, runs once the pairs are made and may stop the road by
// returning false (its own message shown); with settings.pair_again it runs once, on the
// last pairs, after the refinements.
RefinementRecord run_refinement_road(WorkSession& s, CellTab& tab, const SessionStart& start,
                                     const RoadSettings& settings, Messages& m,
                                     const std::function<bool(WorkSession&)>& after_pairing = {});

// "Pair again" after a successful refinement: the refined cell, wavelength and shift
// become the starting values, the reflections are calculated for that cell, every
// measured peak is paired again (its angle corrected by the refined shift for the
// comparison, see select_automatically_shifted) and the pairs are refined again; up to
// `max_runs` times, and no further once a run leaves the pairs as they were. A cell 0.5 %
// off pairs only the first lines; each run pairs more of them. Without a refinement to
// start from it shows "Pair again needs a refined cell: refine first". The record is the
// last run's, with paired_again set; `settled` tells whether the pairs stopped changing.
// Each run weighs the pairs as `weighting` says (its weights and sigma_floor), and keeps the runs in memory
// when its `files` is false (see RefineInputs::files).
RefinementRecord pair_again(WorkSession& s, const std::string& tolerance, int max_runs, Messages& m,
                            bool* settled = nullptr, const RefineInputs& weighting = {});

// The record as one JSON object, every number at full precision (shortest text that
// reads back the same double); NaN as null. "weighting" is "unit" or "fitted";
// "goodness_of_fit" is null under unit weights.
std::string record_json(const WorkSession& s, const RefinementRecord& r);

}  // namespace vornax
