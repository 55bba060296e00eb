#include "source/QelBuff/BufferFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/machine_fixture.h"

namespace {

using plat::testing::read_file;
using plat::testing::write_file;

// An image in memory of exactly its lines, so that any access past them is seen.
struct Image {
  Image(std::uint32_t format, std::uint32_t width, std::uint32_t height, std::uint32_t pitchBytes = 0) {
    const std::uint32_t bits = BufferFormatBits(format);
    const std::uint32_t line = (bits * width + 7) >> 3;
    d.format = format;
    d.width = width;
    d.height = height;
    d.bitsPerElement = bits;
    d.elementSize = BufferFormatElementSize(format);
    d.planes = 1;
    d.formatIndex = BufferFormatIndex(format);
    d.bytesPerLine = pitchBytes != 0 ? pitchBytes : line;
    d.pitch = d.bytesPerLine / d.elementSize;
    d.planeLines = height;
    memory.assign(std::size_t{d.bytesPerLine} * (height - 1) + line, std::byte{0xEE});
    d.dataAddress = d.blockAddress = reinterpret_cast<std::uint64_t>(memory.data());
  }
  std::byte* At(std::uint32_t x, std::uint32_t y) { return memory.data() + std::size_t{d.bytesPerLine} * y + x; }
  // Every byte of the lines gets a value of its position.
  void Fill(std::uint8_t seed = 0) {
    for (std::size_t i = 0; i < memory.size(); ++i) memory[i] = std::byte(static_cast<std::uint8_t>(i * 7 + seed));
  }
  BufferDescriptor d{};
  std::vector<std::byte> memory;
};

class BufferFiles : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return machine_.path(name); }
  plat::testing::ScopedMachine machine_;
};

TEST_F(BufferFiles, NativeFileHoldsMagicDescriptorAndLinesAndLoadsBack) {
  Image image(kBufferFormatMono16, 5, 3, 16);  // lines padded from 10 to 16 bytes
  image.Fill();
  const std::string file = Path("a.krv");
  ASSERT_EQ(BufferSaveRaw(&image.d, file.c_str()), kBufferFileOk);
  const std::string bytes = read_file(file);
  ASSERT_EQ(bytes.size(), 4u + 196u + 3u * 10u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("KRV\x1A"));
  EXPECT_EQ(std::memcmp(bytes.data() + 4, &image.d, sizeof image.d), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + 200 + 10, image.At(0, 1), 10), 0);

  Image back(kBufferFormatMono16, 5, 3, 16);
  ASSERT_EQ(BufferLoadRaw(&back.d, file.c_str()), kBufferFileOk);
  for (std::uint32_t y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(back.At(0, y), image.At(0, y), 10), 0) << y;
  // The padding between lines is not the file's.
  EXPECT_EQ(*back.At(12, 0), std::byte{0xEE});

  BufferDescriptor header{};
  ASSERT_EQ(BufferLoadRawHeader(file.c_str(), &header), kBufferFileOk);
  EXPECT_EQ(header.width, 5u);
  EXPECT_EQ(header.height, 3u);
  EXPECT_EQ(header.format, kBufferFormatMono16);
  EXPECT_EQ(header.elementSize, 2u);
}

TEST_F(BufferFiles, NativeLoadTakesTheLeftPartOfLongerLinesAndStopsAtTheFilesEnd) {
  Image wide(kBufferFormatMono8, 8, 4);
  wide.Fill();
  const std::string file = Path("wide.krv");
  ASSERT_EQ(BufferSaveRaw(&wide.d, file.c_str()), kBufferFileOk);

  Image narrow(kBufferFormatMono8, 3, 5);
  ASSERT_EQ(BufferLoadRaw(&narrow.d, file.c_str()), kBufferFileOk);
  for (std::uint32_t y = 0; y < 4; ++y) EXPECT_EQ(std::memcmp(narrow.At(0, y), wide.At(0, y), 3), 0) << y;
  // The file has four lines: the fifth stays as it was.
  EXPECT_EQ(*narrow.At(0, 4), std::byte{0xEE});

  Image wider(kBufferFormatMono8, 10, 2);
  ASSERT_EQ(BufferLoadRaw(&wider.d, file.c_str()), kBufferFileOk);
  EXPECT_EQ(std::memcmp(wider.At(0, 1), wide.At(0, 1), 8), 0);
  EXPECT_EQ(*wider.At(8, 1), std::byte{0xEE});
}

