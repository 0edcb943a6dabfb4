// The plug-in's export and client entry, run as the host runs them: the real Orlavex.dll
// beside the stand-in host modules, the work done from inside the state loop, the journal
// read afterwards.
#include "testhost/kit/HostKit.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

static const std::vector<std::string> StartupOrder = {
    "VuskStartupA", "VuskStartupB", "ClientSetup", "ClientStart",  "WinStartup", "WinSetCallback",
    "VuskQuery",    "WinQuery",     "LangLoad",    "LangStartupB", "WinQuery",   "CommonStartup"};
static const std::vector<std::string> ShutdownOrder = {"WinShutdown",   "CommonShutdown",
                                                       "LangShutdown",  "ClientStop",
                                                       "CommonRelease", "ClientCleanup"};

static std::vector<std::string> Slice(const std::vector<std::string>& names, size_t from,
                                      size_t count) {
  if (from > names.size()) return {};
  return std::vector<std::string>(names.begin() + from,
                                  names.begin() + std::min(names.size(), from + count));
}

// A session in which the host quits at once: the first handler clears the loop flag and
// leaves.
static uint32_t RunQuittingSession(HostLaunchSettings* settings) {
  OnState([](int32_t) {
    ClientCell<int32_t>(Offset_ClientLoopFlag) = 0;
    return 1;
  });
  return RunClientEntry(settings);
}

TEST(PluginInterface, QueryInterfaceReturnsTheSameTableWhoseSlotIsInsideThePlugin) {
  const void* first = PluginInterface();
  EXPECT_EQ(first, PluginInterface());
  uintptr_t slot0 = *static_cast<const uintptr_t*>(first);
  uintptr_t base = reinterpret_cast<uintptr_t>(LoadPlugin());
  IMAGE_NT_HEADERS32* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  EXPECT_GT(slot0, base);
  EXPECT_LT(slot0, base + nt->OptionalHeader.SizeOfImage);
}

static int LoadLibraryCalls;
static HMODULE WINAPI CountingLoadLibrary(LPCSTR name) {
  ++LoadLibraryCalls;
  return LoadLibraryA(name);
}

TEST(PluginInterface, ThreadAttachAfterProcessAttachLoadsNothingAndSucceeds) {
  HMODULE plugin = LoadPlugin();
  ASSERT_NE(nullptr, PatchImport(plugin, "KERNEL32.dll", "LoadLibraryA",
                                 reinterpret_cast<void*>(CountingLoadLibrary)));
  uintptr_t base = reinterpret_cast<uintptr_t>(plugin);
  IMAGE_NT_HEADERS32* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  typedef BOOL(WINAPI * EntryPoint)(HINSTANCE, DWORD, LPVOID);
  EntryPoint entry = reinterpret_cast<EntryPoint>(base + nt->OptionalHeader.AddressOfEntryPoint);
  EXPECT_EQ(TRUE, entry(plugin, DLL_THREAD_ATTACH, nullptr));
  EXPECT_EQ(TRUE, entry(plugin, DLL_THREAD_DETACH, nullptr));
  EXPECT_EQ(0, LoadLibraryCalls);
  PatchImport(plugin, "KERNEL32.dll", "LoadLibraryA", reinterpret_cast<void*>(LoadLibraryA));
}

// Runs Game.exe with its arguments in a folder; its exit code.
static DWORD RunGame(const std::string& folder, const char* arguments) {
  std::string line = "\"" + folder + "\\Game.exe\" " + arguments;
  std::vector<char> text(line.begin(), line.end());
  text.push_back(0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &process))
    return 0xDEAD;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0xDEAD;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

static std::string HostRunFolder() {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, sizeof(exe));
  std::string folder = exe;
  return folder.substr(0, folder.find_last_of("\\/"));
}

TEST(PluginInterface, GameStandInRunsTheEntryAndGetsTheResultForItsMode) {
  EXPECT_EQ(3u, RunGame(HostRunFolder(), "2"));
  EXPECT_EQ(4u, RunGame(HostRunFolder(), "4"));
}

