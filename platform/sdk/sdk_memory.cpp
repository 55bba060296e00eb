// Messages and contiguous buffers through the memory library "QelMem.dll".
#include <cstring>
#include <mutex>

#include "platform/sdk/sdk_internal.h"
#include "platform/win/library.h"

namespace qelapi::sdk {

namespace {

struct MemoryLibrary {
  std::once_flag once;
  bool bound = false;
  qelmem::QelMemAllocMsgFn alloc = nullptr;
  qelmem::QelMemFreeMsgFn free = nullptr;
  qelmem::QelMemMapUserToKernelFn to_reference = nullptr;
  qelmem::QelMemMapKernelToUserFn from_reference = nullptr;
  qelmem::QelMemAllocBufferExFn alloc_buffer = nullptr;
  qelmem::QelMemFreeBufferFn free_buffer = nullptr;
};

MemoryLibrary& memory() {
  static MemoryLibrary* instance = new MemoryLibrary;  // the library stays loaded
  return *instance;
}

template <typename Fn>
void bind(plat::ModuleHandle module, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(plat::get_proc_address(module, name));
}

}  // namespace

bool bind_memory_library() {
  MemoryLibrary& m = memory();
  std::call_once(m.once, [&m] {
    plat::ModuleHandle module = plat::load_library(qelmem::kLibraryName);
    if (module == nullptr) {
      log_line(0, __LINE__, "cannot load QelMem.dll");
      return;
    }
    bind(module, "QelMemAllocMsg", &m.alloc);
    bind(module, "QelMemFreeMsg", &m.free);
    bind(module, "QelMemMapUserToKernel", &m.to_reference);
    bind(module, "QelMemMapKernelToUser", &m.from_reference);
    bind(module, "QelMemAllocBufferEx", &m.alloc_buffer);
    bind(module, "QelMemFreeBuffer", &m.free_buffer);
    m.bound = m.alloc && m.free && m.to_reference && m.from_reference && m.alloc_buffer && m.free_buffer;
  });
  return m.bound;
}

void* alloc_message(std::uint32_t size) {
  void* message = nullptr;
  std::uint64_t reference = 0;
  if (size < sizeof(QelSdkMessageHeader) || !bind_memory_library()) return nullptr;
  if (!memory().alloc(size, &message, &reference)) return nullptr;
  header(message)->size = size;
  return message;
}

void free_message(void* message) {
  if (message != nullptr && bind_memory_library()) memory().free(message);
}

std::uint64_t reference_of(void* message) {
  return bind_memory_library() ? memory().to_reference(message) : 0;
}

void* message_of(std::uint64_t reference) {
  return bind_memory_library() ? memory().from_reference(reference) : nullptr;
}

QelSdkMessageHeader* header(void* message) { return static_cast<QelSdkMessageHeader*>(message); }

bool valid_message(void* message) {
  return message != nullptr && bind_memory_library() && memory().to_reference(message) != 0 &&
         header(message)->size >= sizeof(QelSdkMessageHeader);
}

std::uint32_t answer_with_status(void* request, std::uint32_t status) {
  QelSdkMessageHeader* h = header(request);
  bool wanted = (h->flags & (kMessageIsAnswer | kMessageNoAnswer)) == 0 && h->transaction != 0;
  void* answer = wanted ? alloc_message(sizeof(QelSdkMessageHeader)) : nullptr;
  if (answer != nullptr) {
    QelSdkMessageHeader* a = header(answer);
    *a = *h;
    a->size = sizeof(QelSdkMessageHeader);
    a->flags = kMessageIsAnswer;
    a->source = h->destination;
    a->destination = h->source;
    a->command = status;
    a->error_text = 0;
  }
  free_message(request);
  return answer != nullptr ? route(answer) : kSdkOk;
}

}  // namespace qelapi::sdk

using namespace qelapi;
using namespace qelapi::sdk;

QELAPI_EXPORT std::uint32_t QelManAllocMessage(std::uint32_t size, void** message) {
  if (message == nullptr) return kSdkBadArgument;
  *message = alloc_message(size);
  if (*message == nullptr) return size < sizeof(QelSdkMessageHeader) ? kSdkBadArgument : kSdkNoMemory;
  header(*message)->source = kClientAddress;
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManFreeMessage(void* message) {
  if (!valid_message(message)) return kSdkBadArgument;
  free_message(message);
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManAllocAnswer(const void* request, std::uint32_t size, void** answer) {
  if (answer == nullptr || !valid_message(const_cast<void*>(request))) return kSdkBadArgument;
  *answer = alloc_message(size);
  if (*answer == nullptr) return size < sizeof(QelSdkMessageHeader) ? kSdkBadArgument : kSdkNoMemory;
  const QelSdkMessageHeader* r = static_cast<const QelSdkMessageHeader*>(request);
  QelSdkMessageHeader* a = header(*answer);
  *a = *r;
  a->size = size;
  a->flags = kMessageIsAnswer;
  a->source = r->destination;
  a->destination = r->source;
  a->command = 0;
  a->error_text = 0;
  return kSdkOk;
}

QELAPI_EXPORT std::uint32_t QelManAllocContigBufferEx(std::uint32_t size, std::uint32_t lowest,
                                                      std::uint32_t highest, std::uint64_t alignment,
                                                      qelmem::QelMemContigBuffer* out) {
  if (out == nullptr || size == 0) return kSdkBadArgument;
  if (!bind_memory_library()) return kSdkFailed;
  return memory().alloc_buffer(size, lowest, highest, alignment, out) ? kSdkOk : kSdkNoMemory;
}

QELAPI_EXPORT std::uint32_t QelManFreeContigBuffer(void* user_address) {
  if (!bind_memory_library()) return kSdkFailed;
  return memory().free_buffer(user_address) ? kSdkOk : kSdkBadArgument;
}
