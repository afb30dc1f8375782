// Which X-ray line produced each peak of a search: Kα (unpaired), Kα1 / Kα2 of a
// doublet, or a contamination line (Kβ of the anode, tungsten Lα of the tube).
#pragma once

#include <vector>

#include "core/session.hpp"
#include "profile/peak_search.hpp"

namespace vornax {

// Line codes carried by every measured peak.
enum PeakLineCode : int {
  kLineUnclassified = 0,
  kLineKAlpha = 1,
  kLineKAlpha1 = 2,
  kLineKAlpha2 = 3,
  kLineKBeta = 4,   // contamination line L1
  kLineWLAlpha = 5, // contamination line L2
};

constexpr double kContaminationTolerance = 0.05;  // degrees 2θ
constexpr double kDoubletTolerance = 0.07;        // degrees 2θ
constexpr double kDefaultDoubletRatio = 0.5;

struct ContaminationLine {
  double lambda = 0;   // Å
  double percent = 0;  // relative strength
};

// 2θ of the reflection seen at `two_theta` with `lambda`, for `other_lambda`;
// false when no such angle exists (λ'/2d above 1, or an invalid input).
bool same_reflection_angle(double two_theta, double lambda, double other_lambda, double& out);

// Marks q as code `code` for every later peak p whose reflection, seen with the line's
// wavelength, falls within 0.05° of q while I_q / I_p < 3 × percent / 100. Peaks must
// be in ascending angle. Skips p when I_p ≤ 0 or the reflection has no angle.
void mark_contamination(std::vector<MeasuredPeak>& peaks, double lambda,
                        const ContaminationLine& line, int code);

// Kα1 / Kα2 pairing: a later peak j within 0.07° of where the Kα2 line of peak i's
// reflection falls, with |I_j / I_i - ratio| / ratio < 0.5, makes i code 2 and j code 3.
// Skipped entirely when λ2 ≤ λ1 (identical lines would pair any close neighbours) or
// ratio ≤ 0; per peak when I_i ≤ 0 or the Kα2 angle does not exist.
void mark_doublets(std::vector<MeasuredPeak>& peaks, double lambda1, double lambda2,
                   double ratio);

struct ClassificationResult {
  int contamination_line_count = 0;  // 1 when L1 was given and read, else 0
  bool bad_data = false;             // a given wavelength or its percentage is no number
};

// The whole classification: every peak code 1, the contamination lines read from
// their texts (stopping with bad_data on one that cannot be read), the Kβ and WLα
// marks, then the doublets. A ratio of 0 in `w` becomes 0.5 and stays so.
ClassificationResult classify_lines(std::vector<MeasuredPeak>& peaks, WavelengthSet& w,
                                    const ContaminationTexts& texts);

// After the classification: a peak left as Kα (no Kα2 partner found) that the search
// placed at the Kα1 maximum of a resolved doublet is a Kα1 line, so that keeping the
// Kα1 lines keeps it. `found` is the search's list the peaks were made from, in order.
void mark_resolved_kalpha1(std::vector<MeasuredPeak>& peaks, const std::vector<FoundPeak>& found);

}  // namespace vornax
