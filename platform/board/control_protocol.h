// The board control interface's records, shared by the kernel host's control
// server and the test/tool client: one Unix stream socket
// "<machine>/board-control.sock"; each request is a ControlRequest followed by
// payload_size bytes, each answer a ControlReply followed by payload_size
// bytes. A connection may carry several requests in turn.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::board {

inline constexpr const char* kControlSocketName = "board-control.sock";
inline constexpr std::uint32_t kControlMaxPayload = 1u << 20;

enum ControlCommand : std::uint32_t {
  kControlList = 1,           // payload out: ControlBoardEntry per board
  kControlConfigRead = 2,     // target, offset, width -> value
  kControlConfigWrite = 3,    // target, offset, width, value
  kControlRegisterRead = 4,   // target = BAR, offset -> value
  kControlRegisterWrite = 5,  // target = BAR, offset, value
  kControlRaiseStatus = 6,    // offset = status register, value = bits
  kControlSetVanished = 7,    // value: VanishMode (0 present, 1 vanished, 2 vanished, line held)
  kControlDmaWrite = 8,       // address, payload in: the bytes
  kControlRemove = 9,         // through the kernel host's Plug and Play
  kControlInterruptLevel = 10,  // -> value 1 while the line is asserted
  kControlSetInputs = 11,       // offset = register, value = its input bits
  kControlPeekRegister = 12,    // offset = register -> the value last written
  kControlPeekProcessing = 13,  // target = unit, offset = byte address (width 1: index register) -> value
  kControlPostHostMessage = 14,  // payload in: eight 32-bit words of a host message
  kControlActivity = 15,         // -> payload out: ControlBoardActivity
  kControlRegisterWrites = 16,   // offset = register -> value: the writes it took (register_writes.h)
  kControlEepromPeek = 40,     // offset = EEPROM address -> payload out: its 256 bytes
  kControlEepromProgram = 41,  // offset = EEPROM address, payload in: the bytes
  kControlEepromFitted = 42,   // offset = EEPROM address, value 1 fitted, 0 removed
  kControlEepromNoAck = 43,    // offset = EEPROM address, value 1: the device acknowledges nothing
  kControlI2cHoldClock = 44,   // value 1: a device holds the I2C clock low
  kControlFlashPeek = 50,        // offset = byte offset, width = count -> payload out: the bytes
  kControlFlashProgram = 51,     // offset = byte offset, payload in: the bytes (bench programmer)
  kControlFlashScheme = 52,      // value: 1 persistent per-block protection, 2 legacy groups
  kControlFlashState = 53,       // -> value: board_flash.h state bits, payload out: 64 protection bytes
  kControlFlashVerifyFail = 54,  // value = program runs that leave a word failing its read-back
  kControlFlashReloadHang = 55,  // value 1: a reload from flash never brings the board back
  kControlFlashTiming = 56,      // target = item (0 erase us, 1 program us, 2 reload ms), value
  kControlUartPeer = 60,         // target = port, value = UartPeerMode, payload in: the scripted reply
  kControlUartCameraSend = 61,   // target = port, width bit 0 parity error, bit 1 burst; payload in: bytes
  kControlUartView = 62,         // target = port -> payload out: ControlUartView
  kControlUartHeard = 63,        // target = port -> payload out: every byte the camera received
  kControlUartCapabilities = 64, // value bit 0 fast clock present, bit 1 transmit interrupt present
  kControlInjectFrame = 70,      // payload in: ControlFrame -> value: host buffers filled
  kControlPoclFault = 90,           // target = camera, value 1: its Power over Camera Link reports a fault
  kControlCameraLinkStatus = 91,    // value = the cameras' link status lines (0x418 bits 0..14)
  kControlBinarisationPresent = 92, // value 1: a binarisation block is present
  kControlLutLoads = 93,            // -> value: LUT load pulses seen
  kControlLutPeek = 94,             // offset = BAR 0 address, width = count -> payload out: the bytes
  kControlGrabSetCamera = 100,      // target = camera, payload in: ControlCameraModel
  kControlGrabCamera = 101,         // target = camera -> payload out: ControlCameraModel
  kControlGrabPixelClock = 102,     // target = camera, value 1 present, 0 lost
  kControlGrabTrigger = 103,        // target = camera: a pulse on its external frame trigger
  kControlGrabState = 104,          // target = camera -> payload out: ControlGrabState
  kControlGpioInputs = 120,         // target = group (0 main board, 1 I/O board), value = its input lines
  kControlGpioView = 121,           // -> payload out: ControlGpioView
  kControlCameraUartPeer = 122,     // value = UartPeerMode, payload in: the scripted reply
  kControlCameraUartSend = 123,     // payload in: bytes the camera sends
  kControlCameraUartHeard = 124,    // -> payload out: every byte the camera received
  kControlHostLockedBuffers = 140,  // (any board) -> value: buffers the memory driver holds locked
};

enum ControlConfigTarget : std::uint32_t {
  kControlTargetFunction = 0,
  kControlTargetBridge = 1,
};

enum ControlStatus : std::int32_t {
  kControlOk = 0,
  kControlBadRequest = -1,
  kControlNoSuchBoard = -2,
  kControlBoardRemoved = -3,
  kControlRefused = -4,      // the board or the host said no (value may say why)
  kControlUnreachable = -5,  // client side: no server, or the connection broke
};

