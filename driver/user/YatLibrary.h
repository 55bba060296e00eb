// The board library's per-process state and its access to the shared data
// section: used by every module of the library, exported by none.
#pragma once

#include <cstdint>

#include "driver/user/YatSharedData.h"
#include "platform/win/library.h"
#include "platform/win/objects.h"

// The label that begins every log line of the library.
inline constexpr const char* kPardowLabel = "Pardow.DLL";

// The named mutex of open and close, which guards the cross-process state of
// the shared section (YatSharedData.h).
inline constexpr const char* kYatDllMutexName = "HABRIX_QELYATCLFOLVA4X_DLL_MUTEX";

// The device handle while this process has no control device open.
inline constexpr plat::Handle kYatInvalidDevice = ~plat::Handle{0};

// This process's view of the library.
struct YatProcessState {
  plat::Handle device = kYatInvalidDevice;
  std::uint32_t processSlot = 0;  // 1 to 32 while held
  std::uint32_t opened = 0;       // 1 once QelHw_Open ran in this process
  plat::ModuleHandle module = nullptr;
};
YatProcessState& Yat_GetProcessState();

// The shared section; never null. A process that cannot map it sees a
// private zeroed copy, so that nothing it does reaches another process, and
// its open fails.
YatSharedData* Yat_GetSharedData();
bool Yat_IsSharedDataMapped();
YatSharedBoardInfo* Yat_GetSharedBoardInfo();
// The board's entry, null for board 16 or more.
YatBoardEntry* Yat_GetBoardEntry(std::uint32_t board);

std::uint32_t Yat_GetProcessSlot();
plat::Handle Yat_GetDeviceHandle();
bool Yat_IsDeviceOpen();
// The shared debug level (set by Yat_Man_Debug_Level).
std::uint32_t Yat_GetDebugLevel();
// Writes a trace to the debugger output while the debug level is above 1.
void Yat_DebugTrace(const char* text);

// Interlocked changes of the shared load count; the new value.
std::uint32_t Yat_IncrementLoadCount();
std::uint32_t Yat_DecrementLoadCount();
