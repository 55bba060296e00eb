// Event-information objects: what a client's event function receives for one
// event (manager command 1012): the event type, a copy of the client's event
// descriptor and its data. The handle and the record are separate blocks; the
// record is live while it is in the handle registry.
#include <cstring>
#include <new>

#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"

namespace {

struct EventInfoRecord {
  std::uint32_t eventType;
  QelEventDescriptor descriptor;
  const void* data;
  QelHandle* handle;  // the handle made with the record
};

constexpr QelStatus kBadHandleToFree = 0x10B01;
constexpr QelStatus kHandleNotMade = 0x8001547;
constexpr QelStatus kBadHandle = 0x8002001;
constexpr QelStatus kNullValue = 0x8000336;

QelStatus UnknownId(std::uint32_t id) { return ((id >> 8) & 0xFFF00u) | 0x8000028u; }

QelStatus Reported(QelStatus status) {
  ManReportStatus(status, __FILE__, __LINE__);
  return status;
}

std::uint64_t DescriptorWord(const QelEventDescriptor& descriptor, std::uint32_t word) {
  std::uint64_t value = 0;
  std::memcpy(&value, reinterpret_cast<const char*>(&descriptor) + 8 * word, sizeof value);
  return value;
}

}  // namespace

void ManReportStatus(QelStatus status, const char* file, std::int32_t line) {
  const std::uint32_t level = QelStatusLevel(status);
  if (status != QEL_OK) LogPutLog(level, file, line, "Unknown error (%lx)", static_cast<unsigned long>(status));
  else LogPutLog(level, file, line, "%s (%lx)", "", static_cast<unsigned long>(status));
}

QelStatus QelEventInfoNew(const QelHandle* server, std::uint32_t eventType, const QelEventDescriptor* descriptor,
                          const void* data, QelHandle** handle) {
  if (descriptor == nullptr || handle == nullptr) return kQelApiNullPointer;
  *handle = nullptr;
  auto* record = new (std::nothrow) EventInfoRecord{eventType, *descriptor, data, nullptr};
  if (record == nullptr) return kQelApiNoMemory;
  auto* made = new (std::nothrow) QelHandle{};
  if (made == nullptr) {
    delete record;
    return Reported(kHandleNotMade);
  }
  made->server = HandleIsReadable(server) ? server->server : HostGetLocalAddress();
  made->record = reinterpret_cast<std::uint64_t>(record);
  made->tag = kQelTagEventInfo;
  made->self = reinterpret_cast<std::uint64_t>(made);
  record->handle = made;
  HandleRegistryAdd(kQelTagEventInfo, record);
  *handle = made;
  return QEL_OK;
}

QelStatus QelEventInfoFree(QelHandle* handle) {
  auto* record = static_cast<EventInfoRecord*>(HandleRecordOf(handle, kQelTagEventInfo));
  if (record == nullptr) return kBadHandleToFree;
  HandleRegistryRemove(kQelTagEventInfo, record);
  delete record->handle;
  delete record;
  return QEL_OK;
}

QelStatus QelEventInfoGetPrm(const QelHandle* handle, std::uint32_t id, void* value) {
  const auto* record = static_cast<const EventInfoRecord*>(HandleRecordOf(handle, kQelTagEventInfo));
  if (record == nullptr) return Reported(kBadHandle);
  if (value == nullptr) return Reported(kNullValue);
  const QelEventDescriptor& d = record->descriptor;
  const auto put32 = [value](std::uint64_t word) {
    const auto low = static_cast<std::uint32_t>(word);
    std::memcpy(value, &low, sizeof low);
  };
  const auto put64 = [value](std::uint64_t word) { std::memcpy(value, &word, sizeof word); };
  switch (id) {
    case 0x10004: put32(record->eventType); break;
    case 0x00004: put32(DescriptorWord(d, 0)); break;
    case 0x20004: put32(DescriptorWord(d, 1)); break;
    case 0x30008: put64(DescriptorWord(d, 2)); break;
    case 0x40008: put64(DescriptorWord(d, 3)); break;
    case 0x50004: put32(DescriptorWord(d, 4)); break;
    case 0x60004: put32(DescriptorWord(d, 5)); break;
    case 0x70004: put32(DescriptorWord(d, 6)); break;
    case 0x80004: put32(DescriptorWord(d, 7)); break;
    case 0x90008: put64(reinterpret_cast<std::uint64_t>(record->data)); break;
    case 0xA0004: put32(DescriptorWord(d, 8)); break;
    default: return Reported(UnknownId(id));
  }
  return QEL_OK;
}
