// Firmware headers read from files made by the firmware-file tool, the
// display text, and files that are refused.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cbh_test_support.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"

namespace {

using cbh_test::SampleRecipe;

class CbhFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = machine_.path(name);
    plat::testing::write_file(path, std::string(bytes.begin(), bytes.end()));
    return path;
  }
  std::string Make(const std::string& name, mkfirmware::FirmwareForm form, bool corrupt = false) {
    mkfirmware::FirmwareRecipe recipe = SampleRecipe();
    recipe.form = form;
    recipe.corrupt = corrupt;
    return Write(name, mkfirmware::make_firmware_file(recipe));
  }
  static std::vector<std::uint8_t> Content(const std::string& path) {
    const std::string text = plat::testing::read_file(path);
    return {text.begin(), text.end()};
  }

  plat::testing::ScopedMachine machine_;
};

std::string FirmwareSizeLine(std::uint32_t size) {
  char line[40];
  std::snprintf(line, sizeof line, "Firmware Size: 0x%08X\r", size);
  return line;
}

TEST_F(CbhFileTest, HeaderFileReadsBackAndCarriesAValidBitstream) {
  const std::string path = Make("xio.cbn", mkfirmware::FirmwareForm::kHeader);
  std::array<std::uint8_t, 256> buffer{};
  std::uint32_t size = 0, form = 0;
  ASSERT_EQ(Cbh_ReadFromFile(path.c_str(), buffer.data(), buffer.size(), &size, &form), QELHW_OK);
  EXPECT_EQ(size, 186u);
  EXPECT_EQ(form, 2u);

  const CbhHeader expected = cbh_test::SampleHeader();
  CbhHeader header;
  ASSERT_EQ(Cbh_ReadHeaderFromFile(path.c_str(), &header), QELHW_OK);
  EXPECT_EQ(std::memcmp(&header, &expected, sizeof header), 0);

  const std::vector<std::uint8_t> file = Content(path);
  ASSERT_EQ(file.size(), 186u + header.firmwareSize);
  const std::span<const std::uint8_t> image(file.data() + 186, header.firmwareSize);
  plat::board::BitstreamDesign design;
  EXPECT_EQ(plat::board::bitstream_validate(image, plat::board::FpgaKind::kXio, &design),
            plat::board::BitstreamError::kNone);
  EXPECT_EQ(design.design_id, 0x001u);
  EXPECT_EQ(design.design_version, 0x02050111u);  // 2.5.1.17
}

TEST_F(CbhFileTest, DisplayTextOfAHeaderFile) {
  const std::string path = Make("xio.cbn", mkfirmware::FirmwareForm::kHeader);
  std::array<char, 512> text;
  ASSERT_EQ(Cbh_FormatFileVersionInfo(path.c_str(), text.data(), text.size()), QELHW_OK);
  const std::uint32_t size = cbh_test::SampleHeader().firmwareSize;
  EXPECT_EQ(std::string(text.data()),
            "XIO firmware for tests\rVersion: 2.05.01.0017\rCreated: 2022/03/09 14:30\r"
            "Modified: 2023/04/11 08:45\rFirmware ID: 0x2270\rCompatibility Version: 3\r"
            "Option: 0x80000041\r" + FirmwareSizeLine(size));

  // A short output is cut and terminated.
  std::array<char, 10> small;
  ASSERT_EQ(Cbh_FormatFileVersionInfo(path.c_str(), small.data(), small.size()), QELHW_OK);
  EXPECT_STREQ(small.data(), "XIO firmw");
}

TEST_F(CbhFileTest, RecordFileReadsAsAHeaderBuiltFromTheRecord) {
  const std::string path = Make("xio-record.cbn", mkfirmware::FirmwareForm::kRecord);
  std::array<std::uint8_t, 256> buffer{};
  std::uint32_t size = 0, form = 0;
  ASSERT_EQ(Cbh_ReadFromFile(path.c_str(), buffer.data(), buffer.size(), &size, &form), QELHW_OK);
  EXPECT_EQ(size, 92u);
  EXPECT_EQ(form, 1u);

  CbhHeader header;
  ASSERT_EQ(Cbh_ReadHeaderFromFile(path.c_str(), &header), QELHW_OK);
  EXPECT_EQ(+header.headerVersion, 1);
  EXPECT_EQ(+header.headerSize, 186u);
  EXPECT_EQ(+header.modifyDate.year, 0);
  EXPECT_EQ(+header.optionBits, 0x41u);  // the record keeps 16 bits
  EXPECT_STREQ(header.comment, "XIO firmware for tests");

  std::array<char, 512> text;
  ASSERT_EQ(Cbh_FormatFileVersionInfo(path.c_str(), text.data(), text.size()), QELHW_OK);
  EXPECT_EQ(std::string(text.data()),
            "XIO firmware for tests\rVersion: 2.05 Beta 1\rCreated: 2022/03/09 14:30\r"
            "Compatibility Version: 0\rOption: 0x41\r" + FirmwareSizeLine(header.firmwareSize));
}

