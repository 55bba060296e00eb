// The interface table fillers: the common one, the colour and Bayer variants,
// and one filler per device type with the type's own operations. A type's
// operations act on the first slot of the board that holds the type.
#include <array>
#include <utility>

#include "source/QelAcq/AcqCaps.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqFeatureApply.h"
#include "source/QelAcq/YatAcqCustomCmd.h"
#include "source/QelAcq/YatBoardEvents.h"
#include "source/QelXfer/YatAcqBuffers.h"

namespace {

template <std::uint32_t Type>
QelStatus SelectOfType(std::uint32_t board) {
  return AcqSelectInput(board, 1, AcqGetSlotOfType(board, Type));
}

template <std::uint32_t Type>
QelStatus DeselectOfType(std::uint32_t board) {
  return AcqSelectInput(board, 0, AcqGetSlotOfType(board, Type));
}

template <std::uint32_t Type>
QelStatus ControlOfType(std::uint32_t board, std::uint32_t mask, std::int32_t frames, std::int32_t* out) {
  return AcqControl(board, AcqGetSlotOfType(board, Type), mask, frames, out);
}

template <std::uint32_t Type>
QelStatus NameOfType(char* destination) {
  AcqDeviceTypeName(destination, Type);
  return 0;
}

void MonoLuts(othStruct* table) {
  table->lutInit = AcqLutInitMono;
  table->lutRead = AcqReadLutMono;
  table->lutWrite = YatAcqStoreLut;
  table->lutProgramAtOpen = YatAcqRewriteLut;
}

void NoLuts(othStruct* table) {
  table->lutInit = nullptr;
  table->lutRead = nullptr;
  table->lutWrite = nullptr;
  table->lutProgramAtOpen = nullptr;
}

void ColourLuts(othStruct* table) {
  table->lutInit = AcqLutInitColor;
  table->lutRead = AcqReadLutColor;
  table->lutWrite = AcqWriteLutColor;
  table->lutProgramAtOpen = AcqProgramLutColor;
}

enum class Variant { kCommon, kColour, kBayer, kNoLut };

constexpr Variant VariantOf(std::uint32_t type) {
  switch (type) {
    case 4: case 5: case 6: return Variant::kColour;
    case 8: return Variant::kNoLut;
    case 9: case 11: return Variant::kBayer;
    default: return Variant::kCommon;
  }
}

template <std::uint32_t Type>
QelStatus FillOfType(othStruct* table) {
  if (table == nullptr) return kAcqNoConnector;
  QelStatus status = AcqFillCommonTable(table);
  if (status == 0 && VariantOf(Type) == Variant::kColour) status = AcqFillColourTable(table);
  if (status == 0 && VariantOf(Type) == Variant::kBayer) {
    status = AcqFillBayerTable(table);
    MonoLuts(table);
  }
  if (status == 0 && VariantOf(Type) == Variant::kNoLut) NoLuts(table);
  if (status != 0) return status;
  table->selectInput = SelectOfType<Type>;
  table->deselectInput = DeselectOfType<Type>;
  table->acquisitionControl = ControlOfType<Type>;
  table->deviceName = NameOfType<Type>;
  return 0;
}

template <std::size_t... Types>
constexpr std::array<AcqTableFiller, sizeof...(Types)> Fillers(std::index_sequence<Types...>) {
  return {FillOfType<static_cast<std::uint32_t>(Types) + 1>...};
}

constexpr std::array<AcqTableFiller, kAcqDeviceTypeCount> kFillers =
    Fillers(std::make_index_sequence<kAcqDeviceTypeCount>());

}  // namespace

AcqTableFiller AcqDeviceTypeFiller(std::uint32_t type) {
  return type >= 1 && type <= kAcqDeviceTypeCount ? kFillers[type - 1] : nullptr;
}

QelStatus AcqNoOperation() { return 0; }

// The slots the operations of other parts of the module fill (board-private
// commands, internal and onboard buffers) are written by those parts' fillers.
QelStatus AcqFillCommonTable(othStruct* table) {
  if (table == nullptr) return kAcqNoConnector;
  table->noOperation = AcqNoOperation;
  table->defaultPrms = InitAcqDefaultPrms;
  table->capabilities = InitAcqCaps;
  MonoLuts(table);
  table->reopenHwHandle = YatAcqReopenHwHandle;
  table->cameraControlRead = YatAcqGetCameraControl;
  table->cameraControlWrite = YatAcqSetCameraControl;
  table->cameraStatus = YatAcqGetCameraStatus;
  table->setEventMask = YatAcqSetEventMask;
  table->softwareTrigger = YatAcqSoftwareTrigger;
  table->detectedVideoFormat = YatAcqDetectVideoFormat;
  table->unrouteEvents = YatAcqUnrouteEvents;
  AcqFillPrivateCommands(table);
  YatAcqFillBufferSlots(table);
  table->startEventThread = StartBoardEventThread;
  table->stopEventThread = StopBoardEventThread;
  return 0;
}

QelStatus AcqFillColourTable(othStruct* table) {
  if (table == nullptr) return kAcqNoConnector;
  table->defaultPrms = InitAcqDefaultPrmsColor;
  table->capabilities = InitAcqCapsColor;
  ColourLuts(table);
  return 0;
}

QelStatus AcqFillBayerTable(othStruct* table) {
  if (table == nullptr) return kAcqNoConnector;
  table->defaultPrms = InitAcqDefaultPrmsBayer;
  table->capabilities = InitAcqCapsBayer;
  ColourLuts(table);
  return 0;
}
