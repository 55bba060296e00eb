// The channel from monitors to an acquiring process: per acquiring process a
// mutex, a request event, an answer event and a 2072-byte message area, all
// named with the process id; the acquiring process's message thread serves
// each request under the board mutex with its own device handle.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/win/process.h"
#include "platform/win/sections.h"
#include "qellib/QelLog.h"
#include "qellib/QelSharedMutex.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/AcqOwnerTokens.h"
#include "source/QelAcq/acqmonitor.h"
#include "source/QelAcq/acqmonitor_threads.h"

namespace {

constexpr std::uint32_t kChannelMutexWaitMs = 8000;
constexpr std::uint32_t kAnswerSliceMs = 500;
constexpr std::uint32_t kAnswerWaitMs = 2000000;
constexpr std::uint32_t kThreadStopWaitMs = 5000;
constexpr std::uint32_t kAreaBytes = 1024;

std::string ChannelName(const char* suffix, std::int32_t pid) {
  char name[160];
  std::snprintf(name, sizeof name, "%s%s_proc%d", kAcqBoardName, suffix, pid);
  return name;
}

struct Channel {
  std::int32_t pid = 0;
  plat::Handle mutex = plat::kNullHandle;
  plat::Handle request = plat::kNullHandle;
  plat::Handle answer = plat::kNullHandle;
  plat::Handle section = plat::kNullHandle;
  AcqMonitorMessage* area = nullptr;

  void close() {
    if (area != nullptr) plat::unmap_view_of_file(area);
    for (plat::Handle h : {mutex, request, answer, section})
      if (h != plat::kNullHandle) plat::close_handle(h);
    *this = Channel{};
  }

  QelStatus open(std::int32_t owner) {
    plat::SecurityAttributes* attributes = nullptr;
    plat::SecurityDescriptor* descriptor = nullptr;
    if (CreateSecurityAttributes(&attributes, &descriptor, kAcqModuleLabel) == 0) return kAcqMonitorNoResource;
    pid = owner;
    const char* failure = nullptr;
    mutex = plat::create_mutex(attributes, false, ChannelName("_MONITOR_MONTOACQ_MSGMUTEX", owner).c_str());
    if (mutex == plat::kNullHandle) failure = "RES_MONTOACQ_MSGMUTEX";
    answer = plat::create_event(attributes, false, false, ChannelName("_MONITOR_MONTOACQ_ANSWEREVENT ", owner).c_str());
    if (failure == nullptr && answer == plat::kNullHandle) failure = "RES_MONTOACQ_ANSWEREVENT";
    request = plat::create_event(attributes, false, false, ChannelName("_MONITOR_MONTOACQ_MSGEVENT", owner).c_str());
    if (failure == nullptr && request == plat::kNullHandle) failure = "RES_MONTOACQ_MSGEVENT";
    section = plat::create_file_mapping(attributes, kAcqMonitorMessageAreaSize,
                                        ChannelName("_MONITOR_MONTOACQ_MSGFIFO", owner).c_str());
    if (failure == nullptr && section == plat::kNullHandle) failure = "RES_MONTOACQ_MSGFIFO";
    FreeSecurityAttributes(attributes, descriptor);
    if (failure != nullptr) {
      LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, AcqMonitorCreateMonToAcqMsgResources, Could not create %s resource",
                kAcqModuleLabel, failure);
      close();
      return kAcqMonitorNoResource;
    }
    area = static_cast<AcqMonitorMessage*>(plat::map_view_of_file(section, kAcqMonitorMessageAreaSize));
    if (area != nullptr) return 0;
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, AcqMonitorCreateMonToAcqMsgResources, could not map montoacq msg fifo",
              kAcqModuleLabel);
    close();
    return kAcqMonitorNoResource;
  }
};

// The monitor side keeps one channel open, to the last acquiring process it asked.
struct MonitorSide {
  std::mutex guard;
  Channel channel;
};

MonitorSide& Outgoing() {
  static auto* side = new MonitorSide;
  return *side;
}

// The acquiring side: this process's own channel and its message thread.
struct AcquiringSide {
  std::mutex guard;
  Channel channel;
  plat::Handle stop = plat::kNullHandle;
  std::thread thread;
  std::uint32_t starts = 0;
};

