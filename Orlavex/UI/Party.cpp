#include "Orlavex/UI/Party.h"

#include "Orlavex/FatalError.h"
#include "Orlavex/FrameDraw.h"

#include <string.h>
#include <windows.h>

const char PartySourcePath[] = "C:\\Brellix\\Source\\Orlavex\\UI\\Party";

namespace {

// Text buffers on the stack, in 16-bit characters; the sizes are the host's.
enum {
  NameTextSize = 32,
  LevelTextSize = 100,
  LocationTextSize = 255,
  LevelNumberSize = 16,  // "%2u" of a 16-bit level: at most 5 digits
  NameConvertMax = 16,   // the host converts at most this much of a name
  DotsConvertMax = 4,    // "..." and its terminator
  TailConvertMax = 5,    // "...." and its terminator
  LevelPrefixMax = 20,   // characters of string 3368 the level text keeps
  LevelNumberConvertMax = 9,
};

enum {
  NameLimitInParty = 95,   // pixels a name may take when its player is in a party
  NameLimitAlone = 135,    // ... and when not
  LocationLimit = 140,     // pixels a location name may take whole
  LocationTailRoom = 139,  // pixels the cut name and its tail share
  StateFieldWidth = 54,    // the party-state text is centred in this many pixels
  DividerTop = 71,         // y of the first divider place, 19 above the first row
  DividerBottom = 335,     // the last divider place at a row
};

enum {
  ColourPlain = 0,      // in no party
  ColourRelation8 = 1,  // the row's player has relation bit 8 toward us
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
  LocationCodeSpecial = 8,
  LocationRecordNameOffset = 366,
};

const int32_t ClassTextNumbers[7] = {4154, 4155, 4157, 4158, 4156, 10097, 10098};

RosterEntry* Roster() { return reinterpret_cast<RosterEntry*>(HostCell<uintptr_t>(RosterHead)); }

PartyRow* FirstRow() { return reinterpret_cast<PartyRow*>(HostCell<uintptr_t>(PartyRowList)); }

// The local player's unit id, or false when there is no local player.
bool LocalUnitId(int32_t* id) {
  uintptr_t unit = HostCell<uintptr_t>(PlayerUnit);
  if (unit == 0) return false;
  *id = HostCell<int32_t>(unit + 0xC);
  return true;
}

// Relation bit of the local player toward the player with unit id other (0 without a
// local player).
int32_t RelationTowards(int32_t other, int32_t mask) {
  int32_t local = 0;
  if (!LocalUnitId(&local)) return 0;
  return TestRelation(local, other, mask);
}

// ... and of the player other toward the local player.
int32_t RelationFrom(int32_t other, int32_t mask) {
  int32_t local = 0;
  if (!LocalUnitId(&local)) return 0;
  return TestRelation(other, local, mask);
}

// A party id only one roster entry carries counts as no party.
uint16_t EffectivePartyId(const RosterEntry* entry) {
  return CountPartyMembers(entry->PartyId) >= 2 ? entry->PartyId : NoParty;
}

// Removes characters from the end of text until its width is at most limit. Stops at the
// empty text, whatever width the host gives it.
void CutToWidth(UnicodeChar* text, int32_t limit) {
  int32_t length = UnicodeStrlen(text);
  while (length > 0 && GetTextWidth(text) > limit) text[--length] = 0;
}

void SetButton(PartyRowButton* button, int32_t number, int32_t x, int32_t y, int32_t image,
               int32_t frame) {
  button->X = x;
  button->Y = y;
  button->Image = image;
  button->Frame = frame;
  button->Number = number;
}

}  // namespace

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

void AddPartyRow(RosterEntry* entry, int32_t y) {
  if (entry == nullptr) FatalErrorAtLine(PartyRowNullEntryLine);

  PartyRow* row =
      static_cast<PartyRow*>(MemAlloc(sizeof(PartyRow), PartySourcePath, PartyRowAllocLine, 0));
  memset(row, 0, sizeof(PartyRow));

  int32_t imageA = HostCell<int32_t>(PartyImageA);
  int32_t imageB = HostCell<int32_t>(PartyImageB);
  int32_t unitId = entry->UnitId;
  SetButton(&row->Buttons[0], 0, 190, y, imageA, 0);
  row->Buttons[0].Primary = 1;
  row->Buttons[0].State = entry->PartyState;
  SetButton(&row->Buttons[1], 1, 14, y + 7, imageB, RelationTowards(unitId, RelationBit8) ? 6 : 4);
  SetButton(&row->Buttons[2], 2, 245, y, imageB, RelationTowards(unitId, RelationBit1) ? 14 : 12);
  SetButton(&row->Buttons[3], 3, 266, y, imageB, RelationTowards(unitId, RelationBit2) ? 2 : 0);
  SetButton(&row->Buttons[4], 4, 287, y, imageB, RelationTowards(unitId, RelationBit4) ? 10 : 8);
  row->UnitId = unitId;
  row->TextY = y + 13;

  // The field holds PartyRowNameMax characters: a longer roster name is cut rather than
  // written over the fields behind it (the row is zeroed, so the copy stays terminated).
  for (int i = 0; i < PartyRowNameMax && entry->Name[i] != 0; ++i) row->Name[i] = entry->Name[i];

  row->ClassCode = entry->ClassCode;
  row->Level = entry->Level;
  row->LocationCode = entry->LocationCode;

  PartyRow* last = FirstRow();
  if (last == nullptr) {
    HostCell<uintptr_t>(PartyRowList) = reinterpret_cast<uintptr_t>(row);
    return;
  }
  while (last->Next != nullptr) last = last->Next;
  last->Next = row;
}

