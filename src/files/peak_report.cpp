#include "files/peak_report.hpp"

#include <string>

#include "core/format.hpp"
#include "core/paths.hpp"

namespace vornax {

TextFile peak_report_lines(const MeasuredPeakList& m) {
  const WavelengthSet& w = m.wavelengths;
  TextFile f;
  f.add("File name    :" + file_name_only(m.file_name));
  f.add("sample ID    :" + m.sample);
  f.add("Anode        :" + w.anode);
  f.add("Ratio        :" + format_fixed(w.ratio, 8, 2));
  f.add("Lambda       :" + format_fixed(w.lambda, 8, 5));
  f.add("Lambda1      :" + format_fixed(w.lambda1, 8, 5));
  f.add("Lambda2      :" + format_fixed(w.lambda2, 8, 5));
  f.add("Nb of peaks  : " + std::to_string(m.peaks.size()));
  f.add("");
  f.add("  N  2Theta  Intensity");
  int n = 0;
  for (const auto& p : m.peaks)
    f.add(format_int(++n, 3) + format_fixed(p.two_theta, 8, 3) +
          format_fixed(p.intensity * m.intensity_max / 100.0, 8, 0));
  return f;
}

}  // namespace vornax
