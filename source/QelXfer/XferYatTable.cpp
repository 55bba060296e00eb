// This board's transfer table: the connect side (XferYatPairs.cpp,
// XferYatConnection.cpp) and the run (XferYatRun.cpp).
#include "source/QelXfer/XferDriverTable.h"
#include "source/QelXfer/XferYat.h"

const XferDriverTable& XferYatDriverTable() {
  static const XferDriverTable table{
      XferYatInit,         XferYatFree,        XferYatGetDefaultPrm, XferYatCheckSource, XferYatAddPairHook,
      XferYatVerifyPair,   XferYatUnverifyPair, XferYatCheckPairDesc, XferYatInitPairPrms, XferYatConnect,
      XferYatDisconnect,   XferYatStart,       XferYatStop,          XferYatAbort,       XferYatWait,
      XferYatIsCycleModeSupported, XferYatAddDestination};
  return table;
}
