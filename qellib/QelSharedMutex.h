// Named mutexes that serialise cross-process sections: any process, of any
// user, may open them. One call creates or opens the mutex and takes it.
#pragma once

#include <cstdint>

#include "platform/win/objects.h"
#include "platform/win/security.h"

// Wait of SharedMutexLock.
inline constexpr std::uint32_t kSharedMutexWaitMs = 20000;

struct SharedMutexRequest {
  std::uint32_t size;        // sizeof(SharedMutexRequest)
  const char* name;          // the mutex's name
  const char* owner;         // module label of the log lines
  std::uint32_t timeout_ms;  // plat::kInfinite waits without limit
};

// The mutex, owned by the calling thread (an abandoned one counts as taken),
// or plat::kNullHandle. The caller releases it with plat::release_mutex and
// closes it.
plat::Handle SharedMutexCreate(const SharedMutexRequest* request);
// SharedMutexCreate with a wait of kSharedMutexWaitMs.
plat::Handle SharedMutexLock(const char* name, const char* owner);

// Non-inheritable attributes whose descriptor has a NULL DACL; non-zero on
// success. Both records are freed with FreeSecurityAttributes.
int CreateSecurityAttributes(plat::SecurityAttributes** attributes,
                             plat::SecurityDescriptor** descriptor, const char* owner);
// Initialises the descriptor with a present, NULL DACL; non-zero on success.
int InitSecurityDesc(plat::SecurityDescriptor* descriptor, const char* owner);
void FreeSecurityAttributes(plat::SecurityAttributes* attributes,
                            plat::SecurityDescriptor* descriptor);
