// The automatic internal buffers of an acquisition that feeds host buffers:
// how many fit the board's memory beside a reserve, made whole or, when whole
// frames do not fit, as strips of the frame; then a pair into each.
#include <algorithm>
#include <cstring>
#include <memory>

#include "driver/user/Pardow.h"
#include "driver/user/YatBoardManager.h"
#include "source/QelBuff/YatBoardBuffers.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYat.h"
#include "source/QelXfer/XferYatBoardData.h"
#include "source/QelXfer/XferYatSizing.h"
#include "source/QelXfer/XferYatStages.h"

namespace {

constexpr std::uint32_t kColourBit = 0x40000000;

struct Plan {
  std::uint32_t board;
  std::uint32_t connector;
  std::int64_t memoryLeft;
  XferAcqGeometry acq;
  XferStageGeometry geometry;
  std::uint32_t f1;          // 2 for 8-bit pixels under the flat-field correction
  std::uint32_t f2;
  std::uint32_t count;
  std::uint32_t mirrored;
  std::uint32_t storedMode;  // of the selected flat-field buffer, in mode 1
};

constexpr std::uint32_t kCountedCoefficients = 2;  // group value 0x1A0004: one coefficient buffer a frame

// The count of a first attempt: 2, or with the correction on and the
// coefficient buffers counted through, as many as exist one after the other.
std::uint32_t FirstCount(const XferBoardData& data, std::uint32_t coefficientUse) {
  if (data.flatFieldOn == 0 || coefficientUse != kCountedCoefficients) return 2;
  return std::max(data.internalBuffers, 2u);
}

// What the board's own data leaves of the memory, and the factors it brings.
QelStatus TakeBoardData(const QelHandle* source, const XferAcqDevice& device, std::uint32_t coefficientUse,
                        XferBoardState& board, Plan* plan) {
  XferBoardData data{};
  if (const QelStatus status = XferYatBoardDataOf(source, device, plan->acq, plan->geometry, &data); status != QEL_OK)
    return status;
  plan->count = board.bufferCount != 0 ? board.bufferCount : FirstCount(data, coefficientUse);
  board.bufferCount = plan->count;
  plan->memoryLeft = XferTakeRoom(XferTakeRoom(plan->memoryLeft, data.coefficientBytes), data.lutBytes);
  plan->f1 = data.flatFieldOn != 0 && plan->acq.bits == 8 ? 2 : 1;
  plan->storedMode = data.storedMode;
  return QEL_OK;
}

QelStatus MemoryLeft(std::uint32_t board, std::int64_t* left) {
  std::uint32_t megabytes = 0, cameras = 0;
  if (const QelHwStatus s = Yat_Man_GetOnboardMemorySize(board, 0, &megabytes); s != QELHW_OK)
    return TranslateStatus(s);
  if (const QelHwStatus s = Yat_Man_GetMaxCamera(board, &cameras); s != QELHW_OK) return TranslateStatus(s);
  *left = (std::int64_t{megabytes} << 20) / (cameras == 0 ? 1 : cameras);
  return QEL_OK;
}

QelStatus ReadGeometry(const QelHandle* source, XferAcqGeometry* acq) {
  const std::pair<std::uint32_t, std::uint32_t*> values[] = {
      {0x30004, &acq->mode},     {0xA0004, &acq->width},      {0xC0004, &acq->lines},
      {0x8140004, &acq->frameLines}, {0x8280004, &acq->format}, {0x310004, &acq->multiplier},
      {0x4, &acq->frames},       {0x50004, &acq->depth},      {0x60004, &acq->bits},
      {0x320004, &acq->layout}};
  for (const auto& [id, value] : values)
    if (const QelStatus status = XferSrcValue(source, id, value); status != QEL_OK) return status;
  return QEL_OK;
}

QelStatus MakePlan(XferObject* xfer, const QelHandle* source, std::uint32_t coefficientUse, Plan* plan) {
  XferAcqDevice device{};
  if (const QelStatus status = XferAcqDeviceOf(source, &device); status != QEL_OK) return status;
  plan->board = device.board;
  plan->connector = device.connector;
  if (const QelStatus status = MemoryLeft(device.board, &plan->memoryLeft); status != QEL_OK) return status;
  if (const QelStatus status = ReadGeometry(source, &plan->acq); status != QEL_OK) return status;
  std::uint32_t bus = 0;
  if (const QelHwStatus s = Yat_Man_GetInternalBusWidth(device.board, &bus); s != QELHW_OK) return TranslateStatus(s);
  if (const QelStatus status = XferStageGeometryOf(plan->acq, bus, &plan->geometry); status != QEL_OK) return status;
  if (const QelStatus status = TakeBoardData(source, device, coefficientUse, xfer->record->board, plan);
      status != QEL_OK)
    return status;
  std::uint32_t output = 0, busBits = 0, mirror = 0;
  XferSrcValue(source, 0x90004, &output);
  XferSrcValue(source, 0x8680004, &busBits);
  XferSrcValue(source, 0x8570004, &mirror);
  plan->f2 = (output == 8 || output == 16) && (plan->acq.format & kColourBit) != 0 && plan->acq.depth == 16 &&
                     busBits == 32
                 ? 2
                 : 1;
  plan->mirrored = mirror & 1u;
  return QEL_OK;
}

// The stage's three arrays, cleared.
QelStatus Allocate(InternalBufferStage& stage, std::uint32_t count) {
  stage.handles = new (std::nothrow) QelHandle*[count]();
  stage.records = new (std::nothrow) YatInternalBuffer[count]();
  stage.elements = new (std::nothrow) YatLocalImage[count]();
  if (stage.handles == nullptr || stage.records == nullptr || stage.elements == nullptr) {
    XferYatLog(__LINE__, "XferYatCheckAcqToHost: = 0x%x", kXferOutOfMemory);
    return kXferOutOfMemory;
  }
  for (std::uint32_t n = 0; n < count; ++n) stage.elements[n].recordSize = kXferAcqElementSize;
  stage.count = count;
  return QEL_OK;
}

void FreeArrays(InternalBufferStage& stage) {
  delete[] stage.handles;
  delete[] stage.records;
  delete[] stage.elements;
  stage.handles = nullptr;
  stage.records = nullptr;
  stage.elements = nullptr;
  stage.count = 0;
}

// The buffers made so far, the failed one's place included, in the order made.
void FreeMade(InternalBufferStage& stage, std::uint32_t made) {
  for (std::uint32_t n = 0; n < made; ++n) {
    if (stage.handles[n] == nullptr) continue;
    if (const QelStatus status = YatBoardBufferFree(stage.handles[n]); status != QEL_OK)
      XferYatLog(__LINE__, "BufferFree: = 0x%x", status);
    stage.handles[n] = nullptr;
  }
}

// A reserve block of `bytes` held in on-board memory while the buffers are made.
class Reserve {
 public:
  Reserve(std::uint32_t board, std::uint32_t connector, std::uint64_t bytes) {
    if (bytes == 0) return;
    ok_ = bytes <= 0xFFFFFFFFu &&
          Yat_InternalBuffer_Create(board, connector, 0, static_cast<std::uint32_t>(bytes), &record_) == QELHW_OK;
    held_ = ok_;
  }
  ~Reserve() {
    if (held_) Yat_InternalBuffer_Free(&record_);
  }
  Reserve(const Reserve&) = delete;
  Reserve& operator=(const Reserve&) = delete;
  bool ok() const { return ok_; }

