#include "profile/classification.hpp"

#include <cmath>
#include <optional>

#include "core/format.hpp"

namespace vornax {

namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

// A given line: its wavelength and percentage both read. nullopt with `bad` set when
// either cannot be read; nullopt alone when the wavelength text is empty (unused).
std::optional<ContaminationLine> read_line(const std::string& lambda_text,
                                           const std::string& percent_text, bool& bad) {
  if (trim(lambda_text).empty()) return std::nullopt;
  auto lambda = parse_real(lambda_text);
  auto percent = lambda ? parse_real(percent_text) : std::nullopt;
  if (!lambda || !percent) {
    bad = true;
    return std::nullopt;
  }
  return ContaminationLine{*lambda, *percent};
}

}  // namespace

bool same_reflection_angle(double two_theta, double lambda, double other_lambda, double& out) {
  if (!(lambda > 0) || !(other_lambda > 0)) return false;
  // λ'/2d with d = λ / (2 sin θ)
  const double s = other_lambda * std::sin(two_theta / 2 * kDegToRad) / lambda;
  if (!(s > -1 && s <= 1)) return false;
  out = 2 * std::asin(s) / kDegToRad;
  return true;
}

void mark_contamination(std::vector<MeasuredPeak>& peaks, double lambda,
                        const ContaminationLine& line, int code) {
  if (!(line.percent > 0)) return;
  const double f = line.percent / 100;
  for (size_t p = 1; p < peaks.size(); ++p) {
    if (!(peaks[p].intensity > 0)) continue;
    double angle = 0;
    if (!same_reflection_angle(peaks[p].two_theta, lambda, line.lambda, angle)) continue;
    for (size_t q = 0; q < p; ++q)
      if (std::fabs(angle - peaks[q].two_theta) <= kContaminationTolerance &&
          peaks[q].intensity / peaks[p].intensity < 3 * f)
        peaks[q].line_code = code;
  }
}

void mark_doublets(std::vector<MeasuredPeak>& peaks, double lambda1, double lambda2,
                   double ratio) {
  if (!(lambda1 > 0) || !(lambda2 > lambda1) || !(ratio > 0)) return;
  for (size_t i = 0; i + 1 < peaks.size(); ++i) {
    if (!(peaks[i].intensity > 0)) continue;
    double angle = 0;
    if (!same_reflection_angle(peaks[i].two_theta, lambda1, lambda2, angle)) continue;
    for (size_t j = i + 1; j < peaks.size(); ++j)
      if (std::fabs(angle - peaks[j].two_theta) <= kDoubletTolerance &&
          std::fabs(peaks[j].intensity / peaks[i].intensity - ratio) / ratio < 0.5) {
        peaks[j].line_code = kLineKAlpha2;
        peaks[i].line_code = kLineKAlpha1;
      }
  }
}

ClassificationResult classify_lines(std::vector<MeasuredPeak>& peaks, WavelengthSet& w,
                                    const ContaminationTexts& texts) {
  ClassificationResult r;
  for (MeasuredPeak& p : peaks) p.line_code = kLineKAlpha;

  bool bad = false;
  auto l1 = read_line(texts.l1_lambda, texts.l1_percent, bad);
  if (bad) {
    r.bad_data = true;
    return r;
  }
  if (l1) r.contamination_line_count += 1;
  auto l2 = read_line(texts.l2_lambda, texts.l2_percent, bad);
  if (bad) {
    r.bad_data = true;
    return r;
  }

  if (l1) mark_contamination(peaks, w.lambda, *l1, kLineKBeta);
  if (l2) mark_contamination(peaks, w.lambda, *l2, kLineWLAlpha);
  if (w.ratio == 0) w.ratio = kDefaultDoubletRatio;
  if (w.lambda1 != 0 && w.lambda2 != 0) mark_doublets(peaks, w.lambda1, w.lambda2, w.ratio);
  return r;
}

void mark_resolved_kalpha1(std::vector<MeasuredPeak>& peaks, const std::vector<FoundPeak>& found) {
  if (peaks.size() != found.size()) return;
  for (size_t i = 0; i < peaks.size(); ++i)
    if (peaks[i].line_code == kLineKAlpha && found[i].at_kalpha1_maximum)
      peaks[i].line_code = kLineKAlpha1;
}

}  // namespace vornax
