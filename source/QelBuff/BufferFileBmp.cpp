// BMP files: saved for the grey and RGB formats a BMP holds as they are,
// loaded into any buffer byte for byte.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

#include "source/QelBuff/BufferFile.h"
#include "source/QelBuff/BufferFileIo.h"

namespace {

#pragma pack(push, 1)
struct BmpFileHeader {
  char signature[2];
  std::uint32_t fileSize;
  std::uint16_t reserved1;
  std::uint16_t reserved2;
  std::uint32_t dataOffset;
};
struct BmpInfoHeader {
  std::uint32_t size;
  std::int32_t width;
  std::int32_t height;
  std::uint16_t planes;
  std::uint16_t bitCount;
  std::uint32_t compression;
  std::uint32_t imageSize;
  std::int32_t xResolution;
  std::int32_t yResolution;
  std::uint32_t coloursUsed;
  std::uint32_t coloursImportant;
};
#pragma pack(pop)
static_assert(sizeof(BmpFileHeader) == 14);
static_assert(sizeof(BmpInfoHeader) == 40);
static_assert(offsetof(BmpInfoHeader, bitCount) == 14);
static_assert(offsetof(BmpInfoHeader, coloursUsed) == 32);

constexpr std::uint32_t kCompressionNone = 0;
constexpr std::uint32_t kCompressionBitFields = 3;

// How a buffer format is written: bit count, compression, the masks of a
// bit-field file (red, green, blue), a grey palette.
struct BmpLayout {
  std::uint32_t format;
  std::uint16_t bitCount;
  std::uint32_t compression;
  std::array<std::uint32_t, 3> masks;
  bool greyPalette;
};

constexpr BmpLayout kLayouts[] = {
    {0x01010800, 8, kCompressionNone, {}, true},   // MONO8
    {0x11010800, 8, kCompressionNone, {}, true},   // signed MONO8
    {0x610A2000, 32, kCompressionBitFields, {0x3FF00000, 0xFFC00, 0x3FF}, false},  // RGB101010
    {0x61092000, 32, kCompressionBitFields, {0xFF0000, 0xFF00, 0xFF}, false},      // RGB8888
    {0x61081800, 24, kCompressionNone, {}, false},  // RGB888
    {0x61071000, 16, kCompressionBitFields, {0xF800, 0x7E0, 0x1F}, false},          // RGB565
    {0x61061000, 16, kCompressionBitFields, {0x7C00, 0x3E0, 0x1F}, false},          // RGB5551
};

const BmpLayout* FindLayout(std::uint32_t format) {
  for (const BmpLayout& layout : kLayouts)
    if (layout.format == format) return &layout;
  return nullptr;
}

const std::byte* LineAddress(const BufferDescriptor& buffer, std::uint32_t line) {
  return reinterpret_cast<const std::byte*>(buffer.dataAddress) + std::uint64_t{buffer.bytesPerLine} * line;
}

std::uint32_t WriteHeaders(std::FILE* file, const BmpLayout& layout, std::uint32_t width, std::uint32_t height) {
  const bool masks = layout.compression == kCompressionBitFields;
  const std::uint32_t colours = layout.greyPalette ? 256 : masks ? 3 : 0;
  BmpFileHeader fileHeader{{'B', 'M'}, 0, 0, 0, 54u + colours * 4};
  BmpInfoHeader info{};
  info.size = sizeof info;
  info.width = static_cast<std::int32_t>(width);
  info.height = static_cast<std::int32_t>(height);
  info.planes = 1;
  info.bitCount = layout.bitCount;
  info.compression = layout.compression;
  info.imageSize = layout.bitCount / 8 * height * width;
  info.coloursUsed = colours;
  if (!BufferFileWrite(file, &fileHeader, sizeof fileHeader) || !BufferFileWrite(file, &info, sizeof info))
    return kBufferFileBadWrite;
  if (layout.greyPalette) {
    std::array<std::uint8_t, 256 * 4> palette{};
    for (std::size_t i = 0; i < 256; ++i)
      palette[i * 4] = palette[i * 4 + 1] = palette[i * 4 + 2] = static_cast<std::uint8_t>(i);
    if (!BufferFileWrite(file, palette.data(), palette.size())) return kBufferFileBadWrite;
  }
  if (masks && !BufferFileWrite(file, layout.masks.data(), sizeof layout.masks)) return kBufferFileBadWrite;
  return kBufferFileOk;
}

}  // namespace

