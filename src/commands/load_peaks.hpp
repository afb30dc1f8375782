// Loading a measured-peak file, and the wavelength entries of the main window.
#pragma once

#include <filesystem>
#include <string>

#include "commands/changed.hpp"
#include "commands/calculation.hpp"
#include "core/messages.hpp"
#include "core/session.hpp"
#include "core/wavelength.hpp"
#include "files/peak_files.hpp"

namespace vornax {

inline constexpr const char* kIndexedListQuestion =
    "Are you sure that your file contains h, k, l and 2Theta list ?";

// The load command as the window runs it: the type chosen in the menu is corrected by
// the file name's extension (an indexed list is confirmed first), the wavelength window
// is asked for the text kinds, the file is read, λ completed, checked against a loaded
// profile, the anode named, and only then is everything committed: peaks, file name,
// sample, wavelengths, range (current values too when no profile is loaded), an empty
// selection. A refusal, a cancel or a bad file leaves the session as it was.
// Newly loaded peaks take the current zero offset.
Changed load_peak_file(WorkSession& s, Messages& m, WavelengthDialog& dialog,
                       const std::filesystem::path& path, PeakFileType type);

// The same without the extension correction: the type is taken as given.
Changed load_peak_file_as(WorkSession& s, Messages& m, WavelengthDialog& dialog,
                          const std::filesystem::path& path, PeakFileType type);

// "Observed reflections (" + file name without folder + ")", trimmed.
std::string observed_caption(const WorkSession& s);

// Leaving the wavelength box of "Current values" (read_lambda_box): the typed value becomes the
// current λ; "Error at lambda" for a text that is no number or a λ not above 0. A box
// the user did not edit keeps the stored λ it shows rounded.
Changed read_lambda_box(WorkSession& s, Messages& m, const std::string& text, bool edited = false);

// Entering that box (entree_lambda) empties the calculated and result displays; the
// window clears its grids on this flag set.
Changed entree_lambda(WorkSession& s);

// Leaving the Initial lambda box of the refinement tab (change_lambda_affi): a changed
// λ regenerates the reflections; the selected pairs stay, each taking the 2θ of its
// h k l in the new list, or from the cell when the list no longer holds it.
// "Error on Lambda!" for a text that is no number or a λ not above 0.
Changed change_lambda_affi(WorkSession& s, CellTab& tab, Messages& m, const std::string& text);

}  // namespace vornax
