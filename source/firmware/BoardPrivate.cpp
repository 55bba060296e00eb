// The board private commands: registers, FPGA load, state and file names,
// the board's address window, on-board memory size, firmware files and the
// capability word. The board library's statuses come back as they are,
// except for the firmware files, whose statuses are translated.
#include <algorithm>
#include <array>

#include "driver/user/Pardow.h"
#include "driver/user/YatBoardManager.h"
#include "source/firmware/ManControlInternal.h"

namespace mancontrol {
namespace {

constexpr std::uint32_t kFpgaLoaded = 0;
constexpr std::uint32_t kFpgaNotLoaded = 104;

// Kind bytes 0 and 1 are refused by both register rows.
bool RefusedKind(std::uint8_t kind) { return kind == 0 || kind == 1; }

QelStatus WriteRegister(const Call& call) {
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize != 13 || RefusedKind(call.input[0])) return kInputSize;
  return static_cast<QelStatus>(Yat_WriteDataReg(call.board, call.word(1), call.word(9)));
}

QelStatus ReadRegister(const Call& call) {
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize != 9 || RefusedKind(call.input[0])) return kInputSize;
  if (call.input[0] != 2) return kOutputSize;
  if (call.output == nullptr || call.outputSize < 4) return kOutputSize;
  std::uint32_t value = 0;
  const QelHwStatus status = Yat_ReadDataReg(call.board, call.word(1), &value);
  call.putWord(0, value);
  return static_cast<QelStatus>(status);
}

// A 256-byte name field, then the load's word at 256.
QelStatus LoadFpga(const Call& call) {
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize < kTextField + 4) return kInputSize;
  const std::string name = call.text(0, kTextField);
  return static_cast<QelStatus>(Yat_FPGA_Load(call.board, name.c_str(), nullptr, 0, call.word(kTextField)));
}

QelStatus NoOperationOfOutput(const Call& call) {
  if (call.output == nullptr || call.outputSize == 0) return kNoOperation;
  return call.outputSize >= 6 ? kNoRow : kInputSize;
}

QelStatus NoOperationOfInput(const Call& call) {
  if (call.input == nullptr || call.inputSize == 0) return kNoOperation;
  return call.inputSize == 10 ? kNoRow : kInputSize;
}

QelStatus AddressWindow(const Call& call) {
  if (call.output == nullptr || call.outputSize != 8) return kInputSize;
  std::uint32_t base = 0;
  std::uint32_t size = 0;
  Yat_Man_GetBaseAddress(call.board, &base);
  Yat_Man_GetAddressSize(call.board, &size);
  call.putWord(0, base);
  call.putWord(4, size);
  return QEL_OK;
}

QelStatus MemorySize(const Call& call) {
  if (call.output == nullptr) return kOutputMissing;
  if (call.outputSize < 4) return kOutputSize;
  std::uint32_t megabytes = 0;
  const QelHwStatus status = Yat_Man_GetOnboardMemorySize(call.board, 0, &megabytes);
  call.putWord(0, megabytes);
  return static_cast<QelStatus>(status);
}

QelStatus FpgaFileName(const Call& call) {
  if (call.output == nullptr || call.outputSize == 0) return kOutputSize;
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize < 4) return kInputSize;
  char* name = reinterpret_cast<char*>(call.output);
  const QelHwStatus status = Yat_Man_GetFpgaFileName(call.board, call.word(0), name, call.outputSize);
  name[call.outputSize - 1] = '\0';
  return static_cast<QelStatus>(status);
}

QelStatus SetFpgaFileName(const Call& call) {
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize < kTextField + 4) return kInputSize;
  const std::string name = call.text(0, kTextField);
  return static_cast<QelStatus>(Yat_Man_SetFpgaFileName(call.board, call.word(kTextField), name.c_str()));
}

QelStatus FpgaState(const Call& call) {
  if (call.output == nullptr || call.outputSize < 20) return kOutputSize;
  if (Yat_FPGA_IsPresent(call.board) != 0)
    call.putWord(0, Yat_FPGA_IsLoaded(call.board) != 0 ? kFpgaLoaded : kFpgaNotLoaded);
  return QEL_OK;
}

// Word 0, then the file name from 4.
using FirmwareFileFn = QelHwStatus (*)(std::uint32_t, std::uint32_t, const char*);
QelStatus FirmwareFile(const Call& call, FirmwareFileFn operation) {
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize < 8) return kInputSize;
  const std::string file = call.text(4, call.inputSize - 4);
  return TranslateStatus(operation(call.board, call.word(0), file.c_str()));
}

QelStatus LoadFirmware(const Call& call) { return FirmwareFile(call, Yat_Man_Load_Firmware); }
QelStatus SaveFirmware(const Call& call) { return FirmwareFile(call, Yat_Man_Save_Firmware); }

// The capability word of the board: 1 for the capabilities 1, 32 and 160.
// The row tests no size: a shorter input reads as zeros, a shorter output
// gets what fits.
QelStatus CapabilityWord(const Call& call) {
  if (call.input == nullptr) return kInputMissing;
  if (call.output == nullptr) return kOutputMissing;
  std::uint32_t asked = 0;
  std::memcpy(&asked, call.input, std::min<std::uint32_t>(call.inputSize, sizeof asked));
  const std::uint32_t word = (asked == 1 || asked == 32 || asked == 160) ? 1 : 0;
  std::memcpy(call.output, &word, std::min<std::uint32_t>(call.outputSize, sizeof word));
  return QEL_OK;
}

struct PrivateRow {
  std::uint32_t code;
  Row row;
};

constexpr std::array<PrivateRow, 16> kPrivateTable{{
    {0x8000000D, WriteRegister},
    {0x8000000F, ReadRegister},
    {0x80000010, LoadFpga},
    {0x8000002E, NoOperationOfOutput},
    {0x80000033, AddressWindow},
    {0x8000003D, MemoryWrite},
    {0x8000003E, MemoryTest},
    {0x8000003F, MemorySize},
    {0x8000004A, FpgaFileName},
    {0x8000004B, SetFpgaFileName},
    {0x8000004C, FpgaState},
    {0x80000056, NoOperationOfInput},
    {0x8000005D, LoadFirmware},
    {kManControlCapabilityWord, CapabilityWord},
    {0x80000067, SaveFirmware},
    {kManControlMonitorClearFifo, MonitorClearFifo},
}};

}  // namespace

Row PrivateRowOf(std::uint32_t code) {
  for (const PrivateRow& entry : kPrivateTable)
    if (entry.code == code) return entry.row;
  return nullptr;
}

}  // namespace mancontrol
