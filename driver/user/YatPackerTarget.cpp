// The packer's view of an acquisition handle.
#include "driver/user/FrontEnd.h"
#include "driver/user/YatPackerArbiter.h"

YatPackerTarget Yat_Packer_TargetOf(const YatAcqHandle* handle) {
  YatPackerTarget target;
  target.tag = handle->type;
  target.camera = handle->camera;
  target.acqChannels = YAT_MAX_CAMERA_PER_BOARD;
  target.fpgaFlags = YatFeDescriptionFlags(handle->board);
  return target;
}