struct ControlRequest {
  std::uint32_t command;
  std::int32_t board;
  std::uint32_t target;
  std::uint32_t offset;
  std::uint32_t width;
  std::uint32_t value;
  std::uint64_t address;
  std::uint32_t payload_size;
  std::uint32_t reserved;
};
static_assert(sizeof(ControlRequest) == 40);
static_assert(offsetof(ControlRequest, board) == 4);
static_assert(offsetof(ControlRequest, value) == 20);
static_assert(offsetof(ControlRequest, address) == 24);
static_assert(offsetof(ControlRequest, payload_size) == 32);

struct ControlReply {
  std::int32_t status;
  std::uint32_t value;
  std::uint32_t payload_size;
  std::uint32_t reserved;
};
static_assert(sizeof(ControlReply) == 16);
static_assert(offsetof(ControlReply, payload_size) == 8);

struct ControlUartView {
  std::uint32_t control;       // written bits of 0x1220
  std::uint32_t clock_select;  // 0x1230
  std::uint32_t resets;        // writes of 1 to 0x122C
  std::uint32_t baud;          // the rate the port runs at
  std::uint32_t heard_count;   // bytes the camera received
  std::uint32_t heard_baud;    // the rate the last of them came at
};
static_assert(sizeof(ControlUartView) == 24);
static_assert(offsetof(ControlUartView, heard_baud) == 20);

// The general-purpose I/O block (platform/board/gpio_block.h) as it stands.
struct ControlGpioView {
  std::uint32_t main_lines;      // 0x820 bits 0..3
  std::uint32_t main_latches;    // 0x820 bits 4..7
  std::uint32_t main_settings;   // 0x820 bits 8..31
  std::uint32_t main_outputs;    // 0x824
  std::uint32_t io_lines;        // 0x80C bits 0..8
  std::uint32_t io_settings;     // 0x80C bits 9..31
  std::uint32_t io_latches;      // 0x800 bits 0..7 and 16
  std::uint32_t io_outputs;      // 0x810
  std::uint32_t io_control;      // 0x804
  std::uint32_t load_pulses;     // rising edges of 0x804 bit 6
  std::uint32_t output_setting;  // 0x804 bit 7 at the last of them
};
static_assert(sizeof(ControlGpioView) == 44);
static_assert(offsetof(ControlGpioView, io_lines) == 16);
static_assert(offsetof(ControlGpioView, output_setting) == 40);

// A camera frame at an acquisition channel's input (platform/board/dma_frames.h).
struct ControlFrame {
  std::uint32_t channel;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t bytes_per_pixel;
  std::uint32_t number;
};
static_assert(sizeof(ControlFrame) == 20);
static_assert(offsetof(ControlFrame, number) == 16);

// The camera at a Camera Link input (platform/board/camera_model.h).
struct ControlCameraModel {
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t taps;
  std::uint32_t bits_per_pixel;
  std::uint32_t frame_period_us;
};
static_assert(sizeof(ControlCameraModel) == 20);
static_assert(offsetof(ControlCameraModel, frame_period_us) == 16);

// A camera's grab controller as it stands (platform/board/grab_board.h).
struct ControlGrabState {
  std::uint32_t running;           // 1 while armed or running
  std::uint32_t waiting_trigger;   // 1 while a group waits for its trigger
  std::uint32_t pixel_clock;       // 1 present
  std::uint32_t reset_held;        // 1 while the channel reset holds
  std::uint32_t frames_started;
  std::uint32_t frames_completed;
  std::uint32_t frames_dropped;
  std::uint32_t next_frame;        // the number the next frame carries
  std::uint32_t last_command;      // the last command acted on
  std::uint32_t reset_holds;       // times the channel reset was set
  std::uint32_t triggers;          // frame triggers seen
  std::uint32_t reserved;
  std::uint64_t start_tick_us;     // frame clock (us since power-on) at the last start
};
static_assert(sizeof(ControlGrabState) == 56);
static_assert(offsetof(ControlGrabState, triggers) == 40);
static_assert(offsetof(ControlGrabState, start_tick_us) == 48);

// What the board has done since the kernel host made it: the main FPGA's
// logic resets, bus reads of the flash array (the firmware records the board
// library reads when it initialises the FPGA access), and transfers the
// EEPROMs acknowledged.
struct ControlBoardActivity {
  std::uint32_t logic_resets;
  std::uint32_t flash_array_reads;
  std::uint32_t eeprom_accesses;
  std::uint32_t reserved;
};
static_assert(sizeof(ControlBoardActivity) == 16);

struct ControlBoardEntry {
  char model[32];  // zero-terminated
  std::int32_t index;
  std::uint8_t bus, device, function;
  std::uint8_t present;  // 0 once removed
  std::uint8_t bridge_bus, bridge_device, bridge_function;
  std::uint8_t reserved[5];
};
static_assert(sizeof(ControlBoardEntry) == 48);
static_assert(offsetof(ControlBoardEntry, index) == 32);
static_assert(offsetof(ControlBoardEntry, bus) == 36);
static_assert(offsetof(ControlBoardEntry, bridge_bus) == 40);

}  // namespace plat::board
