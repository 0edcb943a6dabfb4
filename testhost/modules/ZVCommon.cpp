// Stand-in ZVCommon.dll: start-up and shut-down; unit, item, location and stat queries
// (0 or null unless scripted).
#include "testhost/core/StandIn.h"

extern "C" {

void __stdcall CommonStartup(uint32_t value, int32_t gameModeIs6) {
  HostFinishCall(RecordCall("CommonStartup", value, gameModeIs6), 0);
}
void __cdecl CommonShutdown() { HostFinishCall(RecordCall("CommonShutdown"), 0); }
void __cdecl CommonRelease() { HostFinishCall(RecordCall("CommonRelease"), 0); }

void __stdcall SetUnitStat(void* unit, int32_t stat, int32_t value, int32_t zero) {
  HostFinishCall(RecordCall("SetUnitStat", unit, stat, value, zero), 0);
}
uint32_t __stdcall GetStat6Max(void* unit) {
  return HostFinishCall(RecordCall("GetStat6Max", unit), 0);
}
uint32_t __stdcall GetStat8Max(void* unit) {
  return HostFinishCall(RecordCall("GetStat8Max", unit), 0);
}
void* __stdcall GetNamedRecord(int32_t number) {
  return reinterpret_cast<void*>(HostFinishCall(RecordCall("GetNamedRecord", number), 0));
}
void* __stdcall GetItemRecord(int32_t classNumber) {
  return reinterpret_cast<void*>(HostFinishCall(RecordCall("GetItemRecord", classNumber), 0));
}
int32_t __stdcall TestItemFlag(void* item, int32_t flag) {
  return static_cast<int32_t>(HostFinishCall(RecordCall("TestItemFlag", item, flag), 0));
}
int32_t __stdcall TestItemFlagChecked(void* item, int32_t flag, int32_t line, const char* path) {
  HostCallRecord* call = RecordCall("TestItemFlagChecked", item, flag, line, path);
  HostRecordText8(call, path);
  return static_cast<int32_t>(HostFinishCall(call, 0));
}

}  // extern "C"
