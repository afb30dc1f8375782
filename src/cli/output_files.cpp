#include "cli/output_files.hpp"

#include <iostream>
#include <system_error>

namespace vornax::cli {

namespace {

std::filesystem::path normal_absolute(const std::filesystem::path& p) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(p, ec);
  if (ec) return p.lexically_normal();
  auto canon = std::filesystem::weakly_canonical(abs, ec);
  return ec ? abs.lexically_normal() : canon;
}

}  // namespace

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ea, eb;
  const bool has_a = std::filesystem::exists(a, ea), has_b = std::filesystem::exists(b, eb);
  if (has_a && has_b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
  }
  if (has_a != has_b) return false;
  return normal_absolute(a) == normal_absolute(b);
}

bool output_allowed(const std::filesystem::path& out,
                    const std::vector<std::filesystem::path>& inputs, bool force) {
  for (const auto& in : inputs) {
    if (in.empty() || !same_file(out, in)) continue;
    std::cerr << out.string() << " is the input file " << in.string()
              << "; write to another file\n";
    return false;
  }
  std::error_code ec;
  if (!force && std::filesystem::exists(out, ec)) {
    std::cerr << out.string() << " already exists (use --force to overwrite)\n";
    return false;
  }
  return true;
}

}  // namespace vornax::cli
