// Firmware files and their descriptions: the 186-byte header and the 92-byte
// flash record read field by field from any bytes, a record turned into a
// header, sums and comparisons, display text, and the same bytes read back as
// a firmware file of each form.
#include <array>
#include <cstring>
#include <vector>

#include "driver/user/Cbh.h"
#include "robustness/fuzz/FuzzSupport.h"
#include "tools/mkfirmware/firmware_file.h"

namespace {

using fuzz_support::SeedFile;

void ReadFields(const std::uint8_t* data, std::uint32_t size) {
  std::array<char, 512> text{};
  std::array<std::uint8_t, 64> field{};
  std::uint32_t word = 0;
  using Word = QelHwStatus (*)(const void*, std::uint32_t, std::uint32_t*);
  for (Word read : {Cbh_GetHeaderSize, Cbh_GetChecksum, Cbh_GetFirmwareSize, Cbh_GetOptionBits, Cbh_GetFirmwareId,
                    Cbh_GetCompatibilityVersion, Cbh_GetComponentId, Cbh_GetProductId, Cbh_GetHeaderVersion,
                    Cbh_GetRecordWord1, Cbh_Record_GetHeaderSize, Cbh_Record_GetRecordWord1,
                    Cbh_Record_GetFirmwareSize, Cbh_Record_GetChecksum, Cbh_Record_GetOptionBits,
                    Cbh_Record_GetHeaderVersion, Cbh_Record_GetFirmwareId, Cbh_Record_GetCompatibilityVersion, Cbh_Check})
    read(data, size, &word);
  using Bytes = QelHwStatus (*)(const void*, std::uint32_t, void*, std::uint32_t);
  for (Bytes read : {Cbh_GetVersion, Cbh_GetCreationDate, Cbh_GetModifyDate, Cbh_Record_GetVersion,
                     Cbh_Record_GetCreationDate, Cbh_Record_GetModifyDate})
    read(data, size, field.data(), static_cast<std::uint32_t>(field.size()));
  Cbh_GetComment(data, size, text.data(), static_cast<std::uint32_t>(text.size()));
  Cbh_Record_GetComment(data, size, text.data(), 7);
  for (std::uint32_t id = 0; id < 24; ++id) Cbh_GetField(data, size, id, field.data(), 4 + id % 9);
}

void ReadForms(const std::uint8_t* data, std::uint32_t size) {
  std::uint32_t form = 0, formSize = 0, found = 0, sum = 0;
  const void* at = nullptr;
  Cbh_IsValid(data, size);
  Cbh_GetForm(data, size, &form, &formSize);
  Cbh_Locate(data, size, &at, &found, &form);
  const void* record = nullptr;
  if (Cbh_IsValidFlashRecord(data, size, &record)) {
    std::array<std::uint8_t, kCbhHeaderSize> header{};
    Cbh_BuildFromFlashRecord(record, header.data());
    ReadFields(header.data(), kCbhHeaderSize);
  }
  Cbh_ComputeChecksum(data, size, &sum);
  Cbh_ByteSum(data, size, &sum);
  Cbh_WordSum(data, size, &sum);
  const std::uint32_t half = size / 2;
  Cbh_CompareHeaders(data, half, data + half, size - half);
  if (size >= 2 * sizeof(CbhDate)) Cbh_CompareDates(data, data + sizeof(CbhDate));
}

void ReadAsFile(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz_support::WriteMachineFile("firmware.cbf", std::span(data, size));
  std::vector<std::uint8_t> buffer(4096);
  std::uint32_t read = 0, form = 0;
  Cbh_ReadFromFile(path.c_str(), buffer.data(), static_cast<std::uint32_t>(buffer.size()), &read, &form);
  Cbh_ReadFromFile(path.c_str(), buffer.data(), 100, &read, &form);
  std::array<std::uint8_t, kCbhHeaderSize> header{};
  Cbh_ReadHeaderFromFile(path.c_str(), header.data());
  Cbh_ReadHeaderFromFileEx(path.c_str(), header.data(), 64);
  std::array<char, 1024> text{};
  Cbh_FormatFileVersionInfo(path.c_str(), text.data(), static_cast<std::uint32_t>(text.size()));
  Cbh_FormatFileVersionInfo(path.c_str(), text.data(), 10);
}

// Display text takes a 256-byte buffer.
void Format(const std::uint8_t* data, std::size_t size) {
  std::array<std::uint8_t, 256> buffer{};
  if (size > 0) std::memcpy(buffer.data(), data, std::min(size, buffer.size()));
  std::array<char, 2048> text{};
  Cbh_FormatVersionInfo(buffer.data(), text.data(), static_cast<std::uint32_t>(text.size()));
  Cbh_FormatVersionInfo(buffer.data(), text.data(), 16);
}

std::vector<SeedFile> Seeds() {
  std::vector<SeedFile> seeds;
  const plat::board::FpgaKind kinds[] = {plat::board::FpgaKind::kXio, plat::board::FpgaKind::kMain};
  for (plat::board::FpgaKind kind : kinds) {
    mkfirmware::FirmwareRecipe recipe = mkfirmware::default_firmware_recipe(kind);
    recipe.payload_size = 600;
    recipe.comment = "firmware of the seeds";
    const std::vector<std::uint8_t> image = mkfirmware::make_firmware_image(recipe);
    const std::string stem = kind == plat::board::FpgaKind::kXio ? "xio" : "main";
    seeds.push_back({stem + "-file", mkfirmware::make_firmware_file(recipe)});
    seeds.push_back({stem + "-header", fuzz_support::BytesOf(mkfirmware::make_firmware_header(recipe, image))});
    const std::vector<std::uint8_t> record = fuzz_support::BytesOf(mkfirmware::make_firmware_record(recipe, image));
    seeds.push_back({stem + "-record", record});
    std::vector<std::uint8_t> trailing(image.begin(), image.begin() + 100);
    trailing.insert(trailing.end(), record.begin(), record.end());
    seeds.push_back({stem + "-record-at-end", trailing});
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
  // An exact copy, so that a read past the input is seen.
  const std::vector<std::uint8_t> bytes(data, data + size);
  const auto length = static_cast<std::uint32_t>(bytes.size());
  ReadForms(bytes.data(), length);
  ReadFields(bytes.data(), length);
  Format(bytes.data(), bytes.size());
  ReadAsFile(bytes.data(), bytes.size());
  return 0;
}
