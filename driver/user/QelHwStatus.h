// Board status: the status of the kernel driver, the board library and the
// launcher. 0 is success; failures are negative and grouped by thousands.
// Plain integers and constants only, so the kernel driver can include it too.
#pragma once

#include <cstdint>

using QelHwStatus = std::int32_t;

inline constexpr QelHwStatus QELHW_OK                                                = 0;
inline constexpr QelHwStatus QELHW_ERROR_GENERIC                                     = -1;
inline constexpr QelHwStatus QELHW_ERROR_NULL_PTR                                    = -2;
inline constexpr QelHwStatus QELHW_ERROR_ARG_INVALID                                 = -3;
inline constexpr QelHwStatus QELHW_ERROR_INVALID_HANDLE                              = -4;
inline constexpr QelHwStatus QELHW_ERROR_NOT_SUPPORTED                               = -5;
inline constexpr QelHwStatus QELHW_ERROR_TIME_OUT                                    = -6;
inline constexpr QelHwStatus QELHW_ERROR_IOC_FUNCTION                                = -7;
inline constexpr QelHwStatus QELHW_ERROR_IOC_BUFFER                                  = -8;
inline constexpr QelHwStatus QELHW_ERROR_NO_INTERRUPT                                = -9;
inline constexpr QelHwStatus QELHW_ERROR_NOT_IMPLEMENTED                             = -10;
inline constexpr QelHwStatus QELHW_ERROR_NO_CAMERA                                   = -11;
inline constexpr QelHwStatus QELHW_ERROR_INVALID_PIXEL_FORMAT                        = -12;
inline constexpr QelHwStatus QELHW_ERROR_PARAMETER_INVALID                           = -13;
inline constexpr QelHwStatus QELHW_ERROR_SOFTWARE                                    = -14;
inline constexpr QelHwStatus QELHW_ERROR_INCOMPATIBLE_VERSION                        = -15;
inline constexpr QelHwStatus QELHW_ERROR_INCOMPATIBLE_FIRMWARE                       = -16;
inline constexpr QelHwStatus QELHW_ERROR_INCOMPATIBLE_ECO                            = -17;
inline constexpr QelHwStatus QELHW_ERROR_TRANSFER_ACTIVE                             = -1001;
inline constexpr QelHwStatus QELHW_ERROR_SYSTEM_RESOURCE                             = -2001;
inline constexpr QelHwStatus QELHW_ERROR_INSUFFICIENT_MEMORY                         = -2002;
inline constexpr QelHwStatus QELHW_ERROR_INSUFFICIENT_BANDWIDTH                      = -2003;
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_NOT_ALLOCATED                      = -2004;
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_IN_USE                             = -2005;
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_NOT_ENABLED                        = -2006;
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_NOT_INITIALIZED                    = -2007;
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_CORRUPTED                          = -2008;
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_MISSING                            = -2009;
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_LACK                               = -2010;
inline constexpr QelHwStatus QELHW_ERROR_DRIVER_ACCESS                               = -3001;
inline constexpr QelHwStatus QELHW_ERROR_KERNEL_LINK                                 = -3002;
inline constexpr QelHwStatus QELHW_ERROR_PROCESS_CONNECT                             = -3003;
inline constexpr QelHwStatus QELHW_ERROR_NO_BOARD_FOUND                              = -3004;
inline constexpr QelHwStatus QELHW_ERROR_BOARD_INDEX                                 = -3005;
inline constexpr QelHwStatus QELHW_ERROR_PROCESS_NOT_REGISTERED                      = -3006;
inline constexpr QelHwStatus QELHW_ERROR_ACQUIRE_MUTEX                               = -3007;
inline constexpr QelHwStatus QELHW_ERROR_PROCESS_INVALID                             = -3008;
inline constexpr QelHwStatus QELHW_ERROR_DEVICE_NOT_FOUND                            = -3009;
inline constexpr QelHwStatus QELHW_ERROR_SERVICE_ACCESS                              = -3010;
inline constexpr QelHwStatus QELHW_ERROR_FUNCTION_ACCESS                             = -3011;
inline constexpr QelHwStatus QELHW_ERROR_DEVICE_NOT_RESPONDING                       = -4001;
inline constexpr QelHwStatus QELHW_ERROR_I2C_READ                                    = -4002;
inline constexpr QelHwStatus QELHW_ERROR_I2C_WRITE                                   = -4003;
inline constexpr QelHwStatus QELHW_ERROR_DEVICE_READ                                 = -4004;
inline constexpr QelHwStatus QELHW_ERROR_DEVICE_WRITE                                = -4005;
inline constexpr QelHwStatus QELHW_ERROR_PCICFG_READ                                 = -4006;
inline constexpr QelHwStatus QELHW_ERROR_PCICFG_WRITE                                = -4007;
inline constexpr QelHwStatus QELHW_ERROR_FLASH_READ                                  = -4008;
inline constexpr QelHwStatus QELHW_ERROR_FLASH_WRITE                                 = -4009;
inline constexpr QelHwStatus QELHW_ERROR_MEMORY_READ                                 = -4010;
inline constexpr QelHwStatus QELHW_ERROR_MEMORY_WRITE                                = -4011;
inline constexpr QelHwStatus QELHW_ERROR_DATA_NO_MESSAGES                            = -5001;
inline constexpr QelHwStatus QELHW_ERROR_DATA_OVERFLOW                               = -5002;
inline constexpr QelHwStatus QELHW_ERROR_DATA_CHECKSUM                               = -5003;
inline constexpr QelHwStatus QELHW_ERROR_DATA_NOT_AVAILABLE                          = -5004;
inline constexpr QelHwStatus QELHW_ERROR_DATA_OVERRUN                                = -5005;
inline constexpr QelHwStatus QELHW_ERROR_DATA_XFER_ABORT                             = -5006;
inline constexpr QelHwStatus QELHW_ERROR_DATA_INVALID_HEADER                         = -5007;
inline constexpr QelHwStatus QELHW_ERROR_FILE_TELL                                   = -6001;
inline constexpr QelHwStatus QELHW_ERROR_FILE_SEEK                                   = -6002;
inline constexpr QelHwStatus QELHW_ERROR_FILE_OPEN                                   = -6003;
inline constexpr QelHwStatus QELHW_ERROR_FILE_READ                                   = -6004;
inline constexpr QelHwStatus QELHW_ERROR_FILE_CLOSE                                  = -6005;
inline constexpr QelHwStatus QELHW_ERROR_FILE_INVALID                                = -6006;
inline constexpr QelHwStatus QELHW_ERROR_EEPROM_NOT_INITIALIZED                      = -7001;
inline constexpr QelHwStatus QELHW_ERROR_FPGA_NOT_PRESENT                            = -8001;
inline constexpr QelHwStatus QELHW_ERROR_FPGA_NOT_LOADED                             = -8002;
inline constexpr QelHwStatus QELHW_ERROR_DISPLAY_ACCESS                              = -9001;
inline constexpr QelHwStatus QELHW_ERROR_DIRECTDRAW                                  = -9002;
inline constexpr QelHwStatus QELHW_ERROR_REGISTRY_ACCESS                             = -10001;
inline constexpr QelHwStatus QELHW_ERROR_REGISTRY_KEY_OPEN                           = -10002;
inline constexpr QelHwStatus QELHW_ERROR_REGISTRY_KEY_NOT_FOUND                      = -10003;
inline constexpr QelHwStatus QELHW_ERROR_REGISTRY_KEY_READ                           = -10004;
inline constexpr QelHwStatus QELHW_ERROR_REGISTRY_KEY_WRITE                          = -10005;
inline constexpr QelHwStatus QELHW_ERROR_GC_FRAME_COUNT_MULT_EXT_TRIGGER_FRAME_COUNT = -10500;
// Same table name as -10500: the frame count is not a multiple of the group size.
inline constexpr QelHwStatus QELHW_ERROR_GC_FRAME_COUNT_MULT_GROUP_FRAME_COUNT       = -10501;
inline constexpr QelHwStatus QELHW_ERROR_HTOTAL_INVALID                              = -10600;
inline constexpr QelHwStatus QELHW_ERROR_CONNECTOR_SIGNAL_NAME_HSYNC                 = -10700;
inline constexpr QelHwStatus QELHW_ERROR_CONNECTOR_SIGNAL_NAME_VSYNC                 = -10701;
inline constexpr QelHwStatus QELHW_ERROR_CONNECTOR_SIGNAL_NAME_TRIGGER               = -10702;
inline constexpr QelHwStatus QELHW_ERROR_CONNECTOR_SIGNAL_NAME_PIXEL_CLOCK           = -10703;
inline constexpr QelHwStatus QELHW_ERROR_CONNECTOR_SIGNAL_NAME_WEN                   = -10704;
inline constexpr QelHwStatus QELHW_ERROR_CONNECTION_DROPPED                          = -11000;
inline constexpr QelHwStatus QELHW_ERROR_ANSWER_TIMEOUT                              = -11001;
inline constexpr QelHwStatus QELHW_ERROR_SOCKET_INVALID                              = -11002;
inline constexpr QelHwStatus QELHW_ERROR_PORT_NOT_AVAILABLE                          = -11003;
inline constexpr QelHwStatus QELHW_ERROR_INVALID_IP                                  = -11004;
inline constexpr QelHwStatus QELHW_ERROR_INVALID_CAMERA_OPERATION                    = -11005;
inline constexpr QelHwStatus QELHW_ERROR_INVALID_PACKET                              = -11006;
inline constexpr QelHwStatus QELHW_ERROR_INVALID_CONNECTION_ATTEMPT                  = -11007;
inline constexpr QelHwStatus QELHW_ERROR_PROTOCOL                                    = -11008;
inline constexpr QelHwStatus QELHW_ERROR_TRUST_E_NOSIGNATURE                         = -13000;
inline constexpr QelHwStatus QELHW_ERROR_TRUST_E_EXPLICIT_DISTRUST                   = -13001;
inline constexpr QelHwStatus QELHW_ERROR_TRUST_E_SUBJECT_NOT_TRUSTED                 = -13002;
inline constexpr QelHwStatus QELHW_ERROR_CRYPT_E_SECURITY_SETTINGS                   = -13003;
inline constexpr QelHwStatus QELHW_ERROR_TRUST_E_NO_SIGNER_CERT                      = -13004;
inline constexpr QelHwStatus QELHW_ERROR_TRUST_E_COUNTER_SIGNER                      = -13005;
inline constexpr QelHwStatus QELHW_ERROR_TRUST_E_CERT_SIGNATURE                      = -13006;
inline constexpr QelHwStatus QELHW_ERROR_TRUST_E_BAD_DIGEST                          = -13007;
inline constexpr QelHwStatus QELHW_ERROR_TRUST_E_PROVIDER_UNKNOWN                    = -13008;
inline constexpr QelHwStatus QELHW_ERROR_TRUST_E_SUBJECT_FORM_UNKNOWN                = -13009;

// Codes returned without a row of their own in the name table ("Unknown Error").
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_UNAVAILABLE = -2011;  // a library or mapping cannot be had
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_RANGE = -2012;        // index past a fixed table, BAR not mapped
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_LOCKED = -2013;
inline constexpr QelHwStatus QELHW_ERROR_RESOURCE_TOO_LARGE = -2016;
inline constexpr QelHwStatus QELHW_ERROR_RESET_NEEDS_REBOOT = -3012;
inline constexpr QelHwStatus QELHW_ERROR_FILE_WRITE = -6007;
// The driver answered a request with a non-zero status.
inline constexpr QelHwStatus QELHW_ERROR_DRIVER_STATUS = static_cast<QelHwStatus>(0xC0000000u);

// The name of a status ("QELHW_OK", "QELHW_ERROR_..."), or "Unknown Error".
const char* QelHw_GetErrorName(QelHwStatus code);
