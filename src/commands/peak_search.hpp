// The commands of the profile window: preparing and running the peak search, peak
// kill, erasing the peaks or the profile, a new angle range, peaks measured by hand,
// and handing the peaks over to the main window. The window (or vornax-cli) owns a
// PeakSearchState and passes it in; the peaks and the profile live in the session.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "commands/changed.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "profile/classification.hpp"
#include "profile/peak_fit.hpp"
#include "profile/peak_kill.hpp"
#include "profile/peak_search.hpp"
#include "profile/search_settings.hpp"

namespace vornax {

struct PeakSearchState {
  SecondDerivative derivative;       // D, tied to the profile it came from
  bool derivative_drawable = false;  // from Prepare until the panel closes or the profile changes
  bool draw_derivative = false;      // the "&Draw Sec. Deriv." check mark
  SliderPositions sliders;           // the three sliders (classic until Prepare measures the data)
  SearchDataEstimate estimate;       // what Prepare measured on the profile of `derivative`
  ContaminationTexts contamination;
  int contamination_line_count = 0;  // Peak Kill is offered only when not 0
  PeakKillSettings kill;
  // Search the pattern with Kα2 stripped (the found lines are then Kα1 lines).
  bool search_stripped = false;
  // The last fit and the profile it was made on (drawn while that profile is shown).
  PeakFitResult fit;
  uint64_t fit_generation = 0;
  bool split_profile = false;  // "Fit" with a split pseudo-Voigt
  // The Kα2-stripped pattern, drawn over the profile on request, and the profile it
  // was computed from.
  bool draw_stripped = false;
  std::vector<double> stripped;
  uint64_t stripped_generation = 0;
};

// Shown when a search is asked on a profile whose second derivative is zero
// everywhere (a flat profile, or fewer than 13 points).
inline constexpr std::string_view kNothingToSearch =
    "No peak can be searched on this profile (flat, or fewer than 13 points).";
inline constexpr std::string_view kBadContamination = "bad contamination data";
inline constexpr std::string_view kTooManyPeaks = "Too many peaks (>500)";
inline constexpr std::string_view kThetaMinError = "Theta min error ";
inline constexpr std::string_view kThetaMaxError = "Theta max error ";

// "Peak Search": presets the contamination lines from the profile's anode, computes
// D, measures the data and sets the sliders to the settings derived from it. Nothing
// without a profile. Leaves the measured peaks alone.
Changed prepare_peak_search(WorkSession& s, Messages& m, PeakSearchState& st);

// "Search": replaces the measured peaks by those found with the sliders' settings
// (D recomputed if it belongs to another profile), each of code 1 with 2θ as read =
// 2θ − the zero offset, then classifies them unless the anode is empty or "?".
// On a profile with nothing to search it says so and changes nothing. Beeps.
Changed search_peaks(WorkSession& s, Messages& m, PeakSearchState& st);

// The same with explicit settings (vornax-cli). The estimated peak width of `st`
// (measured afresh when D is) keeps resolved doublets apart unless the settings carry
// their own.
Changed search_peaks(WorkSession& s, Messages& m, PeakSearchState& st,
                     const PeakSearchSettings& settings);

// "Fit": each measured peak's position is fitted on the profile (a pseudo-Voigt Kα1 +
// Kα2 doublet per line, see fit_peaks) and replaced by the fitted Kα1 position with its
// standard error and width; a code 3 (Kα2) peak takes the Kα2 position of its partner's
// doublet. Every peak keeps its line code. Peaks a fit could not place keep their
// position without an error. Nothing without a profile or peaks ("No peak to fit").
struct PeakFitSummary {
  int peaks = 0;   // measured peaks given to the fit
  int fitted = 0;  // of them, fitted
  double worst_reduced_chi2 = 0;
};
inline constexpr std::string_view kNoPeakToFit = "No peak to fit: search the peaks first";
Changed fit_measured_peaks(WorkSession& s, Messages& m, PeakSearchState& st,
                           PeakFitSummary* summary = nullptr);

// "12 of 12 peaks fitted, worst reduced chi2 1.34"
std::string peak_fit_summary_text(const PeakFitSummary& f);

// The fitted curve the profile window draws (NaN outside the fitted windows), or nullptr
// when there is none for the session's profile.
const PeakFitResult* fit_to_draw(const WorkSession& s, const PeakSearchState& st);

// The Kα2-stripped pattern drawn over the profile, or nullptr when not asked for or
// without a profile; computed once per profile.
const std::vector<double>* stripped_to_draw(const WorkSession& s, PeakSearchState& st);

// "Close" of the parameter panel: D is no longer drawn.
void close_peak_search(PeakSearchState& st);

// The D the profile window draws under the profile, or nullptr: only while it is
// drawable, its menu entry is checked and it still belongs to the session's profile.
const SecondDerivative* derivative_to_draw(const WorkSession& s, const PeakSearchState& st);

// Peak Kill is offered when there are peaks and contamination lines were set.
bool peak_kill_available(const WorkSession& s, const PeakSearchState& st);

// OK of "Select the peaks to be kept": keeps the peaks whose code is ticked.
// Nothing when Peak Kill is not available.
Changed apply_peak_kill(WorkSession& s, PeakSearchState& st);

// "Erase the selected reflections": no measured peaks left.
Changed erase_measured_peaks(WorkSession& s, PeakSearchState& st);

// "Delete the observed diagram": no profile left; the measured peaks stay.
Changed delete_profile_diagram(WorkSession& s, PeakSearchState& st);

// Reads a profile file afresh (the reader chosen by the file's extension). Throws the
// readers' exceptions.
using ProfileRereader = std::function<Profile(const std::string& file_name)>;

// "re-Draw the pattern with new values": both fields (display unit) are read first;
// a field that is no number, or 2θ1 ≥ 2θ2, shows its error and changes nothing.
// Then the range, the working window and the profile's angles take the new values,
// the measured peaks are emptied and the profile keeps only its points inside the
// range (re-read through `reread` when given, so a wider range gets its points back),
// rescaled so that the highest kept point is 100. The caller runs "Calc." again when
// calculated reflections exist.
Changed new_angle_range(WorkSession& s, Messages& m, PeakSearchState& st,
                        std::string_view field_min, std::string_view field_max,
                        const ProfileRereader& reread = {});

// "Reset the diagram": the entered range takes the working window.
Changed reset_profile_range(WorkSession& s);

// A left click on the profile at `two_theta` (degrees 2θ, already doubled in θ mode):
// a peak of code 1 with the profile's intensity there; dropped when a peak lies
// within 0.001°; "Too many peaks (>500)" on a full list.
Changed add_hand_measured_peak(WorkSession& s, Messages& m, double two_theta);

// The peaks go to the main window: sorted by increasing 2θ (whole peaks move).
Changed hand_over_peaks(WorkSession& s);

// The peak kill with the codes a script asked for, whatever the classification left
// (code 1 when none ran): the window offers it only after contamination lines were set.
Changed keep_peak_codes(WorkSession& s, PeakSearchState& st, const PeakKillSettings& keep);

// The found peaks as the column peak file the refinement reads (--out of the search);
// with `fitted`, each line also holds the intensity, the line code, the position's
// standard error and the width (see fitted_peak_lines).
void write_found_peaks(const WorkSession& s, const std::filesystem::path& path, bool fitted = false);

}  // namespace vornax
