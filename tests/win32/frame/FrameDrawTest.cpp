// The frame draw routine, entered through the host's own call at FrameDrawCallSite with the
// patches in place: which host draw steps run, in which order, under which panel flags.
#include "Orlavex/HostRecords.h"
#include "testhost/kit/HostKit.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

// Flags the routine reads; 18 stops the whole frame and is left out of "every flag".
static const std::vector<int> FlagsRead = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                           12, 13, 14, 15, 16, 17, 19, 20, 21, 22, 23,
                                           25, 26, 28, 29, 31, 33, 34, 35, 36, 37};

static int32_t& Flag(int n) { return ClientCell<int32_t>(Offset_UiPanelFlags + 4 * n); }

struct Frame {
  std::vector<int> Flags;
  int32_t DrawMode = 0;
  int32_t DisplayMode = 0;
  uintptr_t ExtraObject = 0;
};

// A local player with the always-show flag: the stat text draws in every frame, and its
// GetPlayerStat calls ("S S") mark where it ran.
static UnitRecord LocalUnit;

// Runs ClientEntry; inside the state loop, sets up the frame, clears the journal, enters
// the host's frame caller with argument and hands the journal of that frame to check.
static void RunFrame(const Frame& frame, uint32_t argument,
                     const std::function<void(const HostJournalData*, const CallInRegs&)>& check) {
  HostLaunchSettings settings = {};
  settings.StatTextAlwaysShown = 1;
  WhilePatched(
      [&] {
        HostSetResult("GetDisplayMode", static_cast<uint32_t>(frame.DisplayMode));
        for (int n : frame.Flags) Flag(n) = 1;
        ClientCell<int32_t>(Offset_ClientDrawMode) = frame.DrawMode;
        ClientCell<uintptr_t>(Offset_UiExtraObject) = frame.ExtraObject;
        ClientCell<uintptr_t>(Offset_PlayerUnit) = reinterpret_cast<uintptr_t>(&LocalUnit);
        HostJournalClear();
        CallInRegs regs = CallFrameDraw(argument);
        check(HostJournal(), regs);
      },
      settings);
}

// The frame as tokens: "NN" for DrawStepNN, "S" for GetPlayerStat (the stat text), "PA" to
// "PF" for PartyDrawA to F (the party panel), "W" for WinFrameStep, "H" for SetHoverText.
static std::string Tokens(const HostJournalData* journal) {
  std::ostringstream out;
  for (uint32_t i = 0; i < journal->Count; ++i) {
    std::string name = journal->Calls[i].Function;
    std::string token;
    if (name.compare(0, 8, "DrawStep") == 0)
      token = name.substr(8);
    else if (name == "GetPlayerStat")
      token = "S";
    else if (name.compare(0, 9, "PartyDraw") == 0)
      token = "P" + name.substr(9);
    else if (name == "WinFrameStep")
      token = "W";
    else if (name == "SetHoverText")
      token = "H";
    if (!token.empty()) out << (out.tellp() > 0 ? " " : "") << token;
  }
  return out.str();
}

static std::string FrameTokens(const Frame& frame) {
  std::string tokens;
  RunFrame(frame, 0,
           [&](const HostJournalData* journal, const CallInRegs&) { tokens = Tokens(journal); });
  return tokens;
}

static const char BaseFrame[] = "H 03 04 06 07 09 10 17 25 27 30 32 S S 41 42 W 43 44 45 46 47 48";

struct SequenceCase {
  const char* Name;
  std::vector<int> Flags;
  int32_t DrawMode;
  const char* Expected;
};

static const SequenceCase SequenceCases[] = {
    {"no flag", {}, 0, BaseFrame},
    {"flag 1 drops 06 07, adds 15",
     {1},
     0,
     "H 03 04 09 10 15 17 25 27 30 32 S S 41 42 W 43 44 45 46 47 48"},
    {"flag 12 as flag 1", {12}, 0, "H 03 04 09 10 15 17 25 27 30 32 S S 41 42 W 43 44 45 46 47 48"},
    {"flag 14 also adds 40",
     {14},
     0,
     "H 03 04 09 10 15 17 25 27 30 32 S S 40 41 42 W 43 44 45 46 47 48"},
    {"flag 23 alone: 15 once, after 16",
     {23},
     0,
     "H 03 04 06 07 09 10 16 15 17 25 27 30 32 S S 41 42 W 43 44 45 46 47 48"},
    {"flags 10 and 13, draw mode 0",
     {10, 13},
     0,
     "H 03 04 06 07 08 09 10 17 25 27 30 32 S S 37 38 41 42 W 43 44 45 46 47 48"},
    {"flags 10 and 13, draw mode 3", {10, 13}, 3, BaseFrame},
    {"flag 6", {6}, 0, "H 03 04 06 07 09 10 17 25 27 29 32 S S 41 42 W 43 44 45 46 47 48"},
    {"flag 7", {7}, 0, "H 03 04 06 07 09 10 17 25 27 30 31 S S 41 42 W 43 44 45 46 47 48"},
    {"flags 6 and 7",
     {6, 7},
     0,
     "H 03 04 06 07 09 10 17 25 27 29 31 S S 41 42 W 43 44 45 46 47 48"},
    {"flag 33: 23 24 before 25, 36 after the stat text",
     {33},
     0,
     "H 03 04 06 07 09 10 17 23 24 25 27 30 32 S S 36 41 42 W 43 44 45 46 47 48"},
};

