// The kernel object namespace: named devices ("\Device\X"), symbolic links
// ("\DosDevices\X", also reachable as "\??\X") and callback objects
// ("\Callback\X"). Names are compared without regard to case.
#pragma once

#include <cstdint>
#include <string>

#include "platform/kernel/kstring.h"
#include "platform/win/nt_status.h"

namespace plat::kernel {

struct DeviceObject;

NtStatus create_symbolic_link(const KernelString* link, const KernelString* target);
NtStatus delete_symbolic_link(const KernelString* link);

// Callback objects: drivers meet through a named object; registered functions
// run, in registration order, for each notification.
struct CallbackObject;
using CallbackFunction = void (*)(void* context, void* argument1, void* argument2);
// With create false an existing object is opened (kStatusObjectNameNotFound otherwise).
NtStatus create_callback(const KernelString* name, bool create, bool allow_multiple,
                         CallbackObject** out);
// Null when a second registration is refused.
void* register_callback(CallbackObject* callback, CallbackFunction function, void* context);
void unregister_callback(void* registration);
void notify_callback(CallbackObject* callback, void* argument1, void* argument2);
void dereference_object(CallbackObject* callback);

// Inside the kernel: device names and resolution of user and link names.
namespace detail {
NtStatus namespace_insert_device(std::wstring_view name, DeviceObject* device);
void namespace_remove_device(std::wstring_view name);
// Follows symbolic links; null when nothing is found.
DeviceObject* namespace_find_device(std::wstring_view name);
}  // namespace detail

// "\\.\STAVRO" -> the device behind "\DosDevices\STAVRO" (null when none).
DeviceObject* find_device_by_user_name(const char* user_name);

}  // namespace plat::kernel
