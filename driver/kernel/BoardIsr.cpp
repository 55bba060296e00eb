// The board's interrupt routine and DPC: the routine only reads, acknowledges
// and accumulates the statuses; the DPC turns them into event numbers for the
// message decoder.
#include "driver/kernel/BoardControl.h"
#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/registers.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kRegMainStatus = 0x404;
constexpr std::uint32_t kRegAuxA = 0x408;
constexpr std::uint32_t kRegAuxB = 0x40C;
constexpr std::uint32_t kRegRegionEvents = 0x44C;
constexpr std::uint32_t kRegLineEvents = 0x800;
constexpr std::uint32_t kRegIoEvents = 0x820;
constexpr std::uint32_t kRegHostDmaStatus = 0x10014;
constexpr std::uint32_t kGoneStatus = 0x0FFFFFFF;
constexpr std::uint32_t kHostDmaPending = 0x80;
constexpr std::uint32_t kHostDmaQueueEmpty = 0x4;
constexpr std::uint32_t kMaxDmaMessages = 128;

// Pending-status words.
enum : std::uint32_t { kMain = 0, kAuxA = 1, kAuxB = 2, kDma = 3, kIo = 6, kLine = 7, kRegions = 8 };

bool Bit(std::uint32_t value, std::uint32_t bit) { return (value >> bit) & 1u; }

volatile std::uint32_t* Bar0(YatBoardExtension* board) {
  return board->rangeCount > 0 ? board->ranges[0].mapped : nullptr;
}

void DirectWrite(volatile std::uint32_t* bar, std::uint32_t offset, std::uint32_t value) {
  write_register32(bar + offset / 4, value);
  memory_barrier();
}

struct IsrStatus {
  std::uint32_t dma = 0, main = 0, auxA = 0, auxB = 0, io = 0, line = 0, regions = 0;
  bool regionsRead = false;
};

void ReadEventRegisters(YatBoardExtension* board, IsrStatus& s) {
  if (Bit(s.main, 9) && Yat_ReadReg(board, kRegRegionEvents, &s.regions) == QELHW_OK) {
    Yat_WriteReg(board, kRegRegionEvents, s.regions);
    s.regionsRead = true;
  }
  if (Bit(s.main, 31)) Yat_ReadReg(board, kRegAuxA, &s.auxA);
  if (Bit(s.main, 30)) Yat_ReadReg(board, kRegAuxB, &s.auxB);
  if (Bit(s.main, 17)) {
    std::uint32_t io = 0;
    if (Yat_ReadReg(board, kRegIoEvents, &io) == QELHW_OK) {
      Yat_WriteReg(board, kRegIoEvents, io);
      s.io = io & 0xF0;
    }
    std::uint32_t line = 0;
    if (Yat_ReadReg(board, kRegLineEvents, &line) == QELHW_OK) {
      s.line = line & 0x100FF;
      Yat_WriteReg(board, kRegLineEvents, s.line);
    }
  }
}

void Acknowledge(YatBoardExtension* board, volatile std::uint32_t* bar, const IsrStatus& s) {
  if (Bit(s.dma, 7)) DirectWrite(bar, kRegHostDmaStatus, s.dma);
  if (s.auxA != 0) Yat_WriteReg(board, kRegAuxA, s.auxA);
  if (s.auxB != 0) Yat_WriteReg(board, kRegAuxB, s.auxB);
  if (s.main != 0) DirectWrite(bar, kRegMainStatus, s.main);
}

void Accumulate(YatBoardExtension* board, const IsrStatus& s) {
  for (std::uint32_t bit = 25; bit <= 28; ++bit)
    if (Bit(s.main, bit)) board->statusTimeStamps[bit - 25] = query_performance_counter(nullptr);
  std::uint32_t* pending = board->pendingStatus;
  pending[kMain] |= s.main;
  pending[kAuxA] |= s.auxA;
  pending[kAuxB] |= s.auxB;
  pending[kDma] |= s.dma;
  pending[kIo] |= s.io;
  pending[kLine] |= s.line;
  if (s.regionsRead) pending[kRegions] = s.regions;
}

}  // namespace

