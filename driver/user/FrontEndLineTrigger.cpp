// The line trigger: the line-rate timer, a shaft encoder or an external
// trigger line.
#include "driver/user/FrontEnd.h"

namespace {

constexpr std::uint32_t kRegTimeBase = 0x3044;
constexpr std::uint32_t kRegLineControl = 0x1068;
constexpr std::uint32_t kRegLineInput = 0x1100;
constexpr std::uint32_t kRegLineCounts = 0x1110;
constexpr std::uint32_t kTimerOn = 1u << 16;
constexpr std::uint32_t kCountsMask = 0x00FF00FF;
constexpr std::uint32_t kEncoderInputKind = 14;

std::uint32_t Bit(bool on, std::uint32_t bit) { return on ? bit : 0; }

struct LineWords {
  std::uint32_t timeBase, control, input, counts, routing;
};

std::uint32_t TimerBits(std::uint32_t periodNs) {
  if (periodNs / 1000 < 4096) return ((periodNs / 1000) << 20) | (1u << 17);
  if (periodNs / 1000000 < 4096) return ((periodNs / 1000000) << 20) | (2u << 17);
  return 0;
}

// The encoder's divider counts main ticks when they are 20 ns ones, else tenths of them.
std::uint32_t EncoderBits(std::uint32_t timeBase, std::uint32_t divider) {
  const bool fastTicks = ((timeBase >> 4) & 3) == 0;
  if (fastTicks && divider >= 1 && divider <= 4095) return 0x1 | 0x4 | ((divider - 1) << 4);
  const std::uint32_t tenths = divider / 10;
  const std::uint32_t field = tenths >= 4096 ? 0xFFF : tenths == 0 ? 0 : tenths - 1;
  return 0x1 | (field << 4);
}

void Compose(const YatLineTriggerSettings& t, LineWords* w) {
  w->control = (w->control & ~0x7FFFFu & ~0xFFF00000u) | Bit(t.timerEnabled != 0, kTimerOn);
  if (t.timerEnabled != 0) w->control |= TimerBits(t.timerPeriodNs);
  if (t.encoder != 0) {
    w->control |= EncoderBits(w->timeBase, t.encoderDivider);
    w->counts &= ~kCountsMask;
    return;
  }
  if (t.external != 0) {
    const bool encoderInput = t.inputKinds[0] == kEncoderInputKind || t.inputKinds[1] == kEncoderInputKind;
    w->control |= encoderInput ? 2 : 0;
    w->input = (w->input & ~((1u << 24) | (3u << 30) | (1u << 22))) | Bit(t.triggerKind == 5, 1u << 24) |
               Bit(t.inversion == 0, 1u << 31) | Bit(t.inversion != 0, 1u << 30) | Bit(t.edge != 0, 1u << 22);
    w->counts = (w->counts & ~kCountsMask) | ((t.firstCount + 1) & 0xFF) | ((t.secondCount & 0xFF) << 16);
  }
  w->routing = (w->routing & ~0x1F8u) | ((t.inputKinds[0] & 7) << 3) | ((t.inputKinds[1] & 7) << 6);
}

}  // namespace

QelHwStatus Yat_FPGA_SetLineTrigger(YatAcqHandle* handle, const YatLineTriggerSettings& trigger) {
  const std::uint32_t b = handle->board, c = handle->camera;
  LineWords w{};
  QelHwStatus status = Yat_FPGA_ReadDataReg(b, c, kRegTimeBase, &w.timeBase);
  if (status == QELHW_OK) status = Yat_FPGA_ReadDataReg(b, c, kRegLineControl, &w.control);
  if (status == QELHW_OK) status = Yat_FPGA_ReadDataReg(b, c, kRegLineInput, &w.input);
  if (status == QELHW_OK) status = Yat_FPGA_ReadDataReg(b, c, kRegLineCounts, &w.counts);
  if (status == QELHW_OK) status = Yat_FPGA_ReadDataReg(b, c, YAT_FE_REG_ROUTING, &w.routing);
  if (status != QELHW_OK) return status;
  Compose(trigger, &w);
  status = Yat_FPGA_WriteDataReg(b, c, kRegLineControl, w.control);
  if (status == QELHW_OK) status = Yat_FPGA_WriteDataReg(b, c, kRegLineInput, w.input);
  if (status == QELHW_OK) status = Yat_FPGA_WriteDataReg(b, c, kRegLineCounts, w.counts);
  if (status == QELHW_OK) status = Yat_FPGA_WriteDataReg(b, c, YAT_FE_REG_ROUTING, w.routing);
  return status;
}
