// Buffer files: any bytes read as a native buffer file (its header alone, and
// whole into a buffer) and as a BMP file, into a buffer of one of several
// formats and shapes. The input's first byte picks the buffer; the rest is
// the file.
#include <array>
#include <cstring>
#include <vector>

#include "robustness/fuzz/FuzzSupport.h"
#include "source/QelBuff/BufferDescriptor.h"
#include "source/QelBuff/BufferFile.h"

namespace {

using fuzz_support::SeedFile;

struct Shape {
  std::uint32_t format;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t padding;  // bytes after each line
};

constexpr std::array<Shape, 8> kShapes{{
    {kBufferFormatMono8, 16, 8, 0},     {kBufferFormatMono16, 5, 3, 6},   {kBufferFormatRgb888, 7, 4, 3},
    {kBufferFormatRgb8888, 3, 3, 0},    {kBufferFormatMono1, 19, 2, 1},   {kBufferFormatY411, 9, 2, 0},
    {kBufferFormatRgb161616, 2, 5, 0},  {kBufferFormatMono32, 1, 1, 0},
}};

// A buffer of exactly its lines, so that a write past them is seen.
struct Buffer {
  explicit Buffer(const Shape& shape) {
    const std::uint32_t bits = BufferFormatBits(shape.format);
    const std::uint32_t line = (bits * shape.width + 7) >> 3;
    d.format = shape.format;
    d.width = shape.width;
    d.height = shape.height;
    d.bitsPerElement = bits;
    d.elementSize = BufferFormatElementSize(shape.format);
    d.planes = 1;
    d.formatIndex = BufferFormatIndex(shape.format);
    d.bytesPerLine = line + shape.padding;
    d.pitch = d.bytesPerLine / d.elementSize;
    d.planeLines = shape.height;
    memory.assign(std::size_t{d.bytesPerLine} * (shape.height - 1) + line, std::byte{0xEE});
    d.dataAddress = d.blockAddress = reinterpret_cast<std::uint64_t>(memory.data());
  }
  BufferDescriptor d{};
  std::vector<std::byte> memory;
};

std::vector<std::uint8_t> ReadBack(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  for (int c; in != nullptr && (c = std::fgetc(in)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
  if (in != nullptr) std::fclose(in);
  return bytes;
}

// The files the buffer module saves, each behind the byte that picks its buffer.
std::vector<SeedFile> Seeds() {
  std::vector<SeedFile> seeds;
  const std::string path = fuzz_support::Machine() + "/seed";
  for (std::uint8_t i = 0; i < kShapes.size(); ++i) {
    Buffer buffer(kShapes[i]);
    for (std::size_t b = 0; b < buffer.memory.size(); ++b) buffer.memory[b] = std::byte(b * 7);
    for (bool bmp : {false, true}) {
      if ((bmp ? BufferSaveBmp(&buffer.d, path.c_str()) : BufferSaveRaw(&buffer.d, path.c_str())) != kBufferFileOk)
        continue;
      std::vector<std::uint8_t> bytes{i};
      const std::vector<std::uint8_t> file = ReadBack(path);
      bytes.insert(bytes.end(), file.begin(), file.end());
      seeds.push_back({std::string(bmp ? "bmp-" : "native-") + std::to_string(i), bytes});
    }
  }
  return seeds;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::Machine();
  fuzz_support::WriteSeedsIfAsked(Seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string path = fuzz_support::WriteMachineFile("buffer.file", std::span(data + 1, size - 1));
  BufferDescriptor header{};
  BufferLoadRawHeader(path.c_str(), &header);
  Buffer raw(kShapes[data[0] % kShapes.size()]);
  BufferLoadRaw(&raw.d, path.c_str());
  Buffer bmp(kShapes[data[0] % kShapes.size()]);
  BufferLoadBmp(&bmp.d, path.c_str());
  return 0;
}
