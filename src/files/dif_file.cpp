#include "files/dif_file.hpp"

#include <cmath>
#include <cstring>

#include "core/format.hpp"
#include "core/text_file.hpp"

namespace vornax {

namespace {

// The signature with trailing blanks and control characters removed.
std::string signature(ByteCursor& c) {
  std::string sig = c.size() >= 4 ? std::string(c.text(4)) : std::string();
  while (!sig.empty() && static_cast<unsigned char>(sig.back()) <= ' ') sig.pop_back();
  return sig;
}

std::string text_field(ByteCursor& c, size_t offset, size_t size) {
  c.seek(offset);
  return cp1252_to_utf8(trim(c.text(size)));
}

double finite(ByteCursor& c, double v, const char* what) {
  if (!std::isfinite(v)) c.fail(std::string("damaged file (") + what + " is not a number)");
  return v;
}

// Reads n records of `size` bytes from the cursor's position, bounded by the bytes there.
template <class ReadOne>
void read_records(ByteCursor& c, long long count, size_t size, PeakFileData& d, ReadOne one) {
  if (count < 0) count = 0;
  const long long fit = static_cast<long long>(c.remaining() / size);
  if (count > fit) count = fit;
  for (long long i = 0; i < count; ++i) {
    const size_t start = c.offset();
    const auto [tt, inten] = one();
    finite(c, tt, "2theta");
    finite(c, inten, "intensity");
    add_read_peak(d, tt, inten);
    c.seek(start + size);
  }
}

void read_dif2(ByteCursor& c, PeakFileData& d) {
  d.sample = text_field(c, dif2::kSample, dif2::kSampleSize);
  d.wavelengths.anode = text_field(c, dif2::kAnode, 2);
  d.wavelengths.lambda1 = finite(c, c.at<float>(dif2::kLambda1), "lambda1");
  d.wavelengths.lambda2 = finite(c, c.at<float>(dif2::kLambda2), "lambda2");
  d.wavelengths.ratio = finite(c, c.at<float>(dif2::kRatio), "ratio");
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
  d.sample = text_field(c, dif1::kSample, dif1::kSampleSize);
  d.wavelengths.anode = text_field(c, dif1::kAnode, 2);
  d.wavelengths.lambda1 = finite(c, c.at<double>(dif1::kLambda1), "lambda1");
  d.wavelengths.lambda2 = finite(c, c.at<double>(dif1::kLambda2), "lambda2");
  d.wavelengths.ratio = finite(c, c.at<double>(dif1::kRatio), "ratio");
  const int32_t n = c.at<int32_t>(dif1::kCount);
  d.wavelengths.lambda = finite(c, c.at<double>(dif1::kLambda), "lambda");
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
  const std::string sig = signature(c);
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

namespace {

template <class T>
void put(std::string& out, size_t offset, T v) {
  std::memcpy(out.data() + offset, &v, sizeof(T));
}

}  // namespace

std::string dif2_bytes(const std::vector<MeasuredPeak>& peaks, double lambda, double range_min) {
  std::string out(dif2::kRecords + dif2::kRecordSize * peaks.size(), ' ');
  std::memcpy(out.data(), "DIF2", 4);
  put<int16_t>(out, 4, 1);
  put<float>(out, dif2::kLambda1, static_cast<float>(lambda));
  put<float>(out, dif2::kLambda2, static_cast<float>(lambda));
  put<float>(out, dif2::kRatio, 1.0f);
  put<int16_t>(out, dif2::kHeaderWidth, static_cast<int16_t>(dif2::kBaseWidth));
  put<int16_t>(out, dif2::kCount, static_cast<int16_t>(peaks.size()));
  put<float>(out, dif2::kRangeStart - 4, 0.0f);
  put<float>(out, dif2::kRangeStart, static_cast<float>(range_min));
  for (size_t i = 0; i < peaks.size(); ++i) {
    const size_t at = dif2::kRecords + i * dif2::kRecordSize;
    put<float>(out, at, static_cast<float>(peaks[i].two_theta));
    put<float>(out, at + 4, static_cast<float>(peaks[i].intensity));
  }
  return out;
}

void write_dif2_file(const std::filesystem::path& path, const std::vector<MeasuredPeak>& peaks,
                     double lambda, double range_min) {
  const std::string bytes = dif2_bytes(peaks, lambda, range_min);
  write_file_atomically(path, bytes);
}

}  // namespace vornax
