// Exported entry points of the board library "Pardow.DLL": opening and
// closing the library, the board table and the manager requests.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

#define PARDOW_API extern "C" __attribute__((visibility("default")))

// Library open and close, the shared board table.
PARDOW_API QelHwStatus QelHw_Open();
PARDOW_API QelHwStatus QelHw_Close();
PARDOW_API QelHwStatus Yat_Man_GetInitializationError();
PARDOW_API std::uint8_t Yat_Man_IsBoardInitialized(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_GetDriverABI_Version(std::uint32_t* version);
PARDOW_API QelHwStatus Yat_FPGA_GetActiveCbhHeader(std::uint32_t board, void* destination,
                                                   std::uint32_t size);

// Manager requests.
PARDOW_API QelHwStatus Yat_Man_GetNbBoard(std::uint32_t* count);
PARDOW_API QelHwStatus Yat_Man_GetBaseAddress(std::uint32_t board, std::uint32_t* base);
PARDOW_API QelHwStatus Yat_Man_GetAddressSize(std::uint32_t board, std::uint32_t* size);
PARDOW_API QelHwStatus Yat_Man_Reset(std::uint32_t board, std::uint32_t mode);
PARDOW_API QelHwStatus Yat_ReadData(std::uint32_t board, std::uint32_t offset, std::uint32_t* value);
PARDOW_API QelHwStatus Yat_WriteData(std::uint32_t board, std::uint32_t offset, std::uint32_t value);
PARDOW_API QelHwStatus Yat_Event_Route(std::uint32_t board, std::uint32_t index,
                                       std::uint32_t resourceType, std::uint32_t eventBits);
PARDOW_API QelHwStatus Yat_Event_UnRoute(std::uint32_t board, std::uint32_t index,
                                         std::uint32_t resourceType, std::uint32_t eventBits);
PARDOW_API QelHwStatus Yat_Man_MemoryManager_FreeAll(std::uint32_t board);
PARDOW_API QelHwStatus Yat_Man_DetectMemorySizeByTesting(std::uint32_t board, std::uint32_t* size);
PARDOW_API QelHwStatus Yat_Man_GetProcessID(std::uint32_t* slot);
PARDOW_API QelHwStatus Yat_Man_Memory_Read(std::uint32_t board, std::uint32_t address,
                                           std::uint32_t size, std::uint64_t data,
                                           std::uint32_t flag);
PARDOW_API QelHwStatus Yat_Man_Memory_Write(std::uint32_t board, std::uint32_t address,
                                            std::uint32_t size, std::uint64_t data,
                                            std::uint32_t flag);
PARDOW_API QelHwStatus Yat_Man_Memory_Fill(std::uint32_t board, std::uint32_t address,
                                           std::uint32_t size, std::uint64_t data,
                                           std::int32_t fillMode, std::uint32_t fillValue);
PARDOW_API QelHwStatus Yat_Man_Cache_Read(std::uint32_t board, std::uint32_t address,
                                          std::uint64_t data, std::uint32_t count);
PARDOW_API QelHwStatus Yat_Man_Cache_Write(std::uint32_t board, std::uint32_t address,
                                           std::uint64_t data, std::uint32_t count);
PARDOW_API QelHwStatus Yat_Man_Debug_Level(std::uint32_t level);

// Board model values.
PARDOW_API QelHwStatus Yat_Man_GetMaxCamera(std::uint32_t board, std::uint32_t* count);
PARDOW_API QelHwStatus Yat_Man_GetOnboardMemorySize(std::uint32_t board, std::uint32_t bank,
                                                    std::uint32_t* megabytes);

// Driver messages and events.
PARDOW_API bool Yat_Event_RegisterMsg(std::uint32_t board, std::uint32_t type);
PARDOW_API bool Yat_Event_UnregisterMsg(std::uint32_t board, std::uint32_t type);
PARDOW_API QelHwStatus Yat_Event_ClearMessageQueue(std::uint32_t board, std::uint32_t type);
PARDOW_API QelHwStatus Yat_Event_GetMessage(std::uint32_t board, std::uint32_t type, void* buffer,
                                            std::uint32_t size);
PARDOW_API QelHwStatus Yat_Event_GetHandle(std::uint32_t board, std::uint32_t type, std::uint64_t* handle);
PARDOW_API QelHwStatus Yat_Event_CloseHandles(std::uint32_t board, std::uint32_t type);
PARDOW_API QelHwStatus Yat_GPIO_GetMessage(std::uint32_t board, std::uint32_t* buffer, std::uint32_t size);
PARDOW_API QelHwStatus Yat_Event_DispatchMessage();

// FPGA registers and configuration. A camera's register r is board register
// camera x 1024 + r.
struct YatRegisterPairs {
  std::uint32_t reg;
  std::uint32_t value;
};
static_assert(sizeof(YatRegisterPairs) == 8);
PARDOW_API QelHwStatus Yat_ReadDataReg(std::uint32_t board, std::uint32_t reg, std::uint32_t* value);
PARDOW_API QelHwStatus Yat_WriteDataReg(std::uint32_t board, std::uint32_t reg, std::uint32_t value);
PARDOW_API QelHwStatus Yat_SetBitReg(std::uint32_t board, std::uint32_t reg, std::uint32_t value, std::uint32_t mask);
PARDOW_API QelHwStatus Yat_FPGA_ReadDataReg(std::uint32_t board, std::uint32_t camera, std::uint32_t reg,
                                            std::uint32_t* value);
PARDOW_API QelHwStatus Yat_FPGA_WriteDataReg(std::uint32_t board, std::uint32_t camera, std::uint32_t reg,
                                             std::uint32_t value);
PARDOW_API QelHwStatus Yat_FPGA_SetBitReg(std::uint32_t board, std::uint32_t camera, std::uint32_t reg,
                                          std::uint32_t value, std::uint32_t mask);
PARDOW_API QelHwStatus Yat_FPGA_WriteDataBlock(std::uint32_t board, std::uint32_t camera,
                                               const YatRegisterPairs* pairs, std::uint32_t count);
PARDOW_API QelHwStatus Yat_FPGA_ReadBlockReg(std::uint32_t board, YatRegisterPairs* pairs, std::uint32_t count);
PARDOW_API QelHwStatus Yat_FPGA_WriteBlockReg(std::uint32_t board, const YatRegisterPairs* pairs,
                                              std::uint32_t count);
PARDOW_API QelHwStatus Yat_FPGA_ReadBlockIndexReg(std::uint32_t board, std::uint32_t index, YatRegisterPairs* buffer,
                                                  std::uint32_t count);
PARDOW_API QelHwStatus Yat_FPGA_WriteBlockIndexReg(std::uint32_t board, std::uint32_t index,
                                                   const YatRegisterPairs* buffer, std::uint32_t count);
PARDOW_API QelHwStatus Yat_Processing_Memory_Read(std::uint32_t board, std::uint32_t unit, std::uint32_t address,
                                                  std::uint32_t* buffer, std::uint32_t count);
PARDOW_API QelHwStatus Yat_Processing_Memory_Write(std::uint32_t board, std::uint32_t unit, std::uint32_t address,
                                                   const std::uint32_t* data, std::uint32_t count);
PARDOW_API QelHwStatus Yat_WriteCmd(std::uint32_t board, std::uint32_t wordA, std::uint32_t wordB,
                                    std::uint32_t wordC);
PARDOW_API QelHwStatus Yat_FPGA_Custom_Cmi_SetPrm(std::uint32_t board, std::uint32_t camera, std::uint32_t parameter,
                                                  std::uint32_t ignored, std::uint32_t value);
PARDOW_API QelHwStatus Yat_FPGA_Load(std::uint32_t board, const char* name, const void* image, std::uint32_t size,
                                     std::uint32_t option);
PARDOW_API QelHwStatus Yat_FPGA_LoadFromCbnFile(std::uint32_t board, const char* path, std::uint32_t option);
PARDOW_API QelHwStatus Yat_FPGA_Unload(std::uint32_t board, std::uint32_t action);
PARDOW_API QelHwStatus Yat_FPGA_ResetBoard(std::uint32_t board);
PARDOW_API std::uint32_t Yat_FPGA_IsPresent(std::uint32_t board);
PARDOW_API std::uint32_t Yat_FPGA_IsLoaded(std::uint32_t board);
PARDOW_API QelHwStatus Yat_FPGA_GetName(std::uint32_t board, char* buffer, std::uint32_t size);

// Camera Link front end. Statuses -14, -2013, -10705 and -10706 have no name
// in the status table.
struct YatAcqHandle;
PARDOW_API QelHwStatus Yat_FPGA_CL_WriteLut(std::uint32_t board, std::uint32_t camera, std::uint32_t bank,
                                            std::uint32_t lutMode, std::uint32_t plane, std::uint32_t inputBits,
                                            const void* table);
PARDOW_API QelHwStatus Yat_FPGA_Camera_Status(std::uint32_t board, std::uint32_t camera, std::uint32_t ignored,
                                              std::uint32_t* status);
PARDOW_API QelHwStatus Yat_FPGA_GetLutType(std::uint32_t board, std::uint32_t camera, std::uint32_t* type,
                                           std::uint32_t* maxValue);
PARDOW_API QelHwStatus Yat_FPGA_Get_LineWidth(std::uint32_t board, std::uint32_t camera, std::uint32_t* width);
PARDOW_API QelHwStatus Yat_FPGA_Get_FrameWidth(std::uint32_t board, std::uint32_t camera, std::uint32_t* width);
PARDOW_API QelHwStatus Yat_FPGA_IsFlatFieldAvailable(std::uint32_t board, std::uint32_t camera,
                                                     std::uint32_t* available);
PARDOW_API QelHwStatus Yat_FPGA_IsBayerAvailable(std::uint32_t board, std::uint32_t camera, std::uint32_t* available);
PARDOW_API QelHwStatus Yat_FPGA_IsBinarizeAvailable(std::uint32_t board, std::uint32_t camera,
                                                    std::uint32_t* available);
PARDOW_API QelHwStatus Yat_FPGA_IsKerneldAvailable(std::uint32_t board, std::uint32_t camera,
                                                   std::uint32_t* available);
PARDOW_API std::uint32_t Yat_FPGA_IsBackEndLUTAvailable(std::uint32_t board, std::uint32_t camera);
PARDOW_API QelHwStatus Yat_FPGA_IsProcessingAvailable(std::uint32_t board, std::uint32_t camera,
                                                      std::uint64_t wanted, std::uint32_t* available);
PARDOW_API std::uint32_t Yat_FPGA_IsMediumCameralink(std::uint32_t board);
PARDOW_API QelHwStatus Yat_FPGA_SetTimeslot(std::uint32_t board, std::uint32_t camera, const void* windowRecord);
PARDOW_API QelHwStatus Yat_FPGA_SetBayerFormat(std::uint32_t board, std::uint32_t camera, std::uint32_t inputBits,
                                               std::uint32_t pixelFormat, std::uint32_t alignment,
                                               std::uint32_t enable, std::uint32_t colour);
PARDOW_API QelHwStatus Yat_FPGA_SetBayerWhiteBalance(std::uint32_t board, std::uint32_t camera, std::uint32_t gain1,
                                                     std::uint32_t gain2, std::uint32_t gain3, std::uint32_t unit);
PARDOW_API QelHwStatus Yat_FPGA_SetBayerSaturationFactor(std::uint32_t board, std::uint32_t camera,
                                                         std::uint32_t factor);
PARDOW_API QelHwStatus Yat_FPGA_SetBayerSaturationWeight(std::uint32_t board, std::uint32_t camera, std::uint32_t w1,
                                                         std::uint32_t w2, std::uint32_t w3);
PARDOW_API QelHwStatus Yat_FPGA_Reset_Processing(std::uint32_t board, std::uint32_t camera, std::uint8_t reset);
PARDOW_API QelHwStatus Yat_FPGA_SetFlatFieldFormat(std::uint32_t board, std::uint32_t camera, std::uint32_t format,
                                                   std::uint32_t bits, std::uint32_t enable);
PARDOW_API QelHwStatus Yat_FPGA_SetFlatFieldAddressTable(std::uint32_t board, std::uint32_t camera,
                                                         std::uint32_t index, std::uint32_t value);
PARDOW_API QelHwStatus Yat_FPGA_EnableBinarization(std::uint32_t board, std::uint32_t camera, std::uint32_t enable);
PARDOW_API QelHwStatus Yat_FPGA_LVDS_SetVertialPulseSyncPolatity(std::uint32_t board, std::uint32_t camera,
                                                                 std::uint32_t polarity, std::uint32_t kind);
PARDOW_API QelHwStatus Yat_FPGA_LVDS_SetHorizontalPulseSyncPolatity(std::uint32_t board, std::uint32_t camera,
                                                                    std::uint32_t polarity);
PARDOW_API QelHwStatus Yat_FPGA_LVDS_SetPixelClockPolarity(std::uint32_t board, std::uint32_t camera,
                                                           std::uint32_t edge);
PARDOW_API QelHwStatus Yat_FPGA_SetExtPixelClock(std::uint32_t board, std::uint32_t camera, std::uint32_t frequency);
PARDOW_API QelHwStatus Yat_FPGA_SetBoardSync(std::uint32_t board, std::uint32_t camera, std::uint32_t enable,
                                             std::uint32_t source);
PARDOW_API QelHwStatus Yat_FPGA_SetFrameTriggerSource(std::uint32_t board, std::uint32_t camera,
                                                      std::uint32_t source);
PARDOW_API QelHwStatus Yat_FPGA_SetStrobeDestination(std::uint32_t board, std::uint32_t camera,
                                                     std::uint32_t destination);
PARDOW_API QelHwStatus Yat_FPGA_CL_SetExtFrameTriggerDelay(YatAcqHandle* handle, const void* frameTrigger);
PARDOW_API QelHwStatus Yat_FPGA_PoCLEnable(std::uint32_t board, std::uint32_t camera, std::uint32_t enable);

// FPGA board set-up and time base.
PARDOW_API QelHwStatus Yat_FPGA_FE_MainTicksSelectTick(YatAcqHandle* handle, std::uint32_t tick);
PARDOW_API QelHwStatus Yat_FPGA_SetCounterStampTimeBase(std::uint32_t board, std::uint32_t camera,
                                                        std::uint32_t timeBase);
PARDOW_API QelHwStatus Yat_FPGA_GetLastTimeStamp(std::uint32_t board, std::uint32_t camera, std::uint32_t* stamp);
PARDOW_API QelHwStatus Yat_FPGA_GrabStatus(std::uint32_t board, std::uint32_t camera, std::uint32_t* status);

// Board manager: model values, firmware keys and check, reset, device parameters.
#include "driver/user/YatBoardManager.h"

// Transfers: handles, DMA channels, kernel transfer objects, on-board buffers.
#include "driver/user/YatTransfer.h"

// Acquisition: handles per camera input, starts and stops, video formats, triggers.
#include "driver/user/YatAcq.h"

// General-purpose inputs and outputs, and the camera UART.
#include "driver/user/YatGpio.h"
