// The "Cell refinement" tab as data: collecting the starting values and keys, the
// refinement command, reading the results back into the session, the texts of the
// result grids and boxes, using or restoring parameters, and the export. The window
// mirrors these texts in its widgets; the command line calls the same functions.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/messages.hpp"
#include "core/session.hpp"
#include "core/text_grid.hpp"
#include "refine/refinement.hpp"
#include "refine/report.hpp"
#include "selection/selection.hpp"

namespace vornax {

// The two boxes of the tab that the refinement command reads; the eight keys come from
// s.refine_checked.
struct RefineInputs {
  std::string lambda_text;  // Initial lambda box
  std::string shift_text;   // Initial shift box (degrees 2θ)
  bool lambda_edited = false;  // the lambda box was typed into since the program wrote it
  // Unit weights, or 1/σ² of each pair's fitted peak position (σ raised to sigma_floor,
  // degrees 2θ). Fitted weights need a σ on every pair.
  WeightMode weights = WeightMode::Unit;
  double sigma_floor = kDefaultSigmaFloor;
  // false: the run stays in memory (a batch of runs): the echo text is read back
  // without vornax.inp, and neither vornax.out nor mouchard is written.
  bool files = true;
};

// "unit" / "fitted", and back (nothing for another word).
const char* weight_mode_name(WeightMode mode);
std::optional<WeightMode> weight_mode_from_name(const std::string& name);

// The refusal of fitted weights when `missing` pairs have no σ.
std::string missing_sigma_message(int missing);

// The tab's status line for a refinement: empty under unit weights, else
// "weighting: fitted (sigma floor 0.001°), goodness of fit 1.23".
std::string weighting_status_text(const RefinementProblem& p);

// Collects the inputs of a run. Messages, and nothing changed or written, on:
// "No selected reflections!", "Error on Lambda!" (also for a wavelength that is not
// above 0), "Error on Angular Shift!", "Nb of selected reflections too low". A value
// beyond the single-precision range counts as not a number.
// On success the typed wavelength becomes the session's wavelength (a box that still
// shows the session's wavelength as 8:5 keeps it unrounded) and s.results.npar is the
// number of keys.
std::optional<RefinementInput> collect_refine_inputs(WorkSession& s, const RefineInputs& in,
                                                     Messages& m);

// Number of non-zero keys of an input.
int count_keys(const RefinementInput& in);

enum class RefineStatus {
  NotStarted,  // an input message was shown; nothing written
  FileFailed,  // a file could not be written or read; the message was shown
  Singular,    // "Singular Matrix": vornax.out holds its initial part; results unchanged
  Refined,     // results read back into s.results and the selected pairs
};

struct RefineOutcome {
  RefineStatus status = RefineStatus::NotStarted;
  RefinementRun run;  // the engine's own values (valid from Singular on)
  // "Before refinement" grid and its deviation box as filled once vornax.inp was
  // written (the pairs' corrected angles were just reset), from FileFailed on.
  GridText before_grid;
  std::string before_deviation;
};

// The refinement command: collect the inputs, reset the pairs' corrected angles,
// write vornax.inp, fill the "Before refinement" texts, load vornax.inp and, under
// fitted weights, weigh its observations by their pairs' σ (refused with
// missing_sigma_message, status NotStarted, when some have none), run the refinement
// (vornax.out, mouchard), read vornax.out back into s.results and the pairs. Files go to
// s.working_folder. After it the window shows outcome.before_grid and
// outcome.before_deviation (unless NotStarted), and when Refined the "After
// refinement" grid, its deviation box and the Refined/Sigmas/Vol boxes; it shows the
// report, export and print buttons unless NotStarted.
RefineOutcome refine_pairs(WorkSession& s, const RefineInputs& in, Messages& m);

// Steps after a successful run: the refined flag, cell, shift and wavelength into
// s.results, θ_calc refined of every pair from the report's table, and every pair's
// 2θ obs corrected by the refined shift.
void apply_report_results(WorkSession& s, const ReportResults& r);

// After a successful run: the figures of merit and the pairs to look at first (their
// deletion moves a value by more than 2σ, or their residual exceeds 3σ).
void record_quality(WorkSession& s, const RefinementProblem& problem);

// shift_correction (the correction of a measured 2θ by the refined shift) lives with
// the pairing, which compares corrected angles too.

// --- grids and boxes ----------------------------------------------------------------

constexpr int kBeforeGridRows = 100;  // shown rows, header included; more pairs add rows
constexpr int kAfterGridMinRows = 25;
// Least widths of some columns (pixels of the grid font); the others fit their texts.
constexpr int kBeforeGridFirstWidth = 32, kBeforeGridFourthWidth = 96;
constexpr int kAfterGridFirstWidth = 24, kAfterGridThirdWidth = 102;

// "Before refinement": Nb., h k l, obs, obs-shift, calc, diff (halved in θ mode), the
// pairs as they stand before a run: no refined shift is known yet, so obs-shift shows
// the observed angle and diff is obs - calc, the numbers of its deviation box.
GridText before_refinement_grid(const WorkSession& s);
// "After refinement": No., h k l, obs-shift, calc, difference; the highlighted pair
// (s.highlighted_pair) styled Highlighted in both grids.
GridText after_refinement_grid(const WorkSession& s);

// "Mean square deviation" boxes, 8:5; empty when N - npar < 1 (and, after, when no
// refinement succeeded).
std::string deviation_before_text(const WorkSession& s);
std::string deviation_after_text(const WorkSession& s);

// Rows of the "Parameters" panel: the refined quantities, then the volume.
enum ParameterRow : int {
  kRowA = static_cast<int>(RefinedQuantity::A),
  kRowB = static_cast<int>(RefinedQuantity::B),
  kRowC = static_cast<int>(RefinedQuantity::C),
  kRowAlpha = static_cast<int>(RefinedQuantity::Alpha),
  kRowBeta = static_cast<int>(RefinedQuantity::Beta),
  kRowGamma = static_cast<int>(RefinedQuantity::Gamma),
  kRowShift = static_cast<int>(RefinedQuantity::Shift),
  kRowLambda = static_cast<int>(RefinedQuantity::Lambda),
  kRowVolume = static_cast<int>(kRefinedQuantities),
};
constexpr int kParameterRows = kRowVolume + 1;

// The Refined, Sigmas and Vol texts after a refinement (from s.results). The Refined
// shift is halved in θ mode, its sigma is not. `initial` holds only the initial volume
// (the other Initial boxes are filled by initial_box_texts).
struct ResultBoxes {
  std::array<std::string, kParameterRows> refined, sigmas;
  std::string initial_volume;
};
ResultBoxes result_box_texts(const WorkSession& s);

// The Initial boxes from the session: a, b, c 9:4, angles 8:3, lambda 8:5, and the
// volume of the cell 12:2 (empty for a cell that spans none). The shift box is the
// user's; adopt_refined_values and restore_initial_cell set it to "0".
struct InitialBoxes {
  std::array<std::string, 6> cell;
  std::string lambda;
  std::string volume;
};
InitialBoxes initial_box_texts(const WorkSession& s);


// The refined values as the report viewer shows them below the report: a title, then
// one line per refined quantity (a non-zero error) and the volume, each value with its
// error's first two significant digits in parentheses ("a      = 5.43119(12)"). Empty
// when no refinement succeeded since the last one was used or restored.
std::vector<std::string> refined_value_summary(const WorkSession& s);

// Label of the shift row: "2Dq" (2θ mode) or "Dq" (θ mode) in the symbol font for a
// constant zero shift, "e/R(°)" in the ordinary font for a sample eccentricity.
struct ShiftLabel {
  std::string text;
  bool symbol_font = true;
};
ShiftLabel shift_row_label(const WorkSession& s);

// The note shown while the wavelength key is checked.
inline const std::array<const char*, 4> kWavelengthNote = {
    "Warning", "It is advisable to refine the wavelength", "where the cell parameters are well",
    "known and fixed not to refine."};

// --- parameter exchange -------------------------------------------------------------

// What the window does after adopt_refined_values or restore_initial_cell changed the session:
// empty the "After refinement" grid, its deviation box and the Refined and Sigmas
// boxes, refresh the cell entry boxes, refill the Initial boxes (shift box "0"),
// recompute the calculated reflections, refresh the selection grids and the diagram,
// bring the refinement tab to the front and hide the report and export buttons.
struct ParameterExchange {
  bool done = false;                // false: nothing changed (adopt_refined_values, empty selection)
  std::string current_lambda_text;  // adopt_refined_values: the "Current values" wavelength box
};

// Use the refined values: shift, wavelength and cell from s.results; every measured
// peak corrected by the refined shift; the selection emptied. Nothing is done without
// pairs or without a successful refinement; afterwards the results count as adopted
// (s.results.refined is cleared, as it is by restore_initial_cell).
ParameterExchange adopt_refined_values(WorkSession& s);
// Restore: the initial cell, the shift 0, every measured peak back at its angle as
// read (plus the diagram's zero offset); the selection emptied. The wavelength stays.
ParameterExchange restore_initial_cell(WorkSession& s);

// --- report and export --------------------------------------------------------------

// Rebuilds Excel.txt in the working folder from vornax.out and returns its lines (the
// text of the export window). "No results" when vornax.out does not exist. The report
// command calls it too, then opens in_working_folder(s, kRefineReportFile) in the
// report viewer. Throws FileError on input/output errors.
std::optional<std::vector<std::string>> export_excel(const WorkSession& s, Messages& m);

}  // namespace vornax
