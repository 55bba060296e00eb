// The display support library "Dorv.DLL": display surfaces held in memory only
// (no screen), created plain or on an overlay, locked around access.
//
// Knobs for tests, read from "dorv.ini" of the machine directory, section
// "Knobs", at each call that uses them:
//   RegisterStatus   what RegisterInterfaceEx answers (default 0)
//   InterfaceSize    the size word it expects in the record (default 56)
//   InterfaceVersion the version it writes back (default 100)
//   MissingSlots     slot numbers left empty, separated by commas
//   OverlayStatus    what an overlay surface's creation answers (default 0)
//   SurfaceKind      the kind every surface reports (default 0, plain)
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "platform/support/dorv_entries.h"
#include "platform/win/machine.h"
#include "platform/win/profile.h"

#define DORV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace dorv;

// Lines of library memory start every kPitchPixels pixels, as display memory
// lines often do.
constexpr std::uint64_t kPitchPixels = 32;

std::uint32_t Knob(const char* key, std::int32_t fallback) {
  const std::string file = plat::machine_path("dorv.ini");
  return plat::get_private_profile_int("Knobs", key, fallback, file.c_str());
}

bool SlotIsMissing(std::size_t slot) {
  char list[256] = {};
  const std::string file = plat::machine_path("dorv.ini");
  plat::get_private_profile_string("Knobs", "MissingSlots", "", list, sizeof list, file.c_str());
  for (char* item = std::strtok(list, ", "); item != nullptr; item = std::strtok(nullptr, ", ")) {
    if (std::strtoul(item, nullptr, 0) == slot) return true;
  }
  return false;
}

// Bits per pixel of each display format; 0 for a format the library lacks.
std::uint32_t FormatBits(std::uint32_t displayFormat) {
  static constexpr std::uint32_t kBits[] = {0, 8, 16, 16, 32, 16, 16, 16, 16, 12, 12, 24, 16};
  return displayFormat < std::size(kBits) ? kBits[displayFormat] : 0;
}

struct Memory {
  std::uint64_t address;
  std::uint64_t size;
};

struct Surface {
  std::unique_ptr<std::byte[]> own;  // library memory, or none when registered memory holds it
  std::byte* first = nullptr;
  std::uint32_t pitch = 0;
  std::uint32_t kind = kDorvSurfacePlain;
  std::uint32_t locks = 0;
};

struct Overlay {
  std::uint32_t option;
};

// Objects of this process, by handle.
struct Objects {
  std::mutex mutex;
  std::uint64_t next = 1;
  std::map<std::uint64_t, Memory> memories;
  std::map<std::uint64_t, Surface> surfaces;
  std::map<std::uint64_t, Overlay> overlays;
};

Objects& objects() {
  static Objects instance;
  return instance;
}

std::uint32_t MakeSurface(std::uint32_t displayFormat, std::uint32_t width, std::uint32_t height,
                          std::uint64_t memory, std::uint64_t* out) {
  if (out == nullptr || width == 0 || height == 0) return kDorvErrorInvalidParams;
  const std::uint32_t bits = FormatBits(displayFormat);
  if (bits == 0) return kDorvErrorUnsupportedFormat;
  const std::uint64_t line = (std::uint64_t{bits} * width + 7) / 8;
  Objects& o = objects();
  std::lock_guard lock(o.mutex);
  Surface surface;
  if (memory != 0) {
    auto it = o.memories.find(memory);
    if (it == o.memories.end()) return kDorvErrorBadObject;
    if (line * height > it->second.size) return kDorvErrorMemoryTooSmall;
    surface.first = reinterpret_cast<std::byte*>(it->second.address);
    surface.pitch = static_cast<std::uint32_t>(line);
  } else {
    const std::uint64_t pixels = (std::uint64_t{width} + kPitchPixels - 1) / kPitchPixels * kPitchPixels;
    const std::uint64_t pitch = (std::uint64_t{bits} * pixels + 7) / 8;
    if (pitch * height > (std::uint64_t{1} << 31)) return kDorvErrorOutOfMemory;
    surface.own.reset(new (std::nothrow) std::byte[pitch * height]());
    if (!surface.own) return kDorvErrorOutOfMemory;
    surface.first = surface.own.get();
    surface.pitch = static_cast<std::uint32_t>(pitch);
  }
  surface.kind = Knob("SurfaceKind", kDorvSurfacePlain);
  *out = o.next++;
  o.surfaces.emplace(*out, std::move(surface));
  return kDorvOk;
}

