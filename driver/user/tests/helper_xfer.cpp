// A process that loads the board library and runs its transfer functions,
// one command per input line, answering one line of numbers.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/Pardow.h"
#include "driver/user/YatSharedData.h"
#include "platform/kernel/qelmem.h"
#include "platform/win/sections.h"
#include "driver/user/tests/helper_support.h"

namespace {

using helper::Number;

std::vector<std::unique_ptr<YatTransferHandle>> g_handles;

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

YatTransferHandle* Handle(std::istringstream& in) {
  const std::uint32_t slot = Number(in);
  return slot < g_handles.size() ? g_handles[slot].get() : nullptr;
}

// The library's shared section as this process sees it: the same bytes.
YatSharedData* Shared() {
  static auto* const shared =
      static_cast<YatSharedData*>(plat::map_module_shared_data(YAT_SHARED_DATA_NAME, sizeof(YatSharedData)));
  return shared;
}

// The owner of every host DMA group of a board: its camera ("-1" when free),
// or with `slots` the process slot that took it.
std::string HostOwners(std::uint32_t board, bool slots) {
  if (Shared() == nullptr) return "unmapped";
  std::ostringstream out;
  for (std::uint32_t g = 0; g < YAT_HOST_DMA_GROUPS; ++g) {
    std::uint32_t words[YAT_HOST_DMA_PER_GROUP];
    std::memcpy(words, &Shared()->boards[board].hostDmaOwner[g], sizeof words);
    const std::uint32_t shown = slots ? YatDmaOwnerSlot(words[0]) : YatDmaOwnerCamera(words[0]);
    out << (g == 0 ? "" : " ") << (words[0] == YAT_DMA_OWNER_FREE ? -1 : static_cast<std::int32_t>(shown));
    for (std::uint32_t k = 1; k < YAT_HOST_DMA_PER_GROUP; ++k)
      if (words[k] != words[0]) out << "!";  // a torn group
  }
  return out.str();
}

// The entries of the ROI list a record's reference names, in the shared pool.
const std::uint8_t* RoiEntries(std::uint64_t reference) {
  const auto place = static_cast<std::uint32_t>(reference);
  if (Shared() == nullptr || place == 0 || place > YAT_ROI_POOL_LISTS) return nullptr;
  const YatRoiPoolList& list = Shared()->roiPool.lists[place - 1];
  return list.serial == reference >> 32 ? Shared()->roiPool.entries[list.first] : nullptr;
}

// The ROI lists of the pool: "<holder slot>:<count>" of each live one.
std::string RoiLists() {
  if (Shared() == nullptr) return "unmapped";
  std::ostringstream out;
  for (const YatRoiPoolList& list : Shared()->roiPool.lists)
    if (list.serial != 0) out << (out.tellp() == 0 ? "" : " ") << list.holder << ':' << list.count;
  return out.tellp() == 0 ? "none" : out.str();
}

std::string Create(std::istringstream& in) {
  const std::uint32_t board = Number(in);
  const std::uint32_t camera = Number(in);
  auto handle = std::make_unique<YatTransferHandle>();
  const QelHwStatus status = Yat_Transfer_CreateHandle(board, camera, handle.get());
  std::ostringstream out;
  out << status << ' ' << g_handles.size() << ' ' << handle->slots[0].hostDmaChannel << ' ' << handle->kernelHandle;
  g_handles.push_back(std::move(handle));
  return out.str();
}

// One host buffer of 64 x 4 bytes, described by a hand-built BH list.
struct HandBuiltBh {
  static constexpr std::uint32_t kWidth = 64, kHeight = 4, kFormat = 1;
  std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(kWidth * kHeight);
  std::uint8_t entry[YAT_HOST_BUFFER_ENTRY_SIZE] = {};
  YatBhPiece piece{1, {0, 0}, 0, 0, 0, 0, kWidth, kHeight};
  YatBhBufferRecord record{};
  YatBhElement element{};
  YatBhHeader header{0, 0, 1, 0, 0, 0, 0};

