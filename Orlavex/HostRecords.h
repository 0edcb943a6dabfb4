// The host's records that the plug-in reads in place, in the host's layout. The plug-in
// and every program that plays the host (tests, the demo session, the benchmarks) use these
// same definitions, so that a layout is written down once.
//
// The padding only keeps the named fields at the host's byte offsets; what lies between
// belongs to the host.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

// A unit: the local player's, as PlayerUnit points at it.
struct UnitRecord {
  uint8_t Host00[0x0C];
  int32_t UnitId;  // 0x0C
  int32_t Mode;    // 0x10
};

// How a roster entry's player stands toward the player with UnitId.
struct RelationNode {
  int32_t UnitId;  // the player this node speaks about
  int32_t Flags;   // RelationFlag bits
  RelationNode* Next;
};

struct AliasNode {
  int32_t UnitId;  // a further unit id of the same roster entry
  AliasNode* Next;
};

// One player of the roster that starts at RosterHead; the first entry is the local player.
struct RosterEntry {
  uint8_t Host00[0x10];
  int32_t UnitId;  // 0x10
  uint8_t Host14[0x08];
  int32_t ClassCode;     // 0x1C, 0 to 6
  uint16_t Level;        // 0x20
  uint16_t PartyId;      // 0x22, NoParty when in no party
  int32_t LocationCode;  // 0x24
  uint8_t Host28[0x08];
  int32_t PartyState;        // 0x30, 0 to 4
  RelationNode** Relations;  // 0x34, a cell holding the first node, or null
  AliasNode* Aliases;        // 0x38, or null
  uint8_t Host3C[0x2A];
  char Name[0x1A];    // 0x66, 8-bit, zero-terminated
  RosterEntry* Next;  // 0x80, or null
};

#pragma pack(pop)

static_assert(offsetof(UnitRecord, UnitId) == 0x0C, "host layout");
static_assert(offsetof(UnitRecord, Mode) == 0x10, "host layout");
static_assert(sizeof(UnitRecord) == 0x14, "the fields read end the record as far as it is used");

static_assert(sizeof(RelationNode) == 12, "RelationNode: unit id, flags, next");
static_assert(offsetof(RelationNode, Flags) == 4 && offsetof(RelationNode, Next) == 8,
              "host layout");
static_assert(sizeof(AliasNode) == 8, "AliasNode: unit id, next");
static_assert(offsetof(AliasNode, Next) == 4, "host layout");

static_assert(offsetof(RosterEntry, UnitId) == 0x10, "host layout");
static_assert(offsetof(RosterEntry, ClassCode) == 0x1C, "host layout");
static_assert(offsetof(RosterEntry, Level) == 0x20, "host layout");
static_assert(offsetof(RosterEntry, PartyId) == 0x22, "host layout");
static_assert(offsetof(RosterEntry, LocationCode) == 0x24, "host layout");
static_assert(offsetof(RosterEntry, PartyState) == 0x30, "host layout");
static_assert(offsetof(RosterEntry, Relations) == 0x34, "host layout");
static_assert(offsetof(RosterEntry, Aliases) == 0x38, "host layout");
static_assert(offsetof(RosterEntry, Name) == 0x66, "host layout");
static_assert(offsetof(RosterEntry, Next) == 0x80, "host layout");
static_assert(sizeof(RosterEntry) == 0x84, "the host's roster entry");

// The party id of a player in no party.
const uint16_t NoParty = 0xFFFF;

// The mode the host leaves a player in until the server revives it.
enum : int32_t { UnitModeDown = 17 };

// RelationNode.Flags: how the entry's player stands toward the node's player. Each flag
// from the local player toward a row's player picks the lit frame of one of the row's
// buttons; the button-1 flag from a row's player toward the local player also colours the
// row.
enum : int32_t {
  RelationFlagButton2 = 1,  // button 2: frame 14 instead of 12
  RelationFlagButton3 = 2,  // button 3: frame 2 instead of 0
  RelationFlagButton4 = 4,  // button 4: frame 10 instead of 8
  RelationFlagButton1 = 8,  // button 1: frame 6 instead of 4
};
