// A process that serves as the board's server would: it starts the
// acquisition devices (source/QelAcq/tests/acq_module_harness.h) and the
// transfer module, makes host buffers and connects transfers from a device to
// them through the transfer manager, one command per line:
//   start                        -> started <status>
//   open B S | applyall B S      -> <status>: the device opened by this process (its input taken), its
//                                   parameters applied
//   poke B S I V                 -> 0: a parameter's first word written, nothing applied
//   set B S I V                  -> <status>: the set road of parameter I
//   connected B S                -> the device's transfer-connected flag
//   coefficients B S             -> <status> <number>: a flat-field coefficient buffer made for the device
//   nocoefficients B S N         -> <status>: coefficient buffer N freed
//   level B S ID V               -> <status>: an acquisition-level parameter set (0x70C0004, 0x70D0004, ...)
//   coefficientimages B S N W H  -> <status>: offset (x + 2y) % 24 and gain 64 + (3x + y) % 160 written into
//                                   coefficient buffer N (W x H 8-bit images)
//   coefficientaddress B S N     -> the on-board address of coefficient buffer N
//   onboard B S                  -> <status> <number>: an onboard LUT buffer made for the device's connector
//   onboardlut B S N             -> <status>: an 8-bit LUT of 256 entries (7i + 3) % 256 written into onboard
//                                   buffer N (16 bits an entry on the board)
//   onboardaddress B S N         -> the on-board address of onboard buffer N of the device's connector
//   host KIND W H N              -> host <status>: N more 8-bit host buffers of memory kind KIND
//   xfer B S                     -> <status>: a transfer from the device to the host buffers made since the
//                                   last one (it becomes the current transfer)
//   connect | disconnect | release -> <status>: of the current transfer
//   xferprm ID V                 -> <status>: a parameter of the current transfer's current group or pair
//   next K                       -> <status>: host buffer K becomes the next one filled (add destination)
//   stage                        -> stage <internal buffers> <lines of each> <strips of a frame>
//   inserts                      -> inserts <flag word> <insert index of each host element> <on-board address
//                                   that insert list A names at the first element's index> (of the first slot
//                                   with host elements; "nolist" when the board library got no list A)
//   camerainserts                -> camerainserts <flag word> <camera insert index of each host element>
//                                   <on-board address that the camera insert list names at the first element's
//                                   index> (likewise; "nolist" when the board library got no camera insert list)
//   nframes B S N | abort B S    -> <status>: the device's camera grabs N frames (the board library's call)
//   video B S                    -> <status>: the device's camera grabs until aborted
//   image N                      -> host buffer N's bytes as hex
//   matrix B | free B R | stages B -> the connection matrix, the allocator's largest block, the driver's stages
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/YatAcq.h"
#include "driver/user/tests/helper_support.h"
#include "firmware/win32/QelMemBinding.h"
#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqDeviceRecord.h"
#include "source/QelAcq/AcqOthStruct.h"
#include "source/QelAcq/tests/acq_apply_roads.h"
#include "source/QelAcq/tests/acq_module_harness.h"
#include "source/QelBuff/BufferModule.h"
#include "source/QelBuff/YatBoardBuffers.h"
#include "source/QelLut/LutObject.h"
#include "source/QelXfer/XferConnMatrix.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferShared.h"
#include "source/QelXfer/YatAcqBufferKit.h"
#include "source/QelXfer/tests/xfer_probe.h"

