// Test helper: sets video formats on the packer of board 0 through the
// library's packer set-up, built from its sources over the library's exported
// register access and the library's shared section, one command per line:
//   open                                         -> QelHw_Open status
//   format <camera> <depth> <taps> <geometry> <kind> <code> [tapflags0]  -> status
//   active <camera> <0|1>                        -> status
//   slot <camera>                                -> "<count> <active> <control>/<selector> ..." (hex)
//   owners                                       -> the camera of the 16 acquisition DMA owner words (hex)
#include <cstring>
#include <sstream>
#include <string>

#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatPackerArbiter.h"
#include "driver/user/YatRequestForm.h"
#include "driver/user/tests/helper_support.h"
#include "platform/win/process.h"
#include "platform/win/sections.h"

using helper::Number;

namespace {

constexpr std::uint32_t kBoard = 0;
constexpr std::uint32_t kDescriptionOffset = 72;

YatAcqHandle g_handles[YAT_MAX_CAMERA_PER_BOARD]{};

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

std::string Format(std::istringstream& in) {
  const std::uint32_t camera = Number(in);
  if (camera >= YAT_MAX_CAMERA_PER_BOARD) return "bad";
  YatPackerFormat f;
  f.depth = Number(in);
  f.taps = Number(in);
  f.geometry = Number(in);
  f.colourKind = Number(in);
  const std::uint32_t code = Number(in);
  f.tapFlags[0] = Number(in);
  f.laneMode = f.colourKind == YAT_COLOUR_KIND ? 2 : 0;
  f.frameWidth = 640;
  YatAcqHandle& handle = g_handles[camera];
  handle.type = YAT_ACQ_TAG_BASE;
  handle.board = kBoard;
  handle.camera = camera;
  return std::to_string(Yat_FPGA_Packer_SetFormat(&handle, &f, code));
}

std::string Slot(std::uint32_t camera) {
  if (camera >= YAT_PACKER_SLOTS_PER_BOARD) return "bad";
  const PackerArbitration& slot = Yat_GetSharedData()->packers[kBoard][camera];
  std::string text = std::to_string(slot.entryCount) + " " + std::to_string(slot.active);
  for (std::uint32_t i = 0; i < slot.entryCount && i < YAT_PACKER_MAX_ENTRIES; ++i)
    text += " " + Hex(slot.entries[i].control) + "/" + Hex(slot.entries[i].selector);
  return text;
}

// The camera of each owner word ("ffffffff" when free).
std::string Owners() {
  std::string text;
  for (std::uint32_t word : Yat_GetBoardEntry(kBoard)->acqDmaOwner)
    text += (text.empty() ? "" : " ") + Hex(word == YAT_DMA_OWNER_FREE ? word : YatDmaOwnerCamera(word));
  return text;
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") return std::to_string(QelHw_Open());
  if (command == "format") return Format(in);
  if (command == "active") {
    const std::uint32_t camera = Number(in);
    if (camera >= YAT_MAX_CAMERA_PER_BOARD) return "bad";
    return std::to_string(Yat_FPGA_Packer_SetActive(&g_handles[camera], Number(in)));
  }
  if (command == "slot") return Slot(Number(in));
  if (command == "owners") return Owners();
  return "unknown";
}

}  // namespace

// The packer's sources reach the library's shared section through these; the
// helper maps the same section, so the library and the helper see one table.
YatSharedData* Yat_GetSharedData() {
  static auto* const shared =
      static_cast<YatSharedData*>(plat::map_module_shared_data(YAT_SHARED_DATA_NAME, sizeof(YatSharedData)));
  return shared;
}

YatBoardEntry* Yat_GetBoardEntry(std::uint32_t board) {
  return board < YAT_MAX_BOARD && Yat_GetSharedData() != nullptr ? &Yat_GetSharedData()->boards[board] : nullptr;
}

// The slot the library took for this process, as its holder record names it.
std::uint32_t Yat_GetProcessSlot() {
  const plat::ProcessIdentity self = plat::current_process();
  for (std::uint32_t slot = 1; Yat_GetSharedData() != nullptr && slot <= YAT_PROCESS_SLOTS; ++slot) {
    const YatProcessHolder& holder = Yat_GetSharedData()->holders[slot - 1];
    if (holder.pid == self.pid && holder.startTime == self.start_time) return slot;
  }
  return 0;
}

// The front-end helpers bring the EEPROM access with them; the packer needs
// only the firmware record's description flags.
std::uint32_t YatFeDescriptionFlags(std::uint32_t board) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  std::uint32_t flags = 0;
  if (entry != nullptr) std::memcpy(&flags, entry->flashFirmwareRecord + kDescriptionOffset, sizeof flags);
  return flags;
}

// The request forms bring the device control with them; the channel tables
// need only their refusal of a bad board.
QelHwStatus YatArgumentInvalid(const char*, std::uint32_t) { return QELHW_ERROR_ARG_INVALID; }

int main() { return helper::Serve(Run); }
