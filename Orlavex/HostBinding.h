// The plug-in's whole contract with the host game's modules, in one place.
//
// Three kinds of binding live here:
//
//  1. Host client locations: every place inside ZVClient.dll is its load base plus a fixed
//     offset. HOST_CLIENT_LOCATIONS below is the one table of them (name, offset, kind).
//     Each row becomes a `uintptr_t` of the same name (ClientState, SendPacketFunc, ...),
//     zero until BindHost fills it from HostClientModule. Data is reached through
//     HostCell<T>(Name); functions through the HostCall* helpers or, when the host takes an
//     argument in a register, through an adapter of HostAdapters.S.
//     To add a location: add one X(...) line to the table, nothing else. BindHost, the
//     binding test and the patcher's site look-ups all walk the table.
//
//  2. Ordinal imports of ZVCommon, ZVLang, ZVWin, ZVgfx, ZVNet, Vusk and ZVClient: declared
//     below with their calling conventions and resolved by the system loader through the
//     import libraries made from Orlavex/host/<Module>.def (by ordinal only, NONAME).
//     To add one: add the line `Name@<stack bytes> @<ordinal> NONAME` (stdcall),
//     `@Name@<arg bytes> @<ordinal> NONAME` (fastcall) or `Name @<ordinal> NONAME` (cdecl
//     and argument-less) to the module's .def file and declare it here with the same
//     convention. The stand-in DLLs of the test host export from the same .def files.
//
//  3. The seven ZVLang `Unicode` helpers, looked up by decorated name in BindHost; a missing
//     ZVLang.dll or export ends the process with a message box (see BindHost).
//
// How the test host sees all this (testhost/, win32 tree only): the stand-in ZVClient.dll is
// one image that spans every offset of the table. At load it puts a jump to a recording
// stub at every function offset, the host's own bytes at the patch sites and zeroed data
// cells everywhere else. The other stand-ins export the ordinals declared here. Every call
// into any stand-in is appended to one journal (testhost/HostJournal.h: function name,
// arguments, registers, copied text) that a test reads after it has driven the plug-in;
// results are scripted per function name before the run. testhost/kit/HostKit.h runs the
// real Orlavex.dll's entry with the test working inside the state loop, enters each patched
// site as the host does, controls GetTickCount and records message boxes.
#pragma once

#include "Orlavex/HostRecords.h"

#include <cstddef>
#include <cstdint>

// The host's 16-bit character text, ended by a zero character.
typedef wchar_t UnicodeChar;
static_assert(sizeof(UnicodeChar) == 2, "host text uses 16-bit characters");

// The host executable's launch-settings record, borrowed for the whole process. Only the
// fields the plug-in reads are named; the record is longer.
struct LaunchSettings {
  uint8_t Unused0[0x14];
  int32_t GameMode;  // decides ClientEntry's result; 6 is passed on to CommonStartup
  uint8_t Unused1[0xC98 - 0x18];
  uint8_t ClientSettingSwitch;  // nonzero: ClientSettingFlag := 1
  uint8_t StatTextAlwaysShown;  // nonzero: both stat texts in every frame
};
static_assert(offsetof(LaunchSettings, GameMode) == 0x14, "host layout");
static_assert(offsetof(LaunchSettings, ClientSettingSwitch) == 0xC98, "host layout");
static_assert(offsetof(LaunchSettings, StatTextAlwaysShown) == 0xC99, "host layout");

enum HostLocationKind { HostFunction, HostData, HostPatchSite };

