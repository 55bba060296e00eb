// The room the board's own data of an acquisition takes in on-board memory
// beside the internal buffers of a transfer: the flat-field coefficients of
// the selected internal buffer while the correction is on, and the device's
// onboard LUT buffers.
#include "source/QelXfer/XferYatBoardData.h"

#include <mutex>

#include "source/QelXfer/XferAcqSource.h"
#include "source/QelXfer/YatAcqBufferKit.h"

namespace {

constexpr std::uint32_t kFlatFieldOnId = 0x70D0004;
constexpr std::uint32_t kSelectedBufferId = 0x70C0004;
constexpr std::uint32_t kLutFormatId = 0x8320004;
constexpr std::uint32_t kLutEntriesId = 0x85F0004;
constexpr QelStatus kSelectionOutOfRange = 0x400035;
constexpr QelStatus kSelectionMissing = 0x400032;
static_assert(kXferCoefficientBuffers == kYatInternalBuffersPerDevice);
static_assert(kXferCameraInsertBuffers <= kYatOnboardBuffersPerConnector);

constexpr std::uint32_t FormatBits(std::uint32_t format) { return (format >> 8) & 0xFFu; }

// Buffers 1, 2, ... that exist one after the other.
template <typename Record, typename Find>
std::uint32_t CountFromOne(Find find, std::uint32_t most) {
  std::uint32_t count = 0;
  while (count < most) {
    const Record* record = find(count + 1);
    if (record == nullptr || record->state == 0) break;
    ++count;
  }
  return count;
}

QelStatus FlatField(const QelHandle* source, const XferAcqDevice& device, const XferAcqGeometry& acq,
                    const XferStageGeometry& g, XferBoardData* out) {
  std::uint32_t selected = 0;
  if (const QelStatus status = XferSrcValue(source, kSelectedBufferId, &selected); status != QEL_OK) return status;
  if (selected < 1 || selected > kYatInternalBuffersPerDevice) return kSelectionOutOfRange;
  const YatInternalBufferRecord* record = YatInternalRecord(device.board, device.device, selected);
  if (record == nullptr || record->state == 0) return kSelectionMissing;
  out->selected = selected;
  out->storedMode = acq.mode == 1 ? record->mode : 0;
  out->internalBuffers = CountFromOne<YatInternalBufferRecord>(
      [&](std::uint32_t n) { return YatInternalRecord(device.board, device.device, n); },
      kYatInternalBuffersPerDevice);
  const std::uint64_t lines = acq.mode == 2 ? 1 : g.height;
  out->coefficientBytes = std::uint64_t{g.bits} * lines * (acq.bits == 8 ? 2 : 1) * g.width / 8;
  return QEL_OK;
}

void OnboardLuts(const QelHandle* source, const XferAcqDevice& device, XferBoardData* out) {
  const std::uint32_t count = CountFromOne<YatOnboardBufferRecord>(
      [&](std::uint32_t n) { return YatOnboardRecord(device.board, device.connector, n); },
      kYatOnboardBuffersPerConnector);
  if (count == 0) return;
  std::uint32_t format = 0, entries = 0;
  XferSrcValue(source, kLutFormatId, &format);
  XferSrcValue(source, kLutEntriesId, &entries);
  out->lutBytes = count * (FormatBits(format) * entries * 2 / 8);
}

}  // namespace

QelStatus XferYatBoardDataOf(const QelHandle* source, const XferAcqDevice& device, const XferAcqGeometry& acq,
                             const XferStageGeometry& g, XferBoardData* out) {
  *out = XferBoardData{};
  if (const QelStatus status = XferSrcValue(source, kFlatFieldOnId, &out->flatFieldOn); status != QEL_OK)
    return status;
  if (out->flatFieldOn != 0) {
    if (const QelStatus status = FlatField(source, device, acq, g, out); status != QEL_OK) return status;
  }
  OnboardLuts(source, device, out);
  return QEL_OK;
}

std::int64_t XferTakeRoom(std::int64_t memoryLeft, std::uint64_t bytes) {
  return static_cast<std::int64_t>(bytes) < memoryLeft ? memoryLeft - static_cast<std::int64_t>(bytes) : memoryLeft;
}

QelStatus XferYatFlatFieldOf(const QelHandle* source, const XferAcqDevice& device, XferFlatFieldFacts* out,
                             XferInsertLists* inserts) {
  *out = XferFlatFieldFacts{};
  if (const QelStatus status = XferSrcValue(source, kFlatFieldOnId, &out->on); status != QEL_OK) return status;
  if (out->on == 0) return QEL_OK;
  if (const QelStatus status = XferSrcValue(source, kSelectedBufferId, &out->selected); status != QEL_OK)
    return status;
  *inserts = XferInsertLists{};
  const std::lock_guard<std::mutex> lock(YatBufferMutex());
  for (std::uint32_t n = 1; n <= kXferCoefficientBuffers; ++n) {
    const YatInternalBufferRecord* record = YatInternalRecord(device.board, device.device, n);
    if (record == nullptr) break;
    if (record->state != 0) out->buffers |= 1u << (n - 1);
    if (record->state != 0 && n == out->selected) out->storedMode = record->mode;
    inserts->coefficients[n - 1] = record->coefficients;
    inserts->others[n - 1] = record->first;
    inserts->listA[n - 1] = reinterpret_cast<std::uintptr_t>(&inserts->coefficients[n - 1]);
    inserts->listB[n - 1] = reinterpret_cast<std::uintptr_t>(&inserts->others[n - 1]);
  }
  return QEL_OK;
}

std::uint32_t XferYatCameraInsertsOf(const XferAcqDevice& device, XferCameraInserts* out) {
  *out = XferCameraInserts{};
  std::uint32_t existing = 0;
  const std::lock_guard<std::mutex> lock(YatBufferMutex());
  for (std::uint32_t n = 1; n <= kXferCameraInsertBuffers; ++n) {
    const YatOnboardBufferRecord* record = YatOnboardRecord(device.board, device.connector, n);
    if (record == nullptr) break;
    // A buffer being created is marked before it holds memory.
    if (record->state == 1 && record->memory.size != 0) existing |= 1u << (n - 1);
    out->records[n - 1] = record->memory;
    out->list[n - 1] = reinterpret_cast<std::uintptr_t>(&out->records[n - 1]);
  }
  return existing;
}
