// Drives the driver's request dispatch in this process, over the real kernel
// services, outside drivers and board models, with no socket in between: each
// input is a program of opens, device-control requests, closes and writes of
// the caller's memory (RequestProgram.h). Files still open when a program ends
// are closed, and the callers' locked pages released, as the transport does
// when a client goes away, so every input starts from a driver that is used
// but whole.
//
// The caller is a child process holding the caller's memory at its fixed
// addresses (shared with this process, which writes the programs' fills into
// it). The driver reaches it by process id as it reaches any client, so no
// address a request names, nor a DMA into locked pages, can land in the
// memory of the kernel host itself.
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/kernel/StavroDriver.h"
#include "platform/board/board.h"
#include "platform/kernel/bus.h"
#include "platform/kernel/driver_loader.h"
#include "platform/kernel/io_manager.h"
#include "platform/kernel/outside_drivers.h"
#include "platform/kernel/physical_memory.h"
#include "platform/win/nt_status.h"
#include "platform/win/process.h"
#include "robustness/fuzz/FuzzSupport.h"
#include "robustness/fuzz/requests/RequestProgram.h"
#include "robustness/fuzz/requests/RequestSeeds.h"
#include "robustness/fuzz/requests/SlowCounts.h"

namespace {

using namespace plat::kernel;
using namespace request_fuzz;

struct Slot {
  void* file = nullptr;
  bool other = false;  // opened by the other process
  std::size_t device = 0;
};

struct Harness {
  LoadedDriver log, memory, stavro;
  std::uint8_t* client = nullptr;  // this process's view of the caller's writable and read-only pages
  pid_t callerPid = 0;
  std::uint64_t callerStart = 0;
  std::uint8_t* systemBufferEnd = nullptr;  // a faulting page follows
  std::uint32_t nextConnection = 1;
  ClientInfo self{}, other{};
  std::array<Slot, kSlots> slots{};
  std::array<std::uint64_t, kKeptAnswers> answers{};
  std::size_t kept = 0;
  std::size_t heavy = 0;  // heavy requests of this program so far
  // For the run's figures: device-control requests sent, files opened and closed.
  std::uint64_t requests = 0, opens = 0, closes = 0;
};

Harness* g_harness = nullptr;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "request fuzzer: %s\n", what);
  std::abort();
}

bool MapAt(std::uint64_t address, std::uint64_t bytes, int protection, int flags, int fd, off_t offset) {
  void* at = ::mmap(reinterpret_cast<void*>(address), bytes, protection, flags | MAP_FIXED_NOREPLACE, fd, offset);
  return at == reinterpret_cast<void*>(address);
}

// The caller process: writable pages and a read-only page of the shared file,
// then a faulting page and a hole, at fixed addresses; it tells that they are
// placed through `ready` and lives until this process ends.
[[noreturn]] void RunCaller(int fd, int ready, pid_t parent) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(1);
  const bool placed = MapAt(kClientBase, kWritableBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) &&
                      MapAt(kReadOnlyPage, kPage, PROT_READ, MAP_SHARED, fd, kWritableBytes) &&
                      MapAt(kFaultingPage, kPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (!placed) ::_exit(1);
  const char byte = 1;
  if (::write(ready, &byte, 1) != 1) ::_exit(1);
  for (;;) ::pause();
}

void StartCaller(Harness& h) {
  const std::uint64_t shared = kWritableBytes + kPage;
  const int fd = ::memfd_create("qel-fuzz-caller", MFD_CLOEXEC);
  if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(shared)) != 0) Fail("no file for the caller's memory");
  void* view = ::mmap(nullptr, shared, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) Fail("no view of the caller's memory");
  h.client = static_cast<std::uint8_t*>(view);
  std::memset(h.client + kWritableBytes, 0x5A, kPage);
  int pipe[2];
  if (::pipe(pipe) != 0) Fail("no pipe to the caller");
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) Fail("the caller cannot be started");
  if (pid == 0) {
    ::close(pipe[0]);
    RunCaller(fd, pipe[1], parent);
  }
  ::close(fd);
  ::close(pipe[1]);
  char byte = 0;
  const bool ready = ::read(pipe[0], &byte, 1) == 1;
  ::close(pipe[0]);
  if (!ready) Fail("the caller's memory cannot be placed");
  h.callerPid = pid;
  h.callerStart = plat::process_start_time(pid);
}

