// A process that loads the board library and answers one line per command
// with the status (and a value where there is one):
//   open | cbn B PATH OPTION | load B NAME OPTION | rd B REG | wr B REG VALUE | blocknull B COUNT | exit
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/user/Pardow.h"
#include "driver/user/tests/helper_support.h"

namespace {

using helper::Number;

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return std::to_string(QelHw_Open());
  const std::uint32_t board = Number(in);
  if (command == "cbn" || command == "load") {
    std::string path;
    in >> path;
    const std::uint32_t option = Number(in);
    if (command == "cbn") return std::to_string(Yat_FPGA_LoadFromCbnFile(board, path.c_str(), option));
    return std::to_string(Yat_FPGA_Load(board, path.c_str(), nullptr, 0, option));
  }
  if (command == "rd") {
    std::uint32_t value = 0;
    const QelHwStatus status = Yat_ReadDataReg(board, Number(in), &value);
    char text[32];
    std::snprintf(text, sizeof text, "%d %08x", status, value);
    return text;
  }
  if (command == "blocknull") return std::to_string(Yat_FPGA_WriteDataBlock(board, 0, nullptr, Number(in)));
  if (command == "wr") {
    const std::uint32_t reg = Number(in);
    return std::to_string(Yat_WriteDataReg(board, reg, Number(in)));
  }
  return "unknown";
}

}  // namespace

int main() { return helper::Serve(Run, [] { QelHw_Close(); }); }
