#include "driver/kernel/ResourceManager.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "driver/kernel/ResourceVariants.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/registers.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagRegisterTable = StavroPoolTag('G');
constexpr std::uint32_t kRegMainStatus = 0x404;
constexpr std::uint32_t kRegInterruptMask = 0x42C;
constexpr std::uint32_t kCloseWaitMs = 10;

// Access words and shadows change under running accesses (write-and-disable,
// writes through the shadow): every use is one atomic word access.
std::uint32_t Load(const std::uint32_t& word) {
  return std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(word)).load(std::memory_order_relaxed);
}
void Store(std::uint32_t& word, std::uint32_t value) {
  std::atomic_ref<std::uint32_t>(word).store(value, std::memory_order_relaxed);
}

volatile std::uint32_t* Bar0(const YatBoardExtension* board) {
  return board->rangeCount > 0 ? board->ranges[0].mapped : nullptr;
}

std::uint32_t BoardRead(volatile std::uint32_t* bar, std::uint32_t offset) { return read_register32(bar + offset / 4); }

void BoardWrite(volatile std::uint32_t* bar, std::uint32_t offset, std::uint32_t value) {
  write_register32(bar + offset / 4, value);
  memory_barrier();
}

std::uint32_t LowMask(std::uint32_t bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }
std::uint32_t HardwareWidth(std::uint32_t access) { return access & kYatAccessHardwareWidth; }
std::uint32_t ShadowWidth(std::uint32_t access) { return (access >> kYatAccessShadowShift) & 0x3F; }
bool Readable(std::uint32_t access) { return HardwareWidth(access) != 0 || ShadowWidth(access) != 0; }

// Counts one access for the time it runs, so that a close waits for it.
class AccessInProgress {
 public:
  explicit AccessInProgress(YatResourceManager& manager) : manager_(manager) { manager_.accessesInProgress.fetch_add(1); }
  ~AccessInProgress() { manager_.accessesInProgress.fetch_sub(1); }
  AccessInProgress(const AccessInProgress&) = delete;
  AccessInProgress& operator=(const AccessInProgress&) = delete;

 private:
  YatResourceManager& manager_;
};

struct RegisterAt {
  volatile std::uint32_t* bar;
  YatRegisterEntry* entry;
};

bool OffsetInRange(const YatBoardExtension* board, std::uint32_t offset) {
  return offset % 4 == 0 && offset < kYatRegisterSpace && offset + 4 <= board->ranges[0].length;
}