 private:
  YatInternalBuffer record_{};
  bool ok_ = true;
  bool held_ = false;
};

QelStatus MakeBuffers(InternalBufferStage& stage, XferBoardSlot& slot, const Plan& plan, std::uint32_t lines) {
  const YatStripShape strip{lines == plan.geometry.height ? 0u : plan.geometry.height, 1, plan.mirrored};
  for (std::uint32_t n = 0; n < stage.count; ++n) {
    QelStatus status = YatBoardBufferCreate(plan.board, plan.geometry.width, lines * plan.f2, plan.geometry.format,
                                            strip, &stage.records[n], &stage.handles[n]);
    if (status == QEL_OK && slot.lineAlignment != 0 && plan.acq.frameLines % slot.lineAlignment != 0)
      status = 0x400528;
    if (status != QEL_OK) {
      FreeMade(stage, n + 1);
      return status;
    }
  }
  stage.lines = lines;
  return QEL_OK;
}

QelStatus MakeStrips(XferObject* xfer, InternalBufferStage& stage, XferBoardSlot& slot, const Plan& plan,
                     std::uint32_t reservePercent) {
  XferStripChoice choice{};
  if (const QelStatus status = XferChooseStrips(plan.geometry, stage.count, plan.f1, plan.f2, reservePercent,
                                                plan.memoryLeft, &choice);
      status != QEL_OK)
    return status;
  std::uint32_t layout = 0;
  XferObjectGetPrm(xfer, 0x200004, &layout);
  slot.lineAlignment = layout == 2 ? 1 : 2;
  const Reserve reserve(plan.board, plan.connector, choice.reserve);
  if (!reserve.ok()) return kXferOutOfMemory;
  const QelStatus status = MakeBuffers(stage, slot, plan, choice.lines);
  if (status == QEL_OK) stage.strips = (plan.geometry.height + choice.lines - 1) / choice.lines;
  return status;
}

// Whole frames; a failure in mode 2 falls back to strips.
QelStatus MakeFrames(XferObject* xfer, InternalBufferStage& stage, XferBoardSlot& slot, const Plan& plan,
                     std::uint32_t reservePercent, std::uint64_t total) {
  QelStatus status = QEL_OK;
  {
    const Reserve reserve(plan.board, plan.connector, XferFrameReserve(reservePercent, total, plan.memoryLeft));
    if (!reserve.ok()) {
      XferYatLog(__LINE__, "XferYatCheckAcqToHost: = 0x%x", kXferOutOfMemory);
      return kXferOutOfMemory;
    }
    status = MakeBuffers(stage, slot, plan, plan.geometry.height);
  }
  if (status == QEL_OK) return QEL_OK;
  if (plan.acq.mode == 2) return MakeStrips(xfer, stage, slot, plan, reservePercent);
  if (plan.acq.mode == 1 && stage.count > 2) {
    const std::uint32_t lower = std::max(stage.count * 5 / 100, 1u);
    xfer->record->board.bufferCount = stage.count - lower;
  }
  return status;
}

// Mode 1 may not cut its frames into strips, nor coefficients made for
// another way of acquiring.
bool Mode1WithoutRoom(const Plan& plan, std::uint64_t total) {
  constexpr std::uint32_t kStoredModesWithoutStrips = 0x5;
  if (plan.acq.mode != 1 || static_cast<std::int64_t>(total) <= plan.memoryLeft) return false;
  return plan.acq.frames > 1 || (plan.storedMode & kStoredModesWithoutStrips) != 0 ||
         (plan.acq.frames == 1 && plan.acq.frameLines != plan.geometry.height);
}

QelStatus AddPairs(XferObject* xfer, XferSource* source, const InternalBufferStage& stage) {
  const QelHandle* acquisition = XferSourceHandleOf(source);
  const QelHandle copy = *acquisition;  // the source may be rebuilt by the adds
  XferRecord& record = *xfer->record;
  const std::uint32_t connected = record.connected;
  record.connected = 0;
  QelStatus status = QEL_OK;
  for (std::uint32_t n = 0; n < stage.count && status == QEL_OK; ++n)
    status = XferObjectAddPair(xfer, &copy, 0, stage.handles[n], 0, nullptr);
  record.connected = connected;
  return status;
}

bool FeedsOnlyHost(const XferSource& source) {
  for (const XferDestinationGroup* group = source.groups; group != nullptr; group = group->next)
    if (group->first != nullptr && group->first->kind != 0) return false;
  return true;
}

// How the host group uses the coefficient buffers (its value 0x1A0004).
std::uint32_t CoefficientUse(const XferSource& source) {
  return source.groups != nullptr ? source.groups->prm[0x1A] : 0;
}

}  // namespace

