// vornax-cli plot: the diagram window's drawing without a window. Loads a profile and a
// peak file, runs "Calc." and "Auto Sel." (and the refinement with --refine), then
// paints the diagram with the viewer's own redraw through the picture renderer module,
// which writes it as PNG (an image) or as SVG or PDF (vector drawings). Result files of
// the refinement are left in the current folder.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cell_tab_args.hpp"
#include "cli/cli_profile_load.hpp"
#include "cli/commands.hpp"
#include "cli/output_files.hpp"
#include "cli/option_checks.hpp"
#include "cli/run_folder.hpp"
#include "cli/subcommands.hpp"
#include "cli/peak_loading.hpp"
#include "cli/plot_renderer_loader.hpp"
#include "cli/stderr_messages.hpp"
#include "commands/calculation.hpp"
#include "commands/refine_tab.hpp"
#include "commands/refinement_road.hpp"
#include "core/format.hpp"
#include "commands/diagram_commands.hpp"

namespace vornax::cli {

namespace {

// Images larger than this would take gigabytes; smaller ones hold no diagram.
constexpr int kMaxPlotSide = 20000;
// Each side may be long, but not both: the image is drawn in memory, 4 bytes a pixel.
constexpr long long kMaxPlotPixels = 25'000'000;
constexpr int kMinPlotWidth = kMinImageWidth * 4;
constexpr int kMinPlotHeight = kDiagramBottomMargin + 20;

struct PlotArgs {
  CellTabArgs tab;
  std::string profile, peaks, out;
  std::optional<PeakFileType> peak_type;
  std::string tolerance = "0.1";
  std::optional<std::string> keys;  // --refine list
  bool eccentricity = false;
  bool force = false;
  std::string shift = "0";
  int width = 1020, height = 300;
  std::string work;  // --work: the folder of the run's files instead of the current one
};

}  // namespace

std::string plot_usage() {
  return std::string() + "vornax-cli plot [--profile FILE] [--peaks FILE] " + kCellTabUsage + "\n" + "         [--tolerance T] [--peak-type N] [--refine a,b,c,alpha,beta,gamma,shift,lambda]\n"
               "         [--eccentricity] [--shift V] --out FILE.png|FILE.svg|FILE.pdf [--size W H] [--force]\n"
               "         [--work DIR]\n"
               "  draws the diagram window's picture: profile, measured and calculated bars, the\n"
               "  pairs of the automatic selection and, after --refine, the obs-calc differences\n";
}

namespace {

int usage_error(const std::string& why) { return cli::usage_error("plot", why); }

std::optional<int> parse_side(const std::string& text) {
  const auto v = parse_integer(text);
  if (!v || *v < 1 || *v > kMaxPlotSide) return std::nullopt;
  return static_cast<int>(*v);
}

std::optional<std::string> parse_args(const std::vector<std::string>& args, PlotArgs& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string error;
    switch (take_cell_tab_option(args, i, out.tab, error)) {
      case OptionTaken::Taken: continue;
      case OptionTaken::MissingValue: return error;
      case OptionTaken::NotMine: break;
    }
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--profile" || a == "--peaks" || a == "--out" || a == "--tolerance" ||
        a == "--refine" || a == "--shift" || a == "--peak-type") {
      if (!has_value) return a + " needs a value";
      const std::string& v = args[++i];
      if (a == "--profile") out.profile = v;
      else if (a == "--peaks") out.peaks = v;
      else if (a == "--out") out.out = v;
      else if (a == "--tolerance") out.tolerance = v;
      else if (a == "--refine") out.keys = v;
      else if (a == "--shift") out.shift = v;
      else {
        const auto n = parse_integer(v);
        out.peak_type = n ? peak_file_type_from_int(static_cast<int>(*n)) : std::nullopt;
        if (!out.peak_type) return "--peak-type must be 1 to 7";
      }
      if (a == "--tolerance") {
        if (auto e = tolerance_error(v)) return e;
      } else if (a == "--refine") {
        if (auto e = refine_list_error(v)) return e;
      }
    } else if (a == "--size") {
      if (i + 2 >= args.size()) return "--size needs a width and a height";
      const auto w = parse_side(args[++i]);
      const auto h = parse_side(args[++i]);
      if (!w || !h || *w < kMinPlotWidth || *h < kMinPlotHeight)
        return "--size must be at least " + std::to_string(kMinPlotWidth) + " x " +
               std::to_string(kMinPlotHeight) + " and at most " + std::to_string(kMaxPlotSide);
      if (static_cast<long long>(*w) * *h > kMaxPlotPixels)
        return "--size " + std::to_string(*w) + " " + std::to_string(*h) +
               " is above 25 megapixels";
      out.width = *w;
      out.height = *h;
    } else if (a == "--eccentricity") {
      out.eccentricity = true;
    } else if (a == "--force") {
      out.force = true;
    } else if (a == "--work") {
      if (!has_value) return "--work needs a folder";
      out.work = args[++i];
      if (auto e = work_folder_error(out.work)) return e;
    } else {
      return "unknown argument " + a;
    }
  }
  if (out.out.empty()) return "--out is missing";
  if (out.keys && out.peaks.empty()) return "--refine needs --peaks";
  if (auto missing = missing_cell_tab_option(out.tab)) return missing;
  return cell_tab_value_error(out.tab);
}


