// The stat value text, drawn by every frame the host draws through the patched call.
#include "Orlavex/HostRecords.h"
#include "testhost/kit/HostKit.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

static UnitRecord LocalUnit;

struct Screen {
  int32_t Width = 800, Height = 600;
  int32_t MouseX = 0, MouseY = 0;
  bool Always = false;
  bool WithPlayer = true;
  int32_t Mode = 0;
  uint32_t Stat6 = 0x1400, Stat6Max = 0x6400;  // 20 of 100
  uint32_t Stat8 = 0x0A80, Stat8Max = 0x3200;  // 10 of 50
};

struct Drawn {
  std::string Text;
  int32_t X, Y, Colour, Last;
};

// One frame with every panel flag clear; script runs before it (texts, widths).
static std::vector<Drawn> DrawFrame(
    const Screen& screen, const std::function<void()>& script = [] {},
    std::vector<uint32_t>* statsAsked = nullptr) {
  std::vector<Drawn> drawn;
  HostLaunchSettings settings = {};
  settings.StatTextAlwaysShown = screen.Always ? 1 : 0;
  WhilePatched(
      [&] {
        HostSetString(4165, L"L %u/%u");
        HostSetString(4166, L"R %u/%u");
        HostSetResult("GetStat6Max", screen.Stat6Max);
        HostSetResult("GetStat8Max", screen.Stat8Max);
        script();
        LocalUnit = UnitRecord{};
        LocalUnit.Mode = screen.Mode;
        ClientCell<uintptr_t>(Offset_PlayerUnit) =
            screen.WithPlayer ? reinterpret_cast<uintptr_t>(&LocalUnit) : 0;
        ClientCell<int32_t>(Offset_ScreenWidth) = screen.Width;
        ClientCell<int32_t>(Offset_ScreenHeight) = screen.Height;
        ClientCell<int32_t>(Offset_MouseX) = screen.MouseX;
        ClientCell<int32_t>(Offset_MouseY) = screen.MouseY;
        OnCall("GetPlayerStat",
               [&](HostCallRecord& call) { return call.Eax == 6 ? screen.Stat6 : screen.Stat8; });
        HostJournalClear();
        CallFrameDraw(0);
        for (const HostCallRecord* call : CallsOf(HostJournal(), "DrawUiText"))
          drawn.push_back(Drawn{Narrow(call->Text), static_cast<int32_t>(call->Args[1]),
                                static_cast<int32_t>(call->Args[2]),
                                static_cast<int32_t>(call->Args[3]),
                                static_cast<int32_t>(call->Args[4])});
        if (statsAsked != nullptr)
          for (const HostCallRecord* call : CallsOf(HostJournal(), "GetPlayerStat"))
            statsAsked->push_back(call->Eax);
        for (const HostCallRecord* call : CallsOf(HostJournal(), "Unicode::sprintf"))
          EXPECT_EQ(100u, call->Args[0]) << "buffer size";
        for (const char* max : {"GetStat6Max", "GetStat8Max"})
          for (const HostCallRecord* call : CallsOf(HostJournal(), max))
            EXPECT_EQ(reinterpret_cast<uint32_t>(&LocalUnit), call->Args[0]) << max;
      },
      settings);
  return drawn;
}

// "L", "R", "LR" or "" for the texts drawn.
static std::string Sides(const std::vector<Drawn>& drawn) {
  std::string sides;
  for (const Drawn& d : drawn) sides += d.Text.substr(0, 1);
  return sides;
}

TEST(StatText, CornerRegionsAreInclusiveAndUnsigned) {
  const int32_t W = 800, H = 600;
  struct {
    int32_t X, Y;
    const char* Sides;
  } const cases[] = {
      {30, H - 75, "L"},    {29, H - 75, ""},       {30, H - 76, ""},      {110, H - 15, "L"},
      {111, H - 15, ""},    {110, H - 14, ""},      {70, 540, "L"},        {W - 31, H - 15, "R"},
      {W - 30, H - 15, ""}, {W - 111, H - 75, "R"}, {W - 112, H - 75, ""}, {W - 31, H - 14, ""},
      {-1, H - 40, ""},     {40, -1, ""},           {400, H - 40, ""},     {0, 0, ""},
  };
  for (const auto& c : cases) {
    Screen screen;
    screen.MouseX = c.X;
    screen.MouseY = c.Y;
    EXPECT_EQ(c.Sides, Sides(DrawFrame(screen))) << c.X << "," << c.Y;
  }
}

TEST(StatText, AlwaysShowFlagDrawsBothWhereverTheCursorIs) {
  for (int32_t x : {0, 70, 400, 760}) {
    Screen screen;
    screen.Always = true;
    screen.MouseX = x;
    screen.MouseY = 10;
    EXPECT_EQ("LR", Sides(DrawFrame(screen))) << x;
  }
}