  explicit HandBuiltBh(std::uint32_t hostChannel) {
    plat::kernel::QelMemLockRecord lock{};
    lock.user_address = Address(memory.data());
    lock.buffer_size = memory.size();
    std::memcpy(entry + YAT_HOST_BUFFER_LOCK_OFFSET, &lock, sizeof lock);
    record.endNotify = 1;
    record.geometry = {kWidth, kHeight, kFormat, 0, 0, kWidth, kHeight};
    record.lockRecord = Address(entry + YAT_HOST_BUFFER_LOCK_OFFSET);
    record.regionCount = 1;
    record.regions = Address(&piece);
    element = YatBhElement{hostChannel, 0, 1, Address(&record)};
  }
};

// Set, cycle mode, host buffer index, start, abort, then the two requests
// the driver does not serve.
std::string RunBh(YatTransferHandle* handle) {
  if (handle == nullptr) return "nohandle";
  static std::vector<std::unique_ptr<HandBuiltBh>> kept;  // the driver keeps the buffer locked
  kept.push_back(std::make_unique<HandBuiltBh>(handle->slots[0].hostDmaChannel));
  HandBuiltBh& bh = *kept.back();
  std::ostringstream out;
  out << Yat_DMA_Set_BH_Xfer(handle, &bh.header, 1, &bh.element) << ' ' << Yat_DMA_SetCycleMode(handle, 4) << ' '
      << Yat_Transfer_InitHostBufferIndex(handle, 0, handle->slots[0].hostDmaChannel) << ' '
      << Yat_DMA_StartAutoTransfer(handle) << ' ' << Yat_DMA_AbortTransfer(handle) << ' '
      << Yat_DMA_StartTransfer(handle) << ' ' << Yat_DMA_StopTransfer(handle);
  return out.str();
}

// Argument checks that must refuse before anything is sent.
std::string Refusals(YatTransferHandle* handle) {
  if (handle == nullptr) return "nohandle";
  YatBhElement element{};
  YatAlElement al{};
  std::ostringstream out;
  out << Yat_DMA_StartAutoTransfer(nullptr) << ' ' << Yat_DMA_Set_BH_Xfer(handle, nullptr, 0, &element) << ' '
      << Yat_DMA_Set_AL_Xfer(handle, 0, &al) << ' ' << Yat_DMA_Set_LB_Xfer(handle, 1, nullptr) << ' '
      << Yat_DMA_Create_Xfer(handle) << ' ' << Yat_Transfer_ReleaseHandle(nullptr);
  YatTransferHandle empty{};
  empty.board = handle->board;
  out << ' ' << Yat_DMA_AbortTransfer(&empty);
  return out.str();
}

YatInternalBuffer g_buffer{};

std::string CreateBuffer(std::istringstream& in) {
  const std::uint32_t board = Number(in), region = Number(in), bank = Number(in), size = Number(in);
  const QelHwStatus status = Yat_InternalBuffer_Create(board, region, bank, size, &g_buffer);
  std::ostringstream out;
  out << status << ' ' << std::hex << g_buffer.tag << ' ' << std::dec << g_buffer.size;
  return out.str();
}

// Writes a pattern into the buffer and reads it back through the window engine.
std::string WriteAndReadBack() {
  std::vector<std::uint8_t> written(g_buffer.size), read(g_buffer.size);
  for (std::size_t i = 0; i < written.size(); ++i) written[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const QelHwStatus w =
      Yat_Man_Memory_Write(g_buffer.board, g_buffer.onboardAddress, g_buffer.size, Address(written.data()), 0);
  const QelHwStatus r =
      Yat_Man_Memory_Read(g_buffer.board, g_buffer.onboardAddress, g_buffer.size, Address(read.data()), 0);
  return std::to_string(w) + ' ' + std::to_string(r) + ' ' + (written == read ? "same" : "different");
}

// Adds `count` entries (or a null list) and answers the status and the
// first word of every stored entry.
std::string AddRoi(std::istringstream& in) {
  const std::uint32_t list = Number(in), count = Number(in);
  const bool null = Number(in) != 0;
  std::vector<std::uint32_t> entries(std::size_t{count} * 7, 0xABCD);
  std::ostringstream out;
  out << Yat_InternalBuffer_AddRoi(&g_buffer, null ? nullptr : entries.data(), count, list);
  const std::uint8_t* stored = RoiEntries(list == 1 ? g_buffer.roiList1 : g_buffer.roiList2);
  const std::uint32_t storedCount = list == 1 ? g_buffer.roiCount1 : g_buffer.roiCount2;
  for (std::uint32_t i = 0; stored != nullptr && i < storedCount; ++i) {
    std::uint32_t first = 0;
    std::memcpy(&first, stored + 28 * i, 4);
    out << ' ' << first;
  }
  return out.str();
}

// The expansion unit's exports in order; see the test for what each answers.
std::string Expansion() {
  std::uint32_t present = 7, value = 0;
  YatRegisterPairs pairs[3] = {{1, 1}, {2, 2}, {3, 3}};
  YatTransferHandle handle{};
  handle.kernelHandle = 0x5EED;  // what the caller's storage held before
  std::uint8_t description[16] = {};
  std::ostringstream out;
  out << Yat_ExpIpu_IsPresent(0, &present) << ' ' << present << ' ' << Yat_ExpIpu_IsPresent(16, &present) << ' '
      << Yat_ExpIpu_IsPresent(0, nullptr) << ' ' << Yat_ExpIpu_WriteDataReg(0, 4, 5) << ' '
      << Yat_ExpIpu_WriteBlockIndexReg(0, pairs, 3) << ' ' << Yat_ExpIpu_ReadDataReg(0, 4, &value) << ' '
      << Yat_ExpIpu_ReadBlockIndexReg(0, nullptr, 1) << ' ' << Yat_ExpIpu_WriteDataReg(16, 4, 5) << ' '
      << Yat_ExpIpu_CreateHostTransfer(0, &handle, 0) << ' '
      << Yat_ExpIpu_CreateHostTransfer(0, &handle, Address(description)) << ' ' << std::hex << handle.tag
      << std::dec << ' ' << handle.kernelHandle << ' ' << Yat_ExpIpu_StartHostTransfer(&handle, 1, 2) << ' '
      << Yat_ExpIpu_StopHostTransfer(nullptr) << ' ' << Yat_ExpIpu_DestroyHostTransfer(&handle, 0) << ' '
      << Yat_ExpIpu_StartHostTransfer(nullptr, 1, 2);
  return out.str();
}

// The link's exports against a driver that does not serve them.
std::string Link() {
  std::uint16_t mdio = 0xFFFF;
  std::uint32_t value = 0, count = 8;
  std::uint8_t bytes[8] = {};
  std::ostringstream out;
  out << Yat_MDIO_Read(0, 1, 2, 0x30, &mdio) << ' ' << mdio << ' ' << Yat_MDIO_Write(0, 4, 0, 0, 0) << ' '
      << Yat_MDIO_Write(0, 3, 0, 0, 0) << ' ' << Yat_MDIO_Phys_Status(0, 0, 1, &value) << ' '
      << Yat_MDIO_Phys_Status(0, 0, 0, &value) << ' ' << Yat_Man_Reset_HighSpeed_Phy(0, 0, 0) << ' '
      << Yat_Fpga_FE_SetLanes(0, 2, 0) << ' ' << Yat_CLHS_Serial_Write_Port(0, 0, 8, bytes) << ' '
      << Yat_CLHS_Serial_Read_Port(0, 0, &count, bytes) << ' ' << Yat_CLHS_Serial_Connect_Port(0, 0) << ' '
      << Yat_CLHS_Serial_Disconnect_Port(0, 0) << ' ' << Yat_CLHS_Serial_Write_Port(0, 1, 8, bytes) << ' '
      << Yat_MDIO_Read(16, 0, 0, 0, &mdio);
  return out.str();
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return std::to_string(QelHw_Open());
  if (command == "close") return std::to_string(QelHw_Close());
  if (command == "create") return Create(in);
  if (command == "release") return std::to_string(Yat_Transfer_ReleaseHandle(Handle(in)));
  if (command == "valid") return std::to_string(Yat_Transfer_isValidHandle(Handle(in)));
  if (command == "owners") return HostOwners(Number(in), false);
  if (command == "holders") return HostOwners(Number(in), true);
  if (command == "roilists") return RoiLists();
  if (command == "bh") return RunBh(Handle(in));
  if (command == "refusals") return Refusals(Handle(in));
  if (command == "ibcreate") return CreateBuffer(in);
  if (command == "ibrw") return WriteAndReadBack();
  if (command == "ibfree") {
    const QelHwStatus status = Yat_InternalBuffer_Free(&g_buffer);
    return std::to_string(status) + ' ' + std::to_string(g_buffer.tag);
  }
  if (command == "ibinfo") {
    const std::uint32_t width = Number(in), height = Number(in), format = Number(in);
    const QelHwStatus status = Yat_InternalBuffer_SetBufferInfo(&g_buffer, width, height, format);
    return std::to_string(status) + ' ' + std::to_string(g_buffer.roiWidth);
  }
  if (command == "ibroi") return AddRoi(in);
  // The record's bytes, and a record taken over from them: as the server
  // driver's shared memory hands a record from one process to another.
  if (command == "ibexport")
    return helper::Hex(reinterpret_cast<const std::uint8_t*>(&g_buffer), sizeof g_buffer);
  if (command == "ibimport") {
    std::string hex;
    in >> hex;
    const std::vector<std::uint8_t> bytes = helper::Bytes(hex);
    if (bytes.size() != sizeof g_buffer) return "bad";
    std::memcpy(&g_buffer, bytes.data(), sizeof g_buffer);
    return "0";
  }
  if (command == "self") return std::to_string(::getpid());
  if (command == "queue") {
    std::uint8_t message[40] = {};
    std::uint64_t event = 0;
    std::ostringstream out;
    out << Yat_Transfer_ClearMessageQueue(0) << ' ' << Yat_Transfer_GetMessage(0, message, 20) << ' '
        << Yat_Transfer_GetMessage(0, message, 40) << ' ' << Yat_Transfer_GetEventHandle(0, &event) << ' '
        << (event != 0);
    return out.str();
  }
  if (command == "expansion") return Expansion();
  if (command == "ipureset") return std::to_string(Yat_ExpIpu_Reset(Number(in)));
  if (command == "link") return Link();
  if (command == "hscore") {
    const std::uint32_t bits = Number(in), lanes = Number(in), taps = Number(in);
    return std::to_string(Yat_Fpga_FE_Set_HS_Core(0, 0, bits, Number(in), lanes, taps));
  }
  if (command == "reset") {
    const std::uint32_t board = Number(in);
    return std::to_string(Yat_Man_Board_HWReset(board, Number(in)));
  }
  return "unknown";
}

}  // namespace

int main() { return helper::Serve(Run); }
