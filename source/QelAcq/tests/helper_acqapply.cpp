// A process that starts the acquisition devices (acq_module_harness.h) and
// applies their parameters to the board, one command per line:
//   start                        -> started <detection and initialisation statuses>
//   open B S | close B S         -> <status>: the slot's registration (its input taken)
//   applyall B S                 -> <status>: every parameter marked and applied
//   set B S I V [V...]           -> <status>: the set road of parameter I (its words)
//   prm B S I | text B S I       -> a parameter's first word, or its text
//   geometry B S I | triggers B S | lut B S -> <status>: the geometry apply with I's id, the
//                                   trigger apply, the LUT apply
//   apply B S I                  -> <status>: the device's apply-table handler of I ("none" if empty)
//   poke B S I V                 -> a parameter's first word written, nothing applied
//   busy B S 0|1                 -> the record's transfer-connected flag
//   lutstore B S LUT N [reversed] -> <status>: the device's LUT write (slot 14), an identity or reversed table
//   swtrigger B S | camstatus B S | reopen B S -> <status> [value]
//   camctl B S N | camctlset B S N V -> <status> [value]: a camera-control entry
//   master B C                   -> the board-sync master flag of channel C of board B
//   connect B S BUFFERS W H      -> <status>: host buffers of the device's camera
//   nframes B S N | continuous B S | abort B S -> <status>
//   message MS | image B S BUF   -> a transfer message of board 0; a host buffer as hex
//   quit
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/Pardow.h"
#include "firmware/win32/QelExtInterface.h"
#include "qellib/QelLog.h"
#include "source/QelAcq/AcqApply.h"
#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqFeatureApply.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqOthStruct.h"
#include "source/QelAcq/tests/acq_apply_roads.h"
#include "driver/user/tests/host_transfer.h"
#include "source/QelAcq/tests/acq_grab.h"
#include "source/QelAcq/tests/acq_module_harness.h"

namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

std::uint32_t Number(std::istringstream& in) {
  std::string text;
  in >> text;
  return static_cast<std::uint32_t>(std::stoul(text.empty() ? "0" : text, nullptr, 0));
}

struct Device {
  std::uint32_t board = 0, slot = 0;
  AcqDeviceRecord* record() const { return AcqSharedRecord(AcqGetSharedTables(), board, slot); }
  othStruct* table() const { return AcqGetOthStruct(board, slot); }
  QelHandle* handle() const { return AcqGetHandle(board, slot); }
  YatAcqHandle* hw() const { return AcqGetHwHandle(board, slot); }
  const std::uint32_t* words(std::uint32_t index) const {
    return AcqIsCamPrm(index) ? AcqPrmWords(&record()->cam, index) : AcqPrmWords(&record()->vic, index);
  }
};

std::string Started(const AcqHarnessStart& start) {
  std::uint32_t boards = 0;
  Yat_Man_GetNbBoard(&boards);
  std::string line = "started";
  for (std::uint32_t b = 0; b < boards && b < kAcqMaxBoards; ++b) {
    line += " " + Hex(start.detection[b]);
    for (std::uint32_t s = 0; s < AcqGetDeviceCount(b); ++s) line += ":" + Hex(start.init[b][s]);
  }
  return line;
}

std::string Register(const Device& d, std::uint32_t open) {
  std::uint32_t conflict = 0;
  return Hex(acqRegisterDevice(d.board, d.slot, open, &conflict, d.table()));
}

std::string LutStore(const Device& d, std::uint32_t lut, std::uint32_t count, bool reversed) {
  std::vector<std::uint16_t> table(count);
  for (std::uint32_t i = 0; i < count; ++i) table[i] = static_cast<std::uint16_t>(reversed ? count - 1 - i : i);
  if (d.table()->lutWrite == nullptr) return "none";
  return Hex(d.table()->lutWrite(d.handle(), lut, count, 2, table.data()));
}

AcqPrmHandler ApplyHandler(const Device& d, std::uint32_t index) {
  if (index < kAcqCamPrmCount) return d.table()->camApplyTable[index];
  const std::uint32_t entry = index - kAcqVicPrmFirst;
  return index >= kAcqVicPrmFirst && entry < kAcqVicPrmCount ? d.table()->vicApplyTable[entry] : nullptr;
}

