#include "driver/kernel/BoardControl.h"

#include "driver/kernel/XferObjects.h"

void YatReleaseBoardMemory(YatBoardExtension* board) { DestroyBoardTransfers(board); }
