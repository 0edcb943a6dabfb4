// The party panel through the real patched sites: the rows rebuilt through the jump at
// PartyListBuildFunc, the texts drawn by the frame draw routine with panel flag 22 open.
#include "Orlavex/UI/Party.h"
#include "testhost/kit/HostKit.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <cstring>

static const uint16_t None = 0xFFFF;
static const int32_t LocalId = 1;

// --- a roster in test memory ---

struct Player {
  const char* Name;
  uint16_t PartyId = None;
  int32_t State = 0;
  int32_t Location = 0;
  int32_t ClassCode = 0;
  uint16_t Level = 1;
};

// Entries are 0x100 bytes apart: a name may run past the host's 0x80 (see LongNames).
alignas(16) static uint8_t EntryPool[24][0x100];
static RelationNode NodePool[32];
static RelationNode* CellPool[24];
static AliasNode AliasPool[4];
static int NodesUsed;

static UnitRecord LocalUnit;

static std::vector<RosterEntry*> Entries;

static RosterEntry* Entry(size_t i) { return Entries.at(i); }

// Lays out the local player (index 0, unit id 1, party ownParty) and the others (unit ids
// 101, 102, ...) in roster order.
static void MakeRoster(uint16_t ownParty, const std::vector<Player>& others) {
  memset(EntryPool, 0, sizeof(EntryPool));
  memset(NodePool, 0, sizeof(NodePool));
  memset(CellPool, 0, sizeof(CellPool));
  memset(AliasPool, 0, sizeof(AliasPool));
  NodesUsed = 0;
  Entries.clear();
  std::vector<Player> all;
  Player local;
  local.Name = "Local";
  local.PartyId = ownParty;
  all.push_back(local);
  all.insert(all.end(), others.begin(), others.end());
  for (size_t i = 0; i < all.size(); ++i) {
    RosterEntry* entry = reinterpret_cast<RosterEntry*>(EntryPool[i]);
    entry->UnitId = i == 0 ? LocalId : 100 + static_cast<int32_t>(i);
    entry->PartyId = all[i].PartyId;
    entry->PartyState = all[i].State;
    entry->LocationCode = all[i].Location;
    entry->ClassCode = all[i].ClassCode;
    entry->Level = all[i].Level;
    strcpy(entry->Name, all[i].Name);
    if (!Entries.empty()) Entries.back()->Next = entry;
    Entries.push_back(entry);
  }
  LocalUnit = UnitRecord{};
  LocalUnit.UnitId = LocalId;
}

// Player from has the relation flags toward player to.
static void Relate(size_t from, size_t to, int32_t flags) {
  RosterEntry* entry = Entry(from);
  RelationNode* node = &NodePool[NodesUsed++];
  node->UnitId = Entry(to)->UnitId;
  node->Flags = flags;
  node->Next = CellPool[from];
  CellPool[from] = node;
  entry->Relations = &CellPool[from];
}

// --- running the host ---

struct Panel {
  int32_t DisplayMode = 0;
  int32_t MouseX = 0, MouseY = 0;
  bool WithPlayer = true;
  bool WithRoster = true;
  int32_t CharWidth = 6;
};

// Inside the client's state loop: puts the roster in place, rebuilds the rows through the
// patched PartyListBuildFunc, then draws one frame with the party panel open. script runs
// first (results, texts, widths), check with the journal of the frame.
static void RunPanel(const Panel& panel, const std::function<void()>& script,
                     const std::function<void(const HostJournalData*)>& check) {
  WhilePatched([&] {
    HostSetCharWidth(panel.CharWidth);
    HostSetResult("GetDisplayMode", static_cast<uint32_t>(panel.DisplayMode));
    script();
    ClientCell<uintptr_t>(Offset_RosterHead) =
        panel.WithRoster ? reinterpret_cast<uintptr_t>(Entries.at(0)) : 0;
    ClientCell<uintptr_t>(Offset_PlayerUnit) =
        panel.WithPlayer ? reinterpret_cast<uintptr_t>(&LocalUnit) : 0;
    ClientCell<int32_t>(Offset_PartyImageA) = 0x1A1A;
    ClientCell<int32_t>(Offset_PartyImageB) = 0x2B2B;
    CallPartyListBuild();
    ClientCell<int32_t>(Offset_UiPanelFlags + 4 * 22) = 1;
    ClientCell<int32_t>(Offset_MouseX) = panel.MouseX;
    ClientCell<int32_t>(Offset_MouseY) = panel.MouseY;
    HostJournalClear();
    CallFrameDraw(0);
    check(HostJournal());
  });
}

static void NoScript() {}

struct Text {
  std::string Value;
  int32_t X, Y, Colour;
};

static std::vector<Text> Texts(const HostJournalData* journal) {
  std::vector<Text> texts;
  for (const HostCallRecord* call : CallsOf(journal, "DrawUiText"))
    texts.push_back(Text{Narrow(call->Text), static_cast<int32_t>(call->Args[1]),
                         static_cast<int32_t>(call->Args[2]), static_cast<int32_t>(call->Args[3])});
  return texts;
}