TEST(PluginInterface, WithoutZVClientThePluginDoesNotLoad) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof(temp), temp);
  std::string folder = std::string(temp) + "zv-no-client-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  const char* files[] = {"Game.exe",   "Orlavex.dll", "zvhost.dll", "Vusk.dll", "ZVCommon.dll",
                         "ZVLang.dll", "ZVWin.dll",   "ZVgfx.dll",  "ZVNet.dll"};
  for (const char* file : files)
    ASSERT_TRUE(
        CopyFileA((HostRunFolder() + "\\" + file).c_str(), (folder + "\\" + file).c_str(), FALSE))
        << file;
  EXPECT_EQ(100u, RunGame(folder, "2"));
  for (const char* file : files) DeleteFileA((folder + "\\" + file).c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST(ClientEntry, StartsTheHostModulesInOrderWithTheirArguments) {
  HostReset();
  HostLaunchSettings settings = {};
  settings.GameMode = 6;
  RunQuittingSession(&settings);
  const HostJournalData* journal = HostJournal();
  std::vector<std::string> names = CallNames(journal);
  ASSERT_EQ(StartupOrder, Slice(names, 0, StartupOrder.size()));

  const HostCallRecord* calls = journal->Calls;
  EXPECT_EQ(0u, calls[0].Args[0]);  // VuskStartupA(0)
  EXPECT_EQ(0u, calls[1].Args[0]);  // VuskStartupB(0, 1)
  EXPECT_EQ(1u, calls[1].Args[1]);
  EXPECT_EQ(reinterpret_cast<uint32_t>(&settings), calls[2].Edi);   // ClientSetup: EDI
  EXPECT_EQ(ClientAt(Offset_ClientWinCallback), calls[5].Args[0]);  // WinSetCallback
  EXPECT_EQ(calls[6].Result, calls[7].Args[0]);                     // WinQuery(VuskQuery())
  EXPECT_EQ(calls[7].Result, calls[8].Args[0]);                     // LangLoad(WinQuery(..), 0)
  EXPECT_EQ(0u, calls[8].Args[1]);
  EXPECT_NE(0u, calls[9].Args[0]);  // LangStartupB(&cell, 0)
  EXPECT_EQ(0u, calls[9].Args[1]);
  EXPECT_EQ(0u, calls[10].Args[0]);                // WinQuery(0)
  EXPECT_EQ(calls[10].Result, calls[11].Args[0]);  // CommonStartup(WinQuery(0), ..)
  EXPECT_EQ(1u, calls[11].Args[1]);                // game mode 6
}

TEST(ClientEntry, CommonStartupIsToldWhetherTheGameModeIsSix) {
  const int32_t modes[] = {0, 5, 7, -6, 6};
  for (int32_t mode : modes) {
    HostReset();
    HostLaunchSettings settings = {};
    settings.GameMode = mode;
    RunQuittingSession(&settings);
    std::vector<const HostCallRecord*> startup = CallsOf(HostJournal(), "CommonStartup");
    ASSERT_EQ(1u, startup.size());
    EXPECT_EQ(mode == 6 ? 1u : 0u, startup[0]->Args[1]) << "mode " << mode;
  }
}

TEST(ClientEntry, HandsTheHostItsSettingsHandleAndPathBeforeTheLoop) {
  const uint8_t switches[] = {0, 1, 0x80};
  for (uint8_t value : switches) {
    HostReset();
    HostLaunchSettings settings = {};
    settings.ClientSettingSwitch = value;
    int32_t flagInLoop = -1;
    OnState([&](int32_t) {
      flagInLoop = ClientCell<int32_t>(Offset_ClientSettingFlag);
      return 1;
    });
    RunClientEntry(&settings);
    EXPECT_EQ(value != 0 ? 1 : 0, flagInLoop) << "byte 0xC98 = " << static_cast<int>(value);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&settings),
              ClientCell<uintptr_t>(Offset_ClientLaunchSettingsPtr));
    HMODULE client = GetModuleHandleA("ZVClient.dll");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(client),
              ClientCell<uintptr_t>(Offset_ClientModuleHandle));
    char path[MAX_PATH] = {};
    GetModuleFileNameA(client, path, sizeof(path));
    EXPECT_STREQ(path, reinterpret_cast<const char*>(ClientAt(Offset_ClientModulePath)));
  }
}

TEST(ClientEntry, TheLoopStartsInStateThreeAndRunsUntilAHandlerLeaves) {
  HostReset();
  HostLaunchSettings settings = {};
  std::vector<int32_t> seen;
  const int32_t next[] = {4, 2, 6, 5, 1};
  OnState([&](int32_t state) {
    int32_t result = next[seen.size()];
    seen.push_back(state);
    EXPECT_EQ(1, ClientCell<int32_t>(Offset_ClientLoopFlag));
    return result;
  });
  RunClientEntry(&settings);
  EXPECT_EQ((std::vector<int32_t>{3, 4, 2, 6, 5}), seen);
  EXPECT_EQ(5, CountCalls(HostJournal(), "ClientStateHandler"));
}

