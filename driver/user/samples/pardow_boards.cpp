// Opens the board library and prints the state of every board it found.
#include <cstdint>
#include <cstdio>

#include "driver/user/Pardow.h"
#include "driver/user/samples/SampleOpen.h"

namespace {

constexpr const char* kUsage =
    "usage: pardow-boards\n"
    "Opens the board library \"Pardow.DLL\" and prints each board it found: initialised or\n"
    "not, register window, camera inputs, and the initialisation error.\n"
    "Needs PLAT_MACHINE (the emulated machine), a running kernel-host on it and\n"
    "YATFOLVA4XDIR (the driver folder with Yat_Tramond-CL_RZ6_Config.ini).\n"
    "Exit code 0 when the library opened, 1 otherwise.\n";

}  // namespace

int main(int argc, char** argv) {
  if (pardow_sample::AsksForHelp(argc, argv)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc > 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const QelHwStatus opened = QelHw_Open();
  std::printf("QelHw_Open: %d (%s)\n", opened, QelHw_GetErrorName(opened));
  if (opened != QELHW_OK) {
    pardow_sample::ReportOpenFailure("pardow-boards", opened);
    return 1;
  }
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
  return 0;
}
