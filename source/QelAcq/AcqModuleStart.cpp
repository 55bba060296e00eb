// The module's start and end in a process: detection of every board, the
// process's handle objects and interface tables, and, in the first process
// to start a board, each device initialised with its input registered for
// the time of its initialisation.
#include <array>
#include <cstring>
#include <memory>

#include "qellib/QelLog.h"
#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqHostMutex.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/AcqServer.h"
#include "source/QelAcq/AcqValidators.h"
#include "source/QelAcq/acqmonitor.h"

namespace {

struct ApplyTables {
  std::unique_ptr<AcqPrmHandler[]> vic;
  std::unique_ptr<AcqPrmHandler[]> cam;
};

struct BoardState {
  std::recursive_mutex section;
  bool ready = false;
  AcqBoardDetection detection{};
  std::array<ApplyTables, kAcqSlotsPerBoard> apply;
};

std::array<BoardState, kAcqMaxBoards>& Boards() {
  static auto* boards = new std::array<BoardState, kAcqMaxBoards>;  // event threads may outlive static teardown
  return *boards;
}

bool IsFirstForBoard(std::uint32_t board) { return AcqGetSharedTables()->boardInitialised[board] == 0; }

QelStatus AcqModTablesInit() {
  AcqSharedTables* shared = AcqGetSharedTables();
  {
    AcqHostMutex guard(kAcqHostMutexName, kAcqModuleLabel);
    if (shared->moduleInitialised == 0) {
      std::memset(shared->records, 0, sizeof shared->records);
      std::memset(shared->ownerTags, 0, sizeof shared->ownerTags);
      std::memset(shared->deviceCount, 0, sizeof shared->deviceCount);
      shared->moduleInitialised = 1;
    }
  }
  AcqClearOthStructs();
  for (std::uint32_t board = 0; board < kAcqMaxBoards; ++board)
    for (std::uint32_t slot = 0; slot < kAcqSlotsPerBoard; ++slot) AcqFreeHandle(board, slot);
  return AcqServerInit();
}

QelStatus AcqAllocHandles(std::uint32_t board, std::uint32_t count, bool first) {
  BoardState& state = Boards()[board];
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    if (AcqAllocHandle(board, slot) == nullptr) return kAcqOutOfMemoryPlain;
    if (first) std::memset(AcqGetShadowRecord(board, slot), 0, sizeof(AcqDeviceRecord));
    ApplyTables& tables = state.apply[slot];
    tables.vic.reset(new (std::nothrow) AcqPrmHandler[kAcqVicPrmCount]());
    tables.cam.reset(new (std::nothrow) AcqPrmHandler[kAcqCamPrmCount]());
    if (tables.vic == nullptr || tables.cam == nullptr) return kAcqOutOfMemoryPlain;
  }
  return 0;
}

QelStatus FillTables(std::uint32_t board, std::uint32_t slot) {
  othStruct* table = AcqGetOthStruct(board, slot);
  const AcqDetectionEntry& entry = Boards()[board].detection[slot];
  AcqInitOthStructHeader(table);
  table->vicValidators = VicPrmValidatorTable.data();
  table->vicApplyTable = Boards()[board].apply[slot].vic.get();
  table->camValidators = CamPrmValidatorTable.data();
  table->camApplyTable = Boards()[board].apply[slot].cam.get();
  if (entry.vicApplyTable == nullptr || entry.camApplyTable == nullptr || entry.deviceTable == nullptr)
    return kAcqSlotMissing;
  QelStatus status = entry.vicApplyTable(table);
  if (status == 0) status = entry.camApplyTable(table);
  if (status == 0) status = entry.deviceTable(table);
  return status;
}

