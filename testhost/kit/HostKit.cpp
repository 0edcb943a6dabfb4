#include "testhost/kit/HostKit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

struct CallInFrame {
  uint32_t Target;
  uint32_t Eax, Ebx, Ecx, Edx, Esi, Edi, Ebp;
  uint32_t ArgCount;
  uint32_t Args[4];
};
static_assert(sizeof(CallInFrame) == 52, "frame layout used by CallIns.S");
static_assert(sizeof(CallInRegs) == 36, "register layout used by CallIns.S");

extern "C" void CallInRun(const CallInFrame* in, CallInRegs* out);

static HMODULE Plugin;

static std::function<int32_t(int32_t)> StateHandler;

enum { CallHandlerCapacity = 64 };
struct CallHandler {
  std::string Function;
  std::function<uint32_t(HostCallRecord&)> Handler;
};
static CallHandler CallHandlers[CallHandlerCapacity];

static uint32_t RunStateHandler(HostCallRecord* call, void*) {
  if (!StateHandler) return 1;
  return static_cast<uint32_t>(StateHandler(static_cast<int32_t>(call->Args[0])));
}

static uint32_t RunCallHandler(HostCallRecord* call, void* context) {
  return static_cast<CallHandler*>(context)->Handler(*call);
}

static CallInFrame Frame(uint32_t offset) {
  CallInFrame frame = {};
  frame.Target = static_cast<uint32_t>(ClientAt(offset));
  frame.Eax = 0xA0A0A0A0;
  frame.Ebx = MarkerEbx;
  frame.Ecx = 0xC0C0C0C0;
  frame.Edx = 0xD0D0D0D0;
  frame.Esi = MarkerEsi;
  frame.Edi = MarkerEdi;
  frame.Ebp = MarkerEbp;
  return frame;
}

static CallInRegs Run(const CallInFrame& frame) {
  CallInRegs regs = {};
  CallInRun(&frame, &regs);
  return regs;
}

static volatile uint32_t ClockNow;
static DWORD WINAPI KitTickCount() { return ClockNow; }

static int WINAPI KitMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  const uint32_t args[4] = {reinterpret_cast<uint32_t>(owner), reinterpret_cast<uint32_t>(text),
                            reinterpret_cast<uint32_t>(caption), style};
  HostCallRecord* call = HostRecordCall("MessageBoxA", 4, args);
  HostRecordText8(call, text);
  if (call != nullptr && caption != nullptr) {
    wchar_t wide[HostCallTextSize] = {};
    for (int i = 0; i + 1 < HostCallTextSize && caption[i] != 0; ++i)
      wide[i] = static_cast<unsigned char>(caption[i]);
    HostRecordText(call, wide);
  }
  if (call != nullptr) call->Result = IDOK;
  return IDOK;
}

typedef BOOL(WINAPI* VirtualProtectFn)(LPVOID, SIZE_T, DWORD, PDWORD);

// VirtualProtect as kernel32 exports it, whatever any import table says.
static VirtualProtectFn SystemVirtualProtect() {
  return reinterpret_cast<VirtualProtectFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "VirtualProtect")));
}

static void Die(const char* what) {
  fprintf(stderr, "hostkit: %s (error %lu)\n", what, GetLastError());
  fflush(stderr);
  ExitProcess(92);
}

HMODULE LoadPlugin() {
  if (Plugin == nullptr) {
    Plugin = LoadLibraryA("Orlavex.dll");
    if (Plugin == nullptr) Die("cannot load Orlavex.dll");
  }
  return Plugin;
}

const void* PluginInterface() {
  typedef const void* (*QueryFn)();
  QueryFn query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(LoadPlugin(), "QueryInterface")));
  if (query == nullptr) Die("Orlavex.dll has no QueryInterface");
  return query();
}

uint32_t RunClientEntry(HostLaunchSettings* settings) {
  typedef uint32_t(__fastcall * EntryFn)(HostLaunchSettings*);
  const EntryFn* slots = static_cast<const EntryFn*>(PluginInterface());
  return slots[0](settings);
}

void OnState(std::function<int32_t(int32_t)> handler) {
  StateHandler = std::move(handler);
  HostSetCallback("ClientStateHandler", RunStateHandler, nullptr);
}

