#include <array>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/win/environment.h"
#include "qellib/QelWinOptions.h"
#include "qellib/QelWinRegistry.h"
#include "qellib_test_support.h"

namespace {

using qellib_test::LogLineWith;

constexpr const char* kVariable = "YATFOLVA4XDIR";
constexpr const char* kOptionsFile = "Yat_Tramond-CL_RZ6_Config.ini";
constexpr const char* kDriverDir = "C:\\Habrix\\Driver";
constexpr const char* kKey = "Software\\Marvanti Brenk\\Yat Tramond-CL RZ6 Device Driver";
constexpr std::uint32_t kRootFromBoardLibrary = 3;

class OptionsFileTest : public qellib_test::LoggedMachineTest {
 protected:
  void SetUp() override {
    LoggedMachineTest::SetUp();
    std::filesystem::create_directories(machine_.path("drives/c/Habrix/Driver"));
    plat::set_environment_variable(kVariable, kDriverDir);
    ASSERT_EQ(SetConfigPathName(nullptr, kVariable, kOptionsFile, 1), QELHW_OK);
  }
  void TearDown() override {
    plat::set_environment_variable(kVariable, nullptr);
    LoggedMachineTest::TearDown();
  }

  std::string OptionsText() {
    return plat::testing::read_file(machine_.path("drives/c/Habrix/Driver/") + kOptionsFile);
  }

