// Stand-in ZVgfx.dll: the display mode (0 unless scripted).
#include "testhost/core/StandIn.h"

extern "C" int32_t __cdecl GetDisplayMode() {
  return static_cast<int32_t>(HostFinishCall(RecordCall("GetDisplayMode"), 0));
}
