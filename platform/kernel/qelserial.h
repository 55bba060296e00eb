// The serial-port manager driver QelSerial and its client drivers: a client
// registers each of its ports with internal device-control requests sent to
// "\Device\QelSerial" (or, when the manager is not running yet, waits for it
// on the callback object "\Callback\QelSerialManager"); the manager then
// drives the port with serial commands, internal device-control requests sent
// to the client's device, and exchanges the data through a shared block with
// two rings per port and the client's port event.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/kernel/device.h"

namespace plat::kernel {

inline constexpr wchar_t kQelSerialDeviceName[] = L"\\Device\\QelSerial";
inline constexpr wchar_t kQelSerialCallbackName[] = L"\\Callback\\QelSerialManager";

// Requests to the manager.
inline constexpr std::uint32_t kQelSerialGetVersion = 0x1B2148;  // out: u32 version
inline constexpr std::uint32_t kQelSerialAddPort = 0x1B2140;     // in: client record, out: port record
inline constexpr std::uint32_t kQelSerialDeletePort = 0x1B2144;  // in: port record (index and handle)
// The manager's interface version: from 2 on the shared block names its rings by address.
inline constexpr std::uint32_t kQelSerialVersion = 4;

// The serial command the manager sends to a client's device.
inline constexpr std::uint32_t kQelSerialClientCommand = 0x2221C0;

// Mask bits of the client record (the serial property mask values).
inline constexpr std::uint32_t kSerialBaud4800 = 0x00000200;
inline constexpr std::uint32_t kSerialBaud9600 = 0x00000800;
inline constexpr std::uint32_t kSerialDataBits7 = 0x0004;
inline constexpr std::uint32_t kSerialDataBits8 = 0x0008;

struct QelSerialClientRecord {
  char16_t boardName[256];
  char16_t deviceName[256];
  std::uint32_t portIndex;
  std::uint32_t clientId;
  std::uint64_t portEvent;  // address of the client's KernelEvent
  std::uint32_t clientVersion;
  std::uint32_t clientKind;
  std::uint32_t baudMask;
  std::uint32_t dataBitsMask;
  std::uint32_t stopParityMask;
  std::uint32_t zero;
  std::uint32_t boardValue;
  std::uint32_t controlDeviceFlag;
  std::uint32_t reservedWord;
  std::uint8_t rest[52];
};
static_assert(sizeof(QelSerialClientRecord) == 1128);
static_assert(offsetof(QelSerialClientRecord, deviceName) == 512);
static_assert(offsetof(QelSerialClientRecord, portIndex) == 1024);
static_assert(offsetof(QelSerialClientRecord, clientId) == 1028);
static_assert(offsetof(QelSerialClientRecord, portEvent) == 1032);
static_assert(offsetof(QelSerialClientRecord, clientVersion) == 1040);
static_assert(offsetof(QelSerialClientRecord, clientKind) == 1044);
static_assert(offsetof(QelSerialClientRecord, baudMask) == 1048);
static_assert(offsetof(QelSerialClientRecord, stopParityMask) == 1056);
static_assert(offsetof(QelSerialClientRecord, boardValue) == 1064);
static_assert(offsetof(QelSerialClientRecord, controlDeviceFlag) == 1068);
static_assert(offsetof(QelSerialClientRecord, reservedWord) == 1072);

#pragma pack(push, 4)
// The manager's answer to an add, and the input of a delete.
struct QelSerialPortRecord {
  std::uint8_t information[256];  // the manager writes the terminal's path here, zero-terminated
  std::uint8_t unused[256];
  std::uint32_t portIndex;
  std::uint64_t portHandle;
};

// u16 command, u8 port, u8 sub-command, then a u32 value or a u64 address.
struct QelSerialCommand {
  std::uint16_t command;
  std::uint8_t port;
  std::uint8_t subCommand;
  std::uint64_t argument;
};
#pragma pack(pop)
static_assert(sizeof(QelSerialPortRecord) == 524);
static_assert(offsetof(QelSerialPortRecord, portIndex) == 512);
static_assert(offsetof(QelSerialPortRecord, portHandle) == 516);
static_assert(sizeof(QelSerialCommand) == 12);
static_assert(offsetof(QelSerialCommand, argument) == 4);

enum QelSerialCommandCode : std::uint16_t {
  kSerialConnect = 1,
  kSerialDisconnect = 2,
  kSerialReset = 3,
  kSerialTransmitPending = 4,
  kSerialNothing = 5,
  kSerialSetRegister = 7,
};
inline constexpr std::uint8_t kSerialRegisterLineControl = 3;
inline constexpr std::uint8_t kSerialRegisterBaudRate = 10;

// Line-control values (the usual UART encoding).
inline constexpr std::uint32_t kLineWordLengthMask = 0x03;  // 2: 7 bits, 3: 8 bits
inline constexpr std::uint32_t kLineTwoStopBits = 0x04;
inline constexpr std::uint32_t kLineParityMask = 0x38;
inline constexpr std::uint32_t kLineParityOdd = 0x08;
inline constexpr std::uint32_t kLineParityEven = 0x18;

// The shared block of a connected port: 32-bit words at the start, the rings
// inside the block (manager version below 2) or anywhere, by address (from 2).
inline constexpr std::uint32_t kSharedWordBaudRate = 2;
inline constexpr std::uint32_t kSharedWordLineControl = 3;
inline constexpr std::uint32_t kSharedWordErrors = 5;
inline constexpr std::uint32_t kSharedErrorOverflow = 0x2;
inline constexpr std::uint32_t kSharedErrorParity = 0x4;
inline constexpr std::size_t kSharedLegacyReceiveRing = 28;
inline constexpr std::size_t kSharedLegacyTransmitRing = 168;
inline constexpr std::size_t kSharedReceiveRingAddress = 308;
inline constexpr std::size_t kSharedTransmitRingAddress = 316;
inline constexpr std::size_t kSharedBlockSize = 324;

// A ring: the header, then `size` data bytes. The producer moves the write
// index, the consumer the read index.
struct QelSerialRing {
  std::uint32_t size;
  std::uint32_t writeIndex;
  std::uint32_t readIndex;
};
static_assert(sizeof(QelSerialRing) == 12);

inline std::uint8_t* ring_data(QelSerialRing* ring) { return reinterpret_cast<std::uint8_t*>(ring + 1); }
inline std::uint32_t ring_free(std::uint32_t size, std::uint32_t write, std::uint32_t read) {
  return write >= read ? size - write + read - 1 : read - write - 1;
}
inline std::uint32_t ring_pending(std::uint32_t size, std::uint32_t write, std::uint32_t read) {
  return write >= read ? write - read : write + size - read;
}

// The manager as a driver of the kernel host. Started before its clients it
// is found by name; started after them it announces itself on the callback
// object.
NtStatus qelserial_driver_entry(DriverObject* driver, const KernelString* registry_path);

}  // namespace plat::kernel