// name, offset from ZVClient's load base, kind
#define HOST_CLIENT_LOCATIONS(X)                                                            \
  /* client entry */                                                                        \
  X(ClientLaunchSettingsPtr, 0x10D618, HostData) /* pointer: receives LaunchSettings */     \
  X(ClientModuleHandle, 0x11C264, HostData)      /* 32-bit: the client module handle */     \
  X(ClientModulePath, 0x10D500, HostData)        /* 260 bytes: the client module path */    \
  X(ClientSetup, 0x36D50, HostFunction)          /* LaunchSettings in EDI; 0 = failure */   \
  X(ClientStart, 0x1A700, HostFunction)          /* 0 = failure */                          \
  X(ClientWinCallback, 0x5D6D0, HostFunction)    /* only its address is handed on */        \
  X(ClientState, 0xF1880, HostData)              /* int32: 1 to 6, 1 = leave */             \
  X(ClientStateHandlers, 0xF1884, HostData)      /* handler for state s at +4*s */          \
  X(ClientLoopFlag, 0xF18C0, HostData)           /* int32 */                                \
  X(ClientExitCode, 0x11C268, HostData)          /* int32: receives the entry's result */   \
  X(ClientSettingFlag, 0x11C32C, HostData)       /* int32 */                                \
  X(ClientStop, 0x1A6A0, HostFunction)                                                      \
  X(ClientCleanup, 0xC39D0, HostFunction)                                                   \
  /* patch sites */                                                                         \
  X(FrameDrawCallSite, 0x32C8C, HostPatchSite) /* displacement of a call */                 \
  X(SendPacketFunc, 0x5DE40, HostPatchSite)                                                 \
  X(ReceivePacketFunc, 0xBDF70, HostPatchSite)                                              \
  X(ReceivePacketResume, 0xBDF78, HostFunction) /* jump target after 3 instructions */      \
  X(ItemColorCallSite, 0x78B80, HostPatchSite)  /* displacement of a call */                \
  X(ItemCodeTestSite, 0x76BBA, HostPatchSite)   /* xor eax,eax + 3-byte no-op */            \
  X(PartyListBuildFunc, 0xBC920, HostPatchSite)                                             \
  /* frame draw */                                                                          \
  X(UiPanelFlags, 0x1040C0, HostData)   /* int32 array, flag n at +4*n */                   \
  X(UiExtraObject, 0x1040A0, HostData)  /* pointer */                                       \
  X(UiOffsetX, 0x11BEF8, HostData)      /* int32 */                                         \
  X(UiOffsetY, 0x11BEFC, HostData)      /* int32 */                                         \
  X(FrameTextA, 0x120CB0, HostData)     /* 16-bit */                                        \
  X(FrameTextB, 0x1207F8, HostData)     /* 16-bit */                                        \
  X(ClientDrawMode, 0x11C3E4, HostData) /* int32 */                                         \
  X(PanelLatch31, 0x11BA18, HostData)   /* int32 */                                         \
  /* party panel, players */                                                                \
  X(RosterHead, 0x11C33C, HostData)          /* pointer */                                  \
  X(PlayerUnit, 0x11C1E0, HostData)          /* pointer to the UnitRecord */                \
  X(PartyRowList, 0x11B9CC, HostData)        /* pointer */                                  \
  X(PartyImageA, 0x11B9D4, HostData)         /* 32-bit */                                   \
  X(PartyImageB, 0x11B9D8, HostData)         /* 32-bit */                                   \
  X(MouseX, 0x11B418, HostData)              /* int32 */                                    \
  X(MouseY, 0x11B414, HostData)              /* int32 */                                    \
  X(DrawPartyDivider, 0xBA780, HostFunction) /* y in EAX */                                 \
  X(PartyDrawA, 0xBA800, HostFunction)                                                      \
  X(PartyDrawB, 0xBB730, HostFunction)                                                      \
  X(PartyDrawC, 0xBAF80, HostFunction)                                                      \
  X(PartyDrawD, 0xBB690, HostFunction)                                                      \
  X(PartyDrawE, 0xBB370, HostFunction)                                                      \
  X(PartyDrawF, 0xBBF10, HostFunction)                                                      \
  X(DrawPartyRow, 0xBBBD0, HostFunction) /* one stack argument, callee pops */              \
  /* stat text */                                                                           \
  X(ScreenWidth, 0xF4FC4, HostData)       /* int32 */                                       \
  X(ScreenHeight, 0xF4FC8, HostData)      /* int32 */                                       \
  X(GetPlayerStat, 0xB53A0, HostFunction) /* stat number in EAX */                          \
  /* server packets */                                                                      \
  X(MoveUnit, 0x6D260, HostFunction)    /* unit ESI, x EAX; stack y,0,tx,ty, callee pops */ \
  X(SetUnitMode, 0x6D770, HostFunction) /* unit in ESI, mode in EDI */                      \
  X(RefreshUnit, 0x4C7A0, HostFunction) /* unit in ESI */                                   \
  /* send filter */                                                                         \
  X(BytesSent, 0x11C3B8, HostData)   /* int32 */                                            \
  X(PacketsSent, 0x11C3C0, HostData) /* int32 */                                            \
  /* frame draw steps: no arguments except where said */                                    \
  X(DrawStep01, 0x8EA10, HostFunction)                                                      \
  X(DrawStep02, 0x2A100, HostFunction)                                                      \
  X(DrawStep03, 0x2F950, HostFunction) /* returns a value for DrawStep04 */                 \
  X(DrawStep04, 0x63D50, HostFunction) /* one stack argument, callee pops */                \
  X(DrawStep05, 0x64360, HostFunction)                                                      \
  X(DrawStep06, 0xB6D50, HostFunction)                                                      \
  X(DrawStep07, 0xB6E90, HostFunction)                                                      \
  X(DrawStep08, 0x52B20, HostFunction)                                                      \
  X(DrawStep09, 0x62670, HostFunction)                                                      \
  X(DrawStep10, 0x6C8F0, HostFunction)                                                      \
  X(DrawStep11, 0x6CB20, HostFunction)                                                      \
  X(DrawStep12, 0x7F3B0, HostFunction)                                                      \
  X(DrawStep13, 0x73D20, HostFunction)                                                      \
  X(DrawStep14, 0xA8510, HostFunction)                                                      \
  X(DrawStep15, 0x7D970, HostFunction)                                                      \
  X(DrawStep16, 0xC32D0, HostFunction)                                                      \
  X(DrawStep17, 0x64760, HostFunction)                                                      \
  X(DrawStep18, 0x8B9A0, HostFunction)                                                      \
  X(DrawStep19, 0x89320, HostFunction)                                                      \
  X(DrawStep20, 0x23700, HostFunction) /* object in ESI */                                  \
  X(DrawStep21, 0x16D30, HostFunction)                                                      \
  X(DrawStep22, 0x19F70, HostFunction)                                                      \
  X(DrawStep23, 0x4A0F0, HostFunction)                                                      \
  X(DrawStep24, 0x49290, HostFunction)                                                      \
  X(DrawStep25, 0xB7920, HostFunction)                                                      \
  X(DrawStep26, 0xA59E0, HostFunction)                                                      \
  X(DrawStep27, 0xC2300, HostFunction)                                                      \
  X(DrawStep28, 0x4A3B0, HostFunction)                                                      \
  X(DrawStep29, 0xC17C0, HostFunction)                                                      \
  X(DrawStep30, 0xC1A00, HostFunction)                                                      \
  X(DrawStep31, 0xC14D0, HostFunction)                                                      \
  X(DrawStep32, 0xC1710, HostFunction)                                                      \
  X(DrawStep33, 0xA7BF0, HostFunction)                                                      \
  X(DrawStep34, 0x8E090, HostFunction)                                                      \
  X(DrawStep35, 0x91270, HostFunction)                                                      \
  X(DrawStep36, 0x4A8F0, HostFunction)                                                      \
  X(DrawStep37, 0x5D920, HostFunction)                                                      \
  X(DrawStep38, 0x63D00, HostFunction)                                                      \
  X(DrawStep39, 0x58CB0, HostFunction)                                                      \
  X(DrawStep40, 0x34320, HostFunction)                                                      \
  X(DrawStep41, 0xB6C90, HostFunction)                                                      \
  X(DrawStep42, 0x17E50, HostFunction) /* one argument in EAX */                            \
  X(DrawStep43, 0x64920, HostFunction)                                                      \
  X(DrawStep44, 0x613B0, HostFunction)                                                      \
  X(DrawStep45, 0x648B0, HostFunction)                                                      \
  X(DrawStep46, 0x62330, HostFunction)                                                      \
  X(DrawStep47, 0x62400, HostFunction)                                                      \
  X(DrawStep48, 0xAF9F0, HostFunction)

