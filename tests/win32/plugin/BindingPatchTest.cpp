// Host binding and the code patcher. The binding and exact-byte tests link the plug-in's
// routines (orlavex_core) into the test and run them over the stand-in client image; the
// tests of the real Orlavex.dll check the sites it patches while its state loop runs.
#include "Orlavex/HostBinding.h"
#include "Orlavex/Patcher.h"
#include "testhost/kit/HostKit.h"

#include <gtest/gtest.h>

#include <cstring>

#include <map>
#include <string>
#include <vector>

#define TESTHOST_PLACE_MAP(name, offset, kind) {#name, offset},
static const std::map<std::string, uint32_t> TestHostPlaces = {
    TESTHOST_CLIENT_PLACES(TESTHOST_PLACE_MAP)};
#undef TESTHOST_PLACE_MAP

static uintptr_t ClientBase() {
  return reinterpret_cast<uintptr_t>(GetModuleHandleA("ZVClient.dll"));
}

static void BindToStandIn() {
  HostReset();
  HostClientModule = ClientBase();
  BindHost();
}

TEST(HostBinding, EveryLocationIsTheClientBasePlusItsOffsetAndMatchesTheHostLayout) {
  BindToStandIn();
  ASSERT_NE(0u, HostClientModule);
  std::map<std::string, uint32_t> seen;
  for (int i = 0; i < HostLocationCount; ++i) {
    const HostLocationRow& row = HostLocationTable[i];
    EXPECT_EQ(ClientBase() + row.Offset, *row.Address) << row.Name;
    seen[row.Name] = row.Offset;
  }
  // The stand-in's own table, written separately, names the same places at the same offsets.
  EXPECT_EQ(TestHostPlaces, seen);

  std::vector<uintptr_t> first;
  for (int i = 0; i < HostLocationCount; ++i) first.push_back(*HostLocationTable[i].Address);
  BindHost();
  for (int i = 0; i < HostLocationCount; ++i)
    EXPECT_EQ(first[i], *HostLocationTable[i].Address) << HostLocationTable[i].Name;
}

TEST(HostBinding, TheSevenUnicodeHelpersAreTheLanguageModulesExports) {
  BindToStandIn();
  HMODULE lang = GetModuleHandleA("ZVLang.dll");
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(lang, "?strncpy@Unicode@@SIPAU1@PAU1@PBU1@H@Z")),
            reinterpret_cast<void*>(UnicodeStrncpy));
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(lang, "?strcat@Unicode@@SIPAU1@PAU1@PBU1@@Z")),
            reinterpret_cast<void*>(UnicodeStrcat));
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(lang, "?strcpy@Unicode@@SIPAU1@PAU1@PBU1@@Z")),
            reinterpret_cast<void*>(UnicodeStrcpy));
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(lang, "?strlen@Unicode@@SIHPBU1@@Z")),
            reinterpret_cast<void*>(UnicodeStrlen));
  EXPECT_EQ(
      reinterpret_cast<void*>(GetProcAddress(lang, "?win2Unicode@Unicode@@SIPAU1@PAU1@PBDH@Z")),
      reinterpret_cast<void*>(UnicodeWin2Unicode));
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(lang, "?toUnicode@Unicode@@SIPAU1@PAU1@PBDH@Z")),
            reinterpret_cast<void*>(UnicodeToUnicode));
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(lang, "?sprintf@Unicode@@SAXHPAU1@PBU1@ZZ")),
            reinterpret_cast<void*>(UnicodeSprintf));
}

