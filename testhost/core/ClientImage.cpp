// The stand-in ZVClient.dll image: laid out at load (and again by HostReset) over the big
// section of testhost/client/ZVClient.c.
#include "testhost/ClientOffsets.h"
#include "testhost/core/StandIn.h"

#include <cstdio>
#include <cstring>
#include <windows.h>

extern "C" {
void ClientStubPop0();
void ClientStubPop4();
void ClientStubPop16();
void ClientReceiveBody();
void ClientSendBody();
uint32_t ClientStubRecord(uint32_t* frame);
uint32_t ClientReceiveRecord(uint32_t* frame);
uint32_t ClientSendRecord(uint32_t* frame, uint32_t* ebpFrame);
}

static uintptr_t Base, SectionStart, SectionEnd;

struct Place {
  const char* Name;
  uint32_t Offset;
  ClientPlaceKind Kind;
};
#define TESTHOST_PLACE_ROW(name, offset, kind) {#name, offset, kind},
static const Place Places[] = {TESTHOST_CLIENT_PLACES(TESTHOST_PLACE_ROW)};
#undef TESTHOST_PLACE_ROW

// Functions whose failure result is 0: start them as succeeding.
struct DefaultResult {
  const char* Name;
  uint32_t Value;
};
static const DefaultResult DefaultResults[] = {{"ClientSetup", 1}, {"ClientStart", 1}};

enum { StubCapacity = 160, StubSize = 16 };
struct Stub {
  const char* Name;
  int Pops;
  uint32_t Default;
};
static Stub Stubs[StubCapacity];
static int StubCount;
static uint8_t* StubCode;  // push imm32 (index); jmp rel32 (common stub)

static void Fail(const char* what) {
  fprintf(stderr, "zvhost: %s\n", what);
  fflush(stderr);
  ExitProcess(91);
}

static uint8_t* At(uint32_t offset) { return reinterpret_cast<uint8_t*>(Base + offset); }

static void PutRel32(uint8_t* field, uintptr_t target) {
  uint32_t displacement = static_cast<uint32_t>(target - (reinterpret_cast<uintptr_t>(field) + 4));
  memcpy(field, &displacement, 4);
}

static void PutBranch(uint32_t offset, uint8_t opcode, uintptr_t target) {
  uint8_t* site = At(offset);
  site[0] = opcode;
  PutRel32(site + 1, target);
}

static void PutBytes(uint32_t offset, const uint8_t* bytes, size_t count) {
  memcpy(At(offset), bytes, count);
}

