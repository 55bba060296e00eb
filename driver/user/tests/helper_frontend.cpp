// A process that loads the board library and drives the Camera Link front
// end, answering one line per command with the status (and a value where
// there is one):
//   open | lut B CAM BANK MODE BITS | pocl B CAM ENABLE | status B CAM
//   | tick B CAM TICK | stamp B CAM BASE | flat B CAM INDEX VALUE
//   | vsync B CAM POLARITY KIND | balance B CAM G1 G2 G3 UNIT | binarize B ENABLE
//   | strobe B CAM DESTINATION | exit
// The LUT table's entry i is (1023 - i) & 0x3FF.
#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/user/Pardow.h"
#include "driver/user/YatSharedData.h"
#include "driver/user/tests/helper_support.h"

namespace {

using helper::Number;

QelHwStatus WriteLut(std::istringstream& in, std::uint32_t board) {
  const std::uint32_t camera = Number(in), bank = Number(in), mode = Number(in), bits = Number(in);
  std::array<std::uint16_t, 4096> table{};
  for (std::uint32_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint16_t>((1023 - i) & 0x3FF);
  return Yat_FPGA_CL_WriteLut(board, camera, bank, mode, 0, bits, table.data());
}

QelHwStatus SelectTick(std::uint32_t board, std::uint32_t camera, std::uint32_t tick) {
  YatAcqHandle handle{};
  handle.type = 0x64000010;
  handle.board = board;
  handle.camera = camera;
  return Yat_FPGA_FE_MainTicksSelectTick(&handle, tick);
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return std::to_string(QelHw_Open());
  const std::uint32_t board = Number(in);
  if (command == "lut") return std::to_string(WriteLut(in, board));
  if (command == "status") {
    std::uint32_t status = 0;
    const QelHwStatus result = Yat_FPGA_Camera_Status(board, Number(in), 0, &status);
    char text[32];
    std::snprintf(text, sizeof text, "%d %02x", result, status);
    return text;
  }
  if (command == "binarize") return std::to_string(Yat_FPGA_EnableBinarization(board, 0, Number(in)));
  const std::uint32_t camera = Number(in);
  const std::uint32_t a = Number(in), b = Number(in), c = Number(in), d = Number(in);
  if (command == "pocl") return std::to_string(Yat_FPGA_PoCLEnable(board, camera, a));
  if (command == "tick") return std::to_string(SelectTick(board, camera, a));
  if (command == "stamp") return std::to_string(Yat_FPGA_SetCounterStampTimeBase(board, camera, a));
  if (command == "flat") return std::to_string(Yat_FPGA_SetFlatFieldAddressTable(board, camera, a, b));
  if (command == "vsync") return std::to_string(Yat_FPGA_LVDS_SetVertialPulseSyncPolatity(board, camera, a, b));
  if (command == "balance") return std::to_string(Yat_FPGA_SetBayerWhiteBalance(board, camera, a, b, c, d));
  if (command == "strobe") return std::to_string(Yat_FPGA_SetStrobeDestination(board, camera, a));
  return "unknown";
}

}  // namespace

int main() { return helper::Serve(Run, [] { QelHw_Close(); }); }
