// acqDetect: the board's one hardware detection, then the registration of the
// stored result for the calling process.
#include <array>
#include <cstring>

#include "driver/user/Pardow.h"
#include "driver/user/YatSharedData.h"
#include "firmware/win32/QelExtInterface.h"
#include "qellib/QelLog.h"
#include "source/QelAcq/AcqApplyTables.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqHostMutex.h"
#include "source/QelAcq/AcqHwHandles.h"

namespace {

constexpr const char kDetectMutexOwner[] = "Pardow.DLL";
constexpr const char kModuleName[] = "Quillet.DLL";
constexpr std::uint32_t kModelOffset = 38;
constexpr std::uint32_t kFirmwareOptionsOffset = 72;

std::array<bool, kAcqMaxBoards> g_failed{};  // this process's own detection of the board failed

AcqDetectionTables& Tables() { return AcqGetSharedTables()->detection; }

struct BoardFacts {
  std::array<std::uint8_t, YAT_FLASH_RECORD_SIZE> firmware{};
  std::array<std::uint8_t, YAT_EEPROM_IMAGE_SIZE> eeprom{};
};

// The hardware steps; the first failing one ends them with its status.
QelStatus ReadBoard(std::uint32_t board, BoardFacts* facts) {
  QelStatus status = AcqFpgaInitialize(board);
  if (status == 0) status = TranslateStatus(Yat_FPGA_ResetBoard(board));
  if (status == 0) status = TranslateStatus(Yat_Man_GetVirtex2Info(board, facts->firmware.data()));
  if (status == 0) status = ExtEepromGetInfo(board, 0, facts->eeprom.data(), YAT_EEPROM_IMAGE_SIZE);
  return status;
}

std::array<std::uint32_t, kAcqSlotsPerBoard> Candidates(std::uint32_t board, const BoardFacts& facts) {
  const std::uint16_t options = AcqField16(facts.firmware.data(), kFirmwareOptionsOffset);
  const AcqCandidates candidates = AcqChooseCandidates(facts.eeprom.data(), options);
  if (candidates.verdict == AcqModelVerdict::kUnknown)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s board #%d, acqDetect => unknow board model 0x%08x", kModuleName,
              static_cast<int>(board), static_cast<unsigned>(AcqField16(facts.eeprom.data(), kModelOffset)));
  return candidates.types;
}

// Opens each candidate's connector once; a connector that cannot be opened is
// in use elsewhere, and its slot stays registered.
void Probe(std::uint32_t board, const std::array<std::uint32_t, kAcqSlotsPerBoard>& candidates) {
  if (Yat_Digital_IsPresent(0) == 0) return;
  AcqDetectionTables& t = Tables();
  std::memset(t.typeList[board], 0, sizeof t.typeList[board]);
  std::uint32_t j = 0;
  for (std::uint32_t k = 0; k < kAcqSlotsPerBoard && j < kAcqSlotsPerBoard; ++k) {
    if (candidates[k] == 0) continue;
    const std::uint32_t mask = t.resourceMask[board][j];
    if (mask == 0) continue;
    const QelHwStatus opened = AcqOpenHwHandle(board, j, LowestBitIndex(mask));
    t.typeList[board][j] = candidates[k];
    AcqCloseHwHandle(board, j);
    if (opened != QELHW_OK) t.registration[board][j] = 1;
    ++j;
  }
}

// The first detection of the board on the machine; answers the status of its
// first failing hardware step (0 when none failed).
QelStatus DetectHardware(std::uint32_t board) {
  AcqDetectionTables& t = Tables();
  t.detected[board] = 1;
  std::memset(t.resourceMask[board], 0, sizeof t.resourceMask[board]);
  BoardFacts facts;
  const QelStatus status = ReadBoard(board, &facts);
  std::array<std::uint32_t, kAcqSlotsPerBoard> candidates{};
  if (status == 0) {
    candidates = Candidates(board, facts);
    for (std::uint32_t k = 0; k < kAcqSlotsPerBoard; ++k) t.resourceMask[board][k] = AcqDeviceTypeConnector(candidates[k]);
  }
  Probe(board, candidates);
  t.firstStatus[board] = status;
  return status;
}

// The stored result, registered for this process.
std::uint32_t RegisterStored(std::uint32_t board, AcqBoardDetection* detection) {
  AcqDetectionTables& t = Tables();
  std::uint32_t n = 0;
  for (std::uint32_t i = 0; i < kAcqSlotsPerBoard; ++i) {
    const std::uint32_t type = t.typeList[board][i];
    if (type < 1 || type > kAcqDeviceTypeCount) continue;
    (*detection)[n] = {InitVicPrmApplyTable, InitCamPrmApplyTable, AcqDeviceTypeFiller(type)};
    t.resourceMask[board][n] = AcqDeviceTypeConnector(type);
    AcqSetSlotDeviceType(board, n, type);
    ++n;
  }
  return n;
}

}  // namespace

QelStatus AcqFpgaInitialize(std::uint32_t board) { return TranslateStatus(Yat_FPGA_Initialize(board)); }

bool AcqDetectFailed(std::uint32_t board) { return board < kAcqMaxBoards && g_failed[board]; }

QelStatus acqDetect(std::uint32_t board, std::uint32_t* deviceCount, AcqBoardDetection* detection) {
  if (board >= kAcqMaxBoards || deviceCount == nullptr || detection == nullptr) return kAcqNoConnector;
  AcqHostMutex mutex(kAcqHostMutexName, kDetectMutexOwner);
  if (!mutex.held())
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s board #%d, acqDetect => host mutex not obtained, detecting without it",
              kModuleName, static_cast<int>(board));
  std::uint32_t boards = 0;
  if (Yat_Man_GetNbBoard(&boards) != QELHW_OK || board >= boards) return 0;
  const QelStatus hardware = Tables().detected[board] == 0 ? DetectHardware(board) : Tables().firstStatus[board];
  const std::uint32_t n = RegisterStored(board, detection);
  const QelStatus status = n > 0 ? 0 : hardware;
  g_failed[board] = status != 0;
  if (status == 0) deviceCount[board] = n;
  return status;
}
