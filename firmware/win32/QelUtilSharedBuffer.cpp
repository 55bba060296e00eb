#include "firmware/win32/QelUtilSharedBuffer.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "firmware/win32/QelUtilTrace.h"
#include "platform/win/errors.h"
#include "platform/win/sections.h"
#include "platform/win/security.h"

namespace {

// Every process of the machine may open what a buffer's creator made.
struct OpenToAll {
  plat::SecurityDescriptor descriptor{};
  plat::SecurityAttributes attributes{};

  bool Initialise() {
    if (!plat::initialize_security_descriptor(&descriptor, plat::kSecurityDescriptorRevision) ||
        !plat::set_security_descriptor_dacl(&descriptor, true, nullptr, false))
      return false;
    attributes = {sizeof(plat::SecurityAttributes), &descriptor, 0};
    return true;
  }
};

std::string LockName(const char* name) { return std::string(name) + "_LOCK"; }

bool NameUsable(const char* name) {
  // The lock's name adds five characters to the buffer's.
  return name != nullptr && *name != '\0' && std::strlen(name) + 5 <= plat::kMaxObjectName;
}

void Forget(QelUtilSharedBuffer* object) {
  if (object->lock != plat::kNullHandle) plat::close_handle(object->lock);
  if (object->mapping != plat::kNullHandle) plat::close_handle(object->mapping);
  *object = {};
}

}  // namespace

bool QelUtilAllocSharedBuffer(std::uint64_t size, const char* name, QelUtilSharedBuffer* object) {
  if (object == nullptr) {
    QEL_UTIL_TRACE("QelUtilAllocSharedBuffer => Invalid argument (sharedBuffer == NULL)");
    return false;
  }
  *object = {};
  if (!NameUsable(name) || size == 0) {
    QEL_UTIL_TRACE("QelUtilAllocSharedBuffer => Invalid argument (bufName, bufSize)");
    return false;
  }
  OpenToAll security;
  if (!security.Initialise()) {
    QEL_UTIL_TRACE("QelUtilAllocSharedBuffer => Cannot initialize security descriptor (%u)", plat::last_error());
    return false;
  }
  object->lock = plat::create_mutex(&security.attributes, true, LockName(name).c_str());
  if (object->lock == plat::kNullHandle) {
    QEL_UTIL_TRACE("QelUtilAllocSharedBuffer => Cannot create mutex %s_LOCK (%u)", name, plat::last_error());
    return false;
  }
  // A fresh lock was taken by its creation; an existing one was not.
  if (plat::last_error() != plat::kErrorAlreadyExists) plat::release_mutex(object->lock);
  object->mapping = plat::create_file_mapping(&security.attributes, size, name);
  if (object->mapping == plat::kNullHandle) {
    QEL_UTIL_TRACE("QelUtilAllocSharedBuffer => Cannot create file mapping %s (%u)", name, plat::last_error());
    Forget(object);
    return false;
  }
  object->createdHere = plat::last_error() == plat::kErrorAlreadyExists ? 0 : 1;
  object->size = size;
  return true;
}

bool QelUtilOpenSharedBuffer(const char* name, QelUtilSharedBuffer* object) {
  if (object == nullptr) {
    QEL_UTIL_TRACE("QelUtilOpenSharedBuffer => Invalid argument (sharedBuffer == NULL)");
    return false;
  }
  *object = {};
  if (!NameUsable(name)) {
    QEL_UTIL_TRACE("QelUtilOpenSharedBuffer => Invalid argument (bufName)");
    return false;
  }
  object->lock = plat::open_mutex(LockName(name).c_str());
  if (object->lock == plat::kNullHandle) {
    QEL_UTIL_TRACE("QelUtilOpenSharedBuffer => Cannot open mutex %s_LOCK (%u)", name, plat::last_error());
    Forget(object);
    return false;
  }
  object->mapping = plat::open_file_mapping(name);
  if (object->mapping == plat::kNullHandle) {
    QEL_UTIL_TRACE("QelUtilOpenSharedBuffer => Cannot open file mapping %s (%u)", name, plat::last_error());
    Forget(object);
    return false;
  }
  object->size = plat::section_size(object->mapping);
  return true;
}

bool QelUtilFreeSharedBuffer(QelUtilSharedBuffer* object) {
  if (object == nullptr) {
    QEL_UTIL_TRACE("QelUtilFreeSharedBuffer => Invalid argument (sharedBuffer == NULL)");
    return false;
  }
  Forget(object);
  return true;
}

void* QelUtilMapSharedBuffer(QelUtilSharedBuffer* object, std::uint64_t offset, std::uint64_t size,
                             QelUtilSharedWindow* window) {
  if (object == nullptr || window == nullptr || object->mapping == plat::kNullHandle) {
    QEL_UTIL_TRACE("QelUtilMapSharedBuffer => Invalid argument (sharedBuffer, sharedWindow)");
    return nullptr;
  }
  window->view = nullptr;
  if (offset > object->size || size > object->size - offset) {
    QEL_UTIL_TRACE("QelUtilMapSharedBuffer => Invalid argument (bufOffset + bufMapSize > bufSize)");
    return nullptr;
  }
  const std::uint64_t remainder = offset % plat::kAllocationGranularity;
  // Size 0 maps up to the end of the section.
  const std::uint64_t length = size == 0 ? 0 : remainder + size;
  void* view = plat::map_view_of_file_at(object->mapping, offset - remainder, length);
  if (view == nullptr) {
    QEL_UTIL_TRACE("QelUtilMapSharedBuffer => Cannot map view of file (%u)", plat::last_error());
    return nullptr;
  }
  window->view = view;
  return static_cast<std::byte*>(view) + remainder;
}

bool QelUtilUnmapSharedBuffer(QelUtilSharedWindow* window) {
  if (window == nullptr || window->view == nullptr) {
    QEL_UTIL_TRACE("QelUtilUnmapSharedBuffer => Invalid argument (sharedWindow)");
    return false;
  }
  const bool unmapped = plat::unmap_view_of_file(window->view);
  if (!unmapped) QEL_UTIL_TRACE("QelUtilUnmapSharedBuffer => Cannot unmap view of file (%u)", plat::last_error());
  window->view = nullptr;
  return unmapped;
}

bool QelUtilHasCreatedSharedBuffer(const QelUtilSharedBuffer* object) {
  return object != nullptr && object->createdHere != 0;
}

bool QelUtilLockSharedBuffer(QelUtilSharedBuffer* object, std::uint32_t timeoutMs) {
  if (object == nullptr || object->lock == plat::kNullHandle) {
    QEL_UTIL_TRACE("QelUtilLockSharedBuffer => Invalid argument (sharedBuffer)");
    return false;
  }
  const std::uint32_t result = plat::wait_for_object(object->lock, timeoutMs);
  return result == plat::kWaitObject0 || result == plat::kWaitAbandoned0;
}

bool QelUtilUnlockSharedBuffer(QelUtilSharedBuffer* object) {
  if (object == nullptr || object->lock == plat::kNullHandle) {
    QEL_UTIL_TRACE("QelUtilUnlockSharedBuffer => Invalid argument (sharedBuffer)");
    return false;
  }
  return plat::release_mutex(object->lock);
}
