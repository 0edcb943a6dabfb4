// The demo session's Game.exe: loads the real Orlavex.dll beside the stand-in host modules,
// runs its entry, and from inside the host's state loop plays a scripted game through the
// patched places: server packets 0xCA to 0xCC, a roster of several parties and more than
// nine other players, party rebuilds, frames with the party panel open in display modes 0
// and 2 with the cursor over each stat corner and over the panel's hover button, and
// repeated client packets. It writes what the plug-in drew in each frame as a picture
// description (session\frame-N.mvg, see SessionPicture.h) and an account of the session
// (session\report.txt), then "session\done" with the entry's result.
//
// Started as Game.exe by Zorvane.exe (scripts/demo-session); takes no arguments.
#include "Orlavex/UI/Party.h"
#include "testhost/kit/HostKit.h"
#include "testhost/session/SessionPicture.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <string>
#include <vector>

// --- the account of the session ---

static std::string OutDir;
static FILE* Report;   // report.txt: the whole account
static FILE* Summary;  // summary.txt: the short one the demo script prints

static void Write(FILE* file, const char* format, va_list values) {
  vfprintf(file, format, values);
  fputc('\n', file);
  fflush(file);
}

static void Say(const char* format, ...) {
  va_list values;
  va_start(values, format);
  Write(Report, format, values);
  va_end(values);
}

// A line for both accounts.
static void Brief(const char* format, ...) {
  va_list values;
  va_start(values, format);
  va_list copy;
  va_copy(copy, values);
  Write(Report, format, values);
  Write(Summary, format, copy);
  va_end(copy);
  va_end(values);
}

static std::string OutPath(const std::string& name) { return OutDir + "\\" + name; }

// --- host records as the host lays them out ---

// Room after the host's fields for a name that runs past the host's name field.
struct Entry : RosterEntry {
  uint8_t Spill[0x7C];
};

static const uint16_t None = 0xFFFF;
static const int32_t ScreenW = 800, ScreenH = 600;

struct Player {
  const char* Name;
  uint16_t Party;
  int32_t State, Location, Class;
  uint16_t Level;
};

// The local player first, then the others in roster order.
static const Player Players[] = {
    {"Velmora", 7, 0, 3, 0, 42},
    {"Ashkettle", 7, 1, 3, 2, 39},
    {"Thessaly-Marchwind", 7, 0, 5, 1, 44},  // cut to 95 px: in a party
    {"Brannoch", 7, 2, 8, 3, 40},            // relation bit 8 toward us
    {"Quill", 9, 1, 3, 4, 17},
    {"Oriane Delacroix-Vane", 9, 3, 0, 5, 23},
    {"Mott", 9, 4, 11, 6, 31},
    {"Saffi", 12, 1, 0, 2, 12},  // a party of one: no party for colour
    {"Ysolde", None, 0, 0, 1, 8},
    {"Bartholomew Quincefield-Mi", None, 0, 0, 0, 55},  // + the 4 letters of its next pointer
    {"Corvin", None, 0, 0, 3, 27},
    {"Pell", 15, 2, 0, 4, 19},
    {"Nim", 15, 0, 0, 5, 21},
};
static const int PlayerCount = sizeof(Players) / sizeof(Players[0]);

static Entry* Entries[PlayerCount];
static RelationNode Relations[4];
static RelationNode* RelationCells[PlayerCount];
static UnitRecord LocalUnit;
static uint8_t LocationRecords[4][512];
static HostLaunchSettings Settings;

