// A simulated frame grabber as a PCI function on the simulated bus. The kernel
// reaches it only through these calls: configuration space, BAR accesses (each
// a synchronous call into the model) and the interrupt line. Work that takes
// time on real hardware runs on the model's own threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::board {

struct BoardConfig {
  std::string model;  // "FolvantX4Full" or "FolvantX4Dual"
};

// Location on the simulated bus.
struct PciLocation {
  std::uint8_t bus, device, function;
};

class Board;

// Boards are numbered 0.. in the order they were made; the machine directory
// holds their persistent state. Null for an unknown model or an index the
// bus has no slot for (0 to kMaxBoards - 1).
inline constexpr int kMaxBoards = 31;
Board* board_create(const BoardConfig& config, int index);
// The interrupt callback must be disconnected (or never called again) first.
void board_destroy(Board* board);

const BoardConfig& board_config(const Board* board);
int board_index(const Board* board);
PciLocation board_location(const Board* board);
PciLocation board_bridge_location(const Board* board);

// Configuration space of the function (256 bytes) and of the bridge above it.
// Width is 1 to 4 bytes within one double word; anything else reads all ones
// and writes nothing. Reads answer all ones while the board is vanished.
std::uint32_t config_read(Board* board, std::uint32_t offset, std::uint32_t width);
void config_write(Board* board, std::uint32_t offset, std::uint32_t width, std::uint32_t value);
std::uint32_t bridge_config_read(Board* board, std::uint32_t offset, std::uint32_t width);
void bridge_config_write(Board* board, std::uint32_t offset, std::uint32_t width, std::uint32_t value);

// The memory ranges the board decodes, as the bus assigns them (read from the
// BARs, so a BAR moved through configuration space moves here too).
struct BarRange {
  int bar;
  std::uint64_t bus_address;
  std::uint64_t length;
};
std::vector<BarRange> board_bars(const Board* board);

// Register access through a BAR. Unknown offsets are logged and read as all ones.
std::uint32_t bar_read32(Board* board, int bar, std::uint64_t offset);
void bar_write32(Board* board, int bar, std::uint64_t offset, std::uint32_t value);

// The level-sensitive interrupt line: the kernel installs one callback,
// called on each change of level (from any thread of the model, never with a
// lock of the model held, so the callback may access registers). Installing a
// callback reports an already asserted line at once. Replacing or clearing it
// waits for a call in progress to end, so it must not be done from inside
// the callback.
using InterruptLineCallback = void (*)(void* context, bool asserted);
void board_set_interrupt_callback(Board* board, InterruptLineCallback callback, void* context);
bool board_interrupt_asserted(const Board* board);

// Events of the model and of tests: sets status bits in one of the interrupt
// status registers (BAR 0 offsets 0x404, 0x408, 0x40C, 0x44C, 0x10014; see
// interrupt_block.h). False for any other register.
bool board_raise_status(Board* board, std::uint32_t status_register, std::uint32_t bits);
// The host DMA engine's message of eight words (host_messages.h gives word 0's
// fields); false when the board's message FIFO is full.
bool board_post_host_message(Board* board, const std::uint32_t (&words)[8]);

// Fault knob: a vanished board answers all ones to configuration and register
// reads, ignores writes, performs no DMA and drops its interrupt line.
void board_set_vanished(Board* board, bool vanished);
bool board_vanished(const Board* board);
// The same, choosing what the interrupt line does: kVanishedLineHeld keeps the
// level the board's pending statuses give it (a board that fell off the bus
// with its interrupt asserted), so the driver meets the all-ones registers
// in its interrupt routine.
enum class VanishMode : std::uint32_t { kPresent = 0, kVanished = 1, kVanishedLineHeld = 2 };
void board_set_vanish_mode(Board* board, VanishMode mode);

// For tests (control_registers.h, processing_unit.h): sets the input bits of
// a plain register (false when it has none); reads the value last written to
// a plain register, write-only ones included (false for other offsets).
bool board_set_register_inputs(Board* board, std::uint32_t offset, std::uint32_t value);
bool board_peek_register(Board* board, std::uint32_t offset, std::uint32_t* value);
// The writes a register of BAR 0 took since the board was made (register_writes.h);
// false beyond the register space or off a word.
bool board_register_writes(Board* board, std::uint32_t offset, std::uint32_t* count);
// A word of a processing unit's memory (byte address) or one of its index
// registers; false outside the unit.
bool board_peek_processing(Board* board, std::uint32_t unit, std::uint32_t address, bool index_register,
                           std::uint32_t* value);

}  // namespace plat::board
