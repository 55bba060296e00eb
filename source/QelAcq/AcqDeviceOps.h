// The board-specific operations behind a device's interface table (othStruct
// slots 6-51) and the support operations the apply engine calls: selecting a
// camera input, starting and stopping several connectors in one board-library
// call, the device name, the input LUT shadows and their transfer to the
// board, software trigger, event routing and the detected video format.
//
// Every type has a filler: the common filler (slots 9-51), for the colour
// types (4, 5, 6) and the Bayer types (9, 11) a variant that replaces slots
// 10-15, then the type's own select, deselect, acquisition control and name
// (slots 6, 7, 8, 17). Type 8 has no LUT operations (slots 12-15 empty); the
// Bayer types keep the mono LUT operations.
//
// These run under the API lock of the request that reaches them, or at board
// initialisation; they take no lock of their own.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAcq/AcqDetect.h"

inline constexpr QelStatus kAcqMissingPointer = 1061462;
inline constexpr QelStatus kAcqLutOutOfRange = kQelModuleAcquisition | 0x333;
inline constexpr QelStatus kAcqDeviceNotFound = 76;
inline constexpr QelStatus kAcqTriggerTypeRefused = 70;
inline constexpr QelStatus kAcqDataValidRefused = 24360;
inline constexpr std::uint32_t kAcqVideoFormatSize = 248;
inline constexpr std::uint32_t kAcqStdVideoFormatSize = 256;

// ---- Interface table fillers ----------------------------------------------------
// The filler of device type 1-13; null for any other value.
AcqTableFiller AcqDeviceTypeFiller(std::uint32_t type);
QelStatus AcqFillCommonTable(othStruct* table);
QelStatus AcqFillColourTable(othStruct* table);
QelStatus AcqFillBayerTable(othStruct* table);

// ---- Type operations ---------------------------------------------------------------
// Takes (1) or gives up (0) the camera input of (board, slot). Giving it up
// first clears the record's value of 0x70d0004, when this process has the
// device's handle object.
QelStatus AcqSelectInput(std::uint32_t board, std::uint32_t select, std::uint32_t slot);
// Starts (-1 continuous, N frames), freezes (0) or aborts (-2) every device of
// the board whose connector is in `mask` and whose board-library handle this
// process holds, in one board-library call. *out (when given): -1, N - 1 or 0.
QelStatus AcqControl(std::uint32_t board, std::uint32_t slot, std::uint32_t mask, std::int32_t frames,
                     std::int32_t* out);
QelStatus AcqNoOperation();

// ---- Input LUTs ---------------------------------------------------------------------
// Entries of a LUT for a camera pixel depth (CAM 6): 256 for 8 bits, 1024 for
// 10, 4096 otherwise.
std::uint32_t AcqLutLength(std::uint32_t depth);
// The identity in the board's mono LUTs (camera depth) and 10-bit colour LUTs.
QelStatus AcqLutInitMono(QelHandle* handle);
// The identity in the board's colour LUTs.
QelStatus AcqLutInitColor(QelHandle* handle);
// Copies `size` bytes of LUT (board, connector index + lut) into `destination`;
// a colour LUT as three planes of size / 3 bytes, channel by channel.
// 0x400333 for a LUT number of 4 or more or more than 4096 entries (per channel).
QelStatus AcqReadLutMono(QelHandle* handle, std::uint32_t lut, std::uint32_t size, std::uint32_t form,
                         void* destination);
QelStatus AcqReadLutColor(QelHandle* handle, std::uint32_t lut, std::uint32_t size, std::uint32_t form,
                          void* destination);
// Three planes of `count` entries of `bytesPerEntry` (1, 2 or 4; else
// 0x400333) bytes, as a LUT object holds them, into the colour shadow, then to
// the board unless the LUT waits for a wider format.
QelStatus AcqWriteLutColor(QelHandle* handle, std::uint32_t lut, std::uint32_t count, std::uint32_t bytesPerEntry,
                           void* source);
QelStatus AcqProgramLutColor(QelHandle* handle);
QelStatus AcqProgramLutColorCtx(AcqValidationContext* context);
bool AcqLutIsWider(const AcqValidationContext* context);
// True for an output format (VIC 2088) of colour pixels, packed (bit 30) or in
// three planes: its input LUT is three planes, one a colour channel.
bool AcqIsColourOutput(std::uint32_t format);

// ---- Events, trigger, video format ----------------------------------------------------
QelStatus YatAcqSetEventMask(QelHandle* handle, std::uint32_t mask, AcqDeviceRecord* record);
QelStatus YatAcqUnrouteEvents(QelHandle* handle, std::uint32_t mask, AcqDeviceRecord* record);
QelStatus YatAcqSoftwareTrigger(QelHandle* handle, std::uint32_t type);
QelStatus YatAcqDetectVideoFormat(QelHandle* handle, std::uint32_t id, std::uint32_t* out);

// ---- Support operations ---------------------------------------------------------------
QelStatus AcqGetDeviceSlot(const QelHandle* handle, std::uint32_t* out);
QelStatus AcqGetDeviceResourceMask(const QelHandle* handle, std::uint32_t* out);
// Yat_Man_GetMaxCamera; 1 when the call gives nothing.
std::uint32_t AcqGetMaxCamera(std::uint32_t board);
std::uint32_t AcqGetConnectorIndexOfContext(const AcqValidationContext* context);
bool AcqIsDigitalPresent();
// The board-library calls of the context's device (board and slot of its record).
QelStatus AcqGetStdVideoFormat(const AcqValidationContext* context, std::uint32_t standard, void* out);
QelStatus AcqGetAcqWindowCaps(const AcqValidationContext* context, void* out);
QelStatus AcqFrameTriggerEnable(AcqValidationContext* context);
QelStatus AcqApplyStrobe(AcqValidationContext* context);
QelStatus AcqApplyDataValid(AcqValidationContext* context);
// The camera-control line record: four lines of five words, the mode in word 4.
QelStatus AcqControlLinesFromTable(const AcqValidationContext* context, std::uint32_t* lines);
QelStatus AcqControlLinesFromPrms(AcqValidationContext* context, std::uint32_t* lines);
// `record` is a board-library trigger record of at least 36 words.
bool AcqTriggerDelayUnitsOrdered(const void* record);
std::uint32_t AcqPrmValueToHw(const AcqValidationContext* context, std::uint32_t id);
QelStatus FpgaReadDataReg(std::uint32_t board, std::uint32_t fpga, std::uint32_t reg, std::uint32_t* value);
QelStatus FpgaWriteDataReg(std::uint32_t board, std::uint32_t fpga, std::uint32_t reg, std::uint32_t value);
