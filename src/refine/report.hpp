// The refinement's text files: the echo file vornax.inp, the report vornax.out with
// its reader, the trace mouchard, and the spreadsheet export Excel.txt.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/paths.hpp"
#include "core/session.hpp"
#include "core/text_file.hpp"
#include "refine/refinement.hpp"

namespace vornax {

// Fixed file names, in the working folder.
inline constexpr const char* kRefineInputFile = fixed_file_name(FixedFile::RefineInput);
inline constexpr const char* kRefineReportFile = fixed_file_name(FixedFile::RefineReport);
inline constexpr const char* kRefineTraceFile = fixed_file_name(FixedFile::Trace);
inline constexpr const char* kExcelFile = fixed_file_name(FixedFile::Excel);

// --- vornax.inp ---------------------------------------------------------------------

// What the refinement command hands to the engine.
struct RefinementInput {
  std::string title;          // the measured-peak file name, without folder
  std::string system;         // four-letter code
  CellParameters cell;        // single-precision copies
  std::array<int, 6> cell_keys{};  // a, b, c, alpha, beta, gamma: 0 or 1
  double shift = 0;           // degrees 2θ
  int shift_key = 0;          // 0, 1, or 2 in eccentricity mode
  double lambda = 0;          // Å
  int lambda_key = 0;
  std::vector<SelectedPair> pairs;
};

// Lines of vornax.inp: title, system, six cell lines "value 8:4, key 8:4", the shift
// line, the wavelength line (value 8:6: the typed wavelength reaches the refinement
// unrounded), then "h k l" as reals 4:0 and 2θ obs 10:4 per pair.
TextFile refinement_input_text(const RefinementInput& in);

// --- vornax.out ---------------------------------------------------------------------

// Line 1: "VORNAX Version 3.  " followed by the date and time.
std::string report_time_stamp();

// Report sections, appended to `out` as the engine reaches them. `stamp` is the date
// and time of line 1.
void report_initial_part(TextFile& out, const RefinementProblem& p, const std::string& stamp);
// The observation table of the current parameters and the two agreement lines.
void report_observation_table(TextFile& out, const RefinementProblem& p);
// The final part: wavelength warning when the wavelength was refined, the final
// values, their standard errors, the final table. `lambda_error` is the error of the
// half wavelength to print.
void report_final_part(TextFile& out, const RefinementProblem& p, bool wavelength_refined,
                       double lambda_error, double volume_error);

// What the refinement command reads back from vornax.out.
struct ReportResults {
  double zero_shift = 0;   // degrees 2θ
  double lambda = 0;
  CellParameters cell;
  PerQuantity<double> errors{};  // indexed by RefinedQuantity; shift in degrees 2θ
  struct Line { int h = 0, k = 0, l = 0; double two_theta_obs = 0, two_theta_shifted = 0,
                two_theta_calc = 0; };
  std::vector<Line> lines;  // the final table, as many as asked for
  bool eccentricity = false;  // the shift entered as shift · cos θ (engine results only)
};

// The same results straight from the engine, at full precision: what the report
// prints, before its rounding. The corrected angles follow the model the engine used
// (a fixed shift is always a constant).
ReportResults engine_results(const RefinementRun& run);

// Reads the final block of vornax.out: the first line below the title holding "Final
// values", two more lines, the values, the errors, four lines, then `pairs` table lines. Returns nothing
// when the file has no final block or a line does not hold its numbers.
std::optional<ReportResults> read_report_results(const std::vector<std::string>& lines, int pairs);

// --- Excel.txt ----------------------------------------------------------------------

// The tab-separated export built from the report's lines. `pairs` final-table lines are
// exported; the header of the shift column follows the shift mode.
std::vector<std::string> excel_text(const std::vector<std::string>& report_lines, int pairs,
                                    ShiftMode mode);

}  // namespace vornax
