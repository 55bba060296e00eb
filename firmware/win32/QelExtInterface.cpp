#include "firmware/win32/QelExtInterface.h"

#include <atomic>

#include "driver/user/YatExtendedInterface.h"

namespace {

using FlashReadFn = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint32_t, void*, std::uint32_t);
using FlashWriteFn = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint32_t, const void*, std::uint32_t);
using VersionInfoFn = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint32_t*, std::uint8_t*, std::uint32_t,
                                      std::uint32_t*);
using FirmwareNameFn = QelHwStatus (*)(std::uint32_t, std::uint32_t, char*, std::uint32_t);
using FourValuesFn = QelHwStatus (*)(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t);

constinit QelHwExtendedInterface g_table{};
// Set once the copy is complete, so a reader never sees half a table.
constinit std::atomic<bool> g_bound{false};

template <typename Fn>
Fn SlotOf(void* slot) {
  return reinterpret_cast<Fn>(slot);
}

// 70 for an empty slot (or before binding); the board status translated otherwise.
template <typename Fn, typename... Args>
QelStatus Call(Fn slot, Args... args) {
  if (!g_bound.load(std::memory_order_acquire) || slot == nullptr) return kExtSlotEmpty;
  return TranslateStatus(slot(args...));
}

}  // namespace

bool BindExtendedInterface() {
  g_bound.store(false, std::memory_order_release);
  QelHw_Man_GetExtendedInterface(&g_table, sizeof g_table);
  g_bound.store(true, std::memory_order_release);
  return true;
}

void UnbindExtendedInterface() { g_bound.store(false, std::memory_order_release); }

QelStatus ExtEepromGetInfo(std::uint32_t board, std::uint32_t page, void* block, std::uint32_t size) {
  return Call(g_table.eepromGetInfo, board, page, block, size);
}

QelStatus ExtEepromSetInfo(std::uint32_t board, std::uint32_t page, const void* block, std::uint32_t size) {
  return Call(g_table.eepromSetInfo, board, page, block, size);
}

QelStatus ExtEepromRead(std::uint32_t board, std::uint32_t eeprom, std::uint32_t offset, void* bytes,
                        std::uint32_t count) {
  return Call(g_table.eepromRead, board, eeprom, offset, bytes, count);
}

QelStatus ExtEepromWrite(std::uint32_t board, std::uint32_t eeprom, std::uint32_t offset, const void* bytes,
                         std::uint32_t count) {
  return Call(g_table.eepromWriteData, board, eeprom, offset, bytes, count);
}

QelStatus ExtFlashRead(std::uint32_t board, std::uint32_t section, std::uint32_t offset, void* bytes,
                       std::uint32_t count) {
  return Call(SlotOf<FlashReadFn>(g_table.flashRead), board, section, offset, bytes, count);
}

QelStatus ExtFlashWrite(std::uint32_t board, std::uint32_t section, std::uint32_t offset, const void* bytes,
                        std::uint32_t count) {
  return Call(SlotOf<FlashWriteFn>(g_table.flashWriteVerify), board, section, offset, bytes, count);
}

QelStatus ExtSlot8(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d) {
  return Call(SlotOf<FourValuesFn>(g_table.slot8), a, b, c, d);
}

QelStatus ExtSlot9(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d) {
  return Call(SlotOf<FourValuesFn>(g_table.slot9), a, b, c, d);
}

QelStatus ExtFirmwareGetVersionInfo(std::uint32_t board, std::uint32_t section, std::uint32_t* versionWord,
                                    std::uint8_t* data, std::uint32_t size, std::uint32_t* dataSize) {
  return Call(SlotOf<VersionInfoFn>(g_table.firmwareGetVersionInfo), board, section, versionWord, data, size,
              dataSize);
}

QelStatus ExtFirmwareGetName(std::uint32_t board, std::uint32_t section, char* name, std::uint32_t size) {
  return Call(SlotOf<FirmwareNameFn>(g_table.firmwareGetName), board, section, name, size);
}

QelStatus ExtGetDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter, void* value,
                          std::uint32_t size) {
  return Call(g_table.devicePrmRead, board, section, parameter, value, size);
}

QelStatus ExtSetDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter, void* value,
                          std::uint32_t size) {
  return Call(g_table.devicePrmWrite, board, section, parameter, value, size);
}

QelStatus ExtSlot14(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d) {
  return Call(SlotOf<FourValuesFn>(g_table.slot14), a, b, c, d);
}
