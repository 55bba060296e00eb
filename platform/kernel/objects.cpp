#include "platform/kernel/objects.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/kernel/device.h"

namespace plat::kernel {

struct CallbackObject {
  std::wstring name;
  bool allow_multiple;
  int references;
};

namespace {

struct Registration {
  CallbackObject* callback;
  CallbackFunction function;
  void* context;
};

wchar_t fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring key_of(std::wstring_view name) {
  std::wstring key(name);
  std::transform(key.begin(), key.end(), key.begin(), fold);
  // "\??\X" and "\DosDevices\X" name the same link.
  static const std::wstring kShort = L"\\??\\";
  if (key.compare(0, kShort.size(), kShort) == 0) key = L"\\dosdevices\\" + key.substr(kShort.size());
  return key;
}

struct Namespace {
  std::mutex lock;
  std::map<std::wstring, DeviceObject*> devices;
  std::map<std::wstring, std::wstring> links;  // key -> target (as given)
  std::map<std::wstring, CallbackObject*> callbacks;
  std::vector<std::unique_ptr<Registration>> registrations;
};

Namespace& names() {
  static Namespace* n = new Namespace;
  return *n;
}

}  // namespace

namespace detail {

NtStatus namespace_insert_device(std::wstring_view name, DeviceObject* device) {
  Namespace& n = names();
  std::lock_guard guard(n.lock);
  auto key = key_of(name);
  if (n.devices.count(key) || n.links.count(key)) return kStatusObjectNameCollision;
  n.devices[key] = device;
  return kStatusSuccess;
}

void namespace_remove_device(std::wstring_view name) {
  Namespace& n = names();
  std::lock_guard guard(n.lock);
  n.devices.erase(key_of(name));
}

DeviceObject* namespace_find_device(std::wstring_view name) {
  Namespace& n = names();
  std::lock_guard guard(n.lock);
  std::wstring key = key_of(name);
  for (int depth = 0; depth < 8; ++depth) {
    if (auto d = n.devices.find(key); d != n.devices.end()) return d->second;
    auto l = n.links.find(key);
    if (l == n.links.end()) return nullptr;
    key = key_of(l->second);
  }
  return nullptr;
}

}  // namespace detail

NtStatus create_symbolic_link(const KernelString* link, const KernelString* target) {
  if (link == nullptr || target == nullptr || link->length == 0) return kStatusInvalidParameter;
  Namespace& n = names();
  std::lock_guard guard(n.lock);
  auto key = key_of(view_of(link));
  if (n.links.count(key) || n.devices.count(key)) return kStatusObjectNameCollision;
  n.links[key] = std::wstring(view_of(target));
  return kStatusSuccess;
}

NtStatus delete_symbolic_link(const KernelString* link) {
  if (link == nullptr) return kStatusInvalidParameter;
  Namespace& n = names();
  std::lock_guard guard(n.lock);
  return n.links.erase(key_of(view_of(link))) ? kStatusSuccess : kStatusObjectNameNotFound;
}

DeviceObject* find_device_by_user_name(const char* user_name) {
  if (user_name == nullptr) return nullptr;
  std::string_view name(user_name);
  for (std::string_view prefix : {"\\\\.\\", "//./"}) {
    if (name.substr(0, prefix.size()) == prefix) {
      name.remove_prefix(prefix.size());
      break;
    }
  }
  if (name.empty() || name.size() > 255) return nullptr;
  if (name.find_first_of("\\/") != std::string_view::npos) return nullptr;
  return detail::namespace_find_device(L"\\DosDevices\\" + to_wide(name));
}

NtStatus create_callback(const KernelString* name, bool create, bool allow_multiple,
                         CallbackObject** out) {
  if (name == nullptr || out == nullptr) return kStatusInvalidParameter;
  Namespace& n = names();
  std::lock_guard guard(n.lock);
  auto key = key_of(view_of(name));
  if (auto c = n.callbacks.find(key); c != n.callbacks.end()) {
    ++c->second->references;
    *out = c->second;
    return kStatusSuccess;
  }
  if (!create) return kStatusObjectNameNotFound;
  auto* callback = new CallbackObject{std::wstring(view_of(name)), allow_multiple, 1};
  n.callbacks[key] = callback;
  *out = callback;
  return kStatusSuccess;
}

void* register_callback(CallbackObject* callback, CallbackFunction function, void* context) {
  if (callback == nullptr || function == nullptr) return nullptr;
  Namespace& n = names();
  std::lock_guard guard(n.lock);
  bool taken = std::any_of(n.registrations.begin(), n.registrations.end(),
                           [&](const auto& r) { return r->callback == callback; });
  if (taken && !callback->allow_multiple) return nullptr;
  n.registrations.push_back(std::make_unique<Registration>(Registration{callback, function, context}));
  return n.registrations.back().get();
}

void unregister_callback(void* registration) {
  Namespace& n = names();
  std::lock_guard guard(n.lock);
  std::erase_if(n.registrations, [&](const auto& r) { return r.get() == registration; });
}

void notify_callback(CallbackObject* callback, void* argument1, void* argument2) {
  std::vector<Registration> targets;
  {
    Namespace& n = names();
    std::lock_guard guard(n.lock);
    for (const auto& r : n.registrations)
      if (r->callback == callback) targets.push_back(*r);
  }
  for (const auto& r : targets) r.function(r.context, argument1, argument2);
}

void dereference_object(CallbackObject* callback) {
  if (callback == nullptr) return;
  Namespace& n = names();
  std::lock_guard guard(n.lock);
  if (--callback->references > 0) return;
  n.callbacks.erase(key_of(callback->name));
  std::erase_if(n.registrations, [&](const auto& r) { return r->callback == callback; });
  delete callback;
}

}  // namespace plat::kernel
