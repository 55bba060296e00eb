#include <cstring>

#include "driver/kernel/BoardControl.h"
#include "driver/kernel/Channels.h"
#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/OnboardMemory.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/registers.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

constexpr std::uint32_t kRegDmaEnables = 0x10010;
constexpr std::uint32_t kDmaEnableHost = 0x1;
constexpr std::uint32_t kDmaEnableOnBoard = 0x2;
constexpr std::uint32_t kRegHostDmaStatus = 0x10014;
constexpr std::uint32_t kSerialPortControl[4] = {0x1220, 0x1620, 0x1A20, 0x1E20};
constexpr std::uint32_t kTransferAbortDelay = 1000;
constexpr std::uint32_t kFurtherSetting = 5;

// The interrupt count is a rate: it starts afresh every period.
void BoardTimerDpc(Dpc*, void* context, void*, void*) {
  auto* board = static_cast<YatBoardExtension*>(context);
  board->interruptCount = 0;
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  set_timer(&board->boardTimer, manager ? manager->boardTimerPeriod : kYatBoardTimerPeriod, 0, &board->boardTimerDpc);
}

void StopBoardTimer(YatBoardExtension* board) {
  cancel_timer(&board->boardTimer);
  remove_queued_dpc(&board->boardTimerDpc);
  // A DPC already running may have set the timer again.
  flush_queued_dpcs();
  cancel_timer(&board->boardTimer);
  remove_queued_dpc(&board->boardTimerDpc);
}

void UnmapRanges(YatBoardExtension* board) {
  for (std::uint32_t i = 0; i < board->rangeCount && i < kYatMaxRanges; ++i) {
    if (board->ranges[i].mapped != nullptr)
      unmap_io_space(const_cast<std::uint32_t*>(board->ranges[i].mapped), board->ranges[i].length);
    board->ranges[i] = {};
  }
  board->rangeCount = 0;
}

void InitBoardLocks(YatBoardExtension* board) {
  for (KernelMutex* mutex :
       {&board->eepromMutex, &board->i2cMutex, &board->flashMutex, &board->onboardMemoryMutex,
        &board->onboardAllocatorLock, &board->configurationMutex, &board->transferMutex, &board->serialMutex,
        &board->serial.lifecycleMutex, &board->serial.ports.threadMutex})
    initialize_mutex(mutex);
  for (SpinLock* lock :
       {&board->serialLock, &board->dmaMessageLock, &board->ioEventLock, &board->lineEventLock, &board->setBitsLock,
        &board->reloadLock})
    initialize_spin_lock(lock);
  initialize_event(&board->serial.event, EventType::kSynchronization, false);
  initialize_event(&board->secondEvent, EventType::kSynchronization, false);
}

void ResetOwnerTables(YatBoardExtension* board) {
  for (std::uint32_t& owner : board->acqOwner) owner = kYatNoOwner;
  for (std::uint32_t& owner : board->acqOwnerSecond) owner = kYatNoOwner;
  for (std::uint32_t& owner : board->acqOwnerThird) owner = kYatNoOwner;
  for (std::uint32_t& owner : board->routeOwner) owner = kYatNoOwner;
}

// Silences the board's interrupt and DMA sources before it goes.
void SilenceBoard(YatBoardExtension* board) {
  if (board->rangeCount == 0 || board->ranges[0].mapped == nullptr) return;
  Yat_SetBitsReg(board, kRegDmaEnables, 0, kDmaEnableHost);
  // Registers outside block 64 exist only while the register map is built.
  if (board->registers.built) {
    Yat_WriteAndDisableReg(board, 0x420);
    std::uint32_t ports = 0;
    if (GetSerialPortCount(board, &ports) != QELHW_OK) ports = 0;
    for (std::uint32_t port = 0; port < ports && port < 4; ++port) Yat_WriteAndDisableReg(board, kSerialPortControl[port]);
  }
  Yat_WriteAndDisableReg(board, kRegHostDmaStatus);
  if (board->registers.built) Yat_WriteAndDisableReg(board, 0x418);
}

}  // namespace

