#include "Orlavex/ClientEntry.h"

#include "Orlavex/FatalError.h"
#include "Orlavex/Patcher.h"

#include <windows.h>

LaunchSettings* ClientLaunchSettings;

static const ClientInterfaceTable ClientInterface = {ClientEntry};

// The source line the host's report names for a bad state.
static const int32_t BadStateLine = 310;

enum {
  StateLeave = 1,
  StateFirst = 3,
  StateHighest = 6,
  ClientModulePathSize = 260,
};

typedef int32_t(__cdecl* StateHandler)();

static void RunStateLoop() {
  // ClientState is read from host memory on every pass: a handler may set it itself.
  while (HostCell<int32_t>(ClientState) != StateLeave) {
    int32_t state = HostCell<int32_t>(ClientState);
    StateHandler handler = reinterpret_cast<StateHandler>(
        HostCell<uintptr_t>(ClientStateHandlers + 4 * static_cast<uint32_t>(state)));
    int32_t next = handler();
    HostCell<int32_t>(ClientState) = next;
    if (next < StateLeave || next > StateHighest) FatalErrorAtLine(BadStateLine);
  }
}

const ClientInterfaceTable* QueryInterface() { return &ClientInterface; }

uint32_t ClientResultForMode(int32_t gameMode) {
  switch (gameMode) {
    case 2:
    case 3:
    case 6:
    case 7:
      return ClientResultModeA;
    default:
      return ClientResultOther;
  }
}

uint32_t __fastcall ClientEntry(LaunchSettings* settings) {
  // HostClientModule was kept by DllMain when it loaded the host client.
  ClientLaunchSettings = settings;
  BindHost();
  HostCell<uintptr_t>(ClientLaunchSettingsPtr) = reinterpret_cast<uintptr_t>(settings);
  HostCell<uint32_t>(ClientModuleHandle) = static_cast<uint32_t>(HostClientModule);

  if (settings->ClientSettingSwitch != 0) HostCell<int32_t>(ClientSettingFlag) = 1;

  VuskStartupA(0);
  VuskStartupB(0, 1);
  GetModuleFileNameA(reinterpret_cast<HMODULE>(HostClientModule),
                     reinterpret_cast<char*>(ClientModulePath), ClientModulePathSize);

  if (HostCallEdi(ClientSetup, reinterpret_cast<uint32_t>(settings)) == 0)
    return ClientResultLoopOpen;
  if (HostCall(ClientStart) == 0) return ClientResultLoopOpen;

  WinStartup();
  WinSetCallback(ClientWinCallback);

  if (LangLoad(WinQuery(VuskQuery()), 0) == 0) return ClientResultLoopOpen;
  uint32_t scratch = 0;  // the host fills it; nothing here reads it
  LangStartupB(&scratch, 0);

  CommonStartup(WinQuery(0), settings->GameMode == 6 ? 1 : 0);

  HostCell<int32_t>(ClientState) = StateFirst;
  HostCell<int32_t>(ClientLoopFlag) = 1;

  InstallPatches(1);
  RunStateLoop();
  InstallPatches(0);

  WinShutdown();
  CommonShutdown();
  LangShutdown();
  HostCall(ClientStop);
  CommonRelease();
  HostCall(ClientCleanup);

  uint32_t result = ClientResultLoopOpen;
  if (HostCell<int32_t>(ClientLoopFlag) == 0) result = ClientResultForMode(settings->GameMode);
  HostCell<int32_t>(ClientExitCode) = static_cast<int32_t>(result);
  return result;
}
