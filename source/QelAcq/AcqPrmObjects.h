// Camera (CAM) and video-input (VIC) parameter objects: one complete set of
// acquisition parameters outside any device, in a block of physically
// contiguous memory named by a handle (tag 0xcccc0102 CAM, 0xcccc0100 VIC),
// so that a client can prepare a set and hand it to a device in one request,
// and a device can be reset to the default set. The block has the layout of
// a device record's block (word 0 holds 1 in an object).
//
// Handles are checked before use: readable, the kind's tag, and a block that
// this process made (the handle registry of the object handles); nothing is
// written before every check passes. A parameter id names its parameter's
// full span: an id whose size field differs is refused with the status of an
// undefined index, so no copy ever runs past the caller's buffer.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelAcq/AcqBlocks.h"

inline constexpr QelStatus kCamBadHandle = 0x1010201;
inline constexpr QelStatus kVicBadHandle = 0x4410001;
inline constexpr QelStatus kCamNoMemory = 0x1001547;
inline constexpr QelStatus kVicNoMemory = 0x4401547;
inline constexpr QelStatus kPrmObjectNullBlock = 0x136;

QelStatus CamNew(QelHandle** handle);
QelStatus CamFree(QelHandle* handle);
QelStatus CamGetPrm(const QelHandle* handle, std::uint32_t id, void* destination);
QelStatus CamSetPrm(QelHandle* handle, std::uint32_t id, const void* source);
// A one-word parameter from a value; a wider parameter's id is refused.
QelStatus CamSetPrmValue(QelHandle* handle, std::uint32_t id, std::uint32_t value);
// Checks the handle and the pointer as CamGetPrm does, then refuses (0x100004C).
QelStatus CamGetPrmRefused(const QelHandle* handle, std::uint32_t id, void* destination);
QelStatus CamSetDefaults(QelHandle* handle);
QelStatus CamSetDefaultsToBlock(CamPrmBlock* block);

QelStatus VicNew(QelHandle** handle);
QelStatus VicFree(QelHandle* handle);
QelStatus VicGetPrm(const QelHandle* handle, std::uint32_t id, void* destination);
QelStatus VicSetPrm(QelHandle* handle, std::uint32_t id, const void* source);
QelStatus VicSetPrmValue(QelHandle* handle, std::uint32_t id, std::uint32_t value);
QelStatus VicGetPrmRefused(const QelHandle* handle, std::uint32_t id, void* destination);
QelStatus VicSetDefaults(QelHandle* handle);
QelStatus VicSetDefaultsToBlock(VicPrmBlock* block);
