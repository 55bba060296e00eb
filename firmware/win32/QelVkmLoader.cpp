#include "firmware/win32/QelVkmLoader.h"

#include <cstdio>
#include <cstring>

#include "platform/win/errors.h"
#include "platform/win/library.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kLabelSize = 260;

struct VkmBinding {
  char label[kLabelSize];
  plat::ModuleHandle module;
  bool loadedHere;
  bool attempted;
  bool bound;
  QelDevManCtrlInterface table;    // as the module handed it out
  QelDevManCtrlInterface entries;  // the 22 slots used (slot 4 stays null)
};

constinit VkmBinding g_vkm{};

const char* Label() { return g_vkm.label[0] != '\0' ? g_vkm.label : kVkmLoaderLabel; }

void ForgetEntries() {
  g_vkm.table = {};
  g_vkm.entries = {};
}

// Runs the named entry, binding the module first when nobody tried yet.
template <typename Fn, typename... Args>
std::uint32_t CallEntry(Fn QelDevManCtrlInterface::*slot, const char* name, Args... args) {
  if (g_vkm.module == nullptr && !g_vkm.attempted) LoadVkmModule();
  const Fn entry = g_vkm.entries.*slot;
  if (entry == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Function %s not found in %s", Label(), name, kVkmModuleName);
    return kVkmEntryMissing;
  }
  return entry(args...);
}

}  // namespace

bool LoadVkmModule() {
  plat::ModuleHandle module = plat::load_library(kVkmModuleName);
  if (module == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Cannot load module \"%s\" Error 0x%08X", Label(),
              kVkmModuleName, static_cast<unsigned>(plat::last_error()));
    g_vkm.attempted = true;
    return false;
  }
  if (g_vkm.module != nullptr && g_vkm.loadedHere) plat::free_library(g_vkm.module);
  g_vkm.module = module;
  g_vkm.loadedHere = true;
  return BindDevManCtrlInterface(nullptr);
}

bool BindDevManCtrlInterface(const char* label) {
  if (label != nullptr) std::snprintf(g_vkm.label, sizeof g_vkm.label, "%s", label);
  if (g_vkm.attempted) return false;
  g_vkm.attempted = true;
  if (g_vkm.module == nullptr) g_vkm.module = plat::find_loaded_library(kVkmModuleName);
  if (g_vkm.module == nullptr) return false;
  const auto getInterface = reinterpret_cast<QelDevManCtrlGetInterfaceFn>(
      plat::get_proc_address(g_vkm.module, kQelDevManCtrlGetInterfaceName));
  if (getInterface == nullptr) return false;
  QelDevManCtrlInterface table{};
  if (getInterface(&table, sizeof table) != 0) return false;
  g_vkm.table = table;
  g_vkm.entries = table;
  g_vkm.entries.QelGetNbSubDevice = nullptr;
  g_vkm.bound = true;
  return true;
}

void UnloadVkmModule() {
  if (g_vkm.module != nullptr && g_vkm.loadedHere) plat::free_library(g_vkm.module);
  g_vkm.module = nullptr;
  g_vkm.loadedHere = false;
  g_vkm.attempted = false;
  g_vkm.bound = false;
  ForgetEntries();
}

bool VkmModuleIsBound() { return g_vkm.bound; }

#define QEL_VKM_CALL(name, ...) CallEntry(&QelDevManCtrlInterface::name, #name, __VA_ARGS__)

std::uint32_t QelInitBoard(std::uint32_t* boardCount) { return QEL_VKM_CALL(QelInitBoard, boardCount); }
std::uint32_t QelCloseBoards() { return CallEntry(&QelDevManCtrlInterface::QelCloseBoards, "QelCloseBoards"); }
std::uint32_t QelResetBoard(std::uint8_t boardNumber) { return QEL_VKM_CALL(QelResetBoard, boardNumber); }

std::uint32_t QelGetBoardInfo(std::uint32_t board, std::uint32_t sub, void* out, std::uint32_t size) {
  return QEL_VKM_CALL(QelGetBoardInfo, board, sub, out, size);
}

