// Buffers on display surfaces of the display support library, attached once
// per process on the first display buffer. Kind 8 holds its image in
// contiguous memory that it registers with the library; kinds with 0x02 put
// their surface on an overlay and are locked around every data access.
#include <cstring>
#include <new>

#include "firmware/win32/QelDorvBinding.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelBuff/BufferInternal.h"

namespace {

using namespace dorv;

constexpr QelStatus kTooOld = 75;
constexpr QelStatus kNoPitch = 0x80006E;
constexpr std::uint32_t kErrorTextSize = 128;

// The display information block of a buffer (descriptor offset 48).
struct BufferDisplayInfo {
  std::uint64_t surface;
  std::uint64_t overlay;
  std::uint64_t registration;  // the registered contiguous memory of kinds 8 and 10
  std::uint64_t reserved;
  std::uint32_t pitch;         // bytes from one line of the surface to the next
  std::uint32_t locked;
  std::uint32_t displayFormat;
  std::uint32_t memoryType;
};
static_assert(sizeof(BufferDisplayInfo) == 48);

// The process's display interface record (one per process).
constinit DorvInterface g_display{};

template <typename Fn>
Fn Entry(DorvSlot slot) {
  return reinterpret_cast<Fn>(g_display.functions[slot]);
}

BufferDisplayInfo* InfoOf(const BufferDescriptor* descriptor) {
  return reinterpret_cast<BufferDisplayInfo*>(static_cast<std::uintptr_t>(descriptor->displayInfo));
}

QelStatus Attach() {
  if (DorvAttachCount() == 0) {
    if (const std::uint32_t status = DorvAttach(&g_display); status != 0) return status;
  }
  return g_display.module != nullptr ? QEL_OK : kBufferNotAllowed;
}

// A failure of the library, logged with its own text.
QelStatus LibraryFailure(std::uint32_t code, const char* format) {
  char text[kErrorTextSize] = {};
  if (auto text_of = Entry<DorvGetErrorTextFn>(kDorvGetErrorText)) text_of(code, text, sizeof text);
  LogPutLog(kQelLogError, __FILE__, __LINE__, format, kBufferLabel, text);
  return kBufferModule | DorvTranslateStatus(code);
}

QelStatus TooOld(const char* where) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Dorv.DLL too old", where);
  return kTooOld;
}

// What a display buffer takes, given back in reverse order when it fails.
struct Surface {
  BufferDisplayInfo info{};
  void* memory = nullptr;        // contiguous memory of kind 8
  std::uint64_t physical = 0;
};

void Release(const Surface& surface) {
  if (surface.info.surface != 0) {
    if (auto release = Entry<DorvHandleFn>(kDorvReleaseSurface)) release(surface.info.surface);
  }
  if (surface.info.overlay != 0) {
    if (auto release = Entry<DorvHandleFn>(kDorvReleaseOverlay)) release(surface.info.overlay);
  }
  if (surface.info.registration != 0) {
    if (auto unregister = Entry<DorvHandleFn>(kDorvUnregisterMemory)) unregister(surface.info.registration);
  }
  if (surface.memory != nullptr) QelManFreeContigBuffer(surface.memory);
}

QelStatus RegisterContiguous(std::uint64_t size, Surface* surface) {
  if (QelManAllocContigBufferEx(static_cast<std::uint32_t>(size), 0, 0xFFFFFFFFu, &surface->physical,
                                &surface->memory) != QEL_OK)
    return kBufferNoMemory;
  auto registerMemory = Entry<DorvRegisterMemoryFn>(kDorvRegisterMemory);
  if (registerMemory == nullptr) return TooOld("BufferNew");
  if (registerMemory(reinterpret_cast<std::uint64_t>(surface->memory), size, &surface->info.registration) != kDorvOk)
    return kBufferNoMemory;
  return QEL_OK;
}

