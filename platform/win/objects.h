// Kernel objects shared by every process of the machine: events, semaphores and
// mutexes, named or not, in one machine-wide table. A handle value names the
// same object in every process, so a handle can be handed to another process
// (or to the kernel host) as a plain number.
//
// Reference counts are kept per process; a process that dies without closing
// loses its references when the table next looks (any create or open), and a
// mutex it held is taken by the next waiter with kWaitAbandoned0.
#pragma once

#include <cstdint>
#include <span>

#include "platform/win/security.h"

namespace plat {

using Handle = std::uint64_t;
inline constexpr Handle kNullHandle = 0;

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t kWaitObject0 = 0x00000000u;
inline constexpr std::uint32_t kWaitAbandoned0 = 0x00000080u;
inline constexpr std::uint32_t kWaitTimeout = 0x00000102u;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;
inline constexpr std::size_t kMaximumWaitObjects = 64;

// Longest object name, terminator excluded.
inline constexpr std::size_t kMaxObjectName = 259;

// Create functions open the existing object when the name is taken by one of
// the same kind (last error kErrorAlreadyExists, else kErrorSuccess); a name
// taken by another kind fails with kErrorInvalidHandle. A null or empty name
// makes an unnamed object. Failures answer kNullHandle and set the last error.
Handle create_event(const SecurityAttributes* attributes, bool manual_reset, bool initially_set,
                    const char* name);
Handle open_event(const char* name);
bool set_event(Handle event);
bool reset_event(Handle event);

Handle create_semaphore(const SecurityAttributes* attributes, std::int32_t initial_count,
                        std::int32_t maximum_count, const char* name);
Handle open_semaphore(const char* name);
// Fails with kErrorTooManyPosts when the count would pass the maximum.
bool release_semaphore(Handle semaphore, std::int32_t release_count, std::int32_t* previous_count);

// Recursive: the owning thread may wait again; it releases as often as it took.
Handle create_mutex(const SecurityAttributes* attributes, bool initially_owned, const char* name);
Handle open_mutex(const char* name);
// Fails with kErrorNotOwner when the calling thread does not own the mutex.
bool release_mutex(Handle mutex);

// kWaitObject0, kWaitAbandoned0 (a mutex whose owner died), kWaitTimeout or
// kWaitFailed (bad handle: kErrorInvalidHandle).
std::uint32_t wait_for_object(Handle object, std::uint32_t timeout_ms);
// With wait_all false: kWaitObject0 + i for the first signalled object i, or
// kWaitAbandoned0 + i. With wait_all true: kWaitObject0 once all were taken at
// one instant. Up to kMaximumWaitObjects handles.
std::uint32_t wait_for_objects(std::span<const Handle> objects, bool wait_all,
                               std::uint32_t timeout_ms);

// Closes any handle of this process: kernel objects, sections, devices.
bool close_handle(Handle handle);
// Another reference of the calling process to the same object (same kinds as
// above); the value may equal the original, each reference is closed once.
Handle duplicate_handle(Handle handle);

// Handle values from bit 30 up belong to devices: close_handle passes them to
// the closer that the device module registers here.
inline constexpr Handle kFirstDeviceHandle = Handle{1} << 30;
void set_device_handle_closer(bool (*closer)(Handle));

// For the kernel host: the kind of object behind a handle, or kNone.
enum class ObjectKind : std::uint32_t { kNone = 0, kEvent = 1, kSemaphore = 2, kMutex = 3, kSection = 4 };
ObjectKind object_kind(Handle handle);

}  // namespace plat
