#include "Orlavex/HostBinding.h"

#include <windows.h>

// Called for every reason code; the reason does not matter. The host client module is
// loaded once, by its bare name, and never released. FALSE on process attach makes the
// system refuse to load the plug-in.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  if (HostClientModule == 0)
    HostClientModule = reinterpret_cast<uintptr_t>(LoadLibraryA("ZVClient.dll"));
  return HostClientModule != 0 ? TRUE : FALSE;
}
