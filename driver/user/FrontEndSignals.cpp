// Front-end signals: camera status, measured widths, LVDS polarities and
// pixel clock, time slots, board sync, frame-trigger source, strobe
// destination and Power over Camera Link.
#include <chrono>
#include <iterator>
#include <cstring>
#include <thread>

#include "driver/user/EepromI2c.h"
#include "driver/user/FrontEnd.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kRegLinkStatus = 0x0418;      // board
constexpr std::uint32_t kRegLineWidth = 0x0438;       // board, camera 1 at + 8
constexpr std::uint32_t kRegFrameWidth = 0x043C;      // board, camera 1 at + 8
constexpr std::uint32_t kRegPixelClock = 0x0C00;
constexpr std::uint32_t kRegTimeslot = 0x0C04;
constexpr std::uint32_t kRegSyncPolarity = 0x0C08;    // board
constexpr std::uint32_t kRegBoardSync = 0x125C;
constexpr std::uint32_t kRegTriggerSource = 0x6004;   // board
constexpr std::uint32_t kRegStrobeDestination = 0x600C;  // board
constexpr std::uint32_t kRegPocl = 0x10028;           // board, camera 1 at + 4
constexpr std::uint32_t kPoclFault = 1u << 8;
constexpr std::uint32_t kPoclGood = 1u << 11;
constexpr std::uint32_t kPoclGoodPair = (1u << 9) | (1u << 11);
constexpr std::uint32_t kStrobeKindOffset = 87;
constexpr std::uint32_t kVideoFormatOffset = 40;

std::uint32_t Bit(bool on, std::uint32_t bit) { return on ? bit : 0; }

QelHwStatus ReadMeasured(std::uint32_t board, std::uint32_t camera, std::uint32_t reg, std::uint32_t* value) {
  if (value == nullptr || camera >= 2) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_ReadDataReg(board, 0, reg + 8 * camera, value);
}

std::uint32_t LinkStatusFlags(std::uint32_t nibble) {
  std::uint32_t flags = Bit((nibble & 0x2) != 0, 0x11) | Bit((nibble & 0x4) != 0, 0x22);
  if ((nibble & 0x1) != 0) return flags | 0x04;
  return flags & ~0x33u;
}

std::uint32_t FormatWord(const void* windowRecord, std::uint32_t word) {
  std::uint32_t value = 0;
  std::memcpy(&value, static_cast<const std::uint8_t*>(windowRecord) + kVideoFormatOffset + 4 * word, sizeof value);
  return value;
}

// The time-slot word of a video format: time slots, pixel width and tap product.
std::uint32_t TimeslotWord(const void* windowRecord) {
  const std::uint32_t slots = FormatWord(windowRecord, 61);
  if (slots < 2) return 0;
  const std::uint32_t bits = FormatWord(windowRecord, 20);
  std::uint32_t width = (bits & 0xFF) << 4;
  if (FormatWord(windowRecord, 23) == 6) width = bits == 8 ? 24u << 4 : 32u << 4;
  const std::uint32_t taps = FormatWord(windowRecord, 21) * FormatWord(windowRecord, 60);
  return ((slots & 0xF) << 12) | width | (taps & 0xF);
}

constexpr std::uint8_t kSyncSourceBits[7] = {0, 3, 4, 3, 7, 4, 3};

}  // namespace