QelHwStatus BoardIsr(YatBoardExtension* board, DeviceObject* device, void*) {
  volatile std::uint32_t* bar = board ? Bar0(board) : nullptr;
  if (bar == nullptr || (board->interruptMaskWord & 1u) == 0) return QELHW_ERROR_NO_INTERRUPT;
  IsrStatus s;
  // The DMA status comes straight from the board: only there do all its bits tell a board that is gone.
  if (board->registers.built) {
    s.dma = read_register32(bar + kRegHostDmaStatus / 4);
    if ((s.dma & kGoneStatus) == kGoneStatus) {
      board->interruptMaskWord &= ~1u;
      return QELHW_ERROR_NO_INTERRUPT;
    }
  }
  s.main = Bit(s.dma, 7) ? 0 : read_register32(bar + kRegMainStatus / 4);
  ReadEventRegisters(board, s);
  if (Bit(s.main, 0)) YatSerialIsr(board);
  if (!Bit(s.dma, 7) && s.main == 0 && s.auxB == 0 && s.io == 0) return QELHW_ERROR_NO_INTERRUPT;
  Acknowledge(board, bar, s);
  Accumulate(board, s);
  ++board->interruptCount;
  if (device != nullptr) queue_dpc(&device->dpc, ManagerOf(board->managerDevice), nullptr);
  return QELHW_OK;
}

namespace {

struct PendingTake {
  YatBoardExtension* board;
  std::uint32_t words[kYatPendingWords];
};

bool TakePending(void* context) {
  auto* take = static_cast<PendingTake*>(context);
  for (std::uint32_t i = 0; i < kYatPendingWords; ++i) {
    take->words[i] = take->board->pendingStatus[i];
    take->board->pendingStatus[i] = 0;
  }
  return true;
}

void Hand(YatBoardExtension* board, std::uint32_t event) { DecodeInterruptMessages(board, event); }

void HandBits(YatBoardExtension* board, std::uint32_t value, std::uint32_t firstBit, std::uint32_t lastBit,
              std::uint32_t firstEvent) {
  for (std::uint32_t bit = firstBit; bit <= lastBit; ++bit)
    if (Bit(value, bit)) Hand(board, firstEvent + bit - firstBit);
}

void HandAcquisitionEvents(YatBoardExtension* board, std::uint32_t main) {
  for (std::uint32_t bit = 3; bit <= 5; ++bit) {
    if (Bit(main, bit) && DecodeInterruptMessages(board, 258 + bit - 3) != QELHW_OK)
      STAVRO_LOG(kLogError, "%s: Error YatMgrDpc =>  Can't add a Acq Message = %d", static_cast<int>(258 + bit - 3));
  }
}

void SignalSerial(YatBoardExtension* board) {
  acquire_spin_lock_at_dpc_level(&board->serialLock);
  const bool threadRuns = board->serial.thread != nullptr;
  if (threadRuns) set_event(&board->serial.event);
  release_spin_lock_from_dpc_level(&board->serialLock);
  if (!threadRuns)
    STAVRO_LOG(kLogWarning, "%s:  Recieved Serial Event before ports have been registered. Board(%d), ",
               static_cast<int>(board->boardSlot));
}

void HandRegionEvents(YatBoardExtension* board, std::uint32_t regionEvents) {
  // The first bank's regions each have their mask of event bits.
  constexpr std::uint32_t kRegionMasks[4] = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
  const std::uint32_t regions = board->fpgaMemory.regionCount[0];
  for (std::uint32_t region = 0; region < 4; ++region) {
    const std::uint32_t needed = region < 2 ? region + 1 : 4;
    if (regions >= needed && (regionEvents & kRegionMasks[region])) Hand(board, 352 + region);
  }
}

// Frame-end events of the two cameras: `statusBit` of 0x110C / 0x150C with `enableBit` of 0x1110 / 0x1510.
void HandCameraPair(YatBoardExtension* board, std::uint32_t statusBit, std::uint32_t enableBit, std::uint32_t event) {
  for (std::uint32_t camera = 0; camera < 2; ++camera) {
    std::uint32_t status = 0, enable = 0;
    if (Yat_ReadReg(board, 0x110C + camera * 0x400, &status) != QELHW_OK) return;
    if (camera == 1 && status == 0xFFFFFFFF) return;
    if (Yat_ReadReg(board, 0x1110 + camera * 0x400, &enable) != QELHW_OK) return;
    if (Bit(status, statusBit) && Bit(enable, enableBit)) Hand(board, event + camera);
  }
}

void HandAuxA(YatBoardExtension* board, std::uint32_t a) {
  HandBits(board, a, 0, 3, 416);
  HandBits(board, a, 8, 11, 424);
  HandBits(board, a, 4, 7, 420);
  HandBits(board, a, 12, 30, 428);
  if (Bit(a, 31)) Hand(board, 447);
}

void HandHostDmaMessages(YatBoardExtension* board) {
  acquire_spin_lock_at_dpc_level(&board->dmaMessageLock);
  QelHwStatus status = QELHW_OK;
  for (std::uint32_t handed = 0;;) {
    std::uint32_t dma = 0;
    status = Yat_ReadReg(board, kRegHostDmaStatus, &dma);
    if (status != QELHW_OK || (dma & kHostDmaQueueEmpty)) break;
    status = DecodeInterruptMessages(board, 256);
    if (status != QELHW_OK) break;
    if (++handed > kMaxDmaMessages) {
      STAVRO_LOG(kLogError, "%s: YatMgrDpc => More than 128 messages read: Overflow");
      break;
    }
  }
  release_spin_lock_from_dpc_level(&board->dmaMessageLock);
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  if (status != QELHW_OK && manager != nullptr && (manager->traceFlags & kTraceAnyFatal))
    STAVRO_LOG(kLogWarning, "%s: Fatal Error YatMgrDpc =>  Can't read Host DMA messages in the DPC status = %X",
               static_cast<unsigned>(status));
}

}  // namespace

