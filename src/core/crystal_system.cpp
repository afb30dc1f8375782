#include "core/crystal_system.hpp"

namespace vornax {

// The table is indexed by the id, in list order.
static_assert([] {
  for (size_t i = 0; i < kCrystalSystems.size(); ++i)
    if (static_cast<size_t>(kCrystalSystems[i].id) != i) return false;
  return true;
}());

CrystalSystemId system_of(std::string_view code) { return crystal_system(code).id; }

const CrystalSystem& crystal_system(std::string_view code) {
  for (const CrystalSystem& s : kCrystalSystems)
    if (s.code == code) return s;
  return kNoCrystalSystem;
}

const CrystalSystem& crystal_system(CrystalSystemId id) {
  const auto i = static_cast<size_t>(id);
  return i < kCrystalSystems.size() ? kCrystalSystems[i] : kNoCrystalSystem;
}

std::string system_code(CrystalSystemId id) { return std::string(crystal_system(id).code); }

}  // namespace vornax
