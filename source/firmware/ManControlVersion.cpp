// Manager control's version record (0x80000054) of the system's files and
// of the board's firmware sections. The record: u32 size, u32 words 1 to 3,
// the name at 48 (64 bytes) and a header or the version data from 112. The
// capacity counts the bytes after the size word; nothing is written past
// capacity + 4 nor past the output.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "firmware/win32/QelExtInterface.h"
#include "platform/win/machine.h"
#include "platform/win/version.h"
#include "source/firmware/ManControlInternal.h"
#include "source/firmware/ManServer.h"

namespace mancontrol {
namespace {

constexpr QelStatus kNoVersion = 61;
constexpr QelStatus kNoMemory = 71;
constexpr QelStatus kCapacityShort = 0x3000332;
constexpr std::uint32_t kFileRecordSize = 294;
constexpr std::uint32_t kFirmwareHead = 108;
constexpr std::uint32_t kNameOffset = 48;
constexpr std::uint32_t kNameBytes = 64;
constexpr std::uint32_t kHeaderOffset = 112;
constexpr std::uint32_t kHeaderBytes = 186;
constexpr char kMagic[] = "HABRIX_CBH";
constexpr std::uint32_t kMagicBytes = 10;

struct Component {
  std::uint32_t id;
  const char* file;
  bool driver;  // in the system directory's drivers folder
};
constexpr std::array<Component, 5> kComponents{{
    {4096, "Quillet.DLL", false},
    {4097, "Ormel.VKM", false},
    {4098, "Pardow.DLL", false},
    {4099, "Stavro.SYS", true},
    {4100, "QELAPI.DLL", false},
}};

const Component* FileComponent(std::uint32_t id) {
  for (const Component& component : kComponents)
    if (component.id == id) return &component;
  return nullptr;
}

void PutWord(std::vector<std::uint8_t>& record, std::uint32_t offset, std::uint32_t value) {
  std::memcpy(record.data() + offset, &value, sizeof value);
}

void PutName(std::vector<std::uint8_t>& record, const char* name) {
  std::memcpy(record.data() + kNameOffset, name, strnlen(name, kNameBytes - 1));
}

// Minute, hour, day, month 1-12, then the year as 16 bits.
void PutTime(std::uint8_t* at, std::time_t time) {
  std::tm parts{};
  localtime_r(&time, &parts);
  at[0] = static_cast<std::uint8_t>(parts.tm_min);
  at[1] = static_cast<std::uint8_t>(parts.tm_hour);
  at[2] = static_cast<std::uint8_t>(parts.tm_mday);
  at[3] = static_cast<std::uint8_t>(parts.tm_mon + 1);
  const auto year = static_cast<std::uint16_t>(parts.tm_year + 1900);
  std::memcpy(at + 4, &year, sizeof year);
}

// The file's birth time where the file system keeps one, else its last change.
std::time_t CreationTime(const std::string& path, const struct stat& status) {
  struct statx extended{};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &extended) == 0 && (extended.stx_mask & STATX_BTIME) != 0)
    return static_cast<std::time_t>(extended.stx_btime.tv_sec);
  return status.st_mtime;
}

QelStatus FileHeader(const std::string& path, std::uint8_t* header) {
  plat::VersionRecord version{};
  if (!plat::read_file_version(path.c_str(), &version)) return kNoVersion;
  struct stat status{};
  if (::stat(path.c_str(), &status) != 0) return kNoVersion;
  std::memcpy(header, kMagic, kMagicBytes);
  header[10] = 1;
  header[11] = kHeaderBytes;
  PutTime(header + 15, CreationTime(path, status));
  PutTime(header + 21, status.st_mtime);
  header[27] = static_cast<std::uint8_t>(version.product_version[2]);
  std::memcpy(header + 28, &version.product_version[3], 2);
  header[30] = static_cast<std::uint8_t>(version.product_version[1]);
  header[31] = static_cast<std::uint8_t>(version.product_version[0]);
  const std::uint16_t marker = 0x2500;
  std::memcpy(header + 32, &marker, sizeof marker);
  const auto size = static_cast<std::uint32_t>(status.st_size);
  std::memcpy(header + 50, &size, sizeof size);
  std::memcpy(header + 58, version.file_description, strnlen(version.file_description, 128));
  return QEL_OK;
}

