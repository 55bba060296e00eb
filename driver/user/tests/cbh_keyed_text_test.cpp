// The keyed text form of firmware headers, in the registry and in the
// options file.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>

#include "cbh_test_support.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/environment.h"
#include "qellib/QelWinOptions.h"
#include "qellib/QelWinRegistry.h"

namespace {

constexpr const char* kVariable = "YATFOLVA4XDIR";
constexpr const char* kOptionsFile = "Yat_Tramond-CL_RZ6_Config.ini";
constexpr const char* kKey = "Software\\Habrix\\Tramond-CL_RZ6\\Board 0\\XIO Firmware";

// Parameter: true for the options file, false for the registry.
class CbhKeyedTextTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      std::filesystem::create_directories(machine_.path("drives/c/Habrix/Driver"));
      plat::set_environment_variable(kVariable, "C:\\Habrix\\Driver");
      ASSERT_EQ(SetConfigPathName(nullptr, kVariable, kOptionsFile, 1), QELHW_OK);
    } else {
      ASSERT_EQ(SetConfigPathName(nullptr, nullptr, nullptr, 0), QELHW_OK);
    }
  }
  void TearDown() override {
    plat::set_environment_variable(kVariable, nullptr);
    SetConfigPathName(nullptr, nullptr, nullptr, 0);
  }
  std::string ReadString(const char* name) {
    std::array<char, 300> text{};
    std::uint32_t size = text.size() - 1;
    EXPECT_EQ(QelWinReadRegistry(3, kKey, name, kQelWinTypeString, text.data(), &size), QELHW_OK);
    return text.data();
  }
  std::uint32_t ReadNumber(const char* name) {
    std::uint32_t value = 0, size = 4;
    EXPECT_EQ(QelWinReadRegistry(3, kKey, name, kQelWinTypeDword, &value, &size), QELHW_OK);
    return value;
  }

  plat::testing::ScopedMachine machine_;
};

TEST_P(CbhKeyedTextTest, HeaderRoundTripsThroughTheKeyedForm) {
  const CbhHeader header = cbh_test::SampleHeader();
  ASSERT_EQ(Cbh_WriteHeaderInfo(kKey, &header), QELHW_OK);
  EXPECT_EQ(ReadString("Creation Date"), "2022/03/09 14:30");
  EXPECT_EQ(ReadString("Modify Date"), "2023/04/11 08:45");
  EXPECT_EQ(ReadString("Product Version"), "2.5.1.17");
  EXPECT_EQ(ReadNumber("Component ID"), 2u);
  EXPECT_EQ(ReadNumber("Product ID"), 9472u);
  EXPECT_EQ(ReadNumber("Option Bit"), 0x80000041u);
  EXPECT_EQ(ReadString("Comment"), "XIO firmware for tests");
  if (GetParam()) {
    const std::string ini = plat::testing::read_file(machine_.path("drives/c/Habrix/Driver/") + kOptionsFile);
    EXPECT_NE(ini.find("Firmware ID=0x00002270"), std::string::npos) << ini;
  }

  CbhHeader read;
  std::memset(&read, 0xEE, sizeof read);
  ASSERT_EQ(Cbh_ReadHeaderInfo(kKey, &read, nullptr, 0), QELHW_OK);
  EXPECT_EQ(std::memcmp(&read, &header, sizeof read), 0);
}

TEST_P(CbhKeyedTextTest, StoredFileNameAndHeaderComeBackFromAFile) {
  mkfirmware::FirmwareRecipe recipe = cbh_test::SampleRecipe();
  recipe.form = mkfirmware::FirmwareForm::kRecord;  // the stored header is the one built from the record
  const std::string path = machine_.path("xio.cbn");
  std::string error;
  ASSERT_TRUE(mkfirmware::write_firmware_file(path, recipe, &error)) << error;
  ASSERT_EQ(Cbh_StoreFileHeader(kKey, path.c_str()), QELHW_OK);

  CbhHeader fromFile;
  ASSERT_EQ(Cbh_ReadHeaderFromFile(path.c_str(), &fromFile), QELHW_OK);
  CbhHeader stored;
  std::array<char, 300> name;
  name.fill('x');
  ASSERT_EQ(Cbh_ReadHeaderInfo(kKey, &stored, name.data(), name.size()), QELHW_OK);
  EXPECT_EQ(std::memcmp(&stored, &fromFile, sizeof stored), 0);
  EXPECT_EQ(std::string(name.data()), path);

  // A short name buffer gets a cut, terminated name.
  std::array<char, 8> shortName;
  ASSERT_EQ(Cbh_ReadHeaderInfo(kKey, nullptr, shortName.data(), shortName.size()), QELHW_OK);
  EXPECT_EQ(std::string(shortName.data()), path.substr(0, 7));
}

TEST_P(CbhKeyedTextTest, AKeyWithoutHeaderReadsAsAHeaderWithoutMagic) {
  std::array<std::uint8_t, 186> header;
  header.fill(0xEE);
  ASSERT_EQ(Cbh_ReadHeaderInfo("Software\\Habrix\\Nothing Here", header.data(), nullptr, 0), QELHW_OK);
  EXPECT_FALSE(Cbh_IsValid(header.data(), 186));
  std::uint32_t size;
  std::memcpy(&size, header.data() + 11, 4);
  EXPECT_EQ(size, 186u);
  EXPECT_EQ(header[58], 0);
  EXPECT_EQ(Cbh_ReadHeaderInfo(nullptr, header.data(), nullptr, 0), QELHW_ERROR_NULL_PTR);
  EXPECT_EQ(Cbh_WriteHeaderInfo(kKey, nullptr), QELHW_ERROR_NULL_PTR);
  EXPECT_EQ(Cbh_StoreFileHeader(kKey, machine_.path("missing.cbn").c_str()), QELHW_ERROR_FILE_OPEN);
}

INSTANTIATE_TEST_SUITE_P(Stores, CbhKeyedTextTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("OptionsFile") : std::string("Registry");
                         });

}  // namespace
