// The device transport between real client processes (plat-helper-transport)
// and a small in-test request sink standing in for the kernel.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/blocking.h"
#include "platform/kernel/physical_memory.h"
#include "platform/kernel/transport_server.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/errors.h"
#include "platform/win/nt_status.h"
#include "platform/win/process.h"

namespace plat::kernel {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kCodeMarkTwo = 0x222000;    // two 0xAB bytes, information = whole output
constexpr std::uint32_t kCodeShortInfo = 0x222004;  // 0xCD everywhere, information = 3
constexpr std::uint32_t kCodeStatus = 0x222008;     // answers the status in the input
constexpr std::uint32_t kCodeWhoAmI = 0x22200C;     // pid, width, start time of the caller
constexpr std::uint32_t kCodeRendezvous = 0x222010; // echoes once kParallel requests are inside
constexpr std::uint32_t kCodeReadClient = 0x222014; // reads the caller's memory {u64 address, u32 length}
constexpr std::uint32_t kCodeAllocate = 0x222018;   // arena pages with a pattern: {client address, bus}
constexpr std::uint32_t kCodeLock = 0x22201C;       // locks {u64 address, u64 size}: bus pages
constexpr std::uint32_t kCodeUnlock = 0x222020;
constexpr int kParallel = 8;

struct Event {
  std::string what;  // "create" or "close"
  ClientInfo client;
};

struct SinkState {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Event> events;
  int inside_rendezvous = 0;
  LockedBuffer* locked = nullptr;
};
SinkState* g_sink = nullptr;

template <typename T>
T read_as(std::span<const std::byte> input, std::size_t offset) {
  T value{};
  if (input.size() >= offset + sizeof value) std::memcpy(&value, input.data() + offset, sizeof value);
  return value;
}

template <typename T>
void put(std::span<std::byte> output, std::size_t offset, T value) {
  if (output.size() >= offset + sizeof value) std::memcpy(output.data() + offset, &value, sizeof value);
}

void record(const char* what, const ClientInfo& client) {
  std::lock_guard lock(g_sink->mutex);
  g_sink->events.push_back({what, client});
  g_sink->changed.notify_all();
}

std::int32_t sink_create(const ClientInfo& client, const char* name, void** file) {
  if (std::string(name) != "\\\\.\\TESTDEV") return kStatusObjectNameNotFound;
  record("create", client);
  *file = new int(0);
  return kStatusSuccess;
}

void sink_close(void* file, const ClientInfo& client) {
  delete static_cast<int*>(file);
  record("close", client);
}

std::int32_t rendezvous(std::span<const std::byte> input, std::span<std::byte> output,
                        std::uint64_t* information) {
  // A sink that waits on anything but a kernel object says so first.
  notice_blocking();
  std::unique_lock lock(g_sink->mutex);
  ++g_sink->inside_rendezvous;
  g_sink->changed.notify_all();
  bool all_in = g_sink->changed.wait_for(lock, 20s, [] { return g_sink->inside_rendezvous >= kParallel; });
  if (!all_in) return kStatusUnsuccessful;
  put(output, 0, read_as<std::uint32_t>(input, 0));
  *information = output.size();
  return kStatusSuccess;
}

std::int32_t allocate(const ClientInfo& client, std::span<std::byte> output, std::uint64_t* information) {
  ContiguousBlock block{};
  if (!physmem_allocate(2 * kPageSize, 0xFFFFFFFF, &block)) return kStatusNoMemory;
  auto* bytes = static_cast<std::uint8_t*>(block.kernel_address);
  for (std::size_t i = 0; i < block.size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  put(output, 0, physmem_client_address(client, block.physical));
  put(output, 8, block.physical);
  *information = 16;
  return kStatusSuccess;
}

std::int32_t lock_pages(const ClientInfo& client, std::span<const std::byte> input,
                        std::span<std::byte> output, std::uint64_t* information) {
  std::vector<std::uint64_t> pages;
  LockedBuffer* locked = nullptr;
  if (!physmem_lock_client(client, read_as<std::uint64_t>(input, 0), read_as<std::uint64_t>(input, 8),
                           &pages, &locked))
    return kStatusAccessViolation;
  std::lock_guard lock(g_sink->mutex);
  g_sink->locked = locked;
  for (std::size_t i = 0; i < pages.size(); ++i) put(output, 8 * i, pages[i]);
  *information = 8 * pages.size();
  return kStatusSuccess;
}

std::int32_t sink_device_control(void* file, const ClientInfo& client, std::uint32_t code,
                                 std::span<std::byte> buffer, std::uint32_t input_size, std::uint32_t output_size,
                                 std::uint64_t* information) {
  // Buffered: the output is written over the input, so the input is read first.
  const std::vector<std::byte> input_copy(buffer.begin(), buffer.begin() + input_size);
  const std::span<const std::byte> input(input_copy);
  const std::span<std::byte> output = buffer.first(output_size);
  switch (code) {
    case kCodeMarkTwo:
      put(output, 0, std::uint16_t{0xABAB});
      *information = output.size();
      return kStatusSuccess;
    case kCodeShortInfo:
      std::memset(output.data(), 0xCD, output.size());
      *information = 3;
      return kStatusSuccess;
    case kCodeStatus:
      std::memset(output.data(), 0x11, output.size());
      *information = output.size();
      return read_as<std::int32_t>(input, 0);
    case kCodeWhoAmI:
      put(output, 0, client.process.pid);
      put(output, 4, client.is_32bit);
      put(output, 8, client.process.start_time);
      *information = 16;
      return kStatusSuccess;
    case kCodeRendezvous:
      return rendezvous(input, output, information);
    case kCodeReadClient: {
      auto length = read_as<std::uint32_t>(input, 8);
      if (length > output.size()) return kStatusInvalidParameter;
      if (!read_client_memory(client, read_as<std::uint64_t>(input, 0), output.first(length)))
        return kStatusAccessViolation;
      *information = length;
      return kStatusSuccess;
    }
    case kCodeAllocate:
      return allocate(client, output, information);
    case kCodeLock:
      return lock_pages(client, input, output, information);
    case kCodeUnlock: {
      std::lock_guard lock(g_sink->mutex);
      physmem_unlock_client(g_sink->locked);
      g_sink->locked = nullptr;
      return kStatusSuccess;
    }
  }
  return kStatusInvalidDeviceRequest;
}

std::string hex(const void* data, std::size_t size) {
  std::string text;
  char digits[3];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<const std::uint8_t*>(data)[i]);
    text += digits;
  }
  return text;
}

