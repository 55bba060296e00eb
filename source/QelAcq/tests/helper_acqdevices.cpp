// A process that starts the acquisition devices (acq_module_harness.h) and
// answers one command per line, so that tests drive the device operations
// from several processes of one machine:
//   start                      -> started <detection status of boards 0..N-1>, then init lines
//   devices B                  -> devices <count> <type:mask:registration> ...
//   name B S | text B S I      -> the device's name, a text parameter
//   cap B S I [N]              -> N capability words from I;  prm B S I -> a parameter's first word
//   validate B S               -> the device's current sets, marked whole, through the validators
//   open B S | close B S       -> registration: <status> <conflicting slot>
//   control B S MASK FRAMES    -> acquisition control: <status> <out>
//   lut B S LUT BYTES [colour] -> <status> <entries equal to their index, from 0>
//   lutwrite B S LUT N         -> a colour LUT write of N descending entries: <status>
//   trigger B S TYPE | format B S ID | events B S MASK | unroute B S MASK -> <status> [value]
//   quit
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/Pardow.h"
#include "firmware/win32/QelExtInterface.h"
#include "qellib/QelLog.h"
#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqLutShadows.h"
#include "source/QelAcq/AcqOthStruct.h"
#include "source/QelAcq/AcqValidators.h"
#include "source/QelAcq/tests/acq_module_harness.h"

namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

struct Device {
  std::uint32_t board = 0, slot = 0;
  AcqDeviceRecord* record() const { return AcqSharedRecord(AcqGetSharedTables(), board, slot); }
  othStruct* table() const { return AcqGetOthStruct(board, slot); }
  QelHandle* handle() const { return AcqGetHandle(board, slot); }
};

std::string Started(const AcqHarnessStart& start) {
  std::uint32_t boards = 0;
  Yat_Man_GetNbBoard(&boards);
  std::string line = "started";
  for (std::uint32_t b = 0; b < boards && b < kAcqMaxBoards; ++b) line += " " + Hex(start.detection[b]);
  for (std::uint32_t b = 0; b < boards && b < kAcqMaxBoards; ++b) {
    line += " |";
    for (std::uint32_t s = 0; s < AcqGetDeviceCount(b); ++s) line += " " + Hex(start.init[b][s]);
  }
  return line;
}

std::string Devices(std::uint32_t board) {
  const AcqDetectionTables& t = AcqGetSharedTables()->detection;
  const std::uint32_t count = AcqGetDeviceCount(board);
  std::string line = "devices " + std::to_string(count);
  for (std::uint32_t s = 0; s < count; ++s)
    line += " " + std::to_string(AcqGetSlotDeviceType(board, s)) + ":" + std::to_string(t.resourceMask[board][s]) + ":" +
            std::to_string(t.registration[board][s]);
  return line;
}

std::string Text(const std::uint32_t* words) {
  return words == nullptr ? "(none)" : std::string(reinterpret_cast<const char*>(words));
}

std::string Caps(const Device& d, std::uint32_t index, std::uint32_t count) {
  AcqDeviceRecord* r = d.record();
  const std::uint32_t* words = nullptr;
  if (index >= kAcqLevelFirst && index < kAcqLevelFirst + kAcqLevelCapCount)
    words = &r->levelCaps.caps[index - kAcqLevelFirst];
  else
    words = AcqIsCamCap(index) ? AcqCapWords(&r->camCaps, index) : AcqCapWords(&r->vicCaps, index);
  if (words == nullptr) return "cap (none)";
  std::string line = "cap";
  for (std::uint32_t i = 0; i < count; ++i) line += " " + Hex(words[i]);
  return line;
}

std::uint32_t Prm(const Device& d, std::uint32_t index) {
  const std::uint32_t* words = AcqIsCamPrm(index) ? AcqPrmWords(&d.record()->cam, index) : AcqPrmWords(&d.record()->vic, index);
  return words == nullptr ? 0xDEADBEEF : *words;
}

std::string Validate(const Device& d) {
  AcqDeviceRecord copy = *d.record();
  AcqMarkAllModified(&copy.cam);
  AcqMarkAllModified(&copy.vic);
  AcqValidationContext context = AcqRecordContext(&copy);
  return "validate " + Hex(AcqValidatePrmSet(&context, nullptr));
}

