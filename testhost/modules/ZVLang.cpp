// Stand-in ZVLang.dll: the string table, language start-up, and the seven Unicode helpers
// (exported under their decorated names by ZVLang.def), which really do their work.
#include "testhost/core/StandIn.h"

#include <cstdarg>
#include <cwchar>

extern "C" {

// ZVLang#10000: the scripted text (HostSetString), or "#<number>".
const wchar_t* __fastcall GetLocalizedText(int32_t number) {
  HostCallRecord* call = RecordCall("GetLocalizedText", number);
  const wchar_t* text = reinterpret_cast<const wchar_t*>(
      HostFinishCall(call, reinterpret_cast<uint32_t>(HostGetString(number))));
  HostRecordText(call, text);
  return text;
}

// ZVLang#10001: the host writes into the cell; so does the stand-in, to show it is writable.
void __stdcall LangStartupB(uint32_t* cell, int32_t zero) {
  HostFinishCall(RecordCall("LangStartupB", cell, zero), 0);
  if (cell != nullptr) *cell = 0x1A96001u;
}

int32_t __fastcall LangLoad(uint32_t value, int32_t zero) {
  return static_cast<int32_t>(HostFinishCall(RecordCall("LangLoad", value, zero), 1));
}
void __cdecl LangShutdown() { HostFinishCall(RecordCall("LangShutdown"), 0); }

// Copies at most maximum characters and pads with zeros up to maximum, like wcsncpy.
wchar_t* __fastcall UniStrncpy(wchar_t* destination, const wchar_t* source, int32_t maximum) {
  HostCallRecord* call = RecordCall("Unicode::strncpy", destination, source, maximum);
  int32_t i = 0;
  for (; i < maximum && source[i] != 0; ++i) destination[i] = source[i];
  for (; i < maximum; ++i) destination[i] = 0;
  HostRecordText(call, source);
  HostFinishCall(call, reinterpret_cast<uint32_t>(destination));
  return destination;
}

wchar_t* __fastcall UniStrcat(wchar_t* destination, const wchar_t* source) {
  HostCallRecord* call = RecordCall("Unicode::strcat", destination, source);
  wcscat(destination, source);
  HostRecordText(call, source);
  HostFinishCall(call, reinterpret_cast<uint32_t>(destination));
  return destination;
}

wchar_t* __fastcall UniStrcpy(wchar_t* destination, const wchar_t* source) {
  HostCallRecord* call = RecordCall("Unicode::strcpy", destination, source);
  wcscpy(destination, source);
  HostRecordText(call, source);
  HostFinishCall(call, reinterpret_cast<uint32_t>(destination));
  return destination;
}

int32_t __fastcall UniStrlen(const wchar_t* text) {
  HostCallRecord* call = RecordCall("Unicode::strlen", text);
  HostRecordText(call, text);
  return static_cast<int32_t>(HostFinishCall(call, static_cast<uint32_t>(wcslen(text))));
}

// 8-bit to 16-bit text, byte for byte; maximum counts the terminator.
static wchar_t* Widen(const char* function, wchar_t* destination, const char* text,
                      int32_t maximum) {
  HostCallRecord* call = RecordCall(function, destination, text, maximum);
  HostRecordText8(call, text);
  if (maximum > 0) {
    int32_t i = 0;
    for (; i + 1 < maximum && text[i] != 0; ++i)
      destination[i] = static_cast<unsigned char>(text[i]);
    destination[i] = 0;
  }
  HostRecordText(call, destination);
  HostFinishCall(call, reinterpret_cast<uint32_t>(destination));
  return destination;
}

wchar_t* __fastcall UniWin2Unicode(wchar_t* destination, const char* text, int32_t maximum) {
  return Widen("Unicode::win2Unicode", destination, text, maximum);
}

wchar_t* __fastcall UniToUnicode(wchar_t* destination, const char* text, int32_t maximum) {
  return Widen("Unicode::toUnicode", destination, text, maximum);
}

// Formats with the C library's wide printf (%d, %u, %s of 16-bit text, ...). The journal
// keeps the size, destination, format and the first four values, and the text made.
void __cdecl UniSprintf(int32_t size, wchar_t* destination, const wchar_t* format, ...) {
  va_list values;
  va_start(values, format);
  uint32_t first[4];
  va_list copy;
  va_copy(copy, values);
  for (uint32_t& value : first) value = va_arg(copy, uint32_t);
  va_end(copy);
  HostCallRecord* call = RecordCall("Unicode::sprintf", size, destination, format, first[0],
                                    first[1], first[2], first[3]);
  if (size > 0) {
    _vsnwprintf(destination, size, format, values);
    destination[size - 1] = 0;
  }
  va_end(values);
  HostRecordText(call, destination);
  HostFinishCall(call, 0);
}

}  // extern "C"
