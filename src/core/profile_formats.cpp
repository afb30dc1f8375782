#include "core/profile_formats.hpp"

#include <algorithm>


namespace vornax {

namespace {

std::string lower_extension(const std::filesystem::path& name) {
  std::string ext = name.filename().extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return ext;
}

const ProfileExtension* find_extension(const ProfileFormat& f, std::string_view ext) {
  for (const ProfileExtension& e : f.extensions)
    if (!e.name.empty() && e.name == ext) return &e;
  return nullptr;
}

}  // namespace

std::optional<ProfileFileType> profile_type_from_number(long long number) {
  if (number < 1 || number > kProfileKindCount) return std::nullopt;
  return static_cast<ProfileFileType>(number);
}

std::string profile_format_title(ProfileFileType type) {
  const std::string_view filter = profile_format(type).dialog_filter;
  return std::string(filter.substr(0, filter.find(" (")));
}

std::vector<ProfileFileType> profile_types_named_by(const std::filesystem::path& name) {
  const std::string ext = lower_extension(name);
  std::vector<ProfileFileType> out;
  if (ext.empty()) return out;
  for (const ProfileFormat& f : kProfileFormats)
    if (find_extension(f, ext)) out.push_back(f.type);
  return out;
}

ProfileFileType profile_type_from_name(const std::filesystem::path& name,
                                       ProfileFileType chosen) {
  const auto named = profile_types_named_by(name);
  if (named.empty() || std::find(named.begin(), named.end(), chosen) != named.end()) return chosen;
  return named.front();
}

bool profile_type_has_ranges(ProfileFileType type) { return profile_format(type).several_ranges; }

bool profile_taken_by_folder_scan(const std::filesystem::path& name) {
  const std::string ext = lower_extension(name);
  if (ext.empty()) return false;
  // Taken when any kind naming the extension lets the scan take it.
  for (const ProfileFormat& f : kProfileFormats)
    if (const ProfileExtension* e = find_extension(f, ext); e && e->in_folder_scan) return true;
  return false;
}

std::string profile_type_list() {
  std::string out;
  for (const ProfileFormat& f : kProfileFormats) {
    if (!out.empty()) out += ", ";
    out += std::to_string(static_cast<int>(f.type)) + " " + std::string(f.short_name);
  }
  return out;
}

std::string profile_type_range_error() {
  return "--type is 1 to " + std::to_string(kProfileKindCount);
}

}  // namespace vornax
