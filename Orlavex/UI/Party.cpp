#include "Orlavex/UI/Party.h"

#include "Orlavex/FatalError.h"
#include "Orlavex/FrameDraw.h"

#include <cstring>

#include <windows.h>

const char PartySourcePath[] = "C:\\Brellix\\Source\\Orlavex\\UI\\Party";

// Text buffers on the stack, in 16-bit characters; the sizes are the host's.
enum {
  NameTextSize = 32,
  LevelTextSize = 100,
  LocationTextSize = 255,
  LevelNumberSize = 16,   // "%2u" of a 32-bit level: at most 10 digits
  NameConvertMax = 16,    // the host converts at most this much of a name
  DotsConvertMax = 4,     // "..." and its terminator
  TailConvertMax = 5,     // "...." and its terminator
  TailLastCharacter = 3,  // the tail's character that becomes the name's last one
  LevelPrefixMax = 20,    // characters of string 3368 the level text keeps
  LevelNumberConvertMax = 9,
};

// Pixels.
enum {
  NameLimitInParty = 95,   // a name may take this much when its player is in a party
  NameLimitAlone = 135,    // ... and when not
  LocationLimit = 140,     // a location name may take this much whole
  LocationTailRoom = 139,  // the cut name and its tail share this much
  StateFieldWidth = 54,    // the party-state text is centred in this many pixels
  DividerTop = 71,         // y of the first divider place, 19 above the first row
  DividerBottom = 335,     // the last divider place at a row
};

// Where a row's texts go, relative to the row's y and before the screen shift.
enum {
  NameTextX = 36,
  ClassTextX = 36,
  LevelTextX = 266,
  LocationTextX = 126,
  TitleLineRise = 2,    // name and party state: this far above the row's y
  DetailLineDrop = 12,  // class, level and location: this far below it
  RowTextYOffset = 13,  // PartyRow.TextY: the row's y plus this
};

// The hover text's region (inclusive) and position, before the screen shift.
enum {
  HoverLeft = 278,
  HoverRight = 310,
  HoverTop = 389,
  HoverBottom = 421,
  HoverTextX = 293,
  HoverTextY = 386,
};

// The host's text colours the panel uses.
enum {
  ColourPlain = 0,    // in no party
  ColourMarksUs = 1,  // the row's player has the button-1 relation toward us
  ColourOwnParty = 2,
  ColourOtherParty = 8,
};

// Host string numbers.
enum {
  TextPartyHover = 4143,
  TextLevelPrefix = 3368,
  TextLevelSeparator = 3997,
  TextLevelLabel = 3995,
  TextNoLocationRecord = 5389,
  TextLocation8Flagged = 5048,
  TextLocation8 = 5047,
};

// Locations: code 8 is named by the host's strings, the others by their host record.
enum {
  LocationCodeSpecial = 8,
  LocationRecordNameOffset = 366,  // bytes into the record: the name, host text
};

// The rows' texts are drawn in the host's font 0; font 1 is set back after each row.
enum { RowTextFont = 0, PanelTextFont = 1 };

// By class code, 0 to 6.
static const int32_t ClassTextNumbers[] = {4154, 4155, 4157, 4158, 4156, 10097, 10098};
static const int32_t ClassCodeCount = sizeof(ClassTextNumbers) / sizeof(ClassTextNumbers[0]);

// The five buttons of a row. Button 0 carries the party state; each other one shows its lit
// frame when the local player has its relation flag toward the row's player.
struct RowButtonLayout {
  int32_t X;
  int32_t YOffset;  // below the row's y
  bool ImageA;      // PartyImageA, else PartyImageB
  int32_t RelationFlag;
  int32_t Frame;
  int32_t LitFrame;
};
static const RowButtonLayout RowButtons[] = {
    {190, 0, true, 0, 0, 0},
    {14, 7, false, RelationFlagButton1, 4, 6},
    {245, 0, false, RelationFlagButton2, 12, 14},
    {266, 0, false, RelationFlagButton3, 0, 2},
    {287, 0, false, RelationFlagButton4, 8, 10},
};
static_assert(sizeof(RowButtons) / sizeof(RowButtons[0]) == PartyRowButtonCount,
              "one layout per button of the row");

