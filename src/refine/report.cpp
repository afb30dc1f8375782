#include "refine/report.hpp"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "core/format.hpp"

namespace vornax {

namespace {

const char* const kValuesHeader =
    "  Zero    Lambda      a       b       c      alpha  beta   gamma   volume";
const char* const kTableHeader = "    H    K    L    2Th(obs) 2Th_obs-shift 2Th(Calc)    diff.";

// The report lists the quantities in its own order: zero, lambda, a, b, c, alpha, beta,
// gamma (the volume follows as a ninth column).
constexpr PerQuantity<RefinedQuantity> kReportOrder = {
    RefinedQuantity::Shift, RefinedQuantity::Lambda, RefinedQuantity::A,     RefinedQuantity::B,
    RefinedQuantity::C,     RefinedQuantity::Alpha,  RefinedQuantity::Beta, RefinedQuantity::Gamma};

std::string key_text(int key) { return format_fixed(key, 8, 4); }

// Values line: zero 8:3, lambda 8:5, a b c 9:4, angles 7:2, volume 10:2.
std::string values_line(const RefinementProblem& p) {
  const CellParameters& c = p.direct;
  return format_fixed(p.P[kSlotShift] * kThetaRadToTwoThetaDeg, 8, 3) +
         format_fixed(2.0 * p.P[kSlotHalfLambda], 8, 5) + format_fixed(c.a, 9, 4) +
         format_fixed(c.b, 9, 4) + format_fixed(c.c, 9, 4) + format_fixed(c.alpha, 7, 2) +
         format_fixed(c.beta, 7, 2) + format_fixed(c.gamma, 7, 2) + format_fixed(p.volume, 10, 2);
}

// Correction of a measured θ by the shift slot, radians.
double correction_of(const RefinementProblem& p, const RefinementObservation& o) {
  return p.K[kSlotShift] == kKeyEccentricity ? p.P[kSlotShift] * std::cos(o.theta_obs)
                                             : p.P[kSlotShift];
}

// Index of the line that opens the final block, or lines.size() when there is none.
// The search starts below the title (line 4), which is the user's file name and could
// hold the words too.
constexpr size_t kReportHeadLines = 5;

size_t final_block_index(const std::vector<std::string>& lines) {
  size_t i = kReportHeadLines;
  while (i < lines.size() && lines[i].find("Final values") == std::string::npos) ++i;
  return std::min(i, lines.size());
}

// One CR LF-free line of whitespace-separated numbers, as the program reads them back.
bool numbers_of(const std::vector<std::string>& lines, size_t index, size_t wanted,
                std::vector<double>& out) {
  if (index >= lines.size()) return false;
  out = split_numbers(lines[index]);
  return out.size() >= wanted;
}

}  // namespace

TextFile refinement_input_text(const RefinementInput& in) {
  TextFile f;
  f.add(in.title);
  f.add(in.system);
  const double cell[6] = {in.cell.a, in.cell.b, in.cell.c, in.cell.alpha, in.cell.beta,
                          in.cell.gamma};
  for (int i = 0; i < 6; ++i)
    f.add(format_fixed(static_cast<float>(cell[i]), 8, 4) + key_text(in.cell_keys[i]));
  f.add(format_fixed(static_cast<float>(in.shift), 8, 4) + key_text(in.shift_key));
  // Six decimals: rounding the wavelength to four would shift every refined length by
  // up to 3e-5 relative, more than the standard error of good data.
  f.add(format_fixed(static_cast<float>(in.lambda), 8, 6) + key_text(in.lambda_key));
  for (const auto& pair : in.pairs)
    f.add(format_fixed(pair.h, 4, 0) + format_fixed(pair.k, 4, 0) + format_fixed(pair.l, 4, 0) +
          format_fixed(pair.two_theta_obs, 10, 4));
  return f;
}

std::string report_time_stamp() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M:%S", &tm);
  return buf;
}

