// The high-speed link's exports: management bus, PHY status and the serial
// channel go to driver section 9; the core timing is plain FPGA registers.
#include <array>

#include "driver/user/Pardow.h"
#include "driver/user/YatDeviceIoControl.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kPixelSizeRegister = 3272;
constexpr std::array<std::uint32_t, 3> kLaneRegisters = {3276, 3280, 3284};
constexpr std::uint32_t kMaxLanes = 6;
constexpr std::uint32_t kLaneWordMask = 0x1FF;
constexpr std::uint32_t kLaneWordBits = 9;

void Log(const char* format, auto... arguments) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, format, kPardowLabel, arguments...);
}

QelHwStatus Invalid(const char* name, std::uint32_t board) {
  Log("%s, Board %d, %s ARGUMENT INVALID", static_cast<int>(board), name);
  return QELHW_ERROR_ARG_INVALID;
}

struct Answer {
  bool delivered;
  QelHwStatus status;
};

// Sends with the status word preset; a failed or empty request is logged
// as "<name> Failed" and not delivered.
template <class In, class Out>
Answer Send(const char* name, std::uint32_t board, std::uint32_t code, In* in, Out* out) {
  out->status.status = YAT_IOC_STATUS_PRESET;
  std::uint32_t bytes = 0;
  const int sent = YatDeviceIoControl(board, code, in, sizeof(In), out, sizeof(Out), &bytes, nullptr,
                                      YAT_IOC_STAMP_BOARD);
  if (sent != 0 && bytes != 0) return {true, out->status.status};
  Log("%s: %s Failed %x %x", name, static_cast<unsigned>(sent), bytes);
  return {false, QELHW_ERROR_DRIVER_ACCESS};
}

// A non-zero driver status is logged with the register and becomes 0xC0000000.
QelHwStatus Translate(const char* name, std::uint32_t reg, QelHwStatus status) {
  if (status == QELHW_OK) return QELHW_OK;
  Log("%s: %s(%08X) status %s ,%8x", name, reg, "ERROR", static_cast<unsigned>(status));
  return QELHW_ERROR_DRIVER_STATUS;
}

struct StatusOnly {
  YatIocStatus status;
};

QelHwStatus SerialRequest(const char* name, const char* logName, std::uint32_t code, std::uint32_t board,
                          std::uint32_t port, std::uint32_t count, std::uint64_t buffer, std::uint32_t* returned) {
  YatLinkSerialIn in{{}, port, count, buffer};
  YatLinkValueOut out{};
  Answer answer{};
  if (returned != nullptr) {
    answer = Send(name, board, code, &in, &out);
    if (answer.delivered) *returned = out.value;
  } else {
    StatusOnly small{};
    answer = Send(name, board, code, &in, &small);
  }
  if (!answer.delivered) return answer.status;
  return Translate(logName, port, answer.status);
}

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

}  // namespace

PARDOW_API QelHwStatus Yat_MDIO_Read(std::uint32_t board, std::uint8_t phy, std::uint8_t device, std::uint16_t reg,
                                     std::uint16_t* value) {
  if (board >= YAT_MAX_BOARD || value == nullptr) return Invalid("Yat_MDIO_Read", board);
  YatMdioReadIn in{{}, phy, device, reg};
  YatMdioOut out{};
  const Answer answer = Send("Yat_MDIO_Read", board, YAT_IOCTRL_MDIO_READ, &in, &out);
  if (!answer.delivered) return answer.status;
  *value = out.value;
  return Translate("Yat_MDIO_Read", reg, answer.status);
}

PARDOW_API QelHwStatus Yat_MDIO_Write(std::uint32_t board, std::uint8_t phy, std::uint8_t device, std::uint16_t reg,
                                      std::uint16_t value) {
  if (board >= YAT_MAX_BOARD || phy >= 4) return Invalid("Yat_MDIO_Write", board);
  YatMdioIn in{{}, phy, device, reg, value};
  StatusOnly out{};
  const Answer answer = Send("Yat_MDIO_Write", board, YAT_IOCTRL_MDIO_WRITE, &in, &out);
  if (!answer.delivered) return answer.status;
  return Translate("Yat_MDIO_Write", reg, answer.status);
}

