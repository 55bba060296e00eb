// Binding of the device-control module "Ormel.VKM": the server driver loads
// it by name when its instance opens and takes 22 slots of its board
// management table (slot 4 is not used). Every slot is reached through a
// wrapper of its own name that answers 86, with a "not found" line, when the
// entry is missing. The binding changes only at instance open and close;
// wrappers run while the instance is open and only read it.
#pragma once

#include <cstdint>

#include "source/vkm/QelDevManCtrl.h"

inline constexpr char kVkmModuleName[] = "Ormel.VKM";
inline constexpr char kVkmLoaderLabel[] = "Ormel.VKM Loader";
inline constexpr std::uint32_t kVkmEntryMissing = 86;

// Loads the module by name and binds it; false (with a "Cannot load module"
// line) when it cannot be loaded, or when it offers no table.
bool LoadVkmModule();
// Binds an already-loaded module's table (label: replaces the loader label
// of the log lines when given). Runs once until the next unload.
bool BindDevManCtrlInterface(const char* label);
// Frees the module when this binding loaded it and forgets everything.
void UnloadVkmModule();
bool VkmModuleIsBound();

std::uint32_t QelInitBoard(std::uint32_t* boardCount);
std::uint32_t QelCloseBoards();
std::uint32_t QelResetBoard(std::uint8_t boardNumber);
std::uint32_t QelGetBoardInfo(std::uint32_t board, std::uint32_t sub, void* out, std::uint32_t size);
std::uint32_t QelGetSubDeviceName(std::uint32_t board, std::uint32_t sub, char* out, std::uint32_t size);
std::uint32_t QelGetEnvironmentVariable(char* out, std::uint32_t size);
std::uint32_t QelReadEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom, std::uint32_t field,
                                 char* text, std::uint32_t size);
std::uint32_t QelWriteEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom, std::uint32_t field,
                                  const char* text);
std::uint32_t QelGetDefaultEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                       std::uint32_t field, char* text, std::uint32_t size);
std::uint32_t QelGetNbEepromField(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                  std::uint32_t* count);
std::uint32_t QelShowEepromField(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom, std::uint32_t field,
                                 std::uint32_t mode, std::uint32_t* show);
std::uint32_t QelGetEepromFieldInfo(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                    std::uint32_t field, void* out, std::uint32_t size);
std::uint32_t QelValidateEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                     std::uint32_t field, const char* text);
std::uint32_t QelWriteFirmware(std::uint32_t board, std::uint32_t sub, std::uint32_t section, const char* file,
                               std::uint8_t options, QelDevManProgress progress, void* context);
std::uint32_t QelReadFirmware(std::uint32_t board, std::uint32_t sub, std::uint32_t section, const char* file,
                              QelDevManProgress progress, void* context);
std::uint32_t QelGetFirmwareDescInfo(std::uint32_t board, std::uint32_t sub, std::uint32_t section, void* out,
                                     std::uint32_t size);
std::uint32_t QelGetFirmwareState(std::uint32_t board, std::uint32_t sub, std::uint32_t section,
                                  std::uint32_t* state);
std::uint32_t QelConnect(std::uint32_t board, std::uint32_t mode);
std::uint32_t QelDisconnect(std::uint32_t board, std::uint32_t mode);
std::uint32_t QelGetFirmwarePrm(std::uint32_t board, std::uint32_t sub, std::uint32_t section, std::uint32_t prm,
                                std::uint32_t size, void* inOut);
std::uint32_t QelSetFirmwarePrm(std::uint32_t board, std::uint32_t sub, std::uint32_t section, std::uint32_t prm,
                                std::uint32_t size, std::int64_t value);
std::uint32_t QelGetInterfaceVersion(std::uint32_t* version);
