// Services the request handlers use on behalf of the calling process:
// physical memory mapped into it, files it names, events it hands over.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"
#include "platform/kernel/client.h"
#include "platform/kernel/files.h"

// *userAddress is where the caller sees the first byte of the physical range.
plat::NtStatus MapBuffer(std::uint64_t physical, std::uint64_t length, std::uint64_t* userAddress,
                         std::uint64_t* mappedLength);
plat::NtStatus UnmapBuffer(std::uint64_t userAddress);

// Opens for reading the file the caller names by an absolute path ("C:\dir\file").
QelHwStatus YatOpenFile(const char* path, plat::kernel::KernelFile** file);

// Takes a reference on the caller's event and clears it; *event stays null on failure.
QelHwStatus RegisterGrabEvent(std::uint64_t handle, plat::kernel::UserEvent** event);
