#include "platform/board/eeprom_device.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/board/board_log.h"

namespace plat::board {

namespace {

bool load_file(const std::string& file, EepromImage& image) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() != kEepromBytes) return false;
  std::copy(bytes.begin(), bytes.end(), image.begin());
  return true;
}

// Written whole under a temporary name and renamed, so a host killed in the
// middle never leaves a torn image behind.
void save_file(const EepromDevice& device) {
  if (device.file.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(device.file).parent_path(), error);
  const std::string temporary = device.file + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(device.memory.data()), kEepromBytes);
    if (!out) {
      board_log(kBoardLogError, "EEPROM image could not be written: " + device.file);
      return;
    }
  }
  std::filesystem::rename(temporary, device.file, error);
  if (error) board_log(kBoardLogError, "EEPROM image could not be replaced: " + device.file);
}

bool busy(const EepromDevice& device) { return std::chrono::steady_clock::now() < device.busy_until; }

bool answers(const EepromDevice& device) { return device.present && !device.no_acknowledge && !busy(device); }

void begin_byte(EepromDevice& device) {
  device.shift = 0;
  device.bits = 0;
  device.ack_slot = false;
}

// Puts the next bit of the byte being sent on the line.
void drive_next_bit(EepromDevice& device) {
  device.drives_low = ((device.shift >> (7 - device.bits)) & 1) == 0;
  ++device.bits;
}

void start_transmit(EepromDevice& device) {
  device.phase = EepromPhase::kTransmit;
  begin_byte(device);
  device.shift = device.memory[device.word_address];
  drive_next_bit(device);
}

void take_received_byte(EepromDevice& device) {
  if (!device.have_word_address) {
    device.word_address = device.shift;
    device.have_word_address = true;
    return;
  }
  if (device.page_filled.none()) device.write_start = device.word_address;
  device.page[device.word_address] = device.shift;
  device.page_filled.set(device.word_address);
  const std::uint8_t page_start = device.word_address & ~std::uint8_t{kEepromPageBytes - 1};
  device.word_address = page_start | ((device.word_address + 1) & (kEepromPageBytes - 1));
}

void commit_page(EepromDevice& device) {
  if (device.page_filled.none()) return;
  for (std::size_t i = 0; i < kEepromBytes; ++i)
    if (device.page_filled.test(i)) device.memory[i] = device.page[i];
  char text[96];
  std::snprintf(text, sizeof text, "board %d: EEPROM 0x%02X wrote %zu bytes at 0x%02X", device.board_index,
                device.address, device.page_filled.count(), device.write_start);
  board_log(kBoardLogInfo, text);
  device.page_filled.reset();
  save_file(device);
  device.busy_until = std::chrono::steady_clock::now() + device.write_cycle;
}

// The ninth clock of a received byte has ended: release the line and go on.
void end_receive_ack(EepromDevice& device) {
  device.drives_low = false;
  const bool address_byte = device.phase == EepromPhase::kAddress;
  begin_byte(device);
  if (address_byte && device.read_request) {
    start_transmit(device);
  } else {
    device.phase = EepromPhase::kReceive;
  }
}

void receive_fall(EepromDevice& device) {
  if (device.ack_slot) {
    end_receive_ack(device);
    return;
  }
  if (device.bits < 8) return;
  if (device.phase == EepromPhase::kAddress) {
    if ((device.shift & 0xFE) != device.address || !answers(device)) {
      device.phase = EepromPhase::kIgnore;
      return;
    }
    device.read_request = (device.shift & 1) != 0;
    ++device.accesses;
    if (!device.read_request) device.have_word_address = false;
  } else {
    take_received_byte(device);
  }
  device.ack_slot = true;
  device.drives_low = true;
}

void transmit_fall(EepromDevice& device) {
  if (device.ack_slot) {
    if (!device.master_acknowledged) {
      device.phase = EepromPhase::kIgnore;
      device.drives_low = false;
      return;
    }
    start_transmit(device);
    return;
  }
  if (device.bits < 8) {
    drive_next_bit(device);
    return;
  }
  // All eight bits are out: the line is the master's for its acknowledge.
  device.drives_low = false;
  device.ack_slot = true;
  device.word_address = static_cast<std::uint8_t>(device.word_address + 1);
}

}  // namespace

void eeprom_open(EepromDevice& device, std::uint8_t address, const EepromImage& initial, const std::string& file,
                 int board_index) {
  device = EepromDevice{};
  device.address = address;
  device.board_index = board_index;
  device.file = file;
  if (!file.empty() && load_file(file, device.memory)) return;
  device.memory = initial;
  save_file(device);
}

void eeprom_on_start(EepromDevice& device) {
  device.page_filled.reset();  // a write not closed by a stop is not performed
  device.phase = EepromPhase::kAddress;
  device.drives_low = false;
  begin_byte(device);
}

void eeprom_on_stop(EepromDevice& device) {
  if (device.phase == EepromPhase::kReceive) commit_page(device);
  device.page_filled.reset();
  device.phase = EepromPhase::kIdle;
  device.drives_low = false;
  begin_byte(device);
}

void eeprom_on_clock_rise(EepromDevice& device, bool data_level) {
  switch (device.phase) {
    case EepromPhase::kAddress:
    case EepromPhase::kReceive:
      if (!device.ack_slot && device.bits < 8) {
        device.shift = static_cast<std::uint8_t>(device.shift << 1 | (data_level ? 1 : 0));
        ++device.bits;
      }
      break;
    case EepromPhase::kTransmit:
      if (device.ack_slot) device.master_acknowledged = !data_level;
      break;
    default: break;
  }
}

void eeprom_on_clock_fall(EepromDevice& device) {
  switch (device.phase) {
    case EepromPhase::kAddress:
    case EepromPhase::kReceive: receive_fall(device); break;
    case EepromPhase::kTransmit: transmit_fall(device); break;
    default: break;
  }
}

void eeprom_replace(EepromDevice& device, std::span<const std::uint8_t> bytes) {
  device.memory.fill(0xFF);
  std::copy_n(bytes.begin(), std::min(bytes.size(), kEepromBytes), device.memory.begin());
  save_file(device);
}

}  // namespace plat::board
