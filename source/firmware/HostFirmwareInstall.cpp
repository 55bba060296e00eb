// Installation of the SDK modules' command handlers in their fixed order at
// instance open, and their release in a fixed order at close.
#include "qellib/QelLog.h"
#include "source/firmware/HostFirmware.h"
#include "source/firmware/HostFirmwareInternal.h"
#include "source/firmware/HostFirmwareModules.h"

namespace {

constinit HostFirmwareTokens g_tokens{};

QelStatus InstallManagerCommands(std::uint32_t) { return ManServerInit(&g_tokens.manager); }
QelStatus InstallBufferFunctions(std::uint32_t) { return InstallBufferCommands(&g_tokens.buffer); }
QelStatus InstallTransferCommands(std::uint32_t) { return XferServerInit(&g_tokens.transfer); }
QelStatus InstallBoardBuffers(std::uint32_t) { return InstallBoardBufferHandlers(g_tokens.buffer); }
QelStatus InstallAcquisitionModule(std::uint32_t) { return AcqModuleInit(); }

// The modules of the serial ports, general I/O, pixel
// processor and lookup tables fill their steps when they are built.
std::array<InstallStep, kInstallStepCount> g_installSteps{{
    {InstallManagerCommands, "%s: InstallFunctions => Manager Functions could not be initialized"},
    {InstallAcquisitionModule, "%s: InstallFunctions => Acquisition Module could not be initialized"},
    {InstallBufferFunctions, "%s: InstallFunctions => Buffer Functions could not be initialized"},
    {InstallBoardBuffers, "%s: InstallFunctions => Custom Buffer Functions could not be initialized"},
    {InstallTransferCommands, "%s: InstallFunctions => Transfer Functions could not be initialized"},
    {XferInit, "%s: InstallFunctions => Transfer Module could not be initialized"},
    {nullptr, "%s: InstallFunctions => Serial Functions could not be initialized"},
    {nullptr, "%s: InstallFunctions => Serial Module could not be initialized"},
    {nullptr, "%s: InstallFunctions => GIO Functions could not be initialized"},
    {nullptr, "%s: InstallFunctions => GIO Module could not be initialized"},
    {nullptr, "%s: InstallFunctions => PIXPRO Functions could not be initialized"},
    {nullptr, "%s: InstallFunctions => PIXPRO Module could not be initialized"},
    {nullptr, "%s: InstallFunctions => LUT Functions could not be initialized"},
}};

// Serial, general I/O, transfer, the board's buffer handlers, buffer,
// acquisition, manager, lookup table. The pixel processor has no step.
std::array<UninstallStep, kUninstallStepCount> g_uninstallSteps{{
    {&HostFirmwareTokens::serial, nullptr},
    {&HostFirmwareTokens::gio, nullptr},
    {&HostFirmwareTokens::transfer, XferFree},
    {nullptr, UninstallBoardBufferHandlers},
    {&HostFirmwareTokens::buffer, nullptr},
    {nullptr, AcqModuleFree},
    {&HostFirmwareTokens::manager, nullptr},
    {&HostFirmwareTokens::lut, nullptr},
}};

}  // namespace

HostFirmwareTokens& HostFirmwareTokensOf() { return g_tokens; }
std::array<InstallStep, kInstallStepCount>& InstallSteps() { return g_installSteps; }
std::array<UninstallStep, kUninstallStepCount>& UninstallSteps() { return g_uninstallSteps; }

QelStatus InstallFunctions(std::uint32_t boardCount) {
  for (const InstallStep& step : g_installSteps) {
    if (step.run == nullptr) continue;
    const QelStatus status = step.run(boardCount);
    if (status == QEL_OK) continue;
    LogPutLog(kQelLogError, __FILE__, __LINE__, step.failureLine, kQuilletLabel);
    return status;
  }
  return QEL_OK;
}

void UninstallFunctions() {
  for (const UninstallStep& step : g_uninstallSteps) {
    if (step.token == nullptr) {
      if (step.release != nullptr) step.release();
      continue;
    }
    HostFuncHandler*& token = g_tokens.*step.token;
    if (token == nullptr) continue;
    if (step.release != nullptr) step.release();
    ManServerFree(&token);
  }
}
