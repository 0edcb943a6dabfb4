// The test host's journal and script: the API of zvhost.dll, which every stand-in module
// links to and which tests read.
//
// Journal: every call into a stand-in (ordinal functions, the ZVLang helpers, every
// ZVClient function offset, the host bodies behind the patch sites, the state handlers)
// appends one HostCallRecord, in call order. In a child process started by the kit
// (HostKit.h) the journal lives in a named shared section that the parent reads after the
// child has ended.
//
// Script: what a stand-in returns. For each call, in this order: a callback set for the
// function (in-process only), else the next queued result, else the function's set result,
// else the stand-in's default (given per function in testhost/modules and the client image).
#pragma once

#include <cstdint>

#ifdef ZVHOST_BUILD
#define ZVHOST_API extern "C" __declspec(dllexport)
#else
#define ZVHOST_API extern "C" __declspec(dllimport)
#endif

enum {
  HostFunctionNameSize = 40,
  HostCallArgCount = 8,
  HostCallTextSize = 256,  // 16-bit characters
  HostCallText8Size = 128,
  HostCallDataSize = 512,  // the largest client packet is 511 bytes
  HostJournalCapacity = 8192,
};

struct HostCallRecord {
  char Function[HostFunctionNameSize];  // role name: "WinQuery", "DrawStep04", "Unicode::strcpy",
                                        // ...
  int32_t ArgCount;
  uint32_t Args[HostCallArgCount];  // in parameter order (stack and ECX/EDX for fastcall)
  // Registers at entry, for ZVClient functions and the host bodies behind patch sites.
  uint32_t Eax, Ebx, Ecx, Edx, Esi, Edi;
  uint32_t Result;                 // what the stand-in returned
  wchar_t Text[HostCallTextSize];  // a copied 16-bit text argument or result, zero-ended
  char Text8[HostCallText8Size];   // a copied 8-bit text argument, zero-ended
  uint32_t DataSize;               // bytes copied into Data (packets)
  uint8_t Data[HostCallDataSize];
};

struct HostJournalData {
  uint32_t Count;  // records written (at most HostJournalCapacity)
  uint32_t Lost;   // calls after the journal was full
  HostCallRecord Calls[HostJournalCapacity];
};

typedef uint32_t (*HostCallback)(HostCallRecord* call, void* context);

// --- journal ---
ZVHOST_API HostJournalData* HostJournal();
ZVHOST_API void HostJournalClear();
// Appends a record with its arguments. When the journal is full the call is counted in
// Lost and a scratch record is returned instead, so results are still scripted.
ZVHOST_API HostCallRecord* HostRecordCall(const char* function, int32_t argCount,
                                          const uint32_t* args);
ZVHOST_API void HostRecordText(HostCallRecord* call, const wchar_t* text);
ZVHOST_API void HostRecordText8(HostCallRecord* call, const char* text);
ZVHOST_API void HostRecordData(HostCallRecord* call, const void* data, uint32_t size);
// Decides the result (callback, queue, set result, default), stores it in the record.
ZVHOST_API uint32_t HostFinishCall(HostCallRecord* call, uint32_t defaultResult);

// --- script ---
ZVHOST_API void HostSetResult(const char* function, uint32_t value);
ZVHOST_API void HostQueueResult(const char* function, uint32_t value);
ZVHOST_API void HostSetCallback(const char* function, HostCallback callback, void* context);
// String table (GetLocalizedText): unset numbers give "#<number>".
ZVHOST_API void HostSetString(int32_t number, const wchar_t* text);
ZVHOST_API const wchar_t* HostGetString(int32_t number);
// Text widths (GetTextWidth): an exact text's width, else characters x width per character.
ZVHOST_API void HostSetTextWidth(const wchar_t* text, int32_t width);
ZVHOST_API void HostSetCharWidth(int32_t width);
ZVHOST_API int32_t HostTextWidth(const wchar_t* text);
// Blocks from MemAlloc not yet given to MemFree.
ZVHOST_API int32_t HostLiveBlockCount();
// Forgets the script, the journal and the blocks (blocks stay allocated) and lays the
// stand-in client image out afresh: stubs, host code, patch-site bytes, zeroed data.
ZVHOST_API void HostReset();

// --- the stand-in client image ---
// Called by the stand-in ZVClient.dll at process attach with its load base and the bounds
// of its big section; lays out the image.
ZVHOST_API void HostAttachClientImage(uintptr_t base, uintptr_t sectionStart, uintptr_t sectionEnd);
ZVHOST_API uintptr_t HostClientBase();
// ZVClient#10002, recorded as "ClientQueryFlag".
ZVHOST_API int32_t HostClientQueryFlag(int32_t zero, int32_t one);
