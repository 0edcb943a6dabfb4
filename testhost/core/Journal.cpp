// zvhost.dll: the one journal and the script every stand-in consults.
#include "testhost/core/StandIn.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <windows.h>

static HostJournalData* Journal;

enum {
  ScriptCapacity = 256,
  QueueCapacity = 64,
  StringCapacity = 512,
  WidthCapacity = 256,
  BlockCapacity = 4096
};

struct ScriptRow {
  char Function[HostFunctionNameSize];
  bool HasResult;
  uint32_t Result;
  uint32_t Queue[QueueCapacity];
  int QueueHead, QueueTail;
  HostCallback Callback;
  void* Context;
};
static ScriptRow Script[ScriptCapacity];
static int ScriptCount;

struct StringRow {
  int32_t Number;
  wchar_t Text[HostCallTextSize];
};
static StringRow Strings[StringCapacity];
static int StringCount;
static wchar_t DefaultString[StringCapacity][16];  // "#<number>" texts handed out, kept alive

struct WidthRow {
  wchar_t Text[HostCallTextSize];
  int32_t Width;
};
static WidthRow Widths[WidthCapacity];
static int WidthCount;
static int32_t CharWidth = 6;

static void Fail(const char* what) {
  fprintf(stderr, "zvhost: %s\n", what);
  fflush(stderr);
  ExitProcess(90);
}

static HostJournalData* MapJournal() {
  char name[128];
  DWORD length = GetEnvironmentVariableA("ZV_HOST_JOURNAL", name, sizeof(name));
  if (length > 0 && length < sizeof(name)) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (mapping == nullptr) Fail("cannot open the parent's journal");
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HostJournalData));
    if (view == nullptr) Fail("cannot map the parent's journal");
    return static_cast<HostJournalData*>(view);
  }
  void* memory =
      VirtualAlloc(nullptr, sizeof(HostJournalData), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (memory == nullptr) Fail("cannot allocate the journal");
  return static_cast<HostJournalData*>(memory);
}

static ScriptRow* FindScript(const char* function, bool create) {
  for (int i = 0; i < ScriptCount; ++i)
    if (strcmp(Script[i].Function, function) == 0) return &Script[i];
  if (!create) return nullptr;
  if (ScriptCount == ScriptCapacity) Fail("script table full");
  ScriptRow* row = &Script[ScriptCount++];
  memset(row, 0, sizeof(*row));
  snprintf(row->Function, sizeof(row->Function), "%s", function);
  return row;
}

static void CopyWide(wchar_t* destination, const wchar_t* source, size_t size) {
  size_t i = 0;
  for (; source != nullptr && i + 1 < size && source[i] != 0; ++i) destination[i] = source[i];
  destination[i] = 0;
}

HostJournalData* HostJournal() {
  if (Journal == nullptr) Journal = MapJournal();
  return Journal;
}

void HostJournalClear() {
  HostJournalData* journal = HostJournal();
  journal->Count = 0;
  journal->Lost = 0;
}

HostCallRecord* HostRecordCall(const char* function, int32_t argCount, const uint32_t* args) {
  HostJournalData* journal = HostJournal();
  // A full journal loses the record, not the call: the script still decides its result.
  static HostCallRecord overflow;
  bool full = journal->Count >= HostJournalCapacity;
  HostCallRecord* call = full ? &overflow : &journal->Calls[journal->Count];
  memset(call, 0, offsetof(HostCallRecord, Data));  // Data is copied only up to DataSize
  snprintf(call->Function, sizeof(call->Function), "%s", function);
  if (argCount > HostCallArgCount) argCount = HostCallArgCount;
  call->ArgCount = argCount;
  for (int i = 0; i < argCount; ++i) call->Args[i] = args[i];
  if (full)
    ++journal->Lost;
  else
    journal->Count += 1;
  return call;
}

void HostRecordText(HostCallRecord* call, const wchar_t* text) {
  if (call != nullptr) CopyWide(call->Text, text, HostCallTextSize);
}

void HostRecordText8(HostCallRecord* call, const char* text) {
  if (call != nullptr && text != nullptr) snprintf(call->Text8, sizeof(call->Text8), "%s", text);
}

void HostRecordData(HostCallRecord* call, const void* data, uint32_t size) {
  if (call == nullptr || data == nullptr) return;
  if (size > HostCallDataSize) size = HostCallDataSize;
  memcpy(call->Data, data, size);
  call->DataSize = size;
}

