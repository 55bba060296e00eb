// Native buffer files and the pieces both file kinds share.
#include "source/QelBuff/BufferFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/win/paths.h"
#include "source/QelBuff/BufferFileIo.h"

BufferFileHandle BufferFileOpen(const char* fileName, const char* mode) {
  if (fileName == nullptr || fileName[0] == '\0') return nullptr;
  return BufferFileHandle(std::fopen(plat::native_path(fileName).c_str(), mode));
}

bool BufferFileSkip(std::FILE* file, std::uint64_t size) {
  if (size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
  return size == 0 || ::fseeko(file, static_cast<off_t>(size), SEEK_CUR) == 0;
}

std::uint64_t BufferMemoryLineBytes(const BufferDescriptor& buffer) {
  const std::uint64_t packed = (std::uint64_t{buffer.bitsPerElement} * buffer.width + 7) >> 3;
  return std::min<std::uint64_t>(packed, std::uint64_t{buffer.elementSize} * buffer.width);
}

namespace {

std::byte* LineAddress(const BufferDescriptor& buffer, std::uint32_t line) {
  return reinterpret_cast<std::byte*>(buffer.dataAddress) + std::uint64_t{buffer.bytesPerLine} * line;
}

}  // namespace

std::uint32_t BufferSaveRaw(const BufferDescriptor* buffer, const char* fileName) {
  if (buffer == nullptr || buffer->dataAddress == 0) return kBufferFileUnsupported;
  BufferFileHandle file = BufferFileOpen(fileName, "wb");
  if (!file) return kBufferFileCannotCreate;
  if (!BufferFileWrite(file.get(), kBufferFileMagic, sizeof kBufferFileMagic) ||
      !BufferFileWrite(file.get(), buffer, sizeof *buffer))
    return kBufferFileBadWrite;
  const std::uint64_t fileLine = std::uint64_t{buffer->elementSize} * buffer->width;
  const std::uint64_t memoryLine = BufferMemoryLineBytes(*buffer);
  std::vector<std::byte> line(fileLine);
  for (std::uint32_t y = 0; y < buffer->height; ++y) {
    std::memcpy(line.data(), LineAddress(*buffer, y), memoryLine);
    if (!BufferFileWrite(file.get(), line.data(), fileLine)) return kBufferFileBadWrite;
  }
  return std::fflush(file.get()) == 0 ? kBufferFileOk : kBufferFileBadWrite;
}

namespace {

std::uint32_t ReadRawHeader(std::FILE* file, BufferDescriptor* header) {
  char magic[sizeof kBufferFileMagic];
  if (!BufferFileRead(file, magic, sizeof magic) || std::memcmp(magic, kBufferFileMagic, sizeof magic) != 0 ||
      !BufferFileRead(file, header, sizeof *header))
    return kBufferFileBadRead;
  return kBufferFileOk;
}

}  // namespace

std::uint32_t BufferLoadRawHeader(const char* fileName, BufferDescriptor* header) {
  if (header == nullptr) return kBufferFileBadRead;
  BufferFileHandle file = BufferFileOpen(fileName, "rb");
  if (!file) return kBufferFileCannotOpen;
  return ReadRawHeader(file.get(), header);
}

std::uint32_t BufferLoadRaw(const BufferDescriptor* buffer, const char* fileName) {
  if (buffer == nullptr || buffer->dataAddress == 0) return kBufferFileUnsupported;
  BufferFileHandle file = BufferFileOpen(fileName, "rb");
  if (!file) return kBufferFileCannotOpen;
  BufferDescriptor header;
  if (const std::uint32_t status = ReadRawHeader(file.get(), &header); status != kBufferFileOk) return status;
  if (header.format != buffer->format) return kBufferFileFormatDiffers;
  const std::uint64_t fileLine = std::uint64_t{header.elementSize} * header.width;
  const std::uint64_t taken = std::min(fileLine, std::uint64_t{buffer->elementSize} * buffer->width);
  const std::uint64_t stored = std::min(taken, BufferMemoryLineBytes(*buffer));
  std::vector<std::byte> line(taken);
  // A file shorter than the buffer leaves the buffer's remaining lines as they are.
  for (std::uint32_t y = 0; y < buffer->height; ++y) {
    if (!BufferFileRead(file.get(), line.data(), taken)) break;
    // A file of empty lines (no width or no element size) gives nothing to copy.
    if (stored > 0) std::memcpy(LineAddress(*buffer, y), line.data(), stored);
    if (!BufferFileSkip(file.get(), fileLine - taken)) break;
  }
  return kBufferFileOk;
}

std::uint32_t BufferFileUnsupported(const BufferDescriptor*, const char*) { return kBufferFileUnsupported; }
