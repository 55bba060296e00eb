#include "platform/board/front_end.h"

namespace plat::board {

namespace {

// The slot of a flat-field table entry; false for offsets outside the table.
bool flat_field_slot(std::uint32_t offset, std::uint32_t* slot) {
  if (offset < kRegFlatFieldTable) return false;
  const std::uint32_t local = offset - kRegFlatFieldTable;
  const std::uint32_t camera = local >> 8;
  const std::uint32_t within = local & 0xFF;
  if (camera >= kFrontEndCameras || within % 8 != 0) return false;
  *slot = camera * kFlatFieldEntries + within / 8;
  return true;
}

bool pocl_camera(std::uint32_t offset, std::uint32_t* camera) {
  if (offset != kRegPocl && offset != kRegPocl + 4) return false;
  *camera = (offset - kRegPocl) / 4;
  return true;
}

std::uint32_t pocl_value(const FrontEnd& front_end, std::uint32_t camera) {
  const std::uint32_t written = front_end.pocl[camera] & ~(kPoclFault | kPoclPowerGood);
  if ((written & kPoclEnable) == 0) return written;
  return written | (front_end.pocl_fault[camera] ? kPoclFault : kPoclPowerGood);
}

}  // namespace

bool front_end_read(const FrontEnd& front_end, std::uint32_t offset, std::uint32_t* value) {
  std::uint32_t index = 0;
  if (pocl_camera(offset, &index)) {
    *value = pocl_value(front_end, index);
    return true;
  }
  if (flat_field_slot(offset, &index)) {
    *value = front_end.flat_field[index];
    return true;
  }
  switch (offset) {
    case kRegSyncPolarity: *value = front_end.sync_polarity; return true;
    case kRegBinarisationPresent: *value = front_end.binarisation_present ? 1 : 0; return true;
    case kRegBinarisation: *value = front_end.binarisation; return true;
    case kRegLutControl: *value = front_end.lut_control; return true;
    case kRegFrameTriggerSource: *value = front_end.frame_trigger_source; return true;
    case kRegStrobeDestination: *value = front_end.strobe_destination; return true;
    default: return false;
  }
}

bool front_end_write(FrontEnd& front_end, std::uint32_t offset, std::uint32_t value) {
  std::uint32_t index = 0;
  if (pocl_camera(offset, &index)) {
    front_end.pocl[index] = value;
    return true;
  }
  if (flat_field_slot(offset, &index)) {
    front_end.flat_field[index] = value;
    return true;
  }
  switch (offset) {
    case kRegSyncPolarity: front_end.sync_polarity = value; return true;
    case kRegBinarisationPresent: return true;
    case kRegBinarisation: front_end.binarisation = value; return true;
    case kRegLutControl:
      if ((value & kLutLoadPulse) != 0 && (front_end.lut_control & kLutLoadPulse) == 0) ++front_end.lut_loads;
      front_end.lut_control = value;
      return true;
    case kRegFrameTriggerSource: front_end.frame_trigger_source = value; return true;
    case kRegStrobeDestination: front_end.strobe_destination = value; return true;
    default: return false;
  }
}

}  // namespace plat::board
