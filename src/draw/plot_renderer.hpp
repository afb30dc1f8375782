// The picture writer of `vornax-cli plot`. It lives in a module of its own,
// vornax-plot-renderer.so beside the vornax-cli binary, which plot opens at run time:
// only plot then loads Qt, and every other command starts without it. This header is
// the whole contract between the two, so it holds no Qt: the command hands over the
// picture's size, file and kind and a function that paints the diagram on the canvas
// the module made; the module paints it on an image (PNG) or straight on the vector
// device (SVG, PDF) and writes the file.
#pragma once

#include <cstddef>

#include "viewer/canvas.hpp"

namespace vornax {

enum class PlotKind : int { Png = 0, Pdf = 1, Svg = 2 };

// Raised whenever PlotRequest or the meaning of its fields changes, so that a module
// left over from another build is refused instead of misread.
inline constexpr int kPlotRendererVersion = 1;

struct PlotRequest {
  int version = kPlotRendererVersion;
  int width = 0, height = 0;  // pixels; the PDF page is this size at 96 dpi
  const char* path = nullptr;  // the file to write, as given on the command line
  PlotKind kind = PlotKind::Png;
  void (*paint)(Canvas& canvas, const void* context) = nullptr;
  const void* context = nullptr;
};

inline constexpr const char* kPlotRendererFile = "vornax-plot-renderer.so";
inline constexpr const char* kPlotRendererEntry = "vornax_render_plot";

// Writes the picture. Returns true on success; otherwise false with a message for the
// user (no "plot: " prefix, no newline) in error[0..error_size).
using RenderPlotFunction = bool (*)(const PlotRequest* request, char* error,
                                    std::size_t error_size);

}  // namespace vornax

extern "C" bool vornax_render_plot(const vornax::PlotRequest* request, char* error,
                                   std::size_t error_size);