TEST(FrameDraw, StepSequenceUnderFlags) {
  for (const SequenceCase& c : SequenceCases) {
    Frame frame;
    frame.Flags = c.Flags;
    frame.DrawMode = c.DrawMode;
    EXPECT_EQ(c.Expected, FrameTokens(frame)) << c.Name;
  }
}

// One flag, one step more than the bare frame, in its place.
struct SingleFlagCase {
  int Flag;
  const char* Steps;  // what the flag adds
  const char* After;  // the token it follows in the bare frame
};

static const SingleFlagCase SingleFlagCases[] = {
    {9, "01", "H"},   {11, "02", "H"},
    {35, "05", "04"}, {19, "11", "10"},
    {36, "12", "10"}, {37, "13", "10"},
    {15, "14", "10"}, {4, "18", "17"},
    {2, "19", "17"},  {22, "PA PB PC PD PE PF", "17"},
    {16, "21", "17"}, {20, "22", "17"},
    {3, "26", "25"},  {34, "28", "27"},
    {17, "33", "32"}, {21, "34", "S S"},
    {5, "35", "S S"}, {8, "39", "S S"},
    {25, "15", "10"}, {26, "15", "10"},
    {28, "15", "10"}, {29, "15", "10"},
};

TEST(FrameDraw, EachConditionalStepFollowsItsFlag) {
  for (const SingleFlagCase& c : SingleFlagCases) {
    std::string expected = BaseFrame;
    std::string after = std::string(" ") + c.After + " ";
    size_t at = (std::string(" ") + expected + " ").find(after);
    ASSERT_NE(std::string::npos, at) << c.Flag;
    expected.insert(at + after.size() - 1, std::string(c.Steps) + " ");
    Frame frame;
    frame.Flags = {c.Flag};
    EXPECT_EQ(expected, FrameTokens(frame)) << "flag " << c.Flag;
  }
}

TEST(FrameDraw, EveryFlagButEighteenDrawsEveryStepInOrder) {
  static uint8_t extra[16];
  Frame frame;
  frame.Flags = FlagsRead;
  frame.ExtraObject = reinterpret_cast<uintptr_t>(extra);
  EXPECT_EQ(
      "H 01 02 03 04 05 08 09 10 11 12 13 14 15 16 15 17 18 19 PA PB PC PD PE PF 20 21 22 23 24 25 "
      "26 "
      "27 28 29 31 33 S S 34 35 36 37 38 39 40 41 42 W 43 44 45 46 47 48",
      FrameTokens(frame));
}

TEST(FrameDraw, DrawStep15RunsTwiceWhenFlag23MeetsAnyOfItsSevenFlags) {
  for (int other : {1, 12, 14, 25, 26, 28, 29}) {
    Frame frame;
    frame.Flags = {23, other};
    std::string tokens = FrameTokens(frame);
    size_t first = tokens.find("15");
    size_t sixteen = tokens.find("16");
    size_t second = tokens.find("15", first + 1);
    EXPECT_TRUE(first < sixteen && sixteen < second && second != std::string::npos)
        << "flag " << other << ": " << tokens;
    EXPECT_EQ(std::string::npos, tokens.find("15", second + 1)) << "flag " << other;
  }
}

TEST(FrameDraw, Flag18DrawsNothingAndWritesNothing) {
  std::vector<int> flags = FlagsRead;
  flags.push_back(18);
  HostLaunchSettings settings = {};
  settings.StatTextAlwaysShown = 1;
  WhilePatched(
      [&] {
        HostSetResult("GetDisplayMode", 2);
        for (int n : flags) Flag(n) = 1;
        ClientCell<uintptr_t>(Offset_PlayerUnit) = reinterpret_cast<uintptr_t>(&LocalUnit);
        ClientCell<int32_t>(Offset_UiOffsetX) = 1111;
        ClientCell<int32_t>(Offset_UiOffsetY) = 2222;
        ClientCell<uint16_t>(Offset_FrameTextA) = 0x3333;
        ClientCell<uint16_t>(Offset_FrameTextB) = 0x4444;
        HostJournalClear();
        CallInRegs regs = CallFrameDraw(0x42);
        EXPECT_EQ(0u, HostJournal()->Count) << "no host call, no plug-in routine";
        EXPECT_EQ(1111, ClientCell<int32_t>(Offset_UiOffsetX));
        EXPECT_EQ(2222, ClientCell<int32_t>(Offset_UiOffsetY));
        EXPECT_EQ(0x3333, ClientCell<uint16_t>(Offset_FrameTextA));
        EXPECT_EQ(0x4444, ClientCell<uint16_t>(Offset_FrameTextB));
        EXPECT_EQ(0, ClientCell<int32_t>(Offset_PanelLatch31));
        EXPECT_EQ(4u, regs.StackPopped());
      },
      settings);
}

