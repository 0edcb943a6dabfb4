// The code patcher: six places in ZVClient.dll rewritten to lead into the plug-in while the
// state loop runs, and put back byte for byte afterwards.
#pragma once

#include <cstdint>

enum PatchKind {
  PatchDisplacement,  // the 32-bit displacement of an existing host call: target - (site + 4)
  PatchJump,          // 5 bytes: E9 jmp rel32, rel32 = target - (site + 5)
  PatchCall,          // 5 bytes: E8 call rel32, rel32 = target - (site + 5)
};

struct PatchRow {
  const char* Name;
  const uintptr_t* Site;  // a bound host location (HostBinding.h)
  PatchKind Kind;
  const void* Target;    // the plug-in routine the site leads to
  uint8_t HostBytes[5];  // jump/call rows: the host's bytes, expected before install and
                         // written back at removal
};

enum { PatchRowCount = 6 };
extern const PatchRow PatchTable[PatchRowCount];  // in install order

// Nonzero installs every row, zero removes them, both in table order. Before the first byte
// is written every row not yet installed is compared with the host: a jump/call site must
// hold its five host bytes, a displacement site must follow a call opcode (0xE8). A
// mismatch writes nothing and ends the process: "ZVClient.dll is not a supported build".
// A row already installed is skipped by a second install; removal puts back only what was
// installed.
void InstallPatches(int32_t install);

// Copies count bytes with the protection of both ranges lifted for the copy, then gives
// both their protection back and flushes the instruction cache for the destination.
// Nothing happens for a count of 0 or below.
void WriteCode(void* destination, const void* source, int32_t count);

// Leaves value at the site and returns the 4 bytes that were there.
uint32_t ExchangeCodeDword(void* site, uint32_t value);
