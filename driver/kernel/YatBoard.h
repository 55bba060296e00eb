// A board's life inside the driver: its extension, start-up and close,
// interrupt routine and DPC, DMA adapter, PCI location and configuration space.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"
#include "platform/kernel/irp.h"

// Board-extension initialisation (always succeeds).
plat::NtStatus InitBoardExtension(plat::kernel::DeviceObject* boardDevice, plat::kernel::DeviceObject* controlDevice,
                                  std::uint32_t slot);
// Start-up once the ranges are mapped, the interrupt connected and the adapter taken.
QelHwStatus BoardAddDevice(YatBoardExtension* board);
// The board's close at removal.
void CloseBoard(YatBoardExtension* board);

// Walks the translated resources of a start request.
plat::NtStatus MapDevice(plat::kernel::DeviceObject* boardDevice, const plat::kernel::ResourceList* translated);
plat::NtStatus DrvRegisterInterrupt(plat::kernel::DeviceObject* boardDevice);
bool DrvIsr(plat::kernel::InterruptObject* interrupt, void* context);
QelHwStatus BoardIsr(YatBoardExtension* board, plat::kernel::DeviceObject* boardDevice, void* context);
void YatMgrDpc(plat::kernel::Dpc* dpc, void* context, void* argument1, void* argument2);

QelHwStatus GetDmaAdapter(YatBoardExtension* board);
void PutDmaAdapter(YatBoardExtension* board);

// bus << 8 | device << 3 | function.
QelHwStatus GDrv_GetDeviceBusInformation(YatBoardExtension* board, std::uint32_t* location);
QelHwStatus GDrv_ReadPciConfigurationSpace(YatBoardExtension* board, void* buffer, std::uint32_t offset,
                                           std::uint32_t length);
QelHwStatus GDrv_WritePciConfigurationSpace(YatBoardExtension* board, const void* buffer, std::uint32_t offset,
                                            std::uint32_t length);

// A command of the serial-port manager for this board.
void YatSerialManagerCommand(YatBoardExtension* board, void* command, std::uint32_t length);

// The interrupt-mask word and register 0x42C, changed synchronised with the
// interrupt: word = (word & ~mask) | (value & mask). Answers 0.
QelHwStatus SetInterruptMask(YatBoardExtension* board, std::uint32_t value, std::uint32_t mask);
// Sets the master enable once the DMA controller answers its version probe.
QelHwStatus EnableMasterInterrupt(YatBoardExtension* board);
void DisableMasterInterrupt(YatBoardExtension* board);
// Saves and clears the mask (waiting out a running interrupt routine and its
// DPC); the restore writes the saved mask back.
void StopInterruptSources(YatBoardExtension* board, std::uint32_t* savedMask);
void RestoreInterruptSources(YatBoardExtension* board, std::uint32_t savedMask);

QelHwStatus GetSerialPortCount(YatBoardExtension* board, std::uint32_t* count);
// Whether an event of the board is delivered twice (flag 1) by the message decoder.
QelHwStatus YatEventIsDoubled(YatBoardExtension* board, std::uint32_t event, std::uint32_t* flag);

// Transfer handles of 32-bit callers: 0x80000000 + entry of the caller's map, or -1.
std::uint32_t Yat_Wow64_AddHandle(YatManagerExtension* manager, std::uint64_t handle);
// Null (logged) when the index names no handle of the caller.
std::uint64_t Yat_Wow64_LookupHandleFromIndex(YatManagerExtension* manager, std::uint32_t index,
                                              const char* callerName = nullptr);
// Clears the caller's entry that holds `handle` (the transfer is destroyed).
void Yat_Wow64_RemoveHandle(YatManagerExtension* manager, std::uint64_t handle);
