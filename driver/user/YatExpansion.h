// Exports of the expansion processing unit and of the high-speed link
// (management bus, PHYs, lanes, serial channel). Their driver sections are
// not served by this board's driver; the requests are carried all the same.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/QelHwStatus.h"

#ifndef PARDOW_API
#define PARDOW_API extern "C" __attribute__((visibility("default")))
#endif

struct YatTransferHandle;
struct YatRegisterPairs;

inline constexpr std::uint32_t YAT_IOCTRL_EXPIPU_WRITE_REG = 0x223000;
inline constexpr std::uint32_t YAT_IOCTRL_EXPIPU_READ_REG = 0x223004;
inline constexpr std::uint32_t YAT_IOCTRL_EXPIPU_START_XFER = 0x223008;
inline constexpr std::uint32_t YAT_IOCTRL_EXPIPU_CREATE_XFER = 0x22300C;
inline constexpr std::uint32_t YAT_IOCTRL_EXPIPU_DESTROY_XFER = 0x223010;

inline constexpr std::uint32_t YAT_IOCTRL_MDIO_READ = 0x223200;
inline constexpr std::uint32_t YAT_IOCTRL_MDIO_WRITE = 0x223204;
inline constexpr std::uint32_t YAT_IOCTRL_HS_PHY_RESET = 0x223208;
inline constexpr std::uint32_t YAT_IOCTRL_HS_SET_LANES = 0x22320C;
inline constexpr std::uint32_t YAT_IOCTRL_MDIO_PHY_STATUS = 0x223210;
inline constexpr std::uint32_t YAT_IOCTRL_CLHS_SERIAL_READ_PORT = 0x223214;
inline constexpr std::uint32_t YAT_IOCTRL_CLHS_SERIAL_WRITE_PORT = 0x223218;
inline constexpr std::uint32_t YAT_IOCTRL_CLHS_SERIAL_CONNECT_PORT = 0x22321C;
inline constexpr std::uint32_t YAT_IOCTRL_CLHS_SERIAL_DISCONNECT_PORT = 0x223220;

#pragma pack(push, 1)
struct YatExpIpuRegisterIn {
  YatIocHeader header;
  std::uint32_t reg;
  std::uint32_t value;  // write only
};
struct YatExpIpuReadIn {
  YatIocHeader header;
  std::uint32_t reg;
};
struct YatExpIpuValueOut {
  YatIocStatus status;
  std::uint32_t value;
};
struct YatExpIpuStartIn {
  YatIocHeader header;
  std::uint32_t first;
  std::uint64_t kernelHandle;
  std::uint32_t second;
};
struct YatExpIpuCreateIn {
  YatIocHeader header;
  std::uint64_t hostBufferDescription;
};
struct YatExpIpuCreateOut {
  YatIocStatus status;
  std::uint64_t kernelHandle;
};
struct YatExpIpuDestroyIn {
  YatIocHeader header;
  std::uint64_t kernelHandle;
  std::uint64_t argument;
};
struct YatMdioIn {
  YatIocHeader header;
  std::uint8_t phy;
  std::uint8_t device;
  std::uint16_t reg;
  std::uint16_t value;  // write only
};
struct YatMdioReadIn {
  YatIocHeader header;
  std::uint8_t phy;
  std::uint8_t device;
  std::uint16_t reg;
};
struct YatMdioOut {
  YatIocStatus status;
  std::uint16_t value;
};
struct YatLinkPairIn {  // PHY reset, lanes, PHY status
  YatIocHeader header;
  std::uint32_t first;
  std::uint32_t second;
};
struct YatLinkValueOut {
  YatIocStatus status;
  std::uint32_t value;
};
struct YatLinkSerialIn {
  YatIocHeader header;
  std::uint32_t port;
  std::uint32_t count;
  std::uint64_t buffer;
};
#pragma pack(pop)
static_assert(sizeof(YatExpIpuRegisterIn) == 16 && offsetof(YatExpIpuRegisterIn, value) == 12);
static_assert(sizeof(YatExpIpuReadIn) == 12 && sizeof(YatExpIpuValueOut) == 8);
static_assert(sizeof(YatExpIpuStartIn) == 24 && offsetof(YatExpIpuStartIn, kernelHandle) == 12 &&
              offsetof(YatExpIpuStartIn, second) == 20);
