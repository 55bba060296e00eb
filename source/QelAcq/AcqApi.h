// The acquisition API: the server-side operations behind commands 4000-4029.
// Each checks its handles first, then its other arguments in order, then the
// device's state, and answers a full status (module part 0x400000). The
// command handlers (AcqServer.h) call them with the API lock released; the
// transfer module calls AcqGetCap, AcqGetPrm and AcqSetPrmValue directly.
//
// An acquisition handle here is one of this process's handle objects (or a
// monitor handle, for AcqGetCap and AcqGetPrm): the handlers find it in this
// process's tables before they call. The CAM, VIC and LUT objects are
// objects of this process, checked through the handle registry.
//
// Locks: the board mutex of AcqModule.h around open, close and release;
// the parameter lock is the record's pair of lock owners.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"

inline constexpr QelStatus kAcqApiBadHandle = 0x408C01;
inline constexpr QelStatus kAcqApiBadVic = 0x410001;
inline constexpr QelStatus kAcqApiBadCam = 0x410201;
inline constexpr QelStatus kAcqApiBadLut = 0x410401;
inline constexpr QelStatus kAcqApiLocked = kQelModuleAcquisition | 0x57;
inline constexpr QelStatus kAcqApiInUse = kQelModuleAcquisition | 0x54;
inline constexpr QelStatus kAcqApiNotSupported = kQelModuleAcquisition | 0x46;
inline constexpr QelStatus kAcqApiNoMemory = kQelModuleAcquisition | 0x47;
inline constexpr QelStatus kAcqApiNotAllowed = kQelModuleAcquisition | 0x4C;

// Null output of argument n (1-based), and non-zero size with null data.
constexpr QelStatus AcqApiNullOut(std::uint32_t argument) { return kQelModuleAcquisition | (argument << 8) | 0x36; }
constexpr QelStatus AcqApiEmpty(std::uint32_t argument) { return kQelModuleAcquisition | (argument << 8) | 0x32; }

// ---- Devices (4000-4003, 4016) --------------------------------------------------
QelStatus AcqGetCount(std::uint32_t board, std::uint32_t* out);
QelStatus AcqCreateHandle(std::uint32_t server, std::uint32_t board, std::uint32_t device, QelHandle** out);
QelStatus AcqReleaseHandle(QelHandle* handle);
QelStatus AcqReset(QelHandle* handle);
QelStatus AcqCheckBoardState(std::uint32_t board);
// Closes every device this process holds (module end).
void AcqReleaseOwnDevices();

// ---- Capabilities and parameters (4004-4006) ------------------------------------
QelStatus AcqGetCap(QelHandle* handle, std::uint32_t id, void* out);
QelStatus AcqGetPrm(QelHandle* handle, std::uint32_t id, void* out);
QelStatus AcqSetPrm(QelHandle* handle, std::uint32_t id, const void* value);
QelStatus AcqSetPrmValue(QelHandle* handle, std::uint32_t id, std::uint32_t value);

// ---- CAM/VIC exchange and LUTs (4007-4011) ---------------------------------------
QelStatus AcqUnlockCamVic(QelHandle* handle, const QelHandle* vic, const QelHandle* cam);
QelStatus AcqGetCamVic(QelHandle* handle, const QelHandle* vic, const QelHandle* cam, std::uint32_t lock);
QelStatus AcqSetCamVic(QelHandle* handle, const QelHandle* vic, const QelHandle* cam, std::uint32_t unlock);
QelStatus AcqReadLut(QelHandle* handle, const QelHandle* lut, std::uint32_t index);
QelStatus AcqWriteLut(QelHandle* handle, const QelHandle* lut, std::uint32_t index);

// ---- Private commands, callbacks, camera control, triggers (4012-4020) -----------
QelStatus AcqPrivateRead(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize);
QelStatus AcqPrivateWrite(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize, void* out,
                          std::uint32_t outSize);
QelStatus AcqRegisterCallback(QelHandle* handle, std::uint32_t mask, std::uint64_t callback, std::uint64_t context,
                              const QelHandle* client);
QelStatus AcqUnregisterCallback(QelHandle* handle, std::uint64_t callback);
QelStatus AcqGetCameraControl(QelHandle* handle, const char* name, std::uint32_t* out);
QelStatus AcqSetCameraControl(QelHandle* handle, const char* name, std::uint32_t value);
QelStatus AcqSoftwareTrigger(QelHandle* handle, std::uint32_t kind);
QelStatus AcqResetTimeStamp(QelHandle* handle, std::uint32_t* out);

// ---- Internal and onboard buffers (4021-4024, 4026-4029) --------------------------
// `extra` of 4023 and 4024: the record word of the gain image's buffer.
QelStatus AcqCreateInternalBuffers(QelHandle* handle, std::uint32_t* out);
QelStatus AcqFreeInternalBuffer(QelHandle* handle, std::uint32_t number);
QelStatus AcqWriteInternalBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer, std::uint64_t extra);
QelStatus AcqReadInternalBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer, std::uint64_t extra);
QelStatus AcqCreateOnboardBuffer(QelHandle* handle, std::uint32_t* out);
QelStatus AcqFreeOnboardBuffer(QelHandle* handle, std::uint32_t number);
QelStatus AcqWriteOnboardBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer);
QelStatus AcqReadOnboardBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer);

// ---- Serial port name (4025) --------------------------------------------------------
QelStatus AcqGetSerialPortName(QelHandle* handle, std::uint32_t size, char* out);
// The COM number the registry's serial-port map gives the name; -1 when none.
long AcqFindComPort(const char* name);

// ---- Shared checks -------------------------------------------------------------------
// 0 when the handle is readable, has an acquisition tag and a private record.
QelStatus AcqCheckHandle(const QelHandle* handle);
