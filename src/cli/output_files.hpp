// The checks before a command writes a file the user named (search --out, series --out
// and --plot, plot --out, refine --save-list, convert's output): never one of the run's
// own inputs, and an existing file only with --force.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vornax::cli {

// True when `a` and `b` are one file: the same device and inode when both exist (a
// link or another spelling of the name is caught), else the same absolute path.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

// True when `out` may be written. Otherwise false after the message on standard error:
// `out` is one of `inputs`, or it exists and `force` was not given.
bool output_allowed(const std::filesystem::path& out,
                    const std::vector<std::filesystem::path>& inputs, bool force);

}  // namespace vornax::cli
