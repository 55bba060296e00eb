// Inside the instance: the tokens of the registered handler ranges, the
// installation steps of the SDK modules and their release steps. A module
// not built yet has an empty step: it answers 0 and is skipped. Tests
// replace steps to see a failing one and the order of the releases.
#pragma once

#include <array>
#include <cstdint>

#include "source/QelAPI/QelApi.h"

struct HostFirmwareTokens {
  HostFuncHandler* manager;
  HostFuncHandler* buffer;
  HostFuncHandler* transfer;
  HostFuncHandler* serial;
  HostFuncHandler* gio;
  HostFuncHandler* pixpro;
  HostFuncHandler* lut;
};
HostFirmwareTokens& HostFirmwareTokensOf();

struct InstallStep {
  QelStatus (*run)(std::uint32_t boardCount);  // null: the module is not built yet
  const char* failureLine;                     // "%s" is the module label
};
inline constexpr std::size_t kInstallStepCount = 13;
std::array<InstallStep, kInstallStepCount>& InstallSteps();

// Release steps, in the order of UninstallFunctions. A step with a token runs
// only while its token is held: its module's release, then the token's
// handler range is freed and the token cleared. A step without token always
// runs its release.
struct UninstallStep {
  HostFuncHandler* HostFirmwareTokens::*token;  // null: no token
  QelStatus (*release)();                       // null: nothing but the token
};
inline constexpr std::size_t kUninstallStepCount = 8;
std::array<UninstallStep, kUninstallStepCount>& UninstallSteps();

QelStatus InstallFunctions(std::uint32_t boardCount);
void UninstallFunctions();

// What the instance of this process holds, for tests and diagnostics.
struct InstanceView {
  bool open;
  QelStatus openResult;
  std::uint32_t serverMode;
  bool portServerRegistered;
  bool eventsCreated;
};
InstanceView HostFirmwareInstanceView();
