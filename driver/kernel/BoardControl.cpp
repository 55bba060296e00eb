#include "driver/kernel/BoardControl.h"

#include "driver/kernel/StavroLog.h"

void YatReleaseBoardMemory(YatBoardExtension*) {}