using OutputKind = PlotKind;

std::optional<OutputKind> output_kind(const std::string& file) {
  const std::string ext = upper_extension(file);
  if (ext == ".PNG") return OutputKind::Png;
  if (ext == ".PDF") return OutputKind::Pdf;
  if (ext == ".SVG") return OutputKind::Svg;
  return std::nullopt;
}

void paint_diagram(Canvas& canvas, const void* session) {
  DiagramView view;
  draw_diagram(canvas, *static_cast<const WorkSession*>(session), view);
}

// The diagram of `s`, written by the renderer module; false after telling why.
bool write_picture(const WorkSession& s, const PlotArgs& a, OutputKind kind) {
  const LoadedPlotRenderer renderer = load_plot_renderer();
  if (!renderer.render) {
    std::cerr << "plot: " << renderer.error << '\n';
    return false;
  }
  PlotRequest request;
  request.width = a.width;
  request.height = a.height;
  request.path = a.out.c_str();
  request.kind = kind;
  request.paint = paint_diagram;
  request.context = &s;
  char error[1024] = {};
  if (renderer.render(&request, error, sizeof error)) return true;
  std::cerr << "plot: " << error << '\n';
  return false;
}

int run(const PlotArgs& a) {
  const auto kind = output_kind(a.out);
  if (!kind) return usage_error("--out must end in .png, .svg or .pdf");
#ifndef VORNAX_HAVE_SVG
  if (*kind == OutputKind::Svg) {
    std::cerr << "plot: this vornax-cli was built without SVG support (Qt Svg); write .png or .pdf\n";
    return kExitFailed;
  }
#endif
  // The run leaves the refinement's result files in the current folder.
  if (refuse_program_files({a.profile, a.peaks, a.tab.cell_file.native()})) return kExitFailed;
  if (!output_allowed(a.out, {a.profile, a.peaks, a.tab.cell_file.native()}, a.force)) return kExitFailed;
  StderrMessages m;
  WorkSession s;
  CellTab tab;
  const RunFolder folder(a.work, false);
  const SessionStart start = session_start(a.tab, folder.path());
  if (!start_session(s, tab, start, m)) return kExitFailed;
  const auto lambda = parse_typed(a.tab.lambda);
  const std::optional<double> typed_lambda =
      lambda && *lambda > 0 ? lambda : std::optional<double>{};

  if (!a.profile.empty()) {
    if (!load_profile_for_cli(s, m, a.profile, std::nullopt, typed_lambda)) return kExitFailed;
  }
  if (!a.peaks.empty() && !load_peaks_to_pair(s, a.peaks, a.peak_type, typed_lambda))
    return kExitFailed;

  std::string bad;
  auto road = road_settings(a.tolerance, a.keys, a.eccentricity, a.tab.lambda, a.shift, bad);
  if (!road) return usage_error("unknown parameter " + bad + " in --refine");
  road->refine = a.keys.has_value();
  const RefinementRecord r = run_refinement_road(s, tab, start, *road, m);
  if (r.status != RoadStatus::Refined && r.status != RoadStatus::Paired) return kExitFailed;

  if (!write_picture(s, a, *kind)) return kExitFailed;
  return 0;
}

}  // namespace

int run_plot_command(const std::vector<std::string>& args) {
  PlotArgs a;
  if (auto err = parse_args(args, a)) return usage_error(*err);
  // A missing renderer is told before any work is done (it would be loaded anyway).
  if (const LoadedPlotRenderer r = load_plot_renderer(); !r.render) {
    std::cerr << "plot: " << r.error << '\n';
    return kExitFailed;
  }
  return run_reporting_file_errors([&] { return run(a); });
}

}  // namespace vornax::cli