#define HOST_LOCATION_DECLARE(name, offset, kind) extern uintptr_t name;
HOST_CLIENT_LOCATIONS(HOST_LOCATION_DECLARE)
#undef HOST_LOCATION_DECLARE

struct HostLocationRow {
  const char* Name;
  uint32_t Offset;
  HostLocationKind Kind;
  uintptr_t* Address;  // the bound location, written by BindHost
};
extern const HostLocationRow HostLocationTable[];
extern const int HostLocationCount;

// The host client module (its load base), kept by DllMain and ClientEntry.
extern uintptr_t HostClientModule;

// Computes every host location from HostClientModule and looks up the ZVLang helpers.
// Ends the process with a message box when ZVLang.dll or one of its seven exports is
// missing. Binding again yields the same values.
void BindHost();

// A host data cell. Every access goes to host memory: the host and its handlers change
// these cells behind the plug-in's back.
template <typename T>
inline volatile T& HostCell(uintptr_t location) {
  return *reinterpret_cast<volatile T*>(location);
}

// The local player's unit, or null when there is none.
inline UnitRecord* LocalPlayerUnit() {
  return reinterpret_cast<UnitRecord*>(HostCell<uintptr_t>(PlayerUnit));
}

// Host client functions with no arguments, or with stack arguments only.
typedef uint32_t(__cdecl* HostProc)();
typedef uint32_t(__stdcall* HostProcStd1)(uint32_t);
inline uint32_t HostCall(uintptr_t function) { return reinterpret_cast<HostProc>(function)(); }
inline uint32_t HostCallStd1(uintptr_t function, uint32_t argument) {
  return reinterpret_cast<HostProcStd1>(function)(argument);
}

