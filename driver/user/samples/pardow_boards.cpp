// Opens the board library and prints the state of every board it found.
#include <cstdint>
#include <cstdio>

#include "driver/user/Pardow.h"

int main() {
  const QelHwStatus opened = QelHw_Open();
  std::printf("QelHw_Open: %d\n", opened);
  std::uint32_t count = 0;
  const QelHwStatus found = Yat_Man_GetNbBoard(&count);
  std::printf("Boards: %u (status %d)\n", count, found);
  for (std::uint32_t board = 0; board < count; ++board) {
    std::uint32_t base = 0;
    std::uint32_t size = 0;
    std::uint32_t cameras = 0;
    const QelHwStatus baseStatus = Yat_Man_GetBaseAddress(board, &base);
    Yat_Man_GetAddressSize(board, &size);
    Yat_Man_GetMaxCamera(board, &cameras);
    std::printf("Board %u: initialized=%u base=0x%08x (status %d) window=0x%x cameras=%u\n", board,
                static_cast<unsigned>(Yat_Man_IsBoardInitialized(board)), base, baseStatus, size, cameras);
  }
  std::printf("Initialization error: %d\n", Yat_Man_GetInitializationError());
  const QelHwStatus closed = QelHw_Close();
  std::printf("QelHw_Close: %d\n", closed);
  return opened == QELHW_OK ? 0 : 1;
}
