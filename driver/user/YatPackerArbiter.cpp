// Programming the packer and swapping the board's arbitration lists. The
// hardware runs on the shadow list while the main list is rewritten, so a
// camera that grabs while another's format changes never sees half a list.
#include <chrono>
#include <thread>
#include <vector>

#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatPackerArbiter.h"
#include "driver/user/YatTransfer.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kSwapRequest = 1;
constexpr int kSwapPolls = 100;
constexpr std::uint32_t kListWords = 2 * YAT_PACKER_MAX_ENTRIES;

struct ListEntry {
  std::uint32_t control;
  std::uint32_t selector;
};

bool ValidHandle(const YatAcqHandle* handle) {
  return handle != nullptr && handle->board < YAT_MAX_BOARD && handle->camera < YAT_PACKER_SLOTS_PER_BOARD;
}

PackerArbitration* Slots(const YatAcqHandle* handle) {
  YatSharedData* shared = Yat_GetSharedData();
  return shared == nullptr ? nullptr : shared->packers[handle->board];
}

// Replaces the bits of `mask` only: the rest of a packer register belongs to the other camera.
QelHwStatus MaskedWrite(std::uint32_t board, std::uint32_t window, std::uint32_t reg, std::uint32_t value,
                        std::uint32_t mask) {
  std::uint32_t current = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(board, window, reg, &current);
  if (status != QELHW_OK) return status;
  return Yat_FPGA_WriteDataReg(board, window, reg, (current & ~mask) | (value & mask));
}

std::uint32_t Window(const YatPackerTarget& target) { return target.perCameraRegisters ? target.camera : 0; }

// Every active slot in slot order; the list ends on slot 1 when it is active.
std::vector<ListEntry> BoardList(const PackerArbitration* slots) {
  std::vector<ListEntry> list;
  const std::uint32_t lastSlot = slots[1].active != 0 ? 1 : 0;
  for (std::uint32_t slot = 0; slot < YAT_PACKER_SLOTS_PER_BOARD; ++slot) {
    if (slots[slot].active == 0) continue;
    const std::uint32_t count = std::min(slots[slot].entryCount, YAT_PACKER_MAX_ENTRIES);
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint32_t control = slots[slot].entries[i].control & ~YAT_ARBITER_LAST_ENTRY;
      if (slot == lastSlot && i + 1 == count) control |= YAT_ARBITER_LAST_ENTRY;
      list.push_back({control, slots[slot].entries[i].selector});
    }
  }
  return list;
}

std::vector<ListEntry> CameraList(const PackerArbitration& slot, std::uint32_t count) {
  std::vector<ListEntry> list;
  count = std::min(count, YAT_PACKER_MAX_ENTRIES);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t control = slot.entries[i].control & ~YAT_ARBITER_LAST_ENTRY;
    if (i + 1 == count) control |= YAT_ARBITER_LAST_ENTRY;
    list.push_back({control, slot.entries[i].selector});
  }
  return list;
}

