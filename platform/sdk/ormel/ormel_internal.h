// Inside the stand-in device-control module "Ormel.VKM": the SDK entries it
// binds, the server driver it loads, and what its open published.
#pragma once

#include <cstdint>

#include "firmware/win32/QelManagerInterface.h"
#include "platform/sdk/qelapi.h"
#include "source/QelAPI/QelHandle.h"

// The SDK's server handle and the server driver's object handle are one record.
static_assert(sizeof(qelapi::QelServerHandle) == sizeof(QelHandle));
static_assert(offsetof(qelapi::QelServerHandle, record) == offsetof(QelHandle, record));
static_assert(offsetof(qelapi::QelServerHandle, tag) == offsetof(QelHandle, tag));
static_assert(offsetof(qelapi::QelServerHandle, self) == offsetof(QelHandle, self));
static_assert(qelapi::kServerTag == kQelTagServer);

namespace ormel {

inline constexpr char kLabel[] = "Ormel.VKM";
inline constexpr char kServerDriver[] = "Quillet.DLL";
inline constexpr std::uint32_t kHostPortServer = 62;
inline constexpr std::uint32_t kMaxBoards = 16;

// Statuses of the module's slots.
inline constexpr std::uint32_t kOutOfBounds = 42;
inline constexpr std::uint32_t kZeroSize = 50;
inline constexpr std::uint32_t kIndexOutOfRange = 51;
inline constexpr std::uint32_t kNullPointer = 54;
inline constexpr std::uint32_t kNotImplemented = 70;
inline constexpr std::uint32_t kOutputTooSmall = 80;
inline constexpr std::uint32_t kOpenFailed = 86;
inline constexpr std::uint32_t kNotAvailable = 104;
inline constexpr std::uint32_t kInstanceMutexNotHad = 121;

// The server driver's table while the module is open, null otherwise.
QelManagerInterface* server_driver();
// Opens the module (mode 0: board management only, nothing published);
// 0 when it was open already.
std::uint32_t open_module_mode(std::uint32_t mode);
std::uint32_t close_module();
bool module_is_open();
// Boards the server driver counts (0 while closed).
std::uint32_t board_count();

}  // namespace ormel