TEST_F(BufferFiles, NativeRefusals) {
  Image mono8(kBufferFormatMono8, 4, 2);
  mono8.Fill();
  const std::string file = Path("m8.krv");
  ASSERT_EQ(BufferSaveRaw(&mono8.d, file.c_str()), kBufferFileOk);

  Image rgb(kBufferFormatRgb565, 4, 2);
  const std::vector<std::byte> before = rgb.memory;
  EXPECT_EQ(BufferLoadRaw(&rgb.d, file.c_str()), kBufferFileFormatDiffers);
  EXPECT_EQ(rgb.memory, before);

  write_file(Path("bad.krv"), "KRV\x1B" + std::string(196, '\0'));
  EXPECT_EQ(BufferLoadRaw(&mono8.d, Path("bad.krv").c_str()), kBufferFileBadRead);
  write_file(Path("short.krv"), "KRV\x1A" + std::string(100, '\0'));
  BufferDescriptor header{};
  EXPECT_EQ(BufferLoadRawHeader(Path("short.krv").c_str(), &header), kBufferFileBadRead);
  EXPECT_EQ(BufferLoadRaw(&mono8.d, Path("missing.krv").c_str()), kBufferFileCannotOpen);
  EXPECT_EQ(BufferSaveRaw(&mono8.d, Path("no/such/folder/x.krv").c_str()), kBufferFileCannotCreate);
  EXPECT_EQ(BufferFileUnsupported(&mono8.d, file.c_str()), kBufferFileUnsupported);
}

TEST_F(BufferFiles, NativeFilesOfTwelveBitFormatsStayInsideTheirLines) {
  Image y411(kBufferFormatY411, 8, 3);  // 12 bytes a line in memory, 16 in the file
  y411.Fill();
  const std::string file = Path("y411.krv");
  ASSERT_EQ(BufferSaveRaw(&y411.d, file.c_str()), kBufferFileOk);
  EXPECT_EQ(read_file(file).size(), 200u + 3u * 16u);
  Image back(kBufferFormatY411, 8, 3);
  ASSERT_EQ(BufferLoadRaw(&back.d, file.c_str()), kBufferFileOk);
  EXPECT_EQ(back.memory, y411.memory);
}

// Little-endian fields of a file.
std::uint32_t U32(const std::string& bytes, std::size_t at) {
  std::uint32_t value;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}
std::uint16_t U16(const std::string& bytes, std::size_t at) {
  std::uint16_t value;
  std::memcpy(&value, bytes.data() + at, 2);
  return value;
}

struct BmpCase {
  std::uint32_t format;
  std::uint16_t bitCount;
  std::uint32_t compression;
  std::uint32_t coloursUsed;
  std::uint32_t dataOffset;
  std::uint32_t redMask;
};

TEST_F(BufferFiles, BmpSaveWritesTheHeadersOfEachFormat) {
  const BmpCase cases[] = {
      {kBufferFormatMono8, 8, 0, 256, 1078, 0},
      {kBufferFormatInt8, 8, 0, 256, 1078, 0},
      {kBufferFormatRgb101010, 32, 3, 3, 66, 0x3FF00000},
      {kBufferFormatRgb8888, 32, 3, 3, 66, 0xFF0000},
      {kBufferFormatRgb888, 24, 0, 0, 54, 0},
      {kBufferFormatRgb565, 16, 3, 3, 66, 0xF800},
      {kBufferFormatRgb5551, 16, 3, 3, 66, 0x7C00},
  };
  for (const BmpCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.format));
    Image image(c.format, 6, 2);
    image.Fill();
    const std::string file = Path("h.bmp");
    ASSERT_EQ(BufferSaveBmp(&image.d, file.c_str()), kBufferFileOk);
    const std::string bytes = read_file(file);
    const std::uint32_t row = c.bitCount / 8 * 4;  // width 6 written as 4
    ASSERT_EQ(bytes.size(), c.dataOffset + 2 * row);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(U32(bytes, 2), 0u);
    EXPECT_EQ(U32(bytes, 10), c.dataOffset);
    EXPECT_EQ(U32(bytes, 14), 40u);
    EXPECT_EQ(U32(bytes, 18), 4u);
    EXPECT_EQ(U32(bytes, 22), 2u);
    EXPECT_EQ(U16(bytes, 26), 1u);
    EXPECT_EQ(U16(bytes, 28), c.bitCount);
    EXPECT_EQ(U32(bytes, 30), c.compression);
    EXPECT_EQ(U32(bytes, 34), 2 * row);
    EXPECT_EQ(U32(bytes, 46), c.coloursUsed);
    if (c.compression == 3) {
      EXPECT_EQ(U32(bytes, 54), c.redMask);
    }
    if (c.coloursUsed == 256) {
      EXPECT_EQ(U32(bytes, 54 + 4 * 200), 0x00C8C8C8u);
    }
    // Rows bottom-up.
    EXPECT_EQ(std::memcmp(bytes.data() + c.dataOffset, image.At(0, 1), row), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + c.dataOffset + row, image.At(0, 0), row), 0);
  }
}