Surface* FindSurface(std::uint64_t handle) {
  auto it = objects().surfaces.find(handle);
  return it == objects().surfaces.end() ? nullptr : &it->second;
}

extern "C" {

std::uint32_t CreateSurface(std::uint32_t memoryType, std::uint32_t displayFormat, std::uint32_t width,
                            std::uint32_t height, std::uint64_t memory, std::uint64_t* surface) {
  return MakeSurface(displayFormat, width, height, memory, surface);
}

std::uint32_t CreateOverlaySurface(std::uint64_t overlay, std::uint32_t memoryType, std::uint32_t displayFormat,
                                   std::uint32_t width, std::uint32_t height, std::uint64_t memory,
                                   std::uint64_t* surface) {
  {
    Objects& o = objects();
    std::lock_guard lock(o.mutex);
    if (o.overlays.find(overlay) == o.overlays.end()) return kDorvErrorBadObject;
  }
  if (const std::uint32_t status = Knob("OverlayStatus", kDorvOk); status != kDorvOk) return status;
  return MakeSurface(displayFormat, width, height, memory, surface);
}

std::uint32_t ReleaseSurface(std::uint64_t handle) {
  Objects& o = objects();
  std::lock_guard lock(o.mutex);
  return o.surfaces.erase(handle) == 1 ? kDorvOk : kDorvErrorBadObject;
}

std::uint32_t GetSurfaceKind(std::uint64_t handle, std::uint32_t* kind) {
  std::lock_guard lock(objects().mutex);
  const Surface* surface = FindSurface(handle);
  if (surface == nullptr) return kDorvErrorBadObject;
  if (kind == nullptr) return kDorvErrorInvalidParams;
  *kind = surface->kind;
  return kDorvOk;
}

std::uint32_t GetSurfacePitch(std::uint64_t handle, std::uint32_t* pitch) {
  std::lock_guard lock(objects().mutex);
  const Surface* surface = FindSurface(handle);
  if (surface == nullptr) return kDorvErrorBadObject;
  if (pitch == nullptr) return kDorvErrorInvalidParams;
  *pitch = surface->pitch;
  return kDorvOk;
}

std::uint32_t LockSurface(std::uint64_t handle, std::uint64_t* address) {
  std::lock_guard lock(objects().mutex);
  Surface* surface = FindSurface(handle);
  if (surface == nullptr) return kDorvErrorBadObject;
  if (address == nullptr) return kDorvErrorInvalidParams;
  ++surface->locks;
  *address = reinterpret_cast<std::uint64_t>(surface->first);
  return kDorvOk;
}

std::uint32_t UnlockSurface(std::uint64_t handle) {
  std::lock_guard lock(objects().mutex);
  Surface* surface = FindSurface(handle);
  if (surface == nullptr) return kDorvErrorBadObject;
  if (surface->locks == 0) return kDorvErrorNotLocked;
  --surface->locks;
  return kDorvOk;
}

std::uint32_t RegisterMemory(std::uint64_t address, std::uint64_t size, std::uint64_t* memory) {
  if (address == 0 || size == 0 || memory == nullptr) return kDorvErrorInvalidParams;
  Objects& o = objects();
  std::lock_guard lock(o.mutex);
  *memory = o.next++;
  o.memories.emplace(*memory, Memory{address, size});
  return kDorvOk;
}

std::uint32_t UnregisterMemory(std::uint64_t memory) {
  Objects& o = objects();
  std::lock_guard lock(o.mutex);
  return o.memories.erase(memory) == 1 ? kDorvOk : kDorvErrorBadObject;
}

std::uint32_t CreateOverlay(std::uint32_t option, std::uint64_t* overlay) {
  if (overlay == nullptr) return kDorvErrorInvalidParams;
  Objects& o = objects();
  std::lock_guard lock(o.mutex);
  *overlay = o.next++;
  o.overlays.emplace(*overlay, Overlay{option});
  return kDorvOk;
}

std::uint32_t ReleaseOverlay(std::uint64_t overlay) {
  Objects& o = objects();
  std::lock_guard lock(o.mutex);
  return o.overlays.erase(overlay) == 1 ? kDorvOk : kDorvErrorBadObject;
}

std::uint32_t GetErrorText(std::uint32_t code, char* text, std::uint32_t size) {
  if (text == nullptr || size == 0) return kDorvErrorInvalidParams;
  const char* what = "unknown display error";
  switch (code) {
    case kDorvOk: what = "no error"; break;
    case kDorvErrorBadObject: what = "no such display object"; break;
    case kDorvErrorInvalidParams: what = "invalid parameters"; break;
    case kDorvErrorNoHardware: what = "display hardware support is not enabled"; break;
    case kDorvErrorOutOfMemory: what = "out of display memory"; break;
    case kDorvErrorMemoryTooSmall: what = "registered memory too small for the surface"; break;
    case kDorvErrorUnsupportedFormat: what = "display format not supported"; break;
    case kDorvErrorNoOverlay: what = "no overlay surface of this kind"; break;
    case kDorvErrorNotLocked: what = "surface not locked"; break;
  }
  std::snprintf(text, size, "Dorv error %u: %s", code, what);
  return kDorvOk;
}

}  // extern "C"

