// The board-sync line of a channel: whether the channel drives the board's
// sync (a master), follows it (a slave) or ignores it, from the trigger
// sources of its parameters; the source texts the parameters show; and the
// board's master table, so that a new master releases the former one.
//
// Conflicts (two masters, two slaves, a master and a slave among the sources
// of one channel) name VIC 2145 or VIC 2144 with the conflict kind; they
// carry the module part like every other answer of the appliers.
#include <algorithm>
#include <array>
#include <cstring>

#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqBoardSyncTable.h"
#include "source/QelAcq/AcqFeatureApply.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace {

constexpr QelStatus kNotSupported = 86;
constexpr std::uint32_t kReleasedMode = 0;

constexpr std::array<const char*, 3> kEncoderSources = {"Automatic", "From Shaft Encoder Optocoupled",
                                                        "From Shaft Encoder RS422"};
constexpr std::array<const char*, 7> kFrameSources = {"Automatic",      "From External Trigger #1",
                                                      "From External Trigger #2", "From Board Sync",
                                                      "To Board Sync",  "Pulse to Board Sync", "From GIO"};
constexpr std::array<const char*, 8> kLineSources = {
    "Automatic",       "From Shaft Encoder Phase A", "From Shaft Encoder Phase B", "From Shaft Encoder Phase A and B",
    "From Board Sync", "To Board Sync",              "Pulse to Board Sync",        "To Board Sync When Grabbing"};

template <std::size_t N>
void StoreText(AcqValidationContext* c, std::uint32_t index, const std::array<const char*, N>& texts,
               std::uint32_t choice) {
  if (choice >= N) return;
  AcqStorePrmText(c, index, texts[choice]);
  AcqTakePrm(c, index);
}

// The frame sources of a board with one external trigger input name it alone.
void StoreFrameSourceText(AcqValidationContext* c, std::uint32_t choice, bool singleTrigger) {
  std::array<const char*, 7> texts = kFrameSources;
  if (singleTrigger) {
    texts[1] = "From External Trigger";
    texts[2] = "Reserved";
  }
  StoreText(c, 2166, texts, choice);
}

struct SyncRole {
  std::uint32_t masters = 0, slaves = 0;
  bool secondMasterFromLine = false;
  std::uint32_t drive = 0, mode = kReleasedMode;

  void master(std::uint32_t m, bool fromLine) {
    if (++masters == 2) secondMasterFromLine = fromLine;
    drive = 1;
    mode = m;
  }
  void slave(std::uint32_t m) {
    ++slaves;
    drive = 0;
    mode = m;
  }
  QelStatus conflict() const {
    if (masters >= 2) return kQelModuleAcquisition | QelStatusMake(secondMasterFromLine ? 2145 : 2144, kAcqKindConflict);
    if (slaves >= 2 || (masters == 1 && slaves == 1)) return kQelModuleAcquisition | QelStatusMake(2144, kAcqKindConflict);
    return 0;
  }
};

SyncRole RoleOf(const AcqValidationContext* c) {
  SyncRole role;
  const std::uint32_t frame = AcqNewPrm(c, 2146);
  if (AcqNewPrm(c, 3) == 1) {
    if (frame == 4 || frame == 5) role.master(frame == 5 ? 4 : 2, false);
    if (frame == 3) role.slave(2);
    return role;
  }
  const std::uint32_t source = AcqNewPrm(c, 2144), line = AcqNewPrm(c, 2145);
  if (source == 4 || source == 5) role.master(frame == 5 ? 4 : 5, false);
  if (source == 3) role.slave(2);
  if (line >= 5 && line <= 7) role.master(line == 5 ? 1 : line == 6 ? 4 : 6, true);
  if (line == 4) role.slave(1);
  return role;
}

}  // namespace

std::uint8_t AcqBoardSyncMaster(std::uint32_t board, std::uint32_t channel) {
  if (board >= kAcqMaxBoards || channel >= kAcqBoardSyncChannels) return 0;
  return AcqGetBoardSyncTable()->master[board][channel];
}

void AcqStorePrmText(AcqValidationContext* c, std::uint32_t index, const char* text) {
  std::uint32_t* words = AcqIsVicPrm(index) && c != nullptr ? AcqPrmWords(c->vicNew, index) : nullptr;
  if (words == nullptr || text == nullptr) return;
  const std::size_t size = 4 * AcqPrmSpanWords(index);
  auto* bytes = reinterpret_cast<char*>(words);
  std::memset(bytes, 0, size);
  std::memcpy(bytes, text, std::min(std::strlen(text), size - 1));
}

QelStatus AcqApplyBoardSync(AcqValidationContext* c) {
  const std::uint32_t board = AcqBoardOf(c), channel = AcqConnectorOf(c);
  if (channel >= 2 || board >= kAcqMaxBoards) return kNotSupported;
  AcqBoardInputs inputs;
  const QelStatus read = AcqReadEepromPage0(board, &inputs);
  if (read != 0) return read;
  AcqTakePrm(c, 2146);
  AcqTakePrm(c, 2144);
  AcqTakePrm(c, 2145);
  StoreText(c, 2175, kEncoderSources, AcqNewPrm(c, 2174));
  const std::uint32_t frameChoice = AcqNewPrm(c, AcqNewPrm(c, 3) == 1 ? 2146 : 2144);
  StoreFrameSourceText(c, frameChoice, (inputs.byte(12) & 1) != 0);
  StoreText(c, 2165, kLineSources, AcqNewPrm(c, 2145));

  const SyncRole role = RoleOf(c);
  auto& masters = AcqGetBoardSyncTable()->master[board];
  masters[channel] = role.masters != 0 ? 1 : 0;
  if (const QelStatus conflict = role.conflict(); conflict != 0) return conflict;
  if (role.masters != 0) {
    for (std::uint32_t other = 0; other < kAcqBoardSyncChannels; ++other) {
      if (other == channel || masters[other] == 0) continue;
      const QelHwStatus status = Yat_FPGA_SetBoardSync(board, other, 1, kReleasedMode);
      if (status != QELHW_OK) return TranslateStatus(status);
      masters[other] = 0;
    }
  }
  return TranslateStatus(Yat_FPGA_SetBoardSync(board, channel, role.drive, role.mode));
}
