// CAM and VIC parameter objects: one implementation for both kinds, told
// apart by a small description of the kind.
#include "source/QelAcq/AcqPrmObjects.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>

#include "source/QelAPI/QelApi.h"
#include "source/QelAcq/AcqDefaultSets.h"

namespace {

struct Kind {
  std::uint32_t tag;
  std::uint32_t blockSize;
  std::uint32_t firstIndex;
  std::uint32_t count;
  QelStatus module;
  QelStatus badHandle;
  QelStatus noMemory;
};

constexpr Kind kCam = {kQelTagCameraPrm, kCamPrmBlockSize, 0, kAcqCamPrmCount, kQelModuleCameraPrm,
                       kCamBadHandle, kCamNoMemory};
constexpr Kind kVic = {kQelTagVideoInputPrm, kVicPrmBlockSize, kAcqVicPrmFirst, kAcqVicPrmCount,
                       kQelModuleVideoInputPrm, kVicBadHandle, kVicNoMemory};

constexpr std::uint32_t kObjectBlockKind = 1;
constexpr std::uint32_t kHighestAddress = 0x4000000;
constexpr QelStatus kNullPointerDetail = 0x336;
constexpr QelStatus kNullOutDetail = 0x236;
constexpr QelStatus kNotAllowed = 0x4C;

// The handle objects this process made; only these are ever freed.
struct OwnHandles {
  std::mutex guard;
  std::set<const QelHandle*> handles;
};

OwnHandles& Own() {
  static OwnHandles own;
  return own;
}

void Adopt(const QelHandle* handle) {
  std::lock_guard guard(Own().guard);
  Own().handles.insert(handle);
}

// True when the handle was one of ours; it is ours no longer.
bool Release(const QelHandle* handle) {
  std::lock_guard guard(Own().guard);
  return Own().handles.erase(handle) != 0;
}

// Word 0 (values after the bit set) of a block, and its bit set.
std::uint32_t* Values(void* block) { return reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(block) + 268); }
AcqModifiedSet* Modified(void* block) {
  return reinterpret_cast<AcqModifiedSet*>(static_cast<std::uint8_t*>(block) + 8);
}

// The parameter an id names: its first word and its span in bytes; an error
// status for an index outside the kind or a size other than the span.
QelStatus Locate(const Kind& kind, std::uint32_t id, std::uint32_t* entry, std::uint32_t* offset,
                 std::uint32_t* bytes) {
  const std::uint32_t index = AcqPrmIndex(id);
  const QelStatus undefined = kind.module | QelStatusMake(index, 0x28);
  if (index < kind.firstIndex || index >= kind.firstIndex + kind.count) return undefined;
  const std::uint32_t span = 4 * AcqPrmSpanWords(index);
  if (AcqPrmSize(id) != span) return undefined;
  *entry = index - kind.firstIndex;
  *offset = kind.tag == kQelTagCameraPrm ? CamPrmOffsetTable[*entry] : VicPrmOffsetTable[*entry];
  *bytes = span;
  return 0;
}

void* BlockOf(const Kind& kind, const QelHandle* handle) { return HandleRecordOf(handle, kind.tag); }

QelStatus GetPrm(const Kind& kind, const QelHandle* handle, std::uint32_t id, void* destination) {
  void* block = BlockOf(kind, handle);
  if (block == nullptr) return kind.badHandle;
  if (destination == nullptr) return kind.module | kNullPointerDetail;
  std::uint32_t entry = 0, offset = 0, bytes = 0;
  const QelStatus status = Locate(kind, id, &entry, &offset, &bytes);
  if (status != 0) return status;
  std::memcpy(destination, Values(block) + offset, bytes);
  return 0;
}

QelStatus SetPrm(const Kind& kind, QelHandle* handle, std::uint32_t id, const void* source) {
  void* block = BlockOf(kind, handle);
  if (block == nullptr) return kind.badHandle;
  if (source == nullptr) return kind.module | kNullPointerDetail;
  std::uint32_t entry = 0, offset = 0, bytes = 0;
  const QelStatus status = Locate(kind, id, &entry, &offset, &bytes);
  if (status != 0) return status;
  AcqModifiedSet* bits = Modified(block);
  bits->words[entry / 32] |= 1u << (entry % 32);
  std::memcpy(Values(block) + offset, source, bytes);
  return 0;
}

QelStatus SetPrmValue(const Kind& kind, QelHandle* handle, std::uint32_t id, std::uint32_t value) {
  if (AcqPrmSize(id) != sizeof value && BlockOf(kind, handle) != nullptr)
    return kind.module | QelStatusMake(AcqPrmIndex(id), 0x28);
  return SetPrm(kind, handle, id, &value);
}

QelStatus GetPrmRefused(const Kind& kind, const QelHandle* handle, void* destination) {
  if (BlockOf(kind, handle) == nullptr) return kind.badHandle;
  if (destination == nullptr) return kind.module | kNullPointerDetail;
  return kind.module | kNotAllowed;
}

QelStatus ApplyDefaults(const Kind& kind, QelHandle* handle) {
  const AcqDefaultWriter write = [&](std::uint32_t index, const void* value) {
    return SetPrm(kind, handle, AcqPrmIdOf(index), value);
  };
  return kind.tag == kQelTagCameraPrm ? AcqWriteCamDefaultSet(write) : AcqWriteVicDefaultSet(write);
}

