// Internal buffers in on-board memory: the driver's allocation plus the
// geometry and ROI lists the transfer code reads from the caller's record.
// The record may live in memory another process shares (the server driver
// keeps its records so), so its ROI list fields hold references into the
// library's shared ROI list pool, never addresses of this process.
#include <cstring>

#include "driver/user/YatInternalBuffer.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRequests.h"
#include "driver/user/YatRequestForm.h"
#include "driver/user/YatRoiPool.h"
#include "qellib/QelLog.h"

namespace {

// Live internal buffers of this process.
std::uint32_t g_liveBuffers = 0;

QelHwStatus Refuse(QelHwStatus status, const char* format, auto... arguments) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, format, kPardowLabel, arguments...);
  return status;
}

void Trace(const char* format, auto... arguments) {
  if (Yat_GetDebugLevel() >= 2) LogPutLog(kQelLogTrace, __FILE__, __LINE__, format, kPardowLabel, arguments...);
}

// The checks of every export but create; `what` names the export in its lines.
QelHwStatus CheckRecord(const YatInternalBuffer* record, const char* what) {
  if (record == nullptr) return Refuse(QELHW_ERROR_ARG_INVALID, "%s,  %s ARGUMENT NULL", what);
  const int board = static_cast<int>(record->board);
  if (record->board >= YAT_MAX_BOARD) return Refuse(QELHW_ERROR_ARG_INVALID, "%s, Board %d, %s ARGUMENT INVALID", board, what);
  if (record->tag != YAT_INTERNAL_BUFFER_TAG)
    return Refuse(QELHW_ERROR_INVALID_HANDLE, "%s, Board %d, %s INVALID HANDLE TYPE", board, what);
  return QELHW_OK;
}

// The 64-bit list fields sit on 4-byte boundaries: reached only by name.
void StoreList(YatInternalBuffer* record, bool first, std::uint32_t count, std::uint64_t address) {
  if (first) {
    record->roiCount1 = count;
    record->roiList1 = address;
  } else {
    record->roiCount2 = count;
    record->roiList2 = address;
  }
}

void ReleaseLists(YatInternalBuffer* record) {
  Yat_RoiPool_Free(record->roiList1);
  Yat_RoiPool_Free(record->roiList2);
  StoreList(record, true, 0, 0);
  StoreList(record, false, 0, 0);
}

void FillRecord(YatInternalBuffer* record, std::uint32_t board, std::uint32_t region, std::uint32_t bank,
                std::uint32_t size, std::uint32_t address) {
  const std::uint32_t callerWord = record->callerWord;
  std::memset(record, 0, sizeof *record);
  record->callerWord = callerWord;
  record->board = board;
  record->region = region;
  record->bank = bank;
  record->onboardAddress = address;
  record->sequence = g_liveBuffers;
  record->size = size;
  record->onboardAddress64 = address;
  record->sequenceAgain = g_liveBuffers;
  record->tag = YAT_INTERNAL_BUFFER_TAG;
}

}  // namespace

PARDOW_API QelHwStatus Yat_InternalBuffer_Create(std::uint32_t board, std::uint32_t region, std::uint32_t bank,
                                                 std::uint32_t size, YatInternalBuffer* record) {
  const int b = static_cast<int>(board);
  if (board >= YAT_MAX_BOARD)
    return Refuse(QELHW_ERROR_ARG_INVALID, "%s, Board %d, Yat_CreateInternalBuffer ARGUMENT INVALID", b);
  if (record == nullptr || size == 0)
    return Refuse(QELHW_ERROR_ARG_INVALID, "%s, Board %d, Yat_CreateInternalBuffer ARGUMENT NULL", b);
  record->tag = 0;
  record->board = 0;
  YatIocAllocFpgaMemIn in{{}, region, size, bank};
  YatIocAllocFpgaMemOut out{};
  QelHwStatus status = QELHW_OK;
  if (!YatSend({"Yat_CreateInternalBuffer", board, YAT_IOCTRL_ALLOC_FPGA_MEM, YAT_IOC_STAMP_BOARD}, &in, &out,
               &status))
    return status;
  if (status != QELHW_OK)
    return Refuse(QELHW_ERROR_INSUFFICIENT_MEMORY,
                  "%s, Board=%d, Region=%d, Bank=%d, Yat_CreateInternalBuffer status %x", b, static_cast<int>(region),
                  static_cast<int>(bank), static_cast<unsigned>(QELHW_ERROR_INSUFFICIENT_MEMORY));
  FillRecord(record, board, region, bank, size, out.address);
  ++g_liveBuffers;
  Trace("%s, Board %d, Region=%d,Yat_CreateInternalBuffer(0x%x) #%d", b, static_cast<int>(region), size,
        static_cast<int>(g_liveBuffers));
  return QELHW_OK;
}