void WhilePatched(const std::function<void()>& work, const HostLaunchSettings& settings) {
  HostReset();
  // The plug-in keeps the record's address for the whole process, as the host's does.
  static HostLaunchSettings running;
  running = settings;
  OnState([&](int32_t) {
    work();
    return 1;
  });
  RunClientEntry(&running);
}

void WhilePatchedOnTestClock(const std::function<void()>& work) {
  WhilePatched([&] {
    ClockInstall();
    work();
  });
}

GuardedBytes GuardedBytesMake() {
  GuardedBytes guarded = {};
  guarded.Pages = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 2 * GuardedPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (guarded.Pages == nullptr) Die("cannot allocate the guarded pages");
  DWORD old = 0;
  if (!VirtualProtect(guarded.Pages + GuardedPageSize, GuardedPageSize, PAGE_NOACCESS, &old))
    Die("cannot make the guard page");
  return guarded;
}

void GuardedBytesFree(GuardedBytes* guarded) {
  if (guarded->Pages != nullptr) VirtualFree(guarded->Pages, 0, MEM_RELEASE);
  guarded->Pages = nullptr;
}

const uint8_t* GuardedBytesPlace(const GuardedBytes& guarded, const uint8_t* bytes,
                                 int32_t length) {
  uint32_t delivered = length > 0 ? static_cast<uint32_t>(length) : 0;
  if (delivered > GuardedPageSize) Die("more bytes than the guarded page holds");
  uint8_t* at = guarded.Pages + GuardedPageSize - delivered;
  if (delivered > 0) memcpy(at, bytes, delivered);
  return at;
}

void OnCall(const char* function, std::function<uint32_t(HostCallRecord&)> handler) {
  CallHandler* slot = nullptr;
  for (CallHandler& row : CallHandlers)
    if (slot == nullptr && row.Function == function) slot = &row;
  for (CallHandler& row : CallHandlers)
    if (slot == nullptr && row.Function.empty()) slot = &row;
  if (slot == nullptr) Die("too many call handlers");
  slot->Function = function;
  slot->Handler = std::move(handler);
  HostSetCallback(function, RunCallHandler, slot);
}

uintptr_t ClientAt(uint32_t offset) {
  uintptr_t base = HostClientBase();
  if (base == 0) {
    // The stand-in client comes in with the plug-in.
    LoadPlugin();
    base = HostClientBase();
  }
  return base + offset;
}

CallInRegs CallReceivePacket(const void* packet, int32_t length) {
  CallInFrame frame = Frame(Offset_ReceivePacketFunc);
  frame.Eax = reinterpret_cast<uint32_t>(packet);
  frame.ArgCount = 1;
  frame.Args[0] = static_cast<uint32_t>(length);
  return Run(frame);
}

CallInRegs CallSendPacket(const void* packet, uint32_t size) {
  CallInFrame frame = Frame(Offset_SendPacketFunc);
  frame.Ebx = size;
  frame.ArgCount = 1;
  frame.Args[0] = reinterpret_cast<uint32_t>(packet);
  return Run(frame);
}

CallInRegs CallFrameDraw(uint32_t argument) {
  CallInFrame frame = Frame(Offset_FrameDrawCaller);
  frame.ArgCount = 1;
  frame.Args[0] = argument;
  return Run(frame);
}

CallInRegs CallItemColor(const void* item, uint32_t colour) {
  CallInFrame frame = Frame(Offset_ItemColorCaller);
  frame.ArgCount = 2;
  frame.Args[0] = reinterpret_cast<uint32_t>(item);
  frame.Args[1] = colour;
  return Run(frame);
}

CallInRegs CallItemCodeTest(uint32_t code) {
  CallInFrame frame = Frame(Offset_ItemCodeTestCaller);
  frame.Ecx = code;
  return Run(frame);
}

CallInRegs CallPartyListBuild() { return Run(Frame(Offset_PartyListBuildFunc)); }

