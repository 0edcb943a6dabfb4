// The plug-in's interface to the host executable and the client entry point.
#pragma once

#include "Orlavex/HostBinding.h"

#include <cstdint>

// The results the host executable acts on.
enum ClientResult {
  ClientResultLoopOpen = 0,  // the loop flag was still set, or a start-up step failed
  ClientResultModeA = 3,     // game modes 2, 3, 6 and 7
  ClientResultOther = 4,     // every other game mode
};

typedef uint32_t(__fastcall* ClientEntryFn)(LaunchSettings* settings);

// The one-slot table QueryInterface hands the host; slot 0 is ClientEntry.
struct ClientInterfaceTable {
  ClientEntryFn Entry;
};

// LaunchSettings pointer kept for the whole process (read again by the stat text).
extern LaunchSettings* ClientLaunchSettings;

// Slot 0: LaunchSettings in ECX. Binds, starts the host modules, runs the state loop between
// installing and removing the patches, shuts down, returns 0, 3 or 4. Returns 0 early when
// ClientSetup, ClientStart or LangLoad fails.
extern "C" uint32_t __fastcall ClientEntry(LaunchSettings* settings);

// Only export (ordinal 1): the same table on every call.
extern "C" const ClientInterfaceTable* QueryInterface();

// The result for a game mode once the host cleared its loop flag.
uint32_t ClientResultForMode(int32_t gameMode);
