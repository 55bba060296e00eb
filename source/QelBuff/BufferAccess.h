// Data access to buffers: the check every data operation makes of each buffer
// it is given, and the display surface held locked for the time of the
// operation (through the buffer's own server, parameter 0x180004).
#pragma once

#include <array>
#include <cstdint>

#include "source/QelAPI/QelApi.h"
#include "source/QelBuff/BufferInternal.h"

// A buffer of this process with memory: its descriptor; else `refusal`.
QelStatus BufferCheckForData(const QelHandle* handle, QelStatus refusal, BufferDescriptor** descriptor);

// Locks the surfaces of the buffers that need it; unlocks them when released.
class BufferSurfaceLocks {
 public:
  BufferSurfaceLocks() = default;
  BufferSurfaceLocks(const BufferSurfaceLocks&) = delete;
  BufferSurfaceLocks& operator=(const BufferSurfaceLocks&) = delete;
  ~BufferSurfaceLocks() { Release(); }
  // A failure to lock comes back with the module's bits.
  QelStatus Take(BufferDescriptor* descriptor);
  QelStatus Release();

 private:
  std::array<BufferDescriptor*, 4> locked_{};
  std::uint32_t count_ = 0;
};

// One data operation on the buffers given (the first selects the table
// entry, unless the call decides otherwise): checks, surface locks, the call,
// a failure reported.
template <typename Call, std::size_t N>
QelStatus BufferDataOperation(const std::array<BufferDescriptor*, N>& buffers, Call&& call) {
  BufferSurfaceLocks locks;
  for (BufferDescriptor* descriptor : buffers) {
    if (descriptor == nullptr) continue;
    if (const QelStatus status = locks.Take(descriptor); status != QEL_OK) return status;
  }
  const QelStatus status = call();
  const QelStatus unlocked = locks.Release();
  if (status != QEL_OK) {
    ManReportStatus(status, __FILE__, __LINE__);
    return status;
  }
  return unlocked;
}