QelStatus SetDefaults(const Kind& kind, QelHandle* handle) {
  if (BlockOf(kind, handle) == nullptr) return kind.badHandle;
  return ApplyDefaults(kind, handle);
}

QelStatus New(const Kind& kind, QelHandle** out) {
  if (out == nullptr) return kind.module | kNullOutDetail;
  auto* handle = new (std::nothrow) QelHandle{};
  if (handle == nullptr) {
    ManReportStatus(kind.noMemory, __FILE__, __LINE__);
    return kind.noMemory;
  }
  std::uint64_t physical = 0;
  void* block = nullptr;
  const QelStatus status = QelManAllocContigBufferEx(kind.blockSize, 0, kHighestAddress, &physical, &block);
  if (status != 0 || block == nullptr) {
    delete handle;
    *out = nullptr;
    return status | kind.module;
  }
  const QelHandle* local = GetLocalServerHandle();
  handle->server = local != nullptr ? local->server : 0;
  handle->reserved = static_cast<std::uint32_t>(physical);
  handle->record = reinterpret_cast<std::uint64_t>(block);
  handle->tag = kind.tag;
  handle->self = reinterpret_cast<std::uint64_t>(handle);
  std::memset(block, 0, kind.blockSize);
  const std::uint32_t header[3] = {kObjectBlockKind, kind.blockSize, kAcqModifiedSetWords};
  std::memcpy(block, header, sizeof header);
  HandleRegistryAdd(kind.tag, block);
  Adopt(handle);
  ApplyDefaults(kind, handle);
  std::uint32_t first = 0, second = 0;
  if (HandleIsServerF8(handle) && GetServerAddressOffset(&first, &second) == 0) handle->reserved += first;
  *out = handle;
  return 0;
}

// A handle of ours without a block is freed all the same (its record only).
QelStatus Free(const Kind& kind, QelHandle* handle) {
  if (!HandleIsReadable(handle) || handle->tag != kind.tag) return kind.badHandle;
  void* block = BlockOf(kind, handle);
  if (block == nullptr) {
    if (handle->record == 0 && Release(handle)) delete handle;
    return kind.badHandle;
  }
  HandleRegistryRemove(kind.tag, block);
  const QelStatus status = QelManFreeContigBuffer(block);
  if (Release(handle)) delete handle;
  return status == 0 ? 0 : status | kind.module;
}

QelStatus DefaultsToBlock(const Kind& kind, void* block) {
  if (block == nullptr) return kPrmObjectNullBlock;
  auto handle = std::unique_ptr<QelHandle>(new (std::nothrow) QelHandle{});
  if (handle == nullptr) {
    ManReportStatus(kind.noMemory, __FILE__, __LINE__);
    return kind.noMemory;
  }
  handle->record = reinterpret_cast<std::uint64_t>(block);
  handle->tag = kind.tag;
  handle->self = reinterpret_cast<std::uint64_t>(handle.get());
  HandleRegistryAdd(kind.tag, block);
  const QelStatus status = ApplyDefaults(kind, handle.get());
  HandleRegistryRemove(kind.tag, block);
  return status;
}

}  // namespace

QelStatus CamNew(QelHandle** handle) { return New(kCam, handle); }
QelStatus CamFree(QelHandle* handle) { return Free(kCam, handle); }
QelStatus CamGetPrm(const QelHandle* handle, std::uint32_t id, void* destination) {
  return GetPrm(kCam, handle, id, destination);
}
QelStatus CamSetPrm(QelHandle* handle, std::uint32_t id, const void* source) { return SetPrm(kCam, handle, id, source); }
QelStatus CamSetPrmValue(QelHandle* handle, std::uint32_t id, std::uint32_t value) {
  return SetPrmValue(kCam, handle, id, value);
}
QelStatus CamGetPrmRefused(const QelHandle* handle, std::uint32_t, void* destination) {
  return GetPrmRefused(kCam, handle, destination);
}
QelStatus CamSetDefaults(QelHandle* handle) { return SetDefaults(kCam, handle); }
QelStatus CamSetDefaultsToBlock(CamPrmBlock* block) { return DefaultsToBlock(kCam, block); }

QelStatus VicNew(QelHandle** handle) { return New(kVic, handle); }
QelStatus VicFree(QelHandle* handle) { return Free(kVic, handle); }
QelStatus VicGetPrm(const QelHandle* handle, std::uint32_t id, void* destination) {
  return GetPrm(kVic, handle, id, destination);
}
QelStatus VicSetPrm(QelHandle* handle, std::uint32_t id, const void* source) { return SetPrm(kVic, handle, id, source); }
QelStatus VicSetPrmValue(QelHandle* handle, std::uint32_t id, std::uint32_t value) {
  return SetPrmValue(kVic, handle, id, value);
}
QelStatus VicGetPrmRefused(const QelHandle* handle, std::uint32_t, void* destination) {
  return GetPrmRefused(kVic, handle, destination);
}
QelStatus VicSetDefaults(QelHandle* handle) { return SetDefaults(kVic, handle); }
QelStatus VicSetDefaultsToBlock(VicPrmBlock* block) { return DefaultsToBlock(kVic, block); }
