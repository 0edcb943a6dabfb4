// Stand-in Game.exe: loads Orlavex.dll as the host executable does, asks it for its
// interface and runs slot 0 with a LaunchSettings record in ECX.
//   Game.exe [game mode] [byte 0xC98] [byte 0xC99]
// The session: the first state handler call clears the loop flag and leaves the loop, as
// the host does when the player quits. Prints "ClientEntry returned N" and exits with N;
// 100: Orlavex.dll did not load, 101: no QueryInterface.
#include "testhost/ClientOffsets.h"
#include "testhost/HostJournal.h"

#include <cstdio>
#include <cstdlib>
#include <windows.h>

static uint8_t Settings[0x1000];

static uint32_t QuitSession(HostCallRecord*, void*) {
  *reinterpret_cast<volatile int32_t*>(HostClientBase() + Offset_ClientLoopFlag) = 0;
  return 1;
}

int main(int argc, char** argv) {
  int32_t mode = argc > 1 ? atoi(argv[1]) : 0;
  memcpy(Settings + 0x14, &mode, 4);
  Settings[0xC98] = static_cast<uint8_t>(argc > 2 ? atoi(argv[2]) : 0);
  Settings[0xC99] = static_cast<uint8_t>(argc > 3 ? atoi(argv[3]) : 0);

  HMODULE plugin = LoadLibraryA("Orlavex.dll");
  if (plugin == nullptr) {
    printf("Orlavex.dll did not load (error %lu)\n", GetLastError());
    return 100;
  }
  typedef const void* (*QueryFn)();
  QueryFn query =
      reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(plugin, "QueryInterface")));
  if (query == nullptr) {
    printf("Orlavex.dll has no QueryInterface\n");
    return 101;
  }
  typedef uint32_t(__fastcall * EntryFn)(void* settings);
  const EntryFn* slots = static_cast<const EntryFn*>(query());
  HostSetCallback("ClientStateHandler", QuitSession, nullptr);
  uint32_t result = slots[0](Settings);
  printf("ClientEntry returned %u\n", result);
  fflush(stdout);
  return static_cast<int>(result);
}
