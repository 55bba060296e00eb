// Firmware sums and the comparison of dates and headers.
#include <algorithm>
#include <cstring>

#include "driver/user/Cbh.h"
#include "driver/user/CbhBytes.h"

using namespace cbh_detail;

QelHwStatus Cbh_ByteSum(const void* data, std::uint32_t length, std::uint32_t* sum) {
  if (data == nullptr || sum == nullptr) return QELHW_ERROR_NULL_PTR;
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t total = 0;
  for (std::uint32_t i = 0; i < length; ++i) total += p[i];
  *sum = total;
  return QELHW_OK;
}

// The sum of little-endian words of the data padded with 0xFF up to a
// multiple of four. The padding is added in place rather than through a
// padded copy, so no allocation can fail.
QelHwStatus Cbh_WordSum(const void* data, std::uint32_t length, std::uint32_t* sum) {
  if (data == nullptr || sum == nullptr) return QELHW_ERROR_NULL_PTR;
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t total = 0;
  const std::uint32_t whole = length & ~3u;
  for (std::uint32_t i = 0; i < whole; i += 4) total += load_u32(p + i);
  if (whole != length) {
    std::uint8_t tail[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    std::memcpy(tail, p + whole, length - whole);
    total += load_u32(tail);
  }
  *sum = total;
  return QELHW_OK;
}

// A firmware size that runs past the buffer is refused instead of summing
// bytes that do not belong to the firmware.
QelHwStatus Cbh_ComputeChecksum(const void* buffer, std::uint32_t size, std::uint32_t* sum) {
  if (buffer == nullptr || sum == nullptr) return QELHW_ERROR_NULL_PTR;
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  if (Cbh_IsValid(buffer, size)) {
    if (size < offsetof(CbhHeader, firmwareSize) + 4) return QELHW_ERROR_DATA_INVALID_HEADER;
    const std::uint64_t start = load_u32(p + offsetof(CbhHeader, headerSize));
    const std::uint64_t firmwareSize = load_u32(p + offsetof(CbhHeader, firmwareSize));
    if (start + firmwareSize > size) return QELHW_ERROR_DATA_INVALID_HEADER;
    return Cbh_ByteSum(p + start, static_cast<std::uint32_t>(firmwareSize), sum);
  }
  const void* record = nullptr;
  if (!Cbh_IsValidFlashRecord(buffer, size, &record)) return QELHW_ERROR_DATA_INVALID_HEADER;
  const std::uint32_t firmwareSize =
      load_u32(static_cast<const std::uint8_t*>(record) + offsetof(CbhFlashRecord, firmwareSize));
  if (firmwareSize > size) return QELHW_ERROR_DATA_INVALID_HEADER;
  return Cbh_WordSum(p, firmwareSize, sum);
}

// Dates order by year, month, day, hour and minute, most significant first.
std::uint32_t Cbh_CompareDates(const void* a, const void* b) {
  if (a == nullptr || b == nullptr) return 0;
  auto key = [](const void* date) {
    const auto* d = static_cast<const std::uint8_t*>(date);
    return (static_cast<std::uint64_t>(load_u16(d + offsetof(CbhDate, year))) << 32) |
           (static_cast<std::uint64_t>(d[offsetof(CbhDate, month)]) << 24) |
           (static_cast<std::uint64_t>(d[offsetof(CbhDate, day)]) << 16) |
           (static_cast<std::uint64_t>(d[offsetof(CbhDate, hour)]) << 8) | d[offsetof(CbhDate, minute)];
  };
  const std::uint64_t ka = key(a);
  const std::uint64_t kb = key(b);
  if (ka < kb) return kCbhDateOlder;
  if (ka > kb) return kCbhDateNewer;
  return 0;
}

std::int32_t Cbh_CompareHeaders(const void* a, std::uint32_t sizeA, const void* b,
                                std::uint32_t sizeB) {
  if (a == nullptr || b == nullptr) return QELHW_ERROR_NULL_PTR;
  const auto* pa = static_cast<const std::uint8_t*>(a);
  const auto* pb = static_cast<const std::uint8_t*>(b);
  const std::uint32_t common = std::min(sizeA, sizeB);
  const bool differ = std::memcmp(pa, pb, common) != 0;
  std::uint32_t result = differ ? kCbhHeadersDiffer : 0;

  // The fields below are looked at only when both headers hold them.
  constexpr std::uint32_t kDateEnd = offsetof(CbhHeader, creationDate) + sizeof(CbhDate);
  constexpr std::uint32_t kSizeEnd = offsetof(CbhHeader, firmwareSize) + 4;
  if (common >= kDateEnd &&
      Cbh_CompareDates(pa + offsetof(CbhHeader, creationDate), pb + offsetof(CbhHeader, creationDate)) != 0)
    result = differ ? kCbhHeadersDiffer | kCbhHeadersDateDiffer : kCbhHeadersDateDiffer;
  if (common >= kSizeEnd &&
      (load_u32(pa + offsetof(CbhHeader, firmwareChecksum)) != load_u32(pb + offsetof(CbhHeader, firmwareChecksum)) ||
       load_u32(pa + offsetof(CbhHeader, firmwareSize)) != load_u32(pb + offsetof(CbhHeader, firmwareSize))))
    result += kCbhHeadersContentDiffer;
  return static_cast<std::int32_t>(result);
}