void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
  uint8_t* base = reinterpret_cast<uint8_t*>(module);
  IMAGE_DOS_HEADER* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  IMAGE_NT_HEADERS32* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return nullptr;
  for (IMAGE_IMPORT_DESCRIPTOR* import =
           reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    if (_stricmp(reinterpret_cast<const char*>(base + import->Name), dll) != 0) continue;
    IMAGE_THUNK_DATA32* names =
        reinterpret_cast<IMAGE_THUNK_DATA32*>(base + import->OriginalFirstThunk);
    IMAGE_THUNK_DATA32* slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (names->u1.Ordinal & IMAGE_ORDINAL_FLAG32) continue;
      IMAGE_IMPORT_BY_NAME* byName =
          reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      // The slot may be this program's own VirtualProtect: once it is redirected, a call
      // through the import would reach the replacement before its caller has kept the
      // previous target. Both calls go straight to the system's function instead.
      VirtualProtectFn protect = SystemVirtualProtect();
      DWORD old = 0;
      protect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old);
      void* previous = reinterpret_cast<void*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<DWORD>(replacement);
      protect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
      return previous;
    }
  }
  return nullptr;
}

void ClockInstall() {
  if (PatchImport(LoadPlugin(), "KERNEL32.dll", "GetTickCount",
                  reinterpret_cast<void*>(KitTickCount)) == nullptr)
    Die("Orlavex.dll does not import GetTickCount");
}
void ClockSet(uint32_t milliseconds) { ClockNow = milliseconds; }
void ClockAdvance(uint32_t milliseconds) { ClockNow = ClockNow + milliseconds; }

void CaptureMessageBoxes() {
  if (PatchImport(LoadPlugin(), "USER32.dll", "MessageBoxA",
                  reinterpret_cast<void*>(KitMessageBox)) == nullptr)
    Die("Orlavex.dll does not import MessageBoxA");
}

bool InChildProcess() {
  char value[8];
  return GetEnvironmentVariableA("ZV_HOST_CHILD", value, sizeof(value)) > 0;
}

ChildRun RunThisTestInChild() {
  static int runs;
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  char name[96];
  snprintf(name, sizeof(name), "zvhost-journal-%lu-%d", GetCurrentProcessId(), ++runs);
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(HostJournalData), name);
  if (mapping == nullptr) Die("cannot make the child's journal");
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HostJournalData));
  if (view == nullptr) Die("cannot map the child's journal");

  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, sizeof(exe));
  std::string command = std::string("\"") + exe +
                        "\" --gtest_brief=1 --gtest_filter=" + test->test_suite_name() + "." +
                        test->name();
  std::vector<char> line(command.begin(), command.end());
  line.push_back(0);

  SetEnvironmentVariableA("ZV_HOST_CHILD", "1");
  SetEnvironmentVariableA("ZV_HOST_JOURNAL", name);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &process);
  SetEnvironmentVariableA("ZV_HOST_CHILD", nullptr);
  SetEnvironmentVariableA("ZV_HOST_JOURNAL", nullptr);
  if (!started) Die("cannot start the child process");
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // The mapping stays open for the rest of the run so the journal can be read.
  return ChildRun{code, static_cast<const HostJournalData*>(view)};
}

int FindCall(const HostJournalData* journal, const char* function, int from) {
  for (uint32_t i = from < 0 ? 0 : static_cast<uint32_t>(from); i < journal->Count; ++i)
    if (strcmp(journal->Calls[i].Function, function) == 0) return static_cast<int>(i);
  return -1;
}

int CountCalls(const HostJournalData* journal, const char* function) {
  int count = 0;
  for (uint32_t i = 0; i < journal->Count; ++i)
    if (strcmp(journal->Calls[i].Function, function) == 0) ++count;
  return count;
}

std::vector<const HostCallRecord*> CallsOf(const HostJournalData* journal, const char* function) {
  std::vector<const HostCallRecord*> calls;
  for (uint32_t i = 0; i < journal->Count; ++i)
    if (strcmp(journal->Calls[i].Function, function) == 0) calls.push_back(&journal->Calls[i]);
  return calls;
}

std::vector<std::string> CallNames(const HostJournalData* journal,
                                   const std::vector<std::string>& skip) {
  std::vector<std::string> names;
  for (uint32_t i = 0; i < journal->Count; ++i) {
    std::string name = journal->Calls[i].Function;
    bool skipped = false;
    for (const std::string& s : skip) skipped = skipped || s == name;
    if (!skipped) names.push_back(name);
  }
  return names;
}

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text)
    out.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return out;
}
