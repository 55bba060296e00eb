// Test helper: runs the grab-controller routines, built from their sources,
// over the library's exported register access on board 0, with acquisition
// handles of its own. One command per line; records are given as the words
// that are not 0, "<word>=<value>":
//   open                                   -> QelHw_Open status
//   handle <camera>                        -> 0 (a fresh handle, as the library makes one)
//   counts <camera> <E> <G> [threshold]    -> 0 (frames per trigger, per group, line threshold)
//   foreign <camera>                       -> 0 (owner and callbacks another process stored)
//   unusable <camera>                      -> 0 (no read callback)
//   read <camera> <logical>                -> "<status> <value hex>"
//   write <camera> <logical> <value>       -> status
//   setbits <camera> <logical> <value> <mask> -> status
//   count|nframes <camera> <n>             -> status
//   continuous|freeze|abort|softtrigger|init <camera> -> status
//   multi continuous|nframes|freeze|abort <n> <camera>... -> status
//   trigger <camera> <words>               -> status
//   timer <camera> <timer> <base|auto> <words> -> status
//   strobe|pulse <camera> <words>          -> status
//   format|modebits <camera> <mode>        -> status
//   triggermode <camera> <a> <b> <c>; triggercount <camera> <n>; linemode <camera> <a> <b> -> status
//   active <camera>                        -> "<status> <active>"
//   context <camera>                       -> "<E> <G> <timer 0 base> <timer 1 base> <strobe base>"
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/GrabCtrl.h"
#include "driver/user/Pardow.h"
#include "driver/user/tests/helper_support.h"
#include "qellib/QelLog.h"

using helper::Number;