TEST(HostAdapters, LoadTheRegistersAndStackTheHostFunctionsRead) {
  BindToStandIn();
  HostSetResult("GetPlayerStat", 0x1234);
  EXPECT_EQ(0x1234u, HostCallEax(GetPlayerStat, 6));
  HostCallEsi(RefreshUnit, 0x51);
  HostCallEdi(ClientSetup, 0xED1);
  HostCallEsiEdi(SetUnitMode, 0x52, 5);
  HostCallMoveUnit(MoveUnit, 0x53, 100, 200, 0, 99, 201);
  HostCallMoveUnit(MoveUnit, 0x54, -1, -2, 0, -3,
                   -4);  // twice: the host's pops keep the stack whole

  const HostJournalData* journal = HostJournal();
  ASSERT_EQ((std::vector<std::string>{"GetPlayerStat", "RefreshUnit", "ClientSetup", "SetUnitMode",
                                      "MoveUnit", "MoveUnit"}),
            CallNames(journal));
  EXPECT_EQ(6u, journal->Calls[0].Eax);
  EXPECT_EQ(0x51u, journal->Calls[1].Esi);
  EXPECT_EQ(0xED1u, journal->Calls[2].Edi);
  EXPECT_EQ(0x52u, journal->Calls[3].Esi);
  EXPECT_EQ(5u, journal->Calls[3].Edi);
  const HostCallRecord& move = journal->Calls[4];
  EXPECT_EQ(0x53u, move.Esi);
  EXPECT_EQ(100u, move.Eax);
  ASSERT_EQ(4, move.ArgCount);
  EXPECT_EQ((std::vector<uint32_t>{200, 0, 99, 201}),
            std::vector<uint32_t>(move.Args, move.Args + 4));
  const HostCallRecord& second = journal->Calls[5];
  EXPECT_EQ(static_cast<uint32_t>(-1), second.Eax);
  EXPECT_EQ((std::vector<uint32_t>{static_cast<uint32_t>(-2), 0, static_cast<uint32_t>(-3),
                                   static_cast<uint32_t>(-4)}),
            std::vector<uint32_t>(second.Args, second.Args + 4));
}

// Each site's page protection and its bytes from 1 before to 5 after.
struct SiteState {
  uint8_t Bytes[6];
  DWORD Protection;
};

static SiteState StateOf(uintptr_t site) {
  SiteState state = {};
  memcpy(state.Bytes, reinterpret_cast<const void*>(site - 1), sizeof(state.Bytes));
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(reinterpret_cast<const void*>(site), &info, sizeof(info));
  state.Protection = info.Protect;
  return state;
}

static std::vector<SiteState> StatesOf(const std::vector<uintptr_t>& sites) {
  std::vector<SiteState> states;
  for (uintptr_t site : sites) states.push_back(StateOf(site));
  return states;
}

static std::vector<uintptr_t> PatchSites() {
  std::vector<uintptr_t> sites;
  for (const PatchRow& row : PatchTable) sites.push_back(*row.Site);
  return sites;
}

static uint32_t Dword(uintptr_t address) {
  uint32_t value;
  memcpy(&value, reinterpret_cast<const void*>(address), 4);
  return value;
}

TEST(Patcher, InstallWritesExactBranchesAndRemovalRestoresBytesAndProtection) {
  BindToStandIn();
  std::vector<uintptr_t> sites = PatchSites();
  std::vector<SiteState> before = StatesOf(sites);
  for (const SiteState& state : before)
    EXPECT_EQ(static_cast<DWORD>(PAGE_EXECUTE_READ), state.Protection);

  InstallPatches(1);
  for (int i = 0; i < PatchRowCount; ++i) {
    const PatchRow& row = PatchTable[i];
    ASSERT_NE(nullptr, row.Target) << row.Name;
    uintptr_t site = sites[i];
    uintptr_t target = reinterpret_cast<uintptr_t>(row.Target);
    if (row.Kind == PatchDisplacement) {
      EXPECT_EQ(0xE8, reinterpret_cast<const uint8_t*>(site)[-1]) << row.Name;
      EXPECT_EQ(static_cast<uint32_t>(target - (site + 4)), Dword(site)) << row.Name;
    } else {
      EXPECT_EQ(row.Kind == PatchJump ? 0xE9 : 0xE8, *reinterpret_cast<const uint8_t*>(site))
          << row.Name;
      EXPECT_EQ(static_cast<uint32_t>(target - (site + 5)), Dword(site + 1)) << row.Name;
    }
    EXPECT_EQ(before[i].Protection, StateOf(site).Protection) << row.Name;
  }

  InstallPatches(0);
  std::vector<SiteState> after = StatesOf(sites);
  for (int i = 0; i < PatchRowCount; ++i) {
    EXPECT_EQ(0, memcmp(before[i].Bytes, after[i].Bytes, sizeof(before[i].Bytes)))
        << PatchTable[i].Name;
    EXPECT_EQ(before[i].Protection, after[i].Protection) << PatchTable[i].Name;
  }
}

