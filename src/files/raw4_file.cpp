#include "files/raw4_file.hpp"

#include <vector>

#include "files/binary_layout.hpp"

namespace vornax {

namespace {

// File header: the signature, date (at 12) and time (at 24); segments start right
// after it.
constexpr size_t kFileHeaderLen = 61;

// Segment chain: each segment starts with its type and its total length (u32 each).
constexpr uint32_t kSegmentRangeA = 0, kSegmentRangeB = 160;  // a range header
constexpr uint32_t kSegmentVarInfo = 10;
constexpr uint32_t kSegmentHardware = 30;
constexpr size_t kSegmentMinLen = 8;

// Hardware segment, offsets from its start.
constexpr size_t kHwLen = 120;
constexpr size_t kHwAlpha1 = 80, kHwAlpha2 = 88, kHwRatio = 104, kHwAnode = 116;

// VarInfo segment: a 24-byte tag at +12 and its text from +36.
constexpr size_t kVarTag = 12, kVarTagLen = 24, kVarText = 36;

// Range header, offsets from its start.
constexpr size_t kRangeHeaderLen = 160;
constexpr size_t kRangeScanType = 32, kRangeScanTypeLen = 24;
constexpr size_t kRangeStart = 72, kRangeStep = 80, kRangeSteps = 88;
constexpr size_t kRangeUsedLambda = 112;
constexpr size_t kRangeDatumSize = 136, kRangeExtraLen = 140;

struct Range {
  size_t offset = 0;       // of its header
  size_t data = 0;         // of its first intensity
  uint32_t steps = 0;
  uint32_t datum_size = 0;
};

struct Layout {
  double lambda1 = 0, lambda2 = 0, ratio = 0;
  std::string anode, sample;
  std::vector<Range> ranges;
};

// Walks the segments and the ranges; every length is checked against the bytes left,
// so a damaged length ends in a FormatError, never a loop or a read past the end.
Layout scan(ByteCursor& c) {
  if (!c.has_signature(kRaw4Signature))
    c.fail("not a RAW4 file (no \"RAW4.00\" signature)");
  Layout l;
  c.seek(kFileHeaderLen);
  uint32_t type = c.u32();
  while (type != kSegmentRangeA && type != kSegmentRangeB) {
    const size_t start = c.offset() - 4;
    const uint32_t len = c.u32();
    if (len < kSegmentMinLen || len - 8 > c.remaining())
      c.fail("damaged segment length at offset " + std::to_string(start));
    if (type == kSegmentHardware && len >= kHwLen) {
      l.lambda1 = c.at<double>(start + kHwAlpha1);
      l.lambda2 = c.at<double>(start + kHwAlpha2);
      l.ratio = c.at<double>(start + kHwRatio);
      l.anode = c.text_field(start + kHwAnode, 4, FieldTrim::TrailingBlanks).substr(0, 2);
    } else if (type == kSegmentVarInfo && len >= kVarText) {
      const std::string tag = c.text_field(start + kVarTag, kVarTagLen, FieldTrim::TrailingBlanks);
      if (tag == "SampleID" && l.sample.empty())
        l.sample = c.text_field(start + kVarText, len - kVarText, FieldTrim::TrailingBlanks);
    }
    c.seek(start + len);
    type = c.u32();
  }
  while (true) {
    Range r;
    r.offset = c.offset() - 4;
    if (kRangeHeaderLen > c.size() - r.offset) c.fail("file too short for a range header");
    r.steps = c.at<uint32_t>(r.offset + kRangeSteps);
    r.datum_size = c.at<uint32_t>(r.offset + kRangeDatumSize);
    const uint32_t extra = c.at<uint32_t>(r.offset + kRangeExtraLen);
    const size_t after_header = r.offset + kRangeHeaderLen;
    if (extra > c.size() - after_header) c.fail("damaged range header length");
    r.data = after_header + extra;
    if (r.datum_size == 0 || r.datum_size > 8) c.fail("unknown data size in a range");
    if (r.steps > (c.size() - r.data) / r.datum_size)
      c.fail("file too short for its " + std::to_string(r.steps) + " points");
    l.ranges.push_back(r);
    const size_t next = r.data + static_cast<size_t>(r.steps) * r.datum_size;
    if (c.size() - next < 4) break;  // no further range
    c.seek(next);
    type = c.u32();
    if (type != kSegmentRangeA && type != kSegmentRangeB) break;  // trailing bytes
  }
  return l;
}

}  // namespace

int raw4_range_count(std::string_view bytes, const std::string& name) {
  ByteCursor c(bytes, name);
  return static_cast<int>(scan(c).ranges.size());
}

ProfileFileData read_raw4_file(std::string_view bytes, const std::string& name,
                               int range_index) {
  ByteCursor c(bytes, name);
  const Layout l = scan(c);
  if (range_index < 0 || range_index >= static_cast<int>(l.ranges.size()))
    c.fail("no range " + std::to_string(range_index) + " (the file has " +
           std::to_string(l.ranges.size()) + ")");
  const Range& r = l.ranges[static_cast<size_t>(range_index)];
  if (r.datum_size != 4) c.fail("range " + std::to_string(range_index) + " does not hold float32 counts");

  ProfileFileData d;
  Profile& p = d.profile;
  const double start = c.at<double>(r.offset + kRangeStart);
  const double step = c.at<double>(r.offset + kRangeStep);
  const double used = c.at<double>(r.offset + kRangeUsedLambda);
  const std::string scan_type =
      c.text_field(r.offset + kRangeScanType, kRangeScanTypeLen, FieldTrim::TrailingBlanks);
  check_finite(start, "start angle", name);
  check_finite(step, "step", name);
  for (auto [v, what] : {std::pair{l.lambda1, "lambda1"}, {l.lambda2, "lambda2"},
                         {l.ratio, "ratio"}, {used, "used lambda"}})
    check_finite(v, what, name);

  check_point_count(r.steps, name);
  std::vector<double> raw(r.steps);
  c.seek(r.data);
  for (auto& v : raw) v = c.f32();
  set_stepped_points(p, start, step, raw, name);
  p.start_angle = std::min(p.points.front().two_theta, p.points.back().two_theta);
  p.final_angle = std::max(p.points.front().two_theta, p.points.back().two_theta);

  p.sample = (l.sample.empty() ? scan_type : l.sample) + " (RAW4)";
  WavelengthSet& w = p.wavelengths;
  w.anode = l.anode;
  w.lambda1 = l.lambda1;
  w.lambda2 = l.lambda2;
  double ratio = l.ratio;
  w.lambda = l.lambda1 > 0 ? lambda_from_pair(l.lambda1, l.lambda2, ratio) : used;
  w.ratio = ratio;
  d.has_wavelength = w.lambda > 0;
  return d;
}

}  // namespace vornax