// The party-state text by state; state 1 depends on the party (see DrawPartyStateText).
struct StateTextRow {
  int32_t Number;
  int32_t Colour;
  int32_t X;  // the field's left end before centring
};
enum { StateInParty = 1 };
static const StateTextRow StateTexts[] = {
    {4150, ColourPlain, 190},  // 0
    {0, 0, 0},                 // 1: by party, below
    {4151, ColourPlain, 190},  // 2
    {4152, ColourPlain, 190},  // 3
    {5103, ColourPlain, 190},  // 4
};
static const uint32_t StateCount = sizeof(StateTexts) / sizeof(StateTexts[0]);
static const StateTextRow StateInOwnParty = {4148, ColourOwnParty, 155};
static const StateTextRow StateInOtherParty = {4149, ColourOtherParty, 175};

static RosterEntry* Roster() {
  return reinterpret_cast<RosterEntry*>(HostCell<uintptr_t>(RosterHead));
}

static PartyRow* FirstRow() {
  return reinterpret_cast<PartyRow*>(HostCell<uintptr_t>(PartyRowList));
}

// Relation flag of the local player toward the player with unit id other (0 without a
// local player).
static int32_t RelationTowards(int32_t other, int32_t flag) {
  const UnitRecord* local = LocalPlayerUnit();
  if (local == nullptr) return 0;
  return TestRelation(local->UnitId, other, flag);
}

// A party id only one roster entry carries counts as no party.
static uint16_t EffectivePartyId(const RosterEntry* entry) {
  return CountPartyMembers(entry->PartyId) >= 2 ? entry->PartyId : NoParty;
}

// Appends as much of text as fits behind what buffer (size characters, terminated) holds.
// Host texts come from language files that translators edit: whatever their length, the
// part that fits is kept and the buffer's last character stays the terminator.
static void AppendText(UnicodeChar* buffer, int32_t size, const UnicodeChar* text) {
  int32_t length = UnicodeStrlen(buffer);
  int32_t room = size - 1 - length;
  // The host's strncpy writes at most room characters (padding with zeros), so the copy
  // ends at or before buffer[size - 1].
  if (room > 0) UnicodeStrncpy(buffer + length, text, room);
  buffer[size - 1] = 0;
}

// Removes characters from the end of text until its width is at most limit. Stops at the
// empty text, whatever width the host gives it.
static void CutToWidth(UnicodeChar* text, int32_t limit) {
  int32_t length = UnicodeStrlen(text);
  while (length > 0 && GetTextWidth(text) > limit) text[--length] = 0;
}

int32_t CountPartyMembers(uint16_t id) {
  int32_t count = 0;
  for (const RosterEntry* entry = Roster(); entry != nullptr; entry = entry->Next)
    if (entry->PartyId == id) ++count;
  return count;
}

RosterEntry* FindRosterEntry(int32_t id) {
  if (id == -1) return nullptr;
  for (RosterEntry* entry = Roster(); entry != nullptr; entry = entry->Next) {
    if (entry->UnitId == id) return entry;
    for (const AliasNode* alias = entry->Aliases; alias != nullptr; alias = alias->Next)
      if (alias->UnitId == id) return entry;
  }
  return nullptr;
}

int32_t TestRelation(int32_t a, int32_t b, int32_t mask) {
  if (a == b) return 0;
  const RosterEntry* entry = FindRosterEntry(a);
  if (entry == nullptr || entry->Relations == nullptr) return 0;
  for (const RelationNode* node = *entry->Relations; node != nullptr; node = node->Next)
    if (node->UnitId == b) return (node->Flags & mask) != 0 ? 1 : 0;
  return 0;
}

void FreePartyRows() {
  PartyRow* row = FirstRow();
  while (row != nullptr) {
    PartyRow* next = row->Next;  // read before the host takes the block back
    MemFree(row, PartySourcePath, PartyRowFreeLine, 0);
    row = next;
  }
  HostCell<uintptr_t>(PartyRowList) = 0;
}