PARDOW_API QelHwStatus Yat_MDIO_Phys_Status(std::uint32_t board, std::uint32_t phy, std::uint32_t item,
                                            std::uint32_t* value) {
  if (board >= YAT_MAX_BOARD) return Invalid("Yat_MDIO_Phys_Status", board);
  if (item == 0 || value == nullptr) {
    Log("%s, Board %d, Yat_MDIO_Phys_Status ARGUMENT NULL", static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  YatLinkPairIn in{{}, phy, item};
  YatLinkValueOut out{};
  out.status.status = YAT_IOC_STATUS_PRESET;
  std::uint32_t bytes = 0;
  const int sent = YatDeviceIoControl(board, YAT_IOCTRL_MDIO_PHY_STATUS, &in, sizeof in, &out, sizeof out, &bytes,
                                      nullptr, YAT_IOC_STAMP_BOARD);
  if (sent == 0 || bytes == 0) {
    Log("%s, Board %d, Yat_MDIO_Phys_Status Failed retval=%x bytes=%x ", static_cast<int>(board),
        static_cast<unsigned>(sent), bytes);
    return QELHW_ERROR_DRIVER_ACCESS;
  }
  *value = out.value;
  if (out.status.status != QELHW_OK)
    Log("%s, Board %d, Yat_MDIO_Phys_Status(%2X) status %x", static_cast<int>(board), item,
        static_cast<unsigned>(out.status.status));
  return out.status.status;
}

// No argument is admitted, so neither request is ever sent.
PARDOW_API QelHwStatus Yat_Man_Reset_HighSpeed_Phy(std::uint32_t board, std::uint32_t, std::uint32_t) {
  return Invalid("Yat_Man_Reset_HighSpeed_Phy", board);
}

PARDOW_API QelHwStatus Yat_Fpga_FE_SetLanes(std::uint32_t board, std::uint32_t lanes, std::uint32_t) {
  if (board >= YAT_MAX_BOARD) return Invalid("Yat_Fpga_FE_SetLanes", board);
  Log("%s, Board %d, Yat_Fpga_FE_SetLanes(%d) ARGUMENT INVALID", static_cast<int>(board), static_cast<int>(lanes));
  return QELHW_ERROR_ARG_INVALID;
}

PARDOW_API QelHwStatus Yat_Fpga_FE_Set_HS_Core(std::uint32_t board, std::uint32_t fpga, std::uint32_t bitsPerPixel,
                                               std::uint32_t lineLength, std::uint32_t lanes, std::uint32_t taps) {
  const std::int64_t L = lanes & 0xFF;
  const bool bitsValid = bitsPerPixel == 8 || bitsPerPixel == 10 || bitsPerPixel == 12;
  if (board >= YAT_MAX_BOARD || L == 0 || L > kMaxLanes || (taps != 1 && taps != 2 && taps != 4) || !bitsValid)
    return Invalid("Yat_Fpga_FE_Set_HS_Core", board);
  QelHwStatus status = Yat_FPGA_WriteDataReg(board, fpga, kPixelSizeRegister, (bitsPerPixel - 8) / 2);
  const std::int64_t b = bitsPerPixel == 8 ? 1 : 2;
  const std::int64_t N = lineLength, T = taps;
  const std::int64_t words = (N * T + 32 * L - 1) / (32 * L);
  const std::int64_t span = words * 32 * L;
  std::int64_t main = span * b / (16 * L * T);
  std::int64_t last = main - (main * 16 * L - N * b) / 16;
  main -= 2;
  last -= 2;
  std::array<std::uint32_t, kMaxLanes + 3> laneWords{};
  for (std::int64_t i = 0; i < L; ++i)
    laneWords[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i == L - 1 ? last : main) & kLaneWordMask;
  for (std::size_t r = 0; r < kLaneRegisters.size(); ++r) {
    const std::uint32_t packed = laneWords[3 * r] | laneWords[3 * r + 1] << kLaneWordBits |
                                 laneWords[3 * r + 2] << (2 * kLaneWordBits);
    status = Yat_FPGA_WriteDataReg(board, fpga, kLaneRegisters[r], packed);
  }
  return Translate("Yat_Fpga_FE_Set_HS_Core", kLaneRegisters.back(), status);
}

PARDOW_API QelHwStatus Yat_CLHS_Serial_Write_Port(std::uint32_t board, std::uint32_t port, std::uint32_t count,
                                                  const void* buffer) {
  if (board >= YAT_MAX_BOARD || port != 0 || count == 0 || buffer == nullptr)
    return Invalid("YAT_IOCTRL_CLHS_SERIAL_WRITE_PORT", board);
  return SerialRequest("YAT_IOCTRL_CLHS_SERIAL_WRITE_PORT", "YAT_IOCTRL_CLHS_SERIAL_WRITE_PORT",
                       YAT_IOCTRL_CLHS_SERIAL_WRITE_PORT, board, port, count, Address(buffer), nullptr);
}

PARDOW_API QelHwStatus Yat_CLHS_Serial_Read_Port(std::uint32_t board, std::uint32_t port, std::uint32_t* count,
                                                 void* buffer) {
  if (board >= YAT_MAX_BOARD || port != 0 || count == nullptr || *count == 0 || buffer == nullptr)
    return Invalid("Yat_CLHS_Serial_Read_Port", board);
  return SerialRequest("Yat_CLHS_Serial_Read_Port", "Yat_CLHS_Serial_Read_Port", YAT_IOCTRL_CLHS_SERIAL_READ_PORT,
                       board, port, *count, Address(buffer), count);
}

PARDOW_API QelHwStatus Yat_CLHS_Serial_Connect_Port(std::uint32_t board, std::uint32_t port) {
  if (board >= YAT_MAX_BOARD || port != 0) return Invalid("Yat_CLHS_Serial_Connect_Port", board);
  return SerialRequest("Yat_CLHS_Serial_Connect_Port", "Yat_CLHS_Serial_Connect_Port",
                       YAT_IOCTRL_CLHS_SERIAL_CONNECT_PORT, board, port, 0, 0, nullptr);
}

PARDOW_API QelHwStatus Yat_CLHS_Serial_Disconnect_Port(std::uint32_t board, std::uint32_t port) {
  if (board >= YAT_MAX_BOARD || port != 0) return Invalid("Yat_CLHS_Serial_Disconnect_Port", board);
  return SerialRequest("Yat_CLHS_Serial_Disconnect_Port", "Yat_CLHS_Serial_Disconnect_Port",
                       YAT_IOCTRL_CLHS_SERIAL_DISCONNECT_PORT, board, port, 0, 0, nullptr);
}
