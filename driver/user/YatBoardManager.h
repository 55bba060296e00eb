// Exports of the board manager: values that follow from the board model, the
// firmware keys of the configuration store, the firmware check and the
// daughter-board FPGAs, the hardware reset, the device parameters and the
// firmware copies between files and flash sections.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

#ifndef PARDOW_API
#define PARDOW_API extern "C" __attribute__((visibility("default")))
#endif

// Board model values.
PARDOW_API QelHwStatus Yat_Man_GetMaxGPIO(std::uint32_t board, std::uint32_t* count);
PARDOW_API QelHwStatus Yat_Man_GetSerialPortCount(std::uint32_t board, std::uint32_t* ports, std::uint32_t* second);
PARDOW_API QelHwStatus Yat_Man_GetInternalBusWidth(std::uint32_t board, std::uint32_t* width);
PARDOW_API QelHwStatus Yat_Man_SetVariableClockFrequency(std::uint32_t board, std::uint32_t frequency);
PARDOW_API QelHwStatus Yat_Man_Connect(std::uint32_t board, std::uint32_t flags);
PARDOW_API QelHwStatus Yat_Man_Disconnect(std::uint32_t board, std::uint32_t flags);

// Firmware keys of the configuration store.
struct YatRegistryFirmwareKeyInfo;
PARDOW_API QelHwStatus Yat_Man_GetRegistryFirmwareKeyInfo(std::uint32_t board, std::uint32_t section,
                                                          std::uint32_t flags, YatRegistryFirmwareKeyInfo* info);
PARDOW_API QelHwStatus Yat_Man_GetRegistryFirmwareKey(std::uint32_t board, std::uint32_t section, char* key,
                                                      std::uint32_t size);
PARDOW_API QelHwStatus Yat_Man_GetFpgaFileName(std::uint32_t board, std::uint32_t section, char* name,
                                               std::uint32_t size);
PARDOW_API QelHwStatus Yat_Man_SetFpgaFileName(std::uint32_t board, std::uint32_t section, const char* file);

// Firmware check and daughter boards.
PARDOW_API QelHwStatus Yat_FPGA_Initialize(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_UpdateFpga(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_IoBoard_UpdateFpga(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_IpuBoard_UpdateFpga(std::uint32_t board);
PARDOW_API std::uint32_t Yat_Man_isIoBoardFpgaLoaded(std::uint32_t board);
PARDOW_API std::uint32_t Yat_Man_isIpuBoardFpgaLoaded(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_IoBoard_Unload(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_IpuBoard_Unload(std::uint32_t board);

// Hardware reset.
PARDOW_API QelHwStatus Yat_Man_Board_HWReset_At_Address(std::uint32_t board, std::uint32_t flags,
                                                        std::uint32_t address);
PARDOW_API QelHwStatus Yat_Man_Board_HWReset(std::uint32_t board, std::uint32_t flags);
PARDOW_API QelHwStatus Yat_Man_Board_Reset(std::uint32_t board);

// Device parameters and firmware information.
PARDOW_API QelHwStatus Yat_Man_GetDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter,
                                            std::uint32_t size, void* value);
PARDOW_API QelHwStatus Yat_Man_SetDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter,
                                            std::uint32_t size, void* value);
PARDOW_API QelHwStatus QelHw_X_Firmware_GetVersionInfo(std::uint32_t board, std::uint32_t section,
                                                       std::uint32_t* stateFlags, std::uint8_t* header,
                                                       std::uint32_t bufferSize, std::uint32_t* headerSize);
PARDOW_API QelHwStatus QelHw_X_Firmware_GetName(std::uint32_t board, std::uint32_t section, char* name,
                                                std::uint32_t size);
PARDOW_API QelHwStatus Yat_Man_Load_Firmware(std::uint32_t board, std::uint32_t section, const char* file);
PARDOW_API QelHwStatus Yat_Man_Save_Firmware(std::uint32_t board, std::uint32_t section, const char* file);
PARDOW_API QelHwStatus Yat_Man_GetVirtex2Info(std::uint32_t board, std::uint8_t* record);
PARDOW_API QelHwStatus Yat_Man_GetSpartanTimeDate(std::uint32_t board, std::uint32_t* value);
PARDOW_API QelHwStatus Yat_Man_Get_HwState(std::uint32_t board, std::uint32_t* state, std::uint32_t level);
PARDOW_API QelHwStatus Yat_Man_Get_HwBufferFree(std::uint32_t board, std::uint32_t word, std::uint8_t* isFree,
                                                std::uint32_t options);
PARDOW_API QelHwStatus Yat_Man_Get_HwBufferCounter(std::uint32_t board, std::uint32_t word,
                                                   std::uint32_t* counter, std::uint32_t options);
PARDOW_API QelHwStatus Yat_Man_GetHostDmaType(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_IsGutentagNeeded(std::uint32_t board, std::uint32_t* needed);
PARDOW_API std::uint32_t Yat_Man_isMultiDmaSupported(std::uint32_t verbose);
PARDOW_API QelHwStatus QelHw_Pnp_RegisterCallback(void* callback, void* context);
PARDOW_API QelHwStatus QelHw_Pnp_UnregisterCallback(void* callback);
PARDOW_API QelHwStatus Yat_Man_CreateSerialPorts(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_DestroySerialPorts(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_OpenSerialPortInterface(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_CloseSerialPortInterface(std::uint32_t board);
