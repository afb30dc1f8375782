// Where the program's files live: fixed result files in the working folder or the
// current folder, catalogue files in the working folder or the installed data folder.
#pragma once

#include <filesystem>
#include <string_view>

#include "core/session.hpp"

namespace vornax {

std::filesystem::path in_working_folder(const WorkSession& s, std::string_view name);
std::filesystem::path in_current_folder(std::string_view name);

// A supplied catalogue file: the working folder first (a user may keep their own
// copy there), then the program's data folder. Returns the working-folder path when
// neither holds it, so that the caller's error names the expected place.
std::filesystem::path find_data_file(const WorkSession& s, std::string_view name);

// Deletes the file if it exists, whatever the case of its name on disk
// ("Excel.txt" and "excel.txt" are one file to the program). Never throws.
void delete_file_nocase(const std::filesystem::path& folder, std::string_view name);

// The data folder for a program whose binary is in `binary_dir`: data/ beside the
// binary when present, else the source tree's data folder.
std::filesystem::path locate_data_folder(const std::filesystem::path& binary_dir);

// The file name without its folder, whatever the separator ('/' or '\').
std::string file_name_only(std::string_view path);

}  // namespace vornax