QelHwStatus WriteList(const YatAcqHandle* handle, const YatPackerTarget& target, std::uint32_t base,
                      std::uint32_t count) {
  const PackerArbitration* slots = Slots(handle);
  const std::vector<ListEntry> list =
      target.perCameraRegisters ? CameraList(slots[handle->camera], count) : BoardList(slots);
  for (std::uint32_t n = 0; n < YAT_PACKER_MAX_ENTRIES; ++n) {
    const ListEntry entry = n < list.size() ? list[n] : ListEntry{0, 0};
    QelHwStatus status = Yat_FPGA_WriteDataReg(handle->board, Window(target), base + 8 * n, entry.control);
    if (status == QELHW_OK) status = Yat_FPGA_WriteDataReg(handle->board, Window(target), base + 8 * n + 4, entry.selector);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus Swap(const YatAcqHandle* handle, const YatPackerTarget& target, bool request) {
  const std::uint32_t mask = Yat_Packer_RegisterMask(YAT_ARBITER_SWAP, 0, target.camera, target.acqChannels);
  const std::uint32_t value = request ? kSwapRequest : 0;
  QelHwStatus status = MaskedWrite(handle->board, Window(target), YAT_ARBITER_SWAP, value, mask & kSwapRequest);
  if (status != QELHW_OK) return status;
  for (int poll = 0; poll < kSwapPolls; ++poll) {
    std::uint32_t current = 0;
    status = Yat_FPGA_ReadDataReg(handle->board, Window(target), YAT_ARBITER_SWAP, &current);
    if (status == QELHW_OK && (current & kSwapRequest) == value) return QELHW_OK;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s,DigitalWriteArbitrator: Timeout", kPardowLabel);
  return QELHW_ERROR_ARG_INVALID;
}

QelHwStatus ClaimChannels(const YatAcqHandle* handle, const YatPackerFormat& f, std::vector<std::uint32_t>* channels) {
  Yat_FreeAcqDmaNumber(handle->board, handle->camera);
  std::uint32_t count = std::max<std::uint32_t>(f.taps, 1) * std::max<std::uint32_t>(f.tapMultiplier, 1) *
                        (f.modeWord == 1 ? 2 : 1);
  if (handle->type == 0x64000011 && f.modeWord != 1) count *= 2;
  for (std::uint32_t n = 0; n < count; ++n) {
    std::uint32_t channel = 0;
    const QelHwStatus status = Yat_AllocAcqDmaNumber(handle->board, handle->camera, &channel, 0);
    if (status != QELHW_OK) return status;
    channels->push_back(channel);
  }
  return QELHW_OK;
}

}  // namespace

QelHwStatus Yat_FPGA_Packer_ComputeArbitrator(YatAcqHandle* handle, const YatPackerFormat* format,
                                              PackerArbitration* record, const YatPackerPlan& plan) {
  if (!ValidHandle(handle) || format == nullptr || record == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::vector<std::uint32_t> channels;
  const QelHwStatus status = ClaimChannels(handle, *format, &channels);
  if (status != QELHW_OK) return status;
  return Yat_Packer_Arbitration(Yat_Packer_TargetOf(handle), plan, channels, record);
}

QelHwStatus DigitalWriteArbitrator(YatAcqHandle* handle, const PackerArbitration* record) {
  if (!ValidHandle(handle) || record == nullptr || Slots(handle) == nullptr) return QELHW_ERROR_ARG_INVALID;
  const PackerArbitration r = *record;
  const YatPackerTarget target = Yat_Packer_TargetOf(handle);
  QelHwStatus status = WriteList(handle, target, YAT_ARBITER_SHADOW_LIST, r.entryCount);
  if (status == QELHW_OK) status = Swap(handle, target, true);
  if (status != QELHW_OK) return status;
  PackerArbitration& slot = Slots(handle)[handle->camera];
  slot.entryCount = r.entryCount;
  std::copy(std::begin(r.entries), std::end(r.entries), std::begin(slot.entries));
  status = WriteList(handle, target, YAT_ARBITER_MAIN_LIST, r.entryCount);
  if (status != QELHW_OK) return status;
  return Swap(handle, target, false);
}

QelHwStatus Yat_FPGA_Packer_SetActive(YatAcqHandle* handle, std::uint32_t active) {
  if (!ValidHandle(handle) || Slots(handle) == nullptr) return QELHW_ERROR_ARG_INVALID;
  PackerArbitration& slot = Slots(handle)[handle->camera];
  slot.active = active != 0 ? 1 : 0;
  const PackerArbitration record = slot;
  const QelHwStatus status = DigitalWriteArbitrator(handle, &record);
  if (active == 0) Yat_FreeAcqDmaNumber(handle->board, handle->camera);
  return status;
}

QelHwStatus Yat_FPGA_Packer_SetFormat(YatAcqHandle* handle, const YatPackerFormat* format, std::uint32_t code) {
  if (!ValidHandle(handle) || format == nullptr) return QELHW_ERROR_ARG_INVALID;
  const YatPackerTarget target = Yat_Packer_TargetOf(handle);
  YatPackerPlan plan;
  QelHwStatus status = Yat_Packer_Plan(target, *format, code, &plan);
  std::uint32_t entries = 0;
  if (status == QELHW_OK) status = Yat_Packer_EntryCount(plan.format, plan.code, &entries);
  if (status != QELHW_OK) return status;
  for (const YatPackerWrite& w : plan.writes) {
    status = MaskedWrite(handle->board, w.window, w.reg, w.value, w.mask);
    if (status != QELHW_OK) return status;
  }
  PackerArbitration record = Slots(handle) != nullptr ? Slots(handle)[handle->camera] : PackerArbitration{};
  status = Yat_FPGA_Packer_ComputeArbitrator(handle, format, &record, plan);
  if (status != QELHW_OK) return status;
  return DigitalWriteArbitrator(handle, &record);
}
