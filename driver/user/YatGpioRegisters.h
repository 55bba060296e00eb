// What the general-purpose I/O modules share: the registers, the board
// entry's I/O state and the refusal of a bad board index. Not exported.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"
#include "driver/user/YatSharedData.h"

inline constexpr std::uint32_t kYatGpioIoControl = 2052;   // 0x804
inline constexpr std::uint32_t kYatGpioIoInputs = 2060;    // 0x80C
inline constexpr std::uint32_t kYatGpioIoOutputs = 2064;   // 0x810
inline constexpr std::uint32_t kYatGpioMainInputs = 2080;  // 0x820
inline constexpr std::uint32_t kYatGpioMainOutputs = 2084; // 0x824

inline constexpr std::uint32_t kYatGpioLevelFour = 0x01;      // 0x804 bit 0
inline constexpr std::uint32_t kYatGpioTypeOne = 0x02;        // 0x804 bit 1
inline constexpr std::uint32_t kYatGpioConnectorTwo = 0x04;   // 0x804 bit 2
inline constexpr std::uint32_t kYatGpioLoadPulse = 0x40;      // 0x804 bit 6
inline constexpr std::uint32_t kYatGpioOutputSetting = 0x80;  // 0x804 bit 7
inline constexpr std::uint32_t kYatGpioFault = 0x100;         // 0x80C bit 8
inline constexpr std::uint32_t kYatGpioIoEdgeShift = 24;      // 0x80C bits 24..31
inline constexpr std::uint32_t kYatGpioMainEdgeShift = 20;    // 0x820 bits 20..23
inline constexpr std::uint32_t kYatGpioMainEdgeBits = 0xF;

// The value of mode or polarity that sets the selection bits.
inline constexpr std::uint32_t kYatGpioDetectionModeOne = 1;
inline constexpr std::uint32_t kYatGpioPolaritySet = 3;

// The entry's I/O state; null for board 16 or more.
YatIoBoardState* YatGpioState(std::uint32_t board);
// The I/O board's inputs and edge bits are inverted behind connector 1, its
// outputs behind connector 1 with output type 2.
bool YatGpioInputsInverted(const YatIoBoardState& state);
bool YatGpioOutputsInverted(const YatIoBoardState& state);
// Logs "<label>: <name> ARGUMENT INVALID" and answers -3.
QelHwStatus YatGpioArgumentInvalid(const char* name);
