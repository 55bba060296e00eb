#include "source/QelBuff/YatBoardBuffers.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "driver/user/YatBoardManager.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelBuff/BufferModule.h"
#include "source/QelBuff/BufferServe.h"

namespace {

constexpr std::uint32_t kNoMemoryKind = kBufferKindNoMemory;
// A handler answering this passes the request on to the previous handler.
constexpr QelStatus kPassOn = 113;

// One board buffer of this process: its board-library record (owned here for
// the 9001 buffers, the caller's for the transfer's stage buffers).
struct BoardBuffer {
  YatInternalBuffer* record;
  std::unique_ptr<YatInternalBuffer> owned;
};

struct Table {
  std::mutex guard;
  std::map<const void*, BoardBuffer> buffers;  // by descriptor
};

Table& Buffers() {
  static Table* table = new Table;  // lives until the process ends: handlers may run during exit
  return *table;
}

QelFuncHandler g_previousCreate = nullptr;
QelFuncHandler g_previousFree = nullptr;

// A 28-byte region entry of an internal buffer's lists.
struct RoiEntry {
  std::uint32_t x;
  std::uint32_t line;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t flags;
  std::uint32_t size;
  std::uint32_t reserved;
};
static_assert(sizeof(RoiEntry) == YAT_ROI_ENTRY_SIZE);

// The strip's line groups of the frame: list 1 per tap and group, list 2 per
// group. Every group lies inside the strip buffer.
QelHwStatus AddStripRegions(YatInternalBuffer* record, std::uint32_t lineBytes, std::uint32_t width,
                            std::uint32_t lines, const YatStripShape& strip) {
  const std::uint32_t taps = strip.taps == 0 ? 1 : strip.taps;
  std::vector<RoiEntry> perTap, perGroup;
  for (std::uint32_t line = 0; line < strip.frameLines; line += lines) {
    const std::uint32_t height = std::min(lines, strip.frameLines - line);
    for (std::uint32_t tap = 0; tap < taps; ++tap)
      perTap.push_back({tap * (width / taps), line, width / taps, height, tap, lineBytes / taps * height, 0});
    perGroup.push_back({0, line, width, height, 0, lineBytes * height, 0});
  }
  if (strip.mirrored != 0) std::reverse(perTap.begin(), perTap.end());
  const QelHwStatus status =
      Yat_InternalBuffer_AddRoi(record, perTap.data(), static_cast<std::uint32_t>(perTap.size()), 1);
  if (status != QELHW_OK) return status;
  return Yat_InternalBuffer_AddRoi(record, perGroup.data(), static_cast<std::uint32_t>(perGroup.size()), 2);
}

QelHwStatus MakeInternal(std::uint32_t board, std::uint32_t width, std::uint32_t height, std::uint32_t format,
                         const YatStripShape& strip, YatInternalBuffer* record) {
  std::uint32_t bus = 0;
  if (const QelHwStatus status = Yat_Man_GetInternalBusWidth(board, &bus); status != QELHW_OK) return status;
  if (bus == 0) bus = 1;
  const std::uint32_t depth = (format >> 11) & 0x1Fu;
  const std::uint32_t planes = std::max((format >> 24) & 0xFu, 1u);
  const std::uint64_t padded = (std::uint64_t{width} + bus - 1) / bus * bus;
  const std::uint64_t size = std::uint64_t{depth} * planes * padded * height;
  if (size == 0 || size > 0xFFFFFFFFu) return QELHW_ERROR_ARG_INVALID;
  QelHwStatus status = Yat_InternalBuffer_Create(board, 0, 0, static_cast<std::uint32_t>(size), record);
  if (status != QELHW_OK) return status;
  status = Yat_InternalBuffer_SetBufferInfo(record, width, height, ConvDataFormatToHw(format));
  if (status == QELHW_OK && strip.frameLines != 0)
    status = AddStripRegions(record, static_cast<std::uint32_t>(depth * planes * padded), width, height, strip);
  if (status != QELHW_OK) Yat_InternalBuffer_Free(record);
  return status;
}

QelStatus Register(const QelHandle* handle, BoardBuffer entry) {
  const void* descriptor = BufferDescriptorOf(handle);
  Table& table = Buffers();
  std::lock_guard lock(table.guard);
  table.buffers.emplace(descriptor, std::move(entry));
  return QEL_OK;
}

// Takes a board buffer out of the table; false for any other handle.
bool Unregister(const QelHandle* handle, BoardBuffer* out) {
  const void* descriptor = BufferDescriptorOf(handle);
  if (descriptor == nullptr) return false;
  Table& table = Buffers();
  std::lock_guard lock(table.guard);
  auto found = table.buffers.find(descriptor);
  if (found == table.buffers.end()) return false;
  *out = std::move(found->second);
  table.buffers.erase(found);
  return true;
}

QelStatus CreateWithRecord(std::uint32_t board, std::uint32_t width, std::uint32_t height, std::uint32_t format,
                           const YatStripShape& strip, YatInternalBuffer* record,
                           std::unique_ptr<YatInternalBuffer> owned, QelHandle** out) {
  *out = nullptr;
  if (const QelHwStatus made = MakeInternal(board, width, height, format, strip, record); made != QELHW_OK)
    return TranslateStatus(made);
  QelHandle* handle = nullptr;
  const QelStatus status = BufferNewEx(width, height, format, kNoMemoryKind, 0, 0, &handle);
  if (status != QEL_OK) {
    Yat_InternalBuffer_Free(record);
    return status;
  }
  // The buffer lives on the board's server, so transfers see it as on-board.
  handle->server = YatBoardServerAddress(board);
  Register(handle, BoardBuffer{record, std::move(owned)});
  *out = handle;
  return QEL_OK;
}

// The board of a board server's handle; false for the host server and
// servers that name no board.
bool BoardOfServer(const QelHandle* server, std::uint32_t* board) {
  if (server == nullptr || HandleIsHostServer(server) || HandleIsServerF8(server)) return false;
  const std::uint32_t byte = (server->server >> 8) & 0xFFu;
  if ((server->server & 0xFFFF0000u) != 0x01DE0000u || byte == 0) return false;
  *board = byte - 1;
  return true;
}

// Contiguous requests to a board's server make on-board buffers; every other
// request goes to the previous handler.
bool IsBoardRequest(QelMessageHeader* message, std::uint32_t* board) {
  const BufferRequest peek(message);
  return BoardOfServer(peek.handle(kBufferHandleOffset), board) && (peek.word(80) & kBufferKindContiguous) != 0;
}

QelStatus BoardCreate(QelMessageHeader* message, std::uint32_t board) {
  return BufferServe(message, sizeof(QelHandle), [board](const BufferRequest& request, const BufferAnswer& answer) {
    if (const QelStatus status = request.check({68, 72, 76, 80, 84}); status != QEL_OK) return status;
    auto record = std::make_unique<YatInternalBuffer>();
    YatInternalBuffer* place = record.get();
    QelHandle* handle = nullptr;
    const QelStatus status = CreateWithRecord(board, request.word(68), request.word(72), request.word(76), {},
                                              place, std::move(record), &handle);
    if (status != QEL_OK) return status | kBufferModule;
    std::memcpy(answer.payload, handle, sizeof(QelHandle));
    return QEL_OK;
  });
}

QelStatus BoardCreateHandler(QelMessageHeader* message) {
  std::uint32_t board = 0;
  if (IsBoardRequest(message, &board)) return BoardCreate(message, board);
  return g_previousCreate != nullptr ? g_previousCreate(message) : kPassOn;
}

// Frees the on-board memory of a board buffer; the previous handler then
// frees the server buffer (every other buffer goes to it at once).
QelStatus BoardFreeHandler(QelMessageHeader* message) {
  const BufferRequest request(message);
  BoardBuffer entry{};
  if (const QelHandle* handle = request.handle(kBufferHandleOffset); handle != nullptr && Unregister(handle, &entry))
    Yat_InternalBuffer_Free(entry.record);
  return g_previousFree != nullptr ? g_previousFree(message) : kPassOn;
}

}  // namespace