static uintptr_t StubFor(const char* name, int pops) {
  for (int i = 0; i < StubCount; ++i)
    if (strcmp(Stubs[i].Name, name) == 0)
      return reinterpret_cast<uintptr_t>(StubCode + i * StubSize);
  if (StubCode == nullptr) {
    StubCode = static_cast<uint8_t*>(VirtualAlloc(
        nullptr, StubCapacity * StubSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (StubCode == nullptr) Fail("cannot allocate recording stubs");
  }
  if (StubCount == StubCapacity) Fail("too many recording stubs");
  Stub& stub = Stubs[StubCount];
  stub.Name = name;
  stub.Pops = pops;
  stub.Default = 0;
  for (const DefaultResult& row : DefaultResults)
    if (strcmp(row.Name, name) == 0) stub.Default = row.Value;
  uint8_t* code = StubCode + StubCount * StubSize;
  uintptr_t common = reinterpret_cast<uintptr_t>(pops == 0   ? ClientStubPop0
                                                 : pops == 4 ? ClientStubPop4
                                                             : ClientStubPop16);
  code[0] = 0x68;  // push imm32: the stub index
  uint32_t index = static_cast<uint32_t>(StubCount);
  memcpy(code + 1, &index, 4);
  code[5] = 0xE9;  // jmp rel32
  PutRel32(code + 6, common);
  ++StubCount;
  return reinterpret_cast<uintptr_t>(code);
}

template <int State>
int32_t __cdecl StateHandler() {
  HostCallRecord* call = RecordCall("ClientStateHandler", State);
  return static_cast<int32_t>(HostFinishCall(call, 1));  // unscripted: leave the loop
}
typedef int32_t(__cdecl* StateHandlerFn)();
static const StateHandlerFn StateHandlers[7] = {StateHandler<0>, StateHandler<1>, StateHandler<2>,
                                                StateHandler<3>, StateHandler<4>, StateHandler<5>,
                                                StateHandler<6>};

static void LayOutHostCode() {
  // Per-frame caller: mov eax,[esp+4] / push eax / nops / call <draw> / ret 4.
  static const uint8_t frameHead[] = {0x8B, 0x44, 0x24, 0x04, 0x50, 0x90,
                                      0x90, 0x90, 0x90, 0x90, 0x90};
  PutBytes(Offset_FrameDrawCaller, frameHead, sizeof(frameHead));
  PutBranch(Offset_FrameDrawCallSite - 1, 0xE8, StubFor("FrameDrawHost", 4));
  static const uint8_t frameTail[] = {0xC2, 0x04, 0x00};
  PutBytes(Offset_FrameDrawCallSite + 4, frameTail, sizeof(frameTail));

  // Send function: push ebp / mov ebp,esp / and esp,-8 / jmp <body>.
  static const uint8_t sendHead[] = {0x55, 0x8B, 0xEC, 0x83, 0xE4, 0xF8};
  PutBytes(Offset_SendPacketFunc, sendHead, sizeof(sendHead));
  PutBranch(Offset_SendPacketFunc + sizeof(sendHead), 0xE9,
            reinterpret_cast<uintptr_t>(ClientSendBody));

  // Incoming-packet function: sub esp,1Ch / push esi / mov esi,[esp+24h], then at
  // ReceivePacketResume the rest of the body.
  static const uint8_t receiveHead[] = {0x83, 0xEC, 0x1C, 0x56, 0x8B, 0x74, 0x24, 0x24};
  PutBytes(Offset_ReceivePacketFunc, receiveHead, sizeof(receiveHead));
  PutBranch(Offset_ReceivePacketResume, 0xE9, reinterpret_cast<uintptr_t>(ClientReceiveBody));

  // Item colour caller, stdcall (item, colour) -> colour:
  //   sub esp,14h / mov eax,[esp+1Ch] / mov [esp+10h],eax / mov eax,[esp+18h] /
  //   push 0 / push 0 / push 0 / push eax / nops / call <colour> / mov eax,[esp+10h] /
  //   add esp,14h / ret 8
  static const uint8_t colourHead[] = {0x83, 0xEC, 0x14, 0x8B, 0x44, 0x24, 0x1C, 0x89,
                                       0x44, 0x24, 0x10, 0x8B, 0x44, 0x24, 0x18, 0x6A,
                                       0x00, 0x6A, 0x00, 0x6A, 0x00, 0x50, 0x90, 0x90,
                                       0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90};
  static_assert(Offset_ItemColorCaller + sizeof(colourHead) == Offset_ItemColorCallSite - 1,
                "colour caller layout");
  PutBytes(Offset_ItemColorCaller, colourHead, sizeof(colourHead));
  PutBranch(Offset_ItemColorCallSite - 1, 0xE8, StubFor("ItemColorHost", 16));
  static const uint8_t colourTail[] = {0x8B, 0x44, 0x24, 0x10, 0x83, 0xC4, 0x14, 0xC2, 0x08, 0x00};
  PutBytes(Offset_ItemColorCallSite + 4, colourTail, sizeof(colourTail));

  // Item-code test: nops, then xor eax,eax / lea esp,[esp] at the site, then ret.
  static const uint8_t testBody[] = {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90,
                                     0x90, 0x90, 0x33, 0xC0, 0x8D, 0x24, 0x24, 0xC3};
  static_assert(Offset_ItemCodeTestCaller + 10 == Offset_ItemCodeTestSite, "item-code test layout");
  PutBytes(Offset_ItemCodeTestCaller, testBody, sizeof(testBody));

  // Party row rebuild: push ebx / push esi / push edi / call +0B8h / pop edi / pop esi /
  // pop ebx / ret; the call reaches a recording stub.
  static const uint8_t partyBody[] = {0x53, 0x56, 0x57, 0xE8, 0xB8, 0x00,
                                      0x00, 0x00, 0x5F, 0x5E, 0x5B, 0xC3};
  static_assert(Offset_PartyListBuildFunc + 8 + 0xB8 == Offset_PartyListBuildInner,
                "party rebuild layout");
  PutBytes(Offset_PartyListBuildFunc, partyBody, sizeof(partyBody));
  PutBranch(Offset_PartyListBuildInner, 0xE9, StubFor("PartyListBuildHost", 0));
}

static void LayOut() {
  uintptr_t codeStart = SectionStart;
  uintptr_t codeEnd = Base + Offset_CodeEnd;
  DWORD old = 0;
  if (!VirtualProtect(reinterpret_cast<void*>(codeStart), codeEnd - codeStart, PAGE_READWRITE,
                      &old))
    Fail("cannot unprotect the client image");
  memset(reinterpret_cast<void*>(SectionStart), 0, SectionEnd - SectionStart);

  for (const Place& place : Places) {
    if (place.Kind == PlaceCall0 || place.Kind == PlaceCall4 || place.Kind == PlaceCall16) {
      int pops = place.Kind == PlaceCall0 ? 0 : place.Kind == PlaceCall4 ? 4 : 16;
      PutBranch(place.Offset, 0xE9, StubFor(place.Name, pops));
    }
  }
  LayOutHostCode();
  for (int state = 0; state < 7; ++state) {
    uintptr_t handler = reinterpret_cast<uintptr_t>(StateHandlers[state]);
    memcpy(At(Offset_ClientStateHandlers + 4 * state), &handler, 4);
  }
  // Code pages are execute/read as in the real module: a write that forgets to lift the
  // protection faults here too.
  if (!VirtualProtect(reinterpret_cast<void*>(codeStart), codeEnd - codeStart, PAGE_EXECUTE_READ,
                      &old))
    Fail("cannot protect the client image");
  FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(codeStart),
                        codeEnd - codeStart);
}

uint32_t ClientStubRecord(uint32_t* frame) {
  const Stub& stub = Stubs[frame[8]];
  HostCallRecord* call = HostRecordCall(stub.Name, stub.Pops / 4, frame + 10);
  if (call != nullptr) {
    call->Eax = frame[7];
    call->Ecx = frame[6];
    call->Edx = frame[5];
    call->Ebx = frame[4];
    call->Esi = frame[1];
    call->Edi = frame[0];
  }
  return HostFinishCall(call, stub.Default);
}

uint32_t ClientReceiveRecord(uint32_t* frame) {
  uint32_t packet = frame[7];
  int32_t length = static_cast<int32_t>(frame[1]);
  const uint32_t args[2] = {packet, static_cast<uint32_t>(length)};
  HostCallRecord* call = HostRecordCall("ReceivePacketFunc", 2, args);
  if (call != nullptr) {
    call->Eax = packet;
    call->Esi = frame[1];
    call->Ebx = frame[4];
    call->Edi = frame[0];
    if (packet != 0 && length > 0)
      HostRecordData(call, reinterpret_cast<const void*>(packet), static_cast<uint32_t>(length));
  }
  return HostFinishCall(call, 0);
}

uint32_t ClientSendRecord(uint32_t* frame, uint32_t* ebpFrame) {
  uint32_t packet = ebpFrame[2];
  uint32_t size = frame[4];
  const uint32_t args[2] = {packet, size};
  HostCallRecord* call = HostRecordCall("SendPacketFunc", 2, args);
  if (call != nullptr) {
    call->Ebx = size;
    if (packet != 0) HostRecordData(call, reinterpret_cast<const void*>(packet), size);
  }
  return HostFinishCall(call, 1);
}

void HostAttachClientImage(uintptr_t base, uintptr_t sectionStart, uintptr_t sectionEnd) {
  Base = base;
  SectionStart = sectionStart;
  SectionEnd = sectionEnd;
  if (sectionStart & 0xFFF) Fail("the client image section is not page aligned");
  if (sectionStart > base + Offset_ImageLowest || sectionEnd < base + Offset_ImageEnd)
    Fail("the client image section does not span every offset");
  LayOut();
}

uintptr_t HostClientBase() { return Base; }

int32_t HostClientQueryFlag(int32_t zero, int32_t one) {
  return static_cast<int32_t>(HostFinishCall(RecordCall("ClientQueryFlag", zero, one), 0));
}

void HostReset() {
  HostJournalClear();
  HostResetScript();
  if (Base != 0) LayOut();
}