TEST(Patcher, RemovalWritesTheHostBytesEvenWhereTheSiteHeldOthers) {
  BindToStandIn();
  // Another tool changed the no-op at the item-code site after install: removal still puts
  // the host's own bytes back.
  InstallPatches(1);
  uint8_t other[5] = {0xE8, 1, 2, 3, 4};
  WriteCode(reinterpret_cast<void*>(ItemCodeTestSite), other, 5);
  InstallPatches(0);
  const uint8_t host[5] = {0x33, 0xC0, 0x8D, 0x24, 0x24};
  EXPECT_EQ(0, memcmp(host, reinterpret_cast<const void*>(ItemCodeTestSite), 5));
}

TEST(Patcher, RemovalWithoutInstallAndASecondInstallChangeNothing) {
  BindToStandIn();
  std::vector<uintptr_t> sites = PatchSites();
  std::vector<SiteState> before = StatesOf(sites);
  InstallPatches(0);  // nothing kept: nothing to put back, no write through a null address
  std::vector<SiteState> untouched = StatesOf(sites);
  for (int i = 0; i < PatchRowCount; ++i)
    EXPECT_EQ(0, memcmp(before[i].Bytes, untouched[i].Bytes, 6)) << PatchTable[i].Name;

  InstallPatches(1);
  InstallPatches(1);  // must not keep the plug-in's own displacement as the host's
  InstallPatches(0);
  std::vector<SiteState> after = StatesOf(sites);
  for (int i = 0; i < PatchRowCount; ++i)
    EXPECT_EQ(0, memcmp(before[i].Bytes, after[i].Bytes, 6)) << PatchTable[i].Name;
}

TEST(Patcher, ExchangeCodeDwordReturnsWhatWasThereAndLeavesTheValue) {
  BindToStandIn();
  uintptr_t site = FrameDrawCallSite;
  uint32_t original = Dword(site);
  EXPECT_EQ(original, ExchangeCodeDword(reinterpret_cast<void*>(site), 0x12345678));
  EXPECT_EQ(0x12345678u, Dword(site));
  EXPECT_EQ(0x12345678u, ExchangeCodeDword(reinterpret_cast<void*>(site), original));
  EXPECT_EQ(original, Dword(site));
  EXPECT_EQ(static_cast<DWORD>(PAGE_EXECUTE_READ), StateOf(site).Protection);
}

typedef BOOL(WINAPI* VirtualProtectFn)(LPVOID, SIZE_T, DWORD, PDWORD);
static VirtualProtectFn RealVirtualProtect;
static int ProtectionCalls;

static BOOL WINAPI CountingVirtualProtect(LPVOID address, SIZE_T size, DWORD protection,
                                          PDWORD old) {
  ++ProtectionCalls;
  return RealVirtualProtect(address, size, protection, old);
}

TEST(Patcher, WriteCodeWithNoBytesCopiesNothingAndLeavesProtectionAlone) {
  // The patcher's WriteCode is linked into this test: count its calls through this image.
  HMODULE self = GetModuleHandleA(nullptr);
  RealVirtualProtect = reinterpret_cast<VirtualProtectFn>(PatchImport(
      self, "KERNEL32.dll", "VirtualProtect", reinterpret_cast<void*>(CountingVirtualProtect)));
  ASSERT_NE(nullptr, RealVirtualProtect);
  struct {
    int32_t Count;
    int Calls;      // lift and give back, for each of the two ranges
    uint8_t First;  // destination[0] afterwards
  } const cases[] = {{0, 0, 1}, {-1, 0, 1}, {INT32_MIN, 0, 1}, {1, 4, 9}};
  for (const auto& c : cases) {
    uint8_t destination[4] = {1, 2, 3, 4};
    const uint8_t source[4] = {9, 9, 9, 9};
    ProtectionCalls = 0;
    WriteCode(destination, source, c.Count);
    EXPECT_EQ(c.Calls, ProtectionCalls) << "count " << c.Count;
    EXPECT_EQ(c.First, destination[0]) << "count " << c.Count;
    EXPECT_EQ(2, destination[1]) << "count " << c.Count;
  }
  PatchImport(self, "KERNEL32.dll", "VirtualProtect", reinterpret_cast<void*>(RealVirtualProtect));
}

