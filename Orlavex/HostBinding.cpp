#include "Orlavex/HostBinding.h"

#include "Orlavex/FatalError.h"

#include <windows.h>

uintptr_t HostClientModule;

#define HOST_LOCATION_DEFINE(name, offset, kind) uintptr_t name;
HOST_CLIENT_LOCATIONS(HOST_LOCATION_DEFINE)
#undef HOST_LOCATION_DEFINE

#define HOST_LOCATION_ROW(name, offset, kind) {#name, offset, kind, &name},
const HostLocationRow HostLocationTable[] = {HOST_CLIENT_LOCATIONS(HOST_LOCATION_ROW)};
#undef HOST_LOCATION_ROW
const int HostLocationCount = sizeof(HostLocationTable) / sizeof(HostLocationTable[0]);

UnicodeStrncpyFn UnicodeStrncpy;
UnicodeStrcatFn UnicodeStrcat;
UnicodeStrcpyFn UnicodeStrcpy;
UnicodeStrlenFn UnicodeStrlen;
UnicodeFromBytesFn UnicodeWin2Unicode;
UnicodeFromBytesFn UnicodeToUnicode;
UnicodeSprintfFn UnicodeSprintf;

struct LangExportRow {
  const char* Name;
  void** Pointer;
};

// Looked up in this order.
static const LangExportRow LangExports[] = {
    {"?strncpy@Unicode@@SIPAU1@PAU1@PBU1@H@Z", reinterpret_cast<void**>(&UnicodeStrncpy)},
    {"?strcat@Unicode@@SIPAU1@PAU1@PBU1@@Z", reinterpret_cast<void**>(&UnicodeStrcat)},
    {"?strcpy@Unicode@@SIPAU1@PAU1@PBU1@@Z", reinterpret_cast<void**>(&UnicodeStrcpy)},
    {"?strlen@Unicode@@SIHPBU1@@Z", reinterpret_cast<void**>(&UnicodeStrlen)},
    {"?win2Unicode@Unicode@@SIPAU1@PAU1@PBDH@Z", reinterpret_cast<void**>(&UnicodeWin2Unicode)},
    {"?toUnicode@Unicode@@SIPAU1@PAU1@PBDH@Z", reinterpret_cast<void**>(&UnicodeToUnicode)},
    {"?sprintf@Unicode@@SAXHPAU1@PBU1@ZZ", reinterpret_cast<void**>(&UnicodeSprintf)},
};

// "ZVLang.dll does not export " + the longest decorated name + terminator fits.
static char MissingExportText[128];

void BindHost() {
  for (int i = 0; i < HostLocationCount; ++i)
    *HostLocationTable[i].Address = HostClientModule + HostLocationTable[i].Offset;

  // GetModuleHandleA, not LoadLibraryA: the language module must already be in the process.
  HMODULE lang = GetModuleHandleA("ZVLang.dll");
  if (lang == nullptr) CriticalErrorExit("ZVLang.dll not found");

  // A missing helper would otherwise be a null pointer called in the middle of a frame;
  // refusing to start names the export instead.
  for (const LangExportRow& row : LangExports) {
    FARPROC function = GetProcAddress(lang, row.Name);
    if (function == nullptr) {
      wsprintfA(MissingExportText, "ZVLang.dll does not export %s", row.Name);
      CriticalErrorExit(MissingExportText);
    }
    *row.Pointer = reinterpret_cast<void*>(function);
  }
}