template <typename T>
std::string hex_of(T value) {
  return hex(&value, sizeof value);
}

// The bytes of the last field of an answer line ("ok N HEX").
std::vector<std::uint8_t> bytes_of(const std::string& line) {
  std::string text = line.substr(line.rfind(' ') + 1);
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

template <typename T>
T field(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  T value{};
  if (bytes.size() >= offset + sizeof value) std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

using plat::testing::ChildProcess;

class Client {
 public:
  Client() : process_("plat-helper-transport", {}) {}
  std::string ask(const std::string& command) {
    process_.write_line(command);
    return process_.read_line();
  }
  std::string open() {
    std::string line = ask("open \\\\.\\TESTDEV");
    EXPECT_EQ(line.rfind("opened ", 0), 0u) << line;
    return line.substr(7);
  }
  std::string ioctl(const std::string& handle, std::uint32_t code, const std::string& input,
                    std::uint32_t out_size) {
    std::ostringstream command;
    command << "ioctl " << handle << ' ' << std::hex << code << std::dec << ' '
            << (input.empty() ? "-" : input) << ' ' << out_size;
    return ask(command.str());
  }
  ChildProcess& process() { return process_; }

 private:
  ChildProcess process_;
};

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_sink = &state_;
    ASSERT_TRUE(physmem_start(16 << 20));
    ASSERT_TRUE(transport_start(RequestSink{sink_create, sink_device_control, sink_close}));
  }
  void TearDown() override {
    transport_stop();
    physmem_stop();
    g_sink = nullptr;
  }

  // Waits until `count` events named `what` came from process `pid`.
  bool wait_for_events(const std::string& what, std::int32_t pid, std::size_t count) {
    std::unique_lock lock(state_.mutex);
    return state_.changed.wait_for(lock, 20s, [&] {
      std::size_t seen = 0;
      for (const Event& e : state_.events) seen += e.what == what && e.client.process.pid == pid;
      return seen >= count;
    });
  }
  std::size_t count_events(const std::string& what) {
    std::lock_guard lock(state_.mutex);
    std::size_t seen = 0;
    for (const Event& e : state_.events) seen += e.what == what;
    return seen;
  }

  plat::testing::ScopedMachine machine_;
  SinkState state_;
};

TEST_F(TransportTest, OutputIsZeroFilledAndComesBackWhole) {
  Client client;
  std::string device = client.open();
  EXPECT_EQ(client.ioctl(device, kCodeMarkTwo, "", 8), "ok 8 abab000000000000");
  // A driver that reports fewer bytes gets only those copied back.
  EXPECT_EQ(client.ioctl(device, kCodeShortInfo, "", 6), "ok 3 cdcdcdeeeeee");
}

struct StatusCase {
  NtStatus status;
  std::string answer;
};

