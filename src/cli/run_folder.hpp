// The folder a run of calc, refine or plot writes its fixed-name files in (hm.txt,
// vornax.inp, vornax.out, mouchard, Excel.txt...): the current folder, the --work
// folder, or a private temporary folder removed when the run ends.
#pragma once

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/text_file.hpp"

namespace vornax::cli {

class RunFolder {
 public:
  // `work`: the --work folder, or empty for the current folder; a missing --work folder
  // is made (its parent was checked by work_folder_error). `private_folder`: the files
  // are of no use to the caller; they go to a fresh temporary folder instead.
  RunFolder(const std::string& work, bool private_folder) {
    if (private_folder) {
      std::string pattern = (std::filesystem::temp_directory_path() / "vornax_run_XXXXXX").string();
      if (!mkdtemp(pattern.data()))
        throw file_error(std::filesystem::temp_directory_path(), "Cannot create a folder in");
      path_ = pattern;
      remove_ = true;
      return;
    }
    if (work.empty()) {
      path_ = std::filesystem::current_path();
      return;
    }
    path_ = std::filesystem::absolute(work);
    std::error_code ec;
    if (!std::filesystem::is_directory(path_, ec) && !std::filesystem::create_directory(path_, ec)) {
      errno = ec.value();
      throw file_error(path_, "Cannot create");
    }
  }
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;
  ~RunFolder() {
    std::error_code ec;
    if (remove_) std::filesystem::remove_all(path_, ec);
  }

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  bool remove_ = false;
};

}  // namespace vornax::cli
