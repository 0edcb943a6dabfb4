// The code patcher: six places in ZVClient.dll rewritten to lead into the plug-in while the
// state loop runs, and put back byte for byte afterwards.
//
// To bring a row into use: in Patcher.cpp, replace the row's null Target with the address of
// its routine (include the routine's header there). A row with a null Target is neither
// checked nor written, so rows come into use one by one as their routines land.
#pragma once

#include <stdint.h>

enum PatchKind {
  PatchDisplacement,  // the 32-bit displacement of an existing host call: target - (site + 4)
  PatchJump,          // 5 bytes: E9 jmp rel32, rel32 = target - (site + 5)
  PatchCall,          // 5 bytes: E8 call rel32, rel32 = target - (site + 5)
};

struct PatchRow {
  const char* Name;
  const uintptr_t* Site;  // a bound host location (HostBinding.h)
  PatchKind Kind;
  const void* Target;    // the plug-in routine; null: row not in use yet
  uint8_t HostBytes[5];  // jump/call rows: the host's bytes, expected before install and
                         // written back at removal
};

// What install keeps for removal: the site as computed at install and, for displacement
// rows, the host's displacement found there.
struct PatchKept {
  uintptr_t Site;  // 0: not installed
  uint32_t SavedDisplacement;
};

enum { PatchRowCount = 6 };
extern const PatchRow PatchTable[PatchRowCount];  // in install order

// Nonzero installs every row in use, zero removes them, both in table order. Before the
// first byte is written every row in use is compared with the host: a jump/call site must
// hold its five host bytes, a displacement site must follow a call opcode (0xE8). A
// mismatch writes nothing and ends the process: "ZVClient.dll is not a supported build".
void InstallPatches(int32_t install);

// The same over any table with its own bookkeeping (one PatchKept per row).
void ApplyPatchTable(const PatchRow* rows, int count, PatchKept* kept, int32_t install);

// Index of the first row in use and not yet installed whose site does not hold what the
// plug-in expects, or -1.
int FindUnexpectedPatchSite(const PatchRow* rows, int count, const PatchKept* kept);

// Copies count bytes with the protection of both ranges lifted for the copy, then gives
// both their protection back and flushes the instruction cache for the destination.
// Nothing happens for a count of 0 or below.
void WriteCode(void* destination, const void* source, int32_t count);

// Leaves value at the site and returns the 4 bytes that were there.
uint32_t ExchangeCodeDword(void* site, uint32_t value);
