#include "files/dif_file.hpp"

#include "core/text_file.hpp"
#include "files/binary_layout.hpp"

namespace vornax {

namespace {

// Reads n records of `size` bytes from the cursor's position. A file that ends before
// the records its header announces is damaged: it is refused, not read in part.
template <class ReadOne>
void read_records(ByteCursor& c, long long count, size_t size, PeakFileData& d, ReadOne one) {
  if (count < 0) count = 0;
  const long long fit = static_cast<long long>(c.remaining() / size);
  if (count > fit)
    c.fail("file too short (the header announces " + std::to_string(count) +
           " peaks, the file holds " + std::to_string(fit) + ")");
  for (long long i = 0; i < count; ++i) {
    const size_t start = c.offset();
    const auto [tt, inten] = one();
    c.finite(tt, "2theta");
    c.finite(inten, "intensity");
    add_read_peak(d, tt, inten);
    c.seek(start + size);
  }
}

void read_dif2(ByteCursor& c, PeakFileData& d) {
  d.sample = c.text_field(dif2::kSample, dif2::kSampleSize, FieldTrim::Blanks);
  d.wavelengths.anode = c.text_field(dif2::kAnode, 2, FieldTrim::Blanks);
  d.wavelengths.lambda1 = c.finite(c.at<float>(dif2::kLambda1), "lambda1");
  d.wavelengths.lambda2 = c.finite(c.at<float>(dif2::kLambda2), "lambda2");
  d.wavelengths.ratio = c.finite(c.at<float>(dif2::kRatio), "ratio");
  const int w = c.at<int16_t>(dif2::kHeaderWidth);
  const int n = c.at<int16_t>(dif2::kCount);
  c.seek(dif2::kRecords);
  if (w > dif2::kBaseWidth) c.skip(static_cast<size_t>(w - dif2::kBaseWidth));
  read_records(c, n, dif2::kRecordSize, d, [&] {
    const double tt = c.f32();
    const double in = c.f32();
    return std::pair{tt, in};
  });
}

void read_dif1(ByteCursor& c, PeakFileData& d) {
  d.sample = c.text_field(dif1::kSample, dif1::kSampleSize, FieldTrim::Blanks);
  d.wavelengths.anode = c.text_field(dif1::kAnode, 2, FieldTrim::Blanks);
  d.wavelengths.lambda1 = c.finite(c.at<double>(dif1::kLambda1), "lambda1");
  d.wavelengths.lambda2 = c.finite(c.at<double>(dif1::kLambda2), "lambda2");
  d.wavelengths.ratio = c.finite(c.at<double>(dif1::kRatio), "ratio");
  const int32_t n = c.at<int32_t>(dif1::kCount);
  d.wavelengths.lambda = c.finite(c.at<double>(dif1::kLambda), "lambda");
  const int32_t e = c.at<int32_t>(dif1::kExtraHeader);
  c.seek(dif1::kRecords);
  if (e > 0) c.skip(static_cast<size_t>(e));
  read_records(c, n, dif1::kRecordSize, d, [&] {
    const double tt = c.f64();
    const double in = c.f32();
    return std::pair{tt, in};
  });
}

}  // namespace

PeakFileData read_dif_file(std::string_view bytes, const std::string& name, double tolerance) {
  ByteCursor c(bytes, name);
  const std::string sig = c.signature(4);
  PeakFileData d;
  d.has_wavelength = true;
  if (sig == "DIF2")
    read_dif2(c, d);
  else if (sig == "DIF1")
    read_dif1(c, d);
  else
    throw FormatError(kUnknownFileType);
  // Scaled with a single-precision factor, as the files' own programs do.
  double largest = 0;
  for (const auto& p : d.peaks)
    if (p.intensity > largest) largest = p.intensity;
  d.intensity_max = largest;
  if (largest > 0) {
    const float factor = static_cast<float>(kNormalisedIntensity / largest);
    for (auto& p : d.peaks) p.intensity *= factor;
  }
  finish_peak_range(d, name, tolerance, 0);
  return d;
}

std::string dif2_bytes(const std::vector<MeasuredPeak>& peaks, double lambda, double range_min) {
  ByteWriter w(dif2::kRecords + dif2::kRecordSize * peaks.size(), ' ');
  w.text(0, 4, "DIF2");
  w.put<int16_t>(4, 1);
  w.put<float>(dif2::kLambda1, static_cast<float>(lambda));
  w.put<float>(dif2::kLambda2, static_cast<float>(lambda));
  w.put<float>(dif2::kRatio, 1.0f);
  w.put<int16_t>(dif2::kHeaderWidth, static_cast<int16_t>(dif2::kBaseWidth));
  w.put<int16_t>(dif2::kCount, static_cast<int16_t>(peaks.size()));
  w.put<float>(dif2::kRangeStart - 4, 0.0f);
  w.put<float>(dif2::kRangeStart, static_cast<float>(range_min));
  for (size_t i = 0; i < peaks.size(); ++i) {
    const size_t at = dif2::kRecords + i * dif2::kRecordSize;
    w.put<float>(at, static_cast<float>(peaks[i].two_theta));
    w.put<float>(at + 4, static_cast<float>(peaks[i].intensity));
  }
  return w.take();
}

void write_dif2_file(const std::filesystem::path& path, const std::vector<MeasuredPeak>& peaks,
                     double lambda, double range_min) {
  const std::string bytes = dif2_bytes(peaks, lambda, range_min);
  write_file_atomically(path, bytes);
}

}  // namespace vornax