extern "C" void __cdecl RebuildPartyRows() {
  FreePartyRows();
  RosterEntry* head = Roster();
  if (head == nullptr) return;
  int32_t rows = 0;
  for (RosterEntry* entry = head->Next; entry != nullptr && rows < PartyRowsMax;
       entry = entry->Next) {
    AddPartyRow(entry, PartyRowTop + PartyRowSpacing * rows);
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
    // The dots go beyond the limit; the name alone is held to it. NameConvertMax
    // characters and the dots fit NameTextSize.
    UnicodeChar dots[DotsConvertMax] = {};
    UnicodeToUnicode(dots, "...", DotsConvertMax);
    UnicodeStrcat(text, dots);
  }
  DrawUiText(text, ScreenShiftX + 36, y + ScreenShiftY - 2, colour, 0);
}

void DrawPartyClassText(int32_t code, int32_t y, int32_t colour) {
  if (code < 0 || code > 6) return;
  DrawUiText(GetLocalizedText(ClassTextNumbers[code]), ScreenShiftX + 36, y + ScreenShiftY, colour,
             0);
}

void DrawPartyLevelText(int32_t level, int32_t y, int32_t colour) {
  UnicodeChar text[LevelTextSize] = {};
  UnicodeStrncpy(text, GetLocalizedText(TextLevelPrefix), LevelPrefixMax);
  UnicodeStrcat(text, GetLocalizedText(TextLevelSeparator));
  UnicodeStrcat(text, GetLocalizedText(TextLevelLabel));
  char number[LevelNumberSize] = {};
  wsprintfA(number, "%2u", static_cast<unsigned>(level));
  UnicodeChar numberText[LevelNumberSize] = {};
  UnicodeWin2Unicode(numberText, number, LevelNumberConvertMax);
  UnicodeStrcat(text, numberText);
  DrawUiText(text, ScreenShiftX + 266, y + ScreenShiftY, colour, 0);
}

void DrawPartyLocationText(int32_t code, int32_t rowY, int32_t colour) {
  UnicodeChar text[LocationTextSize] = {};
  UnicodeStrcpy(text, GetLocationName(code));
  if (GetTextWidth(text) > LocationLimit) {
    // The tail shows that the name was cut and still ends in the name's last character.
    int32_t length = UnicodeStrlen(text);
    UnicodeChar tail[TailConvertMax] = {};
    UnicodeToUnicode(tail, "....", TailConvertMax);
    tail[3] = length > 0 ? text[length - 1] : 0;
    CutToWidth(text, LocationTailRoom - GetTextWidth(tail));
    UnicodeStrcat(text, tail);
  }
  DrawUiText(text, ScreenShiftX + 126, rowY + 12 + ScreenShiftY, colour, 0);
}

void DrawPartyStateText(int32_t state, uint16_t id, int32_t rowY, bool same) {
  int32_t number = 0;
  int32_t colour = ColourPlain;
  int32_t baseX = 190;
  switch (static_cast<uint32_t>(state)) {
    case 0:
      number = 4150;
      break;
    case 1:
      if (id == NoParty) return;
      if (same) {
        number = 4148;
        colour = ColourOwnParty;
        baseX = 155;
      } else {
        number = 4149;
        colour = ColourOtherParty;
        baseX = 175;
      }
      break;
    case 2:
      number = 4151;
      break;
    case 3:
      number = 4152;
      break;
    case 4:
      number = 5103;
      break;
    default:
      return;
  }
  const UnicodeChar* text = GetLocalizedText(number);
  int32_t width = GetTextWidth(text);
  int32_t x = ScreenShiftX + baseX;
  if (width < StateFieldWidth) x += (StateFieldWidth - width) / 2;
  DrawUiText(text, x, rowY + ScreenShiftY - 2, colour, 0);
}

void DrawPartyRows() {
  RosterEntry* head = Roster();
  if (head == nullptr || HostCell<uintptr_t>(PlayerUnit) == 0) return;
  uint16_t own = EffectivePartyId(head);

  PartyRow* row = FirstRow();
  RosterEntry* entry = head->Next;
  int32_t y = PartyRowTop;
  for (int32_t drawn = 0; row != nullptr && entry != nullptr && drawn < PartyRowsMax; ++drawn) {
    // Party standing and relations come from the roster now; the rest from the row.
    uint16_t id = EffectivePartyId(entry);
    bool ownParty = false;
    int32_t colour = ColourPlain;
    if (id == NoParty) {
      colour = ColourPlain;
    } else if (id == own) {
      colour = ColourOwnParty;
      ownParty = true;
    } else {
      colour = ColourOtherParty;
    }
    if (RelationFrom(entry->UnitId, RelationBit8)) colour = ColourRelation8;

    SetTextFont(0);
    DrawPartyNameText(row->Name, y, colour, id != NoParty ? NameLimitInParty : NameLimitAlone);
    DrawPartyClassText(row->ClassCode, y + 12, colour);
    DrawPartyLevelText(row->Level, y + 12, colour);
    if (ownParty && row->LocationCode != 0) DrawPartyLocationText(row->LocationCode, y, colour);
    HostCallStd1(DrawPartyRow, reinterpret_cast<uint32_t>(row));
    DrawPartyStateText(row->Buttons[0].State, id, y, id == own);
    SetTextFont(1);

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
  if (mouseX >= ScreenShiftX + 278 && mouseX <= ScreenShiftX + 310 &&
      mouseY >= ScreenShiftY + 389 && mouseY <= ScreenShiftY + 421)
    SetHoverText(GetLocalizedText(TextPartyHover), ScreenShiftX + 293, ScreenShiftY + 386, 0, 1);
}
