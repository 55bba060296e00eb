#include "firmware/win32/QelDorvBinding.h"

#include <atomic>

#include "platform/win/display.h"
#include "platform/win/errors.h"
#include "platform/win/library.h"
#include "qellib/QelLog.h"

namespace {

using dorv::DorvInterface;

constexpr std::uint32_t kLeastBitsPerPixel = 8;

std::atomic<std::uint32_t> g_attachCount{0};

// Gives the library back after a failed attach; the record keeps nothing of it.
// An earlier attach that still holds the library keeps its entries.
void Abandon(DorvInterface* record, plat::ModuleHandle module) {
  plat::free_library(module);
  if (g_attachCount.load() != 0) return;
  record->module = nullptr;
  record->registerInterface = nullptr;
  record->unregisterInterface = nullptr;
}

}  // namespace

std::uint32_t DorvAttach(DorvInterface* record) {
  if (plat::display_bits_per_pixel("DISPLAY") < kLeastBitsPerPixel) return kDorvNoDisplay;
  plat::ModuleHandle module = plat::load_library(dorv::kLibraryName);
  if (module == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "DorvAttach: Cannot load module \"%s\" Error 0x%08X",
              dorv::kLibraryName, plat::last_error());
    return kDorvCannotLoad;
  }
  auto registerInterface =
      reinterpret_cast<dorv::DorvRegisterInterfaceExFn>(plat::get_proc_address(module, "RegisterInterfaceEx"));
  if (registerInterface == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "DorvAttach: Cannot get registration interface Error 0x%08X",
              plat::last_error());
    Abandon(record, module);
    return kDorvNoRegistration;
  }
  auto unregisterInterface =
      reinterpret_cast<dorv::DorvUnregisterInterfaceExFn>(plat::get_proc_address(module, "UnregisterInterfaceEx"));
  if (unregisterInterface == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "DorvAttach: Cannot get unregistration interface Error 0x%08X",
              plat::last_error());
    Abandon(record, module);
    return kDorvNoRegistration;
  }
  record->module = module;
  record->registerInterface = registerInterface;
  record->unregisterInterface = unregisterInterface;
  record->sizeAndVersion = dorv::kDorvInterfaceSize;
  if (const std::uint32_t result = registerInterface(record); result != 0) {
    Abandon(record, module);
    if (result == dorv::kDorvErrorNoHardware)
      LogPutLog(kQelLogError, __FILE__, __LINE__, "DorvAttach: Direct Draw hardware support is not enabled");
    else
      LogPutLog(kQelLogError, __FILE__, __LINE__, "DorvAttach: Direct Draw error (0x%08X)", result);
    return DorvTranslateStatus(result) | kDorvRegistrationFailed;
  }
  if (record->sizeAndVersion != dorv::kDorvInterfaceVersion) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "DorvAttach: Incompatible interface versions (%d != %d)",
              static_cast<int>(record->sizeAndVersion), static_cast<int>(dorv::kDorvInterfaceVersion));
    Abandon(record, module);
    return kDorvIncompatibleVersion;
  }
  g_attachCount.fetch_add(1);
  return 0;
}

std::uint32_t DorvDetach(DorvInterface* record) {
  std::uint32_t count = g_attachCount.load();
  while (count != 0 && !g_attachCount.compare_exchange_weak(count, count - 1)) {
  }
  const std::uint32_t remaining = count == 0 ? 0 : count - 1;
  if (record->module == nullptr) return 0;
  if (remaining == 0 && record->unregisterInterface != nullptr) {
    record->sizeAndVersion = dorv::kDorvInterfaceSize;
    record->unregisterInterface(record);
    record->registerInterface = nullptr;
    record->unregisterInterface = nullptr;
  }
  plat::free_library(record->module);
  if (remaining == 0) record->module = nullptr;
  return 0;
}

std::uint32_t DorvAttachCount() { return g_attachCount.load(); }

std::uint32_t DorvFormatFromDataFormat(std::uint32_t format) {
  switch (format) {
    case 0x01010800:  // MONO8
    case 0x11010800:  // INT8
      return 1;
    case 0x61071000: return 2;   // RGB565
    case 0x61061000: return 3;   // RGB5551
    case 0x61092000: return 4;   // RGB8888
    case 0x61101000: return 5;   // YUYV
    case 0x610E1000: return 6;   // YUY2
    case 0x610D1000: return 7;   // UYVY
    case 0x610F1000: return 8;   // YVYU
    case 0x61110C00: return 9;   // Y411
    case 0x61120C00: return 10;  // Y211
    case 0x61081800: return 11;  // RGB888
    case 0x01021000: return 12;  // MONO16
    default: return dorv::kDorvFormatUnknown;
  }
}

std::uint32_t DorvMemTypeFromBufferType(std::uint32_t flags) {
  std::uint32_t type = 0;
  if (flags & 0x8) type = 2;
  if (flags & 0x4) type += 0x4001;
  if (flags & 0x2) type += 0x4000;
  if ((flags & 0x8) && !(flags & 0x6)) type += 0x2000;
  return type;
}

std::uint32_t DorvTranslateStatus(std::uint32_t code) {
  switch (code) {
    case 0: case 170: return 0;
    case 100: case 105: case 1046: return 76;
    case 110: case 175: return 75;
    case 115: return 110;
    case 120: case 125: case 130: case 145: case 150: case 155: case 185: case 225: case 235: return 43;
    case 135: case 230: case 1010: return 109;
    case 140: case 1004: case 1078: return 81;
    case 160: case 165: case 180: case 215: case 237: case 1011: case 1012: return 71;
    case 195: return 100;
    case 205: case 220: return 866;
    case 236: return 107;
    case 1003: return 50;
    case 1014: case 1015: case 1016: return 80;
    case 1017: return 84;
    default: break;
  }
  if (code >= 1000) return 110;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "qeldorv: QELSTATUS_SOFTWARE_ERROR generated from Dorv Error = 0x%08X",
            code);
  return 86;
}