// The player after "Bartholomew Quincefield-Mi" lives at an address whose four bytes are
// letters, so that the host's next pointer spells the end of a 30-character name (longer
// than the host's own field, and than the 24 characters a party row holds).
static Entry* EntryAtLetters() {
  const uint32_t candidates[] = {0x72656C6C /* "ller" */,
                                 0x73656E6E /* "nnes" */,
                                 0x41414141 /* "AAAA" */,
                                 0x4B4B4B4B,
                                 0x58585858,
                                 0x62626262};
  for (uint32_t address : candidates) {
    uint8_t* region =
        static_cast<uint8_t*>(VirtualAlloc(reinterpret_cast<void*>(address & 0xFFFF0000u), 0x10000,
                                           MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (region != nullptr) return reinterpret_cast<Entry*>(region + (address & 0xFFFF));
  }
  return nullptr;
}

static void MakeRoster() {
  static Entry pool[PlayerCount];
  for (int i = 0; i < PlayerCount; ++i) {
    Entry* entry = i == 10 ? EntryAtLetters() : &pool[i];
    if (entry == nullptr) entry = &pool[i];
    memset(entry, 0, sizeof(Entry));
    entry->UnitId = 500 + i;
    entry->PartyId = Players[i].Party;
    entry->PartyState = Players[i].State;
    entry->LocationCode = Players[i].Location;
    entry->ClassCode = Players[i].Class;
    entry->Level = Players[i].Level;
    strcpy(entry->Name, Players[i].Name);
    Entries[i] = entry;
  }
  for (int i = 0; i + 1 < PlayerCount; ++i) Entries[i]->Next = Entries[i + 1];
  // Brannoch (3) has relation bit 8 toward us; we have bits 1 and 4 toward Quill (4).
  Relations[0] = RelationNode{Entries[0]->UnitId, RelationFlagButton1, nullptr};
  RelationCells[3] = &Relations[0];
  Entries[3]->Relations = &RelationCells[3];
  Relations[1] =
      RelationNode{Entries[4]->UnitId, RelationFlagButton2 | RelationFlagButton4, nullptr};
  RelationCells[0] = &Relations[1];
  Entries[0]->Relations = &RelationCells[0];

  LocalUnit.UnitId = Entries[0]->UnitId;
  ClientCell<uintptr_t>(Offset_RosterHead) = reinterpret_cast<uintptr_t>(Entries[0]);
  ClientCell<uintptr_t>(Offset_PlayerUnit) = reinterpret_cast<uintptr_t>(&LocalUnit);
  ClientCell<int32_t>(Offset_PartyImageA) = 0x1A1A;
  ClientCell<int32_t>(Offset_PartyImageB) = 0x2B2B;
}

// --- the stand-in host's tables ---

static void SetStrings() {
  struct {
    int32_t Number;
    const wchar_t* Text;
  } const strings[] = {
      {4154, L"Warden"},
      {4155, L"Mystic"},
      {4157, L"Ranger"},
      {4158, L"Brute"},
      {4156, L"Scholar"},
      {10097, L"Tinker"},
      {10098, L"Warlock"},
      {3368, L"Lv"},
      {3997, L""},
      {3995, L"."},
      {4143, L"Party options"},
      {4148, L"Leave"},
      {4149, L"Join"},
      {4150, L"Invite"},
      {4151, L"Invited"},
      {4152, L"Asked"},
      {5103, L"Busy"},
      {5389, L"Unknown land"},
      {5047, L"Ember Camp"},
      {5048, L"Ember Camp (siege)"},
      {4165, L"Life %u/%u"},
      {4166, L"Mana %u/%u"},
  };
  for (const auto& s : strings) HostSetString(s.Number, s.Text);
  HostSetCharWidth(PictureCharWidth);
}

// Location records: the name at byte 366. Code 11 has none.
static void SetLocations() {
  struct {
    int32_t Code;
    const wchar_t* Name;
  } const places[] = {
      {3, L"Greywater Docks"}, {5, L"The Sunken Cathedral of Orr"}, {8, L"(camp record)"}};
  for (int i = 0; i < 3; ++i)
    memcpy(LocationRecords[i] + 366, places[i].Name, (wcslen(places[i].Name) + 1) * 2);
  OnCall("GetNamedRecord", [](HostCallRecord& call) -> uint32_t {
    switch (call.Args[0]) {
      case 3:
        return reinterpret_cast<uint32_t>(LocationRecords[0]);
      case 5:
        return reinterpret_cast<uint32_t>(LocationRecords[1]);
      case 8:
        return reinterpret_cast<uint32_t>(LocationRecords[2]);
      default:
        return 0;
    }
  });
}

// The player's stats live where SetUnitStat puts them, and GetPlayerStat reads them back.
static uint32_t Stats[128];

static void ConnectStats() {
  OnCall("SetUnitStat", [](HostCallRecord& call) -> uint32_t {
    if (call.Args[1] < 128) Stats[call.Args[1]] = call.Args[2];
    return 0;
  });
  OnCall("GetPlayerStat",
         [](HostCallRecord& call) -> uint32_t { return call.Eax < 128 ? Stats[call.Eax] : 0; });
  HostSetResult("GetStat6Max", 500u << 8);
  HostSetResult("GetStat8Max", 200u << 8);
}

// --- steps of the session ---

static std::string Describe(const HostCallRecord& call) {
  char line[200];
  std::string name = call.Function;
  if (name == "SetUnitStat" && (call.Args[1] == 6 || call.Args[1] == 8 || call.Args[1] == 10))
    snprintf(line, sizeof(line), "SetUnitStat(stat %u, value 0x%X = %u whole units)", call.Args[1],
             call.Args[2], call.Args[2] >> 8);
  else if (name == "SetUnitStat")
    snprintf(line, sizeof(line), "SetUnitStat(stat %u, value %u)", call.Args[1], call.Args[2]);
  else if (name == "MoveUnit")
    snprintf(line, sizeof(line), "MoveUnit(x %d, y %d, target %d,%d)",
             static_cast<int32_t>(call.Eax), static_cast<int32_t>(call.Args[0]),
             static_cast<int32_t>(call.Args[2]), static_cast<int32_t>(call.Args[3]));
  else if (name == "ReceivePacketFunc")
    snprintf(line, sizeof(line), "the host's own packet handling (type 0x%02X, %u bytes)",
             call.Data[0], call.Args[1]);
  else
    snprintf(line, sizeof(line), "%s", call.Function);
  return line;
}

static void ServerPacket(const char* label, const char* what, const std::vector<uint8_t>& packet) {
  HostJournalClear();
  CallInRegs regs = CallReceivePacket(packet.data(), static_cast<int32_t>(packet.size()));
  std::string effects;
  for (uint32_t i = 0; i < HostJournal()->Count; ++i) {
    const HostCallRecord& call = HostJournal()->Calls[i];
    std::string name = call.Function;
    if (name == "SetUnitStat" || name == "MoveUnit" || name == "SetUnitMode" ||
        name == "RefreshUnit" || name == "ReceivePacketFunc")
      effects += "\n      " + Describe(call);
  }
  Say("   server packet %s (%u bytes, stack popped %u): %s", what,
      static_cast<unsigned>(packet.size()), regs.StackPopped(),
      effects.empty() ? "consumed, no effect" : effects.c_str());
  int stats = CountCalls(HostJournal(), "SetUnitStat");
  if (CountCalls(HostJournal(), "ReceivePacketFunc") > 0)
    Brief("  server packet %s: handed on to the host's own handling", label);
  else if (stats > 0)
    Brief("  server packet %s: %d stats set through SetUnitStat, the player moved (MoveUnit)",
          label, stats);
  else
    Brief("  server packet %s: consumed, the host never saw it", label);
}

static void Put32(std::vector<uint8_t>& packet, int32_t value) {
  for (int i = 0; i < 4; ++i)
    packet.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
}

static void Rebuild(const char* why) {
  HostJournalClear();
  CallPartyListBuild();
  int rows = 0;
  for (PartyRow* row = reinterpret_cast<PartyRow*>(ClientCell<uintptr_t>(Offset_PartyRowList));
       row != nullptr; row = row->Next)
    ++rows;
  Say("   party rebuild (%s): MemFree x%d (line 112), then MemAlloc x%d of 209 bytes (line 296); "
      "%d rows in the "
      "host's list, %d blocks live",
      why, CountCalls(HostJournal(), "MemFree"), CountCalls(HostJournal(), "MemAlloc"), rows,
      HostLiveBlockCount());
  Brief(
      "  party rebuild, %s: %d old rows freed, %d new rows of 209 bytes allocated from the host (y "
      "90 to %d)",
      why, CountCalls(HostJournal(), "MemFree"), CountCalls(HostJournal(), "MemAlloc"),
      90 + 33 * (rows - 1));
  int i = 0;
  for (PartyRow* row = reinterpret_cast<PartyRow*>(ClientCell<uintptr_t>(Offset_PartyRowList));
       row != nullptr; row = row->Next, ++i)
    Say("      row %d: y %3d, \"%s\" (%u characters), state %d, button frames %d %d %d %d", i,
        row->Buttons[0].Y, row->Name, static_cast<unsigned>(strlen(row->Name)),
        row->Buttons[0].State, row->Buttons[1].Frame, row->Buttons[2].Frame, row->Buttons[3].Frame,
        row->Buttons[4].Frame);
}

static std::vector<FramePicture> Pictures;

static void Frame(const char* caption, int32_t displayMode, int32_t mouseX, int32_t mouseY) {
  HostSetResult("GetDisplayMode", static_cast<uint32_t>(displayMode));
  ClientCell<int32_t>(Offset_MouseX) = mouseX;
  ClientCell<int32_t>(Offset_MouseY) = mouseY;
  HostJournalClear();
  CallInRegs regs = CallFrameDraw(0x600D);

  FramePicture picture = {};
  picture.Caption = caption;
  picture.ScreenWidth = ScreenW;
  picture.ScreenHeight = ScreenH;
  picture.DisplayMode = displayMode;
  picture.UiOffsetX = ClientCell<int32_t>(Offset_UiOffsetX);
  picture.UiOffsetY = ClientCell<int32_t>(Offset_UiOffsetY);
  picture.MouseX = mouseX;
  picture.MouseY = mouseY;
  picture.PanelOpen = ClientCell<int32_t>(Offset_UiPanelFlags + 4 * 22) != 0;
  for (const HostCallRecord* call : CallsOf(HostJournal(), "DrawUiText"))
    picture.Texts.push_back(PictureText{Narrow(call->Text), static_cast<int32_t>(call->Args[1]),
                                        static_cast<int32_t>(call->Args[2]),
                                        static_cast<int32_t>(call->Args[3])});
  for (const HostCallRecord* call : CallsOf(HostJournal(), "SetHoverText"))
    if (call->Args[0] != 0) {
      picture.Hover = true;
      picture.HoverText = PictureText{Narrow(call->Text), static_cast<int32_t>(call->Args[1]),
                                      static_cast<int32_t>(call->Args[2]), 0};
    }
  for (const HostCallRecord* call : CallsOf(HostJournal(), "DrawPartyDivider"))
    picture.Dividers.push_back(static_cast<int32_t>(call->Eax));
  for (PartyRow* row = reinterpret_cast<PartyRow*>(ClientCell<uintptr_t>(Offset_PartyRowList));
       row != nullptr; row = row->Next)
    for (const PartyRowButton& button : row->Buttons)
      picture.Buttons.push_back(PictureButton{button.X, button.Y, button.Frame, button.Number});
  picture.RowsDrawn = CountCalls(HostJournal(), "DrawPartyRow");

  int steps = 0;
  for (uint32_t i = 0; i < HostJournal()->Count; ++i)
    steps += strncmp(HostJournal()->Calls[i].Function, "DrawStep", 8) == 0;
  const HostCallRecord* step42 = CallsOf(HostJournal(), "DrawStep42").empty()
                                     ? nullptr
                                     : CallsOf(HostJournal(), "DrawStep42")[0];
  std::string stats;
  for (const PictureText& text : picture.Texts)
    if (text.Y == ScreenH - 95)
      stats += " \"" + text.Text + "\" at x " + std::to_string(text.X) + ";";
  Say("   frame %d: %s", static_cast<int>(Pictures.size()) + 1, caption);
  Brief("  frame %d, %s: %d rows, %d texts, stat texts:%s%s", static_cast<int>(Pictures.size()) + 1,
        caption, picture.RowsDrawn, static_cast<int>(picture.Texts.size()),
        stats.empty() ? " none" : stats.c_str(),
        picture.Hover ? (" hover text \"" + picture.HoverText.Text + "\"").c_str() : "");
  Say("      %d host draw steps, DrawStep42 got 0x%X in EAX, stack popped %u; UiOffsetX %d, "
      "UiOffsetY %d",
      steps, step42 != nullptr ? step42->Eax : 0, regs.StackPopped(), picture.UiOffsetX,
      picture.UiOffsetY);
  Say("      party panel: %d rows drawn by the host, %d texts by the plug-in, dividers at y",
      picture.RowsDrawn, static_cast<int>(picture.Texts.size()));
  std::string dividers;
  for (int32_t y : picture.Dividers) dividers += " " + std::to_string(y);
  Say("        %s", dividers.empty() ? "(none)" : dividers.c_str());
  Say("      stat texts:%s", stats.empty() ? " none" : stats.c_str());
  if (picture.Hover)
    Say("      hover text \"%s\" at %d,%d", picture.HoverText.Text.c_str(), picture.HoverText.X,
        picture.HoverText.Y);
  Pictures.push_back(picture);
}

static int PacketsOffered, PacketsDropped;

static void ClientPacket(uint32_t at, const std::vector<uint8_t>& packet) {
  ClockSet(at);
  int before = CountCalls(HostJournal(), "SendToServer");
  CallSendPacket(packet.data(), static_cast<uint32_t>(packet.size()));
  bool sent = CountCalls(HostJournal(), "SendToServer") > before;
  ++PacketsOffered;
  PacketsDropped += sent ? 0 : 1;
  Say("      t=%4u ms  type %3u, %u bytes: %s", at, packet[0], static_cast<unsigned>(packet.size()),
      sent ? "sent" : "dropped as a repeat");
}

static void PlaySession() {
  Say("== Patches in place (the host's bytes at each site now lead into Orlavex.dll)");
  uintptr_t plugin = reinterpret_cast<uintptr_t>(LoadPlugin());
  uintptr_t frameSite = ClientAt(Offset_FrameDrawCallSite);
  uintptr_t frameTarget = frameSite + 4 + *reinterpret_cast<int32_t*>(frameSite);
  uintptr_t partySite = ClientAt(Offset_PartyListBuildFunc);
  uintptr_t partyTarget = partySite + 5 + *reinterpret_cast<int32_t*>(partySite + 1);
  Say("   FrameDrawCallSite calls Orlavex.dll+0x%X; PartyListBuildFunc starts with 0x%02X (jump) "
      "to Orlavex.dll+0x%X",
      static_cast<unsigned>(frameTarget - plugin), *reinterpret_cast<uint8_t*>(partySite),
      static_cast<unsigned>(partyTarget - plugin));
  Brief(
      "  Game.exe (started by Zorvane.exe) loaded Orlavex.dll and ran its entry; with the patches "
      "in place the "
      "host's frame draw call leads to Orlavex.dll+0x%X and its party rebuild to Orlavex.dll+0x%X",
      static_cast<unsigned>(frameTarget - plugin), static_cast<unsigned>(partyTarget - plugin));

  MakeRoster();
  SetLocations();
  ConnectStats();
  ClientCell<int32_t>(Offset_ScreenWidth) = ScreenW;
  ClientCell<int32_t>(Offset_ScreenHeight) = ScreenH;
  Say("   roster: %d players (the local player \"%s\" first), parties 7 (ours), 9, 12 (one "
      "player), 15, and none",
      PlayerCount, Players[0].Name);
  Say("   the 10th player's name runs into the host's next pointer: \"%s\" (%u characters)",
      Entries[9]->Name, static_cast<unsigned>(strlen(Entries[9]->Name)));

  Say("");
  Say("== Server packets");
  std::vector<uint8_t> ca = {0xCA};
  Put32(ca, 320);
  Put32(ca, 140);
  Put32(ca, 55);
  ca.push_back(74);
  ca.push_back(26);
  Put32(ca, 1000);
  Put32(ca, 2000);
  ca.push_back(3);
  ca.push_back(0xFE);
  ServerPacket("0xCA",
               "0xCA (life 320, mana 140, stat 10 55, bytes 74 and 26, at 1000,2000 toward +3,-2)",
               ca);
  ServerPacket("0x10", "0x10 (a host packet)", {0x10, 1, 2, 3});
  ServerPacket("0xC1", "0xC1 (unknown to both)", {0xC1, 9, 9});

  Say("");
  Say("== Party rows and frames with the panel open");
  Rebuild("12 other players, the panel holds 9");
  for (PartyRow* row = reinterpret_cast<PartyRow*>(ClientCell<uintptr_t>(Offset_PartyRowList));
       row != nullptr; row = row->Next)
    if (row->UnitId == Entries[9]->UnitId)
      Brief("  the 30-character roster name \"%s\" is kept as \"%s\" (%u characters) in its row",
            Entries[9]->Name, row->Name, static_cast<unsigned>(strlen(row->Name)));
  ClientCell<int32_t>(Offset_UiPanelFlags + 4 * 22) = 1;
  Frame("display mode 0, cursor over the bottom-left corner (life)", 0, 70, ScreenH - 45);
  Frame("display mode 0, cursor over the bottom-right corner (mana)", 0, ScreenW - 70,
        ScreenH - 45);
  Frame("display mode 2, cursor over the bottom-left corner (life)", 2, 31, ScreenH - 16);
  Frame("display mode 2, cursor over the bottom-right corner (mana)", 2, ScreenW - 32,
        ScreenH - 74);
  Frame("display mode 0, cursor over the panel's hover button", 0, 294, 405);

  Say("");
  Say("== More server packets");
  std::vector<uint8_t> cb = {0xCB};
  Put32(cb, 410);
  Put32(cb, 95);
  Put32(cb, 60);
  Put32(cb, 1003);
  Put32(cb, 1998);
  cb.push_back(0xFF);
  cb.push_back(1);
  ServerPacket("0xCB", "0xCB (life 410, mana 95, stat 10 60, toward -1,+1)", cb);
  std::vector<uint8_t> cc = {0xCC};
  Put32(cc, 61);
  Put32(cc, 1002);
  Put32(cc, 1999);
  cc.push_back(0);
  cc.push_back(0);
  ServerPacket("0xCC", "0xCC (stat 10 61)", cc);

  Say("");
  Say("== Client packets offered to the host's send function (the plug-in's clock is the "
      "session's)");
  ClockInstall();
  HostJournalClear();
  std::vector<uint8_t> walk = {5, 0x10, 0x20};
  for (uint32_t t : {1000u, 1030u, 1060u, 1090u, 1120u}) ClientPacket(t, walk);
  std::vector<uint8_t> chat = {58, 'h', 'i'};
  ClientPacket(1200, chat);
  ClientPacket(1200, chat);
  std::vector<uint8_t> trade = {20, 1, 2, 3, 4};
  for (uint32_t t : {1300u, 1450u, 1500u}) ClientPacket(t, trade);
  Say("      the host's counters: %d bytes in %d packets", ClientCell<int32_t>(Offset_BytesSent),
      ClientCell<int32_t>(Offset_PacketsSent));
  Brief(
      "  client packets: %d offered to the host's send function, %d dropped as repeats within "
      "their window, the "
      "host counted %d bytes in %d packets sent",
      PacketsOffered, PacketsDropped, ClientCell<int32_t>(Offset_BytesSent),
      ClientCell<int32_t>(Offset_PacketsSent));

  Say("");
  Say("== The roster changes; the host rebuilds its rows");
  // Quill, Mott, Pell and Nim leave; Corvin joins Oriane's party.
  Entries[3]->Next = Entries[5];
  Entries[5]->Next = Entries[7];
  // Entries[9]->Next is still the letters' address of Corvin.
  Entries[10]->Next = nullptr;
  Entries[10]->PartyId = 9;
  Rebuild("8 other players after four left");
  Settings.StatTextAlwaysShown = 1;
  Frame("display mode 2 after the rebuild, both stat texts always shown", 2, 374, 470);
}

static std::string ExeFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string folder(path, length);
  size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? "." : folder.substr(0, slash);
}

int main() {
  OutDir = ExeFolder() + "\\session";
  CreateDirectoryA(OutDir.c_str(), nullptr);
  DeleteFileA(OutPath("done").c_str());
  Report = fopen(OutPath("report.txt").c_str(), "w");
  Summary = fopen(OutPath("summary.txt").c_str(), "w");
  if (Report == nullptr || Summary == nullptr) return 90;

  LoadPlugin();
  HostReset();
  SetStrings();
  Settings.GameMode = 2;
  OnState([](int32_t state) {
    if (state != 3) return 1;
    PlaySession();
    // The player quits: the host clears its loop flag.
    ClientCell<int32_t>(Offset_ClientLoopFlag) = 0;
    return 1;
  });
  uint32_t result = RunClientEntry(&Settings);
  Say("");
  Say("== ClientEntry returned %u (game mode 2 after a quit); the patches are removed:", result);
  uintptr_t partySite = ClientAt(Offset_PartyListBuildFunc);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(partySite);
  Say("   PartyListBuildFunc holds %02X %02X %02X %02X %02X again", bytes[0], bytes[1], bytes[2],
      bytes[3], bytes[4]);
  Brief(
      "  ClientEntry returned %u after the player quit; the patches were removed "
      "(PartyListBuildFunc holds "
      "%02X %02X %02X %02X %02X again)",
      result, bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]);

  int written = 0;
  for (size_t i = 0; i < Pictures.size(); ++i) {
    std::string name = "frame-" + std::to_string(i + 1) + ".mvg";
    if (WriteFramePicture(Pictures[i], OutPath(name).c_str()))
      ++written;
    else
      Say("   could not write %s", name.c_str());
  }
  fclose(Report);
  fclose(Summary);
  FILE* done = fopen(OutPath("done").c_str(), "w");
  if (done != nullptr) {
    fprintf(done, "%u %d\n", result, written);
    fclose(done);
  }
  return written == static_cast<int>(Pictures.size()) ? 0 : 1;
}
