// The coefficient images of an internal buffer (slots 37 and 38): an offset
// image and a gain image of the buffer's lines and pixel format, interleaved
// pixel by pixel (the offset's bytes, then the gain's) into the coefficient
// lines of on-board memory. The offset image is the buffer the request names;
// the gain image is the buffer of the same server whose record word the
// request's further eight bytes carry, found like any handle through the
// process's buffer registry. With the acquisition's mirror (bit 0 of value
// 0x8570004) the images are mirrored line by line into the coefficients, so
// that each coefficient meets the camera pixel that lands on its image pixel.
#include <cstring>
#include <vector>

#include "driver/user/Pardow.h"
#include "source/QelBuff/BufferModule.h"
#include "source/QelXfer/YatAcqBufferKit.h"

namespace {

struct Image {
  std::uint8_t* address = nullptr;
  std::uint32_t bytesPerLine = 0;
};

std::uint32_t ElementBytes(std::uint32_t format) { return ((format >> 8) & 0xFF) / 8; }

// A buffer of this process with the record's geometry and format and memory of its own.
QelStatus ImageOf(const QelHandle& buffer, const YatInternalBufferRecord& r, Image* out) {
  const BufferDescriptor* descriptor = BufferDescriptorOf(&buffer);
  BufferMemoryView view{};
  if (descriptor == nullptr || BufferGetMemory(&buffer, &view) != 0 || view.address == nullptr)
    return kYatBufferMismatch;
  if (descriptor->width != r.lineValue || descriptor->height != r.lines || descriptor->format != r.pixelFormat)
    return kYatBufferMismatch;
  *out = Image{view.address, view.bytesPerLine};
  return 0;
}

struct Coefficients {
  YatInternalBufferRecord* record = nullptr;
  std::uint32_t board = 0;
  Image offset, gain;
  std::uint32_t element = 0;       // bytes of one image pixel
  bool mirrored = false;
  std::vector<std::uint8_t> lines;  // the coefficient lines as on the board
};

QelStatus Prepare(QelHandle* handle, std::uint32_t number, QelHandle* buffer, std::uint64_t gain, Coefficients* c) {
  YatBufferDevice d;
  if (const QelStatus status = YatBufferDeviceOf(handle, &d); status != 0) return status;
  c->record = YatInternalRecord(d.board, d.device, number);
  if (c->record == nullptr || c->record->state != 1) return kYatBufferNumber;
  if (buffer == nullptr || gain == 0) return kYatBufferNull;
  QelHandle gainHandle = *buffer;
  gainHandle.record = gain;
  if (const QelStatus status = ImageOf(*buffer, *c->record, &c->offset); status != 0) return status;
  if (const QelStatus status = ImageOf(gainHandle, *c->record, &c->gain); status != 0) return status;
  c->board = d.board;
  c->element = ElementBytes(c->record->pixelFormat);
  c->mirrored = (YatAcqValue(handle, 0x8570004) & 1) != 0;
  const std::uint64_t bytes = std::uint64_t{c->record->lines} * c->record->lineValue * 2 * c->element;
  if (c->element == 0 || bytes != c->record->coefficients.size) return kYatBufferMismatch;
  c->lines.assign(bytes, 0);
  return 0;
}

// Pixel x of line y: its offset's bytes and gain's bytes within the coefficient lines.
std::uint8_t* Coefficient(Coefficients& c, std::uint32_t y, std::uint32_t x) {
  return c.lines.data() + (std::uint64_t{y} * c.record->lineValue + x) * 2 * c.element;
}

std::uint8_t* Pixel(const Image& image, std::uint32_t y, std::uint32_t x, std::uint32_t element) {
  return image.address + std::uint64_t{y} * image.bytesPerLine + std::uint64_t{x} * element;
}

template <bool kToBoard>
void Interleave(Coefficients& c) {
  for (std::uint32_t y = 0; y < c.record->lines; ++y)
    for (std::uint32_t x = 0; x < c.record->lineValue; ++x) {
      std::uint8_t* both = Coefficient(c, y, c.mirrored ? c.record->lineValue - 1 - x : x);
      std::uint8_t* offset = Pixel(c.offset, y, x, c.element);
      std::uint8_t* gain = Pixel(c.gain, y, x, c.element);
      if constexpr (kToBoard) {
        std::memcpy(both, offset, c.element);
        std::memcpy(both + c.element, gain, c.element);
      } else {
        std::memcpy(offset, both, c.element);
        std::memcpy(gain, both + c.element, c.element);
      }
    }
}

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

}  // namespace

QelStatus YatAcqWriteInternalBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer, std::uint64_t gain) {
  Coefficients c;
  if (const QelStatus status = Prepare(handle, number, buffer, gain, &c); status != 0) return status;
  Interleave<true>(c);
  const YatInternalBuffer& memory = c.record->coefficients;
  return TranslateStatus(
      Yat_Man_Memory_Write(c.board, memory.onboardAddress, memory.size, Address(c.lines.data()), 0));
}

QelStatus YatAcqReadInternalBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer, std::uint64_t gain) {
  Coefficients c;
  if (const QelStatus status = Prepare(handle, number, buffer, gain, &c); status != 0) return status;
  const YatInternalBuffer& memory = c.record->coefficients;
  const QelStatus status =
      TranslateStatus(Yat_Man_Memory_Read(c.board, memory.onboardAddress, memory.size, Address(c.lines.data()), 0));
  if (status == 0) Interleave<false>(c);
  return status;
}
