// The general-purpose I/O modules' shared pieces.
#include "driver/user/YatGpioRegisters.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kConnectorOne = 1;
constexpr std::uint32_t kOutputTypeTwo = 2;

}  // namespace

YatIoBoardState* YatGpioState(std::uint32_t board) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  return entry == nullptr ? nullptr : &entry->ioBoard;
}

bool YatGpioInputsInverted(const YatIoBoardState& state) { return state.connector == kConnectorOne; }

bool YatGpioOutputsInverted(const YatIoBoardState& state) {
  return state.connector == kConnectorOne && state.outputType == kOutputTypeTwo;
}

QelHwStatus YatGpioArgumentInvalid(const char* name) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: %s ARGUMENT INVALID", kPardowLabel, name);
  return QELHW_ERROR_ARG_INVALID;
}
