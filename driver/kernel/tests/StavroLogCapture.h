// Captures the driver's log lines in-process, for unit tests that link driver
// sources without a kernel host.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "driver/kernel/StavroGlobals.h"

namespace stavro_test {

inline std::mutex g_logLock;
inline std::vector<std::string> g_logLines;

inline void CaptureLine(std::uint32_t, const char*, std::uint32_t, const char* text) {
  std::lock_guard guard(g_logLock);
  g_logLines.emplace_back(text);
}

class ScopedLogCapture {
 public:
  ScopedLogCapture() {
    g_logLines.clear();
    g_StavroLog.face.log = &CaptureLine;
    g_StavroLog.bound = true;
  }
  ~ScopedLogCapture() {
    g_StavroLog.bound = false;
    g_StavroLog.face.log = nullptr;
  }
  bool Contains(const std::string& text) const {
    std::lock_guard guard(g_logLock);
    for (const std::string& line : g_logLines)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
};

}  // namespace stavro_test