TEST(StatText, ValuesAreWholeUnitsWithTheFloorOutsideMode17) {
  struct {
    const char* Name;
    int32_t Mode;
    uint32_t Stat6, Stat6Max, Stat8, Stat8Max;
    const char *Left, *Right;
  } const cases[] = {
      {"whole units", 0, 0x1400, 0x6400, 0x0A80, 0x3200, "L 20/100", "R 10/50"},
      {"stat 6 below one unit shows 1", 0, 0xFF, 0x6400, 0, 0x3200, "L 1/100", "R 0/50"},
      {"... and 0 in mode 17", 17, 0xFF, 0x6400, 0xFF, 0x3200, "L 0/100", "R 0/50"},
      {"any other mode", 16, 0, 0, 0, 0, "L 1/0", "R 0/0"},
      {"unsigned shift", 0, 0xFFFFFF00, 0xFFFFFFFF, 0x80000000, 0x80000000, "L 16777215/16777215",
       "R 8388608/8388608"},
  };
  for (const auto& c : cases) {
    Screen screen;
    screen.Always = true;
    screen.Mode = c.Mode;
    screen.Stat6 = c.Stat6;
    screen.Stat6Max = c.Stat6Max;
    screen.Stat8 = c.Stat8;
    screen.Stat8Max = c.Stat8Max;
    std::vector<uint32_t> asked;
    std::vector<Drawn> drawn = DrawFrame(
        screen, [] {}, &asked);
    ASSERT_EQ(2u, drawn.size()) << c.Name;
    EXPECT_EQ(c.Left, drawn[0].Text) << c.Name;
    EXPECT_EQ(c.Right, drawn[1].Text) << c.Name;
    EXPECT_EQ((std::vector<uint32_t>{6, 8}), asked) << c.Name;
  }
}

TEST(StatText, Placement) {
  struct {
    const char* Name;
    int32_t ScreenWidth;
    int32_t LeftWidth, RightWidth;
    int32_t LeftX, RightX;
  } const cases[] = {
      {"centred", 800, 40, 40, 45, 715},
      {"left kept 5 from the edge", 800, 130, 160, 5, 635},
      {"left far too wide", 800, 200, 20, 5, 725},
      {"odd widths halve down", 800, 41, 41, 45, 715},
      {"narrow screen", 300, 10, 300, 60, -5},
  };
  for (const auto& c : cases) {
    Screen screen;
    screen.Always = true;
    screen.Width = c.ScreenWidth;
    screen.Height = 480;
    std::vector<Drawn> drawn = DrawFrame(screen, [&] {
      HostSetTextWidth(L"L 20/100", c.LeftWidth);
      HostSetTextWidth(L"R 10/50", c.RightWidth);
    });
    ASSERT_EQ(2u, drawn.size()) << c.Name;
    EXPECT_EQ(c.LeftX, drawn[0].X) << c.Name;
    EXPECT_EQ(c.RightX, drawn[1].X) << c.Name;
    for (const Drawn& d : drawn) {
      EXPECT_EQ(480 - 95, d.Y) << c.Name;
      EXPECT_EQ(0, d.Colour) << c.Name;
      EXPECT_EQ(0, d.Last) << c.Name;
    }
  }
}

TEST(StatText, NoLocalPlayerDrawsNothing) {
  Screen screen;
  screen.Always = true;
  screen.WithPlayer = false;
  std::vector<uint32_t> asked;
  EXPECT_EQ("", Sides(DrawFrame(
                    screen, [] {}, &asked)));
  EXPECT_TRUE(asked.empty());
}

// The templates come from language files that translators edit. Only the two integer
// conversions the values are given for are formatted; anything else is drawn as written,
// and no template reads or writes through a value.
TEST(StatText, TemplatesAreNeverTakenAsFormats) {
  struct {
    const wchar_t* Template;
    const char* Drawn;  // with 20 of 100
  } const cases[] = {
      {L"L %u/%u", "L 20/100"},
      {L"L %d of %i", "L 20 of 100"},
      {L"L %s %u/%u", "L %s 20/100"},
      {L"L %n%u/%u%n", "L %n20/100%n"},
      {L"L %u/%u %u", "L 20/100 %u"},
      {L"L %u%% of %u", "L 20% of 100"},
      {L"L %4u|%-4d|", "L   20|100 |"},
      {L"L %x %05X", "L 14 00064"},
      {L"L %lu/%lu", "L 20/100"},
      {L"L %ls%S%c%p%f%*d%lld%1$d%hn%123d%.123d", "L %ls%S%c%p%f%*d%lld%1$d%hn%123d%.123d"},
      {L"L 100%", "L 100%"},
      {L"L %", "L %"},
  };
  for (const auto& c : cases) {
    Screen screen;
    screen.Always = true;
    std::vector<Drawn> drawn = DrawFrame(screen, [&] { HostSetString(4165, c.Template); });
    ASSERT_EQ(2u, drawn.size()) << c.Drawn;
    EXPECT_EQ(c.Drawn, drawn[0].Text);
  }

  // A template far longer than the text: cut to the text's 99 characters, each '%' drawn.
  std::wstring percents = L"L";
  for (int i = 0; i < 150; ++i) percents += L"%s";
  Screen screen;
  screen.Always = true;
  std::vector<Drawn> drawn = DrawFrame(screen, [&] { HostSetString(4165, percents.c_str()); });
  ASSERT_EQ(2u, drawn.size());
  EXPECT_EQ(Narrow(percents.c_str()).substr(0, 99), drawn[0].Text);
}
