#include "source/QelXfer/XferYatSizing.h"

#include <algorithm>

#include "source/QelXfer/XferStatus.h"

namespace {

constexpr std::uint32_t kMono8 = 0x1010800;
constexpr std::uint32_t kMono16 = 0x1021000;
constexpr std::uint32_t kRgb8888 = 0x61092000;
constexpr std::uint32_t kRgb101010 = 0x610A2000;
constexpr std::uint32_t kRgb16161616 = 0x611B4000;
constexpr std::uint32_t kColourBit = 0x40000000;
constexpr std::uint64_t kPage = 4096;

std::uint32_t StageFormat(const XferAcqGeometry& acq) {
  if (acq.depth == 16) return acq.bits == 8 ? kMono8 : kMono16;
  std::uint32_t bits = XferFormatBits(acq.format);
  if ((acq.format & kColourBit) != 0) bits /= 4;
  if (acq.bits <= bits) return acq.format;
  if (acq.format == kMono8) return kMono16;
  if (acq.bits == 12 && (acq.format == kRgb101010 || acq.format == kRgb8888)) return kRgb16161616;
  return acq.format;
}

std::uint64_t PageRounded(std::uint64_t bytes) { return (bytes / kPage + 1) * kPage; }

}  // namespace

QelStatus XferStageGeometryOf(const XferAcqGeometry& acq, std::uint32_t busWidth, XferStageGeometry* out) {
  std::uint64_t k = acq.multiplier, width = acq.width;
  if (acq.layout == 1 && k > 1) {
    k /= 2;
    width *= 2;
  } else if (acq.layout == 4) {
    width *= k;
    k = 1;
  }
  const std::uint32_t format = StageFormat(acq);
  const std::uint64_t bits = XferFormatBits(format);
  const std::uint64_t height = acq.mode == 1 ? std::uint64_t{acq.frames} * acq.lines : acq.frameLines;
  if (bits == 0 || busWidth == 0 || k * width == 0 || height == 0) return kXferRegionIncompatible;
  const std::uint64_t lineBytes = bits * width / 8;
  const std::uint64_t pixels =
      lineBytes % busWidth == 0 ? k * width : 8 * (((lineBytes / busWidth + 1) * k * busWidth) / bits);
  if (pixels == 0 || pixels > 0xFFFFFFFFu || height > 0xFFFFFFFFu) return kXferRegionIncompatible;
  *out = XferStageGeometry{format, static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(pixels),
                           static_cast<std::uint32_t>(height)};
  return QEL_OK;
}

std::uint64_t XferStageBytes(const XferStageGeometry& g, std::uint32_t f1, std::uint32_t f2) {
  return std::uint64_t{g.bits} * g.height * g.width / 8 * f2 * f1;
}

std::uint32_t XferFitCount(std::uint32_t count, std::uint32_t reservePercent, std::int64_t memoryLeft,
                           std::uint64_t bufferBytes) {
  if (count > 2 && bufferBytes != 0 && memoryLeft > 0) {
    const std::uint64_t room = static_cast<std::uint64_t>(100 - std::min(reservePercent, 100u)) *
                               static_cast<std::uint64_t>(memoryLeft) / 100;
    const std::uint64_t fits = room / bufferBytes;
    if (fits < count && fits >= 1) count = static_cast<std::uint32_t>(fits);
  }
  while (count > 2 && static_cast<std::int64_t>(std::uint64_t{count} * bufferBytes) >= memoryLeft) --count;
  return count;
}

std::uint32_t XferFrameReserve(std::uint32_t reservePercent, std::uint64_t total, std::int64_t memoryLeft) {
  if (reservePercent == 0) return 0;
  const std::int64_t smaller = std::max<std::int64_t>(0, std::min(static_cast<std::int64_t>(total), memoryLeft));
  const auto q = static_cast<std::uint32_t>(static_cast<float>(smaller) / (100.0f / static_cast<float>(reservePercent)));
  return (q / 4096 + 1) * 4096;
}

std::uint64_t XferStripReserve(std::uint32_t reservePercent, std::uint64_t bytes) {
  const double percent = reservePercent == 0 ? 5.0 : static_cast<double>(reservePercent);
  return PageRounded(static_cast<std::uint64_t>(static_cast<double>(bytes) / (100.0 / percent)));
}

QelStatus XferChooseStrips(const XferStageGeometry& g, std::uint32_t count, std::uint32_t f1, std::uint32_t f2,
                           std::uint32_t reservePercent, std::int64_t memoryLeft, XferStripChoice* out) {
  if (g.height < 2 || g.bits == 0) return kXferOutOfMemory;
  for (std::uint64_t k = 3;; ++k) {
    const std::uint64_t lines = 2 * ((g.height / 2 + k - 1) / k);
    const std::uint64_t bytes = lines * count * f2 * g.width * f1 * g.bits / 8;
    const std::uint64_t reserve = XferStripReserve(reservePercent, bytes);
    if (memoryLeft > 0 && reserve + bytes < static_cast<std::uint64_t>(memoryLeft)) {
      *out = XferStripChoice{static_cast<std::uint32_t>(lines), bytes, reserve};
      return QEL_OK;
    }
    if (lines <= 2) return kXferOutOfMemory;
  }
}
