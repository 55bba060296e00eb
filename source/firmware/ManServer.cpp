// The handlers of manager commands 1000-1018.
#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <string>

#include "source/QelAPI/QelRequest.h"
#include "source/firmware/HostFirmware.h"
#include "source/firmware/ManControl.h"
#include "source/firmware/ManServer.h"

namespace {

constexpr std::uint32_t kHandleOffset = 36;
constexpr std::uint32_t kFieldsOffset = 68;
constexpr std::uint32_t kInstallDirSize = 256;
constexpr std::uint32_t kLogTextSize = 256;

// A request of the manager module; the server handle at 36 names its board.
class Request : public QelRequest {
 public:
  explicit Request(const QelMessageHeader* message) : QelRequest(message, kQelModuleManager) {}
  QelStatus board(std::uint32_t* board) const {
    if (!holds(kFieldsOffset)) return check({kFieldsOffset});
    std::uint32_t index = 0;
    const QelStatus status = IsHandleValid(reinterpret_cast<const QelHandle*>(at(kHandleOffset)), &index);
    *board = index - 1;
    return status;
  }
};

// The answer of a request with `payload` bytes after its header, zeroed.
QelStatus NewAnswer(const QelMessageHeader* request, std::uint32_t payload, QelMessageHeader** answer) {
  const QelStatus status = QelManAllocAnswer(request, static_cast<std::uint32_t>(sizeof(QelMessageHeader) + payload),
                                             answer);
  if (status == QEL_OK) std::memset(*answer + 1, 0, payload);
  return status;
}

void* PayloadOf(QelMessageHeader* answer) { return answer + 1; }

QelStatus Send(QelMessageHeader* answer, QelStatus status) {
  answer->command = status;
  return QelManSendAnswer(answer);
}

std::uint32_t CappedOutput(const Request& request, std::uint32_t offset) {
  return std::min(request.word(offset), kManLargestOutput);
}

// 1000 and 1006: handle, code, input size, output size, input.
struct ControlRequest {
  std::uint32_t code;
  std::uint32_t inputSize;
  std::uint32_t outputSize;
};

QelStatus CheckControl(const Request& request, ControlRequest* control, std::uint32_t* board) {
  QelStatus status = request.check({68, 72, 76, 80});
  if (status == QEL_OK) {
    control->code = request.word(68);
    control->inputSize = request.word(72);
    control->outputSize = CappedOutput(request, 76);
    status = request.check({68, 72, 76, 80, 80ull + control->inputSize});
  }
  if (status == QEL_OK) status = request.board(board);
  return status;
}

using ControlOperation = QelStatus (*)(std::uint32_t board, std::uint32_t code, const void* input,
                                      std::uint32_t inputSize, void* output, std::uint32_t outputSize);

// Commands 1000 and 1006: the operation's output is the answer's payload.
// Only the client's private callback runs with the API lock released.
QelStatus ServeControl(QelMessageHeader* message, ControlOperation operation, bool releaseLock) {
  const Request request(message);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, CappedOutput(request, 76), &answer); status != QEL_OK) return status;
  ControlRequest control{};
  std::uint32_t board = 0;
  QelStatus status = CheckControl(request, &control, &board);
  if (status == QEL_OK) {
    const std::uint8_t depth = releaseLock ? ApiUnlockThread() : 0;
    status = operation(board, control.code, request.at(80), control.inputSize, PayloadOf(answer), control.outputSize);
    if (releaseLock) ApiRelockThread(depth);
  }
  return Send(answer, status);
}

QelStatus ManCmdPrivate(QelMessageHeader* message) { return ServeControl(message, ManPrivateCallback, true); }

QelStatus ManCmdReportStatus(QelMessageHeader* message) {
  const Request request(message);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, 0, &answer); status != QEL_OK) return status;
  QelStatus status = request.check({68, 72, 76, 77});
  if (status == QEL_OK) {
    const std::string file = request.text(76, request.size());
    ManReportStatus(request.word(68), file.c_str(), static_cast<std::int32_t>(request.word(72)));
  }
  return Send(answer, status);
}

QelStatus ManCmdLogMessage(QelMessageHeader* message) {
  const Request request(message);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, 0, &answer); status != QEL_OK) return status;
  QelStatus status = request.check({68, 72, 76, 76 + kLogTextSize, 333});
  if (status == QEL_OK) {
    const std::string text = request.text(76, kLogTextSize);
    const std::string file = request.text(332, request.size());
    ManLogMessage(request.word(68), text.c_str(), file.c_str(), static_cast<std::int32_t>(request.word(72)));
  }
  return Send(answer, status);
}

QelStatus ManCmdSetPrivateCallback(QelMessageHeader* message) {
  const Request request(message);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, 0, &answer); status != QEL_OK) return status;
  const QelStatus status = request.check({68, 76});
  if (status == QEL_OK) ManSetPrivateCallback(request.quad(68));
  return Send(answer, status);
}

QelStatus ManCmdClearPrivateCallback(QelMessageHeader* message) {
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, 0, &answer); status != QEL_OK) return status;
  ManSetPrivateCallback(0);
  return Send(answer, QEL_OK);
}

QelStatus ManCmdExecuteCallback(QelMessageHeader* message) {
  const Request request(message);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, 0, &answer); status != QEL_OK) return status;
  QelStatus status = request.check({68, 76, 84, 88, 92});
  // The callback's own result is not the client's business.
  if (status == QEL_OK)
    status = ManExecuteCallback(request.quad(68), request.quad(76), request.word(84), request.word(88));
  return Send(answer, status);
}