void CopyOut(const Call& call, const std::vector<std::uint8_t>& record, std::uint32_t capacity) {
  const std::uint64_t room = std::min<std::uint64_t>(std::uint64_t{capacity} + 4, call.outputSize);
  std::memcpy(call.output, record.data(), std::min<std::uint64_t>(room, record.size()));
}

QelStatus FileRecord(const Call& call, const Component& component, std::uint32_t capacity) {
  if (capacity == 0) {
    call.putWord(0, kFileRecordSize);
    return QEL_OK;
  }
  if (capacity < kFileRecordSize) return kCapacityShort;
  const std::string folder = plat::system_dir() + (component.driver ? "/drivers" : "");
  std::vector<std::uint8_t> record(kHeaderOffset + kHeaderBytes, 0);
  if (const QelStatus status = FileHeader(folder + "/" + component.file, record.data() + kHeaderOffset);
      status != QEL_OK)
    return status;
  PutWord(record, 0, std::min(capacity, kFileRecordSize));
  PutWord(record, 4, 1);
  PutWord(record, 8, 3);
  PutWord(record, 12, 7);
  PutName(record, component.file);
  CopyOut(call, record, capacity);
  return QEL_OK;
}

QelStatus FirmwareRecord(const Call& call, std::uint32_t section, std::uint32_t capacity) {
  char name[kNameBytes] = {};
  if (const QelStatus status = ExtFirmwareGetName(call.board, section, name, sizeof name); status != QEL_OK)
    return status;
  name[kNameBytes - 1] = '\0';
  std::uint32_t versionWord = 0;
  std::uint32_t dataSize = 0;
  if (capacity == 0) {
    const QelStatus status = ExtFirmwareGetVersionInfo(call.board, section, &versionWord, nullptr, 0, &dataSize);
    call.putWord(0, kFirmwareHead + dataSize);
    return status;
  }
  if (capacity < kFirmwareHead) return kCapacityShort;
  const std::uint32_t room = std::min(capacity - kFirmwareHead, kManLargestOutput);
  std::vector<std::uint8_t> record;
  try {
    record.assign(kHeaderOffset + room, 0);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  std::uint8_t* data = room != 0 ? record.data() + kHeaderOffset : nullptr;
  if (const QelStatus status = ExtFirmwareGetVersionInfo(call.board, section, &versionWord, data, room, &dataSize);
      status != QEL_OK)
    return status;
  if (room >= kMagicBytes && std::memcmp(data, kMagic, kMagicBytes) == 0) {
    PutWord(record, 4, 1);
    PutWord(record, 8, 3);
  }
  PutWord(record, 12, versionWord);
  PutName(record, name);
  PutWord(record, 0, std::min(kFirmwareHead + dataSize, capacity));
  CopyOut(call, record, capacity);
  return QEL_OK;
}

}  // namespace

QelStatus VersionRecord(const Call& call) {
  if (call.input == nullptr) return 0x3000332;
  if (call.inputSize < 8) return 0x3000432;
  if (call.output == nullptr) return 0x3000532;
  if (call.outputSize < 4) return 0x3000632;
  if (plat::system_dir().empty()) return kNoVersion;
  const std::uint32_t component = call.word(0);
  const std::uint32_t capacity = call.word(4);
  if (const Component* file = FileComponent(component); file != nullptr) return FileRecord(call, *file, capacity);
  return FirmwareRecord(call, component, capacity);
}

}  // namespace mancontrol
