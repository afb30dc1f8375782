#include "core/paths.hpp"

#include <system_error>

#include "core/format.hpp"

namespace vornax {

std::filesystem::path in_working_folder(const WorkSession& s, std::string_view name) {
  return s.working_folder / std::filesystem::path(std::string(name));
}

std::filesystem::path in_current_folder(const WorkSession& s, std::string_view name) {
  return s.current_folder / std::filesystem::path(std::string(name));
}

namespace {

const FixedFileEntry& entry(FixedFile f) {
  for (const auto& e : kFixedFiles)
    if (e.file == f) return e;
  return kFixedFiles[0];  // unreachable: every enumerator has its row
}

}  // namespace

std::filesystem::path fixed_file_path(const WorkSession& s, FixedFile f) {
  const auto& e = entry(f);
  return e.folder == FolderKind::Working ? in_working_folder(s, e.name)
                                         : in_current_folder(s, e.name);
}

void delete_fixed_file(const WorkSession& s, FixedFile f) {
  std::error_code ec;
  std::filesystem::remove(fixed_file_path(s, f), ec);
}

namespace {

// True when `path` is, through links or another name, a fixed file of `kind` that
// exists in `folder` under its name in any case.
bool same_as_fixed_file_in(const std::filesystem::path& path, const std::filesystem::path& folder,
                           FolderKind kind) {
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(folder, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    const std::string name = to_upper(it->path().filename().string());
    for (const auto& e : kFixedFiles) {
      if (e.folder != kind || to_upper(e.name) != name) continue;
      std::error_code same;
      if (std::filesystem::equivalent(path, it->path(), same) && !same) return true;
    }
  }
  return false;
}

}  // namespace

bool is_fixed_file(const WorkSession& s, const std::filesystem::path& path) {
  std::error_code ec;
  const auto folder = std::filesystem::weakly_canonical(
      std::filesystem::absolute(path, ec).parent_path(), ec);
  const std::string name = to_upper(path.filename().string());
  for (const auto& e : kFixedFiles) {
    const auto& own = e.folder == FolderKind::Working ? s.working_folder : s.current_folder;
    std::error_code ec2;
    if (to_upper(e.name) == name && std::filesystem::weakly_canonical(own, ec2) == folder)
      return true;
  }
  // A link to a fixed file, or a hard link, is that file: writing the report would
  // destroy the input. The names above still catch files a run has not made yet.
  if (!std::filesystem::exists(path, ec)) return false;
  return same_as_fixed_file_in(path, s.working_folder, FolderKind::Working) ||
         same_as_fixed_file_in(path, s.current_folder, FolderKind::Current);
}

std::string fixed_file_input_message(const std::filesystem::path& path) {
  return path.filename().string() +
         " is a file the program writes or deletes itself; it cannot be read as input. "
         "Rename or move it first.";
}

std::filesystem::path find_data_file(const WorkSession& s, std::string_view name) {
  std::error_code ec;
  auto w = in_working_folder(s, name);
  if (std::filesystem::is_regular_file(w, ec)) return w;
  if (!s.data_folder.empty()) {
    auto d = s.data_folder / std::filesystem::path(std::string(name));
    if (std::filesystem::is_regular_file(d, ec)) return d;
  }
  return w;
}

void delete_file_nocase(const std::filesystem::path& folder, std::string_view name) {
  std::error_code ec;
  const std::string wanted = to_upper(name);
  for (auto it = std::filesystem::directory_iterator(folder, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    if (to_upper(it->path().filename().string()) == wanted) {
      std::error_code rm;
      std::filesystem::remove(it->path(), rm);
    }
  }
}

std::filesystem::path locate_data_folder(const std::filesystem::path& binary_dir) {
  std::error_code ec;
  auto beside = binary_dir / "data";
  if (std::filesystem::is_directory(beside, ec)) return beside;
#ifdef VORNAX_SOURCE_DATA_DIR
  return std::filesystem::path(VORNAX_SOURCE_DATA_DIR);
#else
  return beside;
#endif
}

std::string file_name_only(std::string_view path) {
  auto p = path.find_last_of("/\\");
  return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string upper_extension(const std::filesystem::path& name) {
  return to_upper(name.filename().extension().string());
}

}  // namespace vornax
