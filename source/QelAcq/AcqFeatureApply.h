// The per-feature appliers of an acquisition device (Bayer decoder, board
// sync, binarisation, Power over Camera Link, input LUT, camera control lines,
// pixel clock) and the device operations that sit on the same parameters
// (camera-control entries, camera status, handle reopen, LUT store and
// rewrite). Channel below is the device's connector index on the board.
//
// An applier reads its parameters from the blocks being set and takes them;
// it answers the first failing board status (translated), its own refusal
// (module part included), or 0. Statuses of board calls that the library
// gives back untranslated are named where they occur.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAcq/AcqStatus.h"
#include "source/QelAcq/AcqValidationContext.h"

inline constexpr QelStatus kAcqNullOut = 54;
inline constexpr QelStatus kAcqModelNotSupported = 0x103256;
inline constexpr QelStatus kAcqCameraControlAbsent = 0x494B;
inline constexpr QelStatus kAcqNoCameraStatus = 86;
inline constexpr QelStatus kAcqRampMemory = 71;

// ---- Bayer, board sync, binarisation, PoCL, flat field ----------------------------
QelStatus AcqApplyBayer(AcqValidationContext* context);
// 86 for a channel of 2 or more. Records the channel in the board's master
// table before a conflict is answered.
QelStatus AcqApplyBoardSync(AcqValidationContext* context);
// Copies `text` (NUL-terminated) into a VIC parameter of the block being set,
// cut to the parameter's size with its last byte 0.
void AcqStorePrmText(AcqValidationContext* context, std::uint32_t index, const char* text);
QelStatus AcqIsBinarizeAvailable(const AcqValidationContext* context, std::uint32_t* out);
QelStatus AcqApplyBinarization(AcqValidationContext* context);
// *out = 1 when the board's option word (EEPROM byte 82) has a bit of `mask`.
QelStatus AcqTestInfoOption(const AcqValidationContext* context, std::uint32_t mask, std::uint32_t* out);
QelStatus AcqApplyPoCL(AcqValidationContext* context);
// 0 unavailable; 2 when the board's model code has a bit of 0xF010; else 1.
QelStatus AcqIsFlatFieldAvailable(const AcqValidationContext* context, std::uint32_t* out);

// The board's master table: 1 where a channel (0-3) drives the board sync.
std::uint8_t AcqBoardSyncMaster(std::uint32_t board, std::uint32_t channel);

// ---- Input LUT ------------------------------------------------------------------------
// *out = 1 when the device's tap layout and depth can use the input LUT.
// 0x103256 for a null out or a board model outside the table (logged).
QelStatus DigitalUtil_GetMaxLut(const AcqValidationContext* context, std::uint32_t* out);
// Entries of the LUT for the pixel depth: 256, 1024, 4096 or 0.
QelStatus AcqGetLutEntries(const AcqValidationContext* context, std::uint32_t* out);
// LUT format (VIC 2098) from the depth and the output format, then AcqApplyLut.
QelStatus AcqApplyLutFormat(AcqValidationContext* context);
// LUT enable, content (ramps, user LUT) and output format.
QelStatus AcqApplyLut(AcqValidationContext* context);
// The stored LUT (VIC 2076 added to the device's entry, bounded to the
// board's four) to the board, when the LUT format (VIC 2098) is set.
QelStatus AcqWriteLutData(AcqValidationContext* context);

// ---- Camera control and pixel clock ------------------------------------------------
QelStatus AcqApplyCameraControl(AcqValidationContext* context);
QelStatus AcqApplyPixelClockFrequency(AcqValidationContext* context);
QelStatus AcqApplyPixelClock(AcqValidationContext* context);

// ---- Device operations (othStruct slots 14, 15, 20, 23, 24, 30) ----------------------
QelStatus YatAcqStoreLut(QelHandle* handle, std::uint32_t lut, std::uint32_t count, std::uint32_t elementSize,
                         void* data);
QelStatus YatAcqRewriteLut(QelHandle* handle);
QelStatus YatAcqReopenHwHandle(QelHandle* handle);
QelStatus YatAcqGetCameraControl(QelHandle* handle, std::uint32_t entry, std::uint32_t* out, CamPrmBlock* cam);
QelStatus YatAcqSetCameraControl(QelHandle* handle, std::uint32_t entry, std::uint32_t value,
                                 AcqValidationContext* context);
QelStatus YatAcqGetCameraStatus(QelHandle* handle, std::uint32_t* out);
