// The board-private acquisition commands of a device (interface table slots
// 18 and 19): raw FPGA register and register-block access (260-263) and the
// numbered custom commands (YatAcqCustomCmd): the FPGA register bank, the
// processing kernel's coefficients and control bits, indexed register
// blocks, the processing memory, a Camera Link front-end parameter and three
// named settings.
//
// A block that a command names by an address in this process is read only
// through a checked copy, bounded by the command's count (and, for register
// blocks, by the register window); anything else answers 566.
//
// Lock order: none of their own. They run under the API lock of the request
// that reaches them; the board library serialises the register accesses.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"

struct othStruct;

inline constexpr QelStatus kAcqCmdNotSupported = 70;
inline constexpr QelStatus kAcqCmdNoKernel = 76;
inline constexpr QelStatus kAcqCmdCoefficientRange = 562;
inline constexpr QelStatus kAcqCmdInputMissing = 566;  // also a count beyond its bound, an unreadable block
inline constexpr QelStatus kAcqCmdIndexRange = 810;
inline constexpr QelStatus kAcqCmdInputSize = 818;
inline constexpr QelStatus kAcqCmdOutputMissing = 1078;
inline constexpr QelStatus kAcqCmdOutputSize = 1330;

// Command numbers served by YatAcqPrivateCmd itself.
inline constexpr std::uint32_t kAcqCmdReadBlock = 260;
inline constexpr std::uint32_t kAcqCmdWriteBlock = 261;
inline constexpr std::uint32_t kAcqCmdReadRegister = 262;
inline constexpr std::uint32_t kAcqCmdWriteRegister = 263;

QelStatus YatAcqCustomCmd(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize, void* out,
                          std::uint32_t outSize);
QelStatus YatAcqPrivateCmd(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize, void* out,
                           std::uint32_t outSize);
// Every command of slot 19 is answered by BoardOpNotSupported once the handle
// names an open device.
QelStatus YatAcqPrivateCmd2(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize,
                            void* out, std::uint32_t outSize);
QelStatus BoardOpNotSupported(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize,
                              void* out, std::uint32_t outSize);

// Fills slots 18 and 19 of a device's interface table.
void AcqFillPrivateCommands(othStruct* table);