namespace {

constexpr std::uint32_t kBoard = 0;
constexpr std::uint32_t kHandleTag = 0x64000010;
constexpr std::uint32_t kLimits[3] = {12, 0xFFFF, 0xFFFF};

YatAcqHandle g_handles[YAT_MAX_CAMERA_PER_BOARD]{};

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

void NewHandle(std::uint32_t camera) {
  YatAcqHandle& h = g_handles[camera];
  h = YatAcqHandle{};
  h.type = kHandleTag;
  h.board = kBoard;
  h.camera = camera;
  YatGrabCtrlContext& c = h.grabCtrl;
  c.camera = camera;
  c.extTriggerFrameCount = 1;
  for (YatGrabCtrlTimerSlot& slot : c.timers) std::memcpy(slot.limits, kLimits, sizeof kLimits);
  std::memcpy(c.strobe.limits, kLimits, sizeof kLimits);
  c.owner = &h;
  c.read = GrabCtrl_ReadDataReg;
  c.setBits = GrabCtrl_SetBitReg;
  c.write = GrabCtrl_WriteDataReg;
}

// Addresses that mean nothing in this process, as a context last refreshed
// by another process holds them.
void StoreForeign(YatGrabCtrlContext& c) {
  c.owner = reinterpret_cast<void*>(std::uintptr_t{0x10});
  c.read = reinterpret_cast<YatGrabCtrlRead>(std::uintptr_t{0x20});
  c.setBits = reinterpret_cast<YatGrabCtrlSetBits>(std::uintptr_t{0x30});
  c.write = reinterpret_cast<YatGrabCtrlWrite>(std::uintptr_t{0x40});
}

// The rest of the line as a record of `words` u32 words.
std::vector<std::uint32_t> Record(std::istringstream& in, std::size_t words) {
  std::vector<std::uint32_t> record(words, 0);
  std::string pair;
  while (in >> pair) {
    const std::size_t equals = pair.find('=');
    if (equals == std::string::npos) continue;
    const std::uint32_t word = static_cast<std::uint32_t>(std::stoul(pair.substr(0, equals), nullptr, 0));
    if (word < words) record[word] = static_cast<std::uint32_t>(std::stoul(pair.substr(equals + 1), nullptr, 0));
  }
  return record;
}

std::string Multi(std::istringstream& in) {
  std::string what;
  in >> what;
  const std::uint32_t frames = Number(in);
  std::vector<YatGrabCtrlContext*> contexts;
  std::string camera;
  while (in >> camera) contexts.push_back(&g_handles[std::stoul(camera) % YAT_MAX_CAMERA_PER_BOARD].grabCtrl);
  const auto count = static_cast<std::uint32_t>(contexts.size());
  if (what == "continuous") return std::to_string(AcquireContinuouslyMulti(contexts.data(), count));
  if (what == "nframes") return std::to_string(GrabCtrl_AcquireNFramesMulti(contexts.data(), count, frames));
  if (what == "freeze") return std::to_string(GrabCtrl_FreezeMulti(contexts.data(), count));
  if (what == "abort") return std::to_string(GrabCtrl_AbortMulti(contexts.data(), count));
  return "unknown";
}

std::string Context(const YatGrabCtrlContext& c) {
  return std::to_string(c.extTriggerFrameCount) + " " + std::to_string(c.framesPerGroup) + " " +
         std::to_string(c.timers[0].timeBase) + " " + std::to_string(c.timers[1].timeBase) + " " +
         std::to_string(c.strobe.timeBase);
}

std::string Timer(YatGrabCtrlContext* c, std::istringstream& in) {
  const std::uint32_t timer = Number(in);
  std::string base;
  in >> base;
  const std::vector<std::uint32_t> record = Record(in, 16);
  if (base == "auto") return std::to_string(GrabCtrl_SetCameraControlTimerAuto(c, timer, record.data()));
  return std::to_string(GrabCtrl_SetCameraControlTimer(c, timer, record.data(), std::stoul(base, nullptr, 0)));
}

std::string OnContext(const std::string& command, YatGrabCtrlContext* c, std::istringstream& in) {
  auto status = [](QelHwStatus s) { return std::to_string(s); };
  if (command == "count") return status(GrabCtrl_SetFrameCount(c, Number(in)));
  if (command == "nframes") return status(GrabCtrl_AcquireNFrames(c, Number(in)));
  if (command == "continuous") return status(AcquireContinuously(c));
  if (command == "freeze") return status(GrabCtrl_Freeze(c));
  if (command == "abort") return status(GrabCtrl_Abort(c));
  if (command == "softtrigger") return status(GrabCtrl_SoftwareTrigger(c));
  if (command == "init") return status(GrabCtrl_Init(c));
  if (command == "trigger") return status(GrabCtrl_FrameTriggerEnable(c, Record(in, 36).data()));
  if (command == "timer") return Timer(c, in);
  if (command == "strobe") return status(GrabCtrl_SetStrobeTimer(c, Record(in, 13).data()));
  if (command == "pulse") return status(GrabCtrl_SetDoublePulseTimers(c, Record(in, 17).data()));
  if (command == "format") return status(GrabCtrl_SetVideoFormat(c, Number(in)));
  if (command == "modebits") {
    const std::uint32_t mode = Number(in);
    const QelHwStatus first = GrabCtrl_SetModeBit1(c, mode);
    return status(first != QELHW_OK ? first : GrabCtrl_SetModeBit2(c, mode));
  }
  if (command == "triggermode") {
    const std::uint32_t a = Number(in), b = Number(in);
    return status(GrabCtrl_SetTriggerMode(c, a, b, Number(in)));
  }
  if (command == "triggercount") return status(GrabCtrl_SetTriggerCount(c, Number(in)));
  if (command == "linemode") {
    const std::uint32_t a = Number(in);
    return status(GrabCtrl_SetLineMode(c, a, Number(in)));
  }
  if (command == "active") {
    std::uint32_t active = 7;
    const QelHwStatus s = GrabCtrl_IsGrabActive(c, &active);
    return status(s) + " " + std::to_string(active);
  }
  return "unknown";
}

std::string OnHandle(const std::string& command, YatAcqHandle& h, std::istringstream& in) {
  YatGrabCtrlContext& c = h.grabCtrl;
  if (command == "counts") {
    c.extTriggerFrameCount = Number(in);
    c.framesPerGroup = Number(in);
    c.words[2] = Number(in);
    return "0";
  }
  if (command == "foreign") {
    StoreForeign(c);
    return "0";
  }
  if (command == "unusable") {
    c.read = nullptr;
    return "0";
  }
  if (command == "read") {
    std::uint32_t value = 0;
    const QelHwStatus s = GrabCtrl_ReadDataReg(&h, Number(in), &value);
    return std::to_string(s) + " " + Hex(value);
  }
  if (command == "write") {
    const std::uint32_t logical = Number(in);
    return std::to_string(GrabCtrl_WriteDataReg(&h, logical, Number(in)));
  }
  if (command == "setbits") {
    const std::uint32_t logical = Number(in), value = Number(in);
    return std::to_string(GrabCtrl_SetBitReg(&h, logical, value, Number(in)));
  }
  if (command == "context") return Context(c);
  return OnContext(command, &c, in);
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return std::to_string(QelHw_Open());
  if (command == "multi") return Multi(in);
  const std::uint32_t camera = Number(in);
  if (camera >= YAT_MAX_CAMERA_PER_BOARD) return "bad";
  if (command == "handle") {
    NewHandle(camera);
    return "0";
  }
  return OnHandle(command, g_handles[camera], in);
}

}  // namespace

int main() {
  LoadQelLog();
  return helper::Serve(Run);
}