QelStatus CreatePlain(std::uint32_t width, std::uint32_t height, Surface* surface) {
  auto create = Entry<DorvCreateSurfaceFn>(kDorvCreateSurface);
  if (create == nullptr) return TooOld("BufferNew");
  const std::uint32_t code = create(surface->info.memoryType, surface->info.displayFormat, width, height,
                                    surface->info.registration, &surface->info.surface);
  return code == kDorvOk ? QEL_OK : LibraryFailure(code, "%s: %s");
}

QelStatus CreateOnOverlay(std::uint32_t kind, std::uint32_t width, std::uint32_t height, Surface* surface) {
  auto overlay = Entry<DorvCreateOverlayFn>(kDorvCreateOverlay);
  auto create = Entry<DorvCreateOverlaySurfaceFn>(kDorvCreateOverlaySurface);
  if (overlay == nullptr || create == nullptr) return TooOld("BufferNew");
  std::uint32_t code = overlay(kind >> 28, &surface->info.overlay);
  if (code == kDorvOk)
    code = create(surface->info.overlay, surface->info.memoryType, surface->info.displayFormat, width, height,
                  surface->info.registration, &surface->info.surface);
  if (code == kDorvErrorNoOverlay) return CreatePlain(width, height, surface);
  return code == kDorvOk ? QEL_OK : LibraryFailure(code, "%s: %s");
}

// Pitch, kind and the address of the first line.
QelStatus Inspect(Surface* surface, std::uint64_t* address) {
  auto pitch = Entry<DorvGetWordFn>(kDorvGetSurfacePitch);
  auto kindOf = Entry<DorvGetWordFn>(kDorvGetSurfaceKind);
  auto lock = Entry<DorvLockSurfaceFn>(kDorvLockSurface);
  auto unlock = Entry<DorvHandleFn>(kDorvUnlockSurface);
  if (pitch == nullptr || kindOf == nullptr || lock == nullptr || unlock == nullptr) return TooOld("BufferNew");
  if (pitch(surface->info.surface, &surface->info.pitch) != kDorvOk || surface->info.pitch == 0) return kNoPitch;
  std::uint32_t kind = kDorvSurfacePlain;
  if (kindOf(surface->info.surface, &kind) != kDorvOk || kind != kDorvSurfacePlain) return kBufferNotSupported;
  if (surface->memory != nullptr) {
    *address = reinterpret_cast<std::uint64_t>(surface->memory);
    return QEL_OK;
  }
  if (const std::uint32_t code = lock(surface->info.surface, address); code != kDorvOk)
    return LibraryFailure(code, "%s: Error locking buffer - %s");
  unlock(surface->info.surface);
  return QEL_OK;
}

QelStatus MakeSurface(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::uint32_t kind,
                      Surface* surface, std::uint64_t* address) {
  surface->info.displayFormat = DorvFormatFromDataFormat(format);
  surface->info.memoryType = DorvMemTypeFromBufferType(kind);
  if ((kind & kBufferKindDisplayContiguous) != 0) {
    if (const QelStatus status = RegisterContiguous(BufferMemorySize(width, height, format), surface);
        status != QEL_OK)
      return status;
  }
  const QelStatus status = (kind & kBufferKindDisplayLocked) != 0 ? CreateOnOverlay(kind, width, height, surface)
                                                                   : CreatePlain(width, height, surface);
  if (status != QEL_OK) return status;
  return Inspect(surface, address);
}

QelStatus Describe(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::uint32_t kind,
                   const Surface& surface, std::uint64_t address, QelHandle** out) {
  auto* info = new (std::nothrow) BufferDisplayInfo(surface.info);
  if (info == nullptr) return kBufferNoHandleMemory;
  const std::uint32_t elementSize = BufferFormatElementSize(format);
  const std::uint32_t pitch = surface.info.pitch / (elementSize == 0 ? 1 : elementSize);
  BufferMemoryRequest request{pitch, height, format, kind, false, 0, 0};
  BufferDescriptor* descriptor = nullptr;
  std::uint64_t physical = 0;
  QelStatus status = BufferAllocMemory(request, &descriptor, &physical);
  if (status == QEL_OK) {
    BufferFillDescriptor(descriptor, width, height, format, kind, address);
    descriptor->pitch = pitch;
    descriptor->bytesPerLine = surface.info.pitch;
    descriptor->displayInfo = reinterpret_cast<std::uint64_t>(info);
    descriptor->sgEntriesUsed = 1;
    descriptor->sgFirstPhysical = surface.physical;
    descriptor->sgFirstLength = static_cast<std::uint32_t>(BufferMemorySize(width, height, format));
    status = BufferNewRecord(descriptor, physical, out);
    if (status != QEL_OK) BufferFreeDescriptor(descriptor);
  }
  if (status != QEL_OK) delete info;
  return status == QEL_OK ? QEL_OK : (status | kBufferModule);
}

}  // namespace

