// Helpers of the front-end modules: read-modify-write of a camera register,
// the grab-running test, the board's option word and FPGA description.
#include <cstring>

#include "driver/user/EepromI2c.h"
#include "driver/user/FrontEnd.h"
#include "driver/user/YatLibrary.h"

namespace {

constexpr std::uint32_t kGrabRunning = 1u << 24;
constexpr std::uint32_t kGrabEnding = 1u << 20;
constexpr std::uint32_t kOptionWordOffset = 38;
constexpr std::uint32_t kDescriptionOffset = 72;
constexpr std::uint32_t kLvdsOptions = 0x208020;
constexpr std::uint32_t kMediumFullOptions = 0x90000;

}  // namespace

QelHwStatus YatFeUpdate(std::uint32_t board, std::uint32_t camera, std::uint32_t reg, std::uint32_t value,
                        std::uint32_t mask) {
  std::uint32_t current = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(board, camera, reg, &current);
  if (status != QELHW_OK) return status;
  return Yat_FPGA_WriteDataReg(board, camera, reg, (current & ~mask) | (value & mask));
}

QelHwStatus YatFeGrabRunning(std::uint32_t board, std::uint32_t camera, bool* running) {
  std::uint32_t grab = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(board, camera, YAT_FE_REG_GRAB_STATUS, &grab);
  *running = status == QELHW_OK && (grab & kGrabRunning) != 0 && (grab & kGrabEnding) == 0;
  return status;
}

QelHwStatus YatFeRefuseWhileGrabbing(const YatAcqHandle* handle) {
  bool running = false;
  const QelHwStatus status = YatFeGrabRunning(handle->board, handle->camera, &running);
  if (status != QELHW_OK) return status;
  return running ? QELHW_ERROR_TRANSFER_ACTIVE : QELHW_OK;
}

QelHwStatus YatFeOptionWord(std::uint32_t board, std::uint32_t* options) {
  std::uint8_t page[YAT_EEPROM_IMAGE_SIZE] = {};
  const QelHwStatus status = Yat_Eeprom_GetInfo(board, 0, page, sizeof page);
  std::uint16_t word = 0;
  std::memcpy(&word, page + kOptionWordOffset, sizeof word);
  *options = word;
  return status;
}

std::uint32_t YatFeDescriptionFlags(std::uint32_t board) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return 0;
  std::uint32_t flags = 0;
  std::memcpy(&flags, entry->flashFirmwareRecord + kDescriptionOffset, sizeof flags);
  return flags;
}

bool YatFeIsLvdsBoard(std::uint32_t options) { return (options & kLvdsOptions) != 0; }
bool YatFeIsMediumFullBoard(std::uint32_t options) { return (options & kMediumFullOptions) != 0; }
