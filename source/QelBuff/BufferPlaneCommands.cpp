// The data operations between formats: Bayer decoding and white balance,
// conversion, plane split and merge (9027-9031).
#include "buffer-formats/BufferFormatOps.h"
#include "source/QelBuff/BufferAccess.h"
#include "source/QelBuff/BufferServe.h"

namespace {

using Four = std::array<BufferDescriptor*, 4>;

// A buffer given at `offset`: checked when present; `refusal` for one that is
// present but not a buffer of this process with memory.
QelStatus Optional(const BufferRequest& r, std::uint32_t offset, QelStatus refusal, BufferDescriptor** out) {
  *out = nullptr;
  const QelHandle* handle = r.handle(offset);
  if (handle == nullptr) return QEL_OK;
  return BufferCheckForData(handle, refusal, out);
}

// The four buffers of a split or merge; the first must be there.
QelStatus Planes(const BufferRequest& r, Four* b) {
  if (const QelStatus status = r.check({68, 100, 132, 164, 168}); status != QEL_OK) return status;
  if (const QelStatus status = BufferCheckForData(r.handle(36), kBufferInvalidHandle, &(*b)[0]); status != QEL_OK)
    return status;
  for (std::uint32_t i = 1; i < 4; ++i) {
    if (const QelStatus status = Optional(r, 36 + 32 * i, BufferStatus(i + 1, 0x32), &(*b)[i]); status != QEL_OK)
      return status;
  }
  return QEL_OK;
}

// A conversion asks for method 2 when its low four bits name none.
std::uint32_t ConversionFlags(std::uint32_t flags) { return (flags & 0xFu) == 0 ? (flags | 2u) : flags; }

}  // namespace

QelStatus BufferCmdDecodeBayer(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    if (const QelStatus status = r.check({68, 100, 104, 116, 148}); status != QEL_OK) return status;
    std::array<BufferDescriptor*, 2> b{};
    if (const QelStatus status = BufferCheckForData(r.handle(36), kBufferInvalidHandle, &b[0]); status != QEL_OK)
      return status;
    if (const QelStatus status = BufferCheckForData(r.handle(68), kBufferInvalidHandle, &b[1]); status != QEL_OK)
      return status;
    // No lookup-table module serves this process: a table given is not applied.
    float gains[3];
    std::memcpy(gains, r.at(104), sizeof gains);
    return BufferDataOperation(b, [&] {
      return BufferFormatCall(BufferFormatOps.BayerConvert, b[0]->formatIndex, b[0],
                              static_cast<const BufferDescriptor*>(b[1]), r.word(100),
                              static_cast<const float*>(gains), static_cast<const LutRecord*>(nullptr));
    });
  });
}

QelStatus BufferCmdComputeWhiteBalance(QelMessageHeader* message) {
  return BufferServe(message, kFmtComponentBytes, [](const BufferRequest& r, const BufferAnswer& a) {
    if (const QelStatus status = r.check({68, 72}); status != QEL_OK) return status;
    std::array<BufferDescriptor*, 1> b{};
    if (const QelStatus status = BufferCheckForData(r.handle(36), kBufferInvalidHandle, &b[0]); status != QEL_OK)
      return status;
    float gains[3] = {};
    const QelStatus status = BufferDataOperation(b, [&] {
      return BufferFormatCall(BufferFormatOps.BayerWhiteBalance, b[0]->formatIndex,
                              static_cast<const BufferDescriptor*>(b[0]), r.word(68), static_cast<float*>(gains));
    });
    std::memcpy(a.payload, gains, sizeof gains);
    return status;
  });
}

QelStatus BufferCmdConvertFormat(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    if (const QelStatus status = r.check({68, 100, 104}); status != QEL_OK) return status;
    std::array<BufferDescriptor*, 2> b{};
    if (const QelStatus status = BufferCheckForData(r.handle(36), kBufferInvalidHandle, &b[0]); status != QEL_OK)
      return status;
    if (const QelStatus status = BufferCheckForData(r.handle(68), kBufferInvalidHandle, &b[1]); status != QEL_OK)
      return status;
    return BufferDataOperation(b, [&] {
      return BufferFormatCall(BufferFormatOps.Convert, b[0]->formatIndex, b[0], b[1], ConversionFlags(r.word(100)));
    });
  });
}

QelStatus BufferCmdSplitPlanes(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    Four b{};
    if (const QelStatus status = Planes(r, &b); status != QEL_OK) return status;
    return BufferDataOperation(b, [&] {
      return BufferFormatCall(BufferFormatOps.SplitPlanes, b[0]->formatIndex,
                              static_cast<const BufferDescriptor*>(b[0]), b[1], b[2], b[3], r.word(164));
    });
  });
}

QelStatus BufferCmdMergePlanes(QelMessageHeader* message) {
  return BufferServe(message, 0, [](const BufferRequest& r, const BufferAnswer&) {
    if (const QelStatus status = r.check({68, 100, 132, 164, 168}); status != QEL_OK) return status;
    Four b{};
    for (std::uint32_t i = 0; i < 3; ++i) {
      if (const QelStatus status = Optional(r, 36 + 32 * i, BufferStatus(i + 1, 0x32), &b[i]); status != QEL_OK)
        return status;
    }
    // The destination chooses the entry.
    if (const QelStatus status = BufferCheckForData(r.handle(132), BufferStatus(4, 0x32), &b[3]); status != QEL_OK)
      return status;
    return BufferDataOperation(b, [&] {
      return BufferFormatCall(BufferFormatOps.MergePlanes, b[3]->formatIndex,
                              static_cast<const BufferDescriptor*>(b[0]), static_cast<const BufferDescriptor*>(b[1]),
                              static_cast<const BufferDescriptor*>(b[2]), b[3], r.word(164));
    });
  });
}