namespace {

std::vector<QelHandle*> g_hosts;
std::size_t g_firstHost = 0;  // of the current transfer
QelHandle g_source{};          // of the current transfer
std::vector<QelHandle*> g_xfers;
QelHandle* g_xfer = nullptr;   // the current transfer

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

AcqDeviceRecord* RecordOf(std::uint32_t board, std::uint32_t slot) {
  return AcqSharedRecord(AcqGetSharedTables(), board, slot);
}

std::string Start() {
  LoadQelMem("Quillet.DLL");
  AcqHarnessStartModule();
  std::uint32_t boards = 0;
  Yat_Man_GetNbBoard(&boards);
  return "started " + Hex(XferInit(boards));
}

std::string Register(std::uint32_t board, std::uint32_t slot, std::uint32_t open) {
  std::uint32_t conflict = 0;
  return Hex(AcqOpenDevice(board, slot, open, &conflict));
}

std::string Connected(std::uint32_t board, std::uint32_t slot) {
  std::uint8_t flag = 0xFF;
  const QelStatus status = AcqGetXferConnected(board, slot, &flag);
  return status == QEL_OK ? std::to_string(flag) : Hex(status);
}

std::string Poke(std::uint32_t board, std::uint32_t slot, std::uint32_t index, std::uint32_t value) {
  AcqDeviceRecord* record = RecordOf(board, slot);
  auto* word = const_cast<std::uint32_t*>(AcqIsCamPrm(index) ? AcqPrmWords(&record->cam, index)
                                                              : AcqPrmWords(&record->vic, index));
  if (word == nullptr) return "none";
  *word = value;
  return "0";
}

std::string Host(std::uint32_t kind, std::uint32_t width, std::uint32_t height, std::uint32_t count) {
  for (std::uint32_t n = 0; n < count; ++n) {
    QelHandle* handle = nullptr;
    const QelStatus status = BufferNew(width, height, 0x1010800, kind, &handle);
    if (status != QEL_OK) return "host " + Hex(status);
    g_hosts.push_back(handle);
  }
  return "host 0x0";
}

std::string NewTransfer(std::uint32_t board, std::uint32_t slot) {
  QelHandle server{};
  server.server = YatBoardServerAddress(board);
  server.tag = kQelTagServer;
  QelHandle source = *AcqGetHandle(board, slot);
  source.server = YatBoardServerAddress(board);
  if (g_firstHost >= g_hosts.size()) return "nohosts";
  QelHandle* xfer = nullptr;
  QelStatus status = XferNewShort(&server, &source, g_hosts[g_firstHost], nullptr, &xfer);
  for (std::size_t n = g_firstHost + 1; status == QEL_OK && n < g_hosts.size(); ++n)
    status = XferAddPairShort(xfer, &source, g_hosts[n], nullptr);
  if (xfer != nullptr) {
    g_xfers.push_back(xfer);
    g_xfer = xfer;
    g_source = source;
    g_firstHost = g_hosts.size();
  }
  return Hex(status);
}

std::string Stage() {
  XferObject* xfer = XferObjectOf(g_xfer);
  if (xfer == nullptr) return "stage none";
  for (const InternalBufferStage& stage : xfer->record->board.stages)
    if (stage.count != 0)
      return "stage " + std::to_string(stage.count) + " " + std::to_string(stage.lines) + " " +
             std::to_string(stage.strips);
  return "stage 0 0 0";
}

// "<name> <flag word> <index of each host element> <on-board address the list names at the first element's
// index>" of the first slot with host elements, the indexes and the list being the insert list A's or the camera
// insert list's.
std::string InsertLine(const char* name, std::uint32_t YatHostBufferEntry::*index, std::uint64_t YatTransferDesc::*list) {
  XferObject* xfer = XferObjectOf(g_xfer);
  if (xfer == nullptr) return std::string(name) + " none";
  for (const XferBoardSlot& slot : xfer->record->board.slots) {
    const XferHostStage& stage = slot.main;
    if (slot.inUse == 0 || stage.elements == nullptr) continue;
    std::string line = name + (" " + Hex(stage.flagWord));
    for (std::uint32_t n = 0; n < stage.elementCount; ++n) line += " " + std::to_string(stage.elements[n].*index);
    const std::uint32_t first = stage.elements[0].*index;
    if (slot.desc.*list == 0 || first == 0) return line + " nolist";
    const auto* handles = reinterpret_cast<const std::uint64_t*>(slot.desc.*list);
    return line + " " + Hex(reinterpret_cast<const YatInternalBuffer*>(handles[first - 1])->onboardAddress);
  }
  return std::string(name) + " none";
}

// An 8-bit LUT of 256 entries (7i + 3) % 256, written into onboard buffer `number`.
std::string OnboardLut(QelHandle* device, std::uint32_t number) {
  QelHandle* lut = nullptr;
  QelStatus status = LutNew(256, 0x1010800, &lut);
  std::uint64_t data = 0;
  if (status == QEL_OK) status = LutGetPrm(lut, kLutPrmData, &data);
  for (std::uint32_t i = 0; status == QEL_OK && i < 256; ++i)
    reinterpret_cast<std::uint8_t*>(data)[i] = static_cast<std::uint8_t>(7 * i + 3);
  if (status == QEL_OK) status = AcqWriteOnboardBuffer(device, number, lut);
  if (lut != nullptr) LutFree(lut);
  return Hex(status);
}

// 8-bit offset and gain images of the given size, written into coefficient buffer `number`.
std::string CoefficientImages(QelHandle* device, std::uint32_t number, std::uint32_t width, std::uint32_t height) {
  QelHandle* images[2] = {};
  QelStatus status = QEL_OK;
  for (std::uint32_t i = 0; i < 2 && status == QEL_OK; ++i) {
    status = BufferNew(width, height, 0x1010800, 0x1, &images[i]);
    BufferMemoryView view{};
    if (status == QEL_OK) status = BufferGetMemory(images[i], &view);
    for (std::uint32_t y = 0; status == QEL_OK && y < height; ++y)
      for (std::uint32_t x = 0; x < width; ++x)
        view.address[std::size_t{y} * view.bytesPerLine + x] =
            static_cast<std::uint8_t>(i == 0 ? (x + 2 * y) % 24 : 64 + (3 * x + y) % 160);
  }
  if (status == QEL_OK) status = AcqWriteInternalBuffer(device, number, images[0], images[1]->record);
  for (QelHandle* image : images)
    if (image != nullptr) BufferFree(image);
  return Hex(status);
}

std::string Image(std::uint32_t n) {
  BufferMemoryView view{};
  if (n >= g_hosts.size() || BufferGetMemory(g_hosts[n], &view) != QEL_OK || view.address == nullptr) return "none";
  return helper::Hex(view.address, view.size);
}

std::string TransferCommand(const std::string& command, std::istringstream& in) {
  if (command == "host") {
    const std::uint32_t kind = helper::Number(in), width = helper::Number(in), height = helper::Number(in);
    return Host(kind, width, height, helper::Number(in));
  }
  if (command == "connect") return Hex(XferConnect(g_xfer));
  if (command == "disconnect") return Hex(XferDisconnect(g_xfer));
  if (command == "xferprm") {
    const std::uint32_t id = helper::Number(in);
    std::uint32_t value = helper::Number(in);
    return Hex(XferSetPrm(g_xfer, id, &value));
  }
  if (command == "release") {
    const QelStatus status = XferRelease(g_xfer);
    if (status == QEL_OK) std::erase(g_xfers, g_xfer);
    g_xfer = g_xfers.empty() ? nullptr : g_xfers.back();
    return Hex(status);
  }
  if (command == "next") {
    const std::uint32_t k = helper::Number(in);
    if (k >= g_hosts.size()) return "nohost";
    return Hex(XferAddDestination(g_xfer, &g_source, 0, g_hosts[k], 0, 0));
  }
  if (command == "stage") return Stage();
  if (command == "inserts") return InsertLine("inserts", &YatHostBufferEntry::insertIndex, &YatTransferDesc::insertListA);
  if (command == "camerainserts")
    return InsertLine("camerainserts", &YatHostBufferEntry::cameraInsertIndex, &YatTransferDesc::cameraInsertList);
  if (command == "image") return Image(helper::Number(in));
  if (command == "matrix") return xfer_probe::Matrix(helper::Number(in));
  if (command == "free") {
    const std::uint32_t board = helper::Number(in);
    return xfer_probe::Free(board, helper::Number(in));
  }
  if (command == "stages") return xfer_probe::Stages(helper::Number(in));
  return "unknown " + command;
}

std::string Answer(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "start") return Start();
  if (command != "open" && command != "applyall" && command != "poke" && command != "set" && command != "connected" &&
      command != "xfer" && command != "nframes" && command != "video" && command != "abort" && command != "coefficients" &&
      command != "nocoefficients" && command != "level" && command != "coefficientimages" &&
      command != "coefficientaddress" && command != "onboard" && command != "onboardlut" &&
      command != "onboardaddress")
    return TransferCommand(command, in);
  const std::uint32_t board = helper::Number(in), slot = helper::Number(in);
  if (RecordOf(board, slot) == nullptr || AcqGetHandle(board, slot) == nullptr) return "nodevice";
  if (command == "open") return Register(board, slot, 1);
  if (command == "applyall") return Hex(AcqTestApplyAll(board, slot));
  if (command == "connected") return Connected(board, slot);
  if (command == "coefficients") {
    std::uint32_t number = 0;
    const QelStatus status = AcqCreateInternalBuffers(AcqGetHandle(board, slot), &number);
    return Hex(status) + " " + std::to_string(number);
  }
  if (command == "onboard") {
    std::uint32_t number = 0;
    const QelStatus status = AcqCreateOnboardBuffer(AcqGetHandle(board, slot), &number);
    return Hex(status) + " " + std::to_string(number);
  }
  if (command == "xfer") return NewTransfer(board, slot);
  if (command == "abort") return std::to_string(QelHw_Acq_AbortVideo(AcqGetHwHandle(board, slot)));
  if (command == "video") return std::to_string(QelHw_Acq_AcquireVideo(AcqGetHwHandle(board, slot)));
  const std::uint32_t index = helper::Number(in);
  if (command == "coefficientaddress") {
    const YatInternalBufferRecord* record = YatInternalRecord(board, slot, index);
    return record == nullptr ? "none" : Hex(record->coefficients.onboardAddress);
  }
  if (command == "onboardaddress") {
    YatBufferDevice device;
    if (YatBufferDeviceOf(AcqGetHandle(board, slot), &device) != QEL_OK) return "none";
    const YatOnboardBufferRecord* record = YatOnboardRecord(board, device.connector, index);
    return record == nullptr ? "none" : Hex(record->memory.onboardAddress);
  }
  if (command == "onboardlut") return OnboardLut(AcqGetHandle(board, slot), index);
  if (command == "coefficientimages") {
    const std::uint32_t width = helper::Number(in);
    return CoefficientImages(AcqGetHandle(board, slot), index, width, helper::Number(in));
  }
  const std::uint32_t value = command == "nframes" ? 0 : helper::Number(in);
  if (command == "poke") return Poke(board, slot, index, value);
  if (command == "level") return Hex(AcqSetPrm(AcqGetHandle(board, slot), index, &value));
  if (command == "nocoefficients") return Hex(AcqFreeInternalBuffer(AcqGetHandle(board, slot), index));
  if (command == "nframes") return std::to_string(QelHw_Acq_AcquireNFrames(AcqGetHwHandle(board, slot), index));
  const std::uint32_t words[1] = {value};
  return Hex(AcqTestSetPrm(board, slot, index, words));
}

}  // namespace

int main() {
  const int code = AcqHarnessServe(Answer);
  for (QelHandle* xfer : g_xfers) XferRelease(xfer);
  for (QelHandle* host : g_hosts) BufferFree(host);
  return code;
}