AcquiringSide& Incoming() {
  static auto* side = new AcquiringSide;
  return *side;
}

// Waits with the API lock released.
std::uint32_t WaitUnlocked(plat::Handle object, std::uint32_t timeoutMs) {
  const std::uint8_t depth = ApiUnlockThread();
  const std::uint32_t result = plat::wait_for_object(object, timeoutMs);
  ApiRelockThread(depth);
  return result;
}

bool Taken(std::uint32_t wait) { return wait == plat::kWaitObject0 || wait == plat::kWaitAbandoned0; }

// The answer, in slices, so that an acquiring process that dies meanwhile
// ends the wait with its death instead of the whole time-out.
QelStatus AwaitAnswer(const Channel& channel, const AcqOwnerTag& acquirer) {
  for (std::uint32_t waited = 0; waited < kAnswerWaitMs; waited += kAnswerSliceMs) {
    if (WaitUnlocked(channel.answer, kAnswerSliceMs) == plat::kWaitObject0) return channel.area->status;
    if (!AcqOwnerTagIsLive(acquirer)) return kAcqMonitorAcquirerDied;
  }
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: AcqMonitor: Could not send message to acq process. ", kAcqModuleLabel);
  return kAcqMonitorTimeout;
}

QelStatus Exchange(Channel& channel, const AcqOwnerTag& acquirer, std::uint32_t board, std::uint32_t device,
                   std::uint32_t type, const void* input, std::uint32_t inputSize, void* output,
                   std::uint32_t outputSize) {
  std::uint32_t wait = plat::wait_for_object(channel.mutex, 0);
  if (!Taken(wait)) wait = WaitUnlocked(channel.mutex, kChannelMutexWaitMs);
  if (!Taken(wait)) return kAcqMonitorTimeout;
  AcqMonitorMessage* area = channel.area;
  area->type = type;
  area->status = 0;
  area->board = board;
  area->device = device;
  area->inputSize = std::min(inputSize, kAreaBytes);
  area->outputSize = std::min(outputSize, kAreaBytes);
  if (input != nullptr) std::memcpy(area->input, input, area->inputSize);
  plat::reset_event(channel.answer);
  plat::set_event(channel.request);
  const QelStatus status = AwaitAnswer(channel, acquirer);
  if (status != kAcqMonitorAcquirerDied && output != nullptr) std::memcpy(output, area->output, area->outputSize);
  plat::release_mutex(channel.mutex);
  return status;
}

}  // namespace

QelStatus AcqMonitorSendMessage(std::uint32_t board, std::uint32_t device, std::uint32_t type, const void* input,
                                std::uint32_t inputSize, void* output, std::uint32_t outputSize) {
  const AcqDeviceRecord* record = AcqGetShadowRecord(board, device);
  if (record == nullptr) return kAcqMonitorNoHandle;
  MonitorSide& side = Outgoing();
  std::lock_guard guard(side.guard);
  const AcqOwnerTag acquirer = AcqSharedOwnerTags(AcqGetSharedTables(), board, device)->device;
  if (record->ownerProcessId == 0 || acquirer.processId == 0) {
    side.channel.close();
    return kAcqMonitorNoAcquirer;
  }
  if (!AcqOwnerTagIsLive(acquirer)) {
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s: AcqMonitor: Acquisition process terminated abnormally. ",
              kAcqModuleLabel);
    side.channel.close();
    return kAcqMonitorAcquirerDied;
  }
  if (side.channel.pid != acquirer.processId) side.channel.close();
  if (side.channel.area == nullptr) {
    if (const QelStatus status = side.channel.open(acquirer.processId); status != 0) return status;
  }
  const QelStatus status =
      Exchange(side.channel, acquirer, board, device, type, input, inputSize, output, outputSize);
  if (status == kAcqMonitorAcquirerDied) side.channel.close();
  return status;
}

QelStatus AcqMonitorSendRequest(const QelHandle* handle, std::uint32_t type, std::uint32_t id, void* out,
                                std::uint32_t outSize) {
  std::uint32_t board = 0, device = 0;
  if (const QelStatus status = AcqMonitorFindHandle(handle, &board, &device); status != 0) return status;
  if (outSize > kAreaBytes) return kQelModuleAcquisition | ((id >> 16 & 0xFFFu) << 8) | 0x28;
  return AcqMonitorSendMessage(board, device, type, &id, sizeof id, out, outSize);
}

