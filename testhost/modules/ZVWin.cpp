// Stand-in ZVWin.dll: window start-up and shut-down, text drawing and measuring.
#include "testhost/core/StandIn.h"

extern "C" {

void __cdecl WinStartup() { HostFinishCall(RecordCall("WinStartup"), 0); }
void __stdcall WinSetCallback(uintptr_t callback) {
  HostFinishCall(RecordCall("WinSetCallback", callback), 0);
}
// By default a value derived from the argument, so a test can follow it down the chain.
uint32_t __stdcall WinQuery(uint32_t value) {
  return HostFinishCall(RecordCall("WinQuery", value), 0x3300000u + value);
}
void __cdecl WinShutdown() { HostFinishCall(RecordCall("WinShutdown"), 0); }
void __cdecl WinFrameStep() { HostFinishCall(RecordCall("WinFrameStep"), 0); }

void __fastcall SetHoverText(const wchar_t* text, int32_t x, int32_t y, int32_t a, int32_t b) {
  HostCallRecord* call = RecordCall("SetHoverText", text, x, y, a, b);
  HostRecordText(call, text);
  HostFinishCall(call, 0);
}

void __fastcall DrawUiText(const wchar_t* text, int32_t x, int32_t y, int32_t colour,
                           int32_t zero) {
  HostCallRecord* call = RecordCall("DrawUiText", text, x, y, colour, zero);
  HostRecordText(call, text);
  HostFinishCall(call, 0);
}

// The width the script gives the text (HostSetTextWidth / HostSetCharWidth).
int32_t __fastcall GetTextWidth(const wchar_t* text) {
  HostCallRecord* call = RecordCall("GetTextWidth", text);
  HostRecordText(call, text);
  return static_cast<int32_t>(HostFinishCall(call, static_cast<uint32_t>(HostTextWidth(text))));
}

void __fastcall SetTextFont(int32_t font) { HostFinishCall(RecordCall("SetTextFont", font), 0); }

}  // extern "C"