void report_initial_part(TextFile& out, const RefinementProblem& p, const std::string& stamp) {
  out.add("VORNAX Version 3.  " + stamp);
  out.add(std::string(70, '-'));
  out.add("");
  out.add(p.title);
  out.add("");
  out.add("Initial values    : (Refinement keys on 2nd line)");
  out.add("--------------    :");
  out.add(kValuesHeader);
  out.add(values_line(p));
  out.add(format_fixed(p.K[kSlotShift], 4, 0) + format_fixed(p.K[kSlotHalfLambda], 7, 0) + " " +
          format_fixed(p.K[kSlotAStar], 9, 0) + format_fixed(p.K[kSlotBStar], 9, 0) +
          format_fixed(p.K[kSlotCStar], 9, 0) + "  " + format_fixed(p.K[kSlotAlphaStar], 7, 0) +
          format_fixed(p.K[kSlotBetaStar], 7, 0) + format_fixed(p.K[kSlotGammaStar], 7, 0));
}

void report_observation_table(TextFile& out, const RefinementProblem& p) {
  out.add("");
  out.add(kTableHeader);
  out.add("");
  double sum = 0;
  for (const auto& o : p.obs) {
    const double corr = correction_of(p, o);
    const double diff = (o.theta_obs - o.theta_calc) * kThetaRadToTwoThetaDeg;
    sum += diff * diff;
    out.add(format_int(o.h, 5) + format_int(o.k, 5) + format_int(o.l, 5) +
            format_fixed(o.theta_obs * kThetaRadToTwoThetaDeg, 11, 4) +
            format_fixed((o.theta_obs - corr) * kThetaRadToTwoThetaDeg, 13, 4) +
            format_fixed((o.theta_calc - corr) * kThetaRadToTwoThetaDeg, 11, 4) +
            format_fixed(diff, 11, 4));
  }
  const int n = p.count();
  const int dof = n - p.npar;
  out.add("");
  out.add("Sqrt(Sum(2Th O-C)**2)/(Nref-Npar)) : " +
          format_fixed(std::sqrt(sum / (dof > 0 ? dof : 1)), 6, 4));
  out.add("Sqrt(Sum(2Th O-C)**2)/Nref       ) : " +
          format_fixed(std::sqrt(sum / (n > 0 ? n : 1)), 6, 4));
}

void report_final_part(TextFile& out, const RefinementProblem& p, bool wavelength_refined,
                       double lambda_error, double volume_error) {
  out.add("");
  if (wavelength_refined) {
    out.add("");
    out.add("Warning");
    out.add("-------");
    out.add("");
    out.add("Refining both the wavelength and the cell dimensions at the same time");
    out.add("is dangerous because these parameters are strongly correlated.");
    out.add("");
    out.add("It is advisable to refine the wavelength only with a well known sample");
    out.add("");
  }
  out.add("Final values      : (Standard errors on 2nd line)");
  out.add("------------");
  out.add(kValuesHeader);
  out.add(values_line(p));
  const auto& E = p.E;
  out.add(format_fixed(E[kSlotShift] * kThetaRadToTwoThetaDeg, 8, 4) +
          format_fixed(2.0 * lambda_error, 8, 5) + format_fixed(E[kSlotAStar], 9, 4) +
          format_fixed(E[kSlotBStar], 9, 4) + format_fixed(E[kSlotCStar], 9, 4) + " " +
          format_fixed(E[kSlotAlphaStar], 7, 3) + format_fixed(E[kSlotBetaStar], 7, 3) +
          format_fixed(E[kSlotGammaStar], 7, 3) + format_fixed(volume_error, 9, 3));
  out.add("");
  report_observation_table(out, p);
}

ReportResults engine_results(const RefinementRun& run) {
  const RefinementProblem& p = run.problem;
  ReportResults r;
  r.zero_shift = p.P[kSlotShift] * kThetaRadToTwoThetaDeg;
  r.lambda = 2.0 * p.P[kSlotHalfLambda];
  r.cell = p.direct;
  r.errors[index_of(RefinedQuantity::Shift)] = p.E[kSlotShift] * kThetaRadToTwoThetaDeg;
  r.errors[index_of(RefinedQuantity::Lambda)] = 2.0 * run.lambda_error;
  for (int i = 0; i < 6; ++i) r.errors[static_cast<size_t>(i)] = p.E[i];
  for (const auto& o : p.obs) {
    const double corr = correction_of(p, o);
    ReportResults::Line line;
    line.h = o.h;
    line.k = o.k;
    line.l = o.l;
    line.two_theta_obs = o.theta_obs * kThetaRadToTwoThetaDeg;
    line.two_theta_shifted = (o.theta_obs - corr) * kThetaRadToTwoThetaDeg;
    line.two_theta_calc = (o.theta_calc - corr) * kThetaRadToTwoThetaDeg;
    r.lines.push_back(line);
  }
  r.eccentricity = p.K[kSlotShift] == kKeyEccentricity;
  return r;
}