// Host client functions that take arguments in registers (HostAdapters.S). Each takes the
// bound function address first; the adapter loads the registers, calls, and returns EAX.
extern "C" {
uint32_t HostCallEax(uintptr_t function,
                     uint32_t eax);  // GetPlayerStat, DrawStep42, DrawPartyDivider
uint32_t HostCallEsi(uintptr_t function, uint32_t esi);                   // RefreshUnit, DrawStep20
uint32_t HostCallEdi(uintptr_t function, uint32_t edi);                   // ClientSetup
uint32_t HostCallEsiEdi(uintptr_t function, uint32_t esi, uint32_t edi);  // SetUnitMode
uint32_t HostCallMoveUnit(uintptr_t function, uint32_t unit, int32_t x, int32_t y, int32_t zero,
                          int32_t targetX, int32_t targetY);  // MoveUnit
}

// The seven ZVLang `Unicode` helpers, looked up by decorated name. Fastcall: the first two
// arguments in ECX and EDX, the rest on the stack, callee pops; sprintf is cdecl.
typedef UnicodeChar*(__fastcall* UnicodeStrncpyFn)(UnicodeChar* destination,
                                                   const UnicodeChar* source, int32_t maximum);
typedef UnicodeChar*(__fastcall* UnicodeStrcatFn)(UnicodeChar* destination,
                                                  const UnicodeChar* source);
typedef UnicodeChar*(__fastcall* UnicodeStrcpyFn)(UnicodeChar* destination,
                                                  const UnicodeChar* source);
typedef int32_t(__fastcall* UnicodeStrlenFn)(const UnicodeChar* text);
typedef UnicodeChar*(__fastcall* UnicodeFromBytesFn)(UnicodeChar* destination, const char* text,
                                                     int32_t maximum);
typedef void(__cdecl* UnicodeSprintfFn)(int32_t size, UnicodeChar* destination,
                                        const UnicodeChar* format, ...);

extern UnicodeStrncpyFn UnicodeStrncpy;        // ?strncpy@Unicode@@SIPAU1@PAU1@PBU1@H@Z
extern UnicodeStrcatFn UnicodeStrcat;          // ?strcat@Unicode@@SIPAU1@PAU1@PBU1@@Z
extern UnicodeStrcpyFn UnicodeStrcpy;          // ?strcpy@Unicode@@SIPAU1@PAU1@PBU1@@Z
extern UnicodeStrlenFn UnicodeStrlen;          // ?strlen@Unicode@@SIHPBU1@@Z
extern UnicodeFromBytesFn UnicodeWin2Unicode;  // ?win2Unicode@Unicode@@SIPAU1@PAU1@PBDH@Z
extern UnicodeFromBytesFn UnicodeToUnicode;    // ?toUnicode@Unicode@@SIPAU1@PAU1@PBDH@Z
extern UnicodeSprintfFn UnicodeSprintf;        // ?sprintf@Unicode@@SAXHPAU1@PBU1@ZZ

