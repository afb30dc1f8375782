// Shared by the fuzz targets: the input as a file on disk, for readers that take a path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace vornax::fuzz {

// One scratch file per process, rewritten for every input.
inline std::filesystem::path write_input(const uint8_t* data, size_t size,
                                         const std::string& name) {
  static const auto dir = [] {
    auto d = std::filesystem::temp_directory_path() /
             ("vornax_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  auto p = dir / name;
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return p;
}

}  // namespace vornax::fuzz