QelStatus YatBoardBufferCreate(std::uint32_t board, std::uint32_t width, std::uint32_t height, std::uint32_t format,
                               const YatStripShape& strip, YatInternalBuffer* record, QelHandle** out) {
  if (record == nullptr || out == nullptr) return BufferStatus(7, kQelKindNullPointer);
  return CreateWithRecord(board, width, height, format, strip, record, nullptr, out);
}

QelStatus YatBoardBufferFree(const QelHandle* buffer) {
  BoardBuffer entry{};
  if (!Unregister(buffer, &entry)) return kBufferInvalidHandle;
  YatInternalBuffer* record = entry.record;
  if (const QelStatus status = BufferFree(buffer); status != QEL_OK) {
    Register(buffer, std::move(entry));  // the buffer stays, and with it its memory
    return status;
  }
  const QelHwStatus freed = Yat_InternalBuffer_Free(record);
  return freed == QELHW_OK ? QEL_OK : TranslateStatus(freed);
}

const YatInternalBuffer* YatBoardBufferRecord(const QelHandle* buffer) {
  const void* descriptor = BufferDescriptorOf(buffer);
  if (descriptor == nullptr) return nullptr;
  Table& table = Buffers();
  std::lock_guard lock(table.guard);
  const auto found = table.buffers.find(descriptor);
  return found == table.buffers.end() ? nullptr : found->second.record;
}

QelStatus InstallBoardBufferHandlers(HostFuncHandler* bufferCommands) {
  QelFuncHandler previous = nullptr;
  QelStatus status = QelManModifyFuncHandler(bufferCommands, 9001, BoardCreateHandler, &previous);
  if (status != QEL_OK) return status;
  g_previousCreate = previous;
  status = QelManModifyFuncHandler(bufferCommands, 9000, BoardFreeHandler, &previous);
  if (status == QEL_OK) g_previousFree = previous;
  return status;
}

QelStatus UninstallBoardBufferHandlers() { return QEL_OK; }