// Manager control sees an input or output of no bytes as absent.
QelStatus ControlOfRequest(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                           void* output, std::uint32_t outputSize) {
  return ManControl(board, code, inputSize != 0 ? input : nullptr, inputSize, outputSize != 0 ? output : nullptr,
                    outputSize);
}

QelStatus ManCmdControl(QelMessageHeader* message) { return ServeControl(message, ControlOfRequest, false); }

QelStatus ManCmdCallFunction(QelMessageHeader* message) {
  const Request request(message);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, CappedOutput(request, 92), &answer); status != QEL_OK)
    return status;
  QelStatus status = request.check({68, 76, 84, 88, 92, 96});
  const std::uint32_t inputSize = request.word(88);
  if (status == QEL_OK) status = request.check({68, 76, 84, 88, 92, 96, 96ull + inputSize});
  if (status == QEL_OK)
    status = ManCallFunction(request.quad(68), request.word(84), request.at(96), inputSize, PayloadOf(answer),
                             CappedOutput(request, 92), request.quad(76));
  return Send(answer, status);
}

QelStatus ManCmdGetInstallDir(QelMessageHeader* message) {
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, kInstallDirSize, &answer); status != QEL_OK) return status;
  const QelStatus status = GetInstallationDirectory(static_cast<char*>(PayloadOf(answer)), kInstallDirSize);
  return Send(answer, status);
}

// The descriptor as the request carries it (88 to 151), packed.
QelEventDescriptor DescriptorOf(const Request& request) {
  QelEventDescriptor descriptor{};
  descriptor.word0 = request.word(88);
  descriptor.count = request.word(92);
  descriptor.flag = request.word(96);
  descriptor.value1 = request.quad(100);
  descriptor.value2 = request.quad(108);
  for (std::uint32_t i = 0; i < 9; ++i) descriptor.words[i] = request.word(116 + 4 * i);
  return descriptor;
}

QelStatus ManCmdCallFunctionEx(QelMessageHeader* message) {
  const Request request(message);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, 0, &answer); status != QEL_OK) return status;
  QelStatus status = request.check({68, 76, 84, 88, 152});
  const QelEventDescriptor descriptor = DescriptorOf(request);
  const std::uint64_t arrayEnd = 152ull + 4ull * descriptor.count;
  if (status == QEL_OK) status = request.check({68, 76, 84, 88, 152, arrayEnd, arrayEnd + descriptor.words[8]});
  const std::uint64_t function = request.quad(68);
  if (status == QEL_OK && function != 0 && !ManIsCallable(function)) status = kQelApiNotRegistered;
  if (status == QEL_OK && function != 0) {
    const auto* firstArray = reinterpret_cast<const std::uint32_t*>(request.at(152));
    const void* data = descriptor.words[8] != 0 ? request.at(static_cast<std::uint32_t>(arrayEnd)) : nullptr;
    // The client hears only that its functions ran.
    ManCallFunctionEx(message->destination, function, request.quad(76), request.word(84), &descriptor,
                      descriptor.count != 0 ? firstArray : nullptr, data);
  }
  return Send(answer, status);
}

QelStatus ConnectOrDisconnect(QelMessageHeader* message, QelStatus (*operation)(std::uint32_t board)) {
  const Request request(message);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, 0, &answer); status != QEL_OK) return status;
  std::uint32_t board = 0;
  QelStatus status = request.board(&board);
  if (status == QEL_OK) status = operation(board);
  return Send(answer, status);
}

QelStatus ManCmdConnect(QelMessageHeader* message) { return ConnectOrDisconnect(message, ManConnectBoard); }
QelStatus ManCmdDisconnect(QelMessageHeader* message) { return ConnectOrDisconnect(message, ManDisconnectBoard); }

QelStatus ManCmdReadControlWord(QelMessageHeader* message) {
  const Request request(message);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus status = NewAnswer(message, 4, &answer); status != QEL_OK) return status;
  std::uint32_t board = 0;
  QelStatus status = request.board(&board);
  if (status == QEL_OK) status = request.check({68, 72});
  if (status == QEL_OK) {
    const std::uint32_t asked = request.word(68);
    std::uint32_t word = 0;
    status = ManControl(board, kManControlCapabilityWord, &asked, sizeof asked, &word, sizeof word);
    if (status == QEL_OK) std::memcpy(PayloadOf(answer), &word, sizeof word);
  }
  return Send(answer, status);
}

constexpr std::array<QelFuncHandler, kManLastCommand - kManFirstCommand + 1> kManagerTable{
    ManCmdPrivate,              // 1000
    ManCmdReportStatus,         // 1001
    ManCmdLogMessage,           // 1002
    ManCmdSetPrivateCallback,   // 1003
    ManCmdClearPrivateCallback,  // 1004
    ManCmdExecuteCallback,      // 1005
    ManCmdControl,              // 1006
    nullptr,                    // 1007
    nullptr,                    // 1008
    nullptr,                    // 1009
    ManCmdCallFunction,         // 1010
    ManCmdGetInstallDir,        // 1011
    ManCmdCallFunctionEx,       // 1012
    ManCmdConnect,              // 1013
    ManCmdDisconnect,           // 1014
    nullptr,                    // 1015
    nullptr,                    // 1016
    nullptr,                    // 1017
    ManCmdReadControlWord,      // 1018
};

}  // namespace

QelStatus ManServerInit(HostFuncHandler** token) {
  return QelManNewFuncHandler(kManFirstCommand, kManLastCommand, kManagerTable.data(), token);
}
