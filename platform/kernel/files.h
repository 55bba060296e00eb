// Files read by drivers: kernel paths "\DosDevices\C:\dir\file" (or "\??\...")
// reach the machine's drives; a native absolute path is taken as it is.
#pragma once

#include <cstdint>

#include "platform/kernel/kstring.h"
#include "platform/win/nt_status.h"

namespace plat::kernel {

struct KernelFile;

// kStatusObjectNameNotFound when the file does not exist.
NtStatus open_file_for_read(const KernelString* path, KernelFile** out);
// Reads at the file position (or at *offset when given), advancing it; *read
// receives the count (0 at the end).
NtStatus read_file(KernelFile* file, void* buffer, std::uint32_t length, const std::uint64_t* offset,
                   std::uint32_t* read);
NtStatus query_file_size(KernelFile* file, std::uint64_t* size);
void close_file(KernelFile* file);

}  // namespace plat::kernel
