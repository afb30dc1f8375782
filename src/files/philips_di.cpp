// Philips binary peak files (.di): a 250-byte header, then 12-byte records to the end.
#include <string>

#include "files/binary_layout.hpp"
#include "files/peak_files.hpp"

namespace vornax {

namespace {

constexpr size_t kAnodeCode = 85;
constexpr size_t kLambda1 = 94, kLambda2 = 102, kRatio = 110;
constexpr size_t kDate = 122;  // day bits 0-4, month bits 5-8, year bits 9-15
constexpr size_t kSample = 146, kSampleSize = 20;
constexpr size_t kRecords = 250;
constexpr size_t kRecordSize = 12;     // six 16-bit words: 2θ, -, intensity, -, -, -
constexpr double kAngleUnit = 0.005;   // degrees per unit of the 2θ word

constexpr const char* kAnodeCodes[] = {"Cu", "Mo", "Co", "Fe", "Cr"};

}  // namespace

PeakFileData read_philips_di(std::string_view bytes, const std::string& name, double tolerance) {
  ByteCursor c(bytes, name);
  PeakFileData d;
  d.has_wavelength = true;
  const uint8_t code = c.at<uint8_t>(kAnodeCode);
  if (code < std::size(kAnodeCodes)) d.wavelengths.anode = kAnodeCodes[code];
  d.wavelengths.lambda1 = c.finite(c.at<double>(kLambda1), "lambda1");
  d.wavelengths.lambda2 = c.finite(c.at<double>(kLambda2), "lambda2");
  d.wavelengths.ratio = c.finite(c.at<double>(kRatio), "ratio");
  const uint16_t date = c.at<uint16_t>(kDate);
  d.title = "Date: " + std::to_string(date & 0x1f) + "/" + std::to_string((date >> 5) & 0x0f) + "/" +
            std::to_string(date >> 9);
  d.has_title = true;
  d.sample = c.text_field(kSample, kSampleSize, FieldTrim::Blanks);
  c.seek(kRecords);
  while (c.remaining() >= kRecordSize) {
    // Unsigned: angles above 163.835° and intensities above 32767 are common.
    const uint16_t angle = c.u16();
    c.u16();
    const uint16_t intensity = c.u16();
    c.skip(6);
    add_read_peak(d, angle * kAngleUnit, intensity);
  }
  normalise_intensities(d);
  finish_peak_range(d, name, tolerance, 0);
  return d;
}

}  // namespace vornax
