// plat-boards: prints the PCI configuration of every board of the running
// kernel host (PLAT_MACHINE names the machine), read through the board
// control interface: ids, command and status, BARs with their sizes,
// interrupt, link, location and the bridge above. Exit code 1 when no kernel
// host answers.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/board/config_space.h"
#include "platform/testing/board_control.h"
#include "platform/tool_usage.h"
#include "platform/win/machine.h"

namespace {

using namespace plat::board;
using namespace plat::testing;

std::uint32_t read_config(int board, std::uint32_t offset, std::uint32_t width, bool bridge = false) {
  std::uint32_t value = config_all_ones(width);
  board_control_config_read(board, offset, width, &value, bridge);
  return value;
}

// Size of a 32-bit memory BAR by the all-ones probe; the BAR is restored.
std::uint32_t probe_bar_size(int board, std::uint32_t offset) {
  const std::uint32_t original = read_config(board, offset, 4);
  board_control_config_write(board, offset, 4, 0xFFFFFFFF);
  const std::uint32_t probed = read_config(board, offset, 4);
  board_control_config_write(board, offset, 4, original);
  const std::uint32_t mask = probed & ~std::uint32_t{0xF};
  return mask == 0 ? 0 : ~mask + 1;
}

std::uint32_t find_capability(int board, std::uint8_t id, bool bridge) {
  std::uint32_t at = read_config(board, kCfgCapabilityPointer, 1, bridge);
  for (int hops = 0; at != 0 && at != 0xFF && hops < 48; ++hops) {
    if (read_config(board, at, 1, bridge) == id) return at;
    at = read_config(board, at + 1, 1, bridge);
  }
  return 0;
}

const char* speed_text(std::uint32_t code) {
  static constexpr const char* kSpeeds[] = {"?", "2.5 GT/s", "5 GT/s", "8 GT/s"};
  return code < 4 ? kSpeeds[code] : "?";
}

void print_link(int board, bool bridge) {
  const std::uint32_t cap = find_capability(board, kCapPciExpress, bridge);
  if (cap == 0) {
    std::printf("  link: no PCI Express capability\n");
    return;
  }
  const std::uint32_t status = read_config(board, cap + kExpLinkStatus, 2, bridge);
  const std::uint32_t caps = read_config(board, cap + kExpLinkCapabilities, 4, bridge);
  std::printf("  link: x%u %s (max x%u %s), capability at 0x%02x\n", (status >> 4) & 0x3F,
              speed_text(status & 0xF), (caps >> 4) & 0x3F, speed_text(caps & 0xF), cap);
}

void print_bars(int board) {
  for (int bar = 0; bar < 6; ++bar) {
    const std::uint32_t offset = kCfgBar0 + 4 * static_cast<std::uint32_t>(bar);
    const std::uint32_t value = read_config(board, offset, 4);
    const std::uint32_t size = probe_bar_size(board, offset);
    if (size == 0) continue;
    std::printf("  bar%d: 0x%08x memory%s size 0x%x\n", bar, value & ~0xFu,
                (value & 0x8) ? " prefetchable" : "", size);
  }
}

void print_function(const BoardListing& listing) {
  const int b = listing.index;
  std::printf("board %d: %s at %02x:%02x.%x\n", b, listing.model.c_str(), listing.location.bus,
              listing.location.device, listing.location.function);
  std::printf("  vendor 0x%04x device 0x%04x subsystem 0x%04x:0x%04x class 0x%06x revision 0x%02x\n",
              read_config(b, kCfgVendorId, 2), read_config(b, kCfgDeviceId, 2),
              read_config(b, kCfgSubsystemVendorId, 2), read_config(b, kCfgSubsystemId, 2),
              read_config(b, kCfgClassCode, 3), read_config(b, kCfgRevision, 1));
  std::printf("  command 0x%04x status 0x%04x\n", read_config(b, kCfgCommand, 2),
              read_config(b, kCfgStatus, 2));
  print_bars(b);
  static constexpr const char* kPins[] = {"none", "INTA", "INTB", "INTC", "INTD"};
  const std::uint32_t pin = read_config(b, kCfgInterruptPin, 1);
  std::printf("  interrupt: pin %s line %u\n", pin <= 4 ? kPins[pin] : "invalid",
              read_config(b, kCfgInterruptLine, 1));
  print_link(b, false);
}

void print_bridge(const BoardListing& listing) {
  const int b = listing.index;
  std::printf("  bridge %02x:%02x.%x: vendor 0x%04x device 0x%04x class 0x%06x command 0x%04x\n",
              listing.bridge.bus, listing.bridge.device, listing.bridge.function,
              read_config(b, kCfgVendorId, 2, true), read_config(b, kCfgDeviceId, 2, true),
              read_config(b, kCfgClassCode, 3, true), read_config(b, kCfgCommand, 2, true));
  const std::uint32_t base = read_config(b, kCfgMemoryBase, 2, true);
  const std::uint32_t limit = read_config(b, kCfgMemoryLimit, 2, true);
  std::printf("    buses primary %u secondary %u subordinate %u, memory 0x%08x-0x%08x\n",
              read_config(b, kCfgPrimaryBus, 1, true), read_config(b, kCfgSecondaryBus, 1, true),
              read_config(b, kCfgSubordinateBus, 1, true), (base & 0xFFF0) << 16,
              ((limit & 0xFFF0) << 16) | 0xFFFFF);
}

constexpr const char* kUsage =
    "usage: plat-boards\n"
    "Prints the PCI configuration of every board of the kernel host running on the\n"
    "machine that PLAT_MACHINE names: ids, command and status, BARs, interrupt, link,\n"
    "location and the bridge above each board. Exit code 1 when no kernel host answers.\n";

}  // namespace

int main(int argc, char** argv) {
  if (const int answered = plat::answer_tool_usage(argc, argv, kUsage); answered >= 0) return answered;
  std::vector<BoardListing> boards;
  const int status = board_control_list(&boards);
  if (status == kControlUnreachable) {
    const std::string machine = plat::machine_dir();
    if (machine.empty())
      std::fprintf(stderr, "plat-boards: PLAT_MACHINE names no machine directory\n");
    else
      std::fprintf(stderr, "plat-boards: no kernel host runs on the machine %s: start kernel-host first\n",
                   machine.c_str());
    return 1;
  }
  if (status != kControlOk) {
    std::fprintf(stderr, "plat-boards: the kernel host refused the board list (status %d)\n", status);
    return 1;
  }
  std::printf("%zu board(s)\n", boards.size());
  for (const BoardListing& listing : boards) {
    if (!listing.present) {
      std::printf("board %d: removed\n", listing.index);
      continue;
    }
    print_function(listing);
    print_bridge(listing);
  }
  return 0;
}