// The tag goes once the driver has the free request, so a second free is
// refused here and never reaches memory that another buffer may own by then.
PARDOW_API QelHwStatus Yat_InternalBuffer_Free(YatInternalBuffer* record) {
  if (record == nullptr) return Refuse(QELHW_ERROR_ARG_INVALID, "%s,  Yat_FreeInternalBuffer ARGUMENT NULL");
  const int b = static_cast<int>(record->board);
  if (record->board >= YAT_MAX_BOARD)
    return Refuse(QELHW_ERROR_ARG_INVALID, "%s, Board %d, Yat_FreeInternalBuffer ARGUMENT INVALID", b);
  if (record->tag != YAT_INTERNAL_BUFFER_TAG) return QELHW_ERROR_INVALID_HANDLE;
  YatIocFreeFpgaMemIn in{{}, record->onboardAddress, record->bank};
  YatIocStatus out{};
  QelHwStatus status = QELHW_OK;
  const bool delivered =
      YatSend({"Yat_FreeInternalBuffer", record->board, YAT_IOCTRL_FREE_FPGA_MEM, YAT_IOC_STAMP_BOARD}, &in, &out,
              &status);
  ReleaseLists(record);
  if (!delivered) return status;
  record->tag = 0;
  if (g_liveBuffers > 0) --g_liveBuffers;
  if (status != QELHW_OK)
    return Refuse(QELHW_ERROR_ARG_INVALID, "%s, Board %d, Yat_FreeInternalBuffer (YAT_IOCTRL_FREE_LOCAL_BUFFER) failed %x",
                  b, static_cast<unsigned>(QELHW_ERROR_ARG_INVALID));
  Trace("%s, Board %d, Yat_FreeInternalBuffer(0x%x)", b, record->size);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_InternalBuffer_SetBufferInfo(YatInternalBuffer* record, std::uint32_t width,
                                                        std::uint32_t height, std::uint32_t pixelFormat) {
  if (const QelHwStatus refused = CheckRecord(record, "Yat_InternalBuffer_SetBufferInfo"); refused != QELHW_OK)
    return refused;
  const std::uint32_t bytesPerPixel = Yat_Format_GetBytesPerPixel(pixelFormat);
  if (bytesPerPixel == 0) return QELHW_ERROR_INVALID_PIXEL_FORMAT;
  if (std::uint64_t{width} * height * bytesPerPixel > record->size)
    return Refuse(QELHW_ERROR_ARG_INVALID, "%s, Board %d, Yat_InternalBuffer_SetBufferInfo ARGUMENT INVALID",
                  static_cast<int>(record->board));
  record->width = width;
  record->height = height;
  record->pixelFormat = pixelFormat;
  record->roiLeft = 0;
  record->roiTop = 0;
  record->roiWidth = width;
  record->roiHeight = height;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_InternalBuffer_AddRoi(YatInternalBuffer* record, const void* entries, std::uint32_t count,
                                                 std::uint32_t list) {
  if (const QelHwStatus refused = CheckRecord(record, "Yat_InternalBuffer_AddRoi"); refused != QELHW_OK)
    return refused;
  const int b = static_cast<int>(record->board);
  if (entries == nullptr && count != 0)
    return Refuse(QELHW_ERROR_ARG_INVALID, "%s, Board %d, Yat_InternalBuffer_AddRoi ARGUMENT NULL", b);
  const bool first = list == 1;
  if ((first ? record->roiCount1 : record->roiCount2) != 0)
    return Refuse(QELHW_ERROR_RESOURCE_IN_USE, "%s, Board %d, Yat_InternalBuffer_AddRoi QELHW_ERROR_RESOURCE_IN_USE", b);
  if (count == 0) return QELHW_OK;
  std::uint64_t reference = 0;
  const QelHwStatus status = Yat_RoiPool_Add(entries, count, &reference);
  if (status != QELHW_OK) return status;
  StoreList(record, first, count, reference);
  return QELHW_OK;
}
