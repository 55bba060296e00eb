#include "source/QelLut/LutObject.h"

#include <cstring>
#include <new>

#include "source/QelAPI/QelApi.h"
#include "source/QelHost/QelHost.h"

namespace {

constexpr std::uint32_t kContigLimit = 0x4000000;
constexpr std::uint32_t kSignedBit = 0x10000000;
constexpr std::uint32_t kInterleavedBit = 0x20000000;
constexpr std::uint32_t kColourBit = 0x40000000;

std::uint32_t Bits(std::uint32_t format) { return (format >> 8) & 0xFF; }
std::uint32_t Planes(std::uint32_t format) { return (format >> 24) & 0xF; }
bool Colour(std::uint32_t format) { return (format & kColourBit) != 0; }
bool Interleaved(std::uint32_t format) { return (format & kInterleavedBit) != 0; }
std::uint32_t Rounded(std::uint32_t format) { return (Bits(format) + 7) / 8 * 8; }
std::uint32_t ElementSize(std::uint32_t format) { return (Bits(format) + 7) >> 3; }

std::uint32_t StorageKind(std::uint32_t format) {
  const std::uint32_t r = Rounded(format);
  if (!Colour(format)) return r == 8 ? 0 : 1;
  if (Interleaved(format)) return r == 24 ? 2 : 3;
  return r == 8 ? 4 : 5;
}

std::uint32_t DefaultEntries(std::uint32_t format) {
  const std::uint32_t r = Rounded(format);
  if (r == 8) return 256;
  return Colour(format) && Interleaved(format) && r == 24 ? 256 : 65536;
}

std::uint64_t DataSize(const LutRecord& r) {
  return std::uint64_t{ElementSize(r.format)} * Planes(r.format) * r.entries;
}

struct LutObject {
  QelHandle handle;
  LutRecord* record;
};

void* Contiguous(std::uint64_t size, std::uint64_t* second) {
  void* address = nullptr;
  if (size == 0 || size > 0xFFFFFFFFu) return nullptr;
  if (QelManAllocContigBufferEx(static_cast<std::uint32_t>(size), 0, kContigLimit, second, &address) != QEL_OK)
    return nullptr;
  return address;
}

}  // namespace

bool LutIsValidFormat(std::uint32_t format) {
  const std::uint32_t bits = Bits(format);
  switch (format & 0xFF0000FFu) {
    case 0x01000000: case 0x11000000:
      if ((format & 0x00FF0000) == 0) return bits >= 9 && bits <= 15;
      return (format & 0xEFFFFFFF) == 0x01010800 || (format & 0xEFFFFFFF) == 0x01021000;
    case 0x43000000: return (format & 0x00FF0000) == 0 && bits >= 8 && bits <= 16;
    case 0x61000000: return (format & 0x00FF0000) == 0 && bits >= 24 && bits <= 48 && bits % 3 == 0;
    default: return false;
  }
}

QelStatus LutNew(std::uint32_t entries, std::uint32_t format, QelHandle** out) {
  if (out == nullptr) return kLutInvalidHandle;
  *out = nullptr;
  if (!LutIsValidFormat(format)) return kLutBadFormat;
  auto* object = new (std::nothrow) LutObject{};
  if (object == nullptr) return kLutNoHandleMemory;
  std::uint64_t recordSecond = 0, dataSecond = 0;
  auto* record = static_cast<LutRecord*>(Contiguous(sizeof(LutRecord), &recordSecond));
  if (record != nullptr) {
    std::memset(record, 0, sizeof *record);
    record->entries = entries != 0 ? entries : DefaultEntries(format);
    record->format = format;
    record->data = reinterpret_cast<std::uint64_t>(Contiguous(DataSize(*record), &dataSecond));
  }
  if (record == nullptr || record->data == 0) {
    if (record != nullptr) QelManFreeContigBuffer(record);
    delete object;
    return kQelModuleLut | 0x47;
  }
  record->dataSecond = dataSecond;
  record->storageKind = StorageKind(format);
  record->formatIndex = QelManGetFormatIndex(format);
  object->record = record;
  object->handle = QelHandle{HostGetLocalAddress(), 0, 0, reinterpret_cast<std::uint64_t>(record), kQelTagLut,
                             reinterpret_cast<std::uint64_t>(&object->handle)};
  std::memcpy(&object->handle.zero, &recordSecond, sizeof recordSecond);
  HandleRegistryAdd(kQelTagLut, record);
  *out = &object->handle;
  return QEL_OK;
}

LutRecord* LutRecordOf(const QelHandle* lut) { return static_cast<LutRecord*>(HandleRecordOf(lut, kQelTagLut)); }

QelStatus LutFree(const QelHandle* lut) {
  LutRecord* record = LutRecordOf(lut);
  if (record == nullptr) return kLutInvalidHandle;
  HandleRegistryRemove(kQelTagLut, record);
  auto* object = reinterpret_cast<LutObject*>(lut->self);
  QelManFreeContigBuffer(reinterpret_cast<void*>(record->data));
  QelManFreeContigBuffer(record);
  delete object;
  return QEL_OK;
}

QelStatus LutGetPrm(const QelHandle* lut, std::uint32_t id, void* value) {
  const LutRecord* record = LutRecordOf(lut);
  if (record == nullptr) return kLutInvalidHandle;
  if (value == nullptr) return kQelModuleLut | 0x336;
  const auto word = [value](std::uint32_t v) { std::memcpy(value, &v, sizeof v); };
  const auto quad = [value](std::uint64_t v) { std::memcpy(value, &v, sizeof v); };
  switch (id) {
    case kLutPrmData: quad(record->data); return QEL_OK;
    case kLutPrmElementSize: word(ElementSize(record->format)); return QEL_OK;
    case kLutPrmFormat: word(record->format); return QEL_OK;
    case kLutPrmPlanes: word(Planes(record->format)); return QEL_OK;
    case kLutPrmEntries: word(record->entries); return QEL_OK;
    case kLutPrmDataSize: word(static_cast<std::uint32_t>(DataSize(*record))); return QEL_OK;
    case kLutPrmDataSecond: quad(record->dataSecond); return QEL_OK;
    case kLutPrmSigned: word(record->format & kSignedBit); return QEL_OK;
    default: return kQelModuleLut | (((id >> 16) & 0xFFF) << 8) | 0x28;
  }
}