bool AddPartyRow(RosterEntry* entry, int32_t y) {
  if (entry == nullptr) FatalErrorAtLine(PartyRowNullEntryLine);

  PartyRow* row =
      static_cast<PartyRow*>(MemAlloc(sizeof(PartyRow), PartySourcePath, PartyRowAllocLine, 0));
  if (row == nullptr) return false;
  memset(row, 0, sizeof(PartyRow));

  int32_t imageA = HostCell<int32_t>(PartyImageA);
  int32_t imageB = HostCell<int32_t>(PartyImageB);
  int32_t unitId = entry->UnitId;
  for (int32_t i = 0; i < PartyRowButtonCount; ++i) {
    const RowButtonLayout& layout = RowButtons[i];
    PartyRowButton& button = row->Buttons[i];
    button.X = layout.X;
    button.Y = y + layout.YOffset;
    button.Image = layout.ImageA ? imageA : imageB;
    bool lit = layout.RelationFlag != 0 && RelationTowards(unitId, layout.RelationFlag) != 0;
    button.Frame = lit ? layout.LitFrame : layout.Frame;
    button.Number = i;
  }
  row->Buttons[0].Primary = 1;
  row->Buttons[0].State = entry->PartyState;
  row->UnitId = unitId;
  row->TextY = y + RowTextYOffset;

  // The field holds PartyRowNameMax characters: a longer roster name is cut rather than
  // written over the fields behind it (the row is zeroed, so the copy stays terminated).
  for (int i = 0; i < PartyRowNameMax && entry->Name[i] != 0; ++i) row->Name[i] = entry->Name[i];

  row->ClassCode = entry->ClassCode;
  row->Level = entry->Level;
  row->LocationCode = entry->LocationCode;

  PartyRow* last = FirstRow();
  if (last == nullptr) {
    HostCell<uintptr_t>(PartyRowList) = reinterpret_cast<uintptr_t>(row);
    return true;
  }
  while (last->Next != nullptr) last = last->Next;
  last->Next = row;
  return true;
}

extern "C" void __cdecl RebuildPartyRows() {
  FreePartyRows();
  RosterEntry* head = Roster();
  if (head == nullptr) return;
  int32_t rows = 0;
  for (RosterEntry* entry = head->Next; entry != nullptr && rows < PartyRowsMax;
       entry = entry->Next) {
    if (!AddPartyRow(entry, PartyRowTop + PartyRowSpacing * rows)) return;
    ++rows;
  }
}

const UnicodeChar* GetLocationName(int32_t code) {
  const uint8_t* record = static_cast<const uint8_t*>(GetNamedRecord(code));
  if (record == nullptr) return GetLocalizedText(TextNoLocationRecord);
  if (code == LocationCodeSpecial)
    return GetLocalizedText(ClientQueryFlag(0, 1) != 0 ? TextLocation8Flagged : TextLocation8);
  return reinterpret_cast<const UnicodeChar*>(record + LocationRecordNameOffset);
}

void DrawPartyNameText(const char* name, int32_t y, int32_t colour, int32_t limit) {
  UnicodeChar text[NameTextSize] = {};
  UnicodeToUnicode(text, name, NameConvertMax);
  if (GetTextWidth(text) > limit) {
    CutToWidth(text, limit);
    // The dots go beyond the limit; the name alone is held to it.
    UnicodeChar dots[DotsConvertMax] = {};
    UnicodeToUnicode(dots, "...", DotsConvertMax);
    AppendText(text, NameTextSize, dots);
  }
  DrawUiText(text, ScreenShiftX + NameTextX, y + ScreenShiftY - TitleLineRise, colour, 0);
}

void DrawPartyClassText(int32_t code, int32_t y, int32_t colour) {
  if (code < 0 || code >= ClassCodeCount) return;
  DrawUiText(GetLocalizedText(ClassTextNumbers[code]), ScreenShiftX + ClassTextX, y + ScreenShiftY,
             colour, 0);
}

void DrawPartyLevelText(int32_t level, int32_t y, int32_t colour) {
  UnicodeChar text[LevelTextSize] = {};
  UnicodeStrncpy(text, GetLocalizedText(TextLevelPrefix), LevelPrefixMax);
  AppendText(text, LevelTextSize, GetLocalizedText(TextLevelSeparator));
  AppendText(text, LevelTextSize, GetLocalizedText(TextLevelLabel));
  char number[LevelNumberSize] = {};
  wsprintfA(number, "%2u", static_cast<unsigned>(level));
  UnicodeChar numberText[LevelNumberSize] = {};
  UnicodeWin2Unicode(numberText, number, LevelNumberConvertMax);
  AppendText(text, LevelTextSize, numberText);
  DrawUiText(text, ScreenShiftX + LevelTextX, y + ScreenShiftY, colour, 0);
}

void DrawPartyLocationText(int32_t code, int32_t rowY, int32_t colour) {
  UnicodeChar text[LocationTextSize] = {};
  AppendText(text, LocationTextSize, GetLocationName(code));
  if (GetTextWidth(text) > LocationLimit) {
    // The tail shows that the name was cut and still ends in the name's last character.
    int32_t length = UnicodeStrlen(text);
    UnicodeChar tail[TailConvertMax] = {};
    UnicodeToUnicode(tail, "....", TailConvertMax);
    tail[TailLastCharacter] = length > 0 ? text[length - 1] : 0;
    CutToWidth(text, LocationTailRoom - GetTextWidth(tail));
    AppendText(text, LocationTextSize, tail);
  }
  DrawUiText(text, ScreenShiftX + LocationTextX, rowY + DetailLineDrop + ScreenShiftY, colour, 0);
}