void StopCaller() {
  if (g_harness == nullptr || g_harness->callerPid <= 0) return;
  ::kill(g_harness->callerPid, SIGKILL);
  ::waitpid(g_harness->callerPid, nullptr, 0);
  g_harness->callerPid = 0;
}

// The system buffers end right before a faulting page, so that the driver's
// writes or reads past a request's buffer stop the run; one mapping for every
// request spares the page faults of a fresh megabyte each time.
void MapSystemBuffers(Harness& h) {
  const std::size_t bytes = kMaxRequestBytes + 2 * kPage;
  void* at = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) Fail("no room for the system buffers");
  h.systemBufferEnd = static_cast<std::uint8_t*>(at) + bytes - kPage;
  ::mprotect(h.systemBufferEnd, kPage, PROT_NONE);
}

// The caller starts after the physical memory, whose shared view it keeps at
// the same address, and before any thread of the kernel.
void StartKernel(Harness& h) {
  if (!physmem_start(std::size_t{64} << 20)) Fail("no physical memory");
  StartCaller(h);
  if (!plat::nt_success(start_host_driver(L"\\Driver\\QELLOG", qellog_driver_entry, &h.log)) ||
      !plat::nt_success(start_host_driver(L"\\Driver\\QELMEM", qelmem_driver_entry, &h.memory)) ||
      !plat::nt_success(start_host_driver(L"\\Driver\\Stavro", DriverEntry, &h.stavro)))
    Fail("the drivers do not start");
  const char* models[] = {"FolvantX4Full", "FolvantX4Dual"};
  for (int i = 0; i < 2; ++i) {
    plat::board::Board* board = plat::board::board_create({models[i]}, i);
    BusSlot* slot = nullptr;
    if (board == nullptr || !plat::nt_success(bus_add_board(board, h.stavro.driver, &slot)))
      Fail("a board does not start");
  }
}

void NewCallers(Harness& h) {
  h.self = ClientInfo{};
  h.self.process.pid = static_cast<std::int32_t>(h.callerPid);
  h.self.process.start_time = h.callerStart;
  h.self.connection_id = h.nextConnection++;
  h.self.arena_view = reinterpret_cast<std::uint64_t>(physmem_kernel_address(kArenaBase));
  // A process that is gone: nothing of its memory can be reached.
  h.other = ClientInfo{};
  h.other.process.pid = 0x3FFFFFF0;
  h.other.process.start_time = 1;
  h.other.connection_id = h.nextConnection++;
}

const ClientInfo& CallerOf(const Harness& h, const Slot& slot) { return slot.other ? h.other : h.self; }

void CloseSlot(Harness& h, Slot& slot) {
  if (slot.file == nullptr) return;
  kernel_request_sink().close(slot.file, CallerOf(h, slot));
  ++h.closes;
  slot = Slot{};
}

void RunOpen(Harness& h, ProgramReader& in) {
  const auto how = in.Read<std::uint8_t>();
  Slot& slot = h.slots[how & 3];
  const std::size_t device = (how >> 2 & 0x1F) % std::size(kDeviceNames);
  const bool other = (how & kOtherProcess) != 0;
  if (slot.file != nullptr && slot.device == device && slot.other == other) return;
  CloseSlot(h, slot);
  slot.other = other;
  slot.device = device;
  const std::string name(kDeviceNames[device]);
  void* file = nullptr;
  ++h.opens;
  if (plat::nt_success(kernel_request_sink().create(CallerOf(h, slot), name.c_str(), &file))) slot.file = file;
}

void ResolveTokens(const Harness& h, std::span<std::uint8_t> bytes) {
  for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) {
    std::uint32_t word = 0;
    std::memcpy(&word, bytes.data() + at, 4);
    if ((word & ~3u) != kAnswerToken) continue;
    const std::uint64_t value = h.answers[word & 3];
    const auto low = static_cast<std::uint32_t>(value);
    std::memcpy(bytes.data() + at, &low, 4);
    std::uint32_t next = 0;
    if (at + 8 <= bytes.size()) std::memcpy(&next, bytes.data() + at + 4, 4);
    if (next != kAnswerHigh) continue;
    const auto high = static_cast<std::uint32_t>(value >> 32);
    std::memcpy(bytes.data() + at + 4, &high, 4);
    at += 4;
  }
}

