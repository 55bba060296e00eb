// Pure maps between the SDK's values and the board library's codes: event
// words and masks, data formats, and the small enumerations the acquisition,
// transfer and general I/O code hands to the board.
#pragma once

#include <cstdint>

// Event words: bits 16-23 are shared; the board's bits 29-31 are the SDK's
// bits 24-26.
std::uint32_t ConvEventTypeFromHw(std::uint32_t board_event);
std::uint32_t ConvEventTypeToHw(std::uint32_t sdk_event);

// Event masks, bit by bit.
std::uint32_t ConvEventMaskToHw(std::uint32_t sdk_mask);
std::uint32_t ConvEventMaskFromHw(std::uint32_t board_mask);

// A buffer format code to the board's pixel-format code (1 for any other code).
std::uint32_t ConvDataFormatToHw(std::uint32_t format);

// Enumerations; each answers its default for a value it does not list.
std::uint32_t ConvEnum123To124(std::uint32_t value);
std::uint32_t ConvEnum1248To1234(std::uint32_t value);
std::uint32_t ConvGpioConnectorToHw(std::uint32_t value);
std::uint32_t ConvInputLevelToHw(std::uint32_t value);
std::uint32_t ConvAcqEnum1248To1234(std::uint32_t value);
std::uint32_t ConvDmaCycleModeToHw(std::uint32_t value);
std::uint32_t ConvEnumPow2To12345(std::uint32_t value);
std::uint32_t ConvEnum1816To132(std::uint32_t value);
std::uint32_t ConvEnum12To12(std::uint32_t value);
std::uint32_t ConvTriggerDetectionToHw(std::uint32_t value);
std::uint32_t ConvOutputTypeToHw(std::uint32_t value);
std::uint32_t ConvBitFlagsToHw(std::uint32_t value);
std::uint32_t ConvEnum15ToHw(std::uint32_t value);
std::uint32_t ConvPolarityToHw(std::uint32_t value);
std::uint32_t ConvMask7ToHw(std::uint32_t value);
std::uint32_t ConvEnum124To123(std::uint32_t value);
std::uint32_t ConvTimeBaseToHw(std::uint32_t value);
std::uint32_t ConvEnumPow2To1To7(std::uint32_t value);
std::uint32_t ConvEnum1248To4123(std::uint32_t value);
std::uint32_t ConvEnum12816To5667(std::uint32_t value);