TEST_F(BufferFiles, BmpOfA642WideRgb888BufferIs640WideAndLoadsBack) {
  Image image(kBufferFormatRgb888, 642, 3);
  image.Fill();
  const std::string file = Path("wide.bmp");
  ASSERT_EQ(BufferSaveBmp(&image.d, file.c_str()), kBufferFileOk);
  EXPECT_EQ(U32(read_file(file), 18), 640u);

  Image back(kBufferFormatRgb888, 642, 3);
  ASSERT_EQ(BufferLoadBmp(&back.d, file.c_str()), kBufferFileOk);
  for (std::uint32_t y = 0; y < 3; ++y) {
    EXPECT_EQ(std::memcmp(back.At(0, y), image.At(0, y), 640 * 3), 0) << y;
    EXPECT_EQ(*back.At(640 * 3, y), std::byte{0xEE});  // the two right columns were not saved
  }
}

TEST_F(BufferFiles, BmpWithMoreRowsThanTheBufferKeepsTheImagesTopRows) {
  Image tall(kBufferFormatMono8, 4, 6);
  tall.Fill();
  const std::string file = Path("tall.bmp");
  ASSERT_EQ(BufferSaveBmp(&tall.d, file.c_str()), kBufferFileOk);
  Image short_(kBufferFormatMono8, 8, 2);
  ASSERT_EQ(BufferLoadBmp(&short_.d, file.c_str()), kBufferFileOk);
  EXPECT_EQ(std::memcmp(short_.At(0, 0), tall.At(0, 0), 4), 0);
  EXPECT_EQ(std::memcmp(short_.At(0, 1), tall.At(0, 1), 4), 0);
  EXPECT_EQ(*short_.At(4, 0), std::byte{0xEE});
}

TEST_F(BufferFiles, BmpSaveOfAnotherFormatAnswers70AndCreatesNoFile) {
  Image mono16(kBufferFormatMono16, 4, 2);
  const std::string file = Path("m16.bmp");
  EXPECT_EQ(BufferSaveBmp(&mono16.d, file.c_str()), kBufferFileUnsupported);
  EXPECT_FALSE(std::filesystem::exists(file));
}

// A BMP file of a header and some rows, with fields changed by the case.
std::string Bmp(std::int32_t width, std::int32_t height, std::uint16_t bits, std::uint32_t compression,
                std::uint32_t colours, std::size_t dataBytes) {
  std::string bytes(54, '\0');
  bytes[0] = 'B';
  bytes[1] = 'M';
  auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); };
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  bytes[26] = 1;
  std::memcpy(bytes.data() + 28, &bits, 2);
  put32(30, compression);
  put32(46, colours);
  return bytes + std::string(dataBytes, '\x5A');
}

TEST_F(BufferFiles, HostileOrTruncatedBmpHeadersAreRefused) {
  struct Case {
    const char* name;
    std::string contents;
    std::uint32_t status;
  };
  const Case cases[] = {
      {"empty file", "", kBufferFileNotBmp},
      {"no signature", "XY" + std::string(60, '\0'), kBufferFileNotBmp},
      {"truncated information header", Bmp(4, 2, 24, 0, 0, 0).substr(0, 30), kBufferFileBadRead},
      {"width 0", Bmp(0, 2, 24, 0, 0, 64), kBufferFileBadRead},
      {"negative width", Bmp(-4, 2, 24, 0, 0, 64), kBufferFileBadRead},
      {"top-down rows", Bmp(4, -2, 24, 0, 0, 64), kBufferFileBadRead},
      {"run-length compression", Bmp(4, 2, 8, 1, 0, 2000), kBufferFileBadRead},
      {"bit fields of 24 bits", Bmp(4, 2, 24, 3, 0, 64), kBufferFileBadRead},
      {"4 bits", Bmp(4, 2, 4, 0, 0, 200), kBufferFileBadRead},
      {"64 bits", Bmp(4, 2, 64, 0, 0, 200), kBufferFileBadRead},
      {"rows missing", Bmp(4, 2, 24, 0, 0, 13), kBufferFileBadRead},
      {"huge width", Bmp(0x7FFFFFFF, 2, 32, 0, 0, 64), kBufferFileBadRead},
      {"huge height", Bmp(4, 0x7FFFFFFF, 32, 0, 0, 64), kBufferFileBadRead},
      {"huge palette", Bmp(4, 2, 8, 0, 0xFFFFFFFF, 64), kBufferFileBadRead},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(Path("x.bmp"), c.contents);
    Image image(kBufferFormatRgb888, 4, 2);
    EXPECT_EQ(BufferLoadBmp(&image.d, Path("x.bmp").c_str()), c.status);
  }
  // A file that is whole loads.
  write_file(Path("ok.bmp"), Bmp(4, 2, 24, 0, 0, 24));
  Image image(kBufferFormatRgb888, 4, 2);
  EXPECT_EQ(BufferLoadBmp(&image.d, Path("ok.bmp").c_str()), kBufferFileOk);
  EXPECT_EQ(*image.At(0, 0), std::byte{0x5A});
  EXPECT_EQ(BufferLoadBmp(&image.d, Path("none.bmp").c_str()), kBufferFileCannotOpen);
}

}  // namespace