QelStatus AcqInitRecords(std::uint32_t board, std::uint32_t count, bool first) {
  if (first) AcqGetSharedTables()->openSet[board] = 0;
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    AcqDeviceRecord* record = AcqGetShadowRecord(board, slot);
    std::uint32_t mask = 0;
    acqGetDeviceConnector(board, slot, &mask);
    AcqInitRecordHeaders(record, board, slot, mask);
    if (first) {
      std::memset(record->vic.modified.words, 0, sizeof record->vic.modified.words);
      std::memset(record->cam.modified.words, 0, sizeof record->cam.modified.words);
    }
    if (const QelStatus status = FillTables(board, slot); status != 0) return status;
  }
  return 0;
}

// Each device with its slot registered for the time of its initialisation;
// the first initialisation error is kept, a registration error ends at once.
QelStatus AcqInitBoardDevices(std::uint32_t board, std::uint32_t count) {
  QelStatus kept = 0;
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    std::uint32_t conflict = 0;
    const othStruct* table = AcqGetOthStruct(board, slot);
    if (const QelStatus opened = acqRegisterDevice(board, slot, 1, &conflict, table); opened != 0) return opened;
    const QelStatus status = AcqInitDevice(board, slot);
    if (kept == 0) kept = status;
    if (const QelStatus closed = acqRegisterDevice(board, slot, 0, &conflict, table); closed != 0) return closed;
  }
  return kept;
}

QelStatus AcqInitBoard(std::uint32_t board) {
  AcqSharedTables* shared = AcqGetSharedTables();
  BoardState& state = Boards()[board];
  const QelStatus detected = acqDetect(board, shared->deviceCount, &state.detection);
  if (detected != 0) return detected;
  // The board mutex makes one process the first to initialise the board. It
  // is taken before the section, as every request takes them: a request of
  // this process that holds the mutex while the start-up waits for it can
  // still enter the section.
  AcqBoardMutex mutex(board);
  if (!mutex.held()) return kAcqBoardMutexMissed;
  std::lock_guard<std::recursive_mutex> section(state.section);
  const std::uint32_t count = AcqGetDeviceCount(board);
  const bool first = IsFirstForBoard(board);
  QelStatus status = AcqAllocHandles(board, count, first);
  if (status == 0) status = AcqInitRecords(board, count, first);
  if (status != 0) return status;
  state.ready = true;
  if (first) {
    status = AcqInitBoardDevices(board, count);
    shared->boardInitialised[board] = 1;
  }
  return status;
}

void AcqFreeBoard(std::uint32_t board) {
  BoardState& state = Boards()[board];
  std::lock_guard<std::recursive_mutex> section(state.section);
  for (std::uint32_t slot = 0; slot < kAcqSlotsPerBoard; ++slot) {
    AcqFreeHandle(board, slot);
    if (othStruct* table = AcqGetOthStruct(board, slot)) *table = othStruct{};
    state.apply[slot] = ApplyTables{};
  }
  state.ready = false;
}

}  // namespace

bool AcqBoardReady(std::uint32_t board) { return board < kAcqMaxBoards && Boards()[board].ready; }

std::recursive_mutex& AcqBoardSection(std::uint32_t board) { return Boards()[board % kAcqMaxBoards].section; }

QelStatus AcqModuleInit() {
  QelStatus status = AcqModTablesInit();
  if (status != 0) return status;
  for (std::uint32_t board = 0; board < kAcqMaxBoards; ++board) {
    status = AcqInitBoard(board);
    // Every failing board is named, not only the last one.
    if (status != 0)
      LogPutLog(kQelLogError, __FILE__, __LINE__, "QELACQ: AcqModuleInit, board %u could not be initialised (0x%x)",
                board, status);
  }
  return status == 0 ? AcqMonitorInit() : status;
}

QelStatus AcqModuleFree() {
  // A device this process still holds is closed as its release would, so that
  // a process that goes on living does not keep it.
  AcqReleaseOwnDevices();
  acqReleaseAllBoardDevices();
  AcqMonitorFree();
  for (std::uint32_t board = 0; board < kAcqMaxBoards; ++board) AcqFreeBoard(board);
  AcqServerFree();
  return 0;
}
