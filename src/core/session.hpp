// The one working state of the program. Every window and command reads and writes
// this record directly; nothing works on a copy.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/profile_formats.hpp"
#include "core/refined_quantity.hpp"

namespace vornax {

// Capacities of the lists; every place that adds an entry checks against these.
constexpr int kMaxMeasuredPeaks = 500;
constexpr int kMaxProfilePoints = 2000000;
constexpr int kMaxCalculatedReflections = 10000;
constexpr int kMaxOperators = 192;
constexpr int kMaxSelectedPairs = 500;
constexpr int kMaxIndexedEntries = 100;  // indexed list loaded or typed as measured peaks
inline constexpr const char* kTooManyIndexedMessage = "Too many indexed reflections (>100)";

struct CellParameters {
  double a = 0, b = 0, c = 0;              // Å
  double alpha = 0, beta = 0, gamma = 0;   // degrees
};

struct ReciprocalCell {
  double a_star = 0, b_star = 0, c_star = 0;              // 1/Å
  double alpha_star = 0, beta_star = 0, gamma_star = 0;   // degrees
};

// B, row by row: (x y z) = B (h k l) and 1/d² = x² + y² + z².
using ReciprocalMatrix = std::array<std::array<double, 3>, 3>;

struct WavelengthSet {
  double lambda = 0;   // Å, the one used for calculations; 0 = not defined
  double lambda1 = 0;  // Kα1
  double lambda2 = 0;  // Kα2
  double ratio = 0;    // I(Kα2)/I(Kα1)
  std::string anode;   // at most two characters ("Cu", "Co", ...)
};

enum class AngleMode { Theta, TwoTheta };

struct MeasuredPeak {
  double two_theta = 0;       // working position: as read + zero offset
  double two_theta_read = 0;  // as it came from the file, keyboard, search or mouse
  double intensity = 0;
  int line_code = 0;
  // From a profile fit: the standard error of the position and the full width at half
  // height, degrees 2θ; 0 when the peak was not fitted (search, file, keyboard, mouse).
  double sigma = 0;
  double fwhm = 0;
};

struct MeasuredPeakList {
  std::vector<MeasuredPeak> peaks;
  std::string file_name;
  std::string sample;
  WavelengthSet wavelengths;
  double range_min = 0, range_max = 0;  // degrees 2θ
  double intensity_max = 0;
  double zero_offset = 0;               // degrees 2θ
};

struct ProfilePoint {
  float two_theta = 0, intensity = 0, two_theta_read = 0;
};

struct Profile {
  std::vector<ProfilePoint> points;
  std::string file_name;
  std::string sample;
  WavelengthSet wavelengths;
  double intensity_max = 0, intensity_min = 0;
  // Every intensity the file held was a whole number of counts, not below 0: the
  // counting statistics (variance = counts) then weigh a profile fit.
  bool counts = false;
  double start_angle = 0, final_angle = 0;
  // The kind the file was read as and the range taken, so that it is read again alike;
  // none while no file holds the profile.
  std::optional<ProfileFileType> file_kind;
  int range_index = 0;
  // Raised by every command that replaces or changes the points, so that data derived
  // from them (the second derivative) can tell that it is out of date.
  uint64_t generation = 0;
};

struct CalculatedReflection {
  int32_t h = 0, k = 0, l = 0;
  int32_t mark = 0;       // 0 allowed, 1 forbidden
  double d = 0;           // Å; 0 marks a record to drop while the list is built
  double two_theta = 0;   // degrees
};
using CalculatedReflectionList = std::vector<CalculatedReflection>;

struct SelectedPair {
  int32_t h = 0, k = 0, l = 0;
  float two_theta_obs = 0;
  float two_theta_calc = 0;
  float two_theta_obs_shifted = 0;  // 0 = not yet corrected by a refined shift
  float theta_calc_refined = 0;     // degrees θ, after refinement
  // σ of the measured peak's fitted position, degrees 2θ; 0 when it was not fitted.
  // Kept in memory only: the files that hold pairs keep their layout.
  double sigma = 0;
};

// R x + t, rows of (R_r1 R_r2 R_r3 t_r).
struct SymmetryOperator {
  std::array<std::array<double, 4>, 3> rows{};
};

// An entry of an indexed list loaded as measured data: its 2θ is that of the
// same-numbered measured peak.
struct IndexedEntry {
  int32_t h = 0, k = 0, l = 0;
  double two_theta = 0;
};

enum class ShiftMode { ConstantZeroShift = 1, SampleEccentricity = 2 };

// What a successful refinement leaves behind for the windows.
struct RefinementResults {
  bool refined = false;
  CellParameters cell;
  double zero_shift = 0;     // degrees 2θ
  double lambda = 0;
  // Standard errors, indexed by RefinedQuantity (shift in degrees 2θ).
  PerQuantity<double> errors{};
  double volume_initial = 0, volume_refined = 0, volume_error = 0;
  int npar = 0;              // from the last collection of inputs
  // The shift model the engine used (a fixed shift is a constant whatever the mode).
  bool eccentricity = false;
  // Per pair, in list order, at full precision (degrees 2θ): the observed angle
  // corrected by the refined shift and the calculated angle after refinement.
  std::vector<double> obs_shifted, calc;
  // Per pair: its deletion moves a refined value by more than 2σ or its residual
  // exceeds 3σ (a pair to look at first); and the figures of merit, as one line.
  std::vector<bool> suspect;
  std::string figures_of_merit;
};

struct WorkSession {
  // Cell
  CellParameters cell;           // what the cell fields show and the refinement changes
  CellParameters initial_cell;   // copy taken when a new cell is calculated
  ReciprocalCell reciprocal;
  ReciprocalMatrix B{};

