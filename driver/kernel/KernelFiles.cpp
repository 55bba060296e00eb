#include <cctype>
#include <cstring>
#include <string>

#include "driver/kernel/KernelServices.h"
#include "driver/kernel/StavroLog.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

constexpr wchar_t kDosDevicesPrefix[] = L"\\DosDevices\\";
constexpr std::size_t kMaxPathBytes = 1024;

// Only a drive path names a file without depending on someone's current directory.
bool IsAbsoluteDrivePath(const std::string& path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/');
}

std::wstring KernelPathOf(const std::string& path) {
  std::wstring wide = kDosDevicesPrefix;
  for (char c : path) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return wide;
}

}  // namespace

QelHwStatus YatOpenFile(const char* path, KernelFile** file) {
  if (file == nullptr) return QELHW_ERROR_FILE_OPEN;
  *file = nullptr;
  std::string narrow = path ? std::string(path, strnlen(path, kMaxPathBytes)) : std::string();
  std::wstring kernelPath = KernelPathOf(narrow);
  NtStatus status = plat::kStatusObjectNameNotFound;
  if (IsAbsoluteDrivePath(narrow) && kernelPath.size() * sizeof(wchar_t) < 0xFFFF) {
    KernelString name{};
    init_kernel_string(&name, kernelPath.c_str());
    status = open_file_for_read(&name, file);
  }
  if (!plat::nt_success(status)) {
    STAVRO_LOG(kLogError, "%s: >YatOpenFile< Unable to open file '%ls' status = 0x%08x", kernelPath.c_str(),
               static_cast<unsigned>(status));
    *file = nullptr;
    return QELHW_ERROR_FILE_OPEN;
  }
  return QELHW_OK;
}

QelHwStatus RegisterGrabEvent(std::uint64_t handle, UserEvent** event) {
  if (event == nullptr) return QELHW_ERROR_SYSTEM_RESOURCE;
  *event = nullptr;
  if (!plat::nt_success(reference_user_event(static_cast<plat::Handle>(handle), event)) || *event == nullptr) {
    STAVRO_LOG(kLogError, "%s: >RegisterGrabEvent< Unable to reference Event Handle");
    *event = nullptr;
    return QELHW_ERROR_SYSTEM_RESOURCE;
  }
  clear_user_event(*event);
  return QELHW_OK;
}