QelStatus XferYatCheckAcqToHost(XferObject* xfer, XferSource* source, std::uint32_t reservePercent) {
  if (!FeedsOnlyHost(*source)) return QEL_OK;
  Plan plan{};
  if (const QelStatus status = MakePlan(xfer, XferSourceHandleOf(source), CoefficientUse(*source), &plan);
      status != QEL_OK)
    return status;
  XferBoardState& board = xfer->record->board;
  InternalBufferStage& stage = board.stages[plan.connector];
  XferBoardSlot& slot = board.slots[plan.connector];
  if (stage.count != 0) return QEL_OK;
  const std::uint64_t one = XferStageBytes(plan.geometry, plan.f1, plan.f2);
  const std::uint32_t count = XferFitCount(plan.count, reservePercent, plan.memoryLeft, one);
  const std::uint64_t total = count * one;
  if (Mode1WithoutRoom(plan, total)) return kXferOutOfMemory;
  board.bufferCount = count;
  if (const QelStatus status = Allocate(stage, count); status != QEL_OK) {
    FreeArrays(stage);
    return status;
  }
  const std::uint64_t reserve = XferFrameReserve(reservePercent, total, plan.memoryLeft);
  const bool frames = static_cast<std::int64_t>(reserve + total) <= plan.memoryLeft || count > 2 ||
                      plan.memoryLeft <= 0;
  const QelStatus status = frames ? MakeFrames(xfer, stage, slot, plan, reservePercent, total)
                                  : MakeStrips(xfer, stage, slot, plan, reservePercent);
  if (status != QEL_OK) {
    FreeArrays(stage);
    return status;
  }
  stage.source = source;
  return AddPairs(xfer, source, stage);
}