QelHwStatus LocateRegister(YatBoardExtension* board, const char* operation, std::uint32_t offset, bool quiet,
                           RegisterAt* at) {
  at->bar = Bar0(board);
  if (at->bar == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  if (!OffsetInRange(board, offset)) {
    STAVRO_LOG(kLogError, "%s: Error <%s> Offset out of range [0x%08x]", operation, offset);
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  const YatBlockEntry& block = board->registers.blocks[offset / kYatBlockBytes];
  if (block.type != kYatBlockRegisters || block.table == nullptr) {
    if (!quiet) STAVRO_LOG(kLogError, "%s: Error <%s> This BAR0 block is not a register block[0x%04x]", operation, offset);
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  at->entry = &block.table[(offset / 4) % kYatRegistersPerBlock];
  return QELHW_OK;
}

QelHwStatus ComposeRead(const RegisterAt& at, std::uint32_t offset, std::uint32_t* value) {
  const std::uint32_t access = Load(at.entry->access);
  const std::uint32_t h = HardwareWidth(access), s = ShadowWidth(access);
  const std::uint32_t shadow = Load(at.entry->shadow);
  if (h != 0) {
    const std::uint32_t mask = LowMask(h);
    *value = (BoardRead(at.bar, offset) & mask) | (shadow & ~mask);
  } else if (s != 0) {
    const std::uint32_t mask = LowMask(s);
    *value = s >= 32 ? shadow : (shadow & mask) | (BoardRead(at.bar, offset) & ~mask);
  } else {
    STAVRO_LOG(kLogError, "%s: Error <Yat_ReadReg> Register no read access [0x%04x]", offset);
    return QELHW_ERROR_DEVICE_READ;
  }
  return QELHW_OK;
}

// The base a set-bits starts from: board and shadow bits as the access word says.
std::uint32_t SetBitsBase(const RegisterAt& at, std::uint32_t offset, std::uint32_t access) {
  const std::uint32_t h = HardwareWidth(access), s = ShadowWidth(access);
  const std::uint32_t shadow = Load(at.entry->shadow);
  if (h == 0 && (s == 0 || s >= 32)) return shadow;
  const std::uint32_t board = BoardRead(at.bar, offset);
  const std::uint32_t mask = LowMask(h + s);
  if (h == 0 || h >= 32) return (shadow & mask) | (board & ~mask);
  return (shadow & ~mask) | (board & mask);
}

void WaitForOtherAccesses(YatResourceManager& manager, std::uint32_t own, std::uint32_t limitMs) {
  for (std::uint32_t waited = 0; manager.accessesInProgress.load() > own && waited < limitMs; ++waited)
    delay_execution(relative_milliseconds(1));
}

void FreeRegisterTables(YatResourceManager& manager) {
  for (std::uint32_t block = 0; block < kYatBlockCount; ++block) {
    YatBlockEntry& entry = manager.blocks[block];
    if (entry.type == kYatBlockRegisters && block != kYatDmaBlock && entry.table != nullptr)
      free_pool_with_tag(entry.table, kTagRegisterTable);
    entry = YatBlockEntry{};
  }
}

YatRegisterEntry* NewRegisterTable() {
  auto* table = static_cast<YatRegisterEntry*>(
      allocate_pool(PoolType::kNonPaged, sizeof(YatRegisterEntry) * kYatRegistersPerBlock, kTagRegisterTable));
  if (table == nullptr) return nullptr;
  for (std::uint32_t i = 0; i < kYatRegistersPerBlock; ++i) table[i] = {kYatAccessDefault, 0};
  return table;
}

QelHwStatus BuildBlocks(YatBoardExtension* board, YatVariant variant) {
  YatResourceManager& manager = board->registers;
  volatile std::uint32_t* bar = Bar0(board);
  for (std::uint32_t block = 0; block < kYatBlockCount; ++block) {
    YatBlockEntry& entry = manager.blocks[block];
    const std::uint32_t type = YatVariantBlockType(variant, block);
    if (block == kYatDmaBlock) continue;  // keeps its own table
    if (type == kYatBlockRegisters) {
      entry.table = NewRegisterTable();
      if (entry.table == nullptr) {
        STAVRO_LOG(kLogError, "%s: Error <Yat_InitResourceMan> Can't allocate block manager");
        return QELHW_ERROR_INSUFFICIENT_MEMORY;
      }
      entry.type = type;
    } else if (type == kYatBlockCache) {
      entry.type = type;
      entry.cacheFlags = kYatCacheRead | kYatCacheWrite;
      const std::uint32_t words = YatVariantCacheClearWords(variant, block);
      for (std::uint32_t word = 0; word < words; ++word) BoardWrite(bar, block * kYatBlockBytes + word * 4, 0);
    }
  }
  return QELHW_OK;
}

QelHwStatus ApplyRegisterList(YatBoardExtension* board, YatVariant variant) {
  YatResourceManager& manager = board->registers;
  for (const YatRegisterRun& run : YatVariantRegisters(variant)) {
    for (std::uint32_t offset = run.first; offset <= run.last; offset += 4) {
      const std::uint32_t block = offset / kYatBlockBytes;
      const YatBlockEntry& entry = manager.blocks[block];
      if (entry.type != kYatBlockRegisters || entry.table == nullptr) {
        STAVRO_LOG(kLogError, "%s: Error <Yat_InitResourceMan> Invalid Register Block (#%d)", static_cast<int>(block));
        return QELHW_ERROR_PARAMETER_INVALID;
      }
      YatRegisterEntry& reg = entry.table[(offset / 4) % kYatRegistersPerBlock];
      Store(reg.access, run.access);
      if (variant == YatVariant::kC && (run.access & kYatAccessLoadShadow) != 0)
        Store(reg.shadow, BoardRead(Bar0(board), offset));
    }
  }
  return QELHW_OK;
}

// The serial ports' saved settings go back into a freshly built map.
QelHwStatus RestoreSerialSettings(YatBoardExtension* board) {
  constexpr std::uint32_t kPortRegisters[2][2] = {{0x1220, 0x1230}, {0x1620, 0x1630}};
  for (std::uint32_t port = 0; port < 2; ++port) {
    for (std::uint32_t i = 0; i < 2; ++i) {
      QelHwStatus status = Yat_WriteReg(board, kPortRegisters[port][i], board->serialPortSettings[port][i]);
      if (status != QELHW_OK) return status;
    }
  }
  return QELHW_OK;
}

QelHwStatus BuildVariant(YatBoardExtension* board, YatVariant variant) {
  YatResourceManager& manager = board->registers;
  if (variant == YatVariant::kC) {
    std::uint32_t vendorDevice = 0;
    QelHwStatus status = GDrv_ReadPciConfigurationSpace(board, &vendorDevice, 0, 4);
    if (status != QELHW_OK) return status;
    if (vendorDevice == 0xFFFFFFFF) return QELHW_ERROR_RESET_NEEDS_REBOOT;
  }
  // Nothing may look at the tables while they grow.
  manager.accessEnabled = 0;
  WaitForOtherAccesses(manager, 0, UINT32_MAX);
  QelHwStatus status = BuildBlocks(board, variant);
  if (status == QELHW_OK) status = ApplyRegisterList(board, variant);
  if (status != QELHW_OK) return status;
  manager.built = 1;
  manager.accessEnabled = 1;
  return variant == YatVariant::kC ? RestoreSerialSettings(board) : QELHW_OK;
}

}  // namespace

QelHwStatus BuildBlock64Table(YatBoardExtension* board, bool keepShadows) {
  YatResourceManager& manager = board->registers;
  if (manager.dmaBlockTable == nullptr) {
    const std::size_t size = sizeof(YatRegisterEntry) * kYatRegistersPerBlock;
    manager.dmaBlockTable = static_cast<YatRegisterEntry*>(allocate_pool(PoolType::kNonPaged, size, kTagRegisterTable));
    if (manager.dmaBlockTable == nullptr) return QELHW_ERROR_INSUFFICIENT_MEMORY;
    std::memset(manager.dmaBlockTable, 0, size);
  }
  for (const YatRegisterRun& run : YatDmaBlockRegisters()) {
    for (std::uint32_t offset = run.first; offset <= run.last; offset += 4) {
      YatRegisterEntry& reg = manager.dmaBlockTable[(offset / 4) % kYatRegistersPerBlock];
      Store(reg.access, run.access);
      if (!keepShadows) Store(reg.shadow, 0);
    }
  }
  manager.blocks[kYatDmaBlock] = YatBlockEntry{kYatBlockRegisters, 0, manager.dmaBlockTable};
  manager.accessEnabled = 1;
  return QELHW_OK;
}

void FreeBlock64Table(YatBoardExtension* board) {
  YatResourceManager& manager = board->registers;
  manager.accessEnabled = 0;
  WaitForOtherAccesses(manager, 0, UINT32_MAX);
  manager.blocks[kYatDmaBlock] = YatBlockEntry{};
  if (manager.dmaBlockTable != nullptr) free_pool_with_tag(manager.dmaBlockTable, kTagRegisterTable);
  manager.dmaBlockTable = nullptr;
}

QelHwStatus CloseResourceManager(YatBoardExtension* board, bool timeLimited, bool keepShadows) {
  YatResourceManager& manager = board->registers;
  manager.built = 0;
  manager.accessEnabled = 0;
  for (std::uint32_t waited = 0; manager.accessesInProgress.load() > 0; ++waited) {
    // Giving up keeps the tables (access stays off): a later close frees them.
    if (timeLimited && waited >= kCloseWaitMs) return QELHW_ERROR_RESOURCE_IN_USE;
    delay_execution(relative_milliseconds(1));
  }
  FreeRegisterTables(manager);
  return BuildBlock64Table(board, keepShadows);
}

QelHwStatus Yat_InitResourceMan(YatBoardExtension* board) {
  if (board->registers.built) return QELHW_OK;
  QelHwStatus status = CloseResourceManager(board, false, true);
  if (status != QELHW_OK) return status;
  YatVariant variant;
  if (!YatVariantOfFpgaId(board->fpgaId, &variant)) {
    STAVRO_LOG(kLogError, "%s: Error <Yat_InitResourceMan> Invalid FPGA ID [0x%08x]", board->fpgaId);
    status = QELHW_ERROR_PARAMETER_INVALID;
  } else {
    status = BuildVariant(board, variant);
  }
  if (status != QELHW_OK) CloseResourceManager(board, false, false);
  return status;
}

QelHwStatus Yat_WriteReg(YatBoardExtension* board, std::uint32_t offset, std::uint32_t value) {
  if (board == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  AccessInProgress counted(board->registers);
  if (!board->registers.accessEnabled) {
    STAVRO_LOG(kLogError, "%s: Error <Yat_WriteReg> [0x%x = 0x%x] Resource manager not initialized", offset, value);
    return QELHW_ERROR_RESOURCE_NOT_INITIALIZED;
  }
  RegisterAt at{};
  QelHwStatus status = LocateRegister(board, "Yat_WriteReg", offset, false, &at);
  if (status != QELHW_OK) return status;
  const std::uint32_t access = Load(at.entry->access);
  if (access & kYatAccessWriteBoard) {
    BoardWrite(at.bar, offset, value);
  } else if (access & kYatAccessWriteThroughShadow) {
    Store(at.entry->shadow, value);
    BoardWrite(at.bar, offset, value);
  } else if (access & kYatAccessWriteShadow) {
    Store(at.entry->shadow, value);
  } else {
    STAVRO_LOG(kLogError, "%s: Error <Yat_WriteReg> Register no write access [0x%04x]", offset);
    return QELHW_ERROR_DEVICE_WRITE;
  }
  return QELHW_OK;
}

QelHwStatus Yat_ReadReg(YatBoardExtension* board, std::uint32_t offset, std::uint32_t* value) {
  if (board == nullptr || value == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  AccessInProgress counted(board->registers);
  if (!board->registers.accessEnabled && offset != kRegInterruptMask) {
    STAVRO_LOG(kLogError, "%s: Error <Yat_ReadReg> [0x%x] Resource manager not initialized", offset);
    return QELHW_ERROR_RESOURCE_NOT_INITIALIZED;
  }
  RegisterAt at{};
  const bool quiet = offset == kRegMainStatus || offset == kRegInterruptMask;
  QelHwStatus status = LocateRegister(board, "Yat_ReadReg", offset, quiet, &at);
  if (status != QELHW_OK) return status;
  return ComposeRead(at, offset, value);
}

QelHwStatus YatReadBoardRegister(YatBoardExtension* board, std::uint32_t offset, std::uint32_t* value) {
  volatile std::uint32_t* bar = Bar0(board);
  if (bar == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  if (!OffsetInRange(board, offset)) return QELHW_ERROR_PARAMETER_INVALID;
  *value = BoardRead(bar, offset);
  return QELHW_OK;
}

QelHwStatus Yat_SetBitsReg(YatBoardExtension* board, std::uint32_t offset, std::uint32_t value, std::uint32_t mask) {
  if (board == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  AccessInProgress counted(board->registers);
  if (!board->registers.accessEnabled) {
    STAVRO_LOG(kLogError, "%s: Error <Yat_SetBitsReg> [0x%x] Resource manager not initialized", offset);
    return QELHW_ERROR_RESOURCE_NOT_INITIALIZED;
  }
  RegisterAt at{};
  QelHwStatus status = LocateRegister(board, "Yat_SetBitsReg", offset, false, &at);
  if (status != QELHW_OK) return status;
  Irql old;
  acquire_spin_lock(&board->setBitsLock, &old);
  const std::uint32_t access = Load(at.entry->access);
  const bool writable = (access & (kYatAccessWriteBoard | kYatAccessWriteThroughShadow)) != 0;
  if (!writable || !Readable(access)) {
    status = QELHW_ERROR_DEVICE_WRITE;
  } else if ((access & kYatAccessSetBits) != 0 && (access & kYatAccessSetBitsBlockers) == 0) {
    const std::uint32_t next = (SetBitsBase(at, offset, access) & ~mask) | (value & mask);
    if (access & kYatAccessWriteThroughShadow) {
      Store(at.entry->shadow, next);
      BoardWrite(at.bar, offset, next);
    } else {
      BoardWrite(at.bar, offset, next);
    }
  }
  release_spin_lock(&board->setBitsLock, old);
  if (status != QELHW_OK)
    STAVRO_LOG(kLogError, "%s: Error <Yat_SetBitsReg> Register no read/write access [0x%04x]", offset);
  return status;
}

QelHwStatus Yat_WriteAndDisableReg(YatBoardExtension* board, std::uint32_t offset) {
  if (board == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  YatResourceManager& manager = board->registers;
  AccessInProgress counted(manager);
  if (!manager.accessEnabled) {
    STAVRO_LOG(kLogError, "%s: Error <Yat_WriteAndDisableReg> [0x%x] Resource manager not initialized", offset);
    return QELHW_ERROR_RESOURCE_NOT_INITIALIZED;
  }
  RegisterAt at{};
  QelHwStatus status = LocateRegister(board, "Yat_WriteAndDisableReg", offset, false, &at);
  if (status != QELHW_OK) return status;
  const std::uint32_t access = Load(at.entry->access);
  if ((access & (kYatAccessWriteBoard | kYatAccessWriteThroughShadow)) == 0) {
    STAVRO_LOG(kLogError, "%s: Error <Yat_WriteAndDisableReg> Register no read/write access [0x%04x]", offset);
    return QELHW_ERROR_DEVICE_WRITE;
  }
  Store(at.entry->access, access & ~(kYatAccessWriteBoard | kYatAccessWriteThroughShadow));
  WaitForOtherAccesses(manager, 1, kCloseWaitMs);
  if (access & kYatAccessWriteThroughShadow) Store(at.entry->shadow, 0);
  BoardWrite(at.bar, offset, 0);
  return QELHW_OK;
}

QelHwStatus ShadowRegisterWrite(YatBoardExtension* board, std::uint32_t offset, std::uint32_t value) {
  if (board == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  AccessInProgress counted(board->registers);
  if (!board->registers.accessEnabled) return QELHW_ERROR_RESOURCE_NOT_INITIALIZED;
  RegisterAt at{};
  QelHwStatus status = LocateRegister(board, "ShadowRegisterWrite", offset, false, &at);
  if (status == QELHW_OK) Store(at.entry->shadow, value);
  return status;
}

namespace {

struct CacheAt {
  volatile std::uint32_t* bar;
};

QelHwStatus LocateCache(YatBoardExtension* board, bool write, std::uint32_t offset, std::uint32_t count, CacheAt* at) {
  const char* operation = write ? "Yat_WriteCacheDwords" : "Yat_ReadCacheDwords";
  if (!board->registers.accessEnabled) {
    STAVRO_LOG(kLogError, "%s: Error <%s> [0x%x] Resource manager not initialized", operation, offset);
    return QELHW_ERROR_RESOURCE_NOT_INITIALIZED;
  }
  at->bar = Bar0(board);
  if (at->bar == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  const std::uint32_t block = offset / kYatBlockBytes;
  if (block >= kYatBlockCount) {
    STAVRO_LOG(kLogError, "%s: Error <%s> Offset out of range [0x%08x]", operation, offset);
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  const YatBlockEntry& entry = board->registers.blocks[block];
  if (entry.type != kYatBlockCache) {
    STAVRO_LOG(kLogError, "%s: Error <%s> This BAR0 block is not a cache block[0x%04x]", operation, offset);
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  if (!write && (entry.cacheFlags & kYatCacheRead) == 0) {
    STAVRO_LOG(kLogError, "%s: Error <%s> Read not supported for cache block [0x%04x]\n", operation, offset);
    return QELHW_ERROR_DEVICE_READ;
  }
  if (write && (entry.cacheFlags & kYatCacheWrite) == 0) {
    STAVRO_LOG(kLogError, "%s: Error <%s> write not supported for cache block [0x%04x]", operation, offset);
    return QELHW_ERROR_MEMORY_WRITE;
  }
  if (offset % 4 != 0) {
    STAVRO_LOG(kLogError, "%s: Error <%s> %s", operation, write ? "Write not aligned on DWORD" : "Read not aligned on DWORD");
    return write ? QELHW_ERROR_MEMORY_WRITE : QELHW_ERROR_DEVICE_READ;
  }
  // A count that runs past its block would reach another block's contents.
  if ((offset % kYatBlockBytes) / 4 + static_cast<std::uint64_t>(count) > kYatRegistersPerBlock ||
      offset + 4ull * count > board->ranges[0].length) {
    STAVRO_LOG(kLogError, "%s: Error <%s> Offset out of range [0x%08x]", operation, offset);
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  return QELHW_OK;
}

}  // namespace

QelHwStatus Yat_ReadCacheDwords(YatBoardExtension* board, std::uint32_t offset, std::uint32_t* words,
                                std::uint32_t count) {
  if (board == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  if (words == nullptr && count != 0) return QELHW_ERROR_ARG_INVALID;
  AccessInProgress counted(board->registers);
  CacheAt at{};
  QelHwStatus status = LocateCache(board, false, offset, count, &at);
  if (status != QELHW_OK) return status;
  for (std::uint32_t i = 0; i < count; ++i) words[i] = BoardRead(at.bar, offset + 4 * i);
  return QELHW_OK;
}

QelHwStatus Yat_WriteCacheDwords(YatBoardExtension* board, std::uint32_t offset, const std::uint32_t* words,
                                 std::uint32_t count) {
  if (board == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  if (words == nullptr && count != 0) return QELHW_ERROR_ARG_INVALID;
  AccessInProgress counted(board->registers);
  CacheAt at{};
  QelHwStatus status = LocateCache(board, true, offset, count, &at);
  if (status != QELHW_OK) return status;
  for (std::uint32_t i = 0; i < count; ++i) BoardWrite(at.bar, offset + 4 * i, words[i]);
  return QELHW_OK;
}

QelHwStatus YatWriteRegisterList(YatBoardExtension* board, const YatRegisterPair* list, std::uint32_t count) {
  if (list == nullptr && count != 0) return QELHW_ERROR_ARG_INVALID;
  for (std::uint32_t i = 0; i < count; ++i) {
    QelHwStatus status = Yat_WriteReg(board, list[i].offset, list[i].value);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus YatReadRegisterList(YatBoardExtension* board, YatRegisterPair* list, std::uint32_t count) {
  if (list == nullptr && count != 0) return QELHW_ERROR_ARG_INVALID;
  for (std::uint32_t i = 0; i < count; ++i) {
    QelHwStatus status = Yat_ReadReg(board, list[i].offset, &list[i].value);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

namespace {

constexpr std::uint32_t kUnitStride = 0x800;
constexpr std::uint32_t kIndexWrite = 0x5048, kDataWrite = 0x504C, kIndexRead = 0x5050, kDataRead = 0x5054;
constexpr std::uint32_t kPmWriteAddress = 0x5058, kPmStatus = 0x505C, kPmReadAddress = 0x5060;
constexpr std::uint32_t kPmReadData = 0x5064, kPmWriteCount = 0x5068, kPmBytesLeft = 0x506C;
constexpr std::uint32_t kPmWindow = 0x5400;
constexpr std::uint32_t kPmWriteReady = 0x1, kPmReadReady = 0x2;
constexpr std::uint32_t kPmPage = 1024;
constexpr std::uint32_t kPmPolls = 10, kPmStallUs = 10;

// Units whose registers lie inside the register space.
bool UnitValid(std::uint32_t unit) { return unit < kYatRegisterSpace / kUnitStride; }

// Polls a unit's status for `bit`; *ready tells whether it came.
QelHwStatus PollStatus(YatBoardExtension* board, std::uint32_t base, std::uint32_t bit, bool* ready) {
  *ready = false;
  for (std::uint32_t poll = 0; poll < kPmPolls; ++poll) {
    std::uint32_t status = 0;
    QelHwStatus result = Yat_ReadReg(board, base + kPmStatus, &status);
    if (result != QELHW_OK) return result;
    if (status & bit) {
      *ready = true;
      return QELHW_OK;
    }
    stall_execution(kPmStallUs);
  }
  return QELHW_OK;
}

}  // namespace

QelHwStatus YatWriteIndexRegisters(YatBoardExtension* board, std::uint32_t unit, const YatRegisterPair* list,
                                   std::uint32_t count) {
  if (list == nullptr && count != 0) return QELHW_ERROR_ARG_INVALID;
  if (!UnitValid(unit)) return QELHW_ERROR_PARAMETER_INVALID;
  const std::uint32_t base = unit * kUnitStride;
  for (std::uint32_t i = 0; i < count; ++i) {
    QelHwStatus status = Yat_WriteReg(board, base + kIndexWrite, list[i].offset);
    if (status == QELHW_OK) status = Yat_WriteReg(board, base + kDataWrite, list[i].value);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus YatReadIndexRegisters(YatBoardExtension* board, std::uint32_t unit, YatRegisterPair* list,
                                  std::uint32_t count) {
  if (list == nullptr && count != 0) return QELHW_ERROR_ARG_INVALID;
  if (!UnitValid(unit)) return QELHW_ERROR_PARAMETER_INVALID;
  const std::uint32_t base = unit * kUnitStride;
  for (std::uint32_t i = 0; i < count; ++i) {
    QelHwStatus status = Yat_WriteReg(board, base + kIndexRead, list[i].offset);
    if (status == QELHW_OK) status = Yat_ReadReg(board, base + kDataRead, &list[i].value);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus Yat_WriteProcessingMemory(YatBoardExtension* board, std::uint32_t unit, std::uint32_t address,
                                      const std::uint32_t* words, std::uint32_t count) {
  if (words == nullptr && count != 0) return QELHW_ERROR_ARG_INVALID;
  if (!UnitValid(unit) || count > 0x3FFFFFFF) return QELHW_ERROR_PARAMETER_INVALID;
  const std::uint32_t base = unit * kUnitStride;
  std::uint32_t page = address & ~(kPmPage - 1);
  std::uint32_t offset = address & (kPmPage - 1);
  std::uint32_t chunk = std::min((kPmPage - offset) / 4, count);
  bool ready = false;
  QelHwStatus status = PollStatus(board, base, kPmWriteReady, &ready);
  std::uint32_t left = 0;
  if (status == QELHW_OK) status = Yat_ReadReg(board, base + kPmBytesLeft, &left);
  if (status != QELHW_OK) return status;
  if (left != 0) STAVRO_LOG(kLogError, "%s: Error <Yat_WriteProcessingMemory> txLeft = 0x%08X", left);
  status = Yat_WriteReg(board, base + kPmWriteCount, count * 4);
  for (std::uint32_t remaining = count; status == QELHW_OK && remaining > 0;) {
    stall_execution(kPmStallUs);
    status = PollStatus(board, base, kPmWriteReady, &ready);
    if (status != QELHW_OK) break;
    if (!ready) STAVRO_LOG(kLogError, "%s: Error <Yat_WriteProcessingMemory> timeout");
    status = Yat_WriteReg(board, base + kPmWriteAddress, page);
    for (std::uint32_t i = 0; status == QELHW_OK && i < chunk; ++i)
      status = Yat_WriteReg(board, base + kPmWindow + offset + 4 * i, words[i]);
    words += chunk;
    remaining -= chunk;
    page += kPmPage;
    offset = 0;
    chunk = std::min(kPmPage / 4, remaining);
  }
  return status;
}

QelHwStatus Yat_ReadProcessingMemory(YatBoardExtension* board, std::uint32_t unit, std::uint32_t address,
                                     std::uint32_t* words, std::uint32_t count) {
  if (words == nullptr && count != 0) return QELHW_ERROR_ARG_INVALID;
  if (!UnitValid(unit)) return QELHW_ERROR_PARAMETER_INVALID;
  const std::uint32_t base = unit * kUnitStride;
  for (std::uint32_t i = 0; i < count; ++i, address += 4) {
    QelHwStatus status = Yat_WriteReg(board, base + kPmReadAddress, address);
    if (status != QELHW_OK) return status;
    stall_execution(kPmStallUs);
    bool ready = false;
    status = PollStatus(board, base, kPmReadReady, &ready);
    if (status != QELHW_OK) return status;
    if (!ready) {
      STAVRO_LOG(kLogError, "%s: Error <Yat_ReadProcessingMemory> timeout");
      return QELHW_ERROR_RESOURCE_UNAVAILABLE;
    }
    status = Yat_ReadReg(board, base + kPmReadData, &words[i]);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}
