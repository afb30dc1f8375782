#include "core/wavelength.hpp"

#include <cmath>

#include "core/format.hpp"
#include "core/tolerance.hpp"

namespace vornax {

void fill_lines_from_anode(WavelengthSet& w) {
  const bool known = !w.anode.empty() && w.anode != "?";
  if (!(w.lambda1 == 0 || (w.lambda2 == 0 && known))) return;
  const std::string up = to_upper(trim(w.anode));
  for (const auto& row : AnodeLineTable) {
    if (up == to_upper(row.anode)) {
      w.lambda1 = row.lambda1;
      w.lambda2 = row.lambda2;
      if (w.ratio == 0) w.ratio = kDefaultRatio;
      return;
    }
  }
}

void complete_wavelength_set(WavelengthSet& w) {
  fill_lines_from_anode(w);
  if (w.ratio == -1) w.ratio = kDefaultRatio;
  if (w.lambda == 0 && w.lambda1 > 0) {
    w.lambda = w.lambda2 == 0 ? w.lambda1 : (w.ratio * w.lambda2 + w.lambda1) / (w.ratio + 1);
  }
}

void complete_peak_wavelength(WavelengthSet& w) {
  if (w.lambda == 0) w.lambda = w.lambda1 != 0 ? w.lambda1 : w.lambda2;
}

std::string name_anode(double lambda, double tolerance) {
  if (lambda > 0) {
    for (const auto& row : AnodeTable)
      if (below_tolerance(std::fabs(lambda - row.lambda), tolerance)) return std::string(row.anode);
  }
  return "?";
}

void name_anode_if_unknown(WavelengthSet& w, double tolerance) {
  // Files pad the two-character field with blanks or NULs.
  w.anode = trim(w.anode.substr(0, 2));
  if (w.anode.empty() || w.anode == "?") w.anode = name_anode(w.lambda, tolerance);
}

bool wavelengths_differ(double peaks_lambda, double profile_lambda) {
  return peaks_lambda != 0 && profile_lambda != 0 &&
         !within_tolerance(std::fabs(peaks_lambda - profile_lambda), kWavelengthConsistency);
}

void choose_source(SourceChoice& c, int index) {
  if (index < 0 || index >= static_cast<int>(kSourceChoices.size())) return;
  c.chosen = index;
  c.lambda_visible = true;
  if (index < static_cast<int>(AnodeLineTable.size())) {
    // The list and both tables share their order.
    const auto& lines = AnodeLineTable[static_cast<size_t>(index)];
    c.lines_visible = true;
    c.anode = std::string(lines.anode);
    c.lambda1_text = format_fixed(lines.lambda1, 8, 5);
    c.lambda2_text = format_fixed(lines.lambda2, 8, 5);
    c.lambda_text = format_fixed(AnodeTable[static_cast<size_t>(index)].lambda, 8, 5);
  } else {
    c.lines_visible = false;
    c.anode = "Xx";
    c.lambda1_text = "0";
    c.lambda2_text = "0";
  }
}

SourceResult accept_source(const SourceChoice& c) {
  SourceResult r;
  const auto lambda = parse_typed(c.lambda_text);
  if (!lambda || !(*lambda > 0)) {
    r.error = "Lambda error!";
    return r;
  }
  const auto l1 = parse_typed(trim(c.lambda1_text).empty() ? "0" : c.lambda1_text);
  if (!l1 || *l1 < 0) {
    r.error = "Lambda1 error!";
    return r;
  }
  const auto l2 = parse_typed(trim(c.lambda2_text).empty() ? "0" : c.lambda2_text);
  if (!l2 || *l2 < 0) {
    r.error = "Lambda2 error!";
    return r;
  }
  WavelengthSet w;
  w.lambda = *lambda;
  w.lambda1 = *l1;
  w.lambda2 = *l2;
  w.ratio = kDefaultRatio;
  w.anode = c.anode;
  if (c.chosen < 0) {
    w.lambda1 = w.lambda2 = 0;
    w.anode = "?";
    w.ratio = 1.0;
  }
  r.set = w;
  return r;
}

}  // namespace vornax
