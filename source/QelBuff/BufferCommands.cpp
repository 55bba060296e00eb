// Buffer commands 9000-9037: the table, and the handlers of creation, release
// and parameters. Creating commands answer with the new handle at 36.
#include <array>

#include "source/QelBuff/BufferCommands.h"
#include "source/QelBuff/BufferFile.h"
#include "source/QelBuff/BufferServe.h"

namespace {

constexpr std::uint32_t kHandleSize = sizeof(QelHandle);
// Parameters and capabilities carry at most this many bytes.
constexpr std::uint32_t kLargestValue = 64;

void PutHandle(const BufferAnswer& answer, const QelHandle* handle) {
  if (handle != nullptr) std::memcpy(answer.payload, handle, kHandleSize);
}

QelStatus NewAndAnswer(const BufferAnswer& answer, QelStatus status, const QelHandle* handle) {
  if (status == QEL_OK) PutHandle(answer, handle);
  return status;
}

// The value of a parameter whose physical address is seen from another board.
void RaiseForOtherBoards(const BufferRequest& request, std::uint32_t id, std::uint8_t* value) {
  const auto* header = reinterpret_cast<const QelMessageHeader*>(request.at(0));
  if ((id != 0x90008 && id != 0x170008) || HostIsOnThisBoard(header->source)) return;
  std::uint64_t address = 0;
  std::uint64_t offset = 0;
  std::memcpy(&address, value, sizeof address);
  if (BufferGetPrm(request.handle(kBufferHandleOffset), 0x140008, &offset) != QEL_OK) return;
  address += offset;
  std::memcpy(value, &address, sizeof address);
}

QelStatus ReadValue(QelMessageHeader* message, QelStatus (*read)(const QelHandle*, std::uint32_t, void*)) {
  const BufferRequest peek(message);
  const std::uint32_t size = peek.word(68) & 0xFFFFu;
  return BufferServe(message, size, [read](const BufferRequest& request, const BufferAnswer& answer) {
    if (const QelStatus status = request.check({68, 72}); status != QEL_OK) return status;
    const std::uint32_t id = request.word(68);
    std::uint8_t value[kLargestValue] = {};
    const QelStatus status = read(request.handle(kBufferHandleOffset), id, value);
    if (status != QEL_OK) return status;
    if (read == BufferGetPrm) RaiseForOtherBoards(request, id, value);
    std::memcpy(answer.payload, value, std::min(answer.size, kLargestValue));
    return QEL_OK;
  });
}

}  // namespace

QelStatus BufferCmdFree(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& request, const BufferAnswer&) {
    if (const QelStatus status = request.check({68}); status != QEL_OK) return status;
    return BufferFree(request.handle(kBufferHandleOffset));
  });
}

QelStatus BufferCmdNew(QelMessageHeader* message) {
  return BufferServe(message, kHandleSize, [](const BufferRequest& request, const BufferAnswer& answer) {
    if (const QelStatus status = request.check({68, 72, 76, 80, 84}); status != QEL_OK) return status;
    QelHandle* handle = nullptr;
    const QelStatus status = BufferNew(request.word(68), request.word(72), request.word(76), request.word(80), &handle);
    return NewAndAnswer(answer, status, handle);
  });
}

QelStatus BufferCmdNewEx(QelMessageHeader* message) {
  return BufferServe(message, kHandleSize, [](const BufferRequest& request, const BufferAnswer& answer) {
    if (const QelStatus status = request.check({68, 72, 76, 80, 84, 92, 100}); status != QEL_OK) return status;
    QelHandle* handle = nullptr;
    const QelStatus status = BufferNewEx(request.word(68), request.word(72), request.word(76), request.word(80),
                                         request.quad(84), request.quad(92), &handle);
    return NewAndAnswer(answer, status, handle);
  });
}

QelStatus BufferCmdNewChild(QelMessageHeader* message) {
  return BufferServe(message, kHandleSize, [](const BufferRequest& request, const BufferAnswer& answer) {
    if (const QelStatus status = request.check({68, 72, 76, 80, 84}); status != QEL_OK) return status;
    QelHandle* handle = nullptr;
    const QelStatus status = BufferNewChild(request.handle(kBufferHandleOffset), request.word(68), request.word(72),
                                            request.word(76), request.word(80), &handle);
    return NewAndAnswer(answer, status, handle);
  });
}

