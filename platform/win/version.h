// Reading the file-version record embedded in our binaries.
#pragma once

#include "platform/win/version_record.h"

namespace plat {

// False with kErrorFileNotFound when the file cannot be opened, or
// kErrorInvalidData (the file has no version record). Paths may be
// Windows-style (resolved with native_path).
bool read_file_version(const char* path, VersionRecord* out);

}  // namespace plat
