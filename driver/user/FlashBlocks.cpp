// Block protection, erase and identification through the driver; the
// section argument is accepted and ignored (the driver counts whole blocks).
#include <cstdio>

#include "driver/kernel/YatFlashRecords.h"
#include "driver/user/YatDeviceIoControl.h"
#include "driver/user/YatFlash.h"
#include "driver/user/YatLibrary.h"
#include "platform/win/debug_output.h"
#include "qellib/QelLog.h"

namespace {

struct BlockRequest {
  const char* name;      // of the debug lines, null for none
  const char* invalid;   // "... ARGUMENT INVALID"
  const char* failed;    // "... Failed retval=%x bytes=%x ..."
  const char* refused;   // "... status %x %d %d"
  std::uint32_t code;
  QelHwStatus preset;
};

void DebugLines(const char* name, std::uint32_t first, std::uint32_t last) {
  if (name == nullptr || Yat_GetDebugLevel() == 0) return;
  char text[256];
  std::snprintf(text, sizeof text, "%s\n", name);
  plat::output_debug_string(text);
  std::snprintf(text, sizeof text, "blockIndexStart = %X\n", first);
  plat::output_debug_string(text);
  std::snprintf(text, sizeof text, "blockIndexEnd = %X\n", last);
  plat::output_debug_string(text);
}

QelHwStatus SendBlocks(const BlockRequest& request, std::uint32_t board, std::uint32_t first, std::uint32_t last,
                       std::uint32_t* result) {
  if (board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, request.invalid, kPardowLabel, static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  DebugLines(request.name, first, last);
  YatFlashBlocksIn input{};
  input.firstBlock = first;
  input.lastBlock = last;
  YatIocValueOut output{{request.preset}, 0};
  const std::uint32_t outputSize = result != nullptr ? sizeof output : sizeof(YatIocStatus);
  std::uint32_t returned = 0;
  const int sent = YatDeviceIoControl(board, request.code, &input, sizeof input, &output, outputSize, &returned,
                                      nullptr, YAT_IOC_STAMP_BOARD);
  if (sent == 0 || returned == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, request.failed, kPardowLabel, static_cast<int>(board), sent, returned,
              first, last);
    return QELHW_ERROR_DRIVER_ACCESS;
  }
  const QelHwStatus status = output.header.status;
  if (status == QELHW_OK) {
    if (result != nullptr) *result = output.value;
    return QELHW_OK;
  }
  if (result != nullptr && status == QELHW_ERROR_RESOURCE_TOO_LARGE) return status;
  LogPutLog(kQelLogError, __FILE__, __LINE__, request.refused, kPardowLabel, static_cast<int>(board),
            static_cast<unsigned>(status), static_cast<int>(first), static_cast<int>(last));
  return QELHW_ERROR_DEVICE_NOT_RESPONDING;
}

constexpr QelHwStatus kPreset = YAT_IOC_STATUS_PRESET;

}  // namespace

QelHwStatus Flash_IsBlockProtected(std::uint32_t board, std::uint32_t, std::uint32_t first, std::uint32_t last,
                                   std::uint32_t* result) {
  if (board < YAT_MAX_BOARD && result == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Flash_IsBlockProtected status %x %d %d", kPardowLabel,
              static_cast<int>(board), static_cast<unsigned>(QELHW_ERROR_INSUFFICIENT_MEMORY), static_cast<int>(first),
              static_cast<int>(last));
    return QELHW_ERROR_ARG_INVALID;
  }
  static const BlockRequest request{"Flash_IsBlockProtected", "%s, Board %d, Flash_IsBlockProtected ARGUMENT INVALID",
                                    "%s, Board %d, Flash_IsBlockProtected Failed retval=%x bytes=%x %d %d",
                                    "%s, Board %d, Flash_IsBlockProtected status %x %d %d",
                                    YAT_IOCTRL_FLASH_IS_PROTECTED, kPreset};
  return SendBlocks(request, board, first, last, result);
}

QelHwStatus Yat_Flash_ProtectBlock(std::uint32_t board, std::uint32_t, std::uint32_t first, std::uint32_t last) {
  static const BlockRequest request{"Yat_Flash_ProtectBlock", "%s, Board %d, Yat_Flash_ProtectBlock ARGUMENT INVALID",
                                    "%s, Board %d, Yat_Flash_ProtectBlock Failed retval=%x bytes=%x %d %d",
                                    "%s, Board %d, Yat_Flash_ProtectBlock status %x %d %d", YAT_IOCTRL_FLASH_PROTECT,
                                    kPreset};
  return SendBlocks(request, board, first, last, nullptr);
}

QelHwStatus Yat_Flash_UnprotectBlock(std::uint32_t board, std::uint32_t, std::uint32_t first, std::uint32_t last) {
  static const BlockRequest request{
      "Yat_Flash_UnprotectBlock", "%s, Board %d, Yat_Flash_UnprotectBlock ARGUMENT INVALID",
      "%s, Board %d, Yat_Flash_UnprotectBlock Failed retval=%x bytes=%x %d %d",
      "%s, Board %d, Yat_Flash_UnprotectBlock status %x %d %d", YAT_IOCTRL_FLASH_UNPROTECT, kPreset};
  return SendBlocks(request, board, first, last, nullptr);
}

QelHwStatus Yat_Flash_EraseBlock(std::uint32_t board, std::uint32_t, std::uint32_t first, std::uint32_t last) {
  static const BlockRequest request{nullptr, "%s, Board %d, Flash_EraseBlock ARGUMENT INVALID",
                                    "%s, Board %d, Flash_EraseBlock Failed retval=%x bytes=%x",
                                    "%s, Board %d, Yat_Flash_EraseBlock status %x %d %d", YAT_IOCTRL_FLASH_ERASE, 0};
  return SendBlocks(request, board, first, last, nullptr);
}

QelHwStatus Yat_Flash_ReadIds(std::uint32_t board, std::uint32_t, std::uint32_t selector, std::uint32_t* identifier) {
  if (board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_Flash_ReadIds ARGUMENT INVALID", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (identifier == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_Flash_ReadIds status %x %d", kPardowLabel,
              static_cast<int>(board), static_cast<unsigned>(QELHW_ERROR_INSUFFICIENT_MEMORY), selector);
    return QELHW_ERROR_ARG_INVALID;
  }
  YatFlashIdIn input{};
  input.index = selector;
  YatIocValueOut output{{YAT_IOC_STATUS_PRESET}, 0};
  std::uint32_t returned = 0;
  const int sent = YatDeviceIoControl(board, YAT_IOCTRL_FLASH_READ_ID, &input, sizeof input, &output, sizeof output,
                                      &returned, nullptr, YAT_IOC_STAMP_BOARD);
  if (sent == 0 || returned == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_Flash_ReadIds Failed retval=%x bytes=%x %d",
              kPardowLabel, static_cast<int>(board), sent, returned, selector);
    return QELHW_ERROR_DRIVER_ACCESS;
  }
  if (output.header.status == QELHW_OK) {
    *identifier = output.value;
    return QELHW_OK;
  }
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_Flash_ReadIds status %x %d %d", kPardowLabel,
            static_cast<int>(board), static_cast<unsigned>(output.header.status), selector, 0);
  return QELHW_ERROR_DEVICE_NOT_RESPONDING;
}
