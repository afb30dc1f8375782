#include "commands/refine_tab.hpp"

#include "refine/figures_of_merit.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <system_error>

#include "core/cell.hpp"
#include "core/cell_entry.hpp"
#include "core/format.hpp"
#include "core/paths.hpp"
#include "core/text_file.hpp"
#include "refine/least_squares.hpp"

namespace vornax {

namespace {

// The run takes its values as single-precision copies.
bool fits_single(double v) { return std::isfinite(static_cast<float>(v)); }

double half_if_theta(const WorkSession& s) { return s.angle_mode == AngleMode::Theta ? 0.5 : 1.0; }

// The refined angles of pair i (degrees 2θ): the engine's full-precision values when
// the pair was refined, else the pair's own single-precision copies.
double refined_obs(const WorkSession& s, size_t i) {
  return i < s.results.obs_shifted.size() ? s.results.obs_shifted[i]
                                          : s.selected[i].two_theta_obs_shifted;
}
double refined_calc(const WorkSession& s, size_t i) {
  return i < s.results.calc.size() ? s.results.calc[i] : 2.0 * s.selected[i].theta_calc_refined;
}

// Difference shown in the "After refinement" grid and summed by its deviation box.
double after_difference(const WorkSession& s, size_t i) {
  return (refined_obs(s, i) - refined_calc(s, i)) * half_if_theta(s);
}

}  // namespace

const char* weight_mode_name(WeightMode mode) { return mode == WeightMode::Fitted ? "fitted" : "unit"; }

std::optional<WeightMode> weight_mode_from_name(const std::string& name) {
  if (name == "unit") return WeightMode::Unit;
  if (name == "fitted") return WeightMode::Fitted;
  return std::nullopt;
}

std::string missing_sigma_message(int missing) {
  return std::to_string(missing) + (missing == 1 ? " pair has" : " pairs have") +
         " no fitted error: fit the peaks (search --fit) or use --weights unit";
}

std::string weighting_status_text(const RefinementProblem& p) {
  if (p.weighting != WeightMode::Fitted) return std::string();
  return "weighting: fitted (sigma floor " + sigma_floor_text(p.sigma_floor) + "°), goodness of fit " +
         format_fixed(p.goodness_of_fit, 0, 2);
}

int count_keys(const RefinementInput& in) {
  int n = 0;
  for (int k : in.cell_keys) n += k != 0;
  n += in.shift_key != 0;
  n += in.lambda_key != 0;
  return n;
}

std::optional<RefinementInput> collect_refine_inputs(WorkSession& s, const RefineInputs& in,
                                                     Messages& m) {
  if (s.selected.empty()) {
    show_message(m, "No selected reflections!");
    return std::nullopt;
  }
  RefinementInput r;
  r.title = file_name_only(s.measured.file_name);
  r.system = s.system;
  r.cell = {static_cast<float>(s.cell.a),     static_cast<float>(s.cell.b),
            static_cast<float>(s.cell.c),     static_cast<float>(s.cell.alpha),
            static_cast<float>(s.cell.beta),  static_cast<float>(s.cell.gamma)};
  // A wavelength that is not above 0 has no Bragg angles, and one beyond the range of
  // the single-precision copy cannot reach the refinement: refused like typing errors.
  const auto lambda = read_shown_number(in.lambda_text, s.wavelengths.lambda, 5, in.lambda_edited);
  if (!lambda || !(*lambda > 0) || !fits_single(*lambda)) {
    show_message(m, "Error on Lambda!");
    return std::nullopt;
  }
  s.wavelengths.lambda = *lambda;
  r.lambda = static_cast<float>(s.wavelengths.lambda);
  const auto shift = parse_typed(in.shift_text);
  if (!shift || !fits_single(*shift)) {
    show_message(m, "Error on Angular Shift!");
    return std::nullopt;
  }
  r.shift = static_cast<float>(*shift);
  for (size_t i = 0; i < kCellQuantities; ++i) r.cell_keys[i] = s.refine_checked[i] ? 1 : 0;
  r.shift_key = s.refine_checked[index_of(RefinedQuantity::Shift)]
                    ? (s.shift_mode == ShiftMode::SampleEccentricity ? 2 : 1)
                    : 0;
  r.lambda_key = s.refine_checked[index_of(RefinedQuantity::Lambda)] ? 1 : 0;
  const int npar = count_keys(r);
  s.results.npar = npar;
  if (s.selected_count() < npar + 1) {
    show_message(m, "Nb of selected reflections too low");
    return std::nullopt;
  }
  // The input file gives each index four characters with no blank between fields, so
  // an index outside -999 .. 999 would run into its neighbour and be read back wrong.
  for (size_t i = 0; i < s.selected.size(); ++i) {
    const SelectedPair& p = s.selected[i];
    for (int32_t index : {p.h, p.k, p.l})
      if (index < -999 || index > 999) {
        show_message(m, "Reflection " + std::to_string(i + 1) + " (" + std::to_string(p.h) + " " +
                            std::to_string(p.k) + " " + std::to_string(p.l) +
                            "): indices must lie within -999 .. 999 to be written to " +
                            fixed_file_name(FixedFile::RefineInput));
        return std::nullopt;
      }
  }
  r.pairs = s.selected;
  return r;
}


void apply_report_results(WorkSession& s, const ReportResults& r) {
  s.results.refined = true;
  s.results.cell = r.cell;
  s.results.zero_shift = r.zero_shift;
  s.results.lambda = r.lambda;
  s.results.errors = r.errors;
  s.results.eccentricity = r.eccentricity;
  s.results.obs_shifted.clear();
  s.results.calc.clear();
  // The corrected angles are the engine's own (its shift model, its precision): a fixed
  // shift entered the fit as a constant even in eccentricity mode.
  for (size_t i = 0; i < s.selected.size() && i < r.lines.size(); ++i) {
    SelectedPair& p = s.selected[i];
    p.theta_calc_refined = static_cast<float>(r.lines[i].two_theta_calc / 2.0);
    p.two_theta_obs_shifted = static_cast<float>(r.lines[i].two_theta_shifted);
    s.results.obs_shifted.push_back(r.lines[i].two_theta_shifted);
    s.results.calc.push_back(r.lines[i].two_theta_calc);
  }
}

void record_quality(WorkSession& s, const RefinementProblem& problem) {
  const RefinementQuality q = refinement_quality(s, problem);
  s.results.suspect.assign(s.selected.size(), false);
  if (q.diagnostics.available)
    for (size_t i = 0; i < q.diagnostics.pairs.size() && i < s.selected.size(); ++i)
      s.results.suspect[i] = q.diagnostics.pairs[i].flagged;
  const FiguresOfMerit& f = q.figures;
  s.results.figures_of_merit =
      f.valid ? "M" + std::to_string(f.m_lines) + " =" + format_fixed(f.m20, 7, 1) + "   F" +
                    std::to_string(f.f_lines) + " =" + format_fixed(f.f_n, 7, 1) + " (" +
                    format_fixed(f.mean_abs_delta_two_theta, 0, 4) + ", " +
                    std::to_string(f.possible_lines_f) + ")   X" + std::to_string(f.m_lines) +
                    " = " + std::to_string(f.x20)
              : "No figures of merit: " + f.note;
}

RefineOutcome refine_pairs(WorkSession& s, const RefineInputs& in, Messages& m) {
  RefineOutcome out;
  auto input = collect_refine_inputs(s, in, m);
  if (!input) return out;
  if (in.weights == WeightMode::Fitted) {
    // Refused before anything is written, like the other input errors.
    const auto missing = std::count_if(s.selected.begin(), s.selected.end(), [](const SelectedPair& p) {
      return !(p.sigma > 0) || !std::isfinite(p.sigma);
    });
    if (missing > 0) {
      show_message(m, missing_sigma_message(static_cast<int>(missing)));
      return out;
    }
  }
  for (auto& p : s.selected) p.two_theta_obs_shifted = 0;
  try {
    const TextFile echo = refinement_input_text(*input);
    if (in.files) echo.save(in_working_folder(s, kRefineInputFile));
    out.before_grid = before_refinement_grid(s);
    out.before_deviation = deviation_before_text(s);
    RefinementProblem problem = in.files
                                    ? load_refinement_problem(in_working_folder(s, kRefineInputFile))
                                    : load_refinement_problem(echo.lines, kRefineInputFile);
    if (in.weights == WeightMode::Fitted) {
      // The echo lists the pairs in order: observation i is pair i.
      std::vector<double> sigma;
      for (size_t i = 0; i < problem.obs.size() && i < s.selected.size(); ++i)
        sigma.push_back(s.selected[i].sigma);
      if (const int missing = apply_fitted_weights(problem, sigma, in.sigma_floor)) {
        show_message(m, missing_sigma_message(missing));
        out.status = RefineStatus::FileFailed;
        return out;
      }
    }
    // In memory (no folder) neither the report nor the trace is written; the values are
    // those of a run through the files.
    out.run = run_refinement(std::move(problem), in.files ? s.working_folder : std::filesystem::path{}, m);
  } catch (const FileError& e) {
    m.error(e.what());
    out.status = RefineStatus::FileFailed;
    return out;
  }
  if (out.run.failed) {
    out.status = RefineStatus::Singular;
    return out;
  }
  // The session keeps the engine's values; vornax.out holds them rounded for reading.
  apply_report_results(s, engine_results(out.run));
  record_quality(s, out.run.problem);
  s.results.volume_initial = out.run.initial_volume;
  s.results.volume_refined = out.run.final_volume;
  s.results.volume_error = out.run.volume_error;
  out.status = RefineStatus::Refined;
  return out;
}

namespace {

// The pair the user clicked, shown highlighted in both grids.
void highlight_pair(const WorkSession& s, GridText& g) {
  g.styles.assign(g.rows.size(), RowStyle::Plain);
  const int row = s.highlighted_pair;  // 1-based: the grid's row number
  if (row >= 1 && row <= s.selected_count()) g.styles[static_cast<size_t>(row)] = RowStyle::Highlighted;
}

}  // namespace

GridText before_refinement_grid(const WorkSession& s) {
  const int rows = std::max(kBeforeGridRows, s.selected_count() + 1);
  GridText g = empty_grid_text({kBeforeGridFirstWidth, 0, 0, kBeforeGridFourthWidth, 0, 0},
                               {2, 9, 8, 8, 8, 8}, rows);
  const bool theta = s.angle_mode == AngleMode::Theta;
  g.rows[0] = {"Nb.", "h   k   l", theta ? "T Obs" : "2T Obs", theta ? "TObs-shift" : "2TObs-shift",
               theta ? "T Calc" : "2T Calc", "Diff."};
  const double f = half_if_theta(s);
  for (int i = 0; i < s.selected_count(); ++i) {
    const SelectedPair& p = s.selected[static_cast<size_t>(i)];
    auto& row = g.rows[static_cast<size_t>(i) + 1];
    row[0] = format_int(i + 1, 2);
    row[1] = format_int(p.h, 3) + format_int(p.k, 3) + format_int(p.l, 3);
    row[2] = format_fixed(p.two_theta_obs * f, 8, 3);
    row[3] = format_fixed(p.two_theta_obs * f, 8, 3);
    row[4] = format_fixed(p.two_theta_calc * f, 8, 3);
    row[5] = format_fixed((double(p.two_theta_obs) - p.two_theta_calc) * f, 8, 4);
  }
  highlight_pair(s, g);
  return g;
}

GridText after_refinement_grid(const WorkSession& s) {
  const int rows = std::max(kAfterGridMinRows, s.selected_count() + 1);
  GridText g = empty_grid_text({kAfterGridFirstWidth, 0, kAfterGridThirdWidth, 0, 0},
                               {3, 6, 8, 8, 8}, rows);
  const bool theta = s.angle_mode == AngleMode::Theta;
  g.rows[0] = {"No.", "h k l", theta ? "TObs-shift" : "2TObs-shift", theta ? "TCalc" : "2TCalc",
               "Dif."};
  highlight_pair(s, g);
  // Until a refinement succeeded there are no refined angles to show.
  if (!s.results.refined) return g;
  const double f = half_if_theta(s);
  for (size_t i = 0; i < s.selected.size(); ++i) {
    const SelectedPair& p = s.selected[i];
    auto& row = g.rows[i + 1];
    row[0] = format_int(static_cast<long long>(i) + 1, 1);
    row[1] = format_int(p.h, 2) + format_int(p.k, 2) + format_int(p.l, 2);
    row[2] = format_fixed(refined_obs(s, i) * f, 8, 3);
    row[3] = format_fixed(refined_calc(s, i) * f, 8, 3);
    row[4] = format_fixed(after_difference(s, i), 8, 4);
    if (i < s.results.suspect.size() && s.results.suspect[i] &&
        g.style(static_cast<int>(i) + 1) == RowStyle::Plain)
      g.styles[i + 1] = RowStyle::Suspect;
  }
  return g;
}

std::string deviation_before_text(const WorkSession& s) {
  const int n = s.selected_count();
  if (n - s.results.npar < 1) return "";
  const double f = half_if_theta(s);
  double sum = 0;
  for (const auto& p : s.selected) {
    const double d = (double(p.two_theta_obs) - p.two_theta_calc) * f;
    sum += d * d;
  }
  return format_fixed(std::sqrt(sum / n), 8, 5);
}

std::string deviation_after_text(const WorkSession& s) {
  const int n = s.selected_count();
  if (!s.results.refined || n - s.results.npar < 1) return "";
  double sum = 0;
  for (size_t i = 0; i < s.selected.size(); ++i) {
    const double d = after_difference(s, i);
    sum += d * d;
  }
  return format_fixed(std::sqrt(sum / n), 8, 5);
}

ResultBoxes result_box_texts(const WorkSession& s) {
  ResultBoxes b;
  const RefinementResults& r = s.results;
  const CellParameters& c = r.cell;
  const auto e = [&](RefinedQuantity q) { return r.errors[index_of(q)]; };
  using enum RefinedQuantity;
  // A non-zero error never shows as zero: the box takes the decimals that show its
  // first two significant digits. The refined value is shown to the same decimal, so
  // that it says as much as its error allows, no more and no less.
  const auto sigma = [](double v, int width, int decimals) {
    return format_fixed(v, width, decimals_for_error(v, decimals));
  };
  const auto value = [](double v, double error, int width, int decimals) {
    return format_fixed(v, width, decimals_for_error(error, decimals));
  };
  // A value the crystal system ties to a (b, c) or to alpha (beta, gamma) is that value,
  // and is shown to the same decimal.
  const std::array<bool, 6> tied = apply_system_layout(s.system, {}).tied;
  const auto master = [&](size_t field, RefinedQuantity own, RefinedQuantity to) {
    return tied[field] ? e(to) : e(own);
  };
  b.refined = {value(c.a, e(A), 9, 4),
               value(c.b, master(1, B, A), 9, 4),
               value(c.c, master(2, C, A), 9, 4),
               value(c.alpha, e(Alpha), 8, 3),
               value(c.beta, master(4, Beta, Alpha), 8, 3),
               value(c.gamma, master(5, Gamma, Alpha), 8, 3),
               value(r.zero_shift * half_if_theta(s), e(Shift), 8, 6),
               value(r.lambda, e(Lambda), 8, 5), value(r.volume_refined, r.volume_error, 12, 2)};
  b.sigmas = {sigma(e(A), 8, 4),     sigma(e(B), 8, 4),     sigma(e(C), 8, 4),
              sigma(e(Alpha), 8, 3), sigma(e(Beta), 8, 3),  sigma(e(Gamma), 8, 3),
              sigma(e(Shift), 8, 6), sigma(e(Lambda), 8, 5), sigma(r.volume_error, 12, 4)};
  b.initial_volume = format_fixed(r.volume_initial, 12, 2);
  return b;
}

InitialBoxes initial_box_texts(const WorkSession& s) {
  InitialBoxes b;
  const CellParameters& c = s.cell;
  b.cell = {format_fixed(c.a, 9, 4),    format_fixed(c.b, 9, 4),    format_fixed(c.c, 9, 4),
            format_fixed(c.alpha, 8, 3), format_fixed(c.beta, 8, 3), format_fixed(c.gamma, 8, 3)};
  b.lambda = format_fixed(s.wavelengths.lambda, 8, 5);
  const double v = cell_volume(c);
  if (v > 0 && std::isfinite(v)) b.volume = format_fixed(v, 12, 2);
  return b;
}

std::vector<std::string> refined_value_summary(const WorkSession& s) {
  const RefinementResults& r = s.results;
  if (!r.refined) return {};
  using enum RefinedQuantity;
  const bool eccentric = s.shift_mode == ShiftMode::SampleEccentricity;
  struct Row { const char* name; double value; RefinedQuantity q; };
  const Row rows[] = {{"a", r.cell.a, A},          {"b", r.cell.b, B},
                      {"c", r.cell.c, C},          {"alpha", r.cell.alpha, Alpha},
                      {"beta", r.cell.beta, Beta}, {"gamma", r.cell.gamma, Gamma},
                      {eccentric ? "e/R (deg)" : "zero (2Theta)", r.zero_shift, Shift},
                      {"lambda", r.lambda, Lambda}};
  std::vector<std::string> out = {"Refined values (standard errors in parentheses)"};
  auto line = [](std::string name, double value, double error) {
    name.resize(std::max<size_t>(name.size(), 13), ' ');
    return name + " = " + with_uncertainty(value, error);
  };
  for (const Row& row : rows) {
    const double e = r.errors[index_of(row.q)];
    if (e > 0) out.push_back(line(row.name, row.value, e));
  }
  out.push_back(line("volume", r.volume_refined, r.volume_error));
  return out;
}

ShiftLabel shift_row_label(const WorkSession& s) {
  if (s.shift_mode == ShiftMode::SampleEccentricity) return {"e/R(°)", false};
  return {s.angle_mode == AngleMode::Theta ? "Dq" : "2Dq", true};
}

ParameterExchange adopt_refined_values(WorkSession& s) {
  ParameterExchange x;
  // Without a successful run there are no refined values: adopting them would replace
  // the cell by zeros.
  if (s.selected.empty() || !s.results.refined) return x;
  const RefinementResults& r = s.results;
  s.refined_shift = r.zero_shift;
  s.wavelengths.lambda = r.lambda;
  x.current_lambda_text = trim(format_fixed(r.lambda, 8, 5));
  s.cell = r.cell;
  for (auto& p : s.measured.peaks)
    // The engine's model: a fixed shift was a constant whatever the mode.
    p.two_theta -= shift_correction(
        r.eccentricity ? ShiftMode::SampleEccentricity : ShiftMode::ConstantZeroShift,
        r.zero_shift, p.two_theta);
  s.selected.clear();
  // Adopted: the emptied Refined boxes stay empty, and the peaks are not corrected twice.
  s.results.refined = false;
  x.done = true;
  return x;
}

ParameterExchange restore_initial_cell(WorkSession& s) {
  ParameterExchange x;
  s.cell = s.initial_cell;
  s.refined_shift = 0;
  // Back to the angle as read; the diagram's zero offset, applied by the user on
  // purpose, stays applied.
  for (auto& p : s.measured.peaks) p.two_theta = p.two_theta_read + s.measured.zero_offset;
  s.selected.clear();
  s.results.refined = false;
  x.done = true;
  return x;
}

std::optional<std::vector<std::string>> export_excel(const WorkSession& s, Messages& m) {
  const auto report = in_working_folder(s, kRefineReportFile);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(report, ec)) {
    show_message(m, "No results");
    return std::nullopt;
  }
  auto lines = excel_text(read_text_lines(report), s.selected_count(), s.shift_mode);
  delete_file_nocase(s.working_folder, kExcelFile);
  TextFile f;
  f.lines = lines;
  f.save(in_working_folder(s, kExcelFile));
  return lines;
}

}  // namespace vornax
