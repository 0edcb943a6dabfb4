// The party panel: the row records the plug-in builds into the host's own row list, and
// the texts it draws for them every frame while the panel is open.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Orlavex/HostBinding.h"

// Host records, read in place. The fields between the ones named here belong to the host;
// the padding only keeps the named fields at the host's byte offsets.
#pragma pack(push, 1)

struct RelationNode {
    int32_t UnitId;     // the other player this node speaks about
    int32_t Flags;      // bits 1, 2, 4 and 8 are the relation bits the panel tests
    RelationNode* Next;
};

struct AliasNode {
    int32_t UnitId;     // a further unit id that means the same roster entry
    AliasNode* Next;
};

struct RosterEntry {
    uint8_t Host00[0x10];
    int32_t UnitId;            // 0x10
    uint8_t Host14[0x08];
    int32_t ClassCode;         // 0x1C, 0 to 6
    uint16_t Level;            // 0x20
    uint16_t PartyId;          // 0x22, NoParty when in no party
    int32_t LocationCode;      // 0x24
    uint8_t Host28[0x08];
    int32_t PartyState;        // 0x30, 0 to 4
    RelationNode** Relations;  // 0x34, cell holding the first node, or null
    AliasNode* Aliases;        // 0x38, or null
    uint8_t Host3C[0x2A];
    char Name[0x1A];           // 0x66, 8-bit, zero-terminated
    RosterEntry* Next;         // 0x80, or null
};

// One button of a party row, 32 bytes in the host's layout.
struct PartyRowButton {
    int32_t Primary;   // 1 in button 0, 0 in buttons 1 to 4
    int32_t X;
    int32_t Y;
    int32_t Image;     // image handle, copied from PartyImageA or PartyImageB
    int32_t Frame;     // frame number inside the image
    int32_t Number;    // 0 to 4
    int32_t State;     // button 0: the roster entry's party state; others 0
    int32_t Reserved;  // 0
};

// One row of the host's party panel: 209 bytes, packed, so everything from ClassCode on
// is unaligned. The host's own panel code reads these rows, so the layout is the host's.
struct PartyRow {
    PartyRowButton Buttons[5];  // 0, 32, 64, 96, 128
    char Name[25];              // 160: 24 characters and the terminator
    int32_t ClassCode;          // 185
    int32_t Level;              // 189, the roster's 16-bit level zero-extended
    int32_t LocationCode;       // 193
    int32_t UnitId;             // 197
    int32_t TextY;              // 201, row y + 13
    PartyRow* Next;             // 205
};

#pragma pack(pop)

static_assert(sizeof(RelationNode) == 12, "RelationNode: unit id, flags, next");
static_assert(sizeof(AliasNode) == 8, "AliasNode: unit id, next");
static_assert(offsetof(RosterEntry, UnitId) == 0x10, "RosterEntry.UnitId");
static_assert(offsetof(RosterEntry, ClassCode) == 0x1C, "RosterEntry.ClassCode");
static_assert(offsetof(RosterEntry, Level) == 0x20, "RosterEntry.Level");
static_assert(offsetof(RosterEntry, PartyId) == 0x22, "RosterEntry.PartyId");
static_assert(offsetof(RosterEntry, LocationCode) == 0x24, "RosterEntry.LocationCode");
static_assert(offsetof(RosterEntry, PartyState) == 0x30, "RosterEntry.PartyState");
static_assert(offsetof(RosterEntry, Relations) == 0x34, "RosterEntry.Relations");
static_assert(offsetof(RosterEntry, Aliases) == 0x38, "RosterEntry.Aliases");
static_assert(offsetof(RosterEntry, Name) == 0x66, "RosterEntry.Name");
static_assert(offsetof(RosterEntry, Next) == 0x80, "RosterEntry.Next");

static_assert(sizeof(PartyRowButton) == 32, "PartyRowButton is 32 bytes");
static_assert(offsetof(PartyRowButton, X) == 4 && offsetof(PartyRowButton, Y) == 8 &&
              offsetof(PartyRowButton, Image) == 12 && offsetof(PartyRowButton, Frame) == 16 &&
              offsetof(PartyRowButton, Number) == 20 && offsetof(PartyRowButton, State) == 24 &&
              offsetof(PartyRowButton, Reserved) == 28, "PartyRowButton fields");
static_assert(offsetof(PartyRow, Buttons) == 0, "PartyRow.Buttons");
static_assert(offsetof(PartyRow, Name) == 160, "PartyRow.Name");
static_assert(offsetof(PartyRow, ClassCode) == 185, "PartyRow.ClassCode");
static_assert(offsetof(PartyRow, Level) == 189, "PartyRow.Level");
static_assert(offsetof(PartyRow, LocationCode) == 193, "PartyRow.LocationCode");
static_assert(offsetof(PartyRow, UnitId) == 197, "PartyRow.UnitId");
static_assert(offsetof(PartyRow, TextY) == 201, "PartyRow.TextY");
static_assert(offsetof(PartyRow, Next) == 205, "PartyRow.Next");
static_assert(sizeof(PartyRow) == 209, "PartyRow is the host's 209-byte row");

const uint16_t NoParty = 0xFFFF;       // party id of a player in no party
const int PartyRowsMax = 9;            // rows the panel holds
const int PartyRowTop = 90;            // y of the first row
const int PartyRowSpacing = 33;        // pixels from one row to the next
const int PartyRowNameMax = 24;        // characters the row's name field holds

// Relation bits of RelationNode.Flags.
const int32_t RelationBit1 = 1;
const int32_t RelationBit2 = 2;
const int32_t RelationBit4 = 4;
const int32_t RelationBit8 = 8;

// Entered through the jump at PartyListBuildFunc whenever the host rebuilds its rows:
// frees the old rows, then adds one row per other player, at most PartyRowsMax.
void RebuildPartyRows();
// Called by the frame draw routine while the party panel is open.
void DrawPartyPanel();

void FreePartyRows();
void AddPartyRow(RosterEntry* entry, int y);
void DrawPartyRows();
void DrawPartyDividers();
// The location's name, owned by the host.
const Unicode* GetLocationName(int32_t code);
// Roster entries, the local one included, whose party id is id.
int CountPartyMembers(uint16_t id);
// The entry whose unit id or one of whose aliases is id; null for -1 or none.
RosterEntry* FindRosterEntry(int32_t id);
// 1 when the player a has the relation bit mask set toward the player b, else 0.
int TestRelation(int32_t a, int32_t b, int32_t mask);

// The five texts of a row.
void DrawPartyNameText(const char* name, int y, int colour, int limit);
void DrawPartyClassText(int32_t code, int y, int colour);
void DrawPartyLevelText(int32_t level, int y, int colour);
void DrawPartyLocationText(int32_t code, int y, int colour);
void DrawPartyStateText(int32_t state, uint16_t id, int y, bool same);