QelStatus BufferCmdNewFromFile(QelMessageHeader* message) {
  return BufferServe(message, kHandleSize, [](const BufferRequest& request, const BufferAnswer& answer) {
    if (const QelStatus status = request.check({68, 72, 73}); status != QEL_OK) return status;
    const std::string name = request.text(72, kBufferNameField);
    BufferDescriptor header{};
    if (const std::uint32_t status = BufferLoadRawHeader(name.c_str(), &header); status != kBufferFileOk)
      return status | kBufferModule;
    QelHandle* handle = nullptr;
    if (const QelStatus status = BufferNew(header.width, header.height, header.format, request.word(68), &handle);
        status != QEL_OK)
      return status;
    if (const QelStatus status = BufferLoadFile(handle, kBufferFileNative, name.c_str()); status != QEL_OK) {
      BufferFree(handle);
      return status;
    }
    PutHandle(answer, handle);
    return QEL_OK;
  });
}

QelStatus BufferCmdGetPrm(QelMessageHeader* message) { return ReadValue(message, BufferGetPrm); }
QelStatus BufferCmdGetCap(QelMessageHeader* message) { return ReadValue(message, BufferGetCap); }

QelStatus BufferCmdSetPrmEx(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& request, const BufferAnswer&) {
    if (const QelStatus status = request.check({68, 72}); status != QEL_OK) return status;
    const std::uint32_t id = request.word(68);
    if (const QelStatus status = request.check({68, 72, 72ull + (id & 0xFFFFu)}); status != QEL_OK) return status;
    return BufferSetPrmEx(request.handle(kBufferHandleOffset), id, request.at(72));
  });
}

QelStatus BufferCmdNewShared(QelMessageHeader* message) {
  return BufferServe(message, kHandleSize, [](const BufferRequest& request, const BufferAnswer& answer) {
    if (const QelStatus status = request.check({68, 72, 76, 80, 84, 85}); status != QEL_OK) return status;
    const std::string name = request.text(84, kBufferNameField);
    QelHandle* handle = nullptr;
    const QelStatus status = BufferNewShared(request.word(68), request.word(72), request.word(76), request.word(80),
                                             name.c_str(), &handle);
    return NewAndAnswer(answer, status, handle);
  });
}

QelStatus BufferCmdAttachShared(QelMessageHeader* message) {
  return BufferServe(message, kHandleSize, [](const BufferRequest& request, const BufferAnswer& answer) {
    if (const QelStatus status = request.check({68, 72, 73}); status != QEL_OK) return status;
    const std::string name = request.text(72, kBufferNameField);
    QelHandle* handle = nullptr;
    const QelStatus status = BufferAttachShared(request.word(68), name.c_str(), &handle);
    return NewAndAnswer(answer, status, handle);
  });
}

QelStatus BufferCmdNotSupported(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest&, const BufferAnswer&) { return kBufferNotSupported; });
}

namespace {

constexpr std::array<QelFuncHandler, kBufferLastCommand - kBufferFirstCommand + 1> kBufferTable{
    BufferCmdFree,            BufferCmdNew,          BufferCmdNewEx,          BufferCmdNewChild,          // 9000-9003
    BufferCmdNewFromFile,     BufferCmdGetPrm,       BufferCmdSetPrmEx,       BufferCmdGetCap,            // 9004-9007
    BufferCmdRead,            BufferCmdWrite,        BufferCmdReadDots,       BufferCmdWriteDots,         // 9008-9011
    BufferCmdReadElement,     BufferCmdWriteElement, BufferCmdReadElementValue, BufferCmdWriteElementValue,  // 9012-9015
    BufferCmdReadLine,        BufferCmdWriteLine,    BufferCmdReadRect,       BufferCmdWriteRect,         // 9016-9019
    BufferCmdClear,           BufferCmdClearEx,      BufferCmdCopy,           BufferCmdCopyRect,          // 9020-9023
    BufferCmdLoad,            BufferCmdSave,         BufferCmdClearBlack,     BufferCmdDecodeBayer,       // 9024-9027
    BufferCmdComputeWhiteBalance, BufferCmdConvertFormat, BufferCmdSplitPlanes, BufferCmdMergePlanes,   // 9028-9031
    BufferCmdNotSupported,    BufferCmdNotSupported, BufferCmdNotSupported,                              // 9032-9034
    BufferCmdNewShared,       BufferCmdAttachShared, BufferCmdNotSupported,                              // 9035-9037
};

}  // namespace

QelStatus InstallBufferCommands(HostFuncHandler** token) {
  return QelManNewFuncHandler(kBufferFirstCommand, kBufferLastCommand, kBufferTable.data(), token);
}

QelStatus BufferServerFree(HostFuncHandler** token) {
  if (token != nullptr && *token != nullptr) ManServerFree(token);
  return QEL_OK;
}