static_assert(sizeof(YatExpIpuCreateIn) == 16 && sizeof(YatExpIpuCreateOut) == 12);
static_assert(sizeof(YatExpIpuDestroyIn) == 24 && offsetof(YatExpIpuDestroyIn, argument) == 16);
static_assert(sizeof(YatMdioIn) == 14 && offsetof(YatMdioIn, reg) == 10 && offsetof(YatMdioIn, value) == 12);
static_assert(sizeof(YatMdioReadIn) == 12 && sizeof(YatMdioOut) == 6);
static_assert(sizeof(YatLinkPairIn) == 16 && sizeof(YatLinkValueOut) == 8);
static_assert(sizeof(YatLinkSerialIn) == 24 && offsetof(YatLinkSerialIn, buffer) == 16);

// Expansion processing unit.
PARDOW_API QelHwStatus Yat_ExpIpu_IsPresent(std::uint32_t board, std::uint32_t* present);
PARDOW_API QelHwStatus Yat_ExpIpu_WriteDataReg(std::uint32_t board, std::uint32_t reg, std::uint32_t value);
PARDOW_API QelHwStatus Yat_ExpIpu_WriteBlockIndexReg(std::uint32_t board, const YatRegisterPairs* pairs,
                                                     std::uint32_t count);
PARDOW_API QelHwStatus Yat_ExpIpu_ReadDataReg(std::uint32_t board, std::uint32_t reg, std::uint32_t* value);
PARDOW_API QelHwStatus Yat_ExpIpu_ReadBlockIndexReg(std::uint32_t board, YatRegisterPairs* pairs, std::uint32_t count);
PARDOW_API QelHwStatus Yat_ExpIpu_CreateHostTransfer(std::uint32_t board, YatTransferHandle* handle,
                                                     std::uint64_t hostBufferDescription);
PARDOW_API QelHwStatus Yat_ExpIpu_StartHostTransfer(YatTransferHandle* handle, std::uint32_t first,
                                                    std::uint32_t second);
PARDOW_API QelHwStatus Yat_ExpIpu_StopHostTransfer(YatTransferHandle* handle);
PARDOW_API QelHwStatus Yat_ExpIpu_DestroyHostTransfer(YatTransferHandle* handle, std::uint64_t argument);
PARDOW_API QelHwStatus Yat_ExpIpu_Reset(std::uint32_t board);

// High-speed link.
PARDOW_API QelHwStatus Yat_MDIO_Read(std::uint32_t board, std::uint8_t phy, std::uint8_t device, std::uint16_t reg,
                                     std::uint16_t* value);
PARDOW_API QelHwStatus Yat_MDIO_Write(std::uint32_t board, std::uint8_t phy, std::uint8_t device, std::uint16_t reg,
                                      std::uint16_t value);
PARDOW_API QelHwStatus Yat_MDIO_Phys_Status(std::uint32_t board, std::uint32_t phy, std::uint32_t item,
                                            std::uint32_t* value);
PARDOW_API QelHwStatus Yat_Man_Reset_HighSpeed_Phy(std::uint32_t board, std::uint32_t first, std::uint32_t second);
PARDOW_API QelHwStatus Yat_Fpga_FE_SetLanes(std::uint32_t board, std::uint32_t first, std::uint32_t second);
PARDOW_API QelHwStatus Yat_Fpga_FE_Set_HS_Core(std::uint32_t board, std::uint32_t fpga, std::uint32_t bitsPerPixel,
                                               std::uint32_t lineLength, std::uint32_t lanes, std::uint32_t taps);
PARDOW_API QelHwStatus Yat_CLHS_Serial_Write_Port(std::uint32_t board, std::uint32_t port, std::uint32_t count,
                                                  const void* buffer);
PARDOW_API QelHwStatus Yat_CLHS_Serial_Read_Port(std::uint32_t board, std::uint32_t port, std::uint32_t* count,
                                                 void* buffer);
PARDOW_API QelHwStatus Yat_CLHS_Serial_Connect_Port(std::uint32_t board, std::uint32_t port);
PARDOW_API QelHwStatus Yat_CLHS_Serial_Disconnect_Port(std::uint32_t board, std::uint32_t port);
