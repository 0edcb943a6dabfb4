// The item-code lists and the item colour choice that the host's item handling consults
// through two patched places.
#pragma once

#include <cstdint>

// Item codes are four bytes, three characters and a space, compared as one 32-bit value
// (exact, case-sensitive, the space included). A list is walked four bytes at a time and
// ends at the first entry whose first byte is zero.
extern const char ShortItemCodeList[];
extern const char LongItemCodeList[];

// Colours the plug-in gives: flag 0x4A or a code in ShortItemCodeList -> 8, flag 0x100 -> 1
// (tested last, so it wins).
enum : int32_t { ListedItemColour = 8, FlaggedItemColour = 1 };

// Entered through the rewritten call at ItemColorCallSite, exactly as the host function the
// call reached: four stack arguments, the first the item, all popped on return. The host
// caller's colour variable lies 36 bytes above the return address at entry; the entry reads
// it, passes it to ChooseItemColor, writes the result back there and returns EAX = 0.
// Defined in HostAdapters.S; not callable from C++.
extern "C" void ChooseItemColorEntry();

// Entered through the call placed at ItemCodeTestSite: item code in ECX; returns EAX = 1 or
// 0; only EDX and the flags change besides EAX. Defined in HostAdapters.S.
extern "C" void IsListedItemCodeEntry();

// The colour for the item, given the colour the host has chosen so far.
extern "C" int32_t __cdecl ChooseItemColor(void* item, int32_t colour);

// 1 when the code is in LongItemCodeList, else 0.
extern "C" int32_t __cdecl IsListedItemCode(uint32_t code);
