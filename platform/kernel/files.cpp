#include "platform/kernel/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <cerrno>
#include <string>

#include "platform/kernel/irql.h"
#include "platform/win/paths.h"

namespace plat::kernel {

struct KernelFile {
  int fd;
  std::uint64_t position;
};

namespace {

std::string native_of(const KernelString* path) {
  std::string text = to_utf8(path);
  for (std::string prefix : {"\\DosDevices\\", "\\??\\"}) {
    if (text.size() >= prefix.size() && strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0) {
      text.erase(0, prefix.size());
      break;
    }
  }
  return plat::native_path(text);
}

}  // namespace

NtStatus open_file_for_read(const KernelString* path, KernelFile** out) {
  check_may_block("file open");
  if (path == nullptr || out == nullptr || path->length == 0) return kStatusInvalidParameter;
  std::string native = native_of(path);
  int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? kStatusObjectNameNotFound : kStatusUnsuccessful;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kStatusInvalidParameter;
  }
  *out = new KernelFile{fd, 0};
  return kStatusSuccess;
}

NtStatus read_file(KernelFile* file, void* buffer, std::uint32_t length, const std::uint64_t* offset,
                   std::uint32_t* read) {
  if (file == nullptr || (buffer == nullptr && length > 0)) return kStatusInvalidParameter;
  std::uint64_t at = offset ? *offset : file->position;
  std::uint32_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(file->fd, static_cast<char*>(buffer) + done, length - done,
                        static_cast<off_t>(at + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return kStatusUnsuccessful;
    if (n == 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  file->position = at + done;
  if (read) *read = done;
  return kStatusSuccess;
}

NtStatus query_file_size(KernelFile* file, std::uint64_t* size) {
  struct stat st {};
  if (file == nullptr || size == nullptr || ::fstat(file->fd, &st) != 0) return kStatusInvalidParameter;
  *size = static_cast<std::uint64_t>(st.st_size);
  return kStatusSuccess;
}

void close_file(KernelFile* file) {
  if (file == nullptr) return;
  ::close(file->fd);
  delete file;
}

}  // namespace plat::kernel