TEST(ClientEntry, ShutsDownInOrderAfterRemovingThePatches) {
  uint8_t sendSiteInLoop = 0;
  WhilePatched([&] {
    sendSiteInLoop = ClientCell<uint8_t>(Offset_SendPacketFunc);
    HostJournalClear();
  });
  EXPECT_EQ(0xE9, sendSiteInLoop);
  EXPECT_EQ(0x55, ClientCell<uint8_t>(Offset_SendPacketFunc));
  EXPECT_EQ(ShutdownOrder, CallNames(HostJournal()));
}

struct EarlyReturn {
  const char* Function;
  const char* LastCall;  // the last start-up call made
};

class ClientEntryEarlyReturn : public testing::TestWithParam<EarlyReturn> {};

TEST_P(ClientEntryEarlyReturn, ReturnsZeroWithNoPatchNoLoopAndNoShutdown) {
  HostReset();
  HostSetResult(GetParam().Function, 0);
  ClientCell<int32_t>(Offset_ClientExitCode) = 0x5EED;
  uint8_t sites[5];
  memcpy(sites, reinterpret_cast<const void*>(ClientAt(Offset_ReceivePacketFunc)), 5);
  HostLaunchSettings settings = {};
  settings.GameMode = 2;
  EXPECT_EQ(0u, RunQuittingSession(&settings));
  std::vector<std::string> names = CallNames(HostJournal());
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(GetParam().LastCall, names.back());
  EXPECT_EQ(0x5EED, ClientCell<int32_t>(Offset_ClientExitCode));
  EXPECT_EQ(0, memcmp(sites, reinterpret_cast<const void*>(ClientAt(Offset_ReceivePacketFunc)), 5));
  EXPECT_EQ(0, ClientCell<int32_t>(Offset_ClientLoopFlag));
}

INSTANTIATE_TEST_SUITE_P(Steps, ClientEntryEarlyReturn,
                         testing::Values(EarlyReturn{"ClientSetup", "ClientSetup"},
                                         EarlyReturn{"ClientStart", "ClientStart"},
                                         EarlyReturn{"LangLoad", "LangLoad"}));

struct ResultCase {
  int32_t GameMode;
  bool LoopFlagCleared;
  uint32_t Result;
};

TEST(ClientEntry, ResultFollowsTheLoopFlagAndTheGameMode) {
  const ResultCase cases[] = {
      {2, false, 0}, {4, false, 0}, {6, false, 0},                // flag still set
      {2, true, 3},  {3, true, 3},  {6, true, 3},  {7, true, 3},  // modes 2, 3, 6, 7
      {1, true, 4},  {4, true, 4},  {5, true, 4},  {8, true, 4},
      {0, true, 4},  {-1, true, 4}, {-2, true, 4}, {0x7FFFFFFF, true, 4},
  };
  for (const ResultCase& c : cases) {
    HostReset();
    HostLaunchSettings settings = {};
    settings.GameMode = c.GameMode;
    OnState([&](int32_t) {
      if (c.LoopFlagCleared) ClientCell<int32_t>(Offset_ClientLoopFlag) = 0;
      return 1;
    });
    uint32_t result = RunClientEntry(&settings);
    EXPECT_EQ(c.Result, result) << "mode " << c.GameMode
                                << (c.LoopFlagCleared ? ", flag cleared" : "");
    EXPECT_EQ(static_cast<int32_t>(result), ClientCell<int32_t>(Offset_ClientExitCode))
        << "mode " << c.GameMode;
  }
}

class ClientEntryBadState : public testing::TestWithParam<int32_t> {};

TEST_P(ClientEntryBadState, IsReportedWithLine310AndEndsTheProcess) {
  if (InChildProcess()) {
    HostReset();
    HostLaunchSettings settings = {};
    int32_t bad = GetParam();
    OnState([bad](int32_t) { return bad; });
    RunClientEntry(&settings);
    return;  // not reached: the entry ends the process
  }
  ChildRun child = RunThisTestInChild();
  EXPECT_EQ(0xFFFFFFFFu, child.ExitCode);
  std::vector<std::string> names = CallNames(child.Journal);
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ((std::vector<std::string>{"ClientStateHandler", "ErrorFromLine", "ReportFatalError"}),
            Slice(names, names.size() - 3, 3));
  const HostCallRecord& line = child.Journal->Calls[child.Journal->Count - 2];
  const HostCallRecord& report = child.Journal->Calls[child.Journal->Count - 1];
  EXPECT_EQ(310u, line.Args[0]);
  EXPECT_NE(0u, report.Args[0]);
  EXPECT_EQ(L'\0', report.Text[0]);  // an empty text
  EXPECT_EQ(line.Result, report.Args[1]);
  EXPECT_EQ(310u, report.Args[2]);
}

INSTANTIATE_TEST_SUITE_P(States, ClientEntryBadState, testing::Values(0, 7, -1));