NtStatus InitBoardExtension(DeviceObject* boardDevice, DeviceObject* controlDevice, std::uint32_t slot) {
  YatBoardExtension* board = BoardOf(boardDevice);
  std::memset(static_cast<void*>(board), 0, sizeof *board);
  board->managerDevice = controlDevice;
  board->kind = kYatBoardKind;
  board->boardSlot = slot;
  board->ownDevice = boardDevice;
  board->fpgaMemory.ownerSlot = -1;
  YatInitEventRouting(&board->routing);
  // A board that never starts is still closed at removal: its locks exist from the add on.
  InitBoardLocks(board);
  initialize_timer(&board->boardTimer, TimerType::kSynchronization);
  initialize_dpc(&board->boardTimerDpc, BoardTimerDpc, board);
  YatManagerExtension* manager = ManagerOf(controlDevice);
  set_timer(&board->boardTimer, manager->boardTimerPeriod, 0, &board->boardTimerDpc);
  for (std::uint32_t channel = 0; channel < kYatChannels; ++channel) InitChannel(board, channel);
  return plat::kStatusSuccess;
}

QelHwStatus BoardAddDevice(YatBoardExtension* board) {
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  // Without block 64 no register may be touched: the board then stays without register access.
  if (BuildBlock64Table(board, false) != QELHW_OK)
    STAVRO_LOG(kLogError, "%s: BOARDADDDEVICE => Unable to allocate the register table");
  const bool eepromRead = YatStartupReadEeprom(board) == QELHW_OK;
  if (!eepromRead && manager != nullptr && (manager->traceFlags & kTraceLifeCycle))
    STAVRO_LOG(kLogNotice, "%s: BOARDADDDEVICE => Unable to read Eeprom");
  const bool flashRead = YatStartupReadFlashId(board) == QELHW_OK;
  if (!flashRead) {
    STAVRO_LOG(kLogError, "%s: BOARDADDDEVICE => Unable to read Flash ID");
  } else {
    STAVRO_LOG(kLogTrace, "%s: Board %d, Flash ID = 0x%x", static_cast<int>(board->boardSlot), board->flashId);
  }
  board->modelWord = board->eepromImage[4] * 16u + board->eepromImage[5];
  initialize_event(&board->onboardMemoryEvent, EventType::kNotification, false);
  ResetOwnerTables(board);
  if (eepromRead && flashRead) YatStopBoardActivity(board);
  board->flagBits &= ~3u;
  board->transferAbortDelay = kTransferAbortDelay;
  board->furtherSetting = kFurtherSetting;
  for (std::uint32_t channel = 0; channel < kYatChannels; ++channel) ArmChannelTimer(board, channel);
  return QELHW_OK;
}

void CloseBoard(YatBoardExtension* board) {
  StopBoardTimer(board);
  YatReleaseBoardMemory(board);
  SilenceBoard(board);
  Yat_CloseFpgaMemoryManager(board);
  Yat_SetBitsReg(board, kRegDmaEnables, 0, kDmaEnableOnBoard);
  CloseResourceManager(board, false, false);
  FreeBlock64Table(board);
  YatRemoveSerialPorts(board);
  for (std::uint32_t channel = 0; channel < kYatChannels; ++channel) CloseChannel(board, channel);
  if (board->interrupt != nullptr) disconnect_interrupt(board->interrupt);
  board->interrupt = nullptr;
  remove_queued_dpc(&board->ownDevice->dpc);
  flush_queued_dpcs();
  PutDmaAdapter(board);
  UnmapRanges(board);
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  if (manager != nullptr && (manager->traceFlags & kTraceLifeCycle)) {
    STAVRO_LOG(kLogTrace, "%s: CLOSEBOARD => Board(%d): offline", static_cast<int>(board->boardSlot));
  }
}