TEST_F(CbhFileTest, VersionTextsOfRecords) {
  const struct {
    std::uint16_t version;
    const char* text;
  } cases[] = {{1234, "Version: 1.23 Beta 4\r"}, {1230, "Version: 1.23\r"}, {5, "Version: 0.00 Beta 5\r"}};
  for (const auto& c : cases) {
    std::array<std::uint8_t, 256> buffer{};
    const CbhFlashRecord record = cbh_test::SampleRecord(c.version);
    std::memcpy(buffer.data(), &record, sizeof record);
    std::array<char, 512> text;
    ASSERT_EQ(Cbh_FormatVersionInfo(buffer.data(), text.data(), text.size()), QELHW_OK);
    EXPECT_NE(std::string(text.data()).find(c.text), std::string::npos) << text.data();
  }
}

TEST_F(CbhFileTest, FileWithHeaderAndRecordReadsAsHeader) {
  const std::string path = Make("both.cbf", mkfirmware::FirmwareForm::kHeaderAndRecord);
  CbhHeader header;
  ASSERT_EQ(Cbh_ReadHeaderFromFile(path.c_str(), &header), QELHW_OK);
  EXPECT_EQ(+header.firmwareId, 0x2270u);
  EXPECT_EQ(Content(path).size(), 186u + header.firmwareSize + 92u);
}

TEST_F(CbhFileTest, WindowsStylePathsReachTheMachineDrives) {
  std::filesystem::create_directories(machine_.path("drives/c/Habrix/Firmware"));
  Make("drives/c/Habrix/Firmware/xio.cbn", mkfirmware::FirmwareForm::kHeader);
  CbhHeader header;
  ASSERT_EQ(Cbh_ReadHeaderFromFile("C:\\Habrix\\Firmware\\XIO.CBN", &header), QELHW_OK);
  EXPECT_EQ(+header.componentId, 2);
}

TEST_F(CbhFileTest, CorruptFileKeepsItsHeaderButNotItsBitstream) {
  const std::string path = Make("bad.cbn", mkfirmware::FirmwareForm::kHeader, true);
  const std::vector<std::uint8_t> file = Content(path);
  std::uint32_t computed = 0, stored = 0;
  ASSERT_EQ(Cbh_ComputeChecksum(file.data(), static_cast<std::uint32_t>(file.size()), &computed), QELHW_OK);
  ASSERT_EQ(Cbh_GetChecksum(file.data(), 186, &stored), QELHW_OK);
  EXPECT_EQ(computed, stored);
  EXPECT_EQ(plat::board::bitstream_validate(std::span(file).subspan(186), plat::board::FpgaKind::kXio, nullptr),
            plat::board::BitstreamError::kCheck);
}

struct RefusedFile {
  const char* name;
  std::vector<std::uint8_t> bytes;
  QelHwStatus read_status;    // Cbh_ReadFromFile
  QelHwStatus header_status;  // Cbh_ReadHeaderFromFile
};

std::vector<std::uint8_t> HeaderWithSize(std::uint32_t size, std::size_t length) {
  std::vector<std::uint8_t> bytes(length, 0);
  std::memcpy(bytes.data(), "HABRIX_CBH", 10);
  std::memcpy(bytes.data() + 11, &size, 4);
  return bytes;
}

