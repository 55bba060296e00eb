#include "qellib/QelSharedMutex.h"

#include <new>
#include <string>

#include "platform/win/errors.h"
#include "qellib/QelLog.h"

namespace {

const char* LabelOrEmpty(const char* owner) { return owner != nullptr ? owner : ""; }

}  // namespace

int InitSecurityDesc(plat::SecurityDescriptor* descriptor, const char* owner) {
  if (!plat::initialize_security_descriptor(descriptor, plat::kSecurityDescriptorRevision)) {
    std::string reason = plat::error_text(plat::last_error());
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, InitSecurityDesc Failed, WinErr %s",
              LabelOrEmpty(owner), reason.c_str());
    return 0;
  }
  // A present but NULL DACL: every process may open the object.
  if (!plat::set_security_descriptor_dacl(descriptor, true, nullptr, false)) {
    std::string reason = plat::error_text(plat::last_error());
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, SetSecurity Failed, WinErr %s",
              LabelOrEmpty(owner), reason.c_str());
    return 0;
  }
  return 1;
}

int CreateSecurityAttributes(plat::SecurityAttributes** attributes,
                             plat::SecurityDescriptor** descriptor, const char* owner) {
  if (attributes == nullptr || descriptor == nullptr) return 0;
  *attributes = nullptr;
  *descriptor = nullptr;
  auto* new_descriptor = new (std::nothrow) plat::SecurityDescriptor{};
  auto* new_attributes = new (std::nothrow) plat::SecurityAttributes{};
  if (new_descriptor == nullptr || new_attributes == nullptr ||
      !InitSecurityDesc(new_descriptor, owner)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s,  InitSecurityDesc Failed",
              LabelOrEmpty(owner));
    FreeSecurityAttributes(new_attributes, new_descriptor);
    return 0;
  }
  new_attributes->length = sizeof(plat::SecurityAttributes);
  new_attributes->descriptor = new_descriptor;
  new_attributes->inherit_handle = 0;
  *attributes = new_attributes;
  *descriptor = new_descriptor;
  return 1;
}

void FreeSecurityAttributes(plat::SecurityAttributes* attributes,
                            plat::SecurityDescriptor* descriptor) {
  delete attributes;
  delete descriptor;
}

plat::Handle SharedMutexCreate(const SharedMutexRequest* request) {
  if (request == nullptr || request->size < sizeof(SharedMutexRequest)) return plat::kNullHandle;
  const char* owner = LabelOrEmpty(request->owner);

  plat::SecurityAttributes* attributes = nullptr;
  plat::SecurityDescriptor* descriptor = nullptr;
  if (!CreateSecurityAttributes(&attributes, &descriptor, owner)) return plat::kNullHandle;
  plat::Handle mutex = plat::create_mutex(attributes, false, request->name);
  FreeSecurityAttributes(attributes, descriptor);
  if (mutex == plat::kNullHandle) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, CreateMutex Failed ", owner);
    return plat::kNullHandle;
  }

  std::uint32_t result = plat::wait_for_object(mutex, request->timeout_ms);
  if (result == plat::kWaitObject0) return mutex;
  if (result == plat::kWaitAbandoned0) {
    // Its holder died inside the section: the mutex is ours all the same.
    LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s,  Mutex abandonned ", owner);
    return mutex;
  }
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s,  WaitForSingleObject Failed ", owner);
  plat::release_mutex(mutex);
  plat::close_handle(mutex);
  return plat::kNullHandle;
}

plat::Handle SharedMutexLock(const char* name, const char* owner) {
  SharedMutexRequest request{sizeof(SharedMutexRequest), name, owner, kSharedMutexWaitMs};
  return SharedMutexCreate(&request);
}
