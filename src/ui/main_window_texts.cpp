#include "ui/main_window_texts.hpp"

#include "core/cell.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"

namespace vornax {

std::string range_label(AngleMode mode, int which) {
  return std::string(mode == AngleMode::Theta ? "θ" : "2θ") + (which == 1 ? "1" : "2");
}

CurrentValuesText current_values_text(const WorkSession& s) {
  return {trim(format_fixed(s.wavelengths.lambda, 8, 5)),
          trim(format_fixed(angle_for_display(s, s.range_min), 7, 2)),
          trim(format_fixed(angle_for_display(s, s.range_max), 7, 2))};
}

static InfoPanelText info_text(const WorkSession& s, const std::string& file,
                               const std::string& sample, const WavelengthSet& w,
                               double min, double max) {
  InfoPanelText t;
  t.visible = w.lambda > 0;
  t.file = "File: " + file_name_only(file);
  t.sample = "Sample: " + sample;
  t.anode = "Anode: " + w.anode;
  t.lambda = format_fixed(w.lambda, 8, 5);
  t.range_min = format_fixed(angle_for_display(s, min), 8, 2);
  t.range_max = format_fixed(angle_for_display(s, max), 8, 2);
  return t;
}

InfoPanelText peak_data_text(const WorkSession& s) {
  const MeasuredPeakList& p = s.measured;
  return info_text(s, p.file_name, p.sample, p.wavelengths, p.range_min, p.range_max);
}

InfoPanelText profile_text(const WorkSession& s) {
  const Profile& p = s.profile;
  return info_text(s, p.file_name, p.sample, p.wavelengths, p.start_angle, p.final_angle);
}

// Lines break where a thought ends; the panel wraps the rest to its width.
const std::array<const char*, 4> kTabHelpTexts = {
    "First step: Enter the Bragg angles of the measured reflections:\n"
    "- by keyboard: type first the wavelength among the current values, press "
    "\"Keyboard\" and type the angles (and areas) in the grid;\n"
    "- from a peak file: \"File\", or File > Open;\n"
    "- by measuring them on a diagram: \"Diagram\".",

    "Second step: Enter the initial cell parameters by keyboard: choose the system and "
    "the space group, type a, b, c, alpha, beta, gamma, the wavelength and the angle "
    "range, then press \"Calc.\".\n"
    "A cell can also be loaded from a VORNAX *.cry file (\"File\") and saved into one "
    "(\"Save\").",

    "Third step: Select the reflections. \"Auto Sel.\" pairs each measured peak inside "
    "the angle range with the nearest calculated reflection within the tolerance.\n"
    "Check the pairs in the list \"Selected reflections\" before refining.",

    "Fourth step: Refine the cell. Choose the parameters to refine and press "
    "\"Refine\".\n"
    "Warning: it is advisable to refine the wavelength only where the cell parameters "
    "are well known and fixed not to refine."};

const char* const kIndexedListHelpText =
    "You also can use an indexed list of h, k, l, 2Theta. Load an old list or create a "
    "new one (*.lst) from the menu File > Open > Peaks File.";

}  // namespace vornax
