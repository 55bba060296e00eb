// FPGA configuration from the library: loads from a firmware file or from
// memory, the unload and reset requests, and what the board entry says of
// the running firmware.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "driver/user/BoardSetup.h"
#include "driver/user/CbhRecords.h"
#include "driver/user/Pardow.h"
#include "driver/kernel/YatIoctl.h"
#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatFlash.h"
#include "driver/user/YatFpgaRequests.h"
#include "driver/user/YatLibrary.h"
#include "platform/win/paths.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kRegDmaControl = 0x10004;
constexpr std::uint32_t kFpgaLoaded = 0x8;
constexpr std::uint32_t kRegXioControl = 0x804;
constexpr std::uint32_t kXioRestart = 0x40;
constexpr std::size_t kLoggedPathTail = 40;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

const char* PathTail(const char* path) {
  const std::size_t length = std::strlen(path);
  return length > kLoggedPathTail ? path + length - kLoggedPathTail : path;
}

// The whole file into *image; the first error met is the status.
QelHwStatus ReadWholeFile(const char* path, std::unique_ptr<std::uint8_t[]>* image, std::uint32_t* size) {
  std::FILE* raw = path[0] == '\0' ? nullptr : std::fopen(plat::native_path(path).c_str(), "rb");
  if (raw == nullptr) return QELHW_ERROR_FILE_OPEN;
  QelHwStatus status = QELHW_OK;
  long end = -1;
  if (std::fseek(raw, 0, SEEK_END) != 0) status = QELHW_ERROR_FILE_SEEK;
  if (status == QELHW_OK) {
    end = std::ftell(raw);
    if (end < 0 || static_cast<unsigned long>(end) >= 0xFFFFFFFFul) status = QELHW_ERROR_FILE_TELL;
  }
  if (status == QELHW_OK) {
    image->reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(end) + 1]);
    if (*image == nullptr) status = QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  if (status == QELHW_OK) {
    std::rewind(raw);
    *size = static_cast<std::uint32_t>(std::fread(image->get(), 1, static_cast<std::size_t>(end), raw));
  }
  if (std::fclose(raw) != 0 && status == QELHW_OK) status = QELHW_ERROR_FILE_CLOSE;
  return status;
}

// After a reload from flash the board runs what its flash holds: the
// entry's record (camera count, description flags) follows it.
QelHwStatus TakeReloadedRecord(std::uint32_t board) {
  std::uint8_t record[YAT_FLASH_RECORD_SIZE] = {};
  const QelHwStatus status = Yat_Flash_ReadCbhRecord(board, record, Yat_Man_RunningFirmwareSection(board));
  if (status != QELHW_OK) return status;
  if (YatBoardEntry* entry = Yat_GetBoardEntry(board)) std::memcpy(entry->flashFirmwareRecord, record, sizeof record);
  return QELHW_OK;
}

}  // namespace

PARDOW_API QelHwStatus Yat_FPGA_Load(std::uint32_t board, const char* name, const void* image, std::uint32_t size,
                                     std::uint32_t option) {
  if (name == nullptr) return QELHW_ERROR_FILE_INVALID;
  if (option == 0) size = 0;  // the board reloads from its flash
  YatFpgaLoadRecord in{};
  in.fpgaId = option;
  // At most 255 characters of the caller's name, always terminated.
  std::strncpy(in.fileName, name, sizeof in.fileName - 1);
  in.imageAddress = reinterpret_cast<std::uint64_t>(image);
  in.imageSize = size;
  YatIocStatus out{};
  QelHwStatus driver;
  if (!YatFpgaSend("Yat_FPGA_Load", board, YAT_IOCTRL_LOAD_FPG, &in, sizeof in, &out, sizeof out, &driver))
    return driver;
  if (driver != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_FPGA_Load status %s ,%2x", kPardowLabel, "ERROR",
              static_cast<unsigned>(driver));
    return QELHW_ERROR_DRIVER_STATUS;
  }
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Yat_FPGA_Loaded with %s", kPardowLabel, in.fileName);
  QelHwStatus status = option == 0 ? TakeReloadedRecord(board) : QELHW_OK;
  if (status == QELHW_OK) status = Yat_FPGA_SetMemoryBank(board);
  return status;
}

PARDOW_API QelHwStatus Yat_FPGA_LoadFromCbnFile(std::uint32_t board, const char* path, std::uint32_t option) {
  const char* shown = path == nullptr ? "" : path;
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Yat_FPGA_LoadFromCbnFile, file = %s", kPardowLabel,
            PathTail(shown));
  std::unique_ptr<std::uint8_t[]> image;
  std::uint32_t size = 0;
  QelHwStatus status = ReadWholeFile(shown, &image, &size);
  if (status == QELHW_ERROR_FILE_OPEN) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_FPGA_LoadFromCbnFile, status %x", kPardowLabel,
              static_cast<unsigned>(status));
    return status;
  }
  if (status == QELHW_OK) status = Yat_FPGA_Load(board, shown, image.get(), size, option);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_FPGA_LoadFromCbnFile status %x", kPardowLabel,
              static_cast<unsigned>(status));
    return status;
  }
  std::uint16_t options = 0;
  if (const YatBoardEntry* entry = Yat_GetBoardEntry(board))
    std::memcpy(&options, entry->flashFirmwareRecord + offsetof(CbhFlashRecord, optionBits), sizeof options);
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Cbn File %s, option=0x%04X", kPardowLabel, shown, options);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_FPGA_Unload(std::uint32_t board, std::uint32_t action) {
  if (board >= YAT_MAX_BOARD) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  YatIocValueIn in{{}, action};
  YatIocStatus out{};
  QelHwStatus driver;
  if (!YatFpgaSend("Yat_FPGA_Unload", board, YAT_IOCTRL_UNLOAD_FPG, &in, sizeof in, &out, sizeof out, &driver))
    return driver;
  return driver == QELHW_OK ? QELHW_OK : QELHW_ERROR_DRIVER_STATUS;
}

PARDOW_API QelHwStatus Yat_FPGA_ResetBoard(std::uint32_t board) {
  QelHwStatus status = Yat_Man_Reset(board, 1);
  if (status == QELHW_OK) status = Yat_SetBitReg(board, kRegXioControl, kXioRestart, kXioRestart);
  if (status == QELHW_OK) status = Yat_SetBitReg(board, kRegXioControl, 0, kXioRestart);
  return status;
}

PARDOW_API std::uint32_t Yat_FPGA_IsPresent(std::uint32_t) { return 1; }

PARDOW_API std::uint32_t Yat_FPGA_IsLoaded(std::uint32_t board) {
  std::uint32_t value = 0;
  return Yat_ReadDataReg(board, kRegDmaControl, &value) == QELHW_OK && (value & kFpgaLoaded) != 0 ? 1 : 0;
}

PARDOW_API QelHwStatus Yat_FPGA_GetName(std::uint32_t board, char* buffer, std::uint32_t size) {
  const YatSharedBoardInfo* info = Yat_GetSharedBoardInfo();
  if (board >= info->boardCount || board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Yat_FPGA_GetName invalid board index (%d)", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (size == 0 || buffer == nullptr) return QELHW_OK;
  CbhHeader header{};
  std::memcpy(&header, Yat_GetBoardEntry(board)->activeFirmwareHeader, sizeof header);
  char text[sizeof header.comment + 1] = {};
  std::memcpy(text, header.comment, sizeof header.comment);
  std::memcpy(buffer, text, std::min<std::size_t>(std::strlen(text) + 1, size));
  buffer[size - 1] = '\0';
  return QELHW_OK;
}
