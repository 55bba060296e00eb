// What the capability and default computations read from a board: EEPROM
// page 0, the firmware record, the LUT type and the acquisition window
// capabilities. Internal to the acquisition module.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "source/QelAcq/AcqStatus.h"
#include "source/QelAcq/AcqValidationContext.h"

inline constexpr std::uint32_t kAcqWindowCapsWords = 23;

// A little-endian 16-bit field of an EEPROM page or a firmware record.
inline std::uint16_t AcqField16(const std::uint8_t* bytes, std::uint32_t offset) {
  std::uint16_t value;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

struct AcqBoardInputs {
  std::array<std::uint8_t, 256> eeprom{};
  std::array<std::uint8_t, 92> firmware{};
  std::uint32_t lutType = 0;
  std::array<std::uint32_t, kAcqWindowCapsWords> window{};

  std::uint16_t word16(const std::uint8_t* bytes, std::uint32_t offset) const { return AcqField16(bytes, offset); }
  // The board's option word (EEPROM byte 38) and its bits.
  std::uint16_t options() const { return word16(eeprom.data(), 38); }
  bool option(unsigned bit) const { return ((options() >> bit) & 1u) != 0; }
  // The firmware's option bits F (firmware record byte 72).
  std::uint16_t firmwareOptions() const { return word16(firmware.data(), 72); }
  bool f(unsigned bit) const { return ((firmwareOptions() >> bit) & 1u) != 0; }
  std::uint8_t byte(std::uint32_t offset) const { return eeprom[offset]; }
  bool lut10() const { return lutType == 1 || lutType == 3; }
  bool lut12() const { return lutType == 2 || lutType == 3; }
};

// The board of a context's record.
std::uint32_t AcqBoardOf(const AcqValidationContext* context);
std::uint32_t AcqConnectorOf(const AcqValidationContext* context);

// Each answers 0 or the query's translated status.
QelStatus AcqReadEepromPage0(std::uint32_t board, AcqBoardInputs* inputs);
QelStatus AcqReadFirmwareRecord(std::uint32_t board, AcqBoardInputs* inputs);
QelStatus AcqReadLutType(std::uint32_t board, AcqBoardInputs* inputs);
QelStatus AcqReadWindowCaps(const AcqValidationContext* context, AcqBoardInputs* inputs);

// Writers of the record's words; an index outside the block writes nothing.
void AcqSetCap(AcqValidationContext* context, std::uint32_t index, std::uint32_t value);
std::uint32_t AcqGetCap(const AcqValidationContext* context, std::uint32_t index);
void AcqSetPrm(AcqValidationContext* context, std::uint32_t index, std::uint32_t value);
