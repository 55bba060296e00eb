// The records of the I2C requests (section 4), shared by the driver and the
// board library: a register-addressed read or write of one device on a
// board's I2C bus. The 64-bit caller's record names its data by an 8-byte
// address, the 32-bit caller's by a 4-byte one (its later fields move up).
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatIoctl.h"

// The largest device on the bus: a transfer never moves more.
inline constexpr std::uint32_t YAT_I2C_MAX_TRANSFER = 256;

#pragma pack(push, 4)
struct YatI2cRequestIn {
  YatIocHeader header;
  std::uint32_t bus;             // low byte taken
  std::uint32_t deviceAddress;   // 8-bit form, low byte taken
  std::uint32_t subAddress;      // low byte taken
  std::uint64_t buffer;          // the caller's data
  std::uint32_t count;
  std::uint32_t subAddressFlag;  // low byte taken; 1 sends the sub-address first
};

struct YatI2cRequestIn32 {
  YatIocHeader header;
  std::uint32_t bus;
  std::uint32_t deviceAddress;
  std::uint32_t subAddress;
  std::uint32_t buffer;
  std::uint32_t count;
  std::uint32_t subAddressFlag;
};
#pragma pack(pop)

static_assert(sizeof(YatI2cRequestIn) == 36);
static_assert(offsetof(YatI2cRequestIn, bus) == 8);
static_assert(offsetof(YatI2cRequestIn, deviceAddress) == 12);
static_assert(offsetof(YatI2cRequestIn, subAddress) == 16);
static_assert(offsetof(YatI2cRequestIn, buffer) == 20);
static_assert(offsetof(YatI2cRequestIn, count) == 28);
static_assert(offsetof(YatI2cRequestIn, subAddressFlag) == 32);
static_assert(sizeof(YatI2cRequestIn32) == 32);
static_assert(offsetof(YatI2cRequestIn32, buffer) == 20);
static_assert(offsetof(YatI2cRequestIn32, count) == 24);
static_assert(offsetof(YatI2cRequestIn32, subAddressFlag) == 28);
