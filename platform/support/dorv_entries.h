// The display support library "Dorv.DLL", as its binder sees it: two entries
// looked up by name, and the interface record through which the library hands
// out its table of display functions.
//
// RegisterInterfaceEx(record): the caller sets the record's size word to
// kDorvInterfaceSize; the library fills the function table and writes its
// interface version (kDorvInterfaceVersion) into the size word, answering 0,
// or answers a display error code and changes nothing. A slot the library
// does not offer stays null. UnregisterInterfaceEx(record) (size word set the
// same way) ends the registration; surfaces still open stay valid until freed.
//
// Surfaces live in memory only: the library's own memory (lines a multiple of
// 32 pixels apart), or memory the caller registered (slot kDorvRegisterMemory)
// and owns (lines packed). Every display function
// answers a display error code (0 success); handles of surfaces, overlays and
// registered memory are non-zero 64-bit values of this process.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dorv {

inline constexpr char kLibraryName[] = "Dorv.DLL";
inline constexpr std::uint32_t kDorvInterfaceSize = 56;
inline constexpr std::uint32_t kDorvInterfaceVersion = 100;

// Positions of the display functions in the table.
enum DorvSlot : std::size_t {
  kDorvCreateSurface = 0,         // DorvCreateSurfaceFn
  kDorvReleaseSurface = 1,        // DorvHandleFn
  kDorvGetErrorText = 11,         // DorvGetErrorTextFn
  kDorvGetSurfaceKind = 12,       // DorvGetWordFn: kDorvSurfacePlain or another kind
  kDorvGetSurfacePitch = 13,      // DorvGetWordFn: bytes from one line to the next
  kDorvLockSurface = 14,          // DorvLockSurfaceFn: the address of the first line
  kDorvUnlockSurface = 15,        // DorvHandleFn
  kDorvRegisterMemory = 27,       // DorvRegisterMemoryFn
  kDorvUnregisterMemory = 28,     // DorvHandleFn
  kDorvCreateOverlaySurface = 32, // DorvCreateOverlaySurfaceFn
  kDorvCreateOverlay = 50,        // DorvCreateOverlayFn
  kDorvReleaseOverlay = 51,       // DorvHandleFn
  kDorvSlotCount = 64
};

// Surface kinds (kDorvGetSurfaceKind).
inline constexpr std::uint32_t kDorvSurfacePlain = 0;
inline constexpr std::uint32_t kDorvSurfaceFlipping = 1;

// Display error codes of the library.
inline constexpr std::uint32_t kDorvOk = 0;
inline constexpr std::uint32_t kDorvErrorBadObject = 205;         // no such surface, overlay or memory
inline constexpr std::uint32_t kDorvErrorInvalidParams = 1003;    // zero size, null pointer, bad interface size
inline constexpr std::uint32_t kDorvErrorNoHardware = 1010;       // display hardware support not enabled
inline constexpr std::uint32_t kDorvErrorOutOfMemory = 1012;      // no memory for the surface
inline constexpr std::uint32_t kDorvErrorUnsupportedFormat = 1016;
inline constexpr std::uint32_t kDorvErrorMemoryTooSmall = 1011;   // registered memory shorter than the surface
inline constexpr std::uint32_t kDorvErrorNoOverlay = 0x43C;       // no overlay surface of this kind
inline constexpr std::uint32_t kDorvErrorNotLocked = 1017;        // unlock of a surface that is not locked

extern "C" {

// memory: 0 for library memory, else a registration of kDorvRegisterMemory,
// whose memory then holds the surface from its first byte, lines packed.
using DorvCreateSurfaceFn = std::uint32_t (*)(std::uint32_t memoryType, std::uint32_t displayFormat,
                                              std::uint32_t width, std::uint32_t height, std::uint64_t memory,
                                              std::uint64_t* surface);
using DorvCreateOverlaySurfaceFn = std::uint32_t (*)(std::uint64_t overlay, std::uint32_t memoryType,
                                                     std::uint32_t displayFormat, std::uint32_t width,
                                                     std::uint32_t height, std::uint64_t memory,
                                                     std::uint64_t* surface);
// option: bits 28-31 of the buffer's memory type, as a number 0-15.
using DorvCreateOverlayFn = std::uint32_t (*)(std::uint32_t option, std::uint64_t* overlay);
using DorvHandleFn = std::uint32_t (*)(std::uint64_t handle);
using DorvGetWordFn = std::uint32_t (*)(std::uint64_t surface, std::uint32_t* value);
using DorvLockSurfaceFn = std::uint32_t (*)(std::uint64_t surface, std::uint64_t* address);
using DorvRegisterMemoryFn = std::uint32_t (*)(std::uint64_t address, std::uint64_t size, std::uint64_t* memory);
// Copies a text for the code, cut to size - 1 characters and terminated.
using DorvGetErrorTextFn = std::uint32_t (*)(std::uint32_t code, char* text, std::uint32_t size);

}  // extern "C"

// The display interface record: one per process, owned by the binder.
struct DorvInterface;
extern "C" {
using DorvRegisterInterfaceExFn = std::uint32_t (*)(DorvInterface* record);
using DorvUnregisterInterfaceExFn = std::uint32_t (*)(DorvInterface* record);
}

struct DorvInterface {
  std::uint32_t sizeAndVersion;    // kDorvInterfaceSize before a call; the version after registration
  std::uint32_t reserved;
  void* module;                    // the library's module handle, kept by the binder
  void* functions[kDorvSlotCount]; // filled by RegisterInterfaceEx
  DorvRegisterInterfaceExFn registerInterface;
  DorvUnregisterInterfaceExFn unregisterInterface;
};
static_assert(offsetof(DorvInterface, module) == 8);
static_assert(offsetof(DorvInterface, functions) == 16);
static_assert(sizeof(DorvInterface) == 16 + 8 * kDorvSlotCount + 16);

// Display formats (the binder's translation of buffer formats).
inline constexpr std::uint32_t kDorvFormatUnknown = 101;

}  // namespace dorv