void DrawPartyStateText(int32_t state, uint16_t id, int32_t rowY, bool same) {
  uint32_t index = static_cast<uint32_t>(state);  // a negative state is no state either
  if (index >= StateCount) return;
  const StateTextRow* row = &StateTexts[index];
  if (index == StateInParty) {
    if (id == NoParty) return;
    row = same ? &StateInOwnParty : &StateInOtherParty;
  }
  const UnicodeChar* text = GetLocalizedText(row->Number);
  int32_t width = GetTextWidth(text);
  int32_t x = ScreenShiftX + row->X;
  if (width < StateFieldWidth) x += (StateFieldWidth - width) / 2;
  DrawUiText(text, x, rowY + ScreenShiftY - TitleLineRise, row->Colour, 0);
}

void DrawPartyRows() {
  RosterEntry* head = Roster();
  const UnitRecord* local = LocalPlayerUnit();
  if (head == nullptr || local == nullptr) return;
  int32_t localId = local->UnitId;
  uint16_t own = EffectivePartyId(head);

  PartyRow* row = FirstRow();
  RosterEntry* entry = head->Next;
  int32_t y = PartyRowTop;
  for (int32_t drawn = 0; row != nullptr && entry != nullptr && drawn < PartyRowsMax; ++drawn) {
    // Party standing and relations come from the roster now; the rest from the row.
    uint16_t id = EffectivePartyId(entry);
    bool ownParty = id != NoParty && id == own;
    int32_t colour = ColourPlain;
    if (ownParty) {
      colour = ColourOwnParty;
    } else if (id != NoParty) {
      colour = ColourOtherParty;
    }
    if (TestRelation(entry->UnitId, localId, RelationFlagButton1)) colour = ColourMarksUs;

    SetTextFont(RowTextFont);
    DrawPartyNameText(row->Name, y, colour, id != NoParty ? NameLimitInParty : NameLimitAlone);
    DrawPartyClassText(row->ClassCode, y + DetailLineDrop, colour);
    DrawPartyLevelText(row->Level, y + DetailLineDrop, colour);
    if (ownParty && row->LocationCode != 0) DrawPartyLocationText(row->LocationCode, y, colour);
    HostCallStd1(DrawPartyRow, reinterpret_cast<uint32_t>(row));
    DrawPartyStateText(row->Buttons[0].State, id, y, id == own);
    SetTextFont(PanelTextFont);

    row = row->Next;
    entry = entry->Next;
    y += PartyRowSpacing;
  }
}

void DrawPartyDividers() {
  RosterEntry* head = Roster();
  if (head == nullptr) return;
  int32_t count = 0;
  uint16_t previous = 0;
  int32_t y = DividerTop;
  for (const RosterEntry* entry = head->Next; entry != nullptr && y <= DividerBottom;
       entry = entry->Next) {
    // Groups follow the raw party ids: a party of one still stands apart.
    if (count > 0 && entry->PartyId != previous)
      HostCallEax(DrawPartyDivider, static_cast<uint32_t>(y));
    previous = entry->PartyId;
    ++count;
    y += PartyRowSpacing;
  }
  if (count != 0 && count != PartyRowsMax && previous != NoParty)
    HostCallEax(DrawPartyDivider, static_cast<uint32_t>(DividerTop + PartyRowSpacing * count));
}

void DrawPartyPanel() {
  HostCall(PartyDrawA);
  HostCall(PartyDrawB);
  DrawPartyRows();
  HostCall(PartyDrawC);
  HostCall(PartyDrawD);
  HostCall(PartyDrawE);
  HostCall(PartyDrawF);
  DrawPartyDividers();

  int32_t mouseX = HostCell<int32_t>(MouseX);
  int32_t mouseY = HostCell<int32_t>(MouseY);
  if (mouseX >= ScreenShiftX + HoverLeft && mouseX <= ScreenShiftX + HoverRight &&
      mouseY >= ScreenShiftY + HoverTop && mouseY <= ScreenShiftY + HoverBottom) {
    SetHoverText(GetLocalizedText(TextPartyHover), ScreenShiftX + HoverTextX,
                 ScreenShiftY + HoverTextY, 0, 1);
  }
}
