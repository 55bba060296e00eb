#include "source/QelAPI/QelHandle.h"

#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include "platform/win/memory_probe.h"
#include "source/QelHost/QelHost.h"

namespace {

std::uint32_t ByteOf(std::uint32_t address, int position) { return (address >> (8 * position)) & 0xFFu; }

// Handles are read field by field from a copy: a handle inside a message may
// lie at any alignment.
QelHandle Copy(const QelHandle* handle) {
  QelHandle copy;
  std::memcpy(&copy, handle, sizeof copy);
  return copy;
}

std::uint32_t ServerOf(const QelHandle* handle) { return handle != nullptr ? Copy(handle).server : 0; }
std::uint32_t TagOf(const QelHandle* handle) { return handle != nullptr ? Copy(handle).tag : 0; }

bool BothReadableWithTags(const QelHandle* a, const QelHandle* b) {
  return HandleIsReadable(a) && HandleIsReadable(b) && TagOf(a) != 0 && TagOf(b) != 0;
}

struct LiveRecords {
  std::mutex guard;
  std::set<std::pair<std::uint32_t, const void*>> records;
};

LiveRecords& Live() {
  static LiveRecords live;
  return live;
}

}  // namespace

bool HandleIsReadable(const QelHandle* handle) { return plat::memory_readable(handle, sizeof(QelHandle)); }

QelStatus IsHandleValid(const QelHandle* handle, std::uint32_t* index) {
  if (!HandleIsReadable(handle)) return kQelInvalidHandle;
  if (index == nullptr) return kQelHandleNullIndex;
  *index = ByteOf(ServerOf(handle), 1);
  return QEL_OK;
}

bool HandleIsSameObject(const QelHandle* a, const QelHandle* b) {
  return BothReadableWithTags(a, b) && std::memcmp(a, b, 24) == 0;
}

bool HandleIsSameServer(const QelHandle* a, const QelHandle* b) {
  return BothReadableWithTags(a, b) && ServerOf(a) == ServerOf(b);
}

bool HandleIsSameServerAndTag(const QelHandle* a, const QelHandle* b) {
  return a != nullptr && b != nullptr && ServerOf(a) == ServerOf(b) && TagOf(a) == TagOf(b);
}

bool HandleHasTag(const QelHandle* handle, std::uint32_t tag) { return handle != nullptr && TagOf(handle) == tag; }
bool HandleIsBuffer(const QelHandle* handle) { return HandleHasTag(handle, kQelTagBuffer); }
bool HandleIsServer(const QelHandle* handle) { return HandleHasTag(handle, kQelTagServer); }
bool HandleIsPixPro(const QelHandle* handle) { return HandleHasTag(handle, kQelTagPixelProcessor); }
bool HandleIsOtherXferSource(const QelHandle* handle) { return HandleHasTag(handle, kQelTagOtherXferSource); }
bool HandleIsSecondaryAcq(const QelHandle* handle) { return HandleHasTag(handle, kQelTagSecondaryAcq); }

bool HandleIsAcqSource(const QelHandle* handle) {
  return HandleHasTag(handle, kQelTagAcqDevice) || HandleHasTag(handle, kQelTagAcqSourceB) ||
         HandleHasTag(handle, kQelTagSecondaryAcq);
}

bool HandleIsLocal(const QelHandle* handle) {
  return handle != nullptr && ServerOf(handle) == HostGetLocalAddress();
}

bool HandleIsOnLocalBoard(const QelHandle* handle) {
  const std::uint32_t serverClass = ByteOf(ServerOf(handle), 2);
  return serverClass == 0 || serverClass == ByteOf(HostGetLocalAddress(), 2);
}

bool HandleIsHostServer(const QelHandle* handle) {
  const std::uint32_t address = ServerOf(handle);
  return (address & 0x00FFFFFFu) == 0 && (address >> 24) != 0;
}

bool HandleIsServerF8(const QelHandle* handle) { return HandleIsServerClass(handle, kQelServerClassF8); }

bool HandleIsServerClass(const QelHandle* handle, std::uint32_t serverClass) {
  return handle != nullptr && ByteOf(ServerOf(handle), 2) == serverClass;
}

bool HandleIsHostBuffer(const QelHandle* handle) { return HandleIsBuffer(handle) && HandleIsHostServer(handle); }
bool HandleIsF8Buffer(const QelHandle* handle) { return HandleIsBuffer(handle) && HandleIsServerF8(handle); }

bool HandleIsSystemBuffer(const QelHandle* handle) {
  return HandleIsBuffer(handle) && (HandleIsHostServer(handle) || HandleIsServerF8(handle));
}

bool HandleIsF5Buffer(const QelHandle* handle) {
  return HandleIsBuffer(handle) && HandleIsServerClass(handle, kQelServerClassF5);
}

bool HandleIsBufferOnServer(const QelHandle* server, const QelHandle* handle) {
  return server != nullptr && HandleIsBuffer(handle) && ServerOf(handle) == ServerOf(server);
}

int HandleBoardIndex(const QelHandle* handle) { return static_cast<int>(ByteOf(ServerOf(handle), 0)) - 1; }

bool HandleIsRemoteServer(const QelHandle*) { return false; }
bool HandleIsRemoteBuffer(const QelHandle*) { return false; }

void HandleRegistryAdd(std::uint32_t tag, const void* record) {
  if (record == nullptr) return;
  LiveRecords& live = Live();
  std::lock_guard guard(live.guard);
  live.records.emplace(tag, record);
}

void HandleRegistryRemove(std::uint32_t tag, const void* record) {
  LiveRecords& live = Live();
  std::lock_guard guard(live.guard);
  live.records.erase({tag, record});
}

void* HandleRecordOf(const QelHandle* handle, std::uint32_t tag) {
  if (!HandleIsReadable(handle)) return nullptr;
  const QelHandle copy = Copy(handle);
  if (copy.tag != tag || copy.record == 0) return nullptr;
  auto* record = reinterpret_cast<void*>(static_cast<std::uintptr_t>(copy.record));
  LiveRecords& live = Live();
  std::lock_guard guard(live.guard);
  return live.records.count({tag, record}) != 0 ? record : nullptr;
}
