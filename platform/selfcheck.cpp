// plat-selfcheck: exercises each user-mode service of the platform once on the
// machine named by PLAT_MACHINE and prints what it saw. It runs through the
// common library where the system's own code would, so a failure here points
// at the layer the system stands on.
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/support/machine_log.h"
#include "platform/tool_usage.h"
#include "platform/win/errors.h"
#include "platform/win/library.h"
#include "platform/win/machine.h"
#include "platform/win/objects.h"
#include "platform/win/profile.h"
#include "platform/win/registry.h"
#include "platform/win/sections.h"
#include "platform/win/version.h"
#include "qellib/QelLog.h"
#include "qellib/QelSharedMutex.h"

namespace {

int failures = 0;

void report(const char* what, bool ok, const std::string& detail = {}) {
  std::printf("%-28s %s%s%s\n", what, ok ? "ok" : "FAILED", detail.empty() ? "" : "  ",
              detail.c_str());
  if (!ok) ++failures;
}

void check_events() {
  plat::Handle event = plat::create_event(nullptr, false, false, "selfcheck-event");
  std::thread setter([] {
    plat::Handle same = plat::open_event("selfcheck-event");
    plat::set_event(same);
    plat::close_handle(same);
  });
  bool woke = plat::wait_for_object(event, 5000) == plat::kWaitObject0;
  setter.join();
  plat::close_handle(event);
  report("event across threads", woke);
}

void check_mutex() {
  plat::Handle mutex = SharedMutexLock("SELFCHECK_MUTEX", "plat-selfcheck");
  report("shared named mutex", mutex != plat::kNullHandle);
  if (mutex != plat::kNullHandle) {
    plat::release_mutex(mutex);
    plat::close_handle(mutex);
  }
}

void check_section() {
  plat::Handle section = plat::create_file_mapping(nullptr, 4096, "selfcheck-section");
  auto* bytes = static_cast<unsigned char*>(plat::map_view_of_file(section, 0));
  bool fresh = bytes != nullptr && bytes[0] == 0;
  if (bytes != nullptr) plat::unmap_view_of_file(bytes);
  plat::close_handle(section);
  report("shared section", fresh);
}

void check_registry() {
  plat::RegistryKey* key = nullptr;
  std::uint32_t value = 0x1234, read_back = 0, size = sizeof read_back, type = 0;
  bool ok = plat::reg_create_key(plat::RegistryRoot::kLocalMachine, "Software\\SelfCheck", &key) ==
                plat::kErrorSuccess &&
            plat::reg_set_value(key, "Value", plat::kRegDword, &value, sizeof value) ==
                plat::kErrorSuccess &&
            plat::reg_query_value(key, "Value", &type, &read_back, &size) == plat::kErrorSuccess &&
            type == plat::kRegDword && read_back == value;
  if (key != nullptr) plat::reg_close_key(key);
  report("registry", ok);
}

void check_profile() {
  const char* file = "selfcheck.ini";  // in the Windows folder, as the platform does
  plat::write_private_profile_string("Section", "Key", "0x10", file);
  report("profile file", plat::get_private_profile_int("section", "KEY", 0, file) == 16);
}

void check_log() {
  bool bound = LoadQelLog();
  plat::ModuleHandle log = plat::find_loaded_library("QELLOG.DLL");
  plat::VersionRecord version{};
  bool versioned = log != nullptr &&
                   plat::read_file_version(plat::module_file_name(log).c_str(), &version);
  LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s: selfcheck => log line", "plat-selfcheck");
  UnloadQelLog();
  bool logged = plat::support::read_machine_log().find("selfcheck => log line") != std::string::npos;
  std::string detail;
  if (versioned) {
    char text[64];
    std::snprintf(text, sizeof text, "QelLog.dll %u.%u.%u.%u", version.file_version[0],
                  version.file_version[1], version.file_version[2], version.file_version[3]);
    detail = text;
  }
  report("log library", bound && versioned && logged, detail);
}

}  // namespace

constexpr const char* kUsage =
    "usage: plat-selfcheck\n"
    "Exercises each user-mode service of the platform once (events, named mutex, shared\n"
    "section, registry, profile file, log library) on the machine directory that\n"
    "PLAT_MACHINE names, and prints what it saw. No kernel host is needed.\n"
    "Exit code 0 when every check passed, 1 when one failed, 2 without a machine.\n";

int main(int argc, char** argv) {
  if (const int answered = plat::answer_tool_usage(argc, argv, kUsage); answered >= 0) return answered;
  if (plat::machine_dir().empty()) {
    std::fprintf(stderr, "plat-selfcheck: PLAT_MACHINE names no machine directory\n");
    return 2;
  }
  std::printf("machine %s\n", plat::machine_dir().c_str());
  check_events();
  check_mutex();
  check_section();
  check_registry();
  check_profile();
  check_log();
  std::printf("%s\n", failures == 0 ? "platform self-check passed" : "platform self-check FAILED");
  return failures == 0 ? 0 : 1;
}
