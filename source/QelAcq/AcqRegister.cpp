// A slot's registration: its camera input taken as a board resource, or given
// back; and the release of this process's board-library handles.
#include <cstring>

#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqHostMutex.h"
#include "source/QelAcq/AcqHwHandles.h"

namespace {

constexpr const char kRegisterMutexOwner[] = "Quillet.DLL";

AcqDetectionTables& Tables() { return AcqGetSharedTables()->detection; }

QelStatus Open(std::uint32_t board, std::uint32_t slot, std::uint32_t* conflict, const othStruct* table) {
  AcqDetectionTables& t = Tables();
  const std::uint32_t mask = t.resourceMask[board][slot];
  for (std::uint32_t j = 0; j < kAcqSlotsPerBoard; ++j)
    if (t.registration[board][j] == 1 && (t.resourceMask[board][j] & mask) != 0) {
      *conflict = j;
      return kAcqSlotInUse;
    }
  if (table == nullptr || table->selectInput == nullptr) {
    t.registration[board][slot] = 1;
    return 0;
  }
  AcqHostMutex first(kAcqHostMutexName, kRegisterMutexOwner);
  AcqHostMutex second(kAcqHostMutexSecondName, kRegisterMutexOwner);
  AcqOpenHwHandle(board, slot, LowestBitIndex(mask));
  const QelStatus status = table->selectInput(board);
  if (status == 0) t.registration[board][slot] = 1;
  second.release();
  first.release();
  return status;
}

QelStatus Close(std::uint32_t board, std::uint32_t slot, const othStruct* table) {
  AcqDetectionTables& t = Tables();
  if (t.registration[board][slot] != 1) return 0;
  AcqHostMutex mutex(kAcqHostMutexName, kRegisterMutexOwner);
  QelStatus status = mutex.held() ? 0 : kAcqHostMutexMissed;
  if (!AcqHasHwHandle(board, slot)) {
    AcqOpenHwHandle(board, slot, LowestBitIndex(t.resourceMask[board][slot]));
    if (table != nullptr && table->selectInput != nullptr) {
      status = table->selectInput(board);
      if (status != 0) return status;
    }
  }
  if (table != nullptr && table->deselectInput != nullptr) status = table->deselectInput(board);
  if (status == 0) AcqCloseHwHandle(board, slot);
  t.registration[board][slot] = 0;
  return status;
}

}  // namespace

QelStatus acqRegisterDevice(std::uint32_t board, std::uint32_t slot, std::uint32_t open, std::uint32_t* conflict,
                            const othStruct* table) {
  std::uint32_t ignored = 0;
  if (conflict == nullptr) conflict = &ignored;
  *conflict = 0;
  if (board >= kAcqMaxBoards || slot >= kAcqSlotsPerBoard) return kAcqNoConnector;
  return open != 0 ? Open(board, slot, conflict, table) : Close(board, slot, table);
}

QelStatus acqGetDeviceConnector(std::uint32_t board, std::uint32_t slot, std::uint32_t* out) {
  if (board >= kAcqMaxBoards || slot >= kAcqSlotsPerBoard || out == nullptr) return kAcqNoConnector;
  const std::uint32_t mask = Tables().resourceMask[board][slot];
  if (mask == 0) return kAcqNoConnector;
  *out = mask;
  return 0;
}

void acqReleaseBoardDevices(std::uint32_t board) {
  if (board >= kAcqMaxBoards || Tables().detected[board] == 0 || !AcqIsDigitalPresent()) return;
  for (std::uint32_t slot = 0; slot < kAcqSlotsPerBoard; ++slot)
    if (Tables().registration[board][slot] != 0) AcqCloseHwHandle(board, slot);
}

void acqReleaseAllBoardDevices() {
  for (std::uint32_t board = 0; board < kAcqMaxBoards && Tables().detected[board] != 0; ++board)
    acqReleaseBoardDevices(board);
}

void acqSetBoardRegistration(std::uint32_t board, std::uint32_t value) {
  if (board >= kAcqMaxBoards) return;
  AcqHostMutex mutex(kAcqHostMutexName, kRegisterMutexOwner);
  for (std::uint32_t& state : Tables().registration[board]) state = value;
}