TEST_F(TransportTest, StatusesReachTheCallerAsErrors) {
  const StatusCase cases[] = {
      {kStatusSuccess, "ok 4 11111111"},
      {kStatusInvalidParameter, "failed 87 0 eeeeeeee"},
      {kStatusBufferTooSmall, "failed 122 0 eeeeeeee"},
      {kStatusInvalidDeviceRequest, "failed 1 0 eeeeeeee"},
      {kStatusUnsuccessful, "failed 31 0 eeeeeeee"},
      {kStatusBufferOverflow, "failed 234 4 11111111"},  // a warning still brings its data
  };
  Client client;
  std::string device = client.open();
  for (const StatusCase& c : cases)
    EXPECT_EQ(client.ioctl(device, kCodeStatus, hex_of(c.status), 4), c.answer) << c.status;
  EXPECT_EQ(client.ioctl(device, 0x222FFC, "", 4), "failed 1 0 eeeeeeee");
}

TEST_F(TransportTest, SinkSeesTheCallersIdentityAndWidth) {
  Client client;
  ASSERT_EQ(client.ask("width32"), "width set");
  std::string device = client.open();
  auto who = bytes_of(client.ioctl(device, kCodeWhoAmI, "", 16));
  std::int32_t pid = client.process().pid();
  EXPECT_EQ(field<std::int32_t>(who, 0), pid);
  EXPECT_EQ(field<std::uint32_t>(who, 4), 1u);
  EXPECT_EQ(field<std::uint64_t>(who, 8), process_start_time(pid));
  EXPECT_NE(field<std::uint64_t>(who, 8), 0u);
  std::lock_guard lock(state_.mutex);
  ASSERT_EQ(state_.events.size(), 1u);
  EXPECT_EQ(state_.events[0].client.process.pid, pid);
  EXPECT_EQ(state_.events[0].client.is_32bit, 1u);
}

TEST_F(TransportTest, MissingDeviceOrHostIsFileNotFound) {
  Client client;
  EXPECT_EQ(client.ask("open \\\\.\\NOSUCH"), "error 2");
  EXPECT_EQ(client.ask("open TESTDEV"), "error 2");
  plat::testing::ScopedMachine without_host;
  Client stranger;
  EXPECT_EQ(stranger.ask("open \\\\.\\TESTDEV"), "error 2");
}

TEST_F(TransportTest, RequestsOfSeveralThreadsRunAtOnce) {
  Client client;
  std::string device = client.open();
  std::ostringstream command;
  command << "parallel " << device << ' ' << std::hex << kCodeRendezvous << std::dec << ' ' << kParallel;
  EXPECT_EQ(client.ask(command.str()), "parallel " + std::to_string(kParallel));
}

TEST_F(TransportTest, EachOpenIsOneFileAndEachCloseOneClose) {
  Client client;
  std::string first = client.open();
  std::string second = client.open();
  EXPECT_NE(first, second);
  EXPECT_EQ(client.ask("close " + first), "closed 1");
  EXPECT_EQ(count_events("close"), 1u);
  EXPECT_EQ(client.ask("close " + first), "closed 0");
  EXPECT_EQ(client.ioctl(second, kCodeMarkTwo, "", 4), "ok 4 abab0000");
  EXPECT_EQ(client.ask("close " + second), "closed 1");
  EXPECT_EQ(count_events("create"), 2u);
  EXPECT_EQ(count_events("close"), 2u);
}

