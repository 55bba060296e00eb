// The name of a device's Camera Link serial port: "COM<n>" when the
// machine's serial-port map names the port, else the port's own name.
#include <cstdio>
#include <cstring>

#include "platform/win/errors.h"
#include "platform/win/registry.h"
#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqModule.h"

namespace {

constexpr char kSerialMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr std::uint32_t kSerialCap = 0x70E;
constexpr std::uint32_t kPortIndexCap = 0x8b60004;
constexpr std::uint32_t kValueBuffer = 80;
constexpr std::uint32_t kNameLimit = 256;

void CopyCut(char* out, std::uint32_t size, const char* text) {
  if (size == 0 || size > 0x7FFFFFFFu) return;
  std::strncpy(out, text, size - 1);
  out[size - 1] = '\0';
}

}  // namespace

long AcqFindComPort(const char* name) {
  plat::RegistryKey* key = nullptr;
  if (plat::reg_open_key(plat::RegistryRoot::kLocalMachine, kSerialMapKey, &key) != 0) return -1;
  long found = -1;
  for (std::uint32_t index = 0; found < 0; ++index) {
    char valueName[kValueBuffer] = {};
    char data[kValueBuffer] = {};
    std::uint32_t nameSize = sizeof valueName, dataSize = sizeof data - 1, type = 0;
    const std::uint32_t status = plat::reg_enum_value(key, index, valueName, &nameSize, &type, data, &dataSize);
    if (status == plat::kErrorNoMoreItems) break;
    if (status != 0 || type != plat::kRegSz || std::strstr(valueName, name) == nullptr) continue;
    long number = 0;
    if (std::sscanf(data, "COM%ld", &number) == 1) found = number;
  }
  plat::reg_close_key(key);
  return found;
}

QelStatus AcqGetSerialPortName(QelHandle* handle, std::uint32_t size, char* out) {
  if (const QelStatus checked = AcqCheckHandle(handle); checked != 0) return checked;
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = AcqGetDeviceRecord(handle, &record); status != 0)
    return status | kQelModuleAcquisition;
  if (record->levelCaps.caps[kSerialCap - kAcqLevelFirst] == 0) return kQelModuleAcquisition | 0x70E1F;
  std::uint32_t port = 0;
  if (const QelStatus status = AcqGetCap(handle, kPortIndexCap, &port); status != 0) return status;
  if (out == nullptr) return kQelModuleAcquisition | 0x70E36;
  char name[kNameLimit + 1];
  std::snprintf(name, sizeof name, "%s_%u_%s_%u", kAcqBoardName, record->boardIndex + 1, "Serial", port);
  const long com = AcqFindComPort(name);
  if (com >= 1) {
    char text[32];
    std::snprintf(text, sizeof text, "COM%ld", com);
    CopyCut(out, size, text);
  } else {
    CopyCut(out, size, name);
  }
  return 0;
}
