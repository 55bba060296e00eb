// Buffer parameter ids, (index << 16) | size in bytes, and the state link.
#pragma once

#include <cstdint>

#include "source/QelBuff/BufferInternal.h"

enum BufferPrmId : std::uint32_t {
  kBufferPrmFormat = 0x4,
  kBufferPrmKind = 0x10004,
  kBufferPrmElementSize = 0x20004,
  kBufferPrmBits = 0x30004,
  kBufferPrmX = 0x40004,
  kBufferPrmY = 0x50004,
  kBufferPrmWidth = 0x60004,
  kBufferPrmHeight = 0x70004,
  kBufferPrmAddress = 0x80008,
  kBufferPrmPhysical = 0x90008,
  kBufferPrmRoot = 0xA0020,
  kBufferPrmParent = 0xB0020,
  kBufferPrmPitch = 0xC0004,
  kBufferPrmBlockHeight = 0xD0004,
  kBufferPrmState = 0xE0004,
  kBufferPrmSigned = 0xF0004,
  kBufferPrmPlanes = 0x100004,
  kBufferPrmPlane = 0x110004,
  kBufferPrmCounter = 0x120004,
  kBufferPrmSize = 0x130004,
  kBufferPrmServerOffset = 0x140008,
  kBufferPrmSgUsed = 0x150004,
  kBufferPrmSgList = 0x160008,
  kBufferPrmSgPages = 0x170008,
  kBufferPrmLocked = 0x180004,
  kBufferPrmBytesPerLine = 0x190004,
  kBufferPrmDepth = 0x1A0004,
  kBufferPrmStateLink = 0x1B0004,
  kBufferPrmDisplayInfo = 0x1C0008,
};
inline constexpr std::uint32_t kBufferCapDepthChangeable = 0x40004;

constexpr std::uint32_t BufferPrmIndex(std::uint32_t id) { return (id >> 16) & 0xFFFu; }
constexpr std::uint32_t BufferPrmSize(std::uint32_t id) { return id & 0xFFFFu; }
constexpr QelStatus BufferPrmStatus(std::uint32_t id, std::uint32_t kind) {
  return BufferStatus(BufferPrmIndex(id), kind);
}
inline constexpr std::uint32_t kBufferPrmUndefined = 0x28;
inline constexpr std::uint32_t kBufferPrmNotAvailable = 0x29;
inline constexpr std::uint32_t kBufferPrmOutOfRange = 0x2A;
inline constexpr std::uint32_t kBufferPrmReadOnly = 0x2C;

// The state word and counter through the link of parameter 27.
std::uint32_t BufferReadState(BufferDescriptor* descriptor);
void BufferWriteState(BufferDescriptor* descriptor, std::uint32_t value);
std::uint32_t BufferReadCounter(BufferDescriptor* descriptor);