std::string WithValue(QelStatus status, std::uint32_t value) { return Hex(status) + " " + Hex(value); }

std::string Grab(const std::string& command, const Device& d, std::istringstream& in) {
  YatAcqHandle* hw = d.hw();
  if (command == "connect") {
    const std::uint32_t buffers = Number(in), width = Number(in);
    return std::to_string(AcqGrabConnect(hw, buffers, width, Number(in)));
  }
  if (command == "nframes") return std::to_string(QelHw_Acq_AcquireNFrames(hw, Number(in)));
  if (command == "continuous") return std::to_string(QelHw_Acq_AcquireVideo(hw));
  if (command == "abort") return std::to_string(QelHw_Acq_AbortVideo(hw));
  if (command == "image") return hw == nullptr ? "none" : AcqGrabImage(hw->camera, Number(in));
  return "error";
}

std::string DeviceCommand(const std::string& command, const Device& d, std::istringstream& in) {
  AcqValidationContext context = AcqRecordContext(d.record());
  if (command == "open") return Register(d, 1);
  if (command == "close") return Register(d, 0);
  if (command == "applyall") return Hex(AcqTestApplyAll(d.board, d.slot));
  if (command == "set") {
    const std::uint32_t index = Number(in);
    std::vector<std::uint32_t> words;
    for (std::string word; in >> word;) words.push_back(static_cast<std::uint32_t>(std::stoul(word, nullptr, 0)));
    return Hex(AcqTestSetPrm(d.board, d.slot, index, words));
  }
  if (command == "prm") {
    const std::uint32_t* words = d.words(Number(in));
    return words == nullptr ? "none" : Hex(*words);
  }
  if (command == "text") {
    const std::uint32_t* words = d.words(Number(in));
    return words == nullptr ? "none" : std::string(reinterpret_cast<const char*>(words));
  }
  if (command == "geometry") return Hex(AcqApplyPrmById(&context, AcqPrmIdOf(Number(in))));
  if (command == "triggers") return Hex(AcqApplyTriggersNoId(&context));
  if (command == "lut") return Hex(AcqApplyLut(&context));
  if (command == "apply") {
    const AcqPrmHandler handler = ApplyHandler(d, Number(in));
    return handler == nullptr ? "none" : Hex(handler(&context));
  }
  if (command == "poke") {
    const std::uint32_t index = Number(in);
    auto* word = const_cast<std::uint32_t*>(d.words(index));
    if (word == nullptr) return "none";
    *word = Number(in);
    return "0";
  }
  if (command == "busy") {
    d.record()->xferConnected = static_cast<std::uint8_t>(Number(in));
    return "0";
  }
  if (command == "lutstore") {
    const std::uint32_t lut = Number(in), count = Number(in);
    std::string kind;
    in >> kind;
    return LutStore(d, lut, count, kind == "reversed");
  }
  if (command == "swtrigger") return Hex(d.table()->softwareTrigger(d.handle(), 1));
  if (command == "reopen") return Hex(d.table()->reopenHwHandle(d.handle()));
  if (command == "camstatus") {
    std::uint32_t value = 0;
    const QelStatus status = d.table()->cameraStatus(d.handle(), &value);
    return WithValue(status, value);
  }
  if (command == "camctl") {
    std::uint32_t value = 0xDEAD;
    const QelStatus status = d.table()->cameraControlRead(d.handle(), Number(in), &value, nullptr);
    return WithValue(status, value);
  }
  if (command == "camctlset") {
    const std::uint32_t entry = Number(in);
    return Hex(d.table()->cameraControlWrite(d.handle(), entry, Number(in), &context));
  }
  return Grab(command, d, in);
}

std::string Answer(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "start") return Started(AcqHarnessStartModule());
  if (command == "message") return host_transfer::NextMessage(0, Number(in));
  if (command == "master") {
    const std::uint32_t board = Number(in);
    return std::to_string(AcqBoardSyncMaster(board, Number(in)));
  }
  Device d;
  d.board = Number(in);
  d.slot = Number(in);
  if (d.table() == nullptr || d.record() == nullptr || d.slot >= AcqGetDeviceCount(d.board)) return "nodevice";
  return DeviceCommand(command, d, in);
}

}  // namespace

int main() { return AcqHarnessServe(Answer); }
