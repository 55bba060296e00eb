// A process that loads the board library and runs one board-manager command
// per input line (initialisation state, firmware files, device parameters
// through the extended interface, multi-firmware records, reset), answering
// one line each.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/CbhRecords.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatExtendedInterface.h"
#include "driver/user/YatSharedData.h"
#include "platform/win/device.h"
#include "platform/win/sections.h"
#include "driver/user/tests/helper_support.h"

namespace {

using helper::Number;
using helper::Hex;
using helper::Bytes;

using VersionInfoFn = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint32_t*, std::uint8_t*, std::uint32_t,
                                      std::uint32_t*);

std::string Word(std::istringstream& in) {
  std::string text;
  in >> text;
  return text;
}

QelHwExtendedInterface Interface() {
  QelHwExtendedInterface face{};
  QelHw_Man_GetExtendedInterface(&face, sizeof face);
  return face;
}

YatBoardEntry Entry(std::uint32_t board) {
  YatBoardEntry entry{};
  auto* shared = static_cast<YatSharedData*>(plat::map_module_shared_data(YAT_SHARED_DATA_NAME, sizeof(YatSharedData)));
  if (shared == nullptr) return entry;
  if (board < YAT_MAX_BOARD) entry = shared->boards[board];
  plat::release_module_shared_data(shared);
  return entry;
}

// The status word the driver answers to a register read, through a device handle of this process.
std::int32_t RawRead(std::uint32_t board, std::uint32_t offset) {
  const plat::Handle device = plat::open_device("\\\\.\\STAVRO");
  if (device == plat::kNullHandle) return -1;
  struct {
    YatIocHeader header;
    std::uint32_t offset;
  } in{{YAT_IOC_TARGET_BOARD, board}, offset};
  std::int32_t out[2] = {-1, 0};
  std::uint32_t bytes = 0;
  plat::device_io_control(device, YAT_IOCTRL_READ_BAR, &in, sizeof in, out, sizeof out, &bytes);
  plat::close_device(device);
  return out[0];
}

std::string VersionInfo(std::istringstream& in) {
  const std::uint32_t board = Number(in), section = Number(in), size = Number(in);
  std::uint32_t flags = 0, headerSize = 0;
  std::vector<std::uint8_t> buffer(size + 1);
  const auto call = reinterpret_cast<VersionInfoFn>(Interface().firmwareGetVersionInfo);
  const QelHwStatus status = call(board, section, &flags, buffer.data(), size, &headerSize);
  char text[64];
  std::snprintf(text, sizeof text, "%d 0x%x %u ", status, flags, headerSize);
  return text + Hex(buffer.data(), headerSize <= size ? headerSize : 0);
}

std::string GetPrm(std::istringstream& in) {
  const std::uint32_t board = Number(in), section = Number(in), parameter = Number(in), size = Number(in);
  std::vector<std::uint8_t> value(size + 1);
  const QelHwStatus status = Interface().devicePrmRead(board, section, parameter, value.data(), size);
  return std::to_string(status) + " " + Hex(value.data(), size);
}

std::string SetPrm(std::istringstream& in) {
  const std::uint32_t board = Number(in), section = Number(in), parameter = Number(in);
  std::vector<std::uint8_t> value = Bytes(Word(in));
  return std::to_string(Interface().devicePrmWrite(board, section, parameter, value.empty() ? nullptr : value.data(),
                                                   static_cast<std::uint32_t>(value.size())));
}

// "multiset B size enable cfcid flags index name"
std::string MultiSet(std::istringstream& in) {
  const std::uint32_t board = Number(in), size = Number(in), enable = Number(in);
  QelMultiFirmwareCfgInfo info{};
  info.size = size;
  info.CfcId = Number(in);
  info.flags = Number(in);
  info.DefaultFirmwareIndex = Number(in);
  std::snprintf(info.CfcName, sizeof info.CfcName, "%s", Word(in).c_str());
  QelHwStatus status = Yat_Man_SetDevicePrm(board, 0, 0x80000002, sizeof enable, const_cast<std::uint32_t*>(&enable));
  if (status == QELHW_OK) status = Yat_Man_SetDevicePrm(board, 0, 0x80000003, size, &info);
  return std::to_string(status);
}

