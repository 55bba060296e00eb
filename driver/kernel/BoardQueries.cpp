#include <cstring>

#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/client.h"

using namespace plat::kernel;

namespace {

constexpr std::uint8_t kEepromMarker = 0xA5;
constexpr std::uint32_t kOptionWordOffset = 38;
constexpr std::uint16_t kOptionSecondPort = 0x2;
constexpr std::uint16_t kOptionPortByDesign = 0x1000;
constexpr std::uint16_t kOptionDoubledEvents = 0x1002;
constexpr std::uint32_t kDesignTwoPortsAlways = 0x227;
constexpr std::uint32_t kDesignTwoPorts = 0x238;
constexpr std::uint32_t kRegFrontEndIdentity = 0x1000;
constexpr std::uint32_t kWow64IndexBit = 0x80000000;

std::uint16_t OptionWord(const YatBoardExtension* board) {
  std::uint16_t word = 0;
  std::memcpy(&word, board->eepromImage + kOptionWordOffset, sizeof word);
  return word;
}

std::uint32_t CallerSlot(YatManagerExtension* manager) {
  return FindProcessSlot(manager, static_cast<std::uint64_t>(current_process_id()));
}

}  // namespace

QelHwStatus GetSerialPortCount(YatBoardExtension* board, std::uint32_t* count) {
  if (count == nullptr) return QELHW_ERROR_ARG_INVALID;
  *count = 0;
  if (board->rangeCount == 0 || board->ranges[0].mapped == nullptr) return QELHW_ERROR_RESOURCE_RANGE;
  if (board->eepromImage[0] != kEepromMarker) return QELHW_ERROR_EEPROM_NOT_INITIALIZED;
  const std::uint16_t options = OptionWord(board);
  std::uint32_t ports = 1;
  if (options & kOptionSecondPort) {
    const std::uint32_t design = board->fpgaId & 0xFFFFF;
    ports = 2;
    if ((options & kOptionPortByDesign) && design != kDesignTwoPortsAlways) ports = design == kDesignTwoPorts ? 2 : 1;
  }
  std::uint32_t frontEnd = 0;
  if (Yat_ReadReg(board, kRegFrontEndIdentity, &frontEnd) == QELHW_OK && (frontEnd == 0 || frontEnd == 0xFFFFFFFF))
    ports = 0;
  *count = ports;
  return QELHW_OK;
}

QelHwStatus YatEventIsDoubled(YatBoardExtension* board, std::uint32_t event, std::uint32_t* flag) {
  if (flag == nullptr) return QELHW_ERROR_ARG_INVALID;
  *flag = OptionWord(board) == kOptionDoubledEvents && board->fpgaMemory.regionCount[0] >= 2 &&
                  (event == 259 || event == 262)
              ? 1
              : 0;
  return QELHW_OK;
}

std::uint32_t Yat_Wow64_AddHandle(YatManagerExtension* manager, std::uint64_t handle) {
  const std::uint32_t slot = CallerSlot(manager);
  if (slot >= kYatProcessSlots) return 0xFFFFFFFF;
  YatProcessTableLock lock(manager);
  for (std::uint32_t entry = 0; entry < kYatWow64Handles; ++entry) {
    if (manager->wow64HandleMap[slot][entry] != 0) continue;
    manager->wow64HandleMap[slot][entry] = handle;
    return kWow64IndexBit + entry;
  }
  return 0xFFFFFFFF;
}

std::uint64_t Yat_Wow64_LookupHandleFromIndex(YatManagerExtension* manager, std::uint32_t index,
                                              const char* callerName) {
  const std::uint32_t entry = index & ~kWow64IndexBit;
  const std::uint32_t slot = CallerSlot(manager);
  std::uint64_t handle = 0;
  if (entry < kYatWow64Handles && slot < kYatProcessSlots) {
    YatProcessTableLock lock(manager);
    handle = manager->wow64HandleMap[slot][entry];
  }
  if (handle == 0)
    STAVRO_LOG(kLogError, "%s: >%s< handle at index = %d (under WOW64) was not found in the handle map,",
               callerName ? callerName : "Yat_Wow64_LookupHandleFromIndex", static_cast<int>(entry));
  return handle;
}

void Yat_Wow64_RemoveHandle(YatManagerExtension* manager, std::uint64_t handle) {
  const std::uint32_t slot = CallerSlot(manager);
  if (slot >= kYatProcessSlots || handle == 0) return;
  YatProcessTableLock lock(manager);
  for (std::uint64_t& entry : manager->wow64HandleMap[slot])
    if (entry == handle) entry = 0;
}
