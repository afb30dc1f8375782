#include "selection/measured.hpp"

#include <algorithm>
#include <cmath>

#include "core/cell.hpp"
#include "core/exchange_sort.hpp"
#include "core/format.hpp"

namespace vornax {

namespace {

const char* angle_header(const WorkSession& s) {
  return s.angle_mode == AngleMode::Theta ? "Theta" : "2Theta";
}

std::string angle_text_7_3(const WorkSession& s, double two_theta) {
  return format_fixed(angle_for_display(s, two_theta), 7, 3);
}

std::string area_text(double area) { return format_fixed(area, 8, 0); }

}  // namespace

double measured_d_spacing(double two_theta, double lambda) {
  return lambda / (2.0 * std::sin(two_theta * kMeasuredHalfDegToRad));
}

std::string hkl_text(int h, int k, int l) {
  return format_int(h, 3) + format_int(k, 3) + format_int(l, 3);
}

GridText prepare_measured_grid(const WorkSession& s, int row_count) {
  // Angle 7:3, d 8:4 (7:3 while typing), area 8:0, number up to 500.
  GridText g = empty_grid_text({52, 52, 43, 20}, {7, 8, 8, 3}, row_count);
  g.rows[0] = {angle_header(s), "Dhkl", "Area", "Nb."};
  return g;
}

MeasuredScan theta_to_dhkl(const std::vector<MeasuredGridRow>& rows,
                           const std::string& lambda_text, WorkSession& s, Messages& m,
                           bool lambda_edited) {
  MeasuredScan scan;
  // The wavelength is read before the list is touched: a refused wavelength leaves the
  // peaks as the grid shows them, so that the grid and the list never disagree.
  std::optional<double> lambda = s.wavelengths.lambda;
  if (!rows.empty()) {
    lambda = trim(lambda_text).empty()
                 ? std::optional<double>(0)
                 : read_shown_number(lambda_text, s.wavelengths.lambda, 5, lambda_edited);
    if (!lambda || *lambda < 0) {
      m.error("Error on Lambda");
      return scan;
    }
    if (*lambda == 0) {
      m.error("Type first the wavelength");
      return scan;
    }
    s.wavelengths.lambda = *lambda;
  }

  // What the grid showed before: a row left as it was keeps its peak untouched.
  const std::vector<MeasuredPeak> before = s.measured.peaks;
  auto& peaks = s.measured.peaks;
  peaks.clear();

  double largest = 0, smallest = 180;
  for (size_t i = 0; i < rows.size(); ++i) {
    const int r = static_cast<int>(i) + 1;

    const std::string angle = trim(rows[i].angle);
    if (angle.empty()) continue;
    const std::string row_error = "Error at  row," + std::to_string(r);

    if (static_cast<int>(peaks.size()) >= kMaxMeasuredPeaks) {
      m.error(kTooManyPeaksMessage);
      return scan;
    }

    std::string area = trim(rows[i].area);
    if (area.empty()) area = "100";

    if (i < before.size() && angle == trim(angle_text_7_3(s, before[i].two_theta)) &&
        area == trim(area_text(before[i].intensity))) {
      const MeasuredPeak& kept = before[i];
      peaks.push_back(kept);
      scan.rows.push_back({r, format_fixed(measured_d_spacing(kept.two_theta, *lambda), 7, 3),
                           std::to_string(r)});
      largest = std::max(largest, kept.two_theta);
      smallest = std::min(smallest, kept.two_theta);
      continue;
    }

    auto value = parse_typed(angle);
    // An angle outside 0..180 degrees 2θ, or so close to 0 that its d-spacing is
    // infinite, has no d-spacing; refuse it like a typing error.
    const double two_theta = value ? angle_from_entry(s, *value) : 0;
    if (!value || two_theta <= 0 || two_theta >= 180 ||
        !std::isfinite(measured_d_spacing(two_theta, *lambda))) {
      m.error(row_error);
      return scan;
    }
    MeasuredPeak peak;
    peak.two_theta = two_theta;
    peak.two_theta_read = two_theta;
    peaks.push_back(peak);
    scan.rows.push_back(
        {r, format_fixed(measured_d_spacing(two_theta, *lambda), 7, 3), std::nullopt});
    largest = std::max(largest, two_theta);
    smallest = std::min(smallest, two_theta);

    auto area_value = parse_typed(area);
    if (!area_value) {
      m.error(row_error);
      return scan;
    }
    peaks.back().intensity = *area_value;
    scan.rows.back().number = std::to_string(r);
  }

  // With no peak at all the scan's start values (180 and 0) would give an inverted
  // range; the range is left as it was.
  if (!peaks.empty()) {
    s.range_min = smallest - 2;
    s.range_max = largest + 2;
    s.measured.range_min = s.range_min;
    s.measured.range_max = s.range_max;
  }
  scan.ok = true;
  return scan;
}

void sort_measured_peaks(WorkSession& s) {
  exchange_sort(s.measured.peaks, [](const MeasuredPeak& a, const MeasuredPeak& b) {
    return a.two_theta > b.two_theta;
  });
}

GridText measured_grid_text(const WorkSession& s) {
  const int count = s.measured_count();
  GridText g = prepare_measured_grid(s, std::max(count + 3, kMeasuredGridMinRows));
  const double lambda = s.wavelengths.lambda;
  for (int n = 1; n <= count; ++n) {
    const MeasuredPeak& p = s.measured.peaks[static_cast<size_t>(n - 1)];
    auto& row = g.rows[static_cast<size_t>(n)];
    row[0] = angle_text_7_3(s, p.two_theta);
    row[1] = format_fixed(measured_d_spacing(p.two_theta, lambda), 8, 4);
    row[2] = area_text(p.intensity);
    row[3] = std::to_string(n);
  }
  return g;
}

std::string lambda_box_text(const WorkSession& s) {
  return format_fixed(s.wavelengths.lambda, 8, 5);
}

GridText show_measured_for_selection(const WorkSession& s) {
  const int count = s.measured_count();
  GridText g = empty_grid_text({24, 49, 49}, {3, 8, 8}, std::max(count + 1, kSelectionListMinRows));
  g.rows[0] = {"Nb", "Dhkl", angle_header(s)};
  const double lambda = s.wavelengths.lambda;
  for (int n = 1; n <= count; ++n) {
    const MeasuredPeak& p = s.measured.peaks[static_cast<size_t>(n - 1)];
    auto& row = g.rows[static_cast<size_t>(n)];
    row[0] = std::to_string(n);
    row[1] = format_fixed(measured_d_spacing(p.two_theta, lambda), 8, 4);
    row[2] = format_fixed(angle_for_display(s, p.two_theta), 8, 3);
  }
  return g;
}

GridText show_calculated_for_selection(const WorkSession& s) {
  const int count = s.allowed_count();
  GridText g = empty_grid_text({70, 49, 49}, {9, 7, 8}, std::max(count + 1, kSelectionListMinRows));
  g.rows[0] = {"h   k   l", "Dhkl", angle_header(s)};
  for (int n = 1; n <= count; ++n) {
    const CalculatedReflection& c = s.allowed[static_cast<size_t>(n - 1)];
    auto& row = g.rows[static_cast<size_t>(n)];
    row[0] = hkl_text(c.h, c.k, c.l);
    row[1] = format_fixed(c.d, 7, 4);
    row[2] = format_fixed(angle_for_display(s, c.two_theta), 8, 3);
  }
  return g;
}

std::optional<MeasuredDisplay> show_measured_list(WorkSession& s) {
  if (s.measured.peaks.empty()) return std::nullopt;
  sort_measured_peaks(s);
  MeasuredDisplay d;
  d.grid = measured_grid_text(s);
  d.lambda_text = lambda_box_text(s);
  d.selection_grid = show_measured_for_selection(s);
  return d;
}

}  // namespace vornax