// A status of success followed by a value: the value is kept.
void KeepAnswer(Harness& h, std::span<const std::byte> output) {
  std::int32_t status = -1;
  if (output.size() < 8) return;
  std::memcpy(&status, output.data(), 4);
  if (status != 0) return;
  std::uint64_t value = 0;
  std::memcpy(&value, output.data() + 4, output.size() >= 12 ? 8 : 4);
  h.answers[h.kept++ % kKeptAnswers] = value;
}

// As the transport runs it: one system buffer of max(input, output) bytes,
// the input at its start and zeros after it.
void RunControl(Harness& h, ProgramReader& in) {
  const auto how = in.Read<std::uint8_t>();
  const auto code = in.Read<std::uint32_t>();
  const std::uint32_t outputSize = in.Size();
  const std::uint32_t inputSize = in.Size();
  std::span<const std::uint8_t> given = in.Bytes(inputSize);
  const Slot& slot = h.slots[how & 3];
  if (slot.file == nullptr) return;
  if (IsHeavy(code) && h.heavy++ >= kHeavyPerProgram) return;
  const std::size_t size = std::max(inputSize, outputSize);
  std::span<std::byte> buffer(reinterpret_cast<std::byte*>(h.systemBufferEnd - size), size);
  std::memset(buffer.data(), 0, size);
  if (!given.empty()) std::memcpy(buffer.data(), given.data(), given.size());
  const std::span<std::uint8_t> sent(reinterpret_cast<std::uint8_t*>(buffer.data()), given.size());
  ResolveTokens(h, sent);
  ClientInfo caller = CallerOf(h, slot);
  caller.is_32bit = (how & kNarrowCaller) != 0 ? 1 : 0;
  FoldSlowCount(code, caller.is_32bit != 0, sent);
  std::uint64_t information = 0;
  const std::int32_t status =
      kernel_request_sink().device_control(slot.file, caller, code, buffer, inputSize, outputSize, &information);
  ++h.requests;
  if (plat::nt_success(status))
    KeepAnswer(h, buffer.first(std::min<std::uint64_t>(information, outputSize)));
}

void RunFill(Harness& h, ProgramReader& in) {
  const auto offset = in.Read<std::uint32_t>() % kWritableBytes;
  const auto length = in.Read<std::uint16_t>();
  std::span<const std::uint8_t> bytes = in.Bytes(std::min<std::size_t>(length, kWritableBytes - offset));
  if (bytes.empty()) return;
  std::memcpy(h.client + offset, bytes.data(), bytes.size());
  ResolveTokens(h, std::span(h.client + offset, bytes.size()));
}

void RunProgram(Harness& h, ProgramReader& in) {
  for (std::size_t n = 0; n < kMaxOperations && !in.AtEnd(); ++n) {
    switch (OperationOf(in.Read<std::uint8_t>())) {
      case kOpen: RunOpen(h, in); break;
      case kControl: RunControl(h, in); break;
      case kClose: CloseSlot(h, h.slots[in.Read<std::uint8_t>() & 3]); break;
      case kFill: RunFill(h, in); break;
    }
  }
}

// What a client's going away leaves to the transport.
void EndCallers(Harness& h) {
  for (Slot& slot : h.slots) CloseSlot(h, slot);
  physmem_release_client(h.self.connection_id);
  physmem_release_client(h.other.connection_id);
}

void PrintFigures() {
  const Harness& h = *g_harness;
  std::fprintf(stderr, "request fuzzer: %llu opens, %llu closes\n", static_cast<unsigned long long>(h.opens),
               static_cast<unsigned long long>(h.closes));
  std::fprintf(stderr, "request fuzzer: %llu requests\n", static_cast<unsigned long long>(h.requests));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_harness = new Harness;
  fuzz_support::Machine();
  fuzz_support::WriteSeedsIfAsked(RequestSeeds);
  MapSystemBuffers(*g_harness);
  StartKernel(*g_harness);
  std::atexit(StopCaller);
  std::atexit(PrintFigures);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Harness& h = *g_harness;
  std::memset(h.client, 0, kWritableBytes);
  NewCallers(h);
  h.answers = {};
  h.kept = 0;
  h.heavy = 0;
  ProgramReader in(std::span(data, size));
  RunProgram(h, in);
  EndCallers(h);
  return 0;
}