PARDOW_API QelHwStatus Yat_FPGA_Camera_Status(std::uint32_t board, std::uint32_t camera, std::uint32_t,
                                              std::uint32_t* status) {
  if (status == nullptr || camera >= 2) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t link = 0, power = 0;
  QelHwStatus result = Yat_FPGA_ReadDataReg(board, 0, kRegLinkStatus, &link);
  if (result == QELHW_OK) result = Yat_FPGA_ReadDataReg(board, 0, kRegPocl + 4 * camera, &power);
  if (result != QELHW_OK) return result;
  *status = Bit((power & kPoclFault) != 0, 0x40) | Bit((power & kPoclGoodPair) == kPoclGoodPair, 0x80) |
            LinkStatusFlags((link >> (4 * camera)) & 0xF);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_FPGA_Get_LineWidth(std::uint32_t board, std::uint32_t camera, std::uint32_t* width) {
  return ReadMeasured(board, camera, kRegLineWidth, width);
}

PARDOW_API QelHwStatus Yat_FPGA_Get_FrameWidth(std::uint32_t board, std::uint32_t camera, std::uint32_t* width) {
  return ReadMeasured(board, camera, kRegFrameWidth, width);
}

PARDOW_API QelHwStatus Yat_FPGA_LVDS_SetVertialPulseSyncPolatity(std::uint32_t board, std::uint32_t camera,
                                                                 std::uint32_t polarity, std::uint32_t kind) {
  const std::uint32_t shift = camera == 0 ? 0 : 16;
  const std::uint32_t value = Bit(polarity == 2, 1u << shift) | Bit(kind != 0, 4u << shift);
  return YatFeUpdate(board, 0, kRegSyncPolarity, value, 5u << shift);
}

PARDOW_API QelHwStatus Yat_FPGA_LVDS_SetHorizontalPulseSyncPolatity(std::uint32_t board, std::uint32_t camera,
                                                                    std::uint32_t polarity) {
  const std::uint32_t bit = camera == 0 ? 1u << 1 : 1u << 17;
  return YatFeUpdate(board, 0, kRegSyncPolarity, Bit(polarity == 2, bit), bit);
}

PARDOW_API QelHwStatus Yat_FPGA_LVDS_SetPixelClockPolarity(std::uint32_t board, std::uint32_t camera,
                                                           std::uint32_t edge) {
  std::uint32_t options = 0;
  const QelHwStatus status = YatFeOptionWord(board, &options);
  if (status != QELHW_OK) return status;
  if (!YatFeIsLvdsBoard(options)) return QELHW_OK;
  if (camera != 0) return QELHW_ERROR_NOT_IMPLEMENTED;
  return Yat_FPGA_SetBitReg(board, camera, kRegPixelClock, Bit(edge == 4, 0x100), 0x100);
}

PARDOW_API QelHwStatus Yat_FPGA_SetExtPixelClock(std::uint32_t board, std::uint32_t camera, std::uint32_t frequency) {
  std::uint32_t options = 0;
  const QelHwStatus status = YatFeOptionWord(board, &options);
  if (status != QELHW_OK) return status;
  if (YatFeIsLvdsBoard(options)) {
    const std::uint32_t value = Bit(frequency < 2, 0x1) | Bit(frequency >= 2 && frequency <= 1600000, 0x10);
    return YatFeUpdate(board, 0, kRegTimeslot, value, 0x11);
  }
  if (YatFeIsMediumFullBoard(options)) {
    const std::uint32_t bit = camera == 0 ? 0x2 : 0x4;
    return YatFeUpdate(board, 0, kRegSyncPolarity, Bit(frequency > 39000000, bit), bit);
  }
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_FPGA_SetTimeslot(std::uint32_t board, std::uint32_t camera, const void* windowRecord) {
  if (windowRecord == nullptr) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_WriteDataReg(board, camera, kRegTimeslot, TimeslotWord(windowRecord));
}

PARDOW_API QelHwStatus Yat_FPGA_SetBoardSync(std::uint32_t board, std::uint32_t camera, std::uint32_t enable,
                                             std::uint32_t source) {
  if (source >= std::size(kSyncSourceBits)) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t sync = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(board, camera, kRegBoardSync, &sync);
  if (status != QELHW_OK) return status;
  if (enable != 0) {
    sync = (sync & ~0x8Fu) | kSyncSourceBits[source] | Bit(source == 6, 0x80);
  } else {
    sync = (sync & ~0xCFu) | Bit(source == 1, 0x40);
  }
  return Yat_FPGA_WriteDataReg(board, camera, kRegBoardSync, sync);
}

PARDOW_API QelHwStatus Yat_FPGA_SetFrameTriggerSource(std::uint32_t board, std::uint32_t camera,
                                                      std::uint32_t source) {
  const std::uint32_t bit = camera == 0 ? 0x10 : 0x20;
  return YatFeUpdate(board, 0, kRegTriggerSource, Bit((source & 1) != 0, bit), bit);
}

PARDOW_API QelHwStatus Yat_FPGA_SetStrobeDestination(std::uint32_t board, std::uint32_t camera,
                                                     std::uint32_t destination) {
  if (camera >= 2) return QELHW_ERROR_ARG_INVALID;
  std::uint8_t page[YAT_EEPROM_IMAGE_SIZE] = {};
  std::uint32_t strobe = 0;
  QelHwStatus status = Yat_Eeprom_GetInfo(board, 0, page, sizeof page);
  if (status == QELHW_OK) status = Yat_FPGA_ReadDataReg(board, 0, kRegStrobeDestination, &strobe);
  if (status != QELHW_OK) return status;
  const std::uint32_t shift = 2 * camera;
  std::uint32_t field = (strobe >> shift) & 3;
  if (destination != 0) {
    field = 3;
    const std::uint8_t kind = page[kStrobeKindOffset];
    if (kind == 1) strobe |= 1u << 17;
    else if (kind == 2 || (strobe & (3u << 17)) == 0) strobe |= 1u << 18;
  } else if (field >= 3) {
    field = 0;
  }
  strobe = (strobe & ~(3u << shift)) | (field << shift);
  return Yat_FPGA_WriteDataReg(board, 0, kRegStrobeDestination, strobe);
}

PARDOW_API QelHwStatus Yat_FPGA_PoCLEnable(std::uint32_t board, std::uint32_t camera, std::uint32_t enable) {
  if (camera >= 2) return QELHW_ERROR_ARG_INVALID;
  const std::uint32_t reg = kRegPocl + 4 * camera;
  QelHwStatus status = Yat_FPGA_SetBitReg(board, 0, reg, enable != 0 ? 1 : 0, 1);
  if (status != QELHW_OK || enable == 0) return status;
  // The camera's supply needs this long to settle before power good means anything.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::uint32_t power = 0;
  status = Yat_FPGA_ReadDataReg(board, 0, reg, &power);
  if (status != QELHW_OK || (power & kPoclGood) != 0) return status;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: PoCL Status = 0x%08x", kPardowLabel, power);
  Yat_FPGA_SetBitReg(board, 0, reg, 0, 1);
  return (power & kPoclFault) != 0 ? YAT_FE_POCL_FAULT : YAT_FE_POCL_NO_POWER;
}
