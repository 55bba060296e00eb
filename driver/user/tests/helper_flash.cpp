// A process that loads the board library and answers one line per command:
//   open
//   read B S OFF N            -> status and the N bytes in hex (extended interface slot 6)
//   write B S OFF HEX         -> status of the write with read-back compare (slot 7)
//   program B OFF SLOT PATH   -> status of programming a firmware file into the
//                                section at OFF with header slot SLOT, as the
//                                library's firmware update does it
//   header B SLOT             -> status and the slot's 186-byte header in hex
//   record B SLOT             -> status and a 92-byte record (pre-filled with 0xEE) in hex
//   verify B OFF SLOT         -> status of checking the section at OFF against its slot's header
//   exit
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/CbhRecords.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatExtendedInterface.h"
#include "driver/user/YatFlash.h"
#include "driver/user/tests/helper_support.h"

// The header-slot readers (FlashHeaders.cpp, built into this program) are
// internals of the library without an export of their own; here they run over
// the library's flash read (slot 6) against the real driver.

namespace {

using helper::Number;
using helper::Hex;
using helper::Bytes;

using ReadFn = QelHwStatus (*)(std::uint32_t board, std::uint32_t section, std::uint32_t offset, void* buffer,
                               std::uint32_t size);
using WriteVerifyFn = QelHwStatus (*)(std::uint32_t board, std::uint32_t section, std::uint32_t offset,
                                      const void* buffer, std::uint32_t size);

QelHwExtendedInterface Interface() {
  QelHwExtendedInterface face{};
  QelHw_Man_GetExtendedInterface(&face, sizeof face);
  return face;
}

ReadFn FlashRead() { return reinterpret_cast<ReadFn>(Interface().flashRead); }
WriteVerifyFn FlashWriteVerify() { return reinterpret_cast<WriteVerifyFn>(Interface().flashWriteVerify); }

std::string WithHex(QelHwStatus status, const std::uint8_t* bytes, std::size_t count) {
  return std::to_string(status) + " " + Hex(bytes, count);
}

// Erased slot first, then the image, then the slot's prefix and header: an
// interrupted update leaves a slot that reads as no firmware.
QelHwStatus Program(std::uint32_t board, std::uint32_t offset, std::uint32_t slot, const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (bytes.size() <= kCbhHeaderSize) return QELHW_ERROR_ARG_INVALID;
  const std::uint32_t slotAt = YAT_FLASH_HEADER_AREA + slot * YAT_FLASH_SLOT_SIZE;
  const WriteVerifyFn write = FlashWriteVerify();
  const std::vector<std::uint8_t> erased(YAT_FLASH_SLOT_SIZE, 0xFF);
  QelHwStatus status = write(board, 0, slotAt, erased.data(), YAT_FLASH_SLOT_SIZE);
  if (status != QELHW_OK) return status;
  const auto imageSize = static_cast<std::uint32_t>(bytes.size() - kCbhHeaderSize);
  status = write(board, 0, offset, bytes.data() + kCbhHeaderSize, imageSize);
  if (status != QELHW_OK) return status;
  std::vector<std::uint8_t> filled(YAT_FLASH_SLOT_HEADER + kCbhHeaderSize);
  const std::uint32_t prefix[3] = {YAT_FLASH_SLOT_MAGIC, YAT_FLASH_SLOT_HEADER, offset};
  std::memcpy(filled.data(), prefix, sizeof prefix);
  std::memcpy(filled.data() + YAT_FLASH_SLOT_HEADER, bytes.data(), kCbhHeaderSize);
  return write(board, 0, slotAt, filled.data(), static_cast<std::uint32_t>(filled.size()));
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return std::to_string(QelHw_Open());
  const std::uint32_t board = Number(in);
  if (command == "read") {
    const std::uint32_t section = Number(in), offset = Number(in), count = Number(in);
    std::vector<std::uint8_t> data(count);
    return WithHex(FlashRead()(board, section, offset, data.data(), count), data.data(), data.size());
  }
  if (command == "write") {
    const std::uint32_t section = Number(in), offset = Number(in);
    std::string hex;
    in >> hex;
    const std::vector<std::uint8_t> data = Bytes(hex);
    return std::to_string(
        FlashWriteVerify()(board, section, offset, data.data(), static_cast<std::uint32_t>(data.size())));
  }
  if (command == "program") {
    const std::uint32_t offset = Number(in), slot = Number(in);
    std::string path;
    in >> path;
    return std::to_string(Program(board, offset, slot, path));
  }
  if (command == "header") {
    std::uint8_t header[kCbhHeaderSize] = {};
    return WithHex(Yat_Flash_ReadCbhHeader(board, header, Number(in)), header, sizeof header);
  }
  if (command == "record") {
    std::uint8_t record[kCbhFlashRecordSize];
    std::memset(record, 0xEE, sizeof record);
    return WithHex(Yat_Flash_ReadCbhRecord(board, record, Number(in)), record, sizeof record);
  }
  if (command == "verify") {
    const std::uint32_t offset = Number(in);
    return std::to_string(Yat_Flash_VerifySection(board, offset, Number(in)));
  }
  return "unknown";
}

}  // namespace

// The library's own reads, reached through its extended interface.
QelHwStatus Yat_Flash_ReadData(std::uint32_t board, std::uint32_t offset, std::uint32_t size, void* buffer) {
  return FlashRead()(board, 0, offset, buffer, size);
}

int main() { return helper::Serve(Run, [] { QelHw_Close(); }); }