// The text drawn at y whose value starts with prefix, or an empty one.
static Text TextAt(const HostJournalData* journal, int32_t y, const std::string& prefix) {
  for (const Text& text : Texts(journal))
    if (text.Y == y && text.Value.compare(0, prefix.size(), prefix) == 0) return text;
  return Text{"", -1, -1, -1};
}

static std::vector<int32_t> Dividers(const HostJournalData* journal) {
  std::vector<int32_t> ys;
  for (const HostCallRecord* call : CallsOf(journal, "DrawPartyDivider"))
    ys.push_back(static_cast<int32_t>(call->Eax));
  return ys;
}

static PartyRow* Rows() {
  return reinterpret_cast<PartyRow*>(ClientCell<uintptr_t>(Offset_PartyRowList));
}

static int RowY(int i) { return 90 + 33 * i; }

// --- rows ---

TEST(PartyRows, TwelveOthersGiveNineRowsAndNothingForTheTenth) {
  std::vector<Player> others;
  const char* names[12] = {"Ael", "Bry", "Cam", "Dov", "Eri", "Fen",
                           "Gus", "Hal", "Ivo", "Jem", "Kit", "Lur"};
  for (int i = 0; i < 12; ++i) {
    Player p;
    p.Name = names[i];
    p.PartyId = static_cast<uint16_t>(10 + i / 2);  // pairs: 10 10 11 11 ... 15 15
    others.push_back(p);
  }
  MakeRoster(None, others);
  RunPanel(Panel{}, NoScript, [&](const HostJournalData* journal) {
    int count = 0;
    for (PartyRow* row = Rows(); row != nullptr; row = row->Next, ++count) {
      EXPECT_EQ(RowY(count), row->Buttons[0].Y) << count;
      EXPECT_EQ(RowY(count) + 13, row->TextY) << count;
      EXPECT_STREQ(names[count], row->Name);
    }
    EXPECT_EQ(9, count);
    EXPECT_EQ(9, HostLiveBlockCount());

    std::vector<const HostCallRecord*> drawn = CallsOf(journal, "DrawPartyRow");
    ASSERT_EQ(9u, drawn.size());
    PartyRow* row = Rows();
    for (int i = 0; i < 9; ++i, row = row->Next) {
      EXPECT_EQ(reinterpret_cast<uint32_t>(row), drawn[i]->Args[0]) << i;
      EXPECT_EQ(names[i], TextAt(journal, RowY(i) - 2, names[i]).Value) << i;
    }
    for (const Text& text : Texts(journal))
      EXPECT_TRUE(text.Value != "Jem" && text.Value != "Kit" && text.Value != "Lur") << text.Value;
    // Groups change at the 3rd, 5th, 7th and 9th rows; none below the ninth.
    EXPECT_EQ((std::vector<int32_t>{137, 203, 269, 335}), Dividers(journal));
  });
}

TEST(PartyRows, OnlyTheLocalPlayerGivesNoRowsAndDrawsNoRow) {
  MakeRoster(None, {});
  RunPanel(Panel{}, NoScript, [&](const HostJournalData* journal) {
    EXPECT_EQ(nullptr, Rows());
    EXPECT_EQ(0, HostLiveBlockCount());
    for (const char* name :
         {"DrawUiText", "DrawPartyRow", "DrawPartyDivider", "SetTextFont", "MemAlloc"})
      EXPECT_EQ(0, CountCalls(journal, name)) << name;
    for (const char* name :
         {"PartyDrawA", "PartyDrawB", "PartyDrawC", "PartyDrawD", "PartyDrawE", "PartyDrawF"})
      EXPECT_EQ(1, CountCalls(journal, name)) << name;
    // The host's panel pieces around the plug-in's rows, in their order.
    std::vector<std::string> order =
        CallNames(journal, {"GetDisplayMode", "SetHoverText", "GetPlayerStat"});
    std::vector<std::string> panel;
    for (const std::string& name : order)
      if (name.compare(0, 9, "PartyDraw") == 0) panel.push_back(name);
    EXPECT_EQ((std::vector<std::string>{"PartyDrawA", "PartyDrawB", "PartyDrawC", "PartyDrawD",
                                        "PartyDrawE", "PartyDrawF"}),
              panel);
  });
}