void YatMgrDpc(Dpc*, void* context, void*, void*) {
  auto* device = static_cast<DeviceObject*>(context);
  YatBoardExtension* board = BoardOf(device);
  if (board == nullptr) return;
  PendingTake take{board, {}};
  if (board->interrupt != nullptr) synchronize_with_interrupt(board->interrupt, TakePending, &take);
  else TakePending(&take);
  const std::uint32_t m = take.words[kMain], a = take.words[kAuxA], b = take.words[kAuxB], d = take.words[kDma];
  const std::uint32_t r = take.words[kIo], line = take.words[kLine], e = take.words[kRegions];

  HandAcquisitionEvents(board, m);
  if (Bit(m, 0)) SignalSerial(board);
  if (Bit(m, 6)) set_event(&board->onboardMemoryEvent);
  if (Bit(m, 7)) Hand(board, 261);
  if (Bit(m, 9)) HandRegionEvents(board, e);
  if (Bit(m, 2)) HandCameraPair(board, 27, 30, 592);
  if (Bit(m, 8)) HandCameraPair(board, 26, 31, 608);
  constexpr std::uint32_t kGroupA[4][2] = {{10, 368}, {18, 369}, {19, 370}, {20, 371}};
  constexpr std::uint32_t kGroupB[4][2] = {{11, 448}, {13, 449}, {12, 452}, {14, 453}};
  constexpr std::uint32_t kGroupC[4][2] = {{15, 267}, {16, 268}, {21, 269}, {22, 270}};
  for (const auto* group : {kGroupA, kGroupB, kGroupC})
    for (std::uint32_t i = 0; i < 4; ++i)
      if (Bit(m, group[i][0])) Hand(board, group[i][1]);
  HandBits(board, m, 25, 28, 271);
  if (Bit(m, 17) && r != 0) {
    acquire_spin_lock_at_dpc_level(&board->ioEventLock);
    HandBits(board, r, 4, 7, 320);
    release_spin_lock_from_dpc_level(&board->ioEventLock);
  }
  if (Bit(m, 17) && line != 0) {
    acquire_spin_lock_at_dpc_level(&board->lineEventLock);
    YatIoLineDispatch(board, line);
    release_spin_lock_from_dpc_level(&board->lineEventLock);
  }
  if (Bit(m, 31)) HandAuxA(board, a);
  if (Bit(d, 7) || Bit(m, 1)) HandHostDmaMessages(board);
  if (Bit(m, 30)) {
    if (Bit(b, 0)) Hand(board, 464);
    if (Bit(b, 1)) Hand(board, 465);
    if (Bit(b, 3)) set_event(&board->secondEvent);
  }
  if (Bit(b, 10)) Hand(board, 576);
  if (Bit(b, 11)) Hand(board, 577);
}

