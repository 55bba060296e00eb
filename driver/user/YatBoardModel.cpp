// Values that follow from the board model: camera count and on-board memory.
#include <cstring>

#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kModelWordOffset = 38;
constexpr std::uint32_t kMemoryWordOffset = 41;
constexpr std::uint32_t kMemoryExtraWordOffset = 49;
constexpr std::uint32_t kFirmwareOptionsOffset = 72;
constexpr std::uint16_t kSingleCameraFirmware = 0x200;
constexpr std::uint32_t kDefaultMemoryMb = 128;

std::uint16_t Word16(const std::uint8_t* bytes, std::uint32_t offset) {
  std::uint16_t value;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

}  // namespace

PARDOW_API QelHwStatus Yat_Man_GetMaxCamera(std::uint32_t board, std::uint32_t* count) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || count == nullptr) return QELHW_ERROR_ARG_INVALID;
  const std::uint32_t modelBits = Word16(entry->eeprom[0], kModelWordOffset) & 3u;
  *count = 1;
  if (modelBits == 2 && (Word16(entry->flashFirmwareRecord, kFirmwareOptionsOffset) & kSingleCameraFirmware) == 0)
    *count = 2;
  if (modelBits == 3) LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Unknow board model", kPardowLabel);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_GetOnboardMemorySize(std::uint32_t board, std::uint32_t bank,
                                                    std::uint32_t* megabytes) {
  if (board >= Yat_GetSharedBoardInfo()->boardCount || megabytes == nullptr) return QELHW_ERROR_ARG_INVALID;
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return QELHW_ERROR_ARG_INVALID;
  const std::uint16_t base = Word16(entry->eeprom[0], kMemoryWordOffset);
  *megabytes = base != 0 ? base + std::uint32_t{Word16(entry->eeprom[0], kMemoryExtraWordOffset)} : kDefaultMemoryMb;
  return QELHW_OK;
}
