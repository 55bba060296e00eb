// The kill soak's checks from a client's side, through the board library.
//   qel-soak-check hold     opens the library, says "opened <status>", keeps it
//                           open until its standard input ends or gives a
//                           line, closes it and says "closed <status>"
//   qel-soak-check memory   opens the library and takes every region of every
//                           board's on-board memory whole, one after the
//                           other; says "memory whole" or what could not be
//                           had ("region <board> <region> <status>")
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

#include "driver/user/Pardow.h"
#include "driver/user/YatInternalBuffer.h"

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int Hold() {
  Say("opened " + std::to_string(QelHw_Open()));
  std::string line;
  std::getline(std::cin, line);
  Say("closed " + std::to_string(QelHw_Close()));
  return 0;
}

// A region that something still holds a piece of cannot be had whole.
bool TakeWhole(std::uint32_t board, std::uint32_t region, std::uint32_t bytes) {
  YatInternalBuffer buffer{};
  const QelHwStatus status = Yat_InternalBuffer_Create(board, region, 0, bytes, &buffer);
  if (status != QELHW_OK) {
    Say("region " + std::to_string(board) + " " + std::to_string(region) + " " + std::to_string(status));
    return false;
  }
  return Yat_InternalBuffer_Free(&buffer) == QELHW_OK;
}

int Memory() {
  const QelHwStatus opened = QelHw_Open();
  if (opened != QELHW_OK) {
    Say("opened " + std::to_string(opened));
    return 1;
  }
  std::uint32_t boards = 0;
  Yat_Man_GetNbBoard(&boards);
  bool whole = boards > 0;
  for (std::uint32_t board = 0; board < boards; ++board) {
    std::uint32_t regions = 0, megabytes = 0;
    if (Yat_Man_GetMaxCamera(board, &regions) != QELHW_OK ||
        Yat_Man_GetOnboardMemorySize(board, 0, &megabytes) != QELHW_OK || regions == 0) {
      Say("board " + std::to_string(board) + " unreadable");
      whole = false;
      continue;
    }
    const std::uint32_t regionBytes = (megabytes << 20) / regions;
    for (std::uint32_t region = 0; region < regions; ++region) whole = TakeWhole(board, region, regionBytes) && whole;
  }
  QelHw_Close();
  Say(whole ? "memory whole" : "memory held");
  return whole ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "hold") return Hold();
  if (mode == "memory") return Memory();
  std::fprintf(stderr, "usage: qel-soak-check hold|memory\n");
  return 2;
}
