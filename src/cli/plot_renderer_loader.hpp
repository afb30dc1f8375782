// Opens the module that writes plot's pictures (see draw/plot_renderer.hpp). Only plot
// calls this, so only plot loads Qt.
#pragma once

#include <string>

#include "draw/plot_renderer.hpp"

namespace vornax::cli {

struct LoadedPlotRenderer {
  RenderPlotFunction render = nullptr;  // null when the module could not be used
  std::string error;                    // then: why, for the user
};

// The module beside the running binary; opened once, and kept open until the end.
LoadedPlotRenderer load_plot_renderer();

}  // namespace vornax::cli
