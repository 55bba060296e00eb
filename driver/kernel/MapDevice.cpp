#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/registers.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

NtStatus TakeInterrupt(plat::kernel::DeviceObject* device, YatBoardExtension* board, const ResourceDescriptor& resource,
                       std::uint32_t* interruptCount) {
  if (++*interruptCount > 1) {
    STAVRO_LOG(kLogError, "%s: MAPDEVICE => Too many interrupts (%ld)", static_cast<long>(*interruptCount));
    return plat::kStatusSuccess;
  }
  board->interruptLevel = static_cast<std::uint8_t>(resource.u.interrupt.level);
  board->interruptVector = resource.u.interrupt.vector;
  board->interruptAffinity = resource.u.interrupt.affinity;
  NtStatus status = DrvRegisterInterrupt(device);
  if (!plat::nt_success(status)) STAVRO_LOG(kLogError, "%s: MAPDEVICE => Error mapping interrupt )");
  return status;
}

// A failed mapping is remembered but does not end the walk.
void TakeMemoryRange(YatBoardExtension* board, const ResourceDescriptor& resource, NtStatus* remembered) {
  if (board->rangeCount >= kYatMaxRanges) {
    STAVRO_LOG(kLogWarning, "%s: MAPDEVICE => Too many memory ranges, range at 0x%08lx ignored",
               static_cast<unsigned long>(resource.u.memory.start));
    return;
  }
  YatRange& range = board->ranges[board->rangeCount];
  range.physicalLow = static_cast<std::uint32_t>(resource.u.memory.start);
  range.length = resource.u.memory.length;
  range.mapped = static_cast<volatile std::uint32_t*>(
      map_io_space(resource.u.memory.start, resource.u.memory.length, CacheType::kNonCached));
  if (range.mapped == nullptr) {
    STAVRO_LOG(kLogError, "%s: MAPDEVICE => Cannot map port address into memory or address is invalid");
    *remembered = plat::kStatusInsufficientResources;
    return;
  }
  ++board->rangeCount;
  board->state = kYatBoardStarted;
  board->storedError = QELHW_OK;
}

}  // namespace

NtStatus MapDevice(DeviceObject* device, const ResourceList* translated) {
  YatBoardExtension* board = BoardOf(device);
  if (translated == nullptr || translated->count == 0) return plat::kStatusInsufficientResources;
  const PartialResourceList& partial = translated->list[0].partial;
  std::uint32_t count = partial.count < kMaxPartialResources ? partial.count : kMaxPartialResources;
  std::uint32_t interrupts = 0;
  NtStatus status = plat::kStatusSuccess;
  for (std::uint32_t i = 0; i < count; ++i) {
    const ResourceDescriptor& resource = partial.descriptors[i];
    if (resource.type == ResourceType::kInterrupt) {
      NtStatus connected = TakeInterrupt(device, board, resource, &interrupts);
      if (!plat::nt_success(connected)) return connected;
    } else if (resource.type == ResourceType::kMemory) {
      TakeMemoryRange(board, resource, &status);
    }
  }
  // Without BAR 0 there is no register space to drive.
  if (plat::nt_success(status) && board->rangeCount == 0) status = plat::kStatusInsufficientResources;
  return status;
}