  QelHwStatus ReadDword(std::uint32_t root, const char* value, std::uint32_t& out) {
    std::uint32_t size = sizeof out;
    return QelWinReadRegistry(root, kKey, value, kQelWinTypeDword, &out, &size);
  }
};

TEST_F(OptionsFileTest, DwordsAreWrittenAsHexTextAndReadBack) {
  std::uint32_t number = 0x1234;
  ASSERT_EQ(QelWinWriteRegistry(kRootFromBoardLibrary, kKey, "FirmwareCheck", kQelWinTypeDword,
                                &number, sizeof number),
            QELHW_OK);
  std::string text = OptionsText();
  EXPECT_NE(text.find(std::string("[HKEY_LOCAL_MACHINE\\") + kKey + "]"), std::string::npos)
      << text;
  EXPECT_NE(text.find("FirmwareCheck=0x00001234"), std::string::npos) << text;

  std::uint32_t read = 0;
  EXPECT_EQ(ReadDword(7, "FirmwareCheck", read), QELHW_OK);
  EXPECT_EQ(read, 0x1234u);
  read = 0xFFFFFFFF;
  EXPECT_EQ(ReadDword(kRootFromBoardLibrary, "NotThere", read), QELHW_OK);
  EXPECT_EQ(read, 0u);
  read = 0xFFFFFFFF;
  EXPECT_EQ(ReadDword(kQelWinRootUsers, "FirmwareCheck", read), QELHW_OK);
  EXPECT_EQ(read, 0u) << "another root is another section";
}

TEST_F(OptionsFileTest, TargetDirMarkerNamesTheDriverDirectory) {
  const char* written = "<TARGETDIR>\\Firmware\\Full.cbn";
  ASSERT_EQ(QelWinWriteRegistry(0, kKey, "FirmwareFile", kQelWinTypeString, written,
                                std::strlen(written) + 1),
            QELHW_OK);
  std::array<char, 64> text{};
  std::uint32_t size = text.size();
  ASSERT_EQ(QelWinReadRegistry(0, kKey, "FirmwareFile", kQelWinTypeString, text.data(), &size),
            QELHW_OK);
  EXPECT_STREQ(text.data(), "C:\\Habrix\\Driver\\Firmware\\Full.cbn");
  EXPECT_EQ(size, std::strlen(text.data()));

  // Too long once replaced: the text stays as stored.
  std::array<char, 32> small{};
  size = small.size();
  ASSERT_EQ(QelWinReadRegistry(0, kKey, "FirmwareFile", kQelWinTypeString, small.data(), &size),
            QELHW_OK);
  EXPECT_STREQ(small.data(), written);

  size = text.size();
  ASSERT_EQ(QelWinReadRegistry(0, kKey, "Missing", kQelWinTypeString, text.data(), &size),
            QELHW_OK);
  EXPECT_STREQ(text.data(), "");
  EXPECT_EQ(size, 0u);
}

TEST_F(OptionsFileTest, BadSizesAndTypesAreRefusedWithTheirLines) {
  std::uint32_t number = 1;
  std::uint32_t size = 3;
  EXPECT_EQ(QelWinReadRegistry(0, kKey, "X", kQelWinTypeDword, &number, &size),
            QELHW_ERROR_ARG_INVALID);
  EXPECT_FALSE(LogLineWith(", QelWinReadRegistry => output buffer too small").empty());
  EXPECT_EQ(QelWinWriteRegistry(0, kKey, "X", kQelWinTypeDword, &number, 2),
            QELHW_ERROR_ARG_INVALID);
  EXPECT_FALSE(LogLineWith(", QelWinWriteRegistry => output buffer two small").empty());

  size = sizeof number;
  EXPECT_EQ(QelWinReadRegistry(0, kKey, "X", kQelWinTypeBinary, &number, &size),
            QELHW_ERROR_NOT_SUPPORTED);
  EXPECT_EQ(QelWinReadRegistry(0, kKey, "X", 9, &number, &size), QELHW_ERROR_NOT_SUPPORTED);
  EXPECT_EQ(LogLineWith(", QelWinReadRegistry => Key type not supported (9)").rfind("L0 ", 0), 0u);
  EXPECT_EQ(QelWinWriteRegistry(0, kKey, "X", 9, &number, size), QELHW_ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(LogLineWith(", QelWinWriteRegistry => Key type not supported (9)").empty());
  EXPECT_EQ(QelWinReadRegistry(0, kKey, "X", kQelWinTypeDword, nullptr, &size),
            QELHW_ERROR_NULL_PTR);
  EXPECT_EQ(QelWinReadRegistry(0, kKey, "X", kQelWinTypeDword, &number, nullptr),
            QELHW_ERROR_NULL_PTR);
}

TEST_F(OptionsFileTest, KeyEnumerationListsTheSectionEntries) {
  std::uint32_t number = 5;
  QelWinWriteRegistry(0, kKey, "First", kQelWinTypeDword, &number, sizeof number);
  QelWinWriteRegistry(0, kKey, "Second", kQelWinTypeString, "text", 5);
  std::array<char, 64> names{};
  std::uint32_t count = 0;
  ASSERT_EQ(QelWinEnumKeys(0, kKey, &count, names.data(), names.size()), QELHW_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_STREQ(names.data(), "First");
  EXPECT_STREQ(names.data() + 6, "Second");
  EXPECT_EQ(QelWinEnumValues(0, kKey, &count, names.data(), names.size()),
            QELHW_ERROR_NOT_SUPPORTED);
}

TEST_F(OptionsFileTest, MissingVariableIsReported) {
  EXPECT_EQ(SetConfigPathName(nullptr, "QEL_NO_SUCH_VARIABLE", kOptionsFile, 1),
            QELHW_ERROR_RESOURCE_MISSING);
  std::string line =
      LogLineWith(", SetConfigPathName: Could not get Environment Variable 'QEL_NO_SUCH_VARIABLE' ");
  EXPECT_EQ(line.rfind("L0 ", 0), 0u) << line;
  // The label is the module's file name.
  EXPECT_NE(line.find(" qellib_tests, SetConfigPathName"), std::string::npos) << line;
  EXPECT_EQ(SetConfigPathName(nullptr, "", kOptionsFile, 1), QELHW_OK);
}

class RegistryTest : public qellib_test::LoggedMachineTest {
 protected:
  void SetUp() override {
    LoggedMachineTest::SetUp();
    ASSERT_EQ(SetConfigPathName(nullptr, nullptr, nullptr, 0), QELHW_OK);
  }
};

TEST_F(RegistryTest, ValuesRoundTripAndRootSevenIsLocalMachine) {
  std::uint32_t number = 0xCAFE;
  ASSERT_EQ(QelWinWriteRegistry(0, kKey, "Reboot On Reset", kQelWinTypeDword, &number, 4),
            QELHW_OK);
  std::uint32_t read = 0;
  std::uint32_t size = sizeof read;
  ASSERT_EQ(QelWinReadRegistry(7, kKey, "Reboot On Reset", kQelWinTypeDword, &read, &size),
            QELHW_OK);
  EXPECT_EQ(read, 0xCAFEu);
  ASSERT_EQ(ReadRegistryDword(plat::RegistryRoot::kLocalMachine, kKey, "Reboot On Reset", &read),
            QELHW_OK);
  EXPECT_EQ(read, 0xCAFEu);

  const std::array<std::uint8_t, 5> bytes{1, 2, 3, 4, 5};
  ASSERT_EQ(QelWinWriteRegistry(2, kKey, "Header", kQelWinTypeBinary, bytes.data(), bytes.size()),
            QELHW_OK);
  std::array<std::uint8_t, 5> back{};
  size = back.size();
  ASSERT_EQ(QelWinReadRegistry(2, kKey, "Header", kQelWinTypeBinary, back.data(), &size),
            QELHW_OK);
  EXPECT_EQ(back, bytes);
}

TEST_F(RegistryTest, MissingValueZeroesTheWholeOutput) {
  ASSERT_EQ(WriteRegistryDword(plat::RegistryRoot::kLocalMachine, kKey, "Present", 1), QELHW_OK);
  std::array<char, 16> text;
  text.fill('x');
  std::uint32_t size = text.size();
  ASSERT_EQ(QelWinReadRegistry(0, kKey, "Missing", kQelWinTypeString, text.data(), &size),
            QELHW_OK);
  EXPECT_EQ(text, (std::array<char, 16>{}));
  text.fill('x');
  ASSERT_EQ(ReadRegistryString(plat::RegistryRoot::kUsers, "No\\Such\\Key", "Missing", text.data(),
                               text.size()),
            QELHW_OK);
  EXPECT_EQ(text, (std::array<char, 16>{}));
}

TEST_F(RegistryTest, TypeAndSizeMismatchesAreRefused) {
  const auto root = plat::RegistryRoot::kLocalMachine;
  ASSERT_EQ(WriteRegistryString(root, kKey, "Name", "Full"), QELHW_OK);
  std::uint32_t number = 0;
  EXPECT_EQ(ReadRegistryDword(root, kKey, "Name", &number), QELHW_ERROR_ARG_INVALID);
  EXPECT_FALSE(LogLineWith(", ReadRegistryDword => Incompatible key type").empty());
  EXPECT_EQ(WriteRegistryDword(root, kKey, "Name", 1), QELHW_ERROR_ARG_INVALID);

  ASSERT_EQ(WriteRegistryDword(root, kKey, "Count", 1), QELHW_OK);
  EXPECT_EQ(WriteRegistryString(root, kKey, "Count", "1"), QELHW_ERROR_ARG_INVALID);
  EXPECT_FALSE(LogLineWith(", WriteRegistryString => Incompatible key type").empty());
  std::array<char, 8> text{};
  EXPECT_EQ(ReadRegistryString(root, kKey, "Count", text.data(), text.size()),
            QELHW_ERROR_ARG_INVALID);
  EXPECT_FALSE(LogLineWith(", ReadRegistryString => Incompatible key type").empty());

  // "Full" is stored with its terminator, 5 bytes: the output must be larger.
  EXPECT_EQ(ReadRegistryString(root, kKey, "Name", text.data(), 5), QELHW_ERROR_ARG_INVALID);
  EXPECT_FALSE(LogLineWith(", ReadRegistryString => Outbut buffer two smale").empty());
  EXPECT_EQ(ReadRegistryString(root, kKey, "Name", text.data(), 6), QELHW_OK);
  EXPECT_STREQ(text.data(), "Full");
}

TEST_F(RegistryTest, EnumerationListsSubkeysAndValues) {
  const auto root = plat::RegistryRoot::kLocalMachine;
  ASSERT_EQ(WriteRegistryDword(root, "Software\\Habrix\\A", "One", 1), QELHW_OK);
  ASSERT_EQ(WriteRegistryDword(root, "Software\\Habrix\\B", "Two", 2), QELHW_OK);
  ASSERT_EQ(WriteRegistryDword(root, "Software\\Habrix", "Three", 3), QELHW_OK);

  std::array<char, 32> names{};
  std::uint32_t count = 0;
  ASSERT_EQ(QelWinEnumKeys(0, "Software\\Habrix", &count, names.data(), names.size()), QELHW_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(std::string(names.data(), 4), std::string("A\0B\0", 4));
  ASSERT_EQ(QelWinEnumValues(0, "Software\\Habrix", &count, names.data(), names.size()),
            QELHW_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_STREQ(names.data(), "Three");
  EXPECT_EQ(QelWinEnumKeys(0, "Software\\Nothing", &count, names.data(), names.size()),
            QELHW_ERROR_REGISTRY_ACCESS);
  EXPECT_EQ(QelWinEnumKeys(0, "Software\\Habrix", &count, names.data(), 3),
            QELHW_ERROR_REGISTRY_ACCESS);
}

}  // namespace
