#include "platform/win/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace plat {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

bool read_all(int fd, std::string& contents) {
  contents.clear();
  char chunk[8192];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    contents.append(chunk, static_cast<std::size_t>(n));
  }
}

bool write_all(int fd, const std::string& contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

int lock_exclusive(int fd) {
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// A writer that waited for the lock may find the file replaced meanwhile; its
// lock then guards a file nobody reads any more.
bool still_at_path(int fd, const std::string& path) {
  struct stat held {}, current {};
  if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &current) != 0) return false;
  return held.st_dev == current.st_dev && held.st_ino == current.st_ino;
}

int replace_contents(const std::string& path, int held_fd, const std::string& contents) {
  struct stat held {};
  mode_t mode = ::fstat(held_fd, &held) == 0 ? (held.st_mode & 07777) : 0644;
  std::string temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" +
                          std::to_string(static_cast<long>(::syscall(SYS_gettid)));
  FileDescriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (!out.valid()) return errno;
  if (!write_all(out.get(), contents)) {
    int error = errno ? errno : EIO;
    ::unlink(temporary.c_str());
    return error;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    int error = errno;
    ::unlink(temporary.c_str());
    return error;
  }
  return 0;
}

}  // namespace

FileRead read_whole_file(const std::string& path, std::string& contents) {
  contents.clear();
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT || errno == ENOTDIR ? FileRead::kMissing : FileRead::kFailed;
  return read_all(fd.get(), contents) ? FileRead::kRead : FileRead::kFailed;
}

int update_file_locked(const std::string& path, bool create,
                       const std::function<bool(std::string& contents)>& change) {
  for (;;) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | (create ? O_CREAT : 0), 0644));
    if (!fd.valid()) return errno;
    if (int error = lock_exclusive(fd.get()); error != 0) return error;
    if (!still_at_path(fd.get(), path)) continue;
    std::string contents;
    if (!read_all(fd.get(), contents)) return errno ? errno : EIO;
    if (!change(contents)) return 0;
    return replace_contents(path, fd.get(), contents);
  }
}

}  // namespace plat
