#include "platform/board/processing_unit.h"

namespace plat::board {

namespace {

// Splits a BAR 0 offset into a unit and the unit-0 offset; false when no unit owns it.
bool locate(std::uint32_t offset, std::uint32_t* unit, std::uint32_t* local) {
  if (offset % 4 != 0 || offset < kRegPuIndex) return false;
  const std::uint32_t u = (offset - kRegPuIndex) / kProcessingUnitStride;
  if (u >= kProcessingUnitCount) return false;
  const std::uint32_t l = offset - u * kProcessingUnitStride;
  const bool is_register = l >= kRegPuIndex && l <= kRegPuBytesLeft;
  const bool in_window = l >= kPuDataWindow && l < kPuDataWindow + kPuDataWindowSize;
  if (!is_register && !in_window) return false;
  *unit = u;
  *local = l;
  return true;
}

std::uint32_t memory_word(const ProcessingUnit& unit, std::uint32_t address) {
  if (address >= kPuMemoryBytes) return 0xFFFFFFFF;
  if (unit.memory.empty()) return 0;
  return unit.memory[address / 4];
}

void store_memory_word(ProcessingUnit& unit, std::uint32_t address, std::uint32_t value) {
  if (address >= kPuMemoryBytes) return;
  if (unit.memory.empty()) unit.memory.assign(kPuMemoryBytes / 4, 0);
  unit.memory[address / 4] = value;
}

std::uint32_t index_register(const ProcessingUnit& unit, std::uint32_t index) {
  return index < kPuIndexRegisters ? unit.index_registers[index] : 0xFFFFFFFF;
}

void window_write(ProcessingUnit& unit, std::uint32_t window_offset, std::uint32_t value) {
  unit.window[window_offset / 4] = value;
  store_memory_word(unit, unit.write_address + window_offset, value);
  unit.bytes_left = unit.bytes_left >= 4 ? unit.bytes_left - 4 : 0;
}

}  // namespace

bool processing_units_read(const ProcessingUnits& units, std::uint32_t offset, std::uint32_t* value) {
  std::uint32_t u = 0, local = 0;
  if (!locate(offset, &u, &local)) return false;
  const ProcessingUnit& unit = units.units[u];
  if (local >= kPuDataWindow) {
    *value = unit.window[(local - kPuDataWindow) / 4];
    return true;
  }
  switch (local) {
    case kRegPuIndex: *value = unit.index; break;
    case kRegPuData: *value = index_register(unit, unit.index); break;
    case kRegPuReadIndex: *value = unit.read_index; break;
    case kRegPuReadData: *value = index_register(unit, unit.read_index); break;
    case kRegPuWriteAddress: *value = unit.write_address; break;
    case kRegPuStatus: *value = kPuWriteReady | (unit.read_ready ? kPuReadReady : 0); break;
    case kRegPuReadAddress: *value = unit.read_address; break;
    case kRegPuReadWord: *value = unit.read_word; break;
    case kRegPuWriteCount: *value = unit.write_count; break;
    case kRegPuBytesLeft: *value = unit.bytes_left; break;
    default: return false;
  }
  return true;
}

bool processing_units_write(ProcessingUnits& units, std::uint32_t offset, std::uint32_t value) {
  std::uint32_t u = 0, local = 0;
  if (!locate(offset, &u, &local)) return false;
  ProcessingUnit& unit = units.units[u];
  if (local >= kPuDataWindow) {
    window_write(unit, local - kPuDataWindow, value);
    return true;
  }
  switch (local) {
    case kRegPuIndex: unit.index = value; break;
    case kRegPuData:
      if (unit.index < kPuIndexRegisters) unit.index_registers[unit.index] = value;
      break;
    case kRegPuReadIndex: unit.read_index = value; break;
    case kRegPuWriteAddress: unit.write_address = value & ~std::uint32_t{3}; break;
    case kRegPuReadAddress:
      unit.read_address = value & ~std::uint32_t{3};
      unit.read_word = memory_word(unit, unit.read_address);
      unit.read_ready = true;
      break;
    case kRegPuWriteCount: unit.write_count = unit.bytes_left = value; break;
    default: break;  // status, read data and bytes left are read-only
  }
  return true;
}

bool processing_memory_peek(const ProcessingUnits& units, std::uint32_t unit, std::uint32_t address,
                            std::uint32_t* value) {
  if (unit >= kProcessingUnitCount || address >= kPuMemoryBytes || address % 4 != 0) return false;
  *value = memory_word(units.units[unit], address);
  return true;
}

bool processing_index_peek(const ProcessingUnits& units, std::uint32_t unit, std::uint32_t index,
                           std::uint32_t* value) {
  if (unit >= kProcessingUnitCount || index >= kPuIndexRegisters) return false;
  *value = units.units[unit].index_registers[index];
  return true;
}

}  // namespace plat::board
