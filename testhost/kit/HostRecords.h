// The host records the plug-in reads, laid out as the host lays them out, for the
// programs that play the host (the demo session and the benchmarks).
#pragma once
#include <cstdint>

#pragma pack(push, 1)
// One player of the roster that starts at RosterHead.
struct HostRosterEntry {
  uint8_t Host00[0x10];
  int32_t UnitId;  // 0x10
  uint8_t Host14[0x08];
  int32_t ClassCode;     // 0x1C
  uint16_t Level;        // 0x20
  uint16_t PartyId;      // 0x22
  int32_t LocationCode;  // 0x24
  uint8_t Host28[0x08];
  int32_t PartyState;  // 0x30
  void* Relations;     // 0x34: cell holding the first relation node
  void* Aliases;       // 0x38
  uint8_t Host3C[0x2A];
  char Name[0x1A];        // 0x66
  HostRosterEntry* Next;  // 0x80
};
#pragma pack(pop)
static_assert(sizeof(HostRosterEntry) == 0x84, "the host's roster entry");

// The unit that PlayerUnit points at.
struct HostUnit {
  uint8_t Host00[0xC];
  int32_t UnitId;  // 0xC
  int32_t Mode;    // 0x10
  uint8_t Rest[0x100];
};
