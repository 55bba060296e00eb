// Security descriptors and attributes, as far as the system builds them: a
// descriptor is either default or carries a (possibly NULL) DACL. A NULL DACL
// lets every process open the object; objects of this machine are open to all.
#pragma once

#include <cstdint>

namespace plat {

inline constexpr std::uint32_t kSecurityDescriptorRevision = 1;

struct SecurityDescriptor {
  std::uint32_t revision;  // 0 until initialised
  std::uint32_t dacl_present;
  const void* dacl;  // null with dacl_present: a NULL DACL, everyone may open
};

struct SecurityAttributes {
  std::uint32_t length;
  SecurityDescriptor* descriptor;
  std::uint32_t inherit_handle;
};

// False with kErrorInvalidParameter when revision is not kSecurityDescriptorRevision
// or the descriptor is null.
bool initialize_security_descriptor(SecurityDescriptor* descriptor, std::uint32_t revision);
// False with kErrorInvalidParameter when the descriptor is null or not initialised.
bool set_security_descriptor_dacl(SecurityDescriptor* descriptor, bool present, const void* dacl,
                                  bool defaulted);

}  // namespace plat