TEST(FrameDraw, DisplayModeSetsTheLayoutOffsets) {
  struct {
    int32_t Mode, OffsetX, OffsetY;
  } const cases[] = {{0, 0, 0}, {1, 0, 0}, {2, 80, -60}, {3, 0, 0}};
  for (const auto& c : cases) {
    Frame frame;
    frame.DisplayMode = c.Mode;
    RunFrame(frame, 0, [&](const HostJournalData*, const CallInRegs&) {
      EXPECT_EQ(c.OffsetX, ClientCell<int32_t>(Offset_UiOffsetX)) << "mode " << c.Mode;
      EXPECT_EQ(c.OffsetY, ClientCell<int32_t>(Offset_UiOffsetY)) << "mode " << c.Mode;
    });
  }
}

TEST(FrameDraw, HostCellsOfEveryFrame) {
  WhilePatched([&] {
    Flag(31) = 1;
    ClientCell<uint16_t>(Offset_FrameTextA) = 0x3333;
    ClientCell<uint16_t>(Offset_FrameTextB) = 0x4444;
    HostJournalClear();
    CallFrameDraw(0);
    EXPECT_EQ(0, ClientCell<uint16_t>(Offset_FrameTextA));
    EXPECT_EQ(0, ClientCell<uint16_t>(Offset_FrameTextB));
    EXPECT_EQ(1, ClientCell<int32_t>(Offset_PanelLatch31));
    // The hover text is cleared first thing, with five zeros.
    const HostCallRecord* hover = CallsOf(HostJournal(), "SetHoverText").at(0);
    EXPECT_EQ(5, hover->ArgCount);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(0u, hover->Args[i]) << i;

    // The latch is the host's to clear.
    Flag(31) = 0;
    CallFrameDraw(0);
    EXPECT_EQ(1, ClientCell<int32_t>(Offset_PanelLatch31));
  });
}

TEST(FrameDraw, ArgumentsReachTheirStepsAndTheCallerStackIsBalanced) {
  static uint8_t extra[16];
  Frame frame;
  frame.ExtraObject = reinterpret_cast<uintptr_t>(extra);
  RunFrame(frame, 0xF00DF00D, [&](const HostJournalData* journal, const CallInRegs& regs) {
    const HostCallRecord* step42 = CallsOf(journal, "DrawStep42").at(0);
    EXPECT_EQ(0xF00DF00Du, step42->Eax);
    const HostCallRecord* step20 = CallsOf(journal, "DrawStep20").at(0);
    EXPECT_EQ(reinterpret_cast<uint32_t>(extra), step20->Esi);
    // The host's caller pushed one argument and returns with "ret 4": the routine popped
    // exactly its argument, or the caller would not have come back here balanced.
    EXPECT_EQ(4u, regs.StackPopped());
    EXPECT_EQ(MarkerEbx, regs.Ebx);
    EXPECT_EQ(MarkerEsi, regs.Esi);
    EXPECT_EQ(MarkerEdi, regs.Edi);
    EXPECT_EQ(MarkerEbp, regs.Ebp);
  });
}

TEST(FrameDraw, DrawStep03ResultGoesToDrawStep04) {
  WhilePatched([&] {
    HostSetResult("DrawStep03", 0x5EED0003);
    HostJournalClear();
    CallFrameDraw(0);
    const HostCallRecord* step04 = CallsOf(HostJournal(), "DrawStep04").at(0);
    EXPECT_EQ(1, step04->ArgCount);
    EXPECT_EQ(0x5EED0003u, step04->Args[0]);
  });
}

TEST(FrameDraw, FlagsAreReadWhenTested) {
  // A draw step that opens the party panel in the middle of the frame: the panel is drawn
  // in that same frame.
  WhilePatched([&] {
    OnCall("DrawStep17", [](HostCallRecord&) {
      Flag(22) = 1;
      return 0u;
    });
    HostJournalClear();
    CallFrameDraw(0);
    EXPECT_EQ(1, CountCalls(HostJournal(), "PartyDrawA"));
  });
}
