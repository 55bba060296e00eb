// The input LUT shadows of every board, in the server driver's shared data
// section: the LUT last written to a board, whichever process wrote it, so
// that every process reads back the same tables and a device opened later
// programs what was written before. They have no lock of their own: they are
// written under the API lock of the request that writes them, or at board
// initialisation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "source/QelAcq/AcqDeviceRecord.h"

inline constexpr std::uint32_t kAcqLutsPerBoard = 4;
inline constexpr std::uint32_t kAcqLutChannels = 3;
inline constexpr std::uint32_t kAcqLutEntries = 4096;
inline constexpr std::uint32_t kAcqLut10Entries = 1024;

using AcqLutTable = std::uint16_t[kAcqLutEntries];
using AcqLut10Table = std::uint16_t[kAcqLut10Entries];

struct AcqLutShadows {
  // LUT (board, k) at board x 4 + k.
  AcqLutTable mono[kAcqMaxBoards * kAcqLutsPerBoard];
  // LUT (board, k), channel c at (board x 4 + k) x 3 + c.
  AcqLutTable colour[kAcqMaxBoards * kAcqLutsPerBoard * kAcqLutChannels];
  AcqLut10Table colour10[kAcqMaxBoards * kAcqLutsPerBoard * kAcqLutChannels];
};
static_assert(sizeof(AcqLutShadows) == 16 * 4 * 8192 + 16 * 4 * 3 * 8192 + 16 * 4 * 3 * 2048);
static_assert(offsetof(AcqLutShadows, colour) == 16 * 4 * 8192);
static_assert(offsetof(AcqLutShadows, colour10) == 16 * 4 * 8192 + 16 * 4 * 3 * 8192);

AcqLutShadows* AcqGetLutShadows();

// One LUT of a shadow; null for a board of 16 or more, a LUT of 4 or more or a
// channel of 3 or more.
std::uint16_t* AcqMonoLut(std::uint32_t board, std::uint32_t lut);
std::uint16_t* AcqColourLut(std::uint32_t board, std::uint32_t lut, std::uint32_t channel);
std::uint16_t* AcqColour10Lut(std::uint32_t board, std::uint32_t lut, std::uint32_t channel);
