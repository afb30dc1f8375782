// Indexed lists loaded as the measured peaks: every entry is a peak of intensity 100
// and keeps its h k l.
#include "files/indexed_list_file.hpp"
#include "files/peak_files.hpp"

namespace vornax {

PeakFileData read_indexed_peaks(std::string_view bytes, const std::string& name, double tolerance) {
  PeakFileData d;
  IndexedListRead read = read_indexed_list(bytes, name, kMaxIndexedEntries);
  d.indexed = std::move(read.entries);
  if (read.overflow()) {
    d.truncated = true;
    d.limit_message = kTooManyIndexedLines;
  }
  for (const auto& e : d.indexed) add_read_peak(d, e.two_theta, kNormalisedIntensity);
  d.intensity_max = kNormalisedIntensity;
  finish_peak_range(d, name, tolerance, kTextRangeCap);
  return d;
}

}  // namespace vornax
