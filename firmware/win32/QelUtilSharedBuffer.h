// Named shared-memory buffers: a page-file section "<name>" and its lock, the
// mutex "<name>_LOCK", both open to every process (NULL DACL). Windows of a
// buffer are views mapped at any offset.
#pragma once

#include <cstdint>

#include "platform/win/objects.h"

struct QelUtilSharedBuffer {
  plat::Handle mapping;
  std::uint32_t createdHere;  // 1: this process made the section
  plat::Handle lock;
  std::uint64_t size;
};

struct QelUtilSharedWindow {
  void* view;  // the view as mapped, before the offset's remainder
};

bool QelUtilAllocSharedBuffer(std::uint64_t size, const char* name, QelUtilSharedBuffer* object);
bool QelUtilOpenSharedBuffer(const char* name, QelUtilSharedBuffer* object);
bool QelUtilFreeSharedBuffer(QelUtilSharedBuffer* object);
// The address of byte `offset` of the buffer, `size` bytes mapped from there;
// null when offset + size passes the buffer's end.
void* QelUtilMapSharedBuffer(QelUtilSharedBuffer* object, std::uint64_t offset, std::uint64_t size,
                             QelUtilSharedWindow* window);
bool QelUtilUnmapSharedBuffer(QelUtilSharedWindow* window);
bool QelUtilHasCreatedSharedBuffer(const QelUtilSharedBuffer* object);
// True when the lock was taken (an abandoned lock counts as taken).
bool QelUtilLockSharedBuffer(QelUtilSharedBuffer* object, std::uint32_t timeoutMs);
bool QelUtilUnlockSharedBuffer(QelUtilSharedBuffer* object);
