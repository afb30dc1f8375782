// Shared by the fuzz targets: the input as a file on disk, for readers that take a path,
// and the input read as a stream of values.
#pragma once

#include <cstdint>
#include <cstring>
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

// The next value of the input, taken off its front; zero once the input is used up.
template <typename T>
T take(const uint8_t*& p, size_t& n) {
  T v{};
  if (n >= sizeof v) {
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    n -= sizeof v;
  }
  return v;
}

}  // namespace vornax::fuzz
