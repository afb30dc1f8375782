#include "files/raw_file.hpp"

#include <algorithm>
#include <vector>

#include "core/format.hpp"
#include "core/text_file.hpp"
#include "files/binary_layout.hpp"

namespace vornax {

namespace {

// RAW2 header
constexpr size_t kRaw2Sample = 8, kRaw2SampleLen = 32;
constexpr size_t kRaw2Anode = 188;
constexpr size_t kRaw2Lambda1 = 190, kRaw2Lambda2 = 194, kRaw2Ratio = 198;
constexpr size_t kRaw2RangeHeaderLen = 256, kRaw2Count = 258, kRaw2Flags = 264;
constexpr size_t kRaw2Step = 268, kRaw2Start = 272;
constexpr size_t kRaw2Data = 316;
constexpr int kRaw2BaseRangeHeader = 60;  // longer range headers push the data back

// RAW (first version)
constexpr size_t kRawCount = 4, kRawStep = 12, kRawMode = 16, kRawStart = 24;
constexpr size_t kRawSample = 40, kRawSampleLen = 32;
constexpr size_t kRawLambda1 = 72, kRawLambda2 = 76;
constexpr size_t kRawData = 156;
constexpr int32_t kRawHalfStepMode = 2048;

// RAW1. Instruments write the sample name at 326; files laid out with it at 330 (four
// bytes of something else before it) are read too.
constexpr size_t kRaw1Sample = 326, kRaw1OldSample = 330, kRaw1SampleLen = 32;
constexpr size_t kRaw1Anode = 608;
constexpr size_t kRaw1Lambda = 616, kRaw1Lambda1 = 624, kRaw1Lambda2 = 632;
constexpr size_t kRaw1Count = 716, kRaw1Start = 728, kRaw1HalfStep = 880, kRaw1Step = 888;
constexpr size_t kRaw1ExtraHeaderLen = 968, kRaw1Data = 1016;

std::vector<double> read_f32_block(ByteCursor& c, size_t offset, size_t count) {
  c.seek(offset);
  if (count > c.remaining() / 4)
    c.fail("file too short for its " + std::to_string(count) + " points");
  std::vector<double> raw(count);
  for (auto& v : raw) v = c.f32();
  return raw;
}

// Start and end of the RAW2 and RAW variants: the smallest and largest angle.
void set_range_from_points(Profile& p) {
  auto [lo, hi] = std::minmax_element(p.points.begin(), p.points.end(),
                                      [](auto& a, auto& b) { return a.two_theta < b.two_theta; });
  p.start_angle = lo->two_theta;
  p.final_angle = hi->two_theta;
}

ProfileFileData read_raw2(ByteCursor& c, const std::string& name) {
  ProfileFileData d;
  Profile& p = d.profile;
  p.sample = c.text_field(kRaw2Sample, kRaw2SampleLen, FieldTrim::TrailingBlanks) + " (RAW2)";
  p.wavelengths.anode = c.text_field(kRaw2Anode, 2, FieldTrim::TrailingBlanks);
  double l1 = c.at<float>(kRaw2Lambda1);
  double l2 = c.at<float>(kRaw2Lambda2);
  double ratio = c.at<float>(kRaw2Ratio);
  const int header = c.at<int16_t>(kRaw2RangeHeaderLen);
  const int count = c.at<int16_t>(kRaw2Count);
  const int flags = c.at<int16_t>(kRaw2Flags);
  double step = c.at<float>(kRaw2Step);
  double start = c.at<float>(kRaw2Start);
  if (count < 0) c.fail("negative point count");
  check_finite(l1, "lambda1", name);
  check_finite(l2, "lambda2", name);
  check_finite(ratio, "ratio", name);
  check_finite(step, "step", name);
  check_finite(start, "start angle", name);
  p.wavelengths.lambda1 = l1;
  p.wavelengths.lambda2 = l2;
  p.wavelengths.lambda = lambda_from_pair(l1, l2, ratio);
  p.wavelengths.ratio = ratio;
  long double s = start;
  if (flags % 2 != 0) s += static_cast<long double>(step) / 2;
  const size_t data = kRaw2Data + (header > kRaw2BaseRangeHeader ? header - kRaw2BaseRangeHeader : 0);
  check_point_count(static_cast<size_t>(count), name);
  set_stepped_points(p, s, step, read_f32_block(c, data, static_cast<size_t>(count)), name);
  set_range_from_points(p);
  return d;
}

ProfileFileData read_raw0(ByteCursor& c, const std::string& name) {
  ProfileFileData d;
  Profile& p = d.profile;
  const int32_t count = c.at<int32_t>(kRawCount);
  double step = c.at<float>(kRawStep);
  const int32_t mode = c.at<int32_t>(kRawMode);
  double start = c.at<float>(kRawStart);
  p.sample = c.text_field(kRawSample, kRawSampleLen, FieldTrim::TrailingBlanks) + " (RAW)";
  double l1 = c.at<float>(kRawLambda1);
  double l2 = c.at<float>(kRawLambda2);
  if (count < 0) c.fail("negative point count");
  check_finite(l1, "lambda1", name);
  check_finite(l2, "lambda2", name);
  check_finite(step, "step", name);
  check_finite(start, "start angle", name);
  p.wavelengths.anode = "?";
  p.wavelengths.lambda1 = l1;
  p.wavelengths.lambda2 = l2;
  p.wavelengths.lambda = l2 > 0 ? (0.5 * l2 + l1) * 2 / 3 : l1;
  long double s = start;
  if (mode == kRawHalfStepMode) s += static_cast<long double>(step) / 2;
  check_point_count(static_cast<size_t>(count), name);
  set_stepped_points(p, s, step, read_f32_block(c, kRawData, static_cast<size_t>(count)), name);
  set_range_from_points(p);
  return d;
}

bool printable(unsigned char b) { return b >= 0x20 && b != 0x7f; }

// Where the sample name starts: at 326 when the bytes there are text (four printable
// bytes, or a short name ended by NULs with nothing at 330), else at 330.
size_t raw1_sample_offset(std::string_view bytes) {
  if (bytes.size() <= kRaw1OldSample) return kRaw1Sample;
  size_t text = 0;
  while (text < 4 && printable(static_cast<unsigned char>(bytes[kRaw1Sample + text]))) ++text;
  if (text == 4) return kRaw1Sample;
  if (text == 0) return kRaw1OldSample;
  for (size_t i = kRaw1Sample + text; i <= kRaw1OldSample; ++i)
    if (bytes[i] != '\0') return kRaw1OldSample;
  return kRaw1Sample;
}

ProfileFileData read_raw1(ByteCursor& c, std::string_view bytes, const std::string& name) {
  ProfileFileData d;
  Profile& p = d.profile;
  p.sample = c.text_field(raw1_sample_offset(bytes), kRaw1SampleLen, FieldTrim::TrailingBlanks) +
             " (RAW1)";
  c.seek(kRaw1Anode);
  p.wavelengths.anode = cp1252_to_utf8(c.text(4).substr(0, 2));
  double l = c.at<double>(kRaw1Lambda);
  double l1 = c.at<double>(kRaw1Lambda1);
  double l2 = c.at<double>(kRaw1Lambda2);
  const int32_t count = c.at<int32_t>(kRaw1Count);
  double start = c.at<double>(kRaw1Start);
  const int32_t half = c.at<int32_t>(kRaw1HalfStep);
  double step = c.at<double>(kRaw1Step);
  const int32_t extra = c.at<int32_t>(kRaw1ExtraHeaderLen);
  for (auto [v, what] : {std::pair{l, "lambda"}, {l1, "lambda1"}, {l2, "lambda2"},
                         {start, "start angle"}, {step, "step"}})
    check_finite(v, what, name);
  if (count < 0) c.fail("negative point count");
  p.wavelengths.lambda = l;
  p.wavelengths.lambda1 = l1;
  p.wavelengths.lambda2 = l2;
  long double s = start;
  if (half == 1) s += static_cast<long double>(step) / 2;
  // The count of the first range only: a second range's header after it must not
  // be read as intensities.
  const size_t data = kRaw1Data + (extra >= 1 ? static_cast<size_t>(extra) : 0);
  check_point_count(static_cast<size_t>(count), name);
  set_stepped_points(p, s, step, read_f32_block(c, data, static_cast<size_t>(count)), name);
  p.start_angle = p.points.front().two_theta;
  p.final_angle = p.points.back().two_theta;
  return d;
}

}  // namespace

ProfileFileData read_raw_file(std::string_view bytes, const std::string& name) {
  ByteCursor c(bytes, name);
  if (bytes.size() < 4) c.fail("file too short for a RAW signature");
  const std::string sig = c.signature(4);
  ProfileFileData d;
  if (sig == "RAW2") d = read_raw2(c, name);
  else if (sig == "RAW") d = read_raw0(c, name);
  else if (sig == "RAW1") d = read_raw1(c, bytes, name);
  else throw FormatError("Unknown file type");
  d.has_wavelength = d.profile.wavelengths.lambda != 0;
  return d;
}

std::string raw2_bytes(const Profile& p, const std::string& title, double range_min) {
  const size_t n = p.points.size();
  if (n == 0) throw FormatError("No pattern!");
  if (n > static_cast<size_t>(kMaxRaw2Points))
    throw FormatError("A RAW2 file holds at most " + std::to_string(kMaxRaw2Points) + " points");
  ByteWriter w(kRaw2Data + 4 * n, ' ');
  w.text(0, 4, "RAW2");
  w.put<int16_t>(4, 1);
  w.text(6, 34, "  " + utf8_to_cp1252(title));
  w.text(40, 128, "from VORNAX");
  // The current date taken at midnight, shown as a time.
  w.text(168, 20, "00:00:00");
  w.text(188, 2, "");
  const WavelengthSet& wl = p.wavelengths;
  w.put<float>(kRaw2Lambda1, static_cast<float>(wl.lambda1 != 0 ? wl.lambda1 : wl.lambda));
  w.put<float>(kRaw2Lambda2, static_cast<float>(wl.lambda2));
  w.put<float>(kRaw2Ratio, static_cast<float>(wl.ratio));
  w.put<int16_t>(202, 0);
  w.put<int16_t>(204, 0);
  w.put<float>(206, 1.39f);
  w.put<float>(210, 1000.0f);
  w.zeros(214, 8);
  w.text(222, 34, "");
  w.put<int16_t>(kRaw2RangeHeaderLen, kRaw2BaseRangeHeader);
  w.put<int16_t>(kRaw2Count, static_cast<int16_t>(n));
  w.put<int16_t>(260, 10);
  w.put<int16_t>(262, 0);
  w.put<float>(264, 1.0f);  // its low half, read as the scan flags, is 0: no half step
  const double first = p.points.front().two_theta, last = p.points.back().two_theta;
  const double step = n > 1 ? (last - first) / static_cast<double>(n - 1) : 0.0;
  w.put<float>(kRaw2Step, static_cast<float>(step));
  w.put<float>(kRaw2Start, static_cast<float>(first));
  w.put<float>(276, static_cast<float>(range_min * 0.5));
  w.zeros(280, 16 + 10 + 8 + 2);  // four floats, five int16, two floats, one int16
  for (size_t i = 0; i < n; ++i) w.put<float>(kRaw2Data + 4 * i, p.points[i].intensity * 100.0f);
  return w.take();
}

}  // namespace vornax
