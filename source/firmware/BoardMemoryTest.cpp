// The memory DMA test: a transfer from camera 0 through on-board memory into
// the caller's host blocks, armed by mode 1 (which takes camera 0 with a
// video format of the test's frame, so the camera owns the acquisition
// channel the transfer names), started by mode 2's register sequence (camera
// 0's grab controller makes one counted frame), awaited by mode 3 and taken
// down by mode 4, which gives the camera back. One test per board at a time, kept in this
// process; its records live as long as the transfer the driver walks.
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/kernel/YatMessages.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatAcq.h"
#include "driver/user/YatInternalBuffer.h"
#include "driver/user/YatTransfer.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"
#include "source/firmware/BoardMemory.h"

namespace mancontrol {
namespace {

constexpr std::uint32_t kSavedBytes = 102400;
constexpr std::uint32_t kBlockBytes = 0x100000;
constexpr std::uint32_t kLineBytes = 1024;
constexpr std::uint32_t kMono8 = 1;
constexpr std::uint32_t kTestEventClass = 7;
constexpr std::uint32_t kTestEventBits = 0x80000000;
constexpr std::uint32_t kEndOfTransfer = 0x2000;
constexpr std::uint32_t kPositionBits = 0x1FFFF;
constexpr std::uint32_t kTestEndRegister = 2076;
constexpr auto kEmptyQueuePause = std::chrono::milliseconds(100);
constexpr std::uint32_t kBoards = 16;

struct Register {
  std::uint32_t offset;
  std::uint32_t value;
};

// I/O board set-up, camera 0's counted grab of one frame with its timing,
// serial and packer words, then the start.
constexpr std::array<Register, 26> kPatternSequence{{
    {2048, 1},          {2052, 48},         {2056, 0x200100},   {2060, 0x3F003F},   {2064, 0x3F003F},
    {2080, 0x10001},    {2084, 0x200100},   {4120, 1},          {4124, 1},          {4116, 1},
    {4148, 1},          {4152, 33333},      {4208, 21},         {4212, 4},          {4612, 3136},
    {4616, 0xCCCCCDB6}, {4640, 0xFFFF8000}, {12292, 1},         {12304, 1},         {13056, 265217},
    {13060, 19071267},  {13184, 265217},    {13188, 19071267},  {2048, 0},          {2076, 0},
    {4112, 1},
}};

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

// What the driver points at while the test's transfer lives.
struct Test {
  std::vector<std::uint8_t> saved;
  YatInternalBuffer onboard{};
  bool onboardMade = false;
  YatImageWindow window{};
  YatLocalImage image{};
  YatLocalImageList images{YAT_LOCAL_IMAGE_LIST_SIZE, 0, 1, 0};
  std::vector<YatHostBufferEntry> entries;
  std::vector<std::uint64_t> states;
  YatHostBufferList hosts{};
  YatTransferDesc desc{};
  YatTransferHandle transfer{};
  YatAcqHandle* camera = nullptr;
  bool routed = false;
};

struct Tests {
  std::mutex guard;
  std::array<std::unique_ptr<Test>, kBoards> boards;
};

Tests& AllTests() {
  static Tests tests;
  return tests;
}

QelStatus Board(QelHwStatus status) { return static_cast<QelStatus>(status); }

// Copies into this process's memory at an address that came from outside:
// an unusable range fails instead of faulting.
bool CopyToAddress(std::uint64_t address, const void* bytes, std::size_t count) {
  const iovec local{const_cast<void*>(bytes), count};
  const iovec remote{reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), count};
  return process_vm_writev(::getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(count);
}

void TakeDown(std::uint32_t board, Test& test) {
  if (Yat_Transfer_isValidHandle(&test.transfer)) {
    Yat_DMA_AbortTransfer(&test.transfer);
    Yat_Transfer_ReleaseHandle(&test.transfer);
  }
  if (test.routed) Yat_Event_UnRoute(board, 0, kTestEventClass, kTestEventBits);
  if (test.onboardMade) Yat_InternalBuffer_Free(&test.onboard);
  if (test.camera != nullptr) QelHw_Acq_ReleaseHandle(test.camera);
  Yat_Man_MemoryManager_FreeAll(board);
}

QelStatus SaveMemory(std::uint32_t board, const MemoryRequest& request, Test& test) {
  if (request.offset >= kSavedBytes) return QEL_OK;
  test.saved.assign(kSavedBytes - request.offset, 0);
  return Board(Yat_Man_Memory_Read(board, request.offset, static_cast<std::uint32_t>(test.saved.size()),
                                   Address(test.saved.data()), request.option));
}

// Camera 0 takes its acquisition channel with a video format of the test's
// frame: 8-bit lines of 1024 pixels, as many as one host block holds.
QelStatus TakeCamera(std::uint32_t board, std::uint32_t lines, Test& test) {
  QelHwStatus status = QelHw_Acq_GetHandle(board, 0, &test.camera);
  if (status != QELHW_OK) {
    test.camera = nullptr;
    return Board(status);
  }
  std::uint32_t format[YAT_VIDEO_FORMAT_WORDS] = {};
  status = QelHw_Acq_GetStdVideoFormat(test.camera, 0, format);
  format[6] = kLineBytes;
  format[11] = lines;
  if (status == QELHW_OK) status = QelHw_Acq_SetVideoFormat(test.camera, format);
  return Board(status);
}

// One frame of 1024-byte lines fills one host block; the list holds as many
// blocks as the size takes, from the host address on.
QelStatus Describe(std::uint32_t board, const MemoryRequest& request, Test& test) {
  const std::uint32_t block = request.fillValue;
  const std::uint32_t lines = block / kLineBytes;
  const std::uint32_t count = request.size / block;
  if (count == 0 || lines == 0) return Board(QELHW_ERROR_ARG_INVALID);
  if (const QelStatus status = TakeCamera(board, lines, test); status != QEL_OK) return status;
  test.window = {0, 0, 0, kLineBytes, lines, 0, kLineBytes};
  test.image = {YAT_LOCAL_IMAGE_SIZE, 0, kLineBytes, lines, kMono8, 0, 0, kLineBytes, lines,
                test.onboard.onboardAddress, 0, 1, Address(&test.window), 1, Address(&test.window), 0};
  test.images.images = Address(&test.image);
  test.entries.assign(count, YatHostBufferEntry{});
  test.states.assign(count, 0);
  for (std::uint32_t i = 0; i < count; ++i) {
    YatHostBufferEntry& entry = test.entries[i];
    entry.geometry = {kLineBytes, lines, kMono8, 0, 0, kLineBytes, lines};
    entry.stateSlotA = Address(&test.states[i]);
    entry.lock.user_address = request.data + std::uint64_t{i} * block;
    entry.lock.buffer_size = block;
  }
  test.hosts = {0, 1, count, Address(test.entries.data()), 0};
  test.desc.localImageList = Address(&test.images);
  test.desc.hostBufferList = Address(&test.hosts);
  test.desc.taps = 1;
  test.desc.lastIndex = 1;
  test.desc.camera = 0;
  test.desc.routeWord = 1;
  test.desc.linesFactor = 1;
  return Board(Yat_Transfer_Init(board, &test.desc, &test.transfer, 0));
}

QelStatus Arm(std::uint32_t board, const MemoryRequest& request, Test& test) {
  if (const QelStatus status = SaveMemory(board, request, test); status != QEL_OK) return status;
  const std::uint32_t bytes = (request.fillValue >> 20) << 20;
  if (bytes == 0) return Board(QELHW_ERROR_ARG_INVALID);
  QelHwStatus status = Yat_InternalBuffer_Create(board, 0, request.option, bytes, &test.onboard);
  if (status != QELHW_OK) return Board(status);
  test.onboardMade = true;
  if (test.onboard.onboardAddress != 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "Memory test: the internal buffer lies at 0x%x, not at 0",
              test.onboard.onboardAddress);
    return Board(QELHW_ERROR_RESOURCE_IN_USE);
  }
  if (const QelStatus described = Describe(board, request, test); described != QEL_OK) return described;
  status = Yat_Event_Route(board, 0, kTestEventClass, kTestEventBits);
  if (status != QELHW_OK) return Board(status);
  test.routed = true;
  return Board(Yat_DMA_StartAutoTransfer(&test.transfer));
}

bool Armed(std::uint32_t board) {
  Tests& tests = AllTests();
  std::lock_guard lock(tests.guard);
  return tests.boards[board] != nullptr;
}

}  // namespace

