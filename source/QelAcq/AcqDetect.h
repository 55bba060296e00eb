// Acquisition device detection ("acqdtect"): once per board for every process,
// which device types the board offers and in which slots, from its model code
// (EEPROM page 0, the 16-bit word at byte 38) and its firmware's option bits
// (the firmware record's 16-bit word at byte 72, called F below); then, for
// each process that asks, the functions that build each device's interface
// tables. It also owns a slot's registration: taking and giving back the
// camera input (the connector) as a board resource.
//
// Locks: detection and the registration state are written under the
// machine-wide host mutex "HABRIX_QELYATCLFOLVA4X_HOST_MUTEX"; opening a slot
// whose device selects its input takes "HABRIX_QELYATCLFOLVA4X_HOST_MUTEXX"
// as well, always after the first. An open without a select operation writes
// the registration state without either.
#pragma once

#include <array>
#include <cstdint>

#include "source/QelAcq/AcqDeviceRecord.h"
#include "source/QelAcq/AcqOthStruct.h"

inline constexpr std::uint32_t kAcqDeviceTypeCount = 13;
inline constexpr QelStatus kAcqSlotInUse = 75;        // another registered slot holds the connector
inline constexpr QelStatus kAcqNoConnector = 86;
inline constexpr QelStatus kAcqHostMutexMissed = 128;  // closing a slot without the host mutex
inline constexpr const char kAcqHostMutexName[] = "HABRIX_QELYATCLFOLVA4X_HOST_MUTEX";
inline constexpr const char kAcqHostMutexSecondName[] = "HABRIX_QELYATCLFOLVA4X_HOST_MUTEXX";

// One of the three functions that build a device's interface table: the
// video-input apply-table filler (slot 3), the camera apply-table filler
// (slot 5) and the device type's filler (slots 6-51), run in that order.
using AcqTableFiller = QelStatus (*)(othStruct* table);
struct AcqDetectionEntry {
  AcqTableFiller vicApplyTable;
  AcqTableFiller camApplyTable;
  AcqTableFiller deviceTable;
};
using AcqBoardDetection = std::array<AcqDetectionEntry, kAcqSlotsPerBoard>;

// Detects board `board` (the first time on the machine) or registers the
// stored result for this process: deviceCount[board] and detection[board]
// (arrays of 16). Answers 0 when at least one device was registered, else
// the status of the first failing hardware step of the board's one
// detection (0 when none failed). Only a detection that answers 0 writes
// deviceCount[board].
QelStatus acqDetect(std::uint32_t board, std::uint32_t* deviceCount, AcqBoardDetection* detection);
// True when this process's last detection of the board failed: it then
// serves no device of the board until it detects it again.
bool AcqDetectFailed(std::uint32_t board);

// What the model code and the option bits offer, before any probe.
enum class AcqModelVerdict { kAccepted, kFiltered, kUnknown };
struct AcqCandidates {
  AcqModelVerdict verdict = AcqModelVerdict::kFiltered;
  std::array<std::uint32_t, kAcqSlotsPerBoard> types{};  // 0 after the last
};
// `eeprom` is page 0 (256 bytes); `options` is F.
AcqCandidates AcqChooseCandidates(const std::uint8_t* eeprom, std::uint16_t options);

// Opens (open 1) or closes (open 0) slot `slot` as a board resource. 75 when
// another registered slot of the board (or the slot itself) holds the same
// connector, its number in *conflict (0 otherwise).
QelStatus acqRegisterDevice(std::uint32_t board, std::uint32_t slot, std::uint32_t open, std::uint32_t* conflict,
                            const othStruct* table);
// The slot's connector mask; 86 for a slot of 13 or more, no out or no mask.
QelStatus acqGetDeviceConnector(std::uint32_t board, std::uint32_t slot, std::uint32_t* out);
// Gives back this process's board-library handles of the board's registered
// slots (of every detected board, in order, for the second).
void acqReleaseBoardDevices(std::uint32_t board);
void acqReleaseAllBoardDevices();
// Sets the registration state of all 13 slots, under the host mutex.
void acqSetBoardRegistration(std::uint32_t board, std::uint32_t value);

void AcqSetSlotDeviceType(std::uint32_t board, std::uint32_t slot, std::uint32_t type);
std::uint32_t AcqGetSlotDeviceType(std::uint32_t board, std::uint32_t slot);
// The first slot of the board holding the type; 0 when none.
std::uint32_t AcqGetSlotOfType(std::uint32_t board, std::uint32_t type);

// Connector (1 or 2, as a one-bit mask) of a device type; 0 for any other value.
std::uint32_t AcqDeviceTypeConnector(std::uint32_t type);
// The type's name into a 128-byte destination; the empty name for any other value.
void AcqDeviceTypeName(char* destination, std::uint32_t type);
// The lowest set bit among bits 0-4 of a mask; 0 when none.
std::uint32_t LowestBitIndex(std::uint32_t mask);

// Yat_FPGA_Initialize of the board, translated.
QelStatus AcqFpgaInitialize(std::uint32_t board);
