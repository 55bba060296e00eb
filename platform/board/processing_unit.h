// The processing units' register pairs and processing memory. Unit u's
// registers lie at u * 0x800 + the offsets below (units 0 and 1):
// - 0x5048 index, 0x504C data: writing the data stores it in the index
//   register named by the index.
// - 0x5050 read index, 0x5054 read data: the data reads the index register
//   named by the read index.
// - Processing memory (1 MiB per unit, byte addresses, word granular):
//   0x5068 write byte count (also loads the bytes left), 0x506C bytes left
//   (read-only), 0x5058 write page address; each word written into the data
//   window 0x5400-0x57FF lands at page address + window offset and lowers the
//   bytes left; the window reads back the words last written into it.
//   0x5060 read address: the word at that address is fetched at once into
//   0x5064 read data.
// - 0x505C status: bit 0 write-ready, bit 1 read-ready. The model moves words
//   at once, so write-ready is always set and read-ready is set once a read
//   address was written.
// Index registers beyond the unit's 1024 and memory beyond 1 MiB read all ones
// and ignore writes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace plat::board {

inline constexpr std::uint32_t kProcessingUnitCount = 2;
inline constexpr std::uint32_t kProcessingUnitStride = 0x800;
inline constexpr std::uint32_t kRegPuIndex = 0x5048;
inline constexpr std::uint32_t kRegPuData = 0x504C;
inline constexpr std::uint32_t kRegPuReadIndex = 0x5050;
inline constexpr std::uint32_t kRegPuReadData = 0x5054;
inline constexpr std::uint32_t kRegPuWriteAddress = 0x5058;
inline constexpr std::uint32_t kRegPuStatus = 0x505C;
inline constexpr std::uint32_t kRegPuReadAddress = 0x5060;
inline constexpr std::uint32_t kRegPuReadWord = 0x5064;
inline constexpr std::uint32_t kRegPuWriteCount = 0x5068;
inline constexpr std::uint32_t kRegPuBytesLeft = 0x506C;
inline constexpr std::uint32_t kPuDataWindow = 0x5400;
inline constexpr std::uint32_t kPuDataWindowSize = 0x400;
inline constexpr std::uint32_t kPuWriteReady = 0x1;
inline constexpr std::uint32_t kPuReadReady = 0x2;
inline constexpr std::uint32_t kPuIndexRegisters = 1024;
inline constexpr std::uint32_t kPuMemoryBytes = 1u << 20;

struct ProcessingUnit {
  std::uint32_t index = 0, read_index = 0;
  std::array<std::uint32_t, kPuIndexRegisters> index_registers{};
  std::uint32_t write_address = 0, write_count = 0, bytes_left = 0;
  std::uint32_t read_address = 0, read_word = 0;
  bool read_ready = false;
  std::array<std::uint32_t, kPuDataWindowSize / 4> window{};
  std::vector<std::uint32_t> memory;  // allocated at its first write
};

struct ProcessingUnits {
  std::array<ProcessingUnit, kProcessingUnitCount> units;
};

bool processing_units_read(const ProcessingUnits& units, std::uint32_t offset, std::uint32_t* value);
bool processing_units_write(ProcessingUnits& units, std::uint32_t offset, std::uint32_t value);

// For tests: a word of a unit's processing memory and an index register.
bool processing_memory_peek(const ProcessingUnits& units, std::uint32_t unit, std::uint32_t address,
                            std::uint32_t* value);
bool processing_index_peek(const ProcessingUnits& units, std::uint32_t unit, std::uint32_t index,
                           std::uint32_t* value);

}  // namespace plat::board
