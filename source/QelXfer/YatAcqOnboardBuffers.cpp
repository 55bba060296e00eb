// Onboard buffers of a camera connector (slots 45-48): lookup tables in
// on-board memory in the form of the device's input LUT (its format, VIC
// 2098, and entry count, VIC 2143), with 16-bit entries on the board: an
// 8-bit LUT is widened (value x 257) on its way there and narrowed back
// (value / 257) on its way out, so the LUT's own data never takes more
// bytes than it holds.
#include <cstring>
#include <vector>

#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqOthStruct.h"
#include "source/QelLut/LutObject.h"
#include "source/QelXfer/YatAcqBufferKit.h"

namespace {

constexpr std::uint32_t kColourBit = 0x40000000;
constexpr std::uint32_t kInterleavedBit = 0x20000000;
constexpr std::uint32_t kWiden = 257;

// Bytes of one entry of one channel in the LUT's own data.
std::uint32_t ChannelBytes(std::uint32_t format) {
  std::uint32_t bits = (format >> 8) & 0xFF;
  if ((format & (kColourBit | kInterleavedBit)) == (kColourBit | kInterleavedBit)) bits /= 3;
  return (bits + 7) >> 3;
}

std::uint32_t Channels(std::uint32_t format) { return (format & kColourBit) != 0 ? 3 : 1; }

std::uint64_t BoardBytes(std::uint32_t format, std::uint32_t entries) {
  const std::uint32_t bytes = ChannelBytes(format);
  return std::uint64_t{Channels(format)} * bytes * entries * (bytes == 1 ? 2 : 1);
}

QelStatus CreateOnboardBuffer(QelHandle* handle, std::uint32_t* out) {
  YatBufferDevice d;
  if (const QelStatus status = YatBufferDeviceOf(handle, &d); status != 0) return status;
  if (out == nullptr) return kYatBufferNoOutput;
  const std::uint32_t format = YatAcqValue(handle, 0x8320004), entries = YatAcqValue(handle, 0x85F0004);
  const std::uint64_t bytes = BoardBytes(format, entries);
  if (bytes == 0 || bytes > 0xFFFFFFFFu) return kYatBufferMismatch;
  YatOnboardBufferRecord* record = nullptr;
  std::uint32_t number = 0;
  {
    const std::lock_guard<std::mutex> lock(YatBufferMutex());
    for (std::uint32_t n = 1; n <= kYatOnboardBuffersPerConnector && record == nullptr; ++n) {
      YatOnboardBufferRecord* candidate = YatOnboardRecord(d.board, d.connector, n);
      if (candidate->state == 0) {
        *candidate = YatOnboardBufferRecord{};
        candidate->state = 1;
        record = candidate;
        number = n;
      }
    }
  }
  if (record == nullptr) return kYatBufferNoRecord;
  record->lutFormat = format;
  record->entries = entries;
  const QelStatus status = TranslateStatus(
      Yat_InternalBuffer_Create(d.board, d.connector, 0, static_cast<std::uint32_t>(bytes), &record->memory));
  if (status != 0) {
    *record = YatOnboardBufferRecord{};
    return status;
  }
  *out = number;
  return 0;
}

QelStatus CreatedRecord(QelHandle* handle, std::uint32_t number, YatBufferDevice* d, YatOnboardBufferRecord** out) {
  if (const QelStatus status = YatBufferDeviceOf(handle, d); status != 0) return status;
  YatOnboardBufferRecord* record = YatOnboardRecord(d->board, d->connector, number);
  if (record == nullptr || record->state != 1) return kYatBufferNumber;
  *out = record;
  return 0;
}

QelStatus FreeOnboardBuffer(QelHandle* handle, std::uint32_t number) {
  YatBufferDevice d;
  YatOnboardBufferRecord* record = nullptr;
  if (const QelStatus status = CreatedRecord(handle, number, &d, &record); status != 0) return status;
  const QelStatus status = YatFreeMemory(&record->memory);
  *record = YatOnboardBufferRecord{};
  return status;
}

// The acquisition names an 8-bit mono LUT 0x1010100 where LUT objects use
// 0x1010800: two codes agree when they name the same format index, planes
// and colour kind with entries of the same bytes.
bool SameLayout(std::uint32_t a, std::uint32_t b) {
  constexpr std::uint32_t kLayout = 0x4F3F0000;
  return (a & kLayout) == (b & kLayout) && ChannelBytes(a) == ChannelBytes(b);
}

// The LUT's data when it has the record's format and entries.
QelStatus LutData(const QelHandle* lut, const YatOnboardBufferRecord& record, std::uint8_t** data) {
  if (lut == nullptr) return kYatBufferNull;
  const LutRecord* own = LutRecordOf(lut);
  if (own == nullptr) return kLutInvalidHandle;
  std::uint32_t format = 0, entries = 0;
  std::uint64_t address = 0;
  LutGetPrm(lut, kLutPrmFormat, &format);
  LutGetPrm(lut, kLutPrmEntries, &entries);
  LutGetPrm(lut, kLutPrmData, &address);
  if (!SameLayout(format, record.lutFormat) || entries != record.entries || address == 0) return kYatBufferMismatch;
  *data = reinterpret_cast<std::uint8_t*>(address);
  return 0;
}

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

// The created buffer `number` of the device's connector and the LUT's data that fits it.
struct LutTransfer {
  YatBufferDevice device;
  YatOnboardBufferRecord* record = nullptr;
  std::uint8_t* data = nullptr;
  bool widened = false;  // 8-bit entries, 16 bits on the board
};

QelStatus Prepare(QelHandle* handle, std::uint32_t number, const QelHandle* lut, LutTransfer* t) {
  if (const QelStatus status = CreatedRecord(handle, number, &t->device, &t->record); status != 0) return status;
  if (const QelStatus status = LutData(lut, *t->record, &t->data); status != 0) return status;
  t->widened = ChannelBytes(t->record->lutFormat) == 1;
  return 0;
}

QelStatus WriteOnboardBuffer(QelHandle* handle, std::uint32_t number, QelHandle* lut, std::uint64_t) {
  LutTransfer t;
  if (const QelStatus status = Prepare(handle, number, lut, &t); status != 0) return status;
  const YatInternalBuffer& memory = t.record->memory;
  std::vector<std::uint16_t> wide(t.widened ? memory.size / 2 : 0);
  for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<std::uint16_t>(t.data[i] * kWiden);
  const void* source = t.widened ? static_cast<const void*>(wide.data()) : t.data;
  return TranslateStatus(Yat_Man_Memory_Write(t.device.board, memory.onboardAddress, memory.size, Address(source), 0));
}

QelStatus ReadOnboardBuffer(QelHandle* handle, std::uint32_t number, QelHandle* lut, std::uint64_t) {
  LutTransfer t;
  if (const QelStatus status = Prepare(handle, number, lut, &t); status != 0) return status;
  const YatInternalBuffer& memory = t.record->memory;
  std::vector<std::uint16_t> wide(t.widened ? memory.size / 2 : 0);
  void* target = t.widened ? static_cast<void*>(wide.data()) : t.data;
  const QelStatus status =
      TranslateStatus(Yat_Man_Memory_Read(t.device.board, memory.onboardAddress, memory.size, Address(target), 0));
  if (status == 0)
    for (std::size_t i = 0; i < wide.size(); ++i) t.data[i] = static_cast<std::uint8_t>(wide[i] / kWiden);
  return status;
}

}  // namespace

void YatAcqFreeOnboardBuffers(std::uint32_t board, std::uint32_t connector) {
  for (std::uint32_t n = 1; n <= kYatOnboardBuffersPerConnector; ++n) {
    YatOnboardBufferRecord* record = YatOnboardRecord(board, connector, n);
    if (record == nullptr || record->state != 1) continue;
    YatFreeMemory(&record->memory);
    *record = YatOnboardBufferRecord{};
  }
}

void YatAcqFillOnboardSlots(othStruct* table) {
  table->onboardBufferCreate = CreateOnboardBuffer;
  table->onboardBufferFree = FreeOnboardBuffer;
  table->onboardBufferWrite = WriteOnboardBuffer;
  table->onboardBufferRead = ReadOnboardBuffer;
}
