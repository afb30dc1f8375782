#include "commands/report_files.hpp"

namespace vornax {

std::optional<std::filesystem::path> write_report(const WorkSession& s, FixedFile file,
                                                  const TextFile& report, Messages& m) {
  const auto path = fixed_file_path(s, file);
  try {
    report.save(path);
  } catch (const FileError& e) {
    m.error(e.what());
    return std::nullopt;
  }
  return path;
}

}  // namespace vornax