TEST_F(TransportTest, KilledClientGetsEveryFileClosedAndItsLocksReleased) {
  Client doomed;
  std::string device = doomed.open();
  doomed.open();
  std::string buffer = doomed.ask("buffer 4096 0").substr(7);
  std::string lock_input = hex_of(std::stoull(buffer, nullptr, 16)) + hex_of(std::uint64_t{4096});
  auto pages = bytes_of(doomed.ioctl(device, kCodeLock, lock_input, 8));
  std::uint64_t bus = field<std::uint64_t>(pages, 0);
  std::array<std::byte, 16> data{};
  ASSERT_TRUE(dma_write(bus, data));

  std::int32_t pid = doomed.process().pid();
  doomed.process().kill_hard();
  EXPECT_TRUE(wait_for_events("close", pid, 2));
  // The locks go right after the closes.
  auto deadline = std::chrono::steady_clock::now() + 20s;
  while (dma_write(bus, data) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(dma_write(bus, data));

  Client survivor;
  EXPECT_EQ(survivor.ioctl(survivor.open(), kCodeMarkTwo, "", 2), "ok 2 abab");
}

TEST_F(TransportTest, BadClientAddressFailsOnlyThatRequest) {
  Client client;
  std::string device = client.open();
  std::string bad = hex_of(std::uint64_t{0x10}) + hex_of(std::uint32_t{4});
  EXPECT_EQ(client.ioctl(device, kCodeReadClient, bad, 4).rfind("failed ", 0), 0u);
  std::string buffer = client.ask("buffer 16 0").substr(7);
  std::string good = hex_of(std::stoull(buffer, nullptr, 16)) + hex_of(std::uint32_t{4});
  EXPECT_EQ(client.ioctl(device, kCodeReadClient, good, 4), "ok 4 00000000");
}

TEST_F(TransportTest, ArenaAllocationIsVisibleAtTheClientsAddress) {
  Client client;
  std::string device = client.open();
  auto answer = bytes_of(client.ioctl(device, kCodeAllocate, "", 16));
  auto client_address = field<std::uint64_t>(answer, 0);
  ASSERT_NE(client_address, 0u);
  EXPECT_LT(client_address, 0x100000000u);  // within reach of a 32-bit caller's fields
  std::ostringstream command;
  command << "dump " << std::hex << client_address + kPageSize - 2 << std::dec << " 4";
  const std::uint8_t expected[] = {static_cast<std::uint8_t>((kPageSize - 2) * 7 + 1),
                                   static_cast<std::uint8_t>((kPageSize - 1) * 7 + 1),
                                   static_cast<std::uint8_t>(kPageSize * 7 + 1),
                                   static_cast<std::uint8_t>((kPageSize + 1) * 7 + 1)};
  EXPECT_EQ(client.ask(command.str()), "dump " + hex(expected, 4));
}

TEST_F(TransportTest, DmaToLockedPagesLandsInTheClientsBufferUntilUnlocked) {
  Client client;
  std::string device = client.open();
  constexpr std::size_t kSize = 10000, kOffset = 100;
  std::uint64_t buffer = std::stoull(client.ask("buffer 10000 100").substr(7), nullptr, 16);
  std::string lock_input = hex_of(buffer) + hex_of(std::uint64_t{kSize});
  auto pages = bytes_of(client.ioctl(device, kCodeLock, lock_input, 64));
  ASSERT_EQ(pages.size(), 64u);
  std::uint64_t first = field<std::uint64_t>(pages, 0);
  EXPECT_EQ(first % kPageSize, kOffset);
  EXPECT_EQ(field<std::uint64_t>(pages, 8), first - kOffset + kPageSize);
  EXPECT_EQ(field<std::uint64_t>(pages, 16), first - kOffset + 2 * kPageSize);
  EXPECT_EQ(field<std::uint64_t>(pages, 24), 0xEEEEEEEEEEEEEEEEu);  // three pages only

  std::vector<std::byte> frame(kSize);
  for (std::size_t i = 0; i < kSize; ++i) frame[i] = static_cast<std::byte>(i % 251);
  ASSERT_TRUE(dma_write(first, frame));
  std::ostringstream dump;
  dump << "dump " << std::hex << buffer << std::dec << ' ' << kSize;
  EXPECT_EQ(client.ask(dump.str()), "dump " + hex(frame.data(), kSize));
  std::vector<std::byte> back(kSize);
  ASSERT_TRUE(dma_read(first, back));
  EXPECT_EQ(back, frame);

  EXPECT_EQ(client.ioctl(device, kCodeUnlock, "", 4), "ok 0 eeeeeeee");
  EXPECT_FALSE(dma_write(first, frame));
}

TEST_F(TransportTest, GarbageOnTheSocketDropsOnlyThatConnection) {
  int raw = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string path = transport_socket_path();
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::connect(raw, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  std::vector<std::uint8_t> junk(4096, 0xFF);
  (void)!::send(raw, junk.data(), junk.size(), MSG_NOSIGNAL);
  char byte;
  ssize_t n;
  // The welcome arrives, then the host hangs up on the bad hello (a reset,
  // as our junk was left unread).
  while ((n = ::recv(raw, &byte, 1, 0)) > 0) {
  }
  EXPECT_TRUE(n == 0 || errno == ECONNRESET);
  ::close(raw);
  Client client;
  EXPECT_EQ(client.ioctl(client.open(), kCodeMarkTwo, "", 2), "ok 2 abab");
}

TEST_F(TransportTest, HostRestartFailsOldHandlesAndServesNewOpens) {
  Client client;
  std::string device = client.open();
  std::int32_t pid = client.process().pid();
  transport_stop();
  EXPECT_TRUE(wait_for_events("close", pid, 1));
  EXPECT_EQ(client.ioctl(device, kCodeMarkTwo, "", 2), "failed 31 0 eeee");
  ASSERT_TRUE(transport_start(RequestSink{sink_create, sink_device_control, sink_close}));
  EXPECT_EQ(client.ioctl(client.open(), kCodeMarkTwo, "", 2), "ok 2 abab");
  EXPECT_EQ(client.ask("close " + device), "closed 1");
}

}  // namespace
}  // namespace plat::kernel
