#include "driver/user/YatDeviceIoControl.h"

#include <cstring>

#include "driver/user/YatLibrary.h"
#include "platform/win/device.h"
#include "qellib/QelLog.h"

namespace {

bool StampHeader(std::uint32_t board, void* input) {
  if (board >= YAT_MAX_BOARDS) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, YatDeviceIoControl boardindex %d >= max %d",
              kPardowLabel, static_cast<int>(board), static_cast<int>(YAT_MAX_BOARDS));
    return false;
  }
  const YatIocHeader header{YAT_IOC_TARGET_BOARD, board};
  std::memcpy(input, &header, sizeof header);
  return true;
}

}  // namespace

int YatDeviceIoControl(std::uint32_t board, std::uint32_t code, void* input,
                       std::uint32_t inputSize, void* output, std::uint32_t outputSize,
                       std::uint32_t* bytesReturned, void* overlapped, std::uint32_t flags) {
  if (input != nullptr && inputSize >= sizeof(YatIocHeader) && (flags & YAT_IOC_STAMP_BOARD) != 0 &&
      !StampHeader(board, input))
    return 0;
  std::uint32_t returned = 0;
  const bool sent = plat::device_io_control(Yat_GetDeviceHandle(), code, input, inputSize, output,
                                            outputSize, &returned);
  if (bytesReturned != nullptr) *bytesReturned = sent ? returned : 0;
  return sent ? 1 : 0;
}
