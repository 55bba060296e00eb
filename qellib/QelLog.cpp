#include "qellib/QelLog.h"

#include <array>
#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/win/library.h"

namespace {

using QelLogOnlineFn = int (*)(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                               std::uintptr_t, std::uintptr_t);
// The entries answer whether the line was written; nobody here can use that.
using QelLogPutLogFn = int (*)(std::uint32_t level, const char* source_file, std::uint32_t line,
                               const char* text);
using QelLogPutMsgFn = int (*)(std::uint32_t level, const char* text);

// Lines may be written from any thread while the binding stays put; the
// pointers are atomics only so that the one test a line costs is well defined.
struct QelLogBinding {
  plat::ModuleHandle module = nullptr;
  std::atomic<QelLogOnlineFn> online{nullptr};
  std::atomic<QelLogPutLogFn> put_log{nullptr};
  std::atomic<QelLogPutMsgFn> put_msg{nullptr};
  std::atomic<void*> get_log{nullptr};
  std::atomic<void*> get_log_ex{nullptr};
};

QelLogBinding g_binding;

template <typename Fn>
Fn EntryOf(plat::ModuleHandle module, const char* name) {
  return reinterpret_cast<Fn>(plat::get_proc_address(module, name));
}

}  // namespace

bool LoadQelLog() {
  if (g_binding.module != nullptr) return false;
  plat::ModuleHandle module = plat::load_library("QelLog.dll");
  // Nowhere to report a failure: logging simply stays off.
  if (module == nullptr) return false;
  g_binding.module = module;
  g_binding.online = EntryOf<QelLogOnlineFn>(module, "QelLogOnline");
  g_binding.put_log = EntryOf<QelLogPutLogFn>(module, "QelLogPutLog");
  g_binding.put_msg = EntryOf<QelLogPutMsgFn>(module, "QelLogPutMsg");
  g_binding.get_log = plat::get_proc_address(module, "QelLogGetLog");
  g_binding.get_log_ex = plat::get_proc_address(module, "QelLogGetLogEx");
  return true;
}

void UnloadQelLog() {
  if (g_binding.module == nullptr) return;
  g_binding.online = nullptr;
  g_binding.put_log = nullptr;
  g_binding.put_msg = nullptr;
  g_binding.get_log = nullptr;
  g_binding.get_log_ex = nullptr;
  plat::free_library(g_binding.module);
  g_binding.module = nullptr;
}

bool IsQelLogBound() { return g_binding.module != nullptr; }

void LogPutLog(std::uint32_t level, const char* source_file, std::int32_t line, const char* format,
               ...) {
  QelLogPutLogFn put_log = g_binding.put_log.load(std::memory_order_acquire);
  if (put_log == nullptr) return;
  std::array<char, kQelLogMaxText + 1> text{};
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
  }
  put_log(level, source_file != nullptr ? source_file : "", static_cast<std::uint32_t>(line),
          text.data());
}

void LogPutMsg(std::uint32_t level, const char* format, ...) {
  QelLogPutMsgFn put_msg = g_binding.put_msg.load(std::memory_order_acquire);
  if (put_msg == nullptr) return;
  std::array<char, kQelLogMaxText + 1> text{};
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
  }
  put_msg(level, text.data());
}

int QelLogOnline(std::uintptr_t a1, std::uintptr_t a2, std::uintptr_t a3, std::uintptr_t a4,
                 std::uintptr_t a5, std::uintptr_t a6) {
  QelLogOnlineFn online = g_binding.online.load(std::memory_order_acquire);
  if (online == nullptr) return 0;
  return online(a1, a2, a3, a4, a5, a6);
}
