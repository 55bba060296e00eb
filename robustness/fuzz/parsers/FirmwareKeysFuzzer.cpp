// Firmware descriptions kept as keyed text in the registry: any values under
// the description's names, of either type, read back as a header.
//
// An input is a list of entries: u8 name (modulo the names), u8 type (even: a
// number, odd: text), u8 length, then that many bytes (the number's bytes, or
// the text, cut at its first zero).
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "driver/user/Cbh.h"
#include "qellib/QelWinOptions.h"
#include "platform/win/registry.h"
#include "qellib/QelWinRegistry.h"
#include "robustness/fuzz/FuzzSupport.h"

namespace {

using fuzz_support::SeedFile;

constexpr const char* kKey = "Software\\Habrix\\Tramond-CL_RZ6\\Board 0\\Main Firmware";
constexpr const char* kNames[] = {
    CbhKeyedText::kFileName,     CbhKeyedText::kHeaderVersion,  CbhKeyedText::kCreationDate,
    CbhKeyedText::kModifyDate,   CbhKeyedText::kProductVersion, CbhKeyedText::kProductId,
    CbhKeyedText::kComponentId,  CbhKeyedText::kCompatibilityVersion, CbhKeyedText::kFirmwareId,
    CbhKeyedText::kFirmwareChecksum, CbhKeyedText::kFirmwareSize, CbhKeyedText::kOptionBit,
    CbhKeyedText::kComment};
constexpr std::uint32_t kRoot = CbhKeyedText::kRoot;

void Store(std::uint8_t name, std::uint8_t type, std::span<const std::uint8_t> value) {
  const char* valueName = kNames[name % std::size(kNames)];
  if (type % 2 == 0) {
    std::uint32_t number = 0;
    std::memcpy(&number, value.data(), std::min(value.size(), sizeof number));
    QelWinWriteRegistry(kRoot, kKey, valueName, kQelWinTypeDword, &number, sizeof number);
    return;
  }
  const std::string text(reinterpret_cast<const char*>(value.data()), value.size());
  QelWinWriteRegistry(kRoot, kKey, valueName, kQelWinTypeString, text.c_str(),
                      static_cast<std::uint32_t>(std::strlen(text.c_str()) + 1));
}

void Entry(std::vector<std::uint8_t>& out, std::uint8_t name, std::uint8_t type, const void* value, std::uint8_t size) {
  out.push_back(name);
  out.push_back(type);
  out.push_back(size);
  const auto* p = static_cast<const std::uint8_t*>(value);
  out.insert(out.end(), p, p + size);
}

std::vector<SeedFile> Seeds() {
  std::vector<std::uint8_t> text;
  const std::pair<std::uint8_t, const char*> strings[] = {
      {0, "C:\\Habrix\\Firmware\\main.cbf"}, {2, "2022/03/09 14:30"}, {3, "2023/04/11 08:45"},
      {4, "2.5.1.17"}, {12, "main firmware"}};
  for (const auto& [name, value] : strings)
    Entry(text, name, 1, value, static_cast<std::uint8_t>(std::strlen(value)));
  const std::pair<std::uint8_t, std::uint32_t> numbers[] = {{1, 5}, {5, 9472}, {6, 2}, {7, 3},
                                                            {8, 0x2270}, {9, 0x1234567}, {10, 1000}, {11, 0x80000041}};
  for (const auto& [name, value] : numbers) Entry(text, name, 0, &value, sizeof value);
  return {{"a-whole-description", text}};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::Machine();
  fuzz_support::WriteSeedsIfAsked(Seeds);
  SetConfigPathName(nullptr, nullptr, nullptr, 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> in(data, size);
  for (std::size_t at = 0; at + 3 <= in.size();) {
    const std::size_t length = std::min<std::size_t>(in[at + 2], in.size() - at - 3);
    Store(in[at], in[at + 1], in.subspan(at + 3, length));
    at += 3 + length;
  }
  std::array<std::uint8_t, kCbhHeaderSize> header{};
  std::array<char, 300> fileName{};
  Cbh_ReadHeaderInfo(kKey, header.data(), fileName.data(), static_cast<std::uint32_t>(fileName.size()));
  Cbh_ReadHeaderInfo(kKey, header.data(), fileName.data(), 1);
  // The next input starts from no description at all.
  plat::RegistryKey* key = nullptr;
  if (plat::reg_open_key(plat::RegistryRoot::kLocalMachine, kKey, &key) != 0) return 0;
  for (const char* name : kNames) plat::reg_delete_value(key, name);
  plat::reg_close_key(key);
  return 0;
}
