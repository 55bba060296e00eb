// What the rows of manager control and the board private commands share: the
// call as a record, the common statuses and the bounded reads of the input.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "source/firmware/ManControl.h"

namespace mancontrol {

inline constexpr QelStatus kNoRow = 70;
inline constexpr QelStatus kNoOperation = 818;
inline constexpr QelStatus kInputMissing = 822;
inline constexpr QelStatus kInputSize = 1074;
inline constexpr QelStatus kModeUnknown = 1330;
inline constexpr QelStatus kOutputMissing = 1334;
inline constexpr QelStatus kOutputSize = 1586;
inline constexpr QelStatus kFieldNotFound = 1077;
inline constexpr std::uint32_t kEepromBytes = 256;
inline constexpr std::uint32_t kTextField = 256;

struct Call {
  std::uint32_t board;
  std::uint32_t code;
  const std::uint8_t* input;
  std::uint32_t inputSize;
  std::uint8_t* output;
  std::uint32_t outputSize;

  // The u32 at `offset` of the input; 0 past its end.
  std::uint32_t word(std::uint32_t offset) const {
    std::uint32_t value = 0;
    if (input != nullptr && offset + 4ull <= inputSize) std::memcpy(&value, input + offset, sizeof value);
    return value;
  }
  std::uint64_t quad(std::uint32_t offset) const {
    std::uint64_t value = 0;
    if (input != nullptr && offset + 8ull <= inputSize) std::memcpy(&value, input + offset, sizeof value);
    return value;
  }
  // Text from `offset`, never past `limit` bytes nor the input's end.
  std::string text(std::uint32_t offset, std::uint32_t limit) const {
    if (input == nullptr || offset >= inputSize) return {};
    const auto room = static_cast<std::size_t>(std::min(inputSize - offset, limit));
    const char* start = reinterpret_cast<const char*>(input + offset);
    return std::string(start, strnlen(start, room));
  }
  void putWord(std::uint32_t offset, std::uint32_t value) const {
    if (output != nullptr && offset + 4ull <= outputSize) std::memcpy(output + offset, &value, sizeof value);
  }
};

using Row = QelStatus (*)(const Call& call);

// The manager table's rows by code; null for a code without one.
Row ManagerRowOf(std::uint32_t code);
// The private table's rows by code; null for a code without one.
Row PrivateRowOf(std::uint32_t code);

// Rows of the manager table, by what they reach.
QelStatus BoardInformation(const Call& call);
QelStatus EepromFromOffset31(const Call& call);
QelStatus EepromWord18(const Call& call);
QelStatus AreaInformation(const Call& call);
QelStatus AreaFromOffset31(const Call& call);
QelStatus RawEepromRead(const Call& call);
QelStatus RawEepromWrite(const Call& call);
QelStatus DevicePrmRead(const Call& call);
QelStatus DevicePrmWrite(const Call& call);
QelStatus FlashRead(const Call& call);
QelStatus FlashWrite(const Call& call);
QelStatus DevicePrmBlock(const Call& call);
QelStatus VersionRecord(const Call& call);
QelStatus MonitorCommand(const Call& call);
QelStatus FieldCount(const Call& call);
QelStatus FieldInformation(const Call& call);
QelStatus FieldValueText(const Call& call);
QelStatus FieldValidate(const Call& call);
QelStatus FieldWrite(const Call& call);
QelStatus InitBoard(const Call& call);
QelStatus FieldWriteByName(const Call& call);
QelStatus FieldReadByName(const Call& call);

// Rows of the private table.
QelStatus MonitorClearFifo(const Call& call);
QelStatus MemoryWrite(const Call& call);
QelStatus MemoryTest(const Call& call);

}  // namespace mancontrol
