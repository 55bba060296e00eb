// A process that loads the board library and answers one line per command:
// the EEPROM operations through the extended interface, and the board table's
// EEPROM copies as this process sees the shared section.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/Pardow.h"
#include "driver/user/YatExtendedInterface.h"
#include "driver/user/YatSharedData.h"
#include "platform/win/sections.h"
#include "driver/user/tests/helper_support.h"

namespace {

using helper::Number;
using helper::Hex;
using helper::Bytes;

// "page B I O N": N bytes at O of EEPROM copy I of board B; "entry B": init error, initialised, XIO present.
std::string FromSharedTable(const std::string& command, std::istringstream& in) {
  auto* shared = static_cast<YatSharedData*>(plat::map_module_shared_data(YAT_SHARED_DATA_NAME, sizeof(YatSharedData)));
  if (shared == nullptr) return "unmapped";
  const std::uint32_t board = Number(in) % YAT_MAX_BOARD;
  const YatBoardEntry& entry = shared->boards[board];
  std::string answer;
  if (command == "page") {
    const std::uint32_t index = Number(in) % YAT_EEPROM_COUNT;
    const std::uint32_t offset = Number(in) % YAT_EEPROM_IMAGE_SIZE;
    const std::uint32_t count = std::min(Number(in), YAT_EEPROM_IMAGE_SIZE - offset);
    answer = Hex(entry.eeprom[index] + offset, count);
  } else {
    answer = std::to_string(entry.initError) + " " + std::to_string(entry.initialized) + " " +
             std::to_string(entry.xioPresent);
  }
  plat::release_module_shared_data(shared);
  return answer;
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  QelHwExtendedInterface face{};
  QelHw_Man_GetExtendedInterface(&face, sizeof face);
  if (command == "open") return std::to_string(QelHw_Open());
  if (command == "close") return std::to_string(QelHw_Close());
  if (command == "page" || command == "entry") return FromSharedTable(command, in);
  if (command == "getinfo") {
    const std::uint32_t board = Number(in), index = Number(in);
    std::uint8_t page[300] = {};
    const QelHwStatus status = face.eepromGetInfo(board, index, page, Number(in));
    return std::to_string(status) + " " + Hex(page, 4);
  }
  if (command == "read") {
    const std::uint32_t board = Number(in), index = Number(in), offset = Number(in), count = Number(in);
    std::vector<std::uint8_t> data(count);
    const QelHwStatus status = face.eepromRead(board, index, offset, data.data(), count);
    return std::to_string(status) + " " + (status == QELHW_OK ? Hex(data.data(), data.size()) : "");
  }
  if (command == "write") {
    const std::uint32_t board = Number(in), index = Number(in), offset = Number(in);
    std::string hex;
    in >> hex;
    const std::vector<std::uint8_t> data = Bytes(hex);
    return std::to_string(face.eepromWriteData(board, index, offset, data.data(), static_cast<std::uint32_t>(data.size())));
  }
  return "unknown";
}

}  // namespace

int main() { return helper::Serve(Run); }