// ---- The acquiring side ---------------------------------------------------------------
namespace {

std::uint32_t WordOf(const AcqMonitorMessage& m) {
  std::uint32_t word = 0;
  std::memcpy(&word, m.input, sizeof word);
  return word;
}

QelStatus HandleMonitorMessage(AcqMonitorMessage& m) {
  const std::uint32_t board = m.board, device = m.device;
  AcqBoardMutex mutex(board);
  if (!mutex.held()) return kAcqBoardMutexMissed;
  QelHandle* handle = AcqGetHandle(board, device);
  if (handle == nullptr || !AcqIsOwnDevice(board, device)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: QELACQ: HandleMonitorMessage, could not get acq handle brd=%d, acq=%d",
              kAcqModuleLabel, board, device);
    return kAcqMonitorNoAcquirer;
  }
  const std::uint32_t word = WordOf(m);
  std::memset(m.output, 0, sizeof m.output);
  switch (m.type) {
    case kAcqMonitorMsgGetPrm:
      return AcqPrmSize(word) <= m.outputSize ? AcqGetPrm(handle, word, m.output) : kQelModuleAcquisition | 0x28;
    case kAcqMonitorMsgGetCap:
      return AcqPrmSize(word) <= m.outputSize ? AcqGetCap(handle, word, m.output) : kQelModuleAcquisition | 0x1E;
    case kAcqMonitorMsgAcqMask: {
      const QelStatus status = RegisterMonitorAcqEvent(board, device, word);
      if (status != 0)
        LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: QELACQ, RegisterMonitorAcqEvent,  brd=%d, acq=%d",
                  kAcqModuleLabel, board, device);
      return status;
    }
    case kAcqMonitorMsgXferMask: {
      const QelStatus status = ModRegisterMonitorXferEvent(board, device, word);
      if (status != 0)
        LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: QELACQ, RegisterMonitorXferEvent, (status=0x%x,brd=%d,acq=%d)",
                  kAcqModuleLabel, status, board, device);
      return status;
    }
    case kAcqMonitorMsgClearFifo: return AcqModClearFifo(board, device, word);
    default: return kAcqMonitorUnknownMessage;
  }
}

void MessageThread(plat::Handle stop, plat::Handle request, plat::Handle answer, AcqMonitorMessage* area) {
  plat::set_thread_priority(2);
  const plat::Handle objects[2] = {stop, request};
  for (;;) {
    const std::uint32_t wait = plat::wait_for_objects(objects, false, plat::kInfinite);
    if (wait != plat::kWaitObject0 + 1) return;
    area->status = area->board < kAcqMaxBoards && area->device < kAcqSlotsPerBoard ? HandleMonitorMessage(*area)
                                                                                    : kAcqMonitorNoHandle;
    plat::set_event(answer);
  }
}

}  // namespace

QelStatus AcqMonitorStartMessageThread() {
  AcquiringSide& side = Incoming();
  std::lock_guard guard(side.guard);
  if (side.starts++ != 0) return 0;
  QelStatus status = side.channel.open(plat::current_process().pid);
  side.stop = status == 0 ? plat::create_event(nullptr, false, false, nullptr) : plat::kNullHandle;
  if (status == 0 && side.stop == plat::kNullHandle) status = kAcqMonitorNoResource;
  if (status != 0) {
    side.channel.close();
    side.starts = 0;
    return status;
  }
  side.thread = std::thread(MessageThread, side.stop, side.channel.request, side.channel.answer, side.channel.area);
  return 0;
}

QelStatus AcqMonitorStopMessageThread() {
  AcquiringSide& side = Incoming();
  std::lock_guard guard(side.guard);
  if (side.starts == 0 || --side.starts != 0) return 0;
  plat::set_event(side.stop);
  if (side.thread.joinable()) side.thread.join();
  plat::close_handle(side.stop);
  side.stop = plat::kNullHandle;
  side.channel.close();
  std::lock_guard outgoing(Outgoing().guard);
  Outgoing().channel.close();
  return 0;
}
