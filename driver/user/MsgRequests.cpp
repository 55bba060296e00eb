#include "driver/user/MsgRequests.h"

#include <cstring>

#include "driver/user/YatDeviceIoControl.h"

namespace {

MsgAnswer Send(std::uint32_t board, std::uint32_t code, void* input, std::uint32_t inputSize, std::int32_t preset,
               std::uint32_t flags) {
  YatIocStatus output{preset};
  MsgAnswer answer{0, 0, preset};
  answer.sent = YatDeviceIoControl(board, code, input, inputSize, &output, sizeof output, &answer.bytes, nullptr,
                                   flags);
  answer.status = output.status;
  return answer;
}

MsgAnswer SendRegistration(std::uint32_t code, std::uint32_t type, std::uint64_t event) {
  YatEventRegistration record{{0, 0}, type, event};
  return MsgSendGlobal(code, &record, sizeof record, kMsgPresetOne);
}

}  // namespace

MsgAnswer MsgSendGlobal(std::uint32_t code, void* input, std::uint32_t inputSize, std::int32_t preset) {
  return Send(0, code, input, inputSize, preset, YAT_IOC_SEND_AS_IS);
}

MsgAnswer MsgSendBoard(std::uint32_t board, std::uint32_t code, void* input, std::uint32_t inputSize,
                       std::int32_t preset) {
  return Send(board, code, input, inputSize, preset, YAT_IOC_STAMP_BOARD);
}

MsgAnswer MsgRegisterEvent(std::uint32_t type, std::uint64_t event) {
  return SendRegistration(YAT_IOCTRL_REGISTER_EVENT, type, event);
}

MsgAnswer MsgUnregisterEvent(std::uint32_t type, std::uint64_t event) {
  return SendRegistration(YAT_IOCTRL_UNREGISTER_EVENT, type, event);
}