std::optional<ReportResults> read_report_results(const std::vector<std::string>& lines,
                                                 int pairs) {
  size_t i = final_block_index(lines);
  if (i >= lines.size()) return std::nullopt;
  i += 3;  // past the heading, its underline and the column names
  ReportResults r;
  std::vector<double> v;
  if (!numbers_of(lines, i, 8, v)) return std::nullopt;
  r.zero_shift = v[0];
  r.lambda = v[1];
  r.cell = {v[2], v[3], v[4], v[5], v[6], v[7]};
  if (!numbers_of(lines, i + 1, 8, v)) return std::nullopt;
  for (size_t k = 0; k < kRefinedQuantities; ++k) r.errors[index_of(kReportOrder[k])] = v[k];
  i += 2 + 4;
  for (int n = 0; n < pairs; ++n, ++i) {
    if (!numbers_of(lines, i, 6, v)) return std::nullopt;
    ReportResults::Line line;
    line.h = static_cast<int>(std::lround(v[0]));
    line.k = static_cast<int>(std::lround(v[1]));
    line.l = static_cast<int>(std::lround(v[2]));
    line.two_theta_obs = v[3];
    line.two_theta_shifted = v[4];
    line.two_theta_calc = v[5];
    r.lines.push_back(line);
  }
  return r;
}

std::vector<std::string> excel_text(const std::vector<std::string>& report, int pairs,
                                    ShiftMode mode) {
  std::vector<std::string> out;
  auto line_at = [&](size_t n) { return n < report.size() ? report[n] : std::string(); };
  const std::array<std::string, 9> names = {
      mode == ShiftMode::SampleEccentricity ? " e/R(°)" : "  Zero",
      " Lambda", "   a", "   b", "   c", " alpha", " beta", " gamma", "  Vol."};
  // zero 7:2, lambda 7:5, a b c 7:4, angles 7:3, volume 7:1
  auto value_fields = [](const std::vector<double>& v, size_t count, int zero_decimals = 2) {
    const int decimals[9] = {zero_decimals, 5, 4, 4, 4, 3, 3, 3, 1};
    std::string s;
    for (size_t k = 0; k < count && k < v.size(); ++k) s += format_fixed(v[k], 7, decimals[k]) + "\t";
    return s;
  };

  out.push_back(line_at(0) + "\t");
  out.push_back(line_at(3) + "\t");
  out.push_back(line_at(5) + "\t");
  std::string header;
  for (size_t k = 0; k < 8; ++k) header += names[k] + "\t";
  out.push_back(header + names[8]);
  out.push_back(value_fields(split_numbers(line_at(8)), 9));
  std::string keys;
  for (double k : split_numbers(line_at(9))) keys += format_fixed(k, 5, 0) + "\t";
  out.push_back(keys);

  const size_t f = final_block_index(report);
  if (f >= report.size()) return out;  // a failed run: the report has no final block
  out.push_back(report[f] + "\t");
  out.push_back(header + names[8] + "\t");
  // A refined shift is a few hundredths of a degree: the shift and its error keep the
  // decimals that show the error's first two significant digits.
  const auto errors = split_numbers(line_at(f + 4));
  const int zero_decimals = decimals_for_error(errors.empty() ? 0.0 : errors[0], 2);
  out.push_back(value_fields(split_numbers(line_at(f + 3)), 9, zero_decimals));
  out.push_back(value_fields(errors, 8, zero_decimals));
  out.push_back("   H\t   K\t   L\t  2T(Obs)\t  2T-Zero\t  2Th(Cal)\t   Dif");
  for (int n = 0; n < pairs; ++n) {
    const auto v = split_numbers(line_at(f + 9 + static_cast<size_t>(n)));
    if (v.size() < 7) break;
    std::string s;
    for (int k = 0; k < 3; ++k) s += format_int(std::lround(v[k]), 4) + "\t";
    for (int k = 3; k < 7; ++k) s += format_fixed(v[k], 8, 4) + "\t";
    out.push_back(s);
  }
  return out;
}

}  // namespace vornax
