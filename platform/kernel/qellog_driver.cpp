// The log driver: other drivers ask it for its interface once and then log
// through the entry point; lines go to the machine log with the calling
// module's file name as the module label.
#include <dlfcn.h>

#include <string>

#include "platform/kernel/irp.h"
#include "platform/kernel/kernel_log.h"
#include "platform/kernel/outside_drivers.h"
#include "platform/kernel/qellog.h"

namespace plat::kernel {

namespace {

std::string module_label(const void* code_address) {
  Dl_info info{};
  if (code_address == nullptr || ::dladdr(code_address, &info) == 0 || info.dli_fname == nullptr)
    return "?";
  std::string path = info.dli_fname;
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void log_entry_point(std::uint32_t level, const char* source_file, std::uint32_t line, const char* text) {
  std::string label = module_label(__builtin_return_address(0));
  // One line per call: a text with line breaks is cut at the first one.
  std::string one_line = text ? std::string(text) : std::string();
  if (auto end = one_line.find_first_of("\r\n"); end != std::string::npos) one_line.resize(end);
  kernel_log_line(level, label.c_str(), source_file, line, one_line.c_str());
}

NtStatus dispatch_internal(DeviceObject*, Irp* irp) {
  const QelLogInterface face{0, log_entry_point};
  return complete_interface_request(irp, kQelLogGetInterface, &face, sizeof face);
}

}  // namespace

NtStatus qellog_driver_entry(DriverObject* driver, const KernelString*) {
  NtStatus status = create_outside_device(driver, kQelLogDeviceName);
  if (!nt_success(status)) return status;
  driver->major_function[kMajorInternalDeviceControl] = dispatch_internal;
  return kStatusSuccess;
}

}  // namespace plat::kernel
