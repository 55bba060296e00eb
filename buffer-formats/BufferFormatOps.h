// BufferFormatOps: the buffer data operations of every pixel format, one
// table per operation, one entry per format index. The buffer module takes the
// entry at the format index stored in the descriptor that selects it and calls
// it; an empty entry means that the format has no such operation.
//
// Every handler takes a BufferDescriptor first (for MergePlanes the fourth
// argument selects the entry) and answers 0 or a status of FormatStatus.h.
// Handlers keep no state and take no lock; they check every position, size
// and length against the descriptors and the memory they are given.
#pragma once

#include <array>
#include <cstdint>

#include "buffer-formats/FormatStatus.h"
#include "source/QelBuff/BufferDescriptor.h"

struct LutRecord;

inline constexpr std::uint32_t kBufferFormatIndexCount = 32;
// GetElementEx and SetElementEx exchange up to three 32-bit components (four
// 16-bit ones for the 16-bit-per-component formats) through a block this large.
inline constexpr std::uint32_t kFmtComponentBytes = 12;

using FmtReadLinear = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint64_t elementOffset,
                                        void* memory, std::uint32_t size);
using FmtWriteLinear = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint64_t elementOffset,
                                         const void* memory, std::uint32_t size);
using FmtReadChain = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                       const std::uint8_t* codes, std::int32_t count, void* memory);
using FmtWriteChain = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                        const std::uint8_t* codes, std::int32_t count,
                                        const void* memory);
using FmtGetElement = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                        void* memory, std::uint32_t size);
using FmtSetElement = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                        const void* memory, std::uint32_t size);
using FmtGetElementEx = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint32_t x,
                                          std::uint32_t y, void* components);
using FmtSetElementEx = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint32_t x,
                                          std::uint32_t y, const void* components);
using FmtReadLine = std::uint32_t (*)(const BufferDescriptor* buffer, std::int32_t x1, std::int32_t y1,
                                      std::int32_t x2, std::int32_t y2, std::uint32_t* count,
                                      void* memory, std::uint32_t size);
using FmtWriteLine = std::uint32_t (*)(const BufferDescriptor* buffer, std::int32_t x1, std::int32_t y1,
                                       std::int32_t x2, std::int32_t y2, std::uint32_t* count,
                                       const void* memory, std::uint32_t size);
using FmtReadRect = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                      std::uint32_t width, std::uint32_t height, void* memory,
                                      std::uint32_t size);
using FmtWriteRect = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                                       std::uint32_t width, std::uint32_t height, const void* memory,
                                       std::uint32_t size);
using FmtClear = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint32_t value);
using FmtClearElement = std::uint32_t (*)(const BufferDescriptor* buffer, const void* element,
                                          std::uint32_t length);
using FmtCopy = std::uint32_t (*)(const BufferDescriptor* source, std::uint32_t x, std::uint32_t y,
                                  const BufferDescriptor* destination);
using FmtCopyRect = std::uint32_t (*)(const BufferDescriptor* source, std::uint32_t sx, std::uint32_t sy,
                                      std::uint32_t width, std::uint32_t height,
                                      const BufferDescriptor* destination, std::uint32_t dx,
                                      std::uint32_t dy);
using FmtBayerConvert = std::uint32_t (*)(const BufferDescriptor* source,
                                          const BufferDescriptor* destination, std::uint32_t flags,
                                          const float* gains, const LutRecord* lut);
using FmtBayerWhiteBalance = std::uint32_t (*)(const BufferDescriptor* buffer, std::uint32_t flags,
                                               float* gains);
// A conversion may change the signedness of a buffer in place: it writes the
// format field of the destination, which may be the source itself.
using FmtConvert = std::uint32_t (*)(BufferDescriptor* source, BufferDescriptor* destination,
                                     std::uint32_t flags);
using FmtSplitPlanes = std::uint32_t (*)(const BufferDescriptor* source, BufferDescriptor* plane0,
                                         BufferDescriptor* plane1, BufferDescriptor* plane2,
                                         std::uint32_t flags);
using FmtMergePlanes = std::uint32_t (*)(const BufferDescriptor* plane0, const BufferDescriptor* plane1,
                                         const BufferDescriptor* plane2, BufferDescriptor* destination,
                                         std::uint32_t flags);

template <class Handler>
using FmtTable = std::array<Handler, kBufferFormatIndexCount>;

// The 21 operation tables, in operation order (0 ReadLinear ... 20 MergePlanes).
struct BufferFormatOpsTables {
  FmtTable<FmtReadLinear> ReadLinear;
  FmtTable<FmtWriteLinear> WriteLinear;
  FmtTable<FmtReadChain> ReadChain;
  FmtTable<FmtWriteChain> WriteChain;
  FmtTable<FmtGetElement> GetElement;
  FmtTable<FmtSetElement> SetElement;
  FmtTable<FmtGetElementEx> GetElementEx;
  FmtTable<FmtSetElementEx> SetElementEx;
  FmtTable<FmtReadLine> ReadLine;
  FmtTable<FmtWriteLine> WriteLine;
  FmtTable<FmtReadRect> ReadRect;
  FmtTable<FmtWriteRect> WriteRect;
  FmtTable<FmtClear> Clear;
  FmtTable<FmtClearElement> ClearElement;
  FmtTable<FmtCopy> Copy;
  FmtTable<FmtCopyRect> CopyRect;
  FmtTable<FmtBayerConvert> BayerConvert;
  FmtTable<FmtBayerWhiteBalance> BayerWhiteBalance;
  FmtTable<FmtConvert> Convert;
  FmtTable<FmtSplitPlanes> SplitPlanes;
  FmtTable<FmtMergePlanes> MergePlanes;
};

extern const BufferFormatOpsTables BufferFormatOps;

// The entry of one table at a format index; empty for an index that has no
// handler and for every index of 32 and above, which no table holds.
template <class Handler>
constexpr Handler BufferFormatEntry(const FmtTable<Handler>& table, std::uint32_t formatIndex) {
  return formatIndex < kBufferFormatIndexCount ? table[formatIndex] : nullptr;
}

// One dispatch: the entry at the format index, called with the arguments;
// an empty entry answers 0x800046 without a call, and a handler's non-zero
// status reaches the caller with the buffer module's bits set.
template <class Handler, class... Arguments>
std::uint32_t BufferFormatCall(const FmtTable<Handler>& table, std::uint32_t formatIndex,
                               Arguments... arguments) {
  const Handler handler = BufferFormatEntry(table, formatIndex);
  if (handler == nullptr) return kFmtNotImplemented;
  const std::uint32_t status = handler(arguments...);
  return status == kFmtOk ? kFmtOk : (status | kFmtModuleBits);
}
