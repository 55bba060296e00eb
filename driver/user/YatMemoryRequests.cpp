// On-board memory, cache-block and memory-manager requests.
#include <cstdio>

#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRecords.h"
#include "driver/user/YatRequestForm.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kRegisterWindowEnd = 0x18000;

QelHwStatus ArgumentNull(const char* what, std::uint32_t board) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s ARGUMENT NULL", kPardowLabel,
            static_cast<int>(board), what);
  return QELHW_ERROR_ARG_INVALID;
}

QelHwStatus SendMemory(const char* name, std::uint32_t code, QelHwStatus failure, std::uint32_t board,
                       std::uint32_t address, std::uint32_t size, std::uint64_t data, std::uint32_t flag) {
  YatIocMemoryIn in{{}, address, data, size, flag};
  YatIocStatus out{};
  QelHwStatus status;
  if (!YatSend({name, board, code, YAT_IOC_STAMP_BOARD}, &in, &out, &status)) return status;
  return YatTranslateStatus(name, status, YatTranslate::kNamed, failure);
}

// A cache request must stay inside the register window, whatever its count.
bool CacheRangeValid(std::uint32_t address, std::uint32_t count) {
  return address < kRegisterWindowEnd &&
         std::uint64_t{address} + 4 * std::uint64_t{count} <= kRegisterWindowEnd;
}

QelHwStatus SendCache(const char* name, std::uint32_t code, std::uint32_t board, std::uint32_t address,
                      std::uint64_t data, std::uint32_t count, QelHwStatus* driverStatus) {
  YatIocCacheIn in{{}, address, data, count};
  YatIocStatus out{};
  if (!YatSend({name, board, code, YAT_IOC_STAMP_BOARD}, &in, &out, driverStatus)) return *driverStatus;
  return QELHW_OK;
}

void TraceCacheWrite(std::uint32_t address, std::uint64_t data, std::uint32_t count) {
  if (Yat_GetDebugLevel() <= 1) return;
  const auto* words = reinterpret_cast<const std::uint32_t*>(data);
  for (std::uint32_t i = 0; i < count; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "Cache Write [0x%04X]=0x%08X\n", address + 4 * i, words[i]);
    Yat_DebugTrace(line);
  }
}

}  // namespace

PARDOW_API QelHwStatus Yat_Man_Memory_Read(std::uint32_t board, std::uint32_t address, std::uint32_t size,
                                           std::uint64_t data, std::uint32_t flag) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("Yat_Man_Memory_Read", board);
  if (data == 0 && size != 0) return ArgumentNull("Yat_memory_Read", board);
  if (data == 0) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  return SendMemory("Yat_Man_Memory_Read", YAT_IOCTRL_READ_MEMORY, QELHW_ERROR_MEMORY_READ, board, address, size,
                    data, flag);
}

PARDOW_API QelHwStatus Yat_Man_Memory_Write(std::uint32_t board, std::uint32_t address, std::uint32_t size,
                                            std::uint64_t data, std::uint32_t flag) {
  if (board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, boardIndex ARGUMENT INVALID", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (size == 0 || data == 0) return ArgumentNull("pData", board);
  return SendMemory("Yat_Man_Memory_Write", YAT_IOCTRL_WRITE_MEMORY, QELHW_ERROR_MEMORY_WRITE, board, address, size,
                    data, flag);
}

PARDOW_API QelHwStatus Yat_Man_Memory_Fill(std::uint32_t board, std::uint32_t address, std::uint32_t size,
                                           std::uint64_t data, std::int32_t fillMode, std::uint32_t fillValue) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid("Yat_Man_Memory_Fill", board);
  if (data == 0 && size != 0 && fillMode != 0) return ArgumentNull("pDataIn", board);
  if (data == 0) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  YatIocFillIn in{{}, address, size, data, fillMode, fillValue};
  YatIocStatus out{};
  QelHwStatus status;
  if (!YatSend({"Yat_Man_Memory_Fill", board, YAT_IOCTRL_FILL_MEMORY, YAT_IOC_STAMP_BOARD}, &in, &out, &status))
    return status;
  return YatTranslateStatus("Yat_Man_Memory_Fill", status, YatTranslate::kNamed, QELHW_ERROR_MEMORY_WRITE);
}

PARDOW_API QelHwStatus Yat_Man_Cache_Read(std::uint32_t board, std::uint32_t address, std::uint64_t data,
                                          std::uint32_t count) {
  if (board >= YAT_MAX_BOARD || data == 0 || !CacheRangeValid(address, count))
    return YatArgumentInvalid("Yat_Man_Cache_Read", board);
  QelHwStatus status;
  if (SendCache("Yat_Man_Cache_Read", YAT_IOCTRL_READ_CACHE, board, address, data, count, &status) != QELHW_OK)
    return status;
  if (status == QELHW_OK) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_Cache_Read(%08X) status %s ,%8x", kPardowLabel, address,
            QelHw_GetErrorName(status), static_cast<unsigned>(status));
  return QELHW_ERROR_DRIVER_STATUS;
}

PARDOW_API QelHwStatus Yat_Man_Cache_Write(std::uint32_t board, std::uint32_t address, std::uint64_t data,
                                           std::uint32_t count) {
  if (board >= YAT_MAX_BOARD || data == 0 || !CacheRangeValid(address, count))
    return YatArgumentInvalid("Yat_Man_Cache_Write", board);
  QelHwStatus status;
  if (SendCache("Yat_Man_Cache_Write", YAT_IOCTRL_WRITE_CACHE, board, address, data, count, &status) != QELHW_OK)
    return status;
  if (status != QELHW_OK) return YatTranslateStatus("Yat_Man_Cache_Write", status, YatTranslate::kGeneric);
  TraceCacheWrite(address, data, count);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_MemoryManager_FreeAll(std::uint32_t board) {
  YatIocHeader in{};
  YatIocStatus out{};
  QelHwStatus status;
  if (!YatSend({"Yat_Man_MemoryManager_FreeAll", board, YAT_IOCTRL_FREE_ALL_FPGA_MEM, YAT_IOC_STAMP_BOARD}, &in,
               &out, &status))
    return status;
  return YatTranslateStatus("Yat_Man_MemoryManager_FreeAll", status, YatTranslate::kGeneric);
}

PARDOW_API QelHwStatus Yat_Man_DetectMemorySizeByTesting(std::uint32_t board, std::uint32_t* size) {
  if (size == nullptr) return YatArgumentInvalid("Yat_Man_GetMemorySize", board);
  Yat_DebugTrace("Yat_Man_DetectMemorySizebyTesting\n");
  YatIocHeader in{};
  YatIocValueOut out{};
  QelHwStatus status;
  if (!YatSend({"Yat_Man_GetMemorySize", board, YAT_IOCTRL_GET_MEMORY_SIZE, YAT_IOC_STAMP_BOARD}, &in, &out,
               &status))
    return status;
  *size = out.value;
  return YatTranslateStatus("Yat_Man_GetMemorySize", status, YatTranslate::kGeneric);
}
