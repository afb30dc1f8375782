// The X-ray sources the program knows, and how a wavelength set is completed and named.
// Peak and profile readers and the wavelength window share these rules.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/session.hpp"

namespace vornax {

// Mean Kα wavelength of each anode, used to name the anode from a wavelength.
struct AnodeEntry {
  std::string_view anode;
  double lambda;
};
inline constexpr std::array<AnodeEntry, 5> AnodeTable{{
    {"Mo", 0.7107}, {"Cu", 1.5418}, {"Co", 1.7902}, {"Fe", 1.93604}, {"Cr", 2.2909}}};

// Kα1 and Kα2 of each anode, used to complete a set that names its anode.
struct AnodeLines {
  std::string_view anode;
  double lambda1, lambda2;
};
inline constexpr std::array<AnodeLines, 5> AnodeLineTable{{{"Mo", 0.7093, 0.71359},
                                                           {"Cu", 1.54056, 1.54439},
                                                           {"Co", 1.78897, 1.79285},
                                                           {"Fe", 1.93339, 1.9373},
                                                           {"Cr", 2.2897, 2.29361}}};

// Naming tolerances: peak files are named more strictly than profiles.
constexpr double kPeakAnodeTolerance = 0.005;
constexpr double kProfileAnodeTolerance = 0.01;
// Largest difference between the peaks' and the profile's wavelength.
constexpr double kWavelengthConsistency = 0.01;
constexpr double kDefaultRatio = 0.5;

inline constexpr const char* kWavelengthMismatchMessage =
    "The wavelength read in the file is different from the wavelength of the measured peaks";

// What the command checks in a set chosen in the wavelength window before it takes it:
// it may complete the set, and returns the message to show (the window then stays open
// for another choice), or "" when the set is accepted.
using WavelengthCheck = std::function<std::string(WavelengthSet&)>;

// The wavelength window: asked when a file holds no wavelength. Windows implement it
// with Tflilambda; tests and the command line answer it directly.
struct WavelengthDialog {
  virtual ~WavelengthDialog() = default;
  // nullopt: the user closed the window without OK.
  virtual std::optional<WavelengthSet> choose(const WavelengthSet& proposed, bool profile_mode) = 0;
  // The same, with the command's check run on OK: a window shows a refused set's
  // message and stays open. Answers without a window leave the check to the caller,
  // which runs it again on what comes back.
  virtual std::optional<WavelengthSet> choose_checked(const WavelengthSet& proposed,
                                                      bool profile_mode, const WavelengthCheck&) {
    return choose(proposed, profile_mode);
  }
};

// The window answered without a window, as OK with a typed λ and no source chosen, or
// closed when no λ was given. `asked` tells whether the file needed it.
struct TypedWavelength : WavelengthDialog {
  std::optional<double> lambda;
  bool asked = false;
  std::optional<WavelengthSet> choose(const WavelengthSet&, bool) override {
    asked = true;
    if (!lambda) return std::nullopt;
    WavelengthSet w;
    w.lambda = *lambda;
    w.anode = "?";
    w.ratio = 1.0;
    return w;
  }
};

// Completes a set read with a profile or chosen in the window: Kα1/Kα2 from the anode
// when missing (fill_lines_from_anode), then, when λ is 0 and λ1 is known,
// λ = (ratio·λ2 + λ1)/(ratio + 1); λ2 == 0 -> λ1; ratio == -1 -> 0.5 (the formula
// would divide by zero).
void complete_wavelength_set(WavelengthSet& w);

// The peak files' rule: when λ is 0 it takes λ1, or λ2 when λ1 is 0 too.
void complete_peak_wavelength(WavelengthSet& w);

// The anode whose mean wavelength differs from lambda by less than `tolerance` Å
// (first in table order; a difference of exactly the tolerance does not name it),
// else "?". lambda <= 0 is "?".
std::string name_anode(double lambda, double tolerance);

// The anode cut to two characters; an empty or "?" anode is named from lambda.
void name_anode_if_unknown(WavelengthSet& w, double tolerance);

// Kα1/Kα2 from the line table when the set names its anode but lacks them (upper-case
// comparison); the ratio becomes 0.5 when it was 0.
void fill_lines_from_anode(WavelengthSet& w);

// True when both wavelengths are defined and differ by more than 0.01 Å (exactly
// 0.01 Å apart they agree).
bool wavelengths_differ(double peaks_lambda, double profile_lambda);

// --- The wavelength window's own logic; the window only mirrors it in widgets. ---

// The list of the window: the five anodes, then "Other".
inline constexpr std::array<std::string_view, 6> kSourceChoices{"Mo", "Cu", "Co", "Fe", "Cr", "Other"};

// What the three boxes and the target set hold while the window is open.
struct SourceChoice {
  int chosen = -1;          // index into kSourceChoices, -1 none
  std::string anode;        // "" until a source is chosen, "Xx" for Other
  std::string lambda1_text = "0", lambda2_text = "0", lambda_text;
  bool lines_visible = false;   // lambda1 / lambda2 labels and boxes
  bool lambda_visible = false;  // lambda label and box
};

// A click on an entry of the list (clicklistbox).
void choose_source(SourceChoice& c, int index);

// OK (lit_lambda): the set to store, or the error text ("Lambda error!", "Lambda1 error!",
// "Lambda2 error!"); the window stays open after an error. A wavelength that is not
// above 0 is refused with "Lambda error!" too.
struct SourceResult {
  std::optional<WavelengthSet> set;
  std::string error;
};
SourceResult accept_source(const SourceChoice& c);

}  // namespace vornax