// Ordinal imports. Arguments in parameter order; the comments give the module and ordinal.
#define HOST_IMPORT extern "C" __declspec(dllimport)

// Vusk.dll
HOST_IMPORT void __cdecl ReportFatalError(const void* emptyText, uint32_t value,
                                          int32_t line);   // Vusk#10024
HOST_IMPORT uint32_t __cdecl ErrorFromLine(int32_t line);  // Vusk#10265
HOST_IMPORT void* __fastcall MemAlloc(uint32_t size, const char* path, int32_t line,
                                      int32_t zero);  // Vusk#10042
HOST_IMPORT void __fastcall MemFree(void* block, const char* path, int32_t line,
                                    int32_t zero);                 // Vusk#10043
HOST_IMPORT void __cdecl VuskStartupA(int32_t zero);               // Vusk#10144
HOST_IMPORT void __cdecl VuskStartupB(int32_t zero, int32_t one);  // Vusk#10145
HOST_IMPORT uint32_t __cdecl VuskQuery();                          // Vusk#10227

// ZVWin.dll
HOST_IMPORT void __cdecl WinStartup();                          // ZVWin#10036
HOST_IMPORT void __stdcall WinSetCallback(uintptr_t callback);  // ZVWin#10019
HOST_IMPORT uint32_t __stdcall WinQuery(uint32_t value);        // ZVWin#10133
HOST_IMPORT void __cdecl WinShutdown();                         // ZVWin#10139
HOST_IMPORT void __cdecl WinFrameStep();                        // ZVWin#10037
HOST_IMPORT void __fastcall SetHoverText(const UnicodeChar* text, int32_t x, int32_t y,
                                         int32_t zero, int32_t one);  // ZVWin#10039
HOST_IMPORT void __fastcall DrawUiText(const UnicodeChar* text, int32_t x, int32_t y,
                                       int32_t colour, int32_t zero);  // ZVWin#10064
HOST_IMPORT int32_t __fastcall GetTextWidth(const UnicodeChar* text);  // ZVWin#10128
HOST_IMPORT void __fastcall SetTextFont(int32_t font);                 // ZVWin#10170

// ZVLang.dll
HOST_IMPORT const UnicodeChar* __fastcall GetLocalizedText(int32_t number);  // ZVLang#10000
HOST_IMPORT void __stdcall LangStartupB(uint32_t* cell, int32_t zero);       // ZVLang#10001
HOST_IMPORT int32_t __fastcall LangLoad(uint32_t value, int32_t zero);       // ZVLang#10009
HOST_IMPORT void __cdecl LangShutdown();                                     // ZVLang#10011

// ZVCommon.dll
HOST_IMPORT void __stdcall CommonStartup(uint32_t value, int32_t gameModeIs6);  // ZVCommon#10506
HOST_IMPORT void __cdecl CommonShutdown();                                      // ZVCommon#10974
HOST_IMPORT void __cdecl CommonRelease();                                       // ZVCommon#10464
HOST_IMPORT void __stdcall SetUnitStat(void* unit, int32_t stat, int32_t value,
                                       int32_t zero);                  // ZVCommon#10590
HOST_IMPORT uint32_t __stdcall GetStat6Max(void* unit);                // ZVCommon#10983
HOST_IMPORT uint32_t __stdcall GetStat8Max(void* unit);                // ZVCommon#10042
HOST_IMPORT void* __stdcall GetNamedRecord(int32_t number);            // ZVCommon#10445
HOST_IMPORT void* __stdcall GetItemRecord(int32_t classNumber);        // ZVCommon#10262
HOST_IMPORT int32_t __stdcall TestItemFlag(void* item, int32_t flag);  // ZVCommon#10890
HOST_IMPORT int32_t __stdcall TestItemFlagChecked(void* item, int32_t flag, int32_t line,
                                                  const char* path);  // ZVCommon#10303

// ZVNet.dll
HOST_IMPORT int32_t __stdcall SendToServer(uint32_t size, int32_t one,
                                           const void* buffer);  // ZVNet#10020

// ZVgfx.dll
HOST_IMPORT int32_t __cdecl GetDisplayMode();  // ZVgfx#10063

// ZVClient.dll
HOST_IMPORT int32_t __stdcall ClientQueryFlag(int32_t zero, int32_t one);  // ZVClient#10002

#undef HOST_IMPORT