QelStatus MemoryTestStart(std::uint32_t board, const MemoryRequest& request) {
  if (board >= kBoards) return Board(QELHW_ERROR_ARG_INVALID);
  if (request.data == 0 || request.fillValue == 0) return Board(QELHW_ERROR_ARG_INVALID);
  Tests& tests = AllTests();
  std::lock_guard lock(tests.guard);
  if (tests.boards[board] != nullptr) TakeDown(board, *tests.boards[board]);
  tests.boards[board].reset();
  Yat_Man_MemoryManager_FreeAll(board);
  auto test = std::make_unique<Test>();
  const QelStatus status = Arm(board, request, *test);
  if (status != QEL_OK) {
    TakeDown(board, *test);
    return status;
  }
  tests.boards[board] = std::move(test);
  return QEL_OK;
}

QelStatus MemoryTestPattern(std::uint32_t board) {
  for (const Register& entry : kPatternSequence)
    if (Yat_FPGA_WriteDataReg(board, 0, entry.offset, entry.value) != QELHW_OK)
      return Board(QELHW_ERROR_DEVICE_WRITE);
  return QEL_OK;
}

QelStatus MemoryTestWait(std::uint32_t board, const MemoryRequest& request) {
  if (board >= kBoards) return Board(QELHW_ERROR_ARG_INVALID);
  if (request.data == 0) return Board(QELHW_ERROR_ARG_INVALID);
  // Without a test of this board the process's transfer messages are not this row's to take.
  if (!Armed(board)) return Board(QELHW_ERROR_RESOURCE_NOT_ALLOCATED);
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::milliseconds(GetCommTimeout());
  YatTransferMessage message{};
  for (;;) {
    const QelHwStatus status = Yat_Transfer_GetMessage(0, reinterpret_cast<std::uint8_t*>(&message), sizeof message);
    if (status == QELHW_OK && (message.word1 & kEndOfTransfer) != 0) break;
    if (status == QELHW_ERROR_DATA_NO_MESSAGES) std::this_thread::sleep_for(kEmptyQueuePause);
    else if (status != QELHW_OK) return Board(status);
    if (std::chrono::steady_clock::now() - start > limit) return Board(QELHW_ERROR_MEMORY_READ);
  }
  if ((message.word0 & kPositionBits) != 0) return Board(QELHW_ERROR_DATA_XFER_ABORT);
  Tests& tests = AllTests();
  std::lock_guard lock(tests.guard);
  const Test* test = tests.boards[board].get();
  if (test == nullptr || test->saved.empty()) return QEL_OK;
  const std::size_t count = std::min<std::size_t>(test->saved.size(), request.size);
  return CopyToAddress(request.data, test->saved.data(), count) ? QEL_OK : Board(QELHW_ERROR_ARG_INVALID);
}

QelStatus MemoryTestEnd(std::uint32_t board) {
  if (board >= kBoards) return Board(QELHW_ERROR_ARG_INVALID);
  Yat_FPGA_WriteDataReg(board, 0, kTestEndRegister, 1);
  Tests& tests = AllTests();
  std::lock_guard lock(tests.guard);
  if (tests.boards[board] != nullptr) TakeDown(board, *tests.boards[board]);
  else Yat_Man_MemoryManager_FreeAll(board);
  tests.boards[board].reset();
  return QEL_OK;
}

}  // namespace mancontrol