std::string MultiGet(std::istringstream& in) {
  const std::uint32_t board = Number(in), size = Number(in);
  QelMultiFirmwareCfgInfo info{};
  info.DefaultFirmwareIndex = 0xEEEE;
  const QelHwStatus status = Yat_Man_GetDevicePrm(board, 0, 8, size, &info);
  std::ostringstream out;
  out << status << ' ' << info.CfcId << ' ' << info.flags << ' ' << info.DefaultFirmwareIndex << ' ' << info.CfcName;
  return out.str();
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  const std::string command = Word(in);
  if (command == "open") return std::to_string(QelHw_Open());
  if (command == "close") return std::to_string(QelHw_Close());
  if (command == "isinit") return std::to_string(Yat_Man_IsBoardInitialized(Number(in)));
  if (command == "entry") {
    const YatBoardEntry entry = Entry(Number(in));
    CbhHeader header{};
    std::memcpy(&header, entry.activeFirmwareHeader, sizeof header);
    std::ostringstream out;
    out << entry.initError << ' ' << entry.initialized << ' ' << header.firmwareId << ' ' << header.componentId << ' '
        << entry.hostDmaOwner[0][0];
    return out.str();
  }
  if (command == "owner") {  // "owner B camera": the first host DMA channel taken by that camera
    const std::uint32_t board = Number(in);
    const std::uint32_t camera = Number(in);
    auto* shared = static_cast<YatSharedData*>(plat::map_module_shared_data(YAT_SHARED_DATA_NAME, sizeof(YatSharedData)));
    if (shared == nullptr) return "unmapped";
    shared->boards[board].hostDmaOwner[0][0] = camera;
    plat::release_module_shared_data(shared);
    return "0";
  }
  if (command == "setfile") {
    const std::uint32_t board = Number(in), section = Number(in);
    return std::to_string(Yat_Man_SetFpgaFileName(board, section, Word(in).c_str()));
  }
  if (command == "load") {
    const std::uint32_t board = Number(in), section = Number(in);
    return std::to_string(Yat_Man_Load_Firmware(board, section, Word(in).c_str()));
  }
  if (command == "save") {
    const std::uint32_t board = Number(in), section = Number(in);
    return std::to_string(Yat_Man_Save_Firmware(board, section, Word(in).c_str()));
  }
  if (command == "verinfo") return VersionInfo(in);
  if (command == "prm") return GetPrm(in);
  if (command == "setprm") return SetPrm(in);
  if (command == "multiset") return MultiSet(in);
  if (command == "multiget") return MultiGet(in);
  if (command == "reset") return std::to_string(Yat_Man_Board_Reset(Number(in)));
  if (command == "rawread") {
    const std::uint32_t board = Number(in);
    return std::to_string(RawRead(board, Number(in)));
  }
  if (command == "xio") return std::to_string(Yat_Man_isIoBoardFpgaLoaded(Number(in)));
  if (command == "maxcam") {
    std::uint32_t cameras = 0;
    const QelHwStatus status = Yat_Man_GetMaxCamera(Number(in), &cameras);
    return std::to_string(status) + " " + std::to_string(cameras);
  }
  if (command == "options") {  // the option bits of the entry's flash record, in hex
    std::uint16_t options = 0;
    std::memcpy(&options, Entry(Number(in)).flashFirmwareRecord + offsetof(CbhFlashRecord, optionBits), sizeof options);
    char text[8];
    std::snprintf(text, sizeof text, "%x", options);
    return text;
  }
  if (command == "fpgaload") {  // a load without an image: option 0 reloads from flash
    const std::uint32_t board = Number(in);
    return std::to_string(Yat_FPGA_Load(board, "flash", nullptr, 0, Number(in)));
  }
  if (command == "ports") {
    std::uint32_t ports = 0, second = 9;
    const QelHwStatus status = Yat_Man_GetSerialPortCount(Number(in), &ports, &second);
    return std::to_string(status) + " " + std::to_string(ports) + " " + std::to_string(second);
  }
  return "unknown";
}

}  // namespace

int main() { return helper::Serve(Run); }