std::string Register(const Device& d, std::uint32_t open) {
  std::uint32_t conflict = 0;
  const QelStatus status = acqRegisterDevice(d.board, d.slot, open, &conflict, d.table());
  return Hex(status) + " " + std::to_string(conflict);
}

std::string Lut(const Device& d, std::uint32_t lut, std::uint32_t bytes, bool colour) {
  // Room for the largest LUT: a read past it would be the operation's fault.
  std::vector<std::uint16_t> entries(std::min<std::uint32_t>(bytes, 3 * 8192) / 2 + 1);
  if (d.table()->lutRead == nullptr) return "lut none";
  const QelStatus status = d.table()->lutRead(d.handle(), lut, bytes, 1, entries.data());
  std::uint32_t identity = 0;
  while (status == 0 && identity < bytes / 2 / (colour ? 3 : 1) && entries[identity] == identity) ++identity;
  return "lut " + Hex(status) + " " + std::to_string(identity);
}

std::string LutWrite(const Device& d, std::uint32_t lut, std::uint32_t count) {
  if (d.table()->lutWrite == nullptr) return "lutwrite none";
  std::vector<std::uint16_t> planes(3 * std::max<std::uint32_t>(count, 1));
  for (std::uint32_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<std::uint16_t>(count - 1 - i % count);
  return "lutwrite " + Hex(d.table()->lutWrite(d.handle(), lut, count, sizeof planes[0], planes.data()));
}

std::string Answer(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  Device d;
  std::uint32_t a = 0, b = 0;
  if (command == "start") return Started(AcqHarnessStartModule());
  if (command == "devices") return in >> d.board ? Devices(d.board) : "error";
  if (!(in >> d.board >> d.slot) || d.table() == nullptr) return "error";
  if (command == "name") {
    char name[128] = {};
    if (d.table()->deviceName == nullptr) return "name (none)";
    d.table()->deviceName(name);
    return std::string("name ") + name;
  }
  if (command == "text" && in >> a)
    return "text " + Text(AcqIsCamPrm(a) ? AcqPrmWords(&d.record()->cam, a) : AcqPrmWords(&d.record()->vic, a));
  if (command == "cap" && in >> a) return Caps(d, a, in >> b ? b : 1);
  if (command == "prm" && in >> a) return "prm " + Hex(Prm(d, a));
  if (command == "validate") return Validate(d);
  if (command == "open") return "open " + Register(d, 1);
  if (command == "close") return "close " + Register(d, 0);
  if (command == "control" && in >> a) {
    std::int32_t frames = 0, out = 0x7777;
    in >> frames;
    if (d.table()->acquisitionControl == nullptr) return "control none";
    const QelStatus status = d.table()->acquisitionControl(d.board, a, frames, &out);
    return "control " + Hex(status) + " " + std::to_string(out);
  }
  if (command == "lut" && in >> a >> b) {
    std::string colour;
    in >> colour;
    return Lut(d, a, b, colour == "colour");
  }
  if (command == "lutwrite" && in >> a >> b) return LutWrite(d, a, b);
  if (command == "trigger" && in >> a)
    return d.table()->softwareTrigger == nullptr ? "trigger none" : "trigger " + Hex(d.table()->softwareTrigger(d.handle(), a));
  if (command == "format" && in >> std::hex >> a) {
    std::uint32_t value = 0;
    const QelStatus status = d.table()->detectedVideoFormat(d.handle(), a, &value);
    return "format " + Hex(status) + " " + std::to_string(value);
  }
  if (command == "events" && in >> std::hex >> a) {
    const QelStatus status = d.table()->setEventMask(d.handle(), a, d.record());
    if (status == 0) d.record()->routedEventMask = a;
    return "events " + Hex(status);
  }
  if (command == "unroute" && in >> std::hex >> a) return "unroute " + Hex(d.table()->unrouteEvents(d.handle(), a, d.record()));
  return "error";
}

}  // namespace

int main() { return AcqHarnessServe(Answer); }
