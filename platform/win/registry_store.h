// The registry file of the machine ("registry.reg" in the machine directory).
// Every operation works on a fresh reading of it, so processes (and a test
// that switches machines) always see the latest contents.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/win/registry_tree.h"

namespace plat {

// Reads the registry; a machine without a registry file has an empty one.
std::uint32_t load_registry(RegistryTree& tree);

// Runs `change` on the registry under the machine-wide registry lock and
// stores the result when it sets *changed. Answers change's code, or the
// failure to read or store the file.
std::uint32_t update_registry(const std::function<std::uint32_t(RegistryTree&, bool* changed)>& change);

}  // namespace plat