TEST(PartyRows, ButtonsFramesAndImagesOfARow) {
  Player plain;
  plain.Name = "Plain";
  plain.State = 3;
  plain.ClassCode = 4;
  plain.Level = 77;
  plain.Location = 12;
  plain.PartyId = 5;
  Player related = plain;
  related.Name = "Related";
  MakeRoster(5, {plain, related});
  Relate(0, 2,
         RelationFlagButton1 | RelationFlagButton2 | RelationFlagButton3 | RelationFlagButton4);
  Relate(1, 0, RelationFlagButton1);  // toward the local player: does not change the buttons
  RunPanel(Panel{}, NoScript, [&](const HostJournalData*) {
    struct {
      int32_t X, YOffset, Image, FramePlain, FrameRelated;
    } const buttons[5] = {{190, 0, 0x1A1A, 0, 0},
                          {14, 7, 0x2B2B, 4, 6},
                          {245, 0, 0x2B2B, 12, 14},
                          {266, 0, 0x2B2B, 0, 2},
                          {287, 0, 0x2B2B, 8, 10}};
    PartyRow* row = Rows();
    for (int r = 0; r < 2; ++r, row = row->Next) {
      ASSERT_NE(nullptr, row);
      for (int b = 0; b < 5; ++b) {
        const PartyRowButton& button = row->Buttons[b];
        EXPECT_EQ(b == 0 ? 1 : 0, button.Primary) << r << "/" << b;
        EXPECT_EQ(buttons[b].X, button.X) << r << "/" << b;
        EXPECT_EQ(RowY(r) + buttons[b].YOffset, button.Y) << r << "/" << b;
        EXPECT_EQ(buttons[b].Image, button.Image) << r << "/" << b;
        EXPECT_EQ(r == 0 ? buttons[b].FramePlain : buttons[b].FrameRelated, button.Frame)
            << r << "/" << b;
        EXPECT_EQ(b, button.Number) << r << "/" << b;
        EXPECT_EQ(b == 0 ? 3 : 0, button.State) << r << "/" << b;
        EXPECT_EQ(0, button.Reserved) << r << "/" << b;
      }
      EXPECT_EQ(4, row->ClassCode);
      EXPECT_EQ(77, row->Level);
      EXPECT_EQ(12, row->LocationCode);
      EXPECT_EQ(101 + r, row->UnitId);
      EXPECT_EQ(RowY(r) + 13, row->TextY);
    }
    EXPECT_EQ(nullptr, row);
  });
}

TEST(PartyRows, TheLocalPlayerIsFoundThroughAnAlias) {
  Player p;
  p.Name = "Aliased";
  MakeRoster(None, {p});
  Relate(0, 1, RelationFlagButton2);
  static AliasNode second = {}, first = {};
  second.UnitId = 4242;
  first.UnitId = 4141;
  first.Next = &second;
  Entry(0)->Aliases = &first;
  LocalUnit.UnitId = 4242;  // the unit knows itself by a further id
  RunPanel(Panel{}, NoScript, [&](const HostJournalData*) {
    ASSERT_NE(nullptr, Rows());
    EXPECT_EQ(14, Rows()->Buttons[2].Frame);
  });
}

TEST(PartyRows, RebuildFreesTheOldRowsFirst) {
  Player p;
  p.Name = "P";
  MakeRoster(None, {p, p, p});
  WhilePatched([&] {
    ClientCell<uintptr_t>(Offset_RosterHead) = reinterpret_cast<uintptr_t>(Entries.at(0));
    ClientCell<uintptr_t>(Offset_PlayerUnit) = reinterpret_cast<uintptr_t>(&LocalUnit);
    CallPartyListBuild();
    EXPECT_EQ(0, CountCalls(HostJournal(), "MemFree"));
    std::vector<uint32_t> old;
    for (PartyRow* row = Rows(); row != nullptr; row = row->Next)
      old.push_back(reinterpret_cast<uint32_t>(row));
    EXPECT_EQ(3u, old.size());

    Entry(2)->Next = nullptr;  // two others now
    HostJournalClear();
    CallInRegs regs = CallPartyListBuild();
    EXPECT_EQ((std::vector<std::string>{"MemFree", "MemFree", "MemFree", "MemAlloc", "MemAlloc"}),
              CallNames(HostJournal()));
    std::vector<const HostCallRecord*> frees = CallsOf(HostJournal(), "MemFree");
    for (size_t i = 0; i < frees.size(); ++i) {
      EXPECT_EQ(i < old.size() ? old[i] : 0, frees[i]->Args[0]) << i;
      EXPECT_STREQ("C:\\Brellix\\Source\\Orlavex\\UI\\Party", frees[i]->Text8);
      EXPECT_EQ(112u, frees[i]->Args[2]);
      EXPECT_EQ(0u, frees[i]->Args[3]);
      EXPECT_EQ(1u, frees[i]->Result) << "a live block";
    }
    for (const HostCallRecord* alloc : CallsOf(HostJournal(), "MemAlloc")) {
      EXPECT_EQ(209u, alloc->Args[0]);
      EXPECT_STREQ("C:\\Brellix\\Source\\Orlavex\\UI\\Party", alloc->Text8);
      EXPECT_EQ(296u, alloc->Args[2]);
      EXPECT_EQ(0u, alloc->Args[3]);
    }
    EXPECT_EQ(2, HostLiveBlockCount());
    // The host's caller of the rebuild gets its registers and stack back.
    EXPECT_EQ(0u, regs.StackPopped());
    EXPECT_EQ(MarkerEbx, regs.Ebx);
    EXPECT_EQ(MarkerEsi, regs.Esi);
    EXPECT_EQ(MarkerEdi, regs.Edi);
    EXPECT_EQ(MarkerEbp, regs.Ebp);

    // No roster at all: the rows go and the list is empty.
    ClientCell<uintptr_t>(Offset_RosterHead) = 0;
    CallPartyListBuild();
    EXPECT_EQ(nullptr, Rows());
    EXPECT_EQ(0, HostLiveBlockCount());
  });
}