QelStatus BufferNewDisplay(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::uint32_t kind,
                           QelHandle** out) {
  if (const QelStatus status = Attach(); status != QEL_OK) return status;
  Surface surface;
  std::uint64_t address = 0;
  QelStatus status = MakeSurface(width, height, format, kind, &surface, &address);
  if (status == QEL_OK) status = Describe(width, height, format, kind, surface, address, out);
  if (status != QEL_OK) Release(surface);
  return status;
}

bool BufferHasSurface(const BufferDescriptor* descriptor) { return InfoOf(descriptor) != nullptr; }

bool BufferSurfaceLocked(const BufferDescriptor* descriptor) {
  const BufferDisplayInfo* info = InfoOf(descriptor);
  return info != nullptr && info->locked != 0;
}

std::uint32_t BufferSurfacePitch(const BufferDescriptor* descriptor) {
  const BufferDisplayInfo* info = InfoOf(descriptor);
  return info != nullptr ? info->pitch : descriptor->bytesPerLine;
}

QelStatus BufferLockSurface(BufferDescriptor* descriptor, bool lock) {
  BufferDisplayInfo* info = InfoOf(descriptor);
  if (info == nullptr) return QEL_OK;
  if (g_display.module == nullptr) return kBufferNotAllowed;
  if (!lock) {
    auto unlock = Entry<DorvHandleFn>(kDorvUnlockSurface);
    if (unlock == nullptr) return TooOld("BufferSetPrmEx") | kBufferModule;
    if (info->locked == 0) return QEL_OK;
    if (const std::uint32_t code = unlock(info->surface); code != kDorvOk)
      return LibraryFailure(code, "%s: Error locking buffer - %s");
    info->locked = 0;
    return QEL_OK;
  }
  auto lockSurface = Entry<DorvLockSurfaceFn>(kDorvLockSurface);
  if (lockSurface == nullptr) return TooOld("BufferSetPrmEx") | kBufferModule;
  if (info->locked != 0) return QEL_OK;
  std::uint64_t address = 0;
  if (const std::uint32_t code = lockSurface(info->surface, &address); code != kDorvOk)
    return LibraryFailure(code, "%s: Error locking buffer - %s");
  info->locked = 1;
  descriptor->blockAddress = address;
  descriptor->dataAddress = address + ((std::uint64_t{descriptor->bitsPerElement} * descriptor->regionX + 7) >> 3) +
                            std::uint64_t{descriptor->bytesPerLine} * descriptor->regionY;
  return QEL_OK;
}

QelStatus BufferFreeDisplay(BufferDescriptor* descriptor) {
  BufferDisplayInfo* info = InfoOf(descriptor);
  if (g_display.module == nullptr) return kBufferNotAllowed;
  if (Entry<DorvHandleFn>(kDorvReleaseSurface) == nullptr) return TooOld("BufferFreeMemory");
  if (info->locked != 0) {
    if (auto unlock = Entry<DorvHandleFn>(kDorvUnlockSurface)) unlock(info->surface);
  }
  Surface surface;
  surface.info = *info;
  if ((descriptor->memoryKind & kBufferKindDisplayContiguous) != 0)
    surface.memory = BufferAddressOf(descriptor->blockAddress);
  Release(surface);
  delete info;
  descriptor->displayInfo = 0;
  return QEL_OK;
}
