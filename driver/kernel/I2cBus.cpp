#include "driver/kernel/I2cBus.h"

#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/Timing.h"
#include "platform/kernel/registers.h"

namespace {

void PhaseDelay() { BusyWaitNanoseconds(kYatI2cPhaseDelayNs); }
void PollDelay() { BusyWaitNanoseconds(kYatI2cPollDelayNs); }

bool ReadLines(YatBoardExtension* board, std::uint32_t* lines) {
  return Yat_ReadReg(board, kYatI2cRegister, lines) == QELHW_OK;
}

// Drives (clock, data): 1 releases a line, 0 pulls it low.
bool SetLines(YatBoardExtension* board, bool clock, bool data) {
  std::uint32_t lines = 0;
  if (!ReadLines(board, &lines)) return false;
  const std::uint32_t value =
      (lines & kYatI2cKeptBits) | (clock ? kYatI2cClockRelease : 0) | (data ? kYatI2cDataRelease : 0);
  const bool written = Yat_WriteReg(board, kYatI2cRegister, value) == QELHW_OK;
  plat::kernel::memory_barrier();
  return written;
}

// Polls until every line of `wanted` reads high; a device may stretch the
// clock. A register that cannot be read ends the wait at once (each failed
// access is logged by the register access itself).
bool WaitHigh(YatBoardExtension* board, std::uint32_t wanted) {
  for (std::uint32_t poll = 0; poll < kYatI2cPollLimit; ++poll) {
    std::uint32_t lines = 0;
    if (!ReadLines(board, &lines)) return false;
    if ((lines & wanted) == wanted) return true;
    PollDelay();
  }
  return false;
}

bool WaitClock(YatBoardExtension* board) {
  if (WaitHigh(board, kYatI2cClockLevel)) return true;
  STAVRO_LOG(kLogError, "%s: I2C_Out: Clk is held low by a device.");
  return false;
}

// One step: set the lines, wait for the clock when it was released, then the phase delay.
bool Step(YatBoardExtension* board, bool clock, bool data) {
  bool ok = SetLines(board, clock, data);
  if (ok && clock) ok = WaitClock(board);
  PhaseDelay();
  return ok;
}

bool ReadDataLine(YatBoardExtension* board, bool* level) {
  std::uint32_t lines = 0;
  if (!ReadLines(board, &lines)) return false;
  *level = (lines & kYatI2cDataLevel) != 0;
  return true;
}

// One clock pulse with the data line as given, sampling the data line while the clock is high.
bool ClockBit(YatBoardExtension* board, bool data, bool* sampled) {
  if (!Step(board, false, data)) return false;
  bool ok = SetLines(board, true, data) && WaitClock(board);
  if (ok && sampled != nullptr) ok = ReadDataLine(board, sampled);
  PhaseDelay();
  return ok && Step(board, false, data);
}

}  // namespace

bool I2C_StartService(YatBoardExtension* board) {
  if (!Step(board, true, true)) return false;
  if (!WaitHigh(board, kYatI2cClockLevel | kYatI2cDataLevel)) {
    STAVRO_LOG(kLogError, "%s: I2C_StartService: Clk is held low by a device.");
    return false;
  }
  // The start condition: data falls while the clock is high.
  return Step(board, false, true) && Step(board, true, true) && Step(board, true, false) && Step(board, false, false);
}

bool I2C_StopService(YatBoardExtension* board) {
  // The stop condition: data rises while the clock is high.
  return Step(board, false, false) && Step(board, true, false) && Step(board, true, true);
}

bool I2C_OutByte(YatBoardExtension* board, std::uint8_t byte) {
  for (int bit = 7; bit >= 0; --bit)
    if (!ClockBit(board, ((byte >> bit) & 1) != 0, nullptr)) return false;
  bool released = true;  // the device acknowledges by pulling the data line low
  return ClockBit(board, true, &released) && !released;
}

bool I2C_InByte(YatBoardExtension* board, std::uint8_t* byte) {
  std::uint8_t value = 0;
  for (int bit = 0; bit < 8; ++bit) {
    bool level = false;
    if (!ClockBit(board, true, &level)) return false;
    value = static_cast<std::uint8_t>(value << 1 | (level ? 1 : 0));
  }
  *byte = value;
  return true;
}

bool I2C_AckOut(YatBoardExtension* board) { return ClockBit(board, false, nullptr); }

bool I2C_NoAckOut(YatBoardExtension* board) { return ClockBit(board, true, nullptr); }

bool I2C_ResetService(YatBoardExtension* board) {
  bool clockOk = Step(board, true, true);
  std::uint32_t highPasses = 0;
  for (std::uint32_t pass = 0; pass < kYatI2cPollLimit; ++pass) {
    if (clockOk) clockOk = Step(board, false, true) && Step(board, true, true);
    std::uint32_t lines = 0;
    if (!ReadLines(board, &lines)) break;
    const std::uint32_t both = kYatI2cClockLevel | kYatI2cDataLevel;
    if ((lines & both) == both && ++highPasses >= kYatI2cResetHighPasses) return true;
    PollDelay();
  }
  STAVRO_LOG(kLogError, "%s: I2C_ResetService: Clk is held low by a device.");
  return false;
}
