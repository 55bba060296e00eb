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
  kControlPeekProcessing = 13,
  kControlEepromPeek = 40,     // offset = EEPROM address -> payload out: its 256 bytes
  kControlEepromProgram = 41,  // offset = EEPROM address, payload in: the bytes
  kControlEepromFitted = 42,   // offset = EEPROM address, value 1 fitted, 0 removed
  kControlEepromNoAck = 43,    // offset = EEPROM address, value 1: the device acknowledges nothing
  kControlI2cHoldClock = 44,   // value 1: a device holds the I2C clock low  // target = unit, offset = byte address (width 1: index register) -> value
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
