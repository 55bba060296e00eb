// The frame of the buffer command handlers: a bounded reader of the request,
// the answer allocated first, the operation run with the API lock released,
// its status put into the answer, the answer sent. Offsets count from the
// start of the message; the buffer handle is at 36, the fields from 68.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "source/QelAPI/QelApi.h"
#include "source/QelBuff/BufferModule.h"

inline constexpr std::uint32_t kBufferHandleOffset = 36;
inline constexpr std::uint32_t kBufferFieldsOffset = 68;
inline constexpr std::uint32_t kBufferNameField = 256;
// The largest data block an answer may carry.
inline constexpr std::uint32_t kBufferLargestAnswer = 64u << 20;

class BufferRequest {
 public:
  explicit BufferRequest(const QelMessageHeader* message)
      : bytes_(reinterpret_cast<const std::uint8_t*>(message)), size_(message->size) {}
  std::uint32_t size() const { return size_; }
  bool holds(std::uint64_t end) const { return end <= size_; }
  std::uint32_t word(std::uint32_t offset) const { return holds(offset + 4ull) ? read<std::uint32_t>(offset) : 0; }
  std::uint64_t quad(std::uint32_t offset) const { return holds(offset + 8ull) ? read<std::uint64_t>(offset) : 0; }
  const std::uint8_t* at(std::uint32_t offset) const { return bytes_ + offset; }
  // The handle at offset: null when the request is short or the handle all zeros.
  const QelHandle* handle(std::uint32_t offset) const {
    if (!holds(offset + std::uint64_t{sizeof(QelHandle)})) return nullptr;
    const std::uint8_t* start = bytes_ + offset;
    const bool absent = std::all_of(start, start + sizeof(QelHandle), [](std::uint8_t b) { return b == 0; });
    return absent ? nullptr : reinterpret_cast<const QelHandle*>(start);
  }
  // A name field: at most `limit` bytes, cut at its terminator and at the request's end.
  std::string text(std::uint32_t offset, std::uint32_t limit) const {
    if (!holds(offset)) return {};
    const std::uint32_t room = std::min(size_ - offset, limit);
    const char* start = reinterpret_cast<const char*>(bytes_ + offset);
    return std::string(start, strnlen(start, room));
  }
  // 0x800035 | (k << 8) for the first field k (1-based, the handle first)
  // whose end passes the request.
  QelStatus check(std::initializer_list<std::uint64_t> ends) const {
    std::uint32_t argument = 1;
    for (std::uint64_t end : ends) {
      if (!holds(end)) return BufferStatus(argument, 0x35);
      ++argument;
    }
    return QEL_OK;
  }

 private:
  template <typename T>
  T read(std::uint32_t offset) const {
    T value;
    std::memcpy(&value, bytes_ + offset, sizeof value);
    return value;
  }
  const std::uint8_t* bytes_;
  std::uint32_t size_;
};

// The answer's payload, zero-filled, for the operation to write into.
struct BufferAnswer {
  std::uint8_t* payload;
  std::uint32_t size;
};

// Runs one command: an answer with `payload` bytes (a failure to allocate it
// is answered header-only with 71), the operation with the API lock released,
// the status into the answer, the answer sent.
template <typename Operation>
QelStatus BufferServe(QelMessageHeader* message, std::uint64_t payload, Operation&& operation) {
  QelMessageHeader* answer = nullptr;
  const std::uint64_t size = sizeof(QelMessageHeader) + payload;
  if (payload > kBufferLargestAnswer ||
      QelManAllocAnswer(message, static_cast<std::uint32_t>(size), &answer) != QEL_OK) {
    if (const QelStatus status = QelManAllocAnswer(message, sizeof(QelMessageHeader), &answer); status != QEL_OK)
      return status;
    answer->command = kQelApiNoMemory;
    return QelManSendAnswer(answer);
  }
  BufferAnswer room{reinterpret_cast<std::uint8_t*>(answer + 1), static_cast<std::uint32_t>(payload)};
  std::memset(room.payload, 0, room.size);
  const BufferRequest request(message);
  const std::uint8_t depth = ApiUnlockThread();
  const QelStatus status = operation(request, room);
  ApiRelockThread(depth);
  answer->command = status;
  return QelManSendAnswer(answer);
}

// The commands' tables: creation and parameters, and the data operations.
QelStatus BufferCmdFree(QelMessageHeader* message);
QelStatus BufferCmdNew(QelMessageHeader* message);
QelStatus BufferCmdNewEx(QelMessageHeader* message);
QelStatus BufferCmdNewChild(QelMessageHeader* message);
QelStatus BufferCmdNewFromFile(QelMessageHeader* message);
QelStatus BufferCmdGetPrm(QelMessageHeader* message);
QelStatus BufferCmdSetPrmEx(QelMessageHeader* message);
QelStatus BufferCmdGetCap(QelMessageHeader* message);
QelStatus BufferCmdNewShared(QelMessageHeader* message);
QelStatus BufferCmdAttachShared(QelMessageHeader* message);
QelStatus BufferCmdNotSupported(QelMessageHeader* message);

QelStatus BufferCmdRead(QelMessageHeader* message);
QelStatus BufferCmdWrite(QelMessageHeader* message);
QelStatus BufferCmdReadDots(QelMessageHeader* message);
QelStatus BufferCmdWriteDots(QelMessageHeader* message);
QelStatus BufferCmdReadElement(QelMessageHeader* message);
QelStatus BufferCmdWriteElement(QelMessageHeader* message);
QelStatus BufferCmdReadElementValue(QelMessageHeader* message);
QelStatus BufferCmdWriteElementValue(QelMessageHeader* message);
QelStatus BufferCmdReadLine(QelMessageHeader* message);
QelStatus BufferCmdWriteLine(QelMessageHeader* message);
QelStatus BufferCmdReadRect(QelMessageHeader* message);
QelStatus BufferCmdWriteRect(QelMessageHeader* message);
QelStatus BufferCmdClear(QelMessageHeader* message);
QelStatus BufferCmdClearEx(QelMessageHeader* message);
QelStatus BufferCmdCopy(QelMessageHeader* message);
QelStatus BufferCmdCopyRect(QelMessageHeader* message);
QelStatus BufferCmdLoad(QelMessageHeader* message);
QelStatus BufferCmdSave(QelMessageHeader* message);
QelStatus BufferCmdClearBlack(QelMessageHeader* message);
QelStatus BufferCmdDecodeBayer(QelMessageHeader* message);
QelStatus BufferCmdComputeWhiteBalance(QelMessageHeader* message);
QelStatus BufferCmdConvertFormat(QelMessageHeader* message);
QelStatus BufferCmdSplitPlanes(QelMessageHeader* message);
QelStatus BufferCmdMergePlanes(QelMessageHeader* message);
