// Exports of the general-purpose I/O: the I/O board's group (no suffix, and
// the QelHw_GPIO_ pair), the main board's group (suffix 2), the I/O-board
// presence query and the camera UART's byte routines. Their only state is the
// board entry's YatIoBoardState in the shared section, so every process sees
// the same connector, output type, edge selection and outputs.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

#ifndef PARDOW_API
#define PARDOW_API extern "C" __attribute__((visibility("default")))
#endif

// I/O board.
PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Setting(std::uint32_t board, std::uint32_t unit, std::uint32_t setting,
                                                      std::uint8_t value);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Read(std::uint32_t board, std::uint32_t unit, std::uint8_t* value,
                                                   std::uint8_t mask);
PARDOW_API QelHwStatus QelHw_GPIO_Read(std::uint32_t board, std::uint32_t unit, std::uint32_t* value,
                                       std::uint32_t mask);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Setting(std::uint32_t board, std::uint32_t unit,
                                                       std::uint32_t setting);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Write(std::uint32_t board, std::uint32_t unit, std::uint8_t value,
                                                     std::uint8_t mask);
PARDOW_API QelHwStatus QelHw_GPIO_Write(std::uint32_t board, std::uint32_t unit, std::uint32_t value,
                                        std::uint32_t mask);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Read(std::uint32_t board, std::uint32_t unit, std::uint8_t* value,
                                                    std::uint8_t mask);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_TriggerDetection(std::uint32_t board, std::uint32_t unit,
                                                               std::uint32_t mask, std::uint32_t mode);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Type(std::uint32_t board, std::uint32_t unit, std::uint32_t type);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Level(std::uint32_t board, std::uint32_t unit, std::uint32_t level);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Connector(std::uint32_t board, std::uint32_t unit, std::uint32_t connector);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Get_Fault(std::uint32_t board, std::uint32_t unit, std::uint32_t reserved,
                                                  std::uint32_t* fault);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Set_Power_Good(std::uint32_t board, std::uint32_t unit, std::uint32_t value);
PARDOW_API QelHwStatus Yat_Digital_IsIoBoardPresent(std::uint32_t board, std::uint32_t index, std::uint8_t* present);

// Main board.
PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Setting2(std::uint32_t board, std::uint32_t unit, std::uint32_t setting,
                                                       std::uint8_t value);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Read2(std::uint32_t board, std::uint32_t unit, std::uint8_t* value,
                                                    std::uint8_t mask);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Setting2(std::uint32_t board, std::uint32_t unit,
                                                        std::uint32_t setting);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Write2(std::uint32_t board, std::uint32_t unit, std::uint8_t value,
                                                      std::uint8_t mask);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Read2(std::uint32_t board, std::uint32_t unit, std::uint8_t* value,
                                                     std::uint8_t mask);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Polarity2(std::uint32_t board, std::uint32_t unit, std::uint32_t mask,
                                                        std::uint32_t polarity);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_TriggerDetection2(std::uint32_t board, std::uint32_t unit,
                                                                std::uint32_t mask, std::uint32_t mode);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Type2(std::uint32_t board, std::uint32_t unit, std::uint32_t type);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Level2(std::uint32_t board, std::uint32_t unit, std::uint32_t level);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Connector2(std::uint32_t board, std::uint32_t unit, std::uint32_t connector);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Set_Power_Good2(std::uint32_t board, std::uint32_t unit, std::uint32_t value);
PARDOW_API QelHwStatus Yat_GenPurposeIO_Get_Fault2(std::uint32_t board, std::uint32_t unit, std::uint32_t reserved,
                                                   std::uint32_t* fault);

// Camera UART (camera 0's byte registers; the port is not used).
PARDOW_API QelHwStatus Yat_UART_Read(std::uint32_t board, std::uint32_t port, std::uint8_t* byte);
PARDOW_API QelHwStatus Yat_UART_Write(std::uint32_t board, std::uint32_t port, std::uint8_t byte);