// A name longer than the row's 24 characters is cut; nothing behind the name field is
// touched. Thirty characters do not fit the host's own field either: the entry's next
// pointer lies in the name, so the next entry sits at an address made of letters.
TEST(PartyRows, LongRosterNamesAreCutTo24Characters) {
  uint8_t* block = nullptr;
  for (uint32_t letter = 'A'; block == nullptr && letter <= 'Z'; ++letter) {
    uint32_t address = letter * 0x01010101u;
    block = static_cast<uint8_t*>(VirtualAlloc(reinterpret_cast<void*>(address & 0xFFFF0000u),
                                               0x10000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (block != nullptr) block += address & 0xFFFF;
  }
  ASSERT_NE(nullptr, block);

  Player p25, p30, after;
  p25.Name = "ABCDEFGHIJKLMNOPQRSTUVWXY";
  p30.Name = "abcdefghijklmnopqrstuvwxyz";
  after.Name = "After";
  for (Player* p : {&p25, &p30, &after}) {
    p->ClassCode = 6;
    p->Level = 99;
    p->Location = 0x7777;
  }
  MakeRoster(None, {p25, p30});
  RosterEntry* next = reinterpret_cast<RosterEntry*>(block);
  memset(next, 0, 0x100);
  memcpy(next, Entry(1), 0x84);
  strcpy(next->Name, after.Name);
  next->UnitId = 103;
  next->Next = nullptr;
  Entry(2)->Next = next;  // also the last four letters of its name
  char expected30[32];
  memcpy(expected30, Entry(2)->Name, 30);
  expected30[30] = 0;
  ASSERT_EQ(30u, strlen(Entry(2)->Name));

  RunPanel(Panel{}, NoScript, [&](const HostJournalData*) {
    PartyRow* row = Rows();
    const char* full[3] = {p25.Name, expected30, "After"};
    for (int i = 0; i < 3; ++i, row = row->Next) {
      ASSERT_NE(nullptr, row);
      EXPECT_EQ(std::string(full[i]).substr(0, 24), std::string(row->Name)) << i;
      EXPECT_EQ(0, row->Name[24]) << i;
      EXPECT_EQ(6, row->ClassCode) << i;
      EXPECT_EQ(99, row->Level) << i;
      EXPECT_EQ(0x7777, row->LocationCode) << i;
      EXPECT_EQ(RowY(i) + 13, row->TextY) << i;
    }
    EXPECT_EQ(nullptr, row);
  });
  VirtualFree(block - (reinterpret_cast<uintptr_t>(block) & 0xFFFF), 0, MEM_RELEASE);
}

// The rebuild never passes a null entry; called directly (the routines are linked into
// this test), one is reported through the host with line 295 and ends the process.
TEST(PartyRows, NullRosterEntryIsFatal) {
  if (InChildProcess()) {
    HostReset();
    AddPartyRow(nullptr, 90);
    return;
  }
  ChildRun child = RunThisTestInChild();
  EXPECT_EQ(0xFFFFFFFFu, child.ExitCode);
  EXPECT_EQ(-1, FindCall(child.Journal, "MemAlloc"));
  int from = FindCall(child.Journal, "ErrorFromLine");
  ASSERT_NE(-1, from);
  EXPECT_EQ(295u, child.Journal->Calls[from].Args[0]);
  int report = FindCall(child.Journal, "ReportFatalError", from);
  ASSERT_NE(-1, report);
  const HostCallRecord& call = child.Journal->Calls[report];
  EXPECT_EQ(child.Journal->Calls[from].Result, call.Args[1]);
  EXPECT_EQ(295u, call.Args[2]);
  EXPECT_EQ(0, call.Text[0]) << "an empty text";
}

// The host's allocator may give no block. The rows end there: rows and roster entries are
// paired by position, so a missing row in the middle would draw later players with the
// wrong names.
TEST(PartyRows, NoBlockFromTheHostEndsTheRowsThere) {
  std::vector<Player> others;
  for (const char* name : {"First", "Second", "Third", "Fourth"}) {
    Player p;
    p.Name = name;
    others.push_back(p);
  }
  MakeRoster(None, others);
  static uint8_t blocks[2][sizeof(PartyRow)];
  int allocations = 0;
  RunPanel(
      Panel{},
      [&] {
        OnCall("MemAlloc", [&](HostCallRecord&) {
          int n = allocations++;
          return n < 2 ? reinterpret_cast<uint32_t>(blocks[n]) : 0u;
        });
      },
      [&](const HostJournalData* journal) {
        EXPECT_EQ(3, allocations) << "no allocation after the one that failed";
        ASSERT_NE(nullptr, Rows());
        EXPECT_EQ(reinterpret_cast<PartyRow*>(blocks[0]), Rows());
        EXPECT_EQ(reinterpret_cast<PartyRow*>(blocks[1]), Rows()->Next);
        EXPECT_EQ(nullptr, Rows()->Next->Next);
        EXPECT_EQ(2, CountCalls(journal, "DrawPartyRow"));
        EXPECT_EQ("First", TextAt(journal, RowY(0) - 2, "First").Value);
        EXPECT_EQ("Second", TextAt(journal, RowY(1) - 2, "Second").Value);
        EXPECT_EQ("", TextAt(journal, RowY(2) - 2, "").Value);
      });
}

// Host strings come from language files that translators edit. However long they are, each
// text is built in its fixed buffer: what fits is drawn as composed, the terminator kept.
TEST(PartyTexts, LongHostTextsAreCutToTheirBuffers) {
  std::wstring sixtyX(60, L'x');
  std::wstring sixtyY(60, L'y');
  std::wstring longName;
  for (int i = 0; i < 300; ++i) longName += static_cast<wchar_t>(L'a' + i % 26);
  struct Case {
    const char* Name;
    std::wstring RecordName;
    int32_t TailWidth;  // 0: by the character rule
    std::string Level;
    std::string Location;
  };
  // The level text holds 99 characters: "Lv " and 60 x fill 63, the 60 y get 36, and the
  // level itself finds no room.
  std::string level = "Lv " + std::string(60, 'x') + std::string(36, 'y');
  const Case cases[] = {
      // 254 characters of the name are kept; cut to 139 - 24 pixels: 19 characters, then
      // the dots and the last character kept (the 254th: 't').
      {"a 300-character location name", longName, 0, level, "abcdefghijklmnopqrs...t"},
      // A tail the host measures as very narrow leaves the kept name uncut: the tail finds
      // no room behind its 254 characters and is left out.
      {"a tail that does not fit", longName, -2000, level, Narrow(longName.substr(0, 254).c_str())},
  };
  for (const Case& c : cases) {
    Player p;
    p.Name = "Long";
    p.PartyId = 7;
    p.Location = 5;
    MakeRoster(7, {p});
    static uint8_t record[366 + 2 * 301];
    memset(record, 0, sizeof(record));
    memcpy(record + 366, c.RecordName.c_str(), 2 * c.RecordName.size());
    RunPanel(
        Panel{},
        [&] {
          HostSetString(3368, L"Lv ");
          HostSetString(3997, sixtyX.c_str());
          HostSetString(3995, sixtyY.c_str());
          HostSetResult("GetNamedRecord", reinterpret_cast<uint32_t>(record));
          if (c.TailWidth != 0) {
            std::wstring tail = L"...";
            tail += c.RecordName[253];
            HostSetTextWidth(tail.c_str(), c.TailWidth);
          }
        },
        [&](const HostJournalData* journal) {
          EXPECT_EQ(c.Level, TextAt(journal, RowY(0) + 12, "Lv").Value) << c.Name;
          std::string location;
          for (const Text& text : Texts(journal))
            if (text.X == 126 && text.Y == RowY(0) + 12) location = text.Value;
          EXPECT_EQ(c.Location, location) << c.Name;
        });
  }
}

// --- colours, name limits and the texts of a row ---

TEST(PartyTexts, ColourAndNameLimitFollowTheEffectivePartyAndRelationFlagButton1) {
  // 15 characters at 7 pixels: 105, over the in-party limit (95), under the other (135).
  const char* name = "Abcdefghijklmno";
  Player own, other1, other2, alone, loner, hostile;
  own.PartyId = 7, own.Location = 21;
  other1.PartyId = 9, other1.Location = 21;
  other2.PartyId = 9;
  loner.PartyId = 12;  // carried by nobody else
  hostile.PartyId = 7, hostile.Location = 21;
  for (Player* p : {&own, &other1, &other2, &alone, &loner, &hostile}) p->Name = name;
  MakeRoster(7, {own, other1, other2, alone, loner, hostile});
  Relate(6, 0, RelationFlagButton1);  // the row's player toward us
  Relate(0, 4, RelationFlagButton1);  // us toward the row's player: no colour change
  static uint8_t record[512];
  memcpy(record + 366, L"Harbour", sizeof(L"Harbour"));
  Panel panel;
  panel.CharWidth = 7;
  RunPanel(
      panel, [] { HostSetResult("GetNamedRecord", reinterpret_cast<uint32_t>(record)); },
      [&](const HostJournalData* journal) {
        struct {
          int32_t Colour;
          const char* Name;
          bool Location;
        } const rows[6] = {{2, "Abcdefghijklm...", true},
                           {8, "Abcdefghijklm...", false},
                           {8, "Abcdefghijklm...", false},
                           {0, name, false},
                           {0, name, false},
                           {1, "Abcdefghijklm...", true}};
        for (int i = 0; i < 6; ++i) {
          int32_t y = RowY(i);
          Text drawnName = TextAt(journal, y - 2, "Abc");
          EXPECT_EQ(rows[i].Name, drawnName.Value) << i;
          EXPECT_EQ(36, drawnName.X) << i;
          EXPECT_EQ(rows[i].Colour, drawnName.Colour) << i;
          EXPECT_EQ(rows[i].Colour, TextAt(journal, y + 12, "#4154").Colour) << "class " << i;
          EXPECT_EQ(rows[i].Colour, TextAt(journal, y + 12, "#3368").Colour) << "level " << i;
          int locations = 0;
          for (const Text& text : Texts(journal)) {
            if (text.Y != y + 12 || text.X != 126) continue;
            ++locations;
            EXPECT_EQ("Harbour", text.Value) << i;
            EXPECT_EQ(rows[i].Colour, text.Colour) << "location " << i;
          }
          EXPECT_EQ(rows[i].Location ? 1 : 0, locations) << i;
        }
        // SetTextFont 0 before every row's texts, 1 after.
        std::vector<const HostCallRecord*> fonts = CallsOf(journal, "SetTextFont");
        ASSERT_EQ(12u, fonts.size());
        for (size_t i = 0; i < fonts.size(); ++i) EXPECT_EQ(i % 2, fonts[i]->Args[0]) << i;
      });
}

TEST(PartyTexts, PartyIdsAndRelationsAreReadAtEveryFrame) {
  Player p;
  p.Name = "Mover";
  p.PartyId = 7;
  MakeRoster(7, {p});
  WhilePatched([&] {
    ClientCell<uintptr_t>(Offset_RosterHead) = reinterpret_cast<uintptr_t>(Entries.at(0));
    ClientCell<uintptr_t>(Offset_PlayerUnit) = reinterpret_cast<uintptr_t>(&LocalUnit);
    CallPartyListBuild();
    ClientCell<int32_t>(Offset_UiPanelFlags + 4 * 22) = 1;
    int32_t colours[4];
    for (int frame = 0; frame < 4; ++frame) {
      if (frame == 1) Entry(1)->PartyId = 8;  // left our party: a party of one now
      if (frame == 2) Relate(1, 0, RelationFlagButton1);
      if (frame == 3) Entry(1)->UnitId = 200;  // the entry's player now differs from the row's
      HostJournalClear();
      CallFrameDraw(0);
      colours[frame] = TextAt(HostJournal(), RowY(0) - 2, "Mover").Colour;
    }
    EXPECT_EQ(2, colours[0]);
    EXPECT_EQ(0, colours[1]);
    EXPECT_EQ(1, colours[2]);
    EXPECT_EQ(1, colours[3]);  // the relation is the roster entry's, not the row's
  });
}

TEST(PartyTexts, NameWidthLimitsAreInclusive) {
  struct {
    const char* Name;
    uint16_t Party;
    int32_t Width;
    const char* Drawn;
  } const cases[] = {
      {"Bertram", None, 135, "Bertram"},
      {"Corvina", None, 136, "Corvin..."},
      {"Dagmar", 7, 95, "Dagmar"},
      {"Elspeth", 7, 96, "Elspet..."},
  };
  std::vector<Player> others;
  for (const auto& c : cases) {
    Player p;
    p.Name = c.Name;
    p.PartyId = c.Party;
    others.push_back(p);
  }
  MakeRoster(7, others);
  RunPanel(
      Panel{},
      [&] {
        for (const auto& c : cases) {
          std::wstring wide(c.Name, c.Name + strlen(c.Name));
          HostSetTextWidth(wide.c_str(), c.Width);
        }
      },
      [&](const HostJournalData* journal) {
        for (size_t i = 0; i < 4; ++i)
          EXPECT_EQ(cases[i].Drawn, TextAt(journal, RowY(static_cast<int>(i)) - 2, "").Value) << i;
      });
}

TEST(PartyTexts, NamesAreConvertedUpTo16AndCutFromTheEnd) {
  Player p;
  p.Name = "Quintessentially";  // 16 characters: the host converts 15 of them
  MakeRoster(None, {p});
  RunPanel(Panel{}, NoScript, [&](const HostJournalData* journal) {
    const HostCallRecord* convert = CallsOf(journal, "Unicode::toUnicode").at(0);
    EXPECT_EQ(16u, convert->Args[2]);
    EXPECT_EQ("Quintessentiall", TextAt(journal, RowY(0) - 2, "").Value);
  });
}

TEST(PartyTexts, ClassAndLevelTexts) {
  std::vector<Player> others;
  for (int code = 0; code <= 7; ++code) {
    Player p;
    p.Name = "C";
    p.ClassCode = code;
    p.Level = static_cast<uint16_t>(code == 7 ? 123 : code + 1);
    others.push_back(p);
  }
  MakeRoster(None, others);
  const char* classes[8] = {"#4154", "#4155",  "#4157",  "#4158",
                            "#4156", "#10097", "#10098", nullptr};
  RunPanel(
      Panel{},
      [] {
        HostSetString(3368, L"Level in this game world:");  // 25 characters, 20 kept
        HostSetString(3997, L"|");
        HostSetString(3995, L"=");
      },
      [&](const HostJournalData* journal) {
        for (int code = 0; code <= 7; ++code) {
          int32_t y = RowY(code) + 12;
          Text klass = TextAt(journal, y, "#");
          if (classes[code] == nullptr) {
            EXPECT_EQ("", klass.Value) << "class code above 6 draws nothing";
          } else {
            EXPECT_EQ(classes[code], klass.Value) << code;
            EXPECT_EQ(36, klass.X) << code;
          }
          Text level = TextAt(journal, y, "Level");
          std::string number = code == 7 ? "123" : " " + std::to_string(code + 1);
          EXPECT_EQ("Level in this game w|=" + number, level.Value) << code;
          EXPECT_EQ(266, level.X) << code;
        }
      });
}

TEST(PartyTexts, LocationNames) {
  struct Case {
    const char* Name;
    int32_t Code;
    bool Record;
    uint32_t QueryFlag;
    const wchar_t* RecordName;
    int32_t Width;      // of the whole record name, 0: by the character rule
    const char* Drawn;  // "" = no location text
  };
  const Case cases[] = {
      {"140 pixels: whole", 3, true, 0, L"Harbour Gate", 140, "Harbour Gate"},
      {"141 pixels: cut, three dots and the last character", 4, true, 0,
       L"Abcdefghijklmnopqrstuvwxyz", 141, "Abcdefghijklmnopqrs...z"},
      {"code 8, flag clear", 8, true, 0, L"ignored", 0, "#5047"},
      {"code 8, flag set", 8, true, 1, L"ignored", 0, "#5048"},
      {"code 8, no record", 8, false, 1, L"", 0, "#5389"},
      {"no record", 9, false, 0, L"", 0, "#5389"},
      {"code 0: no location text", 0, true, 0, L"Nowhere", 0, ""},
  };
  for (const Case& c : cases) {
    Player p;
    p.Name = "Loc";
    p.PartyId = 7;
    p.Location = c.Code;
    MakeRoster(7, {p});
    static uint8_t record[512];
    memset(record, 0, sizeof(record));
    memcpy(record + 366, c.RecordName, (wcslen(c.RecordName) + 1) * 2);
    RunPanel(
        Panel{},
        [&] {
          HostSetResult("GetNamedRecord", c.Record ? reinterpret_cast<uint32_t>(record) : 0);
          HostSetResult("ClientQueryFlag", c.QueryFlag);
          if (c.Width != 0) HostSetTextWidth(c.RecordName, c.Width);
        },
        [&](const HostJournalData* journal) {
          std::string drawn;
          for (const Text& text : Texts(journal))
            if (text.X == 126 && text.Y == RowY(0) + 12) drawn = text.Value;
          EXPECT_EQ(c.Drawn, drawn) << c.Name;
          if (c.Code != 0) {
            const HostCallRecord* named = CallsOf(journal, "GetNamedRecord").at(0);
            EXPECT_EQ(static_cast<uint32_t>(c.Code), named->Args[0]) << c.Name;
          }
        });
  }
}

TEST(PartyTexts, PartyStateTexts) {
  enum Group { Alone, Same, Other };
  struct Case {
    int32_t State;
    Group Group;
    int32_t Width;
    const char* Drawn;  // nullptr: nothing
    int32_t X, Colour;
  };
  const Case cases[] = {
      {0, Alone, 40, "#4150", 197, 0}, {0, Alone, 60, "#4150", 190, 0},
      {0, Same, 54, "#4150", 190, 0},  {0, Alone, 53, "#4150", 190, 0},
      {0, Alone, 51, "#4150", 191, 0}, {1, Alone, 40, nullptr, 0, 0},
      {1, Same, 40, "#4148", 162, 2},  {1, Other, 40, "#4149", 182, 8},
      {2, Other, 30, "#4151", 202, 0}, {3, Alone, 30, "#4152", 202, 0},
      {4, Same, 30, "#5103", 202, 0},  {5, Alone, 30, nullptr, 0, 0},
      {-1, Alone, 30, nullptr, 0, 0},
  };
  for (const Case& c : cases) {
    Player p, partner;
    p.Name = "State";
    p.State = c.State;
    p.PartyId = c.Group == Alone ? None : c.Group == Same ? 7 : 9;
    partner.Name = "Partner";
    partner.PartyId = 9;
    MakeRoster(7, {p, partner});
    Relate(1, 0, RelationFlagButton1);  // the row colour (1) does not reach the state text
    RunPanel(
        Panel{},
        [&] {
          for (const wchar_t* text : {L"#4150", L"#4148", L"#4149", L"#4151", L"#4152", L"#5103"})
            HostSetTextWidth(text, c.Width);
        },
        [&](const HostJournalData* journal) {
          Text state = TextAt(journal, RowY(0) - 2, "#");
          std::string what =
              "state " + std::to_string(c.State) + " width " + std::to_string(c.Width);
          if (c.Drawn == nullptr) {
            EXPECT_EQ("", state.Value) << what;
            return;
          }
          EXPECT_EQ(c.Drawn, state.Value) << what;
          EXPECT_EQ(c.X, state.X) << what;
          EXPECT_EQ(c.Colour, state.Colour) << what;
        });
  }
}

TEST(PartyTexts, DisplayMode2ShiftsTextsButNotButtonsOrDividers) {
  Player a, b;
  a.Name = "Shifted";
  a.PartyId = 7;
  a.Location = 8;
  b.Name = "Other";
  b.PartyId = 9;
  MakeRoster(7, {a, b});
  static uint8_t record[512];
  Panel panel;
  panel.DisplayMode = 2;
  RunPanel(
      panel, [] { HostSetResult("GetNamedRecord", reinterpret_cast<uint32_t>(record)); },
      [&](const HostJournalData* journal) {
        Text name = TextAt(journal, 90 - 2 + 60, "Shifted");
        EXPECT_EQ(36 + 80, name.X);
        EXPECT_EQ(36 + 80, TextAt(journal, 90 + 12 + 60, "#4154").X);
        EXPECT_EQ(266 + 80, TextAt(journal, 90 + 12 + 60, "#3368").X);
        EXPECT_EQ(126 + 80, TextAt(journal, 90 + 12 + 60, "#5047").X);
        EXPECT_EQ(190 + 80 + (54 - 30) / 2, TextAt(journal, 90 - 2 + 60, "#4150").X);
        EXPECT_EQ(190, Rows()->Buttons[0].X);
        EXPECT_EQ(90, Rows()->Buttons[0].Y);
        EXPECT_EQ((std::vector<int32_t>{104, 137}), Dividers(journal));
      });
}

TEST(PartyTexts, HoverRegionBoundsAreInclusive) {
  struct {
    int32_t Mode, X, Y;
    bool Shown;
  } const cases[] = {
      {0, 278, 389, true},  {0, 310, 421, true},  {0, 278, 421, true},  {0, 277, 400, false},
      {0, 311, 400, false}, {0, 300, 388, false}, {0, 300, 422, false}, {2, 358, 449, true},
      {2, 390, 481, true},  {2, 278, 389, false}, {2, 357, 449, false},
  };
  Player p;
  p.Name = "Hover";
  MakeRoster(None, {p});
  for (const auto& c : cases) {
    Panel panel;
    panel.DisplayMode = c.Mode;
    panel.MouseX = c.X;
    panel.MouseY = c.Y;
    RunPanel(panel, NoScript, [&](const HostJournalData* journal) {
      std::vector<const HostCallRecord*> hovers;
      for (const HostCallRecord* call : CallsOf(journal, "SetHoverText"))
        if (call->Args[0] != 0) hovers.push_back(call);
      std::string what = "mode " + std::to_string(c.Mode) + " at " + std::to_string(c.X) + "," +
                         std::to_string(c.Y);
      ASSERT_EQ(c.Shown ? 1u : 0u, hovers.size()) << what;
      if (!c.Shown) return;
      int32_t shiftX = c.Mode == 2 ? 80 : 0, shiftY = c.Mode == 2 ? 60 : 0;
      EXPECT_EQ("#4143", Narrow(hovers[0]->Text)) << what;
      EXPECT_EQ(static_cast<uint32_t>(293 + shiftX), hovers[0]->Args[1]) << what;
      EXPECT_EQ(static_cast<uint32_t>(386 + shiftY), hovers[0]->Args[2]) << what;
      EXPECT_EQ(0u, hovers[0]->Args[3]) << what;
      EXPECT_EQ(1u, hovers[0]->Args[4]) << what;
    });
  }
}

// --- dividers ---

TEST(PartyDividers, FollowRawPartyIds) {
  const uint16_t A = 3, B = 4;
  struct Case {
    const char* Name;
    std::vector<uint16_t> Parties;
    std::vector<int32_t> Dividers;
    bool WithPlayer;
  };
  const Case cases[] = {
      {"A A B", {A, A, B}, {137, 170}, true},
      {"A A none: no closing divider", {A, A, None}, {137}, true},
      {"none none", {None, None}, {}, true},
      {"a party of one stands apart", {A}, {104}, true},
      {"A B A", {A, B, A}, {104, 137, 170}, true},
      {"nine in one party: no closing divider", {A, A, A, A, A, A, A, A, A}, {}, true},
      {"eight in one party", {A, A, A, A, A, A, A, A}, {335}, true},
      {"only the local player", {}, {}, true},
      {"dividers without a local player", {A, A, B}, {137, 170}, false},
  };
  for (const Case& c : cases) {
    std::vector<Player> others;
    for (uint16_t party : c.Parties) {
      Player p;
      p.Name = "D";
      p.PartyId = party;
      others.push_back(p);
    }
    MakeRoster(None, others);
    Panel panel;
    panel.WithPlayer = c.WithPlayer;
    RunPanel(panel, NoScript, [&](const HostJournalData* journal) {
      EXPECT_EQ(c.Dividers, Dividers(journal)) << c.Name;
      // The rows' texts need the local player; the dividers follow the roster alone.
      int rows = c.WithPlayer ? static_cast<int>(c.Parties.size()) : 0;
      EXPECT_EQ(rows, CountCalls(journal, "DrawPartyRow")) << c.Name;
      if (!c.WithPlayer) {
        EXPECT_EQ(0, CountCalls(journal, "DrawUiText")) << c.Name;
      }
    });
  }
}

TEST(PartyDividers, NoRosterDrawsNothing) {
  MakeRoster(None, {});
  Panel panel;
  panel.WithRoster = false;
  RunPanel(panel, NoScript, [&](const HostJournalData* journal) {
    EXPECT_EQ(0, CountCalls(journal, "DrawPartyDivider"));
    EXPECT_EQ(0, CountCalls(journal, "DrawUiText"));
    EXPECT_EQ(1, CountCalls(journal, "PartyDrawF"));
  });
}
