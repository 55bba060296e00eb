// The common library of the user-mode deliverables: log binding, shared named
// mutex, registry and options file, message threads, process utilities.
#pragma once

#include "qellib/QelLog.h"
#include "qellib/QelMsgThread.h"
#include "qellib/QelSharedMutex.h"
#include "qellib/QelWinOptions.h"
#include "qellib/QelWinProcess.h"
#include "qellib/QelWinRegistry.h"
