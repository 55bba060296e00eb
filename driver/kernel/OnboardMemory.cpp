#include "driver/kernel/OnboardMemory.h"

#include <algorithm>

#include "driver/kernel/MutexHold.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/client.h"

using namespace plat::kernel;

namespace {

constexpr std::uint64_t kMegabyte = 1u << 20;

// The memory manager's tables are changed by requests of several processes
// at once. Their lock is held for table work only (never across a memory
// job), so a process's close never waits for another's on-board copy.
class OnboardMemoryLock : public YatMutexHold {
 public:
  explicit OnboardMemoryLock(YatBoardExtension* board) : YatMutexHold(&board->onboardAllocatorLock) {}
};

YatMemOwner CallerIdentity() {
  const ClientInfo* client = current_client();
  return client ? client->process : YatMemOwner{};
}

std::uint32_t CallerSlot(YatBoardExtension* board) {
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  return manager ? FindProcessSlot(manager, static_cast<std::uint64_t>(current_process_id())) : kYatNoProcessSlot;
}

bool Traced(YatBoardExtension* board, std::uint32_t flag) {
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  return manager != nullptr && (manager->traceFlags & flag);
}

QelHwStatus InitBankLocked(YatBoardExtension* board, std::uint32_t slot, std::uint32_t sizeMb, std::uint32_t regions,
                           std::uint32_t bank) {
  if (sizeMb > kYatMaxBankMegabytes) {
    STAVRO_LOG(kLogError, "%s: ERROR <Yat_InitFpgaMemoryManager> Invalid Memory size");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  if (regions > kYatRegionsPerBank) {
    STAVRO_LOG(kLogError, "%s: ERROR <Yat_InitFpgaMemoryManager> Invalid Number of Memory Regions");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  if (bank >= kYatMemoryBanks) {
    STAVRO_LOG(kLogError, "%s: ERROR <Yat_InitFpgaMemoryManager> Invalid Number of Memory Bank");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  if (slot == kYatNoProcessSlot) return QELHW_ERROR_PROCESS_NOT_REGISTERED;
  if (regions == 0) return QELHW_OK;
  YatFpgaMemory& memory = board->fpgaMemory;
  const std::uint64_t regionSize = sizeMb * kMegabyte / regions;
  for (std::uint32_t region = 0; region < regions; ++region) {
    if (memory.regions[bank][region] != nullptr) continue;
    memory.regions[bank][region] = MemManagerNewManager(region * regionSize, regionSize);
    if (memory.regions[bank][region] == nullptr) {
      STAVRO_LOG(kLogError, "%s: ERROR <Yat_InitFpgaMemoryManager> No memory manager allocated");
      return QELHW_ERROR_INSUFFICIENT_MEMORY;
    }
    memory.ownerSlot = static_cast<std::int32_t>(slot);
    ++memory.regionCount[bank];
  }
  memory.regionSize[bank] = static_cast<std::uint32_t>(regionSize);
  return QELHW_OK;
}

void CloseLocked(YatBoardExtension* board) {
  YatFpgaMemory& memory = board->fpgaMemory;
  if (memory.regionCount[0] == 0) return;
  for (std::uint32_t bank = 0; bank < kYatMemoryBanks; ++bank) {
    for (YatMemManager*& region : memory.regions[bank]) {
      MemManagerDeleteManager(region);
      region = nullptr;
    }
    memory.regionSize[bank] = 0;
    memory.regionCount[bank] = 0;
  }
  memory.ownerSlot = -1;
  memory.bytesAllocated = 0;
}

YatMemManager* RegionOf(YatBoardExtension* board, std::uint32_t bank, std::uint32_t region) {
  if (bank >= kYatMemoryBanks || region >= kYatRegionsPerBank) return nullptr;
  return board->fpgaMemory.regions[bank][region];
}

}  // namespace

// The caller's slot is looked up before the allocator is locked: the
// process table comes first in the lock order.
QelHwStatus Yat_InitMemoryManager(YatBoardExtension* board, std::uint32_t sizeMb, std::uint32_t regions,
                                  std::uint32_t bank) {
  const std::uint32_t slot = CallerSlot(board);
  OnboardMemoryLock lock(board);
  return InitBankLocked(board, slot, sizeMb, regions, bank);
}

QelHwStatus Yat_InitFpgaMemoryManager(YatBoardExtension* board, const std::uint32_t sizesMb[8],
                                      const std::uint32_t regions[8], std::uint32_t bankCount) {
  if (bankCount > kYatMemoryBanks) {
    STAVRO_LOG(kLogError, "%s: ERROR <Yat_InitFpgaMemoryManager> Invalid Number of Memory Banks");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  const std::uint32_t slot = CallerSlot(board);
  OnboardMemoryLock lock(board);
  for (std::uint32_t bank = 0; bank < bankCount; ++bank) {
    QelHwStatus status = InitBankLocked(board, slot, sizesMb[bank], regions[bank], bank);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus Yat_CloseFpgaMemoryManager(YatBoardExtension* board) {
  OnboardMemoryLock lock(board);
  CloseLocked(board);
  return QELHW_OK;
}

bool YatMemoryManagerInitialised(const YatBoardExtension* board) { return board->fpgaMemory.regionCount[0] >= 1; }

QelHwStatus Yat_AllocFPGAMem(YatBoardExtension* board, std::uint32_t bank, std::uint32_t region, std::uint32_t size,
                             std::uint32_t* address) {
  if (address == nullptr) return QELHW_ERROR_ARG_INVALID;
  *address = 0;
  OnboardMemoryLock lock(board);
  YatMemManager* manager = RegionOf(board, bank, region);
  if (manager == nullptr) {
    STAVRO_LOG(kLogError, "%s:  <Yat_AllocFPGAMem> Board %d", static_cast<int>(board->boardSlot));
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  std::uint64_t start = 0;
  if (!MemManagerAllocate(manager, size, CallerIdentity(), kYatOnboardAlignment, &start)) {
    STAVRO_LOG(kLogError, "%s:  <Yat_AllocFPGAMem> Insufficient FPGA memory (board %d) memsize=%d",
               static_cast<int>(board->boardSlot), static_cast<int>(size));
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  board->fpgaMemory.bytesAllocated += manager->usedList->size;
  if (Traced(board, kTraceMemory))
    STAVRO_LOG(kLogTrace, "%s:  <Yat_AllocFPGAMem> Board[%d], Total Memory Allocated[%d] = %d",
               static_cast<int>(board->boardSlot), static_cast<int>(size),
               static_cast<int>(board->fpgaMemory.bytesAllocated));
  *address = static_cast<std::uint32_t>(start);
  return QELHW_OK;
}

namespace {

// Returns the range at `address` of the bank to its region's free list; with
// an owner, only a range of that owner.
QelHwStatus FreeRange(YatBoardExtension* board, std::uint32_t address, std::uint32_t bank, const YatMemOwner* owner) {
  OnboardMemoryLock lock(board);
  const bool bankValid = bank < kYatMemoryBanks;
  const std::uint32_t regionSize = bankValid ? board->fpgaMemory.regionSize[bank] : 0;
  const std::uint32_t region = bankValid && board->fpgaMemory.regionCount[bank] != 0 && regionSize != 0
                                   ? address / regionSize
                                   : 0;
  YatMemManager* manager = RegionOf(board, bank, region);
  if (manager == nullptr) {
    if (board->state != kYatBoardStarted) return QELHW_OK;
    STAVRO_LOG(kLogError, "%s:  <Yat_FreeFPGAMem> Board %d", static_cast<int>(board->boardSlot));
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  YatMemRange* range = MemManagerFindUsed(manager, address);
  if (range == nullptr) {
    // The address is a 32-bit on-board address: printed as the word it is.
    STAVRO_LOG(kLogError, "%s: Error <Yat_FreeFPGAMem(%d)> Invalid address [0x%08x]", static_cast<int>(board->boardSlot),
               address);
    return QELHW_OK;
  }
  if (owner != nullptr && !MemOwnerEquals(range->owner, *owner)) {
    STAVRO_LOG(kLogError, "%s: Error <Yat_FreeFPGAMem(%d)> Address [0x%08x] belongs to another process",
               static_cast<int>(board->boardSlot), address);
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  YatFpgaMemory& memory = board->fpgaMemory;
  memory.bytesAllocated = range->size <= memory.bytesAllocated ? memory.bytesAllocated - range->size : 0;
  MemManagerUnlinkUsed(manager, range);
  MemManagerInsertFree(manager, range);
  return QELHW_OK;
}

}  // namespace

QelHwStatus Yat_FreeFPGAMem(YatBoardExtension* board, std::uint32_t address, std::uint32_t bank) {
  const YatMemOwner caller = CallerIdentity();
  return FreeRange(board, address, bank, &caller);
}

QelHwStatus YatFreeOnboardBlock(YatBoardExtension* board, std::uint32_t address, std::uint32_t bank) {
  return FreeRange(board, address, bank, nullptr);
}

void YatReleaseProcessMemory(YatBoardExtension* board, std::int32_t processId) {
  OnboardMemoryLock lock(board);
  for (auto& bank : board->fpgaMemory.regions) {
    for (YatMemManager* region : bank) {
      if (region == nullptr) continue;
      const std::uint64_t before = region->bytesInUse;
      MemManagerFreeByProcessId(region, processId);
      const std::uint64_t freed = before - region->bytesInUse;
      board->fpgaMemory.bytesAllocated -= std::min(freed, board->fpgaMemory.bytesAllocated);
    }
  }
}
