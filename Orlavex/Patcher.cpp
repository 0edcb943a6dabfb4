#include "Orlavex/Patcher.h"

#include "Orlavex/FatalError.h"
#include "Orlavex/FrameDraw.h"
#include "Orlavex/HostBinding.h"
#include "Orlavex/PacketIn.h"
#include "Orlavex/SendFilter.h"
#include "Orlavex/UI/Party.h"
#include "Orlavex/UI/ui.h"

#include <cstring>

#include <windows.h>

// Install order.
const PatchRow PatchTable[PatchRowCount] = {
    // per-frame draw call -> FrameDrawRoutine (takes and pops the call's stack argument)
    {"FrameDrawCallSite",
     &FrameDrawCallSite,
     PatchDisplacement,
     reinterpret_cast<const void*>(FrameDrawRoutine),
     {}},
    // the whole send function -> SendPacketFiltered; push ebp / mov ebp,esp / and esp,..
    {"SendPacketFunc",
     &SendPacketFunc,
     PatchJump,
     reinterpret_cast<const void*>(SendPacketFilteredEntry),
     {0x55, 0x8B, 0xEC, 0x83, 0xE4}},
    // incoming packets -> IncomingPacketHook; sub esp,1Ch / push esi / mov esi,..
    {"ReceivePacketFunc",
     &ReceivePacketFunc,
     PatchJump,
     reinterpret_cast<const void*>(IncomingPacketHook),
     {0x83, 0xEC, 0x1C, 0x56, 0x8B}},
    // item colour call -> ChooseItemColor
    {"ItemColorCallSite",
     &ItemColorCallSite,
     PatchDisplacement,
     reinterpret_cast<const void*>(ChooseItemColorEntry),
     {}},
    // xor eax,eax / lea esp,[esp] -> call IsListedItemCode
    {"ItemCodeTestSite",
     &ItemCodeTestSite,
     PatchCall,
     reinterpret_cast<const void*>(IsListedItemCodeEntry),
     {0x33, 0xC0, 0x8D, 0x24, 0x24}},
    // the whole party row rebuild -> RebuildPartyRows; push ebx / push esi / push edi / call
    {"PartyListBuildFunc",
     &PartyListBuildFunc,
     PatchJump,
     reinterpret_cast<const void*>(RebuildPartyRows),
     {0x53, 0x56, 0x57, 0xE8, 0xB8}},
};

// What install keeps for removal: the site as computed at install and, for displacement
// rows, the host's displacement found there.
struct PatchKept {
  uintptr_t Site;  // 0: not installed
  uint32_t SavedDisplacement;
};

static PatchKept Kept[PatchRowCount];

static const uint8_t CallOpcode = 0xE8;  // call rel32
static const uint8_t JumpOpcode = 0xE9;  // jmp rel32

// An instruction of the jump/call rows.
#pragma pack(push, 1)
struct RelativeBranch {
  uint8_t Opcode;         // E9 jmp / E8 call
  uint32_t Displacement;  // target - (site + 5)
};
#pragma pack(pop)
static_assert(sizeof(RelativeBranch) == 5, "a rel32 branch is 5 bytes");

void WriteCode(void* destination, const void* source, int32_t count) {
  if (count <= 0) return;
  DWORD sourceProtection = 0;
  DWORD destinationProtection = 0;
  VirtualProtect(const_cast<void*>(source), count, PAGE_EXECUTE_READWRITE, &sourceProtection);
  VirtualProtect(destination, count, PAGE_EXECUTE_READWRITE, &destinationProtection);
  memcpy(destination, source, count);
  DWORD ignored = 0;
  VirtualProtect(destination, count, destinationProtection, &ignored);
  VirtualProtect(const_cast<void*>(source), count, sourceProtection, &ignored);
  // Just-in-case measure: x86 keeps its caches coherent, the call is cheap and correct.
  FlushInstructionCache(GetCurrentProcess(), destination, count);
}

uint32_t ExchangeCodeDword(void* site, uint32_t value) {
  uint32_t found = 0;
  WriteCode(&found, site, 4);
  WriteCode(site, &value, 4);
  return found;
}

// Index of the first row not yet installed whose site does not hold what the plug-in
// expects, or -1.
static int FindUnexpectedPatchSite() {
  for (int i = 0; i < PatchRowCount; ++i) {
    const PatchRow& row = PatchTable[i];
    if (Kept[i].Site != 0) continue;
    const uint8_t* site = reinterpret_cast<const uint8_t*>(*row.Site);
    if (row.Kind == PatchDisplacement) {
      if (site[-1] != CallOpcode) return i;
    } else if (memcmp(site, row.HostBytes, sizeof(row.HostBytes)) != 0) {
      return i;
    }
  }
  return -1;
}

static void InstallRow(const PatchRow& row, PatchKept* kept) {
  // Installing twice would save the plug-in's own displacement as the host's.
  if (kept->Site != 0) return;
  uintptr_t site = *row.Site;
  uintptr_t target = reinterpret_cast<uintptr_t>(row.Target);
  if (row.Kind == PatchDisplacement) {
    uint32_t displacement = static_cast<uint32_t>(target - (site + 4));
    kept->SavedDisplacement = ExchangeCodeDword(reinterpret_cast<void*>(site), displacement);
  } else {
    RelativeBranch branch;
    branch.Opcode = row.Kind == PatchJump ? JumpOpcode : CallOpcode;
    branch.Displacement = static_cast<uint32_t>(target - (site + 5));
    WriteCode(reinterpret_cast<void*>(site), &branch, sizeof(branch));
  }
  kept->Site = site;
}

// Only what was installed is put back, at the address kept at install.
static void RemoveRow(const PatchRow& row, PatchKept* kept) {
  if (kept->Site == 0) return;
  void* site = reinterpret_cast<void*>(kept->Site);
  if (row.Kind == PatchDisplacement) {
    ExchangeCodeDword(site, kept->SavedDisplacement);
  } else {
    WriteCode(site, row.HostBytes, sizeof(row.HostBytes));
  }
  kept->Site = 0;
}

void InstallPatches(int32_t install) {
  // A host build other than the one these sites belong to would be corrupted by the first
  // write; refuse before any.
  if (install && FindUnexpectedPatchSite() >= 0) {
    CriticalErrorExit("ZVClient.dll is not a supported build");
  }
  for (int i = 0; i < PatchRowCount; ++i) {
    if (install) {
      InstallRow(PatchTable[i], &Kept[i]);
    } else {
      RemoveRow(PatchTable[i], &Kept[i]);
    }
  }
}