std::uint32_t BufferSaveBmp(const BufferDescriptor* buffer, const char* fileName) {
  if (buffer == nullptr || buffer->dataAddress == 0) return kBufferFileUnsupported;
  // A format a BMP cannot hold leaves no file behind.
  const BmpLayout* layout = FindLayout(buffer->format);
  if (layout == nullptr) return kBufferFileUnsupported;
  BufferFileHandle file = BufferFileOpen(fileName, "wb");
  if (!file) return kBufferFileCannotCreate;
  // Rows of a width that is a multiple of 4 need no padding.
  const std::uint32_t width = buffer->width & ~3u;
  if (const std::uint32_t status = WriteHeaders(file.get(), *layout, width, buffer->height); status != kBufferFileOk)
    return status;
  const std::uint64_t row = std::uint64_t{layout->bitCount} / 8 * width;
  for (std::uint32_t y = buffer->height; y-- > 0;) {
    if (!BufferFileWrite(file.get(), LineAddress(*buffer, y), row)) return kBufferFileBadWrite;
  }
  return std::fflush(file.get()) == 0 ? kBufferFileOk : kBufferFileBadWrite;
}

namespace {

bool BitCountIsSupported(std::uint16_t bitCount) {
  return bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
}

// Bytes between the information header and the rows: the palette, or the
// masks of a bit-field file.
std::uint64_t TableBytes(const BmpInfoHeader& info) {
  if (info.coloursUsed != 0) return std::uint64_t{info.coloursUsed} * 4;
  if (info.bitCount <= 8) return (std::uint64_t{1} << info.bitCount) * 4;
  return info.compression == kCompressionBitFields ? 12 : 0;
}

}  // namespace

std::uint32_t BufferLoadBmp(const BufferDescriptor* buffer, const char* fileName) {
  if (buffer == nullptr || buffer->dataAddress == 0) return kBufferFileUnsupported;
  BufferFileHandle file = BufferFileOpen(fileName, "rb");
  if (!file) return kBufferFileCannotOpen;
  BmpFileHeader fileHeader;
  if (!BufferFileRead(file.get(), &fileHeader, sizeof fileHeader) || fileHeader.signature[0] != 'B' ||
      fileHeader.signature[1] != 'M')
    return kBufferFileNotBmp;
  BmpInfoHeader info;
  if (!BufferFileRead(file.get(), &info, sizeof info)) return kBufferFileBadRead;
  // Top-down rows, compressed rows and bit counts other than whole bytes are
  // not read.
  if (info.width <= 0 || info.height <= 0 || !BitCountIsSupported(info.bitCount)) return kBufferFileBadRead;
  if (info.compression != kCompressionNone &&
      !(info.compression == kCompressionBitFields && (info.bitCount == 16 || info.bitCount == 32)))
    return kBufferFileBadRead;
  if (!BufferFileSkip(file.get(), TableBytes(info))) return kBufferFileBadRead;

  const std::uint64_t fileRow = std::uint64_t{info.bitCount} * static_cast<std::uint32_t>(info.width) / 8;
  const std::uint64_t paddedRow = (fileRow + 3) & ~std::uint64_t{3};
  const std::uint64_t taken = std::min(fileRow, std::uint64_t{buffer->elementSize} * buffer->width);
  const std::uint64_t stored = std::min(taken, BufferMemoryLineBytes(*buffer));
  const std::uint32_t rows = std::min(static_cast<std::uint32_t>(info.height), buffer->height);
  // The file's surplus rows are its bottom rows, which come first.
  if (!BufferFileSkip(file.get(), paddedRow * (static_cast<std::uint32_t>(info.height) - rows)))
    return kBufferFileBadRead;
  std::vector<std::byte> row(taken);
  for (std::uint32_t n = 0; n < rows; ++n) {
    if (!BufferFileRead(file.get(), row.data(), taken)) return kBufferFileBadRead;
    std::byte* line = reinterpret_cast<std::byte*>(buffer->dataAddress) +
                      std::uint64_t{buffer->bytesPerLine} * (rows - 1 - n);
    std::memcpy(line, row.data(), stored);
    if (!BufferFileSkip(file.get(), paddedRow - taken)) return kBufferFileBadRead;
  }
  return kBufferFileOk;
}
