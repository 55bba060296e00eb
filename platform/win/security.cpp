#include "platform/win/security.h"

#include "platform/win/errors.h"

namespace plat {

bool initialize_security_descriptor(SecurityDescriptor* descriptor, std::uint32_t revision) {
  if (descriptor == nullptr || revision != kSecurityDescriptorRevision) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  *descriptor = SecurityDescriptor{kSecurityDescriptorRevision, 0, nullptr};
  return true;
}

bool set_security_descriptor_dacl(SecurityDescriptor* descriptor, bool present, const void* dacl,
                                  bool defaulted) {
  if (descriptor == nullptr || descriptor->revision != kSecurityDescriptorRevision) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  // Without a DACL the default applies, which on this machine also opens the
  // object to everyone; the fields only record what the caller asked for.
  descriptor->dacl_present = present ? 1u : 0u;
  descriptor->dacl = present ? dacl : nullptr;
  return true;
}

}  // namespace plat
