#include "cli/plot_renderer_loader.hpp"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace vornax::cli {

namespace {

LoadedPlotRenderer open_module() {
  namespace fs = std::filesystem;
  // Beside the binary itself, not beside the name it was started by (a link on the
  // PATH), nor in the library search path where another build's copy could be found.
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {nullptr, "cannot find the folder of vornax-cli: " + ec.message()};
  const fs::path module = exe.parent_path() / kPlotRendererFile;
  if (!fs::exists(module, ec))
    return {nullptr, "the picture renderer " + module.string() +
                         " is missing; it is built with vornax-cli and belongs beside it"};
  // Qt is loaded here, with the module's own symbols kept to itself.
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    return {nullptr, "cannot load the picture renderer: " + std::string(why ? why : module.string())};
  }
  void* entry = ::dlsym(handle, kPlotRendererEntry);
  if (!entry)
    return {nullptr, "the picture renderer " + module.string() + " has no entry " +
                         kPlotRendererEntry + "; rebuild it with vornax-cli"};
  return {reinterpret_cast<RenderPlotFunction>(entry), {}};
}

}  // namespace

LoadedPlotRenderer load_plot_renderer() {
  // Never closed: Qt's libraries do not expect to be unloaded before the process ends.
  static const LoadedPlotRenderer loaded = open_module();
  return loaded;
}

}  // namespace vornax::cli
