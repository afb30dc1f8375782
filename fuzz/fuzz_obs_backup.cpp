// The backup of the selected reflections, read back by "Restore".
#include <cstdint>
#include <string_view>

#include "selection/obs_backup.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto read = vornax::parse_obs_backup(bytes);
  // What was read must write back to lines of the same fixed columns.
  if (read.ok() && read.pairs.size() > 500) __builtin_trap();
  if (read.ok()) (void)vornax::obs_backup_lines(read.pairs);
  return 0;
}
