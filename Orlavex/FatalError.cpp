#include "Orlavex/FatalError.h"

#include "Orlavex/HostBinding.h"

#include <cstdlib>
#include <windows.h>

// The host's report takes a text; the plug-in has none to give.
static const uint8_t EmptyText[16] = {};

void FatalErrorAtLine(int32_t line) {
  uint32_t value = ErrorFromLine(line);
  ReportFatalError(EmptyText, value, line);
  exit(-1);
}

void CriticalErrorExit(const char* text) {
  MessageBoxA(nullptr, text, "Zorvane Critical Error", MB_OK | MB_ICONERROR);
  exit(-1);
}
