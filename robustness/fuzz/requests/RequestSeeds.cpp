// The seed programs: the requests of the driver's tests (board queries,
// on-board memory, registers, I2C, flash, events and messages, channels, a
// transfer's life) from both caller widths, with addresses into the caller's
// writable, read-only, faulting and unmapped memory, and handles of one
// process used by another.
#include "robustness/fuzz/requests/RequestSeeds.h"

#include <string>
#include <vector>

#include "driver/kernel/YatBoardRecords.h"
#include "driver/kernel/YatFlashRecords.h"
#include "driver/kernel/YatI2cRecords.h"
#include "driver/kernel/YatIoctl.h"
#include "driver/kernel/YatMessages.h"
#include "driver/kernel/YatTransferRecords.h"
#include "robustness/fuzz/requests/RequestProgram.h"

namespace {

using namespace request_fuzz;

constexpr YatIocHeader kBoard0{YAT_IOC_TARGET_BOARD, 0};
constexpr YatIocHeader kBoard1{YAT_IOC_TARGET_BOARD, 1};
constexpr std::uint32_t kStatusOnly = 4;

struct Seed {
  std::string name;
  ProgramWriter program;
};

void BoardQueries(ProgramWriter& p) {
  p.Open(0, 0);
  p.Control(0, false, YAT_IOCTRL_GET_NB_BOARD, nullptr, 0, 8);
  p.Control(0, false, YAT_IOCTRL_GET_ABI_VERSION, nullptr, 0, 8);
  for (const YatIocHeader& board : {kBoard0, kBoard1}) {
    p.Control(0, false, YAT_IOCTRL_GET_BOARD_STATE, board, 7);
    p.Control(0, false, YAT_IOCTRL_GET_PCI_LOCATION, board, 16);
    p.Control(0, false, YAT_IOCTRL_GET_MEMORY_SIZE, board, 8);
    p.Control(0, true, YAT_IOCTRL_GET_PROCESS_ID, board, 8);
  }
  p.Close(0);
}

void OnboardMemory(ProgramWriter& p, bool narrow) {
  p.Open(1, 0);
  YatInitMemoryRecord memory{};
  memory.header = kBoard0;
  memory.regionsPerBank[0] = 8;
  memory.bankSizeMb[0] = 64;
  memory.bankCount = 1;
  p.Control(1, narrow, YAT_IOCTRL_INIT_MEMORY_MANAGER, memory, kStatusOnly);
  p.Control(1, narrow, YAT_IOCTRL_ALLOC_FPGA_MEM, YatIocAllocFpgaMemIn{kBoard0, 0, 640 * 480, 0}, 12);
  p.Control(1, narrow, YAT_IOCTRL_ALLOC_FPGA_MEM, YatIocAllocFpgaMemIn{kBoard0, 7, 8u << 20, 0}, 12);
  p.Control(1, narrow, YAT_IOCTRL_FREE_FPGA_MEM, YatIocFreeFpgaMemIn{kBoard0, kAnswerToken, 0}, kStatusOnly);
  p.Control(1, narrow, YAT_IOCTRL_FREE_ALL_FPGA_MEM, kBoard0, kStatusOnly);
  p.Close(1);
}

void Registers(ProgramWriter& p) {
  p.Open(0, 1);
  p.Control(0, false, YAT_IOCTRL_READ_REG, YatIocRegisterIn{kBoard0, 0x400, 0}, 8);
  p.Control(0, false, YAT_IOCTRL_WRITE_REG, YatIocRegisterIn{kBoard0, 0x404, 0xFFFFFFFF}, kStatusOnly);
  p.Control(0, false, YAT_IOCTRL_READ_BAR, YatIocRegisterIn{kBoard1, 0x10, 0}, 8);
  p.Close(0);
}

// Memory reads into each kind of caller memory.
void MemoryInto(ProgramWriter& p, std::uint64_t address, std::uint32_t count, bool narrow) {
  p.Open(2, 0);
  if (narrow) {
    p.Control(2, true, YAT_IOCTRL_READ_MEMORY,
              YatIocMemoryIn32{kBoard0, 0, static_cast<std::uint32_t>(address), count, 0}, kStatusOnly);
  } else {
    p.Control(2, false, YAT_IOCTRL_READ_MEMORY, YatIocMemoryIn{kBoard0, 0, address, count, 0}, kStatusOnly);
    p.Control(2, false, YAT_IOCTRL_WRITE_MEMORY, YatIocMemoryIn{kBoard0, 0x1000, address, count, 0}, kStatusOnly);
  }
  p.Control(2, false, YAT_IOCTRL_I2C_READ, YatI2cRequestIn{kBoard0, 0, 0xA0, 0, address, 16, 1}, kStatusOnly);
  p.Control(2, false, YAT_IOCTRL_FLASH_READ, YatFlashTransferIn{kBoard0, 0, count, address}, kStatusOnly);
  p.Control(2, false, YAT_IOCTRL_FLASH_READ_ID, YatFlashIdIn{kBoard0, 0}, 8);
  p.Close(2);
}

void Messages(ProgramWriter& p) {
  p.Open(0, 0);
  p.Control(0, false, YAT_IOCTRL_REGISTER_EVENT, YatEventRegistration{kBoard0, YAT_MSG_TYPE_CHANNEL, 0x1234}, 4);
  p.Control(0, false, YAT_IOCTRL_ROUTE_EVENT, YatEventRoute{kBoard0, 0, YAT_ROUTE_CHANNEL, 0xFF}, kStatusOnly);
  p.Control(0, false, YAT_IOCTRL_KERNEL_ACQ_START, YatIocValueIn{kBoard0, 0}, kStatusOnly);
  p.Control(0, false, YAT_IOCTRL_GET_MESSAGE, YatMsgRequest{kBoard0, YAT_MSG_TYPE_CHANNEL, 64, kClientBase}, 8);
  p.Control(0, true, YAT_IOCTRL_GET_MESSAGE,
            YatMsgRequest32{kBoard0, YAT_MSG_TYPE_TRANSFER, 64, static_cast<std::uint32_t>(kFaultingPage)}, 8);
  p.Control(0, false, YAT_IOCTRL_KERNEL_ACQ_ABORT, YatIocValueIn{kBoard0, 0}, kStatusOnly);
  p.Control(0, false, YAT_IOCTRL_UNROUTE_ALL_EVENT, kBoard0, kStatusOnly);
}

// A transfer's life: create, its AL element, start, abort, destroy. The
// element and what it points to sit in the caller's writable memory.
void Transfer(ProgramWriter& p, bool closeFirst) {
  p.Open(0, 0);
  YatInitMemoryRecord memory{};
  memory.header = kBoard0;
  memory.regionsPerBank[0] = 8;
  memory.bankSizeMb[0] = 64;
  memory.bankCount = 1;
  p.Control(0, false, YAT_IOCTRL_INIT_MEMORY_MANAGER, memory, kStatusOnly);
  p.Control(0, false, YAT_IOCTRL_ALLOC_FPGA_MEM, YatIocAllocFpgaMemIn{kBoard0, 0, 640 * 6 * 2, 0}, 12);
  p.Control(0, false, YAT_IOCTRL_CREATE_XFER, YatCreateXferRecord{kBoard0, 0}, 12);
  YatAlRegion region{0, 0, 640, 6};
  YatSourceEntry source{0, 0, kAnswerToken};
  YatAlElement al{};
  al.geometry = {640, 6, 2, 0, 0, 640, 6};
  al.stepWord = 0x101;
  al.regionCount = 1;
  al.regions = kClientBase + 0x100;
  al.sourceCount = 1;
  al.sources = kClientBase + 0x200;
  al.taps = 1;
  p.Fill(0, &al, sizeof al);
  p.Fill(0x100, &region, sizeof region);
  p.Fill(0x200, &source, sizeof source);
  p.Control(0, false, YAT_IOCTRL_SET_AL_XFERS, YatDmaXferRecord{kBoard0, AnswerToken(1), 1, kClientBase}, kStatusOnly);
  p.Control(0, false, YAT_IOCTRL_START_AUTO_XFER, YatXferCommandRecord{kBoard0, AnswerToken(1)}, kStatusOnly);
  p.Control(0, false, YAT_IOCTRL_DBG_GET_XFER_HANDLES, nullptr, 0, 4 + 8 * 64);
  if (closeFirst) {
    p.Close(0);
    return;
  }
  p.Control(0, false, YAT_IOCTRL_ABORT_XFER, YatXferCommandRecord{kBoard0, AnswerToken(1)}, kStatusOnly);
  YatDestroyXferRecord destroy{};
  destroy.header = kBoard0;
  destroy.handle = AnswerToken(1);
  p.Control(0, false, YAT_IOCTRL_DESTROY_XFER, destroy, kStatusOnly);
  p.Close(0);
}

// Handles of one process in the requests of another.
void ForeignHandles(ProgramWriter& p) {
  p.Open(0, 0);
  p.Open(1, 0, true);
  p.Control(0, false, YAT_IOCTRL_CREATE_XFER, YatCreateXferRecord{kBoard0, 1}, 12);
  p.Control(1, false, YAT_IOCTRL_START_AUTO_XFER, YatXferCommandRecord{kBoard0, AnswerToken(0)}, kStatusOnly);
  YatDestroyXferRecord destroy{};
  destroy.header = kBoard0;
  destroy.handle = AnswerToken(0);
  p.Control(1, false, YAT_IOCTRL_DESTROY_XFER, destroy, kStatusOnly);
  p.Control(1, false, YAT_IOCTRL_KERNEL_ACQ_START, YatIocValueIn{kBoard0, 1}, kStatusOnly);
  p.Close(0);
}

std::vector<Seed> Seeds() {
  std::vector<Seed> seeds;
  auto add = [&seeds](const std::string& name, auto write) {
    seeds.push_back({name, {}});
    write(seeds.back().program);
  };
  add("board-queries", BoardQueries);
  add("onboard-memory", [](ProgramWriter& p) { OnboardMemory(p, false); });
  add("onboard-memory-32", [](ProgramWriter& p) { OnboardMemory(p, true); });
  add("registers", Registers);
  add("memory-writable", [](ProgramWriter& p) { MemoryInto(p, kClientBase, 256, false); });
  add("memory-writable-32", [](ProgramWriter& p) { MemoryInto(p, kClientBase, 256, true); });
  add("memory-read-only", [](ProgramWriter& p) { MemoryInto(p, kReadOnlyPage, 256, false); });
  add("memory-faulting", [](ProgramWriter& p) { MemoryInto(p, kFaultingPage, 256, false); });
  add("memory-unmapped", [](ProgramWriter& p) { MemoryInto(p, kUnmappedHole, 256, true); });
  add("memory-straddling", [](ProgramWriter& p) { MemoryInto(p, kReadOnlyPage - 8, 64, false); });
  add("messages", Messages);
  add("transfer", [](ProgramWriter& p) { Transfer(p, false); });
  add("transfer-closed-running", [](ProgramWriter& p) { Transfer(p, true); });
  add("foreign-handles", ForeignHandles);
  return seeds;
}

}  // namespace

std::vector<fuzz_support::SeedFile> RequestSeeds() {
  std::vector<fuzz_support::SeedFile> files;
  for (const Seed& seed : Seeds()) files.push_back({seed.name, seed.program.Bytes()});
  return files;
}