TEST(Patcher, RealPluginLeadsEverySiteIntoItselfWhileTheLoopRuns) {
  HostReset();
  std::vector<uintptr_t> sites;
  for (uint32_t offset :
       {Offset_FrameDrawCallSite, Offset_SendPacketFunc, Offset_ReceivePacketFunc,
        Offset_ItemColorCallSite, Offset_ItemCodeTestSite, Offset_PartyListBuildFunc})
    sites.push_back(ClientAt(offset));
  std::vector<SiteState> before = StatesOf(sites);
  uintptr_t plugin = reinterpret_cast<uintptr_t>(LoadPlugin());
  IMAGE_NT_HEADERS32* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(
      plugin + reinterpret_cast<IMAGE_DOS_HEADER*>(plugin)->e_lfanew);
  uintptr_t pluginEnd = plugin + nt->OptionalHeader.SizeOfImage;

  std::vector<uintptr_t> targets;
  std::vector<uint8_t> opcodes;
  WhilePatched([&] {
    for (size_t i = 0; i < sites.size(); ++i) {
      uintptr_t site = sites[i];
      bool displacement = i == 0 || i == 3;
      opcodes.push_back(displacement ? 0xE8 : *reinterpret_cast<const uint8_t*>(site));
      targets.push_back(displacement ? site + 4 + Dword(site) : site + 5 + Dword(site + 1));
    }
  });

  const uint8_t expectedOpcodes[] = {0xE8, 0xE9, 0xE9, 0xE8, 0xE8, 0xE9};
  ASSERT_EQ(sites.size(), targets.size());
  for (size_t i = 0; i < sites.size(); ++i) {
    EXPECT_EQ(expectedOpcodes[i], opcodes[i]) << "site " << i;
    EXPECT_GE(targets[i], plugin) << "site " << i;
    EXPECT_LT(targets[i], pluginEnd) << "site " << i;
  }
  std::vector<SiteState> after = StatesOf(sites);
  for (size_t i = 0; i < sites.size(); ++i) {
    EXPECT_EQ(0, memcmp(before[i].Bytes, after[i].Bytes, 6)) << "site " << i;
    EXPECT_EQ(before[i].Protection, after[i].Protection) << "site " << i;
  }
}

// --- refusals, each in a child process ---

// In the child, the message box recorder also notes whether every patch site still holds
// the host's bytes at the moment the refusal is shown.
static const uint32_t CheckedOffsets[] = {Offset_FrameDrawCallSite, Offset_SendPacketFunc,
                                          Offset_ReceivePacketFunc, Offset_ItemColorCallSite,
                                          Offset_ItemCodeTestSite,  Offset_PartyListBuildFunc};
static uint8_t HostBytesAtStart[6][6];

static void SnapshotSites() {
  for (int i = 0; i < 6; ++i)
    memcpy(HostBytesAtStart[i], reinterpret_cast<const void*>(ClientAt(CheckedOffsets[i]) - 1), 6);
}

static int WINAPI RecordingMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  uint32_t untouched = 1;
  for (int i = 0; i < 6; ++i)
    if (memcmp(HostBytesAtStart[i], reinterpret_cast<const void*>(ClientAt(CheckedOffsets[i]) - 1),
               6) != 0)
      untouched = 0;
  const uint32_t args[4] = {reinterpret_cast<uint32_t>(owner), style, untouched, 0};
  HostCallRecord* call = HostRecordCall("MessageBoxA", 3, args);
  HostRecordText8(call, text);
  wchar_t wide[64] = {};
  for (int i = 0; i < 63 && caption[i] != 0; ++i) wide[i] = static_cast<unsigned char>(caption[i]);
  HostRecordText(call, wide);
  return IDOK;
}

static void ExpectOneCriticalMessage(const ChildRun& child, const char* text) {
  EXPECT_EQ(0xFFFFFFFFu, child.ExitCode);
  std::vector<const HostCallRecord*> boxes = CallsOf(child.Journal, "MessageBoxA");
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(0u, boxes[0]->Args[0]);                                           // no owner
  EXPECT_EQ(static_cast<uint32_t>(MB_OK | MB_ICONERROR), boxes[0]->Args[1]);  // 0x10
  EXPECT_EQ(1u, boxes[0]->Args[2]) << "a patch site was written before the refusal";
  EXPECT_STREQ(text, boxes[0]->Text8);
  EXPECT_EQ("Zorvane Critical Error", Narrow(boxes[0]->Text));
  EXPECT_EQ(-1, FindCall(child.Journal, "ClientStateHandler"));
}

