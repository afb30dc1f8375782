#include "commands/save_peaks.hpp"

#include <string>

#include "commands/report_files.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "files/column_peaks.hpp"
#include "files/dif_file.hpp"
#include "files/peak_report.hpp"

namespace vornax {

namespace {

// The chosen name with its extension, or nothing when the user refused to overwrite.
std::optional<std::filesystem::path> target(Messages& m, const std::filesystem::path& chosen,
                                            const std::string& ext) {
  std::string name = chosen.string();
  if (name.find(ext) == std::string::npos) name += ext;
  const std::filesystem::path path(name);
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    m.beep();
    if (m.ask(kFileExistsQuestion) != Answer::Yes) return std::nullopt;
  }
  return path;
}

template <class Write>
Changed save(WorkSession& s, Messages& m, const std::filesystem::path& chosen, const char* ext,
             Write write) {
  if (s.measured.peaks.empty()) {
    m.error(kNoPeakAnglesMessage);
    return Changed::None;
  }
  const auto path = target(m, chosen, ext);
  if (!path) return Changed::None;
  try {
    write(*path);
  } catch (const FileError& e) {
    m.error(e.what());
    return Changed::None;
  }
  s.measured.file_name = path->string();
  mark_peaks_on_file(s);
  return Changed::MeasuredPeaks;
}

}  // namespace

Changed save_bruker_dif(WorkSession& s, Messages& m, const std::filesystem::path& chosen) {
  const Changed c = save(s, m, chosen, ".dif", [&](const std::filesystem::path& p) {
    write_dif2_file(p, s.measured.peaks, s.wavelengths.lambda, s.range_min);
  });
  if (c != Changed::None) m.info("The peak positions were saved in the file " + s.measured.file_name);
  return c;
}

Changed save_column_dif(WorkSession& s, Messages& m, const std::filesystem::path& chosen) {
  return save(s, m, chosen, ".prn",
              [&](const std::filesystem::path& p) { column_peak_lines(s.measured.peaks).save(p); });
}

Changed save_column_peaks_with_intensity(WorkSession& s, Messages& m,
                                         const std::filesystem::path& chosen) {
  return save(s, m, chosen, ".prn", [&](const std::filesystem::path& p) {
    column_peak_lines_with_intensity(s.measured.peaks).save(p);
  });
}

std::optional<std::filesystem::path> write_peak_report(const WorkSession& s, Messages& m) {
  if (s.measured.peaks.empty()) {
    m.error(kNoPeaksReportMessage);
    return std::nullopt;
  }
  return write_report(s, FixedFile::DifReport, peak_report_lines(s.measured), m);
}

}  // namespace vornax