uint32_t HostFinishCall(HostCallRecord* call, uint32_t defaultResult) {
  uint32_t result = defaultResult;
  ScriptRow* row = FindScript(call->Function, false);
  if (row != nullptr) {
    if (row->Callback != nullptr)
      result = row->Callback(call, row->Context);
    else if (row->QueueHead != row->QueueTail)
      result = row->Queue[row->QueueHead++ % QueueCapacity];
    else if (row->HasResult)
      result = row->Result;
  }
  call->Result = result;
  return result;
}

void HostSetResult(const char* function, uint32_t value) {
  ScriptRow* row = FindScript(function, true);
  row->HasResult = true;
  row->Result = value;
}

void HostQueueResult(const char* function, uint32_t value) {
  ScriptRow* row = FindScript(function, true);
  if (row->QueueTail - row->QueueHead >= QueueCapacity) Fail("result queue full");
  row->Queue[row->QueueTail++ % QueueCapacity] = value;
}

void HostSetCallback(const char* function, HostCallback callback, void* context) {
  ScriptRow* row = FindScript(function, true);
  row->Callback = callback;
  row->Context = context;
}

void HostSetString(int32_t number, const wchar_t* text) {
  for (int i = 0; i < StringCount; ++i) {
    if (Strings[i].Number == number) {
      CopyWide(Strings[i].Text, text, HostCallTextSize);
      return;
    }
  }
  if (StringCount == StringCapacity) Fail("string table full");
  Strings[StringCount].Number = number;
  CopyWide(Strings[StringCount].Text, text, HostCallTextSize);
  ++StringCount;
}

const wchar_t* HostGetString(int32_t number) {
  for (int i = 0; i < StringCount; ++i)
    if (Strings[i].Number == number) return Strings[i].Text;
  // Unset numbers still give a stable, recognisable text that lives as long as the process.
  static int handedOut;
  for (int i = 0; i < handedOut; ++i) {
    wchar_t expected[16];
    swprintf(expected, 16, L"#%d", number);
    if (wcscmp(expected, DefaultString[i]) == 0) return DefaultString[i];
  }
  if (handedOut == StringCapacity) Fail("too many unset string numbers");
  swprintf(DefaultString[handedOut], 16, L"#%d", number);
  return DefaultString[handedOut++];
}

void HostSetTextWidth(const wchar_t* text, int32_t width) {
  for (int i = 0; i < WidthCount; ++i) {
    if (wcscmp(Widths[i].Text, text) == 0) {
      Widths[i].Width = width;
      return;
    }
  }
  if (WidthCount == WidthCapacity) Fail("width table full");
  CopyWide(Widths[WidthCount].Text, text, HostCallTextSize);
  Widths[WidthCount].Width = width;
  ++WidthCount;
}

void HostSetCharWidth(int32_t width) { CharWidth = width; }

int32_t HostTextWidth(const wchar_t* text) {
  if (text == nullptr) return 0;
  for (int i = 0; i < WidthCount; ++i)
    if (wcscmp(Widths[i].Text, text) == 0) return Widths[i].Width;
  return static_cast<int32_t>(wcslen(text)) * CharWidth;
}

// --- allocations (Vusk MemAlloc/MemFree) ---

static void* Blocks[BlockCapacity];
static int BlockCount;

void* HostAllocateBlock(uint32_t size) {
  // The host allocator does not clear: fill with a pattern so missing zeroing shows.
  void* block = HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size);
  if (block == nullptr) Fail("out of memory");
  memset(block, 0xCD, size);
  if (BlockCount == BlockCapacity) Fail("too many live blocks");
  Blocks[BlockCount++] = block;
  return block;
}

// False for a block that is not live (a double or foreign release).
bool HostReleaseBlock(void* block) {
  for (int i = 0; i < BlockCount; ++i) {
    if (Blocks[i] == block) {
      Blocks[i] = Blocks[--BlockCount];
      HeapFree(GetProcessHeap(), 0, block);
      return true;
    }
  }
  return false;
}

int32_t HostLiveBlockCount() { return BlockCount; }

void HostResetScript() {
  ScriptCount = 0;
  StringCount = 0;
  WidthCount = 0;
  CharWidth = 6;
  BlockCount = 0;
}
