// Cost of one frame of the plug-in's frame draw routine with the party panel open and 9
// rows, entered through the real patched call of the stand-in host with the real
// Orlavex.dll, from inside the state loop. Prints one line per case:
//   "<case>: <ns> ns/frame, <n> host calls/frame".
//
//   zv_bench_frame [--smoke]      --smoke: a few frames, only to show that it runs
//
// Every host call lands in a stand-in that journals it, so the figures include the
// stand-in's own cost per call; the panel-closed case shows the floor of the fixed steps.
#include "testhost/kit/HostKit.h"
#include "Orlavex/HostRecords.h"

#include <cstdio>
#include <cstring>

#include <functional>

static uint32_t Frames = 20000;

static LARGE_INTEGER Frequency;

static double NowNs() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1e9 / static_cast<double>(Frequency.QuadPart);
}

using Entry = RosterEntry;

static Entry Roster[11];
static UnitRecord LocalUnit;
static uint8_t LocationRecord[512];

// The local player and 10 others in three parties, with long names and location names so
// that the cutting loops run: the panel shows 9 of them.
static void MakeRoster() {
  const char* names[11] = {"Velmora",  "Ashkettle", "Thessaly-Marchwind",
                           "Brannoch", "Quill",     "Oriane Delacroix",
                           "Mott",     "Saffi",     "Ysolde",
                           "Corvin",   "Pell"};
  const uint16_t parties[11] = {7, 7, 7, 7, 9, 9, 9, 0xFFFF, 0xFFFF, 12, 12};
  for (int i = 0; i < 11; ++i) {
    Entry& e = Roster[i];
    memset(&e, 0, sizeof(e));
    e.UnitId = 500 + i;
    e.PartyId = parties[i];
    e.PartyState = i % 5;
    e.LocationCode = 5;
    e.ClassCode = i % 7;
    e.Level = static_cast<uint16_t>(10 + i);
    strcpy(e.Name, names[i]);
    e.Next = i + 1 < 11 ? &Roster[i + 1] : nullptr;
  }
  const wchar_t place[] = L"The Sunken Cathedral of Orr";
  memcpy(LocationRecord + 366, place, sizeof(place));
  LocalUnit.UnitId = 500;
}

static double MeasureFrames(uint32_t* callsPerFrame) {
  double total = 0;
  for (uint32_t i = 0; i < Frames; ++i) {
    HostJournalClear();
    double start = NowNs();
    CallFrameDraw(0);
    total += NowNs() - start;
    *callsPerFrame = HostJournal()->Count;
  }
  return total / Frames;
}

static void Report(const char* name, double ns, uint32_t calls) {
  printf("%-44s %10.1f ns/frame, %u host calls/frame\n", name, ns, calls);
  fflush(stdout);
}

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "--smoke") == 0) Frames = 20;
  QueryPerformanceFrequency(&Frequency);
  MakeRoster();
  HostLaunchSettings settings = {};
  settings.StatTextAlwaysShown = 1;
  WhilePatched(
      [] {
        HostSetCharWidth(7);
        HostSetResult("GetNamedRecord", reinterpret_cast<uint32_t>(LocationRecord));
        ClientCell<uintptr_t>(Offset_RosterHead) = reinterpret_cast<uintptr_t>(&Roster[0]);
        ClientCell<uintptr_t>(Offset_PlayerUnit) = reinterpret_cast<uintptr_t>(&LocalUnit);
        ClientCell<int32_t>(Offset_ScreenWidth) = 800;
        ClientCell<int32_t>(Offset_ScreenHeight) = 600;
        CallPartyListBuild();
        uint32_t calls = 0;

        ClientCell<int32_t>(Offset_UiPanelFlags + 4 * 22) = 1;
        double open = MeasureFrames(&calls);
        Report("frame, party panel open with 9 rows", open, calls);
        if (CountCalls(HostJournal(), "DrawPartyRow") != 9)
          printf("unexpected: %d rows drawn\n", CountCalls(HostJournal(), "DrawPartyRow"));

        ClientCell<int32_t>(Offset_UiPanelFlags + 4 * 22) = 0;
        double closed = MeasureFrames(&calls);
        Report("frame, party panel closed", closed, calls);
      },
      settings);
  return 0;
}
