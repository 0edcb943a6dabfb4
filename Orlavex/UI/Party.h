// The party panel: the row records the plug-in builds into the host's own row list, and
// the texts it draws for them every frame while the panel is open.
#pragma once

#include "Orlavex/HostBinding.h"
#include "Orlavex/HostRecords.h"

#include <cstddef>
#include <cstdint>

enum { PartyRowButtonCount = 5 };

#pragma pack(push, 1)

// One button of a party row: 32 bytes in the host's layout.
struct PartyRowButton {
  int32_t Primary;  // 1 in button 0, 0 in buttons 1 to 4
  int32_t X;
  int32_t Y;
  int32_t Image;     // image handle, PartyImageA or PartyImageB as read at build time
  int32_t Frame;     // frame number inside the image
  int32_t Number;    // 0 to 4
  int32_t State;     // button 0: the roster entry's party state; buttons 1 to 4: 0
  int32_t Reserved;  // 0
};

// One row of the host's party panel: 209 bytes, packed, so everything from ClassCode on is
// unaligned. The host's own panel code walks these rows, so the layout is the host's.
struct PartyRow {
  PartyRowButton Buttons[PartyRowButtonCount];  // at 0, 32, 64, 96, 128
  char Name[25];         // 160: PartyRowNameMax characters and the terminator
  int32_t ClassCode;     // 185
  int32_t Level;         // 189, the roster's 16-bit level zero-extended
  int32_t LocationCode;  // 193
  int32_t UnitId;        // 197
  int32_t TextY;         // 201, row y + 13
  PartyRow* Next;        // 205, or null
};

#pragma pack(pop)

static_assert(sizeof(PartyRowButton) == 32, "a row button is 32 bytes");
static_assert(offsetof(PartyRowButton, X) == 4, "host layout");
static_assert(offsetof(PartyRowButton, Y) == 8, "host layout");
static_assert(offsetof(PartyRowButton, Image) == 12, "host layout");
static_assert(offsetof(PartyRowButton, Frame) == 16, "host layout");
static_assert(offsetof(PartyRowButton, Number) == 20, "host layout");
static_assert(offsetof(PartyRowButton, State) == 24, "host layout");
static_assert(offsetof(PartyRowButton, Reserved) == 28, "host layout");
static_assert(offsetof(PartyRow, Buttons[1]) == 32 && offsetof(PartyRow, Buttons[4]) == 128,
              "buttons at 0, 32, 64, 96, 128");
static_assert(offsetof(PartyRow, Name) == 160, "host layout");
static_assert(offsetof(PartyRow, ClassCode) == 185, "host layout");
static_assert(offsetof(PartyRow, Level) == 189, "host layout");
static_assert(offsetof(PartyRow, LocationCode) == 193, "host layout");
static_assert(offsetof(PartyRow, UnitId) == 197, "host layout");
static_assert(offsetof(PartyRow, TextY) == 201, "host layout");
static_assert(offsetof(PartyRow, Next) == 205, "host layout");
static_assert(sizeof(PartyRow) == 209, "the host's row is 209 bytes");

enum {
  PartyRowsMax = 9,         // rows the panel holds
  PartyRowTop = 90,         // y of the first row
  PartyRowSpacing = 33,     // pixels from one row to the next
  PartyRowNameMax = 24,     // characters the row's name field holds
  PartyRowAllocLine = 296,  // source lines the host's allocator is told
  PartyRowFreeLine = 112,
  PartyRowNullEntryLine = 295,  // source line of the fatal report for a null entry
};

// The source path the host's allocator is given with every row.
extern const char PartySourcePath[];

// Entered through the jump at PartyListBuildFunc whenever the host rebuilds its rows (no
// arguments, no result, the host's usual register contract): frees the old rows, then adds
// one row per other player, at most PartyRowsMax. When the host's allocator gives no block
// the rows end there: rows and roster entries are paired by position, so no row is skipped.
extern "C" void __cdecl RebuildPartyRows();
// Called by the frame draw routine while the party panel (flag 22) is open.
void DrawPartyPanel();

void FreePartyRows();
// Appends a row for entry at y; a null entry is fatal (line 295). False when the host's
// allocator gave no block: no row was added.
bool AddPartyRow(RosterEntry* entry, int32_t y);
void DrawPartyRows();
void DrawPartyDividers();
// The location's name, owned by the host.
const UnicodeChar* GetLocationName(int32_t code);
// Roster entries, the local one included, whose party id is id.
int32_t CountPartyMembers(uint16_t id);
// The entry whose unit id, or one of whose aliases, is id; null for -1 or none.
RosterEntry* FindRosterEntry(int32_t id);
// 1 when player a has the relation bits of mask toward player b, else 0.
int32_t TestRelation(int32_t a, int32_t b, int32_t mask);

// The five texts of a row; y is the y the row's text routine is given, colour the row colour.
void DrawPartyNameText(const char* name, int32_t y, int32_t colour, int32_t limit);
void DrawPartyClassText(int32_t code, int32_t y, int32_t colour);
void DrawPartyLevelText(int32_t level, int32_t y, int32_t colour);
void DrawPartyLocationText(int32_t code, int32_t rowY, int32_t colour);
void DrawPartyStateText(int32_t state, uint16_t id, int32_t rowY, bool same);
