// The options file that stands in for the registry: any text read as the
// options file of the board library, through the typed reads, the key lists,
// the firmware descriptions kept in it as keyed text, and the profile reads
// below them with their list forms.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/user/Cbh.h"
#include "platform/win/environment.h"
#include "platform/win/profile.h"
#include "qellib/QelWinOptions.h"
#include "qellib/QelWinRegistry.h"
#include "robustness/fuzz/FuzzSupport.h"
#include "tools/mkfirmware/firmware_file.h"

namespace {

using fuzz_support::SeedFile;

constexpr const char* kVariable = "YATFOLVA4XDIR";
constexpr const char* kFileName = "Yat_Tramond-CL_RZ6_Config.ini";
constexpr const char* kFirmwareKey = "Software\\Habrix\\Tramond-CL_RZ6\\Board 0\\XIO Firmware";
constexpr const char* kBoardKey = "Software\\Habrix\\Tramond-CL_RZ6\\Board 0";
constexpr const char* kNames[] = {"Firmware ID", "Comment", "FileName", "Creation Date", "Path", ""};

std::string OptionsPath() { return fuzz_support::Machine() + "/" + kFileName; }

void UseOptionsFile() {
  plat::set_environment_variable(kVariable, fuzz_support::Machine().c_str());
  SetConfigPathName(nullptr, kVariable, kFileName, 1);
}

void ReadTyped() {
  for (const char* key : {kFirmwareKey, kBoardKey, "", "\\"}) {
    for (const char* name : kNames) {
      std::uint32_t number = 0, size = sizeof number;
      QelWinReadRegistry(kQelWinRootLocalMachine, key, name, kQelWinTypeDword, &number, &size);
      std::array<char, 300> text{};
      size = 7;
      QelWinReadRegistry(kQelWinRootLocalMachine, key, name, kQelWinTypeString, text.data(), &size);
      size = static_cast<std::uint32_t>(text.size());
      QelWinReadRegistry(kQelWinRootCurrentUser, key, name, kQelWinTypeString, text.data(), &size);
    }
    std::array<char, 256> names{};
    std::uint32_t count = 0;
    QelWinEnumKeys(kQelWinRootLocalMachine, key, &count, names.data(), static_cast<std::uint32_t>(names.size()));
    QelWinEnumKeys(kQelWinRootLocalMachine, key, &count, names.data(), 3);
  }
}

void ReadProfile() {
  const std::string path = OptionsPath();
  std::array<char, 128> out{};
  plat::get_private_profile_string(nullptr, nullptr, "", out.data(), static_cast<std::uint32_t>(out.size()),
                                   path.c_str());
  plat::get_private_profile_string("HKEY_LOCAL_MACHINE\\Software", nullptr, "x", out.data(), 5, path.c_str());
  plat::get_private_profile_int("HKEY_LOCAL_MACHINE\\Software", "Firmware ID", -1, path.c_str());
}

void ReadKeyed() {
  std::array<std::uint8_t, kCbhHeaderSize> header{};
  std::array<char, 300> fileName{};
  Cbh_ReadHeaderInfo(kFirmwareKey, header.data(), fileName.data(), static_cast<std::uint32_t>(fileName.size()));
  Cbh_ReadHeaderInfo(kFirmwareKey, header.data(), fileName.data(), 3);
}

// The options files the board library writes: a firmware description and a file name.
std::vector<SeedFile> Seeds() {
  UseOptionsFile();
  mkfirmware::FirmwareRecipe recipe = mkfirmware::default_firmware_recipe(plat::board::FpgaKind::kXio);
  recipe.comment = "XIO firmware";
  const CbhHeader header = mkfirmware::make_firmware_header(recipe, mkfirmware::make_firmware_image(recipe));
  Cbh_WriteHeaderInfo(kFirmwareKey, &header);
  const char* file = "<TARGETDIR>\\Firmware\\xio.cbf";
  QelWinWriteRegistry(kQelWinRootLocalMachine, kFirmwareKey, "FileName", kQelWinTypeString, file,
                      static_cast<std::uint32_t>(std::strlen(file) + 1));
  std::uint32_t number = 7;
  QelWinWriteRegistry(kQelWinRootLocalMachine, kBoardKey, "Path", kQelWinTypeDword, &number, sizeof number);
  std::FILE* in = std::fopen(OptionsPath().c_str(), "rb");
  std::vector<std::uint8_t> bytes;
  for (int c; in != nullptr && (c = std::fgetc(in)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
  if (in != nullptr) std::fclose(in);
  return {{"written-by-the-library", bytes}};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::Machine();
  fuzz_support::WriteSeedsIfAsked(Seeds);
  UseOptionsFile();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::WriteMachineFile(kFileName, std::span(data, size));
  ReadTyped();
  ReadProfile();
  ReadKeyed();
  return 0;
}