  // Crystal system code (the four letters of kCrystalSystems) or empty.
  std::string system;

  // Space group
  std::string symbol;            // upper-cased, trimmed; empty = none
  std::string symbol_kind;       // "HM" or "HALL"
  char lattice_letter = ' ';
  std::vector<SymmetryOperator> operators;  // at most kMaxOperators

  // Wavelengths
  WavelengthSet wavelengths;     // current

  // Angular settings (degrees 2θ)
  double range_min = 0, range_max = 0;    // entered range; range_max = 0: no range
  double window_min = 0, window_max = 0;  // working window used by the calculation
  AngleMode angle_mode = AngleMode::TwoTheta;
  double tolerance = 0.1;

  // Lists
  MeasuredPeakList measured;
  Profile profile;
  CalculatedReflectionList allowed;
  CalculatedReflectionList forbidden;
  CalculatedReflectionList merged;
  std::vector<SelectedPair> selected;     // kept sorted by two_theta_obs
  std::vector<IndexedEntry> indexed_list; // an indexed list loaded with the peaks
  bool show_forbidden = false;            // the forbidden-lines toggle is up

  // Refinement settings and results
  // "To refine" check boxes, indexed by RefinedQuantity.
  PerQuantity<bool> refine_checked{};
  PerQuantity<bool> refine_enabled{};
  ShiftMode shift_mode = ShiftMode::ConstantZeroShift;
  double refined_shift = 0;
  int selected_measured_row = -1;
  int current_measured_peak = 0;          // 1-based; 0 = none
  int highlighted_pair = 0;               // 1-based; 0 = none
  RefinementResults results;

  std::string title;

  // Files and folders
  std::filesystem::path working_folder;   // the current folder at start-up
  // Where the files the program writes "in the current folder" go. The program never
  // changes the process's folder; it starts equal to the working folder.
  std::filesystem::path current_folder;
  std::filesystem::path data_folder;      // where the supplied catalogue files live
  std::string cell_file_name;
  // Where the profile was last saved (RAW2, CPI). The profile keeps the name of the
  // file it was read from: the title, the report and a new angle range go by that one.
  std::string saved_profile_name;
  std::string help_file = "vornax2.hlp";

  // The peaks and pairs as a file last held them (read or written), so that the program
  // can tell at exit whether quitting would lose typed or changed work.
  std::vector<MeasuredPeak> peaks_on_file;
  std::vector<SelectedPair> pairs_on_file;
  // The pairs as the automatic selection or the pairing of an indexed list last made
  // them: a new calculation and one click make them again, unlike pairs made by hand.
  std::vector<SelectedPair> pairs_automatic;

  int measured_count() const { return static_cast<int>(measured.peaks.size()); }
  int allowed_count() const { return static_cast<int>(allowed.size()); }
  int selected_count() const { return static_cast<int>(selected.size()); }
};

// Start-up values of every field.
void reset_session(WorkSession& s, const std::filesystem::path& working_folder);

// Refinement results go with the pairs and the cell they were refined from.
void clear_results(WorkSession& s);

// The erase groups of the main window's erase menu.
void erase_all(WorkSession& s);
void erase_peak_data(WorkSession& s);
void erase_profile(WorkSession& s);
void erase_cell_parameters(WorkSession& s);

// Widens the working window so that it covers the entered range; never narrows it.
void widen_window_to_range(WorkSession& s);

// After a file was read or written: the peaks (or pairs) shown are the ones a file holds.
void mark_peaks_on_file(WorkSession& s);
void mark_pairs_on_file(WorkSession& s);
// True when the session holds peaks or pairs that differ from those a file last held
// (typed, measured, searched, paired or edited since); an empty list loses nothing.
bool holds_unsaved_work(const WorkSession& s);
// After the automatic selection or the pairing of an indexed list.
void mark_pairs_automatic(WorkSession& s);
// True when the selection holds pairs that neither a file nor the last automatic
// pairing holds: pairs made or changed by hand, in the lists, on the diagram or in the
// selection editor.
bool holds_pairs_made_by_hand(const WorkSession& s);

}  // namespace vornax