// Runs the real entry in the child after prepare() has changed what the plug-in meets.
static void RunRefusedEntry(void (*prepare)(uint32_t), uint32_t parameter) {
  HostReset();
  HMODULE plugin = LoadPlugin();
  PatchImport(plugin, "USER32.dll", "MessageBoxA", reinterpret_cast<void*>(RecordingMessageBox));
  prepare(parameter);
  SnapshotSites();
  HostLaunchSettings settings = {};
  RunClientEntry(&settings);
}

static void CorruptByte(uint32_t offset) {
  uint8_t* byte = reinterpret_cast<uint8_t*>(ClientAt(offset));
  DWORD old = 0;
  VirtualProtect(byte, 1, PAGE_EXECUTE_READWRITE, &old);
  *byte ^= 0x01;
  VirtualProtect(byte, 1, old, &old);
}

class PatcherUnexpectedSite : public testing::TestWithParam<uint32_t> {};

TEST_P(PatcherUnexpectedSite, WritesNothingAndEndsWithTheMessage) {
  if (InChildProcess()) {
    RunRefusedEntry(CorruptByte, GetParam());
    return;
  }
  ExpectOneCriticalMessage(RunThisTestInChild(), "ZVClient.dll is not a supported build");
}

// One byte of each site the plug-in checks: the last constant byte of each jump/call row,
// the call opcode before each displacement row.
INSTANTIATE_TEST_SUITE_P(Sites, PatcherUnexpectedSite,
                         testing::Values(Offset_FrameDrawCallSite - 1, Offset_SendPacketFunc + 4,
                                         Offset_ReceivePacketFunc, Offset_ItemColorCallSite - 1,
                                         Offset_ItemCodeTestSite + 2,
                                         Offset_PartyListBuildFunc + 4));

static HMODULE WINAPI NoLanguageModule(LPCSTR name) {
  if (name != nullptr && _stricmp(name, "ZVLang.dll") == 0) return nullptr;
  return GetModuleHandleA(name);
}

static void HideLanguageModule(uint32_t) {
  PatchImport(LoadPlugin(), "KERNEL32.dll", "GetModuleHandleA",
              reinterpret_cast<void*>(NoLanguageModule));
}

TEST(HostBindingFailure, MissingLanguageModuleEndsWithTheMessage) {
  if (InChildProcess()) {
    RunRefusedEntry(HideLanguageModule, 0);
    return;
  }
  ChildRun child = RunThisTestInChild();
  ExpectOneCriticalMessage(child, "ZVLang.dll not found");
  EXPECT_EQ(-1, FindCall(child.Journal, "VuskStartupA"));
}

static const char* const LangExportNames[] = {
    "?strncpy@Unicode@@SIPAU1@PAU1@PBU1@H@Z",   "?strcat@Unicode@@SIPAU1@PAU1@PBU1@@Z",
    "?strcpy@Unicode@@SIPAU1@PAU1@PBU1@@Z",     "?strlen@Unicode@@SIHPBU1@@Z",
    "?win2Unicode@Unicode@@SIPAU1@PAU1@PBDH@Z", "?toUnicode@Unicode@@SIPAU1@PAU1@PBDH@Z",
    "?sprintf@Unicode@@SAXHPAU1@PBU1@ZZ"};
static const char* HiddenExport;

static FARPROC WINAPI WithoutOneExport(HMODULE module, LPCSTR name) {
  if (reinterpret_cast<uintptr_t>(name) > 0xFFFF && strcmp(name, HiddenExport) == 0) return nullptr;
  return GetProcAddress(module, name);
}

static void HideExport(uint32_t index) {
  HiddenExport = LangExportNames[index];
  PatchImport(LoadPlugin(), "KERNEL32.dll", "GetProcAddress",
              reinterpret_cast<void*>(WithoutOneExport));
}

class HostBindingMissingExport : public testing::TestWithParam<uint32_t> {};

TEST_P(HostBindingMissingExport, EndsWithTheMessageNamingTheExport) {
  if (InChildProcess()) {
    RunRefusedEntry(HideExport, GetParam());
    return;
  }
  ChildRun child = RunThisTestInChild();
  std::string text = std::string("ZVLang.dll does not export ") + LangExportNames[GetParam()];
  ExpectOneCriticalMessage(child, text.c_str());
}

INSTANTIATE_TEST_SUITE_P(Exports, HostBindingMissingExport, testing::Values(0u, 3u, 6u));
