// Where the program's files live: fixed result files in the working folder or the
// current folder, catalogue files in the working folder or the installed data folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/session.hpp"

namespace vornax {

std::filesystem::path in_working_folder(const WorkSession& s, std::string_view name);
std::filesystem::path in_current_folder(const WorkSession& s, std::string_view name);

// The files the program writes and reads at fixed names, each in its one folder.
enum class FixedFile {
  IndxShort,     // indx.out of "Ed/Print", current folder
  IndxReport,    // indx.out of "Calculated Peaks", working folder
  RefineInput,   // vornax.inp
  RefineReport,  // vornax.out
  Trace,         // mouchard
  Excel,         // Excel.txt
  DifReport,     // dif.out
  RawReport,     // raw.out
  ObsBackup,     // obs.txt
  HmTable,       // hm.txt
  HallTable,     // hall.txt
  Forbidden,     // forbidden.txt
  Scfs,          // scfs.dat, written by the space-group lookup
  Scfs2,         // scfs2.dat, deleted before a Getspec choice
};

enum class FolderKind { Working, Current };

struct FixedFileEntry {
  FixedFile file;
  const char* name;
  FolderKind folder;
};

// The one table of fixed names.
inline constexpr FixedFileEntry kFixedFiles[] = {
    {FixedFile::IndxShort, "indx.out", FolderKind::Current},
    {FixedFile::IndxReport, "indx.out", FolderKind::Working},
    {FixedFile::RefineInput, "vornax.inp", FolderKind::Working},
    {FixedFile::RefineReport, "vornax.out", FolderKind::Working},
    {FixedFile::Trace, "mouchard", FolderKind::Working},
    {FixedFile::Excel, "Excel.txt", FolderKind::Working},
    {FixedFile::DifReport, "dif.out", FolderKind::Working},
    {FixedFile::RawReport, "raw.out", FolderKind::Working},
    {FixedFile::ObsBackup, "obs.txt", FolderKind::Working},
    {FixedFile::HmTable, "hm.txt", FolderKind::Current},
    {FixedFile::HallTable, "hall.txt", FolderKind::Current},
    {FixedFile::Forbidden, "forbidden.txt", FolderKind::Current},
    {FixedFile::Scfs, "scfs.dat", FolderKind::Current},
    {FixedFile::Scfs2, "scfs2.dat", FolderKind::Current},
};

constexpr const char* fixed_file_name(FixedFile f) {
  for (const auto& e : kFixedFiles)
    if (e.file == f) return e.name;
  return "";
}
std::filesystem::path fixed_file_path(const WorkSession& s, FixedFile f);
// Deletes the file if it exists. Never throws.
void delete_fixed_file(const WorkSession& s, FixedFile f);
// True when `path` names one of the fixed files of its folder's kind in the session's
// folders, whatever the case, or is one that exists there under another name (a link):
// such a file is the program's own and is overwritten or deleted by a run, so it must
// never be taken as a user's input.
bool is_fixed_file(const WorkSession& s, const std::filesystem::path& path);
// The message that refuses such a file as an input, naming it.
std::string fixed_file_input_message(const std::filesystem::path& path);

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

// Upper-case extension with its dot (".RAW"), or empty.
std::string upper_extension(const std::filesystem::path& name);

}  // namespace vornax
