// Stand-in Vusk.dll: start-up calls, the fatal-error report and the allocator.
#include "testhost/core/StandIn.h"

extern "C" {

// Vusk#10024: the text should be empty; the journal keeps what it held.
void __cdecl ReportFatalError(const void* text, uint32_t value, int32_t line) {
  HostCallRecord* call = RecordCall("ReportFatalError", text, value, line);
  HostRecordText(call, static_cast<const wchar_t*>(text));
  HostFinishCall(call, 0);
}

// Vusk#10265: a value the caller passes on; by default it names the line.
uint32_t __cdecl ErrorFromLine(int32_t line) {
  return HostFinishCall(RecordCall("ErrorFromLine", line),
                        0xE7700000u + static_cast<uint32_t>(line));
}

// Vusk#10042: a real block, 0xCD-filled, tracked until MemFree.
void* __fastcall MemAlloc(uint32_t size, const char* path, int32_t line, int32_t zero) {
  HostCallRecord* call = RecordCall("MemAlloc", size, path, line, zero);
  HostRecordText8(call, path);
  void* block = HostAllocateBlock(size);
  return reinterpret_cast<void*>(HostFinishCall(call, reinterpret_cast<uint32_t>(block)));
}

// Vusk#10043: Result is 1 when a live block was released, 0 for a foreign or double release.
void __fastcall MemFree(void* block, const char* path, int32_t line, int32_t zero) {
  HostCallRecord* call = RecordCall("MemFree", block, path, line, zero);
  HostRecordText8(call, path);
  bool released = HostReleaseBlock(block);
  if (call != nullptr) call->Result = released ? 1 : 0;
}

void __cdecl VuskStartupA(int32_t zero) { HostFinishCall(RecordCall("VuskStartupA", zero), 0); }
void __cdecl VuskStartupB(int32_t zero, int32_t one) {
  HostFinishCall(RecordCall("VuskStartupB", zero, one), 0);
}
uint32_t __cdecl VuskQuery() { return HostFinishCall(RecordCall("VuskQuery"), 0x5A10227u); }

}  // extern "C"
