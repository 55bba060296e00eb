// The input LUT read into and written from a LUT object (4010/4011). The
// device's own read or write operation moves the entries; a heap buffer of
// the size the device's LUT format gives stands between it and the object, so
// neither side is read or written past its own end. The device keeps 16-bit
// entries: a read narrows or widens them to the object's entry width.
#include <algorithm>
#include <cstring>
#include <vector>

#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelLut/LutObject.h"

namespace {

constexpr std::uint32_t kCamDepth = 6;
constexpr std::uint32_t kVicLutCount = 2094;
constexpr std::uint32_t kVicLutFormat = 2098;
constexpr std::uint32_t kVicLutEntries = 2143;
constexpr QelStatus kWrongEntries = kQelModuleAcquisition | 0x411;
constexpr QelStatus kWrongFormat = kQelModuleAcquisition | 0x211;
// The device names an 8-bit mono LUT 0x1010100; a LUT object of that layout is 0x1010800.
constexpr std::uint32_t kDeviceMono8 = 0x1010100, kObjectMono8 = 0x1010800;
// The largest any device operation touches per entry: three planes of 32-bit words.
constexpr std::size_t kWidestEntry = 3 * sizeof(std::uint32_t);

enum class Direction { kRead, kWrite };

std::uint32_t Prm(const AcqDeviceRecord* record, std::uint32_t index) {
  const std::uint32_t* at = index < 2048 ? AcqPrmWords(&record->cam, index) : AcqPrmWords(&record->vic, index);
  return at == nullptr ? 0 : *at;
}

bool FormatMatches(std::uint32_t object, std::uint32_t device) {
  return object == device || (object == kObjectMono8 && device == kDeviceMono8);
}

std::uint32_t ExpectedEntries(const AcqDeviceRecord* record) {
  const std::uint32_t entries = Prm(record, kVicLutEntries);
  if (entries != 0) return entries;
  const std::uint32_t depth = Prm(record, kCamDepth);
  return depth < 32 ? 1u << depth : 0;
}

QelStatus CheckLut(const AcqDeviceRecord* record, const LutRecord* lut, std::uint32_t index) {
  if (index >= Prm(record, kVicLutCount)) return kAcqLutOutOfRange;
  if (lut->entries != ExpectedEntries(record)) return kWrongEntries;
  if (!FormatMatches(lut->format, Prm(record, kVicLutFormat))) return kWrongFormat;
  return 0;
}

QelStatus Transfer(QelHandle* handle, const QelHandle* lut, std::uint32_t index, Direction direction) {
  if (const QelStatus checked = AcqCheckHandle(handle); checked != 0) return checked;
  const LutRecord* object = LutRecordOf(lut);
  if (object == nullptr) return kAcqApiBadLut;
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = AcqGetDeviceRecord(handle, &record); status != 0) return status | kQelModuleAcquisition;
  const othStruct* table = AcqGetOthStructOf(record);
  if (table == nullptr) return kAcqApiNotAllowed;
  const AcqLutOp operation = direction == Direction::kRead ? table->lutRead : table->lutWrite;
  if (operation == nullptr) return kAcqApiNotAllowed;
  if (const QelStatus status = CheckLut(record, object, index); status != 0) return status;
  const std::uint32_t bytesPerEntry = (((object->format >> 8) & 0xFF) + 7) / 8;
  const std::uint32_t planes = (object->format >> 24) & 0xF;
  const std::size_t size = std::size_t{planes} * bytesPerEntry * object->entries;
  std::uint32_t own = 0;
  LutGetPrm(lut, kLutPrmDataSize, &own);
  auto* data = reinterpret_cast<std::uint8_t*>(object->data);
  const std::size_t copied = std::min<std::size_t>(size, own);
  std::vector<std::uint8_t> buffer(std::max(size, kWidestEntry * object->entries));
  if (direction == Direction::kWrite) {
    std::memcpy(buffer.data(), data, copied);
    return operation(handle, index, object->entries, bytesPerEntry, buffer.data());
  }
  // The device's read hands its LUT as 16-bit words, whatever the entry width.
  const std::size_t words = std::size_t{planes} * object->entries;
  std::vector<std::uint16_t> board(words);
  const QelStatus status =
      operation(handle, index, static_cast<std::uint32_t>(words * sizeof(std::uint16_t)), bytesPerEntry, board.data());
  if (status != 0) return status;
  for (std::size_t i = 0; i < words; ++i) {
    const std::uint32_t value = board[i];
    std::memcpy(buffer.data() + i * bytesPerEntry, &value, std::min<std::size_t>(bytesPerEntry, sizeof value));
  }
  std::memcpy(data, buffer.data(), copied);
  return 0;
}

}  // namespace

QelStatus AcqReadLut(QelHandle* handle, const QelHandle* lut, std::uint32_t index) {
  return Transfer(handle, lut, index, Direction::kRead);
}

QelStatus AcqWriteLut(QelHandle* handle, const QelHandle* lut, std::uint32_t index) {
  return Transfer(handle, lut, index, Direction::kWrite);
}
