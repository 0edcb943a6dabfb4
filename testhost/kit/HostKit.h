// The kit plug-in tests are written with: load the real Orlavex.dll beside the stand-ins,
// run its entry with the work done from inside the state loop, enter patched sites the way
// the host does, control time, capture message boxes, run fatal paths in a child process,
// and read the journal.
//
//   WhilePatched([&] {                             // fresh host; runs once inside the loop
//     CallInRegs regs = CallReceivePacket(packet, sizeof(packet)); // patches are in place
//     EXPECT_EQ(1, CountCalls(HostJournal(), "SetUnitStat"));
//   });
//
// A test about the entry itself (its result, the states it runs) uses the pieces:
//
//   HostReset();                                   // fresh journal, script and client image
//   HostLaunchSettings settings = {};
//   settings.GameMode = 2;
//   OnState([&](int32_t state) { return 1; });     // the next state: 1 leaves the loop
//   uint32_t result = RunClientEntry(&settings);
//
// Scripting results: HostSetResult("SendToServer", 0), HostQueueResult(...), HostSetString,
// HostSetTextWidth, HostSetCharWidth (testhost/HostJournal.h), or OnCall for a callback.
#pragma once

#include "testhost/ClientOffsets.h"
#include "testhost/HostJournal.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

// The host executable's launch-settings record as the host lays it out.
struct HostLaunchSettings {
  uint8_t Unused0[0x14];
  int32_t GameMode;
  uint8_t Unused1[0xC98 - 0x18];
  uint8_t ClientSettingSwitch;  // 0xC98
  uint8_t StatTextAlwaysShown;  // 0xC99
  uint8_t Rest[0x1000 - 0xC9A];
};
static_assert(sizeof(HostLaunchSettings) == 0x1000, "host record size");

// --- the plug-in ---
HMODULE LoadPlugin();           // Orlavex.dll from the test's folder, loaded once
const void* PluginInterface();  // what QueryInterface returns
uint32_t RunClientEntry(HostLaunchSettings* settings);  // slot 0, settings in ECX

// Called for every state handler call; returns the next state. HostReset forgets it; then
// handlers return 1 (leave).
void OnState(std::function<int32_t(int32_t state)> handler);
// From a fresh host, runs ClientEntry with settings and does work once inside the state
// loop, where every patch is in place; the loop then ends. Scripts that work needs go inside
// it: the host is reset first.
void WhilePatched(const std::function<void()>& work,
                  const HostLaunchSettings& settings = HostLaunchSettings());
// The same with the plug-in's GetTickCount on the kit's clock (ClockInstall) from the start.
void WhilePatchedOnTestClock(const std::function<void()>& work);
// Called for every call of a stand-in function; returns its result.
void OnCall(const char* function, std::function<uint32_t(HostCallRecord& call)> handler);

// --- the stand-in client image ---
uintptr_t ClientAt(uint32_t offset);  // load base + offset
template <typename T>
inline T& ClientCell(uint32_t offset) {
  return *reinterpret_cast<T*>(ClientAt(offset));
}

// --- entering the host code at the patched sites, as the host does ---
// Registers after the call; EBX, ESI, EDI and EBP go in as the markers below unless they
// carry an argument. StackPopped is what the callee removed from the stack.
struct CallInRegs {
  uint32_t Eax, Ebx, Ecx, Edx, Esi, Edi, Ebp;
  uint32_t EspBefore, EspAfter;
  uint32_t StackPopped() const { return EspAfter - EspBefore; }
};
enum : uint32_t {
  MarkerEbx = 0x0B0B0B0B,
  MarkerEsi = 0x05105105,
  MarkerEdi = 0x0D1D1D1D,
  MarkerEbp = 0x0E0E0E0E
};

// ReceivePacketFunc: packet in EAX, length on the stack (callee pops 4).
CallInRegs CallReceivePacket(const void* packet, int32_t length);
// SendPacketFunc: size in EBX, packet on the stack (callee pops 4).
CallInRegs CallSendPacket(const void* packet, uint32_t size);
// The host's per-frame caller: pushes the argument and calls through FrameDrawCallSite.
CallInRegs CallFrameDraw(uint32_t argument);
// The host's item colour caller: colour kept in its local, item and three zeros passed
// through ItemColorCallSite; EAX = the colour after the call.
CallInRegs CallItemColor(const void* item, uint32_t colour);
// The host's item-code test: ECX = code, EAX = 0 (unpatched) or the test's result.
CallInRegs CallItemCodeTest(uint32_t code);
// PartyListBuildFunc, no arguments.
CallInRegs CallPartyListBuild();

// --- bytes that end where a no-access page begins ---
// The host hands the plug-in pointers and lengths; placed here, a read past the delivered
// length faults at once instead of reading whatever lies behind.
struct GuardedBytes {
  uint8_t* Pages;  // one read-write page, then the guard page
};
enum : uint32_t { GuardedPageSize = 4096 };
GuardedBytes GuardedBytesMake();
void GuardedBytesFree(GuardedBytes* guarded);
// Copies the first length bytes of bytes (at most GuardedPageSize) so that they end at the
// guard page and returns where they start. A length of 0 or below returns the guard page
// itself: any read of it faults.
const uint8_t* GuardedBytesPlace(const GuardedBytes& guarded, const uint8_t* bytes, int32_t length);

// --- imports, time and message boxes ---
// Replaces module's import of dll!function; returns the previous target (null if absent).
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);
// Points the plug-in's GetTickCount at the kit's clock, which only moves when told.
void ClockInstall();
void ClockSet(uint32_t milliseconds);
void ClockAdvance(uint32_t milliseconds);
// Points the plug-in's MessageBoxA at a recorder: journal entry "MessageBoxA" with Args
// (owner, text, caption, style), Text8 = the text, Text = the caption; answers IDOK.
void CaptureMessageBoxes();

// --- child processes, for paths that end the process ---
// In the parent: runs the current test again in a child process (same executable, filter
// on this test) with a journal the parent can read; returns when the child has ended.
// In the child, InChildProcess() is true and the test does the work that ends it.
struct ChildRun {
  uint32_t ExitCode;
  const HostJournalData* Journal;
};
bool InChildProcess();
ChildRun RunThisTestInChild();

// --- reading the journal ---
int FindCall(const HostJournalData* journal, const char* function, int from = 0);  // index or -1
int CountCalls(const HostJournalData* journal, const char* function);
std::vector<const HostCallRecord*> CallsOf(const HostJournalData* journal, const char* function);
// Function names in order, leaving out the ones named in skip.
std::vector<std::string> CallNames(const HostJournalData* journal,
                                   const std::vector<std::string>& skip = {});
std::string Narrow(const wchar_t* text);