TEST_F(CbhFileTest, TruncatedAndForeignFilesAreRefused) {
  const std::vector<RefusedFile> cases = {
      {"empty", {}, QELHW_ERROR_FILE_READ, QELHW_ERROR_FILE_READ},
      {"five bytes", {1, 2, 3, 4, 5}, QELHW_ERROR_FILE_READ, QELHW_ERROR_FILE_READ},
      {"shorter than a record", std::vector<std::uint8_t>(50, 7), QELHW_ERROR_FILE_SEEK, QELHW_ERROR_FILE_SEEK},
      {"neither form", std::vector<std::uint8_t>(300, 7), QELHW_OK, QELHW_ERROR_ARG_INVALID},
      {"header cut short", HeaderWithSize(186, 40), QELHW_ERROR_FILE_READ, QELHW_ERROR_FILE_READ},
      {"header larger than 256", HeaderWithSize(1000, 1200), QELHW_ERROR_INSUFFICIENT_MEMORY,
       QELHW_ERROR_INSUFFICIENT_MEMORY},
  };
  for (const RefusedFile& c : cases) {
    const std::string path = Write("refused.bin", c.bytes);
    std::array<std::uint8_t, 256> buffer;
    buffer.fill(0xEE);
    std::uint32_t size = 77, form = 77;
    EXPECT_EQ(Cbh_ReadFromFile(path.c_str(), buffer.data(), buffer.size(), &size, &form), c.read_status) << c.name;
    EXPECT_EQ(size, 77u) << c.name;  // outputs untouched
    EXPECT_EQ(form, 77u) << c.name;
    EXPECT_EQ(buffer[0], 0xEE) << c.name;
    CbhHeader header;
    std::memset(&header, 0xEE, sizeof header);
    EXPECT_EQ(Cbh_ReadHeaderFromFile(path.c_str(), &header), c.header_status) << c.name;
    EXPECT_EQ(+header.headerSize, 0u) << c.name;  // cleared
  }
  const std::string foreign = Write("foreign.bin", std::vector<std::uint8_t>(300, 7));
  std::array<char, 64> text;
  EXPECT_EQ(Cbh_FormatFileVersionInfo(foreign.c_str(), text.data(), text.size()), QELHW_ERROR_DATA_INVALID_HEADER);
}

TEST_F(CbhFileTest, MissingFilesAndArguments) {
  std::array<std::uint8_t, 256> buffer{};
  std::uint32_t size = 0;
  EXPECT_EQ(Cbh_ReadFromFile(machine_.path("none.cbn").c_str(), buffer.data(), 256, &size, nullptr),
            QELHW_ERROR_FILE_OPEN);
  EXPECT_EQ(Cbh_ReadFromFile("", buffer.data(), 256, &size, nullptr), QELHW_ERROR_NULL_PTR);
  EXPECT_EQ(Cbh_ReadFromFile(nullptr, buffer.data(), 256, &size, nullptr), QELHW_ERROR_NULL_PTR);
  const std::string path = Make("xio.cbn", mkfirmware::FirmwareForm::kHeader);
  EXPECT_EQ(Cbh_ReadFromFile(path.c_str(), buffer.data(), 256, nullptr, nullptr), QELHW_ERROR_NULL_PTR);
  EXPECT_EQ(Cbh_ReadFromFile(path.c_str(), buffer.data(), 185, &size, nullptr), QELHW_ERROR_INSUFFICIENT_MEMORY);
  EXPECT_EQ(Cbh_ReadHeaderFromFile(path.c_str(), nullptr), QELHW_ERROR_NULL_PTR);
}

TEST_F(CbhFileTest, TheToolWritesFilesTheLibraryReads) {
  const std::string path = machine_.path("tool.cbf");
  plat::testing::ChildProcess tool("qel-mkfirmware",
                                   {"--fpga", "main", "--version", "1.2.3.4", "--product", "9472", "--comment",
                                    "main firmware", "--date", "2024/02/29 23:59", "--out", path});
  ASSERT_EQ(tool.wait(), 0);
  CbhHeader header;
  ASSERT_EQ(Cbh_ReadHeaderFromFile(path.c_str(), &header), QELHW_OK);
  EXPECT_EQ(+header.productVersion.major, 1);
  EXPECT_EQ(+header.productVersion.minor, 2);
  EXPECT_EQ(+header.productVersion.third, 3);
  EXPECT_EQ(+header.productVersion.build, 4);
  EXPECT_EQ(+header.productId, 9472u);
  EXPECT_EQ(+header.componentId, 1);
  EXPECT_EQ(+header.creationDate.year, 2024);
  EXPECT_EQ(+header.creationDate.minute, 59);
  EXPECT_STREQ(header.comment, "main firmware");
  const std::vector<std::uint8_t> file = Content(path);
  plat::board::BitstreamDesign design;
  EXPECT_EQ(plat::board::bitstream_validate(file, plat::board::FpgaKind::kMain, &design),
            plat::board::BitstreamError::kNone);
  EXPECT_EQ(design.design_id, 0x227u);

  plat::testing::ChildProcess bad("qel-mkfirmware", {"--fpga", "video", "--out", path});
  EXPECT_EQ(bad.wait(), 2);
}

}  // namespace