std::uint32_t QelGetSubDeviceName(std::uint32_t board, std::uint32_t sub, char* out, std::uint32_t size) {
  return QEL_VKM_CALL(QelGetSubDeviceName, board, sub, out, size);
}

std::uint32_t QelGetEnvironmentVariable(char* out, std::uint32_t size) {
  return QEL_VKM_CALL(QelGetEnvironmentVariable, out, size);
}

std::uint32_t QelReadEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom, std::uint32_t field,
                                 char* text, std::uint32_t size) {
  return QEL_VKM_CALL(QelReadEepromValue, board, sub, eeprom, field, text, size);
}

std::uint32_t QelWriteEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom, std::uint32_t field,
                                  const char* text) {
  return QEL_VKM_CALL(QelWriteEepromValue, board, sub, eeprom, field, text);
}

std::uint32_t QelGetDefaultEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                       std::uint32_t field, char* text, std::uint32_t size) {
  return QEL_VKM_CALL(QelGetDefaultEepromValue, board, sub, eeprom, field, text, size);
}

std::uint32_t QelGetNbEepromField(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                  std::uint32_t* count) {
  return QEL_VKM_CALL(QelGetNbEepromField, board, sub, eeprom, count);
}

std::uint32_t QelShowEepromField(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom, std::uint32_t field,
                                 std::uint32_t mode, std::uint32_t* show) {
  return QEL_VKM_CALL(QelShowEepromField, board, sub, eeprom, field, mode, show);
}

std::uint32_t QelGetEepromFieldInfo(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                    std::uint32_t field, void* out, std::uint32_t size) {
  return QEL_VKM_CALL(QelGetEepromFieldInfo, board, sub, eeprom, field, out, size);
}

std::uint32_t QelValidateEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                     std::uint32_t field, const char* text) {
  return QEL_VKM_CALL(QelValidateEepromValue, board, sub, eeprom, field, text);
}

std::uint32_t QelWriteFirmware(std::uint32_t board, std::uint32_t sub, std::uint32_t section, const char* file,
                               std::uint8_t options, QelDevManProgress progress, void* context) {
  return QEL_VKM_CALL(QelWriteFirmware, board, sub, section, file, options, progress, context);
}

std::uint32_t QelReadFirmware(std::uint32_t board, std::uint32_t sub, std::uint32_t section, const char* file,
                              QelDevManProgress progress, void* context) {
  return QEL_VKM_CALL(QelReadFirmware, board, sub, section, file, progress, context);
}

std::uint32_t QelGetFirmwareDescInfo(std::uint32_t board, std::uint32_t sub, std::uint32_t section, void* out,
                                     std::uint32_t size) {
  return QEL_VKM_CALL(QelGetFirmwareDescInfo, board, sub, section, out, size);
}

std::uint32_t QelGetFirmwareState(std::uint32_t board, std::uint32_t sub, std::uint32_t section,
                                  std::uint32_t* state) {
  return QEL_VKM_CALL(QelGetFirmwareState, board, sub, section, state);
}

std::uint32_t QelConnect(std::uint32_t board, std::uint32_t mode) { return QEL_VKM_CALL(QelConnect, board, mode); }

std::uint32_t QelDisconnect(std::uint32_t board, std::uint32_t mode) {
  return QEL_VKM_CALL(QelDisconnect, board, mode);
}

std::uint32_t QelGetFirmwarePrm(std::uint32_t board, std::uint32_t sub, std::uint32_t section, std::uint32_t prm,
                                std::uint32_t size, void* inOut) {
  return QEL_VKM_CALL(QelGetFirmwarePrm, board, sub, section, prm, size, inOut);
}

std::uint32_t QelSetFirmwarePrm(std::uint32_t board, std::uint32_t sub, std::uint32_t section, std::uint32_t prm,
                                std::uint32_t size, std::int64_t value) {
  return QEL_VKM_CALL(QelSetFirmwarePrm, board, sub, section, prm, size, value);
}

std::uint32_t QelGetInterfaceVersion(std::uint32_t* version) {
  return QEL_VKM_CALL(QelGetInterfaceVersion, version);
}
