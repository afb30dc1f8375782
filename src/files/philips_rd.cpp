#include "files/philips_rd.hpp"

#include <array>
#include <vector>

#include "files/binary_layout.hpp"

namespace vornax {

namespace {

constexpr size_t kVersion = 0, kMagic = 2, kAnodeCode = 85;
constexpr size_t kLambda1 = 94, kLambda2 = 102, kRatio = 110, kHalfStep = 120;
constexpr size_t kSample = 146, kSampleLen = 20;
constexpr size_t kStep = 214, kStart = 222, kEnd = 230;
constexpr size_t kHeaderEnd = 238;
constexpr size_t kV5Gap = 584, kOtherGap = 12;  // data at 822 (V5) or 250

constexpr std::array<const char*, 5> kAnodeByCode = {"Cu", "Mo", "Co", "Fe", "Cr"};

}  // namespace

ProfileFileData read_philips_rd(std::string_view bytes, const std::string& name) {
  ByteCursor c(bytes, name);
  c.seek(kVersion);
  const std::string version = c.text(2);
  c.seek(kMagic);
  if (!c.has_signature("RD", kMagic))
    throw FormatError("It seems not to be a .RD Philips file");
  ProfileFileData d;
  Profile& p = d.profile;
  const uint8_t code = c.at<uint8_t>(kAnodeCode);
  if (code < kAnodeByCode.size()) p.wavelengths.anode = kAnodeByCode[code];
  const double l1 = c.at<double>(kLambda1);
  const double l2 = c.at<double>(kLambda2);
  double ratio = c.at<double>(kRatio);
  const bool half = c.at<uint8_t>(kHalfStep) != 0;
  p.sample = c.text_field(kSample, kSampleLen, FieldTrim::Blanks);
  const double step = c.at<double>(kStep);
  const double start = c.at<double>(kStart);
  const double end = c.at<double>(kEnd);
  for (auto [v, what] : {std::pair{l1, "lambda1"}, {l2, "lambda2"}, {ratio, "ratio"},
                         {step, "step"}, {start, "start angle"}, {end, "end angle"}})
    check_finite(v, what, name);
  p.wavelengths.lambda1 = l1;
  p.wavelengths.lambda2 = l2;
  p.wavelengths.lambda = lambda_from_pair(l1, l2, ratio);
  p.wavelengths.ratio = ratio;

  c.seek(kHeaderEnd + (version == "V5" ? kV5Gap : kOtherGap));
  const size_t count = c.remaining() / 2;  // an odd last byte is no word
  check_point_count(count, name);
  std::vector<double> raw(count);
  for (auto& v : raw) {
    const double w = 0.1 * c.i16();
    v = w * w;
  }
  long double s = start;
  if (half) s += static_cast<long double>(step) / 2;
  set_stepped_points(p, s, step, raw, name);
  p.start_angle = static_cast<double>(s);
  p.final_angle = end;
  d.has_wavelength = p.wavelengths.lambda != 0;
  return d;
}

}  // namespace vornax
