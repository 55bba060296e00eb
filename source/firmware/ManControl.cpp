#include "source/firmware/ManControl.h"

#include <array>
#include <atomic>

#include "source/firmware/ManControlInternal.h"

namespace mancontrol {
namespace {

struct TableRow {
  std::uint32_t first;
  std::uint32_t last;
  Row row;
};

// 22 rows over 25 codes; the monitor's four codes share one row.
constexpr std::array<TableRow, 22> kManagerTable{{
    {0x80000015, 0x80000015, BoardInformation},
    {0x80000016, 0x80000016, EepromFromOffset31},
    {0x80000019, 0x80000019, EepromWord18},
    {0x8000003B, 0x8000003B, AreaInformation},
    {0x8000003C, 0x8000003C, AreaFromOffset31},
    {0x8000004D, 0x8000004D, RawEepromRead},
    {0x8000004E, 0x8000004E, RawEepromWrite},
    {0x80000054, 0x80000054, VersionRecord},
    {kManControlFirstMonitorCode, kManControlLastMonitorCode, MonitorCommand},
    {0x80000061, 0x80000061, DevicePrmRead},
    {0x80000062, 0x80000062, DevicePrmWrite},
    {0x80000063, 0x80000063, FlashRead},
    {0x80000064, 0x80000064, FlashWrite},
    {0x80000065, 0x80000065, DevicePrmBlock},
    {0x8000006B, 0x8000006B, FieldCount},
    {0x8000006C, 0x8000006C, FieldInformation},
    {0x8000006D, 0x8000006D, FieldValueText},
    {0x8000006E, 0x8000006E, FieldValidate},
    {0x8000006F, 0x8000006F, FieldWrite},
    {0x80000070, 0x80000070, InitBoard},
    {0x80000071, 0x80000071, FieldWriteByName},
    {0x80000072, 0x80000072, FieldReadByName},
}};

constinit std::atomic<ManMonitorCommandFn> g_monitorCommand{nullptr};
constinit std::atomic<ManMonitorClearFifoFn> g_monitorClearFifo{nullptr};

}  // namespace

Row ManagerRowOf(std::uint32_t code) {
  for (const TableRow& entry : kManagerTable)
    if (code >= entry.first && code <= entry.last) return entry.row;
  return nullptr;
}

QelStatus MonitorCommand(const Call& call) {
  const ManMonitorCommandFn command = g_monitorCommand.load(std::memory_order_acquire);
  if (command == nullptr) return kManControlMonitorAbsent;
  return command(call.board, call.code, call.input, call.inputSize, call.output, call.outputSize);
}

// Exactly 12 bytes: the monitor handle (u64) and the FIFO selector.
QelStatus MonitorClearFifo(const Call& call) {
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize != 12) return kInputSize;
  const ManMonitorClearFifoFn clear = g_monitorClearFifo.load(std::memory_order_acquire);
  if (clear == nullptr) return kManControlMonitorAbsent;
  return clear(call.quad(0), call.word(8));
}

}  // namespace mancontrol

void ManControlBindMonitor(const ManMonitorEntries* entries) {
  mancontrol::g_monitorCommand.store(entries != nullptr ? entries->command : nullptr, std::memory_order_release);
  mancontrol::g_monitorClearFifo.store(entries != nullptr ? entries->clearFifo : nullptr, std::memory_order_release);
}

QelStatus ManControl(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                     void* output, std::uint32_t outputSize) {
  if (output != nullptr && outputSize != 0) std::memset(output, 0, outputSize);
  const mancontrol::Row row = mancontrol::ManagerRowOf(code);
  if (row == nullptr) return BoardPrivateCommand(board, code, input, inputSize, output, outputSize);
  const mancontrol::Call call{board, code, static_cast<const std::uint8_t*>(input), inputSize,
                              static_cast<std::uint8_t*>(output), outputSize};
  return row(call);
}

QelStatus BoardPrivateCommand(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                              void* output, std::uint32_t outputSize) {
  const mancontrol::Row row = mancontrol::PrivateRowOf(code);
  if (row == nullptr) return mancontrol::kNoRow;
  const mancontrol::Call call{board, code, static_cast<const std::uint8_t*>(input), inputSize,
                              static_cast<std::uint8_t*>(output), outputSize};
  return row(call);
}
