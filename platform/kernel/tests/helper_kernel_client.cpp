// A client process of the kernel's tests: opens "\\.\TESTDRV" and runs the
// commands it reads, one per line, answering one line each.
#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/kernel/tests/testdrv/testdrv_records.h"
#include "platform/win/device.h"
#include "platform/win/errors.h"
#include "platform/win/objects.h"
#include "platform/win/process.h"

namespace {

plat::Handle g_device = plat::kNullHandle;
plat::Handle g_event = plat::kNullHandle;
std::uint8_t* g_locked = nullptr;
std::size_t g_locked_size = 0;
std::uint32_t g_lock_index = 0;

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

template <typename In>
bool request(std::uint32_t code, const In& in, void* out = nullptr, std::uint32_t out_size = 0,
             std::uint32_t* returned = nullptr) {
  std::uint32_t ignored = 0;
  return plat::device_io_control(g_device, code, &in, sizeof in, out, out_size, returned ? returned : &ignored);
}

void who_am_i(std::uint32_t wanted) {
  std::vector<std::uint8_t> out(64, 0xAA);
  std::uint32_t returned = 0;
  testdrv::WhoAmIRequest in{wanted};
  if (!request(testdrv::kWhoAmI, in, out.data(), static_cast<std::uint32_t>(out.size()), &returned)) {
    say("whoami-failed " + std::to_string(plat::last_error()));
    return;
  }
  testdrv::WhoAmIReply reply{};
  std::memcpy(&reply, out.data(), sizeof reply);
  bool zero_tail = true, untouched = true;
  for (std::size_t i = sizeof reply; i < returned; ++i) zero_tail = zero_tail && out[i] == 0;
  for (std::size_t i = returned; i < out.size(); ++i) untouched = untouched && out[i] == 0xAA;
  plat::ProcessIdentity self = plat::current_process();
  std::ostringstream line;
  line << "whoami returned=" << returned << " pid_ok=" << (reply.pid == self.pid)
       << " start_ok=" << (reply.start_time == self.start_time) << " width=" << reply.is_32bit
       << " opener_ok=" << (reply.opener_pid == self.pid) << " opener_width=" << reply.opener_is_32bit
       << " zero_tail=" << zero_tail << " untouched=" << untouched;
  say(line.str());
}

void copy_memory() {
  std::vector<std::uint8_t> source(3000), destination(3000, 0);
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(i);
  testdrv::CopyMemoryRequest in{reinterpret_cast<std::uint64_t>(source.data()),
                                reinterpret_cast<std::uint64_t>(destination.data()), 3000, 0};
  bool good = request(testdrv::kCopyMemory, in);
  bool copied = good;
  for (std::size_t i = 0; i < source.size() && copied; ++i)
    copied = destination[i] == static_cast<std::uint8_t>(source[i] + 1);
  // An address nobody mapped fails that request only.
  void* hole = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  testdrv::CopyMemoryRequest bad{reinterpret_cast<std::uint64_t>(hole),
                                 reinterpret_cast<std::uint64_t>(destination.data()), 100, 0};
  bool bad_failed = !request(testdrv::kCopyMemory, bad);
  testdrv::CopyMemoryRequest bad_out{reinterpret_cast<std::uint64_t>(source.data()),
                                     reinterpret_cast<std::uint64_t>(hole), 100, 0};
  bool bad_out_failed = !request(testdrv::kCopyMemory, bad_out);
  ::munmap(hole, 4096);
  say("copy good=" + std::to_string(copied) + " bad_source_failed=" + std::to_string(bad_failed) +
      " bad_destination_failed=" + std::to_string(bad_out_failed));
}

void contiguous(std::uint32_t size) {
  testdrv::AllocateReply reply{};
  testdrv::AllocateRequest in{size};
  if (!request(testdrv::kAllocateContiguous, in, &reply, sizeof reply)) {
    say("contig-failed " + std::to_string(plat::last_error()));
    return;
  }
  auto* block = reinterpret_cast<const std::uint8_t*>(reply.user_address);
  bool same = true;
  for (std::uint32_t i = 0; i < size && same; ++i) same = block[i] == testdrv::pattern_byte(i);
  char text[128];
  std::snprintf(text, sizeof text, "contig same=%d below4g=%d", same ? 1 : 0,
                reply.physical + size <= 0x100000000ull ? 1 : 0);
  say(text);
}

void lock(std::size_t size, std::size_t offset) {
  g_locked_size = size + offset;
  void* memory = ::mmap(nullptr, g_locked_size + 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  std::memset(memory, 0, g_locked_size);
  g_locked = static_cast<std::uint8_t*>(memory);
  testdrv::LockRequest in{reinterpret_cast<std::uint64_t>(g_locked + offset), size};
  testdrv::LockReply reply{};
  if (!request(testdrv::kLockBuffer, in, &reply, sizeof reply)) {
    say("lock-failed " + std::to_string(plat::last_error()));
    return;
  }
  g_lock_index = reply.lock_index;
  std::uint64_t total = 0;
  for (std::uint32_t i = 0; i < reply.page_count && i < testdrv::kMaxReportedPages; ++i) total += reply.page_length[i];
  char text[128];
  std::snprintf(text, sizeof text, "locked pages=%u total=%" PRIu64 " bus0=0x%" PRIx64, reply.page_count, total,
                reply.bus_address[0]);
  say(text);
}

void check_locked(std::size_t at, const std::string& expected) {
  bool same = at + expected.size() <= g_locked_size &&
              std::memcmp(g_locked + at, expected.data(), expected.size()) == 0;
  say(same ? "buffer-matches" : "buffer-differs");
}

void run(const std::string& line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command == "width32") {
    plat::set_device_caller_width(true);
    say("ok");
  } else if (command == "open") {
    g_device = plat::open_device("\\\\.\\TESTDRV");
    say(g_device != plat::kNullHandle ? "opened" : "open-failed " + std::to_string(plat::last_error()));
  } else if (command == "close") {
    say(plat::close_handle(g_device) ? "closed" : "close-failed");
  } else if (command == "whoami") {
    std::uint32_t wanted = 0;
    words >> wanted;
    who_am_i(wanted);
  } else if (command == "event") {
    g_event = plat::create_event(nullptr, false, false, nullptr);
    testdrv::RegisterEventRequest in{g_event};
    say(request(testdrv::kRegisterEvent, in) ? "event-registered" : "event-failed");
  } else if (command == "wait-event") {
    std::uint32_t timeout = 0;
    words >> timeout;
    say(plat::wait_for_object(g_event, timeout) == plat::kWaitObject0 ? "event-signalled" : "event-timeout");
  } else if (command == "write-reg") {
    testdrv::WriteRegisterRequest in{};
    words >> in.board >> std::hex >> in.offset >> in.value;
    say(request(testdrv::kWriteRegister, in) ? "ok" : "failed");
  } else if (command == "copy") {
    copy_memory();
  } else if (command == "contig") {
    std::uint32_t size = 0;
    words >> size;
    contiguous(size);
  } else if (command == "lock") {
    std::size_t size = 0, offset = 0;
    words >> size >> offset;
    lock(size, offset);
  } else if (command == "check-locked") {
    std::size_t at = 0;
    std::string text;
    words >> at >> text;
    check_locked(at, text);
  } else if (command == "unlock") {
    testdrv::UnlockRequest in{g_lock_index};
    say(request(testdrv::kUnlockBuffer, in) ? "unlocked" : "unlock-failed");
  } else if (command == "log") {
    std::string text;
    std::getline(words >> std::ws, text);
    say(plat::device_io_control(g_device, testdrv::kLog, text.c_str(), static_cast<std::uint32_t>(text.size()),
                                nullptr, 0, nullptr)
            ? "logged"
            : "log-failed");
  } else if (command == "counters") {
    testdrv::CountersReply reply{};
    std::uint32_t none = 0;
    plat::device_io_control(g_device, testdrv::kCounters, &none, 0, &reply, sizeof reply, &none);
    say("counters claimed=" + std::to_string(reply.interrupts_claimed) + " under_lock=" +
        std::to_string(reply.interrupts_under_lock) + " dpc=" + std::to_string(reply.dpc_runs) +
        " boards=" + std::to_string(reply.boards_started));
  } else if (command == "leak") {
    std::uint32_t none = 0;
    say(request(testdrv::kLeakPool, none) ? "leaked" : "leak-failed");
  } else if (command == "pid") {
    say("pid " + std::to_string(::getpid()));
  } else {
    say("unknown");
  }
}

}  // namespace

int main() {
  std::string line;
  say("ready");
  while (std::getline(std::cin, line)) {
    if (line == "quit") break;
    run(line);
  }
  return 0;
}
