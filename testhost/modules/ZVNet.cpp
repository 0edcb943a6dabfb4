// Stand-in ZVNet.dll: sending keeps the packet bytes in the journal; sent (1) unless scripted.
#include "testhost/core/StandIn.h"

extern "C" int32_t __stdcall SendToServer(uint32_t size, int32_t one, const void* buffer) {
  HostCallRecord* call = RecordCall("SendToServer", size, one, buffer);
  HostRecordData(call, buffer, size);
  return static_cast<int32_t>(HostFinishCall(call, 1));
}
