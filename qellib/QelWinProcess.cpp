#include "qellib/QelWinProcess.h"

#include <vector>

#include "platform/win/library.h"
#include "platform/win/objects.h"
#include "platform/win/process.h"
#include "platform/win/version.h"

int IsProcessAlive(std::uint32_t process_id) {
  if (process_id == 0 || process_id > 0x7FFFFFFFu) return 0;
  return plat::is_process_id_alive(static_cast<std::int32_t>(process_id)) ? 1 : 0;
}

QelHwStatus QelWinGetFileVersion(const char* file, std::uint32_t* major, std::uint32_t* minor,
                                 std::uint32_t* third, std::uint32_t* fourth) {
  if (file == nullptr || major == nullptr || minor == nullptr || third == nullptr ||
      fourth == nullptr)
    return QELHW_ERROR_NULL_PTR;
  plat::VersionRecord record{};
  if (!plat::read_file_version(file, &record)) return QELHW_ERROR_RESOURCE_MISSING;
  *major = record.file_version[0];
  *minor = record.file_version[1];
  *third = record.file_version[2];
  *fourth = record.file_version[3];
  return QELHW_OK;
}

QelHwStatus QelWinListThreads(std::uint32_t* count, std::uint32_t* ids) {
  if (count == nullptr) return QELHW_ERROR_NULL_PTR;
  std::vector<std::uint32_t> threads = plat::list_process_threads();
  if (threads.empty()) return QELHW_ERROR_INVALID_HANDLE;
  std::uint32_t capacity = ids != nullptr ? *count : 0;
  for (std::uint32_t i = 0; i < threads.size() && i < capacity; ++i) ids[i] = threads[i];
  *count = static_cast<std::uint32_t>(threads.size());
  return QELHW_OK;
}

QelHwStatus QelWinWaitNoPendingInstall(std::uint32_t timeout_ms) {
  using WaitNoPendingInstallEvents = std::uint32_t (*)(std::uint32_t timeout_ms);
  plat::ModuleHandle setupapi = plat::load_library("setupapi.dll");
  if (setupapi == nullptr) return QELHW_ERROR_RESOURCE_UNAVAILABLE;
  auto wait = reinterpret_cast<WaitNoPendingInstallEvents>(
      plat::get_proc_address(setupapi, "CMP_WaitNoPendingInstallEvents"));
  QelHwStatus status = QELHW_OK;
  if (wait != nullptr && wait(timeout_ms) == plat::kWaitTimeout) status = QELHW_ERROR_TIME_OUT;
  plat::free_library(setupapi);
  return status;
}
