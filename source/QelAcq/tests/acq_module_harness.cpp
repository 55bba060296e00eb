#include "source/QelAcq/tests/acq_module_harness.h"

#include <cstring>
#include <iostream>

#include "driver/user/Pardow.h"
#include "firmware/win32/QelExtInterface.h"
#include "qellib/QelLog.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqOthStruct.h"
#include "source/QelAcq/AcqPrmObjects.h"
#include "source/QelAcq/AcqValidators.h"

namespace {

std::array<AcqBoardDetection, kAcqMaxBoards> g_detection{};
std::array<std::array<AcqPrmHandler, kAcqVicPrmCount>, kAcqDeviceRecordCount> g_vicApply{};
std::array<std::array<AcqPrmHandler, kAcqCamPrmCount>, kAcqDeviceRecordCount> g_camApply{};

QelStatus BuildTables(std::uint32_t board, std::uint32_t slot) {
  AcqDeviceRecord* record = AcqSharedRecord(AcqGetSharedTables(), board, slot);
  std::uint32_t mask = 0;
  acqGetDeviceConnector(board, slot, &mask);
  AcqInitRecordHeaders(record, board, slot, mask);
  othStruct* table = AcqGetOthStruct(board, slot);
  AcqInitOthStructHeader(table);
  const AcqDetectionEntry& entry = g_detection[board][slot];
  table->vicValidators = VicPrmValidatorTable.data();
  table->vicApplyTable = g_vicApply[board * kAcqSlotsPerBoard + slot].data();
  QelStatus status = entry.vicApplyTable != nullptr ? entry.vicApplyTable(table) : 18006;
  table->camValidators = CamPrmValidatorTable.data();
  table->camApplyTable = g_camApply[board * kAcqSlotsPerBoard + slot].data();
  if (status == 0) status = entry.camApplyTable != nullptr ? entry.camApplyTable(table) : 18006;
  if (status == 0) status = entry.deviceTable != nullptr ? entry.deviceTable(table) : 18006;
  return status;
}

// Capabilities, the default sets and the type's defaults, every parameter
// validated (nothing has a hardware apply of its own yet), then the LUT.
QelStatus InitDevice(std::uint32_t board, std::uint32_t slot) {
  AcqDeviceRecord* record = AcqSharedRecord(AcqGetSharedTables(), board, slot);
  othStruct* table = AcqGetOthStruct(board, slot);
  if (table->defaultPrms == nullptr || table->capabilities == nullptr) return 18006;
  AcqValidationContext context = AcqRecordContext(record);
  QelStatus status = table->capabilities(&context);
  if (status == 0) status = CamSetDefaultsToBlock(&record->cam);
  if (status == 0) status = VicSetDefaultsToBlock(&record->vic);
  if (status == 0) status = table->defaultPrms(&context);
  if (status != 0) return status;
  AcqMarkAllModified(&record->cam);
  AcqMarkAllModified(&record->vic);
  status = AcqValidateMarkedPrms(&context, table->camValidators, table->vicValidators, nullptr);
  std::memset(record->cam.modified.words, 0, sizeof record->cam.modified.words);
  std::memset(record->vic.modified.words, 0, sizeof record->vic.modified.words);
  if (status == 0 && table->lutInit != nullptr) status = table->lutInit(AcqGetHandle(board, slot));
  return status;
}

}  // namespace

AcqHarnessStart AcqHarnessStartModule() {
  AcqHarnessStart result;
  AcqSharedTables* shared = AcqGetSharedTables();
  if (shared->moduleInitialised == 0) {
    std::memset(shared->records, 0, sizeof shared->records);
    std::memset(shared->deviceCount, 0, sizeof shared->deviceCount);
    shared->moduleInitialised = 1;
  }
  AcqClearOthStructs();
  for (std::uint32_t board = 0; board < kAcqMaxBoards; ++board) {
    result.detection[board] = acqDetect(board, shared->deviceCount, &g_detection[board]);
    if (result.detection[board] != 0) continue;
    const std::uint32_t count = AcqGetDeviceCount(board);
    for (std::uint32_t slot = 0; slot < count; ++slot) {
      AcqAllocHandle(board, slot);
      result.init[board][slot] = BuildTables(board, slot);
    }
    if (shared->boardInitialised[board] != 0) continue;
    shared->openSet[board] = 0;
    for (std::uint32_t slot = 0; slot < count; ++slot) {
      if (result.init[board][slot] != 0) continue;
      std::uint32_t conflict = 0;
      QelStatus status = acqRegisterDevice(board, slot, 1, &conflict, AcqGetOthStruct(board, slot));
      if (status == 0) status = InitDevice(board, slot);
      const QelStatus closed = acqRegisterDevice(board, slot, 0, &conflict, AcqGetOthStruct(board, slot));
      result.init[board][slot] = status != 0 ? status : closed;
    }
    shared->boardInitialised[board] = 1;
  }
  return result;
}

int AcqHarnessServe(std::string (*answer)(const std::string& line)) {
  LoadQelLog();
  const QelHwStatus opened = QelHw_Open();
  BindExtendedInterface();
  std::cout << "ready " << opened << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "quit") break;
    std::cout << answer(line) << std::endl;
  }
  acqReleaseAllBoardDevices();
  QelHw_Close();
  return 0;
}