void FillTable(DorvInterface* record) {
  struct SlotEntry {
    std::size_t slot;
    void* function;
  };
  const SlotEntry entries[] = {
      {kDorvCreateSurface, reinterpret_cast<void*>(&CreateSurface)},
      {kDorvReleaseSurface, reinterpret_cast<void*>(&ReleaseSurface)},
      {kDorvGetErrorText, reinterpret_cast<void*>(&GetErrorText)},
      {kDorvGetSurfaceKind, reinterpret_cast<void*>(&GetSurfaceKind)},
      {kDorvGetSurfacePitch, reinterpret_cast<void*>(&GetSurfacePitch)},
      {kDorvLockSurface, reinterpret_cast<void*>(&LockSurface)},
      {kDorvUnlockSurface, reinterpret_cast<void*>(&UnlockSurface)},
      {kDorvRegisterMemory, reinterpret_cast<void*>(&RegisterMemory)},
      {kDorvUnregisterMemory, reinterpret_cast<void*>(&UnregisterMemory)},
      {kDorvCreateOverlaySurface, reinterpret_cast<void*>(&CreateOverlaySurface)},
      {kDorvCreateOverlay, reinterpret_cast<void*>(&CreateOverlay)},
      {kDorvReleaseOverlay, reinterpret_cast<void*>(&ReleaseOverlay)},
  };
  std::memset(record->functions, 0, sizeof record->functions);
  for (const SlotEntry& entry : entries) {
    if (!SlotIsMissing(entry.slot)) record->functions[entry.slot] = entry.function;
  }
}

}  // namespace

DORV_EXPORT std::uint32_t RegisterInterfaceEx(DorvInterface* record) {
  if (record == nullptr) return kDorvErrorInvalidParams;
  if (const std::uint32_t status = Knob("RegisterStatus", kDorvOk); status != kDorvOk) return status;
  if (record->sizeAndVersion != Knob("InterfaceSize", kDorvInterfaceSize)) return kDorvErrorInvalidParams;
  FillTable(record);
  record->sizeAndVersion = Knob("InterfaceVersion", kDorvInterfaceVersion);
  return kDorvOk;
}

DORV_EXPORT std::uint32_t UnregisterInterfaceEx(DorvInterface* record) {
  if (record == nullptr || record->sizeAndVersion != Knob("InterfaceSize", kDorvInterfaceSize))
    return kDorvErrorInvalidParams;
  std::memset(record->functions, 0, sizeof record->functions);
  return kDorvOk;
}
