// Handle objects of one kind, one per device slot, never deleted. A request
// or event thread may still hold the pointer a lookup gave it when the
// module's end takes the object out, so the object is kept aside for its
// slot and the slot's next start takes it back: a late holder meets a handle
// that names nothing rather than freed memory. Its owner guards it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAcq/AcqDeviceRecord.h"

struct AcqKeptHandles {
  std::array<std::unique_ptr<QelHandle>, kAcqDeviceRecordCount> live;
  std::array<std::unique_ptr<QelHandle>, kAcqDeviceRecordCount> retired;

  // The slot's live object naming `record` as a device handle; a slot
  // without one takes its kept object back, or a new one.
  QelHandle* Bring(std::uint32_t slot, std::uint64_t record) {
    std::unique_ptr<QelHandle>& handle = live[slot];
    if (handle == nullptr) {
      handle = retired[slot] != nullptr ? std::move(retired[slot]) : std::make_unique<QelHandle>();
      handle->server = 0;  // named again when the handle is next handed out
    }
    handle->record = record;
    handle->tag = kQelTagAcqDevice;
    handle->self = reinterpret_cast<std::uint64_t>(handle.get());
    return handle.get();
  }

  void Retire(std::uint32_t slot) {
    if (live[slot] != nullptr) retired[slot] = std::move(live[slot]);
  }
};
