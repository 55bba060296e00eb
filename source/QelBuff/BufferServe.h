// The frame of the buffer command handlers: a bounded reader of the request,
// the answer allocated first, the operation run with the API lock released,
// its status put into the answer, the answer sent. Offsets count from the
// start of the message; the buffer handle is at 36, the fields from 68.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "source/QelAPI/QelApi.h"
#include "source/QelAPI/QelRequest.h"
#include "source/QelBuff/BufferModule.h"

inline constexpr std::uint32_t kBufferHandleOffset = 36;
inline constexpr std::uint32_t kBufferFieldsOffset = 68;
inline constexpr std::uint32_t kBufferNameField = 256;
// The largest data block an answer may carry.
inline constexpr std::uint32_t kBufferLargestAnswer = 64u << 20;

class BufferRequest : public QelRequest {
 public:
  explicit BufferRequest(const QelMessageHeader* message) : QelRequest(message, kBufferModule) {}
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
