// The update run and its progress window, linked into the test: every progress text with
// its position, every message box with its caption and icon, and the order of opens,
// waits and writes, recorded by replacing the platform calls in this executable's import
// table. The files are real and the package is made by zvpack.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "launcher/Launcher.h"
#include "tests/portable/support/CaseName.h"
#include "tests/win32/launcher/support/ImportHook.h"
#include "tests/win32/launcher/support/LauncherCases.h"
#include "tests/win32/launcher/support/TestFiles.h"
#include "updater/Keys.h"
#include "updater/ProgressWindow.h"
#include "updater/UpdateRun.h"

// WinMain keeps it in Zorvane.exe; here the test's own module stands in.
HINSTANCE LauncherInstance;

extern "C" {
extern void* ImpMessageBoxA __asm__("__imp__MessageBoxA@16");
extern void* ImpTextOutA __asm__("__imp__TextOutA@20");
extern void* ImpPatBlt __asm__("__imp__PatBlt@24");
extern void* ImpSleep __asm__("__imp__Sleep@4");
extern void* ImpCreateFileA __asm__("__imp__CreateFileA@28");
extern void* ImpWriteFile __asm__("__imp__WriteFile@20");
extern void* ImpPeekMessageA __asm__("__imp__PeekMessageA@20");
}

typedef BOOL(WINAPI* TextOutAFn)(HDC, int, int, LPCSTR, int);
typedef BOOL(WINAPI* PatBltFn)(HDC, int, int, int, int, DWORD);
typedef void(WINAPI* SleepFn)(DWORD);
typedef HANDLE(WINAPI* CreateFileAFn)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                      HANDLE);
typedef BOOL(WINAPI* WriteFileFn)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
typedef BOOL(WINAPI* PeekMessageAFn)(LPMSG, HWND, UINT, UINT, UINT);

static TextOutAFn RealTextOutA;
static PatBltFn RealPatBlt;
static SleepFn RealSleep;
static CreateFileAFn RealCreateFileA;
static WriteFileFn RealWriteFile;
static PeekMessageAFn RealPeekMessageA;

// What the code under test did, one line per platform call of interest.
struct Recorder {
  bool On = false;
  bool Wipes = false;  // also record each wipe of the image
  std::vector<std::string> Journal;
  std::map<HANDLE, std::string> Names;
  int Sleeps = 0;
  int Writes = 0;
  int Polls = 0;
  std::function<void(int)> OnSleep;  // after the n-th wait (1-based)
  std::function<void(int)> OnWrite;  // after the n-th write
  std::function<void(const std::string&)> OnText;
  int ClosePoll = 0;          // the n-th look at the message queue finds the user's close
  std::string ShortWrite;     // the file whose write succeeds with half of its bytes
  DWORD ShortWriteError = 0;  // the last error that write leaves
};
static Recorder Record;

static std::string IconName(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
      return "error icon";
    case MB_ICONINFORMATION:
      return "information icon";
    case 0:
      return "no icon";
  }
  return "other icon";
}

static int WINAPI HookMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string line = std::string("box [") + caption + "] " + text + " (" + IconName(type) + ")";
  if (owner != nullptr) line += " with an owner";
  if ((type & MB_TYPEMASK) != MB_OK) line += " not OK only";
  Record.Journal.push_back(line);
  return IDOK;
}

static BOOL WINAPI HookTextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
  if (Record.On) {
    std::string drawn(text, (size_t)length);
    Record.Journal.push_back("text " + std::to_string(x) + "," + std::to_string(y) + " " + drawn +
                             (dc == ProgressImage ? "" : " (not on the image)"));
    if (Record.OnText) Record.OnText(drawn);
  }
  return RealTextOutA(dc, x, y, text, length);
}

static BOOL WINAPI HookPatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  if (Record.On && Record.Wipes) {
    bool whole =
        dc == ProgressImage && x == 0 && y == 0 && width == 450 && height == 200 && rop == PATCOPY;
    Record.Journal.push_back(whole ? "wipe" : "other PatBlt");
  }
  return RealPatBlt(dc, x, y, width, height, rop);
}

static void WINAPI HookSleep(DWORD milliseconds) {
  if (!Record.On) return RealSleep(milliseconds);
  Record.Journal.push_back("sleep " + std::to_string(milliseconds));
  RealSleep(milliseconds);
  Record.Sleeps++;
  if (Record.OnSleep) Record.OnSleep(Record.Sleeps);
}

static HANDLE WINAPI HookCreateFileA(LPCSTR name, DWORD access, DWORD share,
                                     LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                     DWORD attributes, HANDLE model) {
  HANDLE file = RealCreateFileA(name, access, share, security, disposition, attributes, model);
  if (Record.On) {
    bool asExpected = access == GENERIC_WRITE && share == 0 && security == nullptr &&
                      disposition == OPEN_ALWAYS && attributes == FILE_ATTRIBUTE_NORMAL &&
                      model == nullptr;
    Record.Journal.push_back(std::string("open ") + name +
                             (file == INVALID_HANDLE_VALUE ? " busy" : " ok") +
                             (asExpected ? "" : " (other arguments)"));
    Record.Names[file] = name;
  }
  return file;
}

static BOOL WINAPI HookWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                 LPOVERLAPPED overlapped) {
  if (!Record.On) return RealWriteFile(file, data, size, written, overlapped);
  bool cut = !Record.ShortWrite.empty() && Record.Names[file] == Record.ShortWrite;
  BOOL ok = RealWriteFile(file, data, cut ? size / 2 : size, written, overlapped);
  DWORD error = cut ? Record.ShortWriteError : GetLastError();
  Record.Journal.push_back("write " + Record.Names[file] + " " + std::to_string(size) +
                           (ok ? "" : " failed") +
                           (cut ? " wrote " + std::to_string(*written) : ""));
  Record.Writes++;
  if (Record.OnWrite) Record.OnWrite(Record.Writes);
  SetLastError(error);  // the run reads it right after the write
  return ok;
}

// The user's close as the run's poll sees it: a WM_CLOSE for the progress window comes
// out of the queue at exactly the chosen look, whatever else the queue holds.
static BOOL WINAPI HookPeekMessageA(LPMSG message, HWND window, UINT first, UINT last,
                                    UINT remove) {
  if (Record.On && ++Record.Polls == Record.ClosePoll) {
    ZeroMemory(message, sizeof(*message));
    message->hwnd = ProgressWindow;
    message->message = WM_CLOSE;
    return TRUE;
  }
  return RealPeekMessageA(message, window, first, last, remove);
}

class Environment : public testing::Environment {
 public:
  void SetUp() override {
    LauncherInstance = GetModuleHandleA(nullptr);
    ReplaceImport(&ImpMessageBoxA, (void*)HookMessageBoxA);
    RealTextOutA = (TextOutAFn)ReplaceImport(&ImpTextOutA, (void*)HookTextOutA);
    RealPatBlt = (PatBltFn)ReplaceImport(&ImpPatBlt, (void*)HookPatBlt);
    RealSleep = (SleepFn)ReplaceImport(&ImpSleep, (void*)HookSleep);
    RealCreateFileA = (CreateFileAFn)ReplaceImport(&ImpCreateFileA, (void*)HookCreateFileA);
    RealWriteFile = (WriteFileFn)ReplaceImport(&ImpWriteFile, (void*)HookWriteFile);
    RealPeekMessageA = (PeekMessageAFn)ReplaceImport(&ImpPeekMessageA, (void*)HookPeekMessageA);
  }
};
static testing::Environment* const TheEnvironment =
    testing::AddGlobalTestEnvironment(new Environment);

static void StartRecording() {
  Record = Recorder();
  Record.On = true;
}

static std::vector<std::string> StopRecording() {
  Record.On = false;
  return Record.Journal;
}

// Appends `more` to `lines`; keeps the expected journals short.
static void Add(std::vector<std::string>* lines, const std::vector<std::string>& more) {
  lines->insert(lines->end(), more.begin(), more.end());
}

static std::string Text(const std::string& text) { return "text 40,80 " + text; }
static std::string Second(const std::string& text) { return "text 40,100 " + text; }
static const std::string Preparing = Text("Preparing files to update...");
static const std::string Checking = Text("Checking if previous files aren't busy...");
static std::string ErrorBox(const std::string& text) {
  return "box [Updater Error] " + text + " (error icon)";
}
static const std::string UpdateFailed = ErrorBox("Update failed!");
static std::string FinishedBox(const std::string& version) {
  return "box [Update finished] Update " + version +
         " finished, restart the game now. (information icon)";
}
static std::string IncompleteBox(const std::string& version) {
  return ErrorBox("Update " + version +
                  " is incomplete: not every file could be written. Do not start the game "
                  "before the update has been installed again.");
}
static std::string WriteErrorBox(const std::string& name, int error) {
  return ErrorBox("An error occured while writing file '" + name + "' (error " +
                  std::to_string(error) + ")");
}

static std::vector<std::string> Opens(const std::vector<PackedFile>& files, size_t count) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < count; i++) lines.push_back("open " + files[i].Name + " ok");
  return lines;
}
static std::vector<std::string> Opens(const std::vector<PackedFile>& files) {
  return Opens(files, files.size());
}

// The writing stage; each name in `failing` has its write fail with ERROR_DISK_FULL.
static std::vector<std::string> Writes(const std::vector<PackedFile>& files,
                                       const std::vector<std::string>& failing = {}) {
  std::vector<std::string> lines = {Text("Updating...")};
  for (const PackedFile& file : files) {
    lines.push_back(Text("Updating... '" + file.Name + "'"));
    bool fails = std::find(failing.begin(), failing.end(), file.Name) != failing.end();
    lines.push_back("write " + file.Name + " " + std::to_string(PackedSize(file)) +
                    (fails ? " failed" : ""));
    if (fails) lines.push_back(WriteErrorBox(file.Name, ERROR_DISK_FULL));
  }
  lines.push_back(Text("Update done"));
  return lines;
}

static std::string WorkDir(const std::string& name) {
  return LauncherTestDir() + "\\work\\inproc_" + name;
}

// A game folder as the current directory, with `package` offered in the registry.
static std::string PrepareRun(const std::string& name, const char* package) {
  std::string folder = WorkDir(name);
  FreshFolder(folder);
  EXPECT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  std::string path = JoinPath(folder, "update.pkg");
  if (package != nullptr) {
    EXPECT_TRUE(CopyFileA(JoinPath(PackagesDir(), package).c_str(), path.c_str(), FALSE));
  }
  SetPatchValue(REG_SZ, path);
  return folder;
}

// Runs the launcher's update switch and returns the journal. A run that ends with the
// window still open (a finished update) has it closed afterwards for the next test.
static std::vector<std::string> RunSwitch() {
  StartRecording();
  const char* gameText = HandleUpdateSwitch("-update");
  std::vector<std::string> journal = StopRecording();
  EXPECT_EQ(nullptr, gameText);
  if (ProgressWindow != nullptr && IsWindow(ProgressWindow)) CloseProgressWindow();
  return journal;
}

// -------------------------------------------------------------------------------------
// The window itself.

TEST(ProgressWindow, LooksAsDesigned) {
  OpenProgressWindow();
  ASSERT_TRUE(IsWindow(ProgressWindow));
  char text[64];
  GetClassNameA(ProgressWindow, text, sizeof(text));
  EXPECT_STREQ("ZVUPD", text);
  GetWindowTextA(ProgressWindow, text, sizeof(text));
  EXPECT_STREQ("Updater", text);
  LONG style = GetWindowLongA(ProgressWindow, GWL_STYLE);
  EXPECT_EQ(WS_CAPTION | WS_SYSMENU,
            style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                     WS_POPUP | WS_CHILD));
  EXPECT_TRUE(IsWindowVisible(ProgressWindow));
  EXPECT_EQ(nullptr, GetParent(ProgressWindow));
  EXPECT_EQ(nullptr, GetMenu(ProgressWindow));
  RECT outer;
  GetWindowRect(ProgressWindow, &outer);
  EXPECT_EQ(450, outer.right - outer.left);
  EXPECT_EQ(200, outer.bottom - outer.top);

  WNDCLASSA windowClass;
  ASSERT_TRUE(GetClassInfoA(LauncherInstance, "ZVUPD", &windowClass));
  EXPECT_EQ(0u, windowClass.style);
  EXPECT_EQ((WNDPROC)ProgressWindowProc, windowClass.lpfnWndProc);
  EXPECT_EQ(nullptr, windowClass.hIcon);
  EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), windowClass.hCursor);
  EXPECT_EQ(GetStockObject(LTGRAY_BRUSH), (HGDIOBJ)windowClass.hbrBackground);
  EXPECT_EQ(0, windowClass.cbClsExtra);
  EXPECT_EQ(0, windowClass.cbWndExtra);

  BITMAP bitmap;
  ASSERT_TRUE(GetObjectA(GetCurrentObject(ProgressImage, OBJ_BITMAP), sizeof(bitmap), &bitmap));
  EXPECT_EQ(450, bitmap.bmWidth);
  EXPECT_EQ(200, bitmap.bmHeight);
  EXPECT_GT(bitmap.bmBitsPixel, 1) << "the image has the screen's colours, not monochrome";
  EXPECT_EQ(GetStockObject(LTGRAY_BRUSH), GetCurrentObject(ProgressImage, OBJ_BRUSH));
  EXPECT_EQ((HGDIOBJ)ProgressFont, GetCurrentObject(ProgressImage, OBJ_FONT));
  EXPECT_EQ(RGB(0, 0, 0), GetTextColor(ProgressImage));
  EXPECT_EQ(RGB(192, 192, 192), GetBkColor(ProgressImage));
  EXPECT_EQ(OPAQUE, GetBkMode(ProgressImage));
  EXPECT_EQ(RGB(192, 192, 192), GetPixel(ProgressImage, 449, 199));

  LOGFONTA font;
  ASSERT_TRUE(GetObjectA(ProgressFont, sizeof(font), &font));
  EXPECT_EQ(16, font.lfHeight);
  EXPECT_EQ(8, font.lfWidth);
  EXPECT_EQ(0, font.lfEscapement);
  EXPECT_EQ(0, font.lfOrientation);
  EXPECT_EQ(400, font.lfWeight);
  EXPECT_EQ(0, font.lfItalic | font.lfUnderline | font.lfStrikeOut);
  EXPECT_EQ(RUSSIAN_CHARSET, font.lfCharSet);
  EXPECT_EQ(0, font.lfOutPrecision);
  EXPECT_EQ(0, font.lfClipPrecision);
  EXPECT_EQ(PROOF_QUALITY, font.lfQuality);
  EXPECT_EQ(FIXED_PITCH, font.lfPitchAndFamily);
  EXPECT_STREQ("", font.lfFaceName);

  CloseProgressWindow();
  EXPECT_FALSE(IsWindow(ProgressWindow));
  // WM_DESTROY deleted the font; the class stays registered for the next window.
  EXPECT_EQ(0, GetObjectA(ProgressFont, sizeof(font), &font));
  EXPECT_TRUE(GetClassInfoA(LauncherInstance, "ZVUPD", &windowClass));
}

// Dark pixels in a band of the image's rows, from x 40 on.
static int InkInRows(int top, int bottom) {
  int ink = 0;
  for (int y = top; y < bottom; y++) {
    for (int x = 40; x < 450; x++) {
      if (GetPixel(ProgressImage, x, y) != RGB(192, 192, 192)) ink++;
    }
  }
  return ink;
}

struct ShowCase {
  const char* Name;
  std::string Text;
  std::vector<std::string> Journal;
};

TEST(ProgressWindow, ShowProgressSplitsAtTheFirstLineFeed) {
  std::string name(255, 'n');
  std::vector<ShowCase> cases = {
      {"one line", "One line", {"wipe", Text("One line")}},
      {"two lines", "First\nSecond", {"wipe", Text("First"), Second("Second")}},
      {"ends in a feed", "Only this\n", {"wipe", Text("Only this")}},
      {"further feeds", "A\nB\nC", {"wipe", Text("A"), Second("B\nC")}},
      {"empty", "", {"wipe", Text("")}},
  };
  OpenProgressWindow();
  for (const ShowCase& c : cases) {
    SCOPED_TRACE(c.Name);
    StartRecording();
    Record.Wipes = true;
    ShowProgress("%s", c.Text.c_str());
    EXPECT_EQ(c.Journal, StopRecording());
  }

  StartRecording();
  Record.Wipes = true;
  ShowProgress("Waiting for file '%s' to unlock.\nPlease close all Zorvane windows if any.",
               name.c_str());
  std::vector<std::string> waiting = {"wipe", Text("Waiting for file '" + name + "' to unlock."),
                                      Second("Please close all Zorvane windows if any.")};
  EXPECT_EQ(waiting, StopRecording());
  EXPECT_GT(InkInRows(80, 96), 0);
  EXPECT_GT(InkInRows(100, 116), 0);
  EXPECT_EQ(0, InkInRows(0, 80));

  // A one-line message wipes the previous second line.
  ShowProgress("Update done");
  EXPECT_GT(InkInRows(80, 96), 0);
  EXPECT_EQ(0, InkInRows(100, 116));
  // The font is 8 pixels wide: "Update done" covers 11 cells from x 40.
  int right = 0;
  for (int x = 40; x < 450; x++) {
    for (int y = 80; y < 96; y++) {
      if (GetPixel(ProgressImage, x, y) != RGB(192, 192, 192)) right = x;
    }
  }
  EXPECT_LT(right, 40 + 11 * 8);
  CloseProgressWindow();
}

TEST(ProgressWindow, PollTellsWhenClosingWasAsked) {
  OpenProgressWindow();
  while (PollProgressWindow() == 0 && PeekMessageA(nullptr, nullptr, 0, 0, PM_NOREMOVE)) {
  }
  EXPECT_EQ(0, PollProgressWindow()) << "nothing pending";

  // A WM_CLOSE in the queue: the poll that takes it says so, without the flag.
  PostMessageA(ProgressWindow, WM_CLOSE, 0, 0);
  EXPECT_EQ(1, PollProgressWindow());
  EXPECT_EQ(0, CloseRequested);
  EXPECT_TRUE(IsWindowVisible(ProgressWindow));
  EXPECT_EQ(0, PollProgressWindow());

  // A WM_CLOSE for another window is dispatched like any other message.
  HWND other =
      CreateWindowExA(0, "STATIC", "other", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  PostMessageA(other, WM_CLOSE, 0, 0);
  EXPECT_EQ(0, PollProgressWindow());
  EXPECT_FALSE(IsWindow(other)) << "DefWindowProc destroys it";

  // The close button: WM_CLOSE reaches the window procedure, which only raises the flag.
  SendMessageA(ProgressWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(1, CloseRequested);
  EXPECT_TRUE(IsWindowVisible(ProgressWindow)) << "closing never destroys the window";
  PostThreadMessageA(GetCurrentThreadId(), WM_USER + 7, 0, 0);
  EXPECT_EQ(1, PollProgressWindow());
  EXPECT_EQ(1, PollProgressWindow());
  MSG left;
  EXPECT_TRUE(PeekMessageA(&left, nullptr, WM_USER + 7, WM_USER + 7, PM_REMOVE))
      << "once closing was asked for, polls leave the queue alone";
  CloseProgressWindow();
}

// -------------------------------------------------------------------------------------
// Whole runs through the update switch.

TEST(UpdateRun, FullUpdate) {
  std::string folder = PrepareRun("full", "full.pkg");
  ASSERT_TRUE(WriteBytes(JoinPath(folder, "long.txt"), std::string(1000, 'x')));
  MakeFolders(JoinPath(folder, "data"));
  std::vector<std::string> expected = {Preparing, Checking};
  Add(&expected, Opens(FullPackage()));
  Add(&expected, Writes(FullPackage()));
  expected.push_back(FinishedBox("1.2.3.4"));
  EXPECT_EQ(expected, RunSwitch());
  EXPECT_EQ(50u, Contents(JoinPath(folder, "long.txt")).size());
}

// busy.pkg's game folder with an old busy.dll, held without sharing by this process.
static HANDLE HoldOldBusyDll(const std::string& folder) {
  std::string busy = JoinPath(folder, "busy.dll");
  EXPECT_TRUE(WriteBytes(busy, "old module"));
  HANDLE held = CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, held);
  return held;
}

// The run on busy.pkg while busy.dll is held: first.txt opened, the wait shown, and
// `sleeps` waits, each but the last followed by another try.
static std::vector<std::string> WaitingForBusyDll(int sleeps) {
  std::vector<std::string> lines = {Preparing,
                                    Checking,
                                    "open first.txt ok",
                                    "open busy.dll busy",
                                    Text("Waiting for file 'busy.dll' to unlock."),
                                    Second("Please close all Zorvane windows if any.")};
  for (int i = 0; i < sleeps; i++) {
    lines.push_back("sleep 100");
    if (i + 1 < sleeps) lines.push_back("open busy.dll busy");
  }
  return lines;
}

TEST(UpdateRun, WaitsForABusyFileThenGoesOn) {
  std::string folder = PrepareRun("busy", "busy.pkg");
  HANDLE held = HoldOldBusyDll(folder);
  StartRecording();
  Record.OnSleep = [&](int n) {
    EXPECT_EQ(0, FileSize(JoinPath(folder, "first.txt"))) << "nothing written while busy";
    if (n == 3) CloseHandle(held);
  };
  HandleUpdateSwitch("-update");
  std::vector<std::string> journal = StopRecording();
  CloseProgressWindow();

  std::vector<std::string> expected = WaitingForBusyDll(3);
  Add(&expected, {"open busy.dll ok", Checking, "open last.txt ok"});
  Add(&expected, Writes(BusyPackage()));
  expected.push_back(FinishedBox("2.5.0.9"));
  EXPECT_EQ(expected, journal);
  EXPECT_EQ(1500u, Contents(JoinPath(folder, "busy.dll")).size());
}

struct CloseWay {
  const char* Name;
  bool Posted;  // a WM_CLOSE in the queue, else the close button (the flag)
};

TEST(UpdateRun, ClosingWhileWaitingStopsBeforeAnyWrite) {
  for (CloseWay c : {CloseWay{"posted WM_CLOSE", true}, CloseWay{"close button", false}}) {
    SCOPED_TRACE(c.Name);
    std::string folder = PrepareRun("busy_stop", "busy.pkg");
    HANDLE held = HoldOldBusyDll(folder);
    StartRecording();
    Record.OnSleep = [&](int n) {
      if (n != 2) return;
      if (c.Posted)
        PostMessageA(ProgressWindow, WM_CLOSE, 0, 0);
      else
        SendMessageA(ProgressWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    };
    HandleUpdateSwitch("-update");
    std::vector<std::string> journal = StopRecording();
    CloseHandle(held);

    std::vector<std::string> expected = WaitingForBusyDll(2);
    expected.push_back(UpdateFailed);
    EXPECT_EQ(expected, journal);
    EXPECT_EQ(c.Posted ? 0 : 1, CloseRequested);
    EXPECT_FALSE(IsWindow(ProgressWindow)) << "a stopped run closes its window";
    // The busy check created first.txt; the stopped run takes it away again.
    EXPECT_EQ((std::vector<std::string>{"busy.dll"}), ListFolder(folder));
    EXPECT_EQ("old module", Contents(JoinPath(folder, "busy.dll")));
  }
}

// The user closes the window at the run's n-th poll. full.pkg has six entries: poll 1 is
// before reading, 2 after reading, 3 after unsealing, 4 to 9 before each file's open, 10
// after every file is open.
struct StopCase {
  const char* Name;
  int Poll;
  bool PackageRemains;  // only a run stopped before reading leaves the package
  uint32_t EntryCount;  // what the tables hold: 0 until the package is unsealed
  size_t Opened;        // files opened before the stop
};

const StopCase StopCases[] = {
    {"before_reading", 1, true, 0, 0},     {"after_reading", 2, false, 0, 0},
    {"after_unsealing", 3, false, 6, 0},   {"before_the_third_open", 6, false, 6, 2},
    {"after_every_open", 10, false, 6, 6},
};

static void PrintTo(const StopCase& c, std::ostream* out) { *out << c.Name; }

class StopTest : public testing::TestWithParam<StopCase> {};

// long.txt exists with its own content and time; every other file would be new. A stop
// leaves the folder as it was: existing files untouched, new ones taken away again.
TEST_P(StopTest, LeavesTheFolderAsItWas) {
  const StopCase& c = GetParam();
  std::string folder = PrepareRun(std::string("stop_") + c.Name, "full.pkg");
  std::string existing = JoinPath(folder, "long.txt");
  ASSERT_TRUE(WriteBytes(existing, std::string(1000, 'x')));
  const uint64_t OldTime = FileTimeOfUnixSeconds(1500000000);
  HANDLE file =
      CreateFileA(existing.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME stamp = {(DWORD)OldTime, (DWORD)(OldTime >> 32)};
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &stamp));
  CloseHandle(file);
  MakeFolders(JoinPath(folder, "data"));
  std::vector<std::string> before = ListFolder(folder);
  PackageEntryCount = 0;

  StartRecording();
  Record.ClosePoll = c.Poll;
  std::string package = JoinPath(folder, "update.pkg");
  int32_t result = RunUpdate(package.c_str(), &SignatureKey, &SealingKey);
  std::vector<std::string> journal = StopRecording();

  EXPECT_EQ(UpdateStopped, result);
  std::vector<std::string> expected = {Preparing};
  if (c.Poll > 3) expected.push_back(Checking);
  Add(&expected, Opens(FullPackage(), c.Opened));
  EXPECT_EQ(expected, journal) << "no message box: the caller says the update failed";
  EXPECT_FALSE(IsWindow(ProgressWindow)) << "a stopped run closes its window";
  EXPECT_EQ(c.EntryCount, PackageEntryCount);
  if (!c.PackageRemains) before.erase(std::find(before.begin(), before.end(), "update.pkg"));
  EXPECT_EQ(before, ListFolder(folder));
  EXPECT_EQ(std::vector<std::string>{}, ListFolder(JoinPath(folder, "data")));
  EXPECT_EQ(std::string(1000, 'x'), Contents(existing));
  EXPECT_EQ(OldTime, LastWriteTime(existing));
}

INSTANTIATE_TEST_SUITE_P(UpdateRun, StopTest, testing::ValuesIn(StopCases), CaseName<StopCase>);

TEST(UpdateRun, ClosingWhileWritingChangesNothing) {
  std::string folder = PrepareRun("write_close", "full.pkg");
  MakeFolders(JoinPath(folder, "data"));
  StartRecording();
  Record.OnWrite = [](int n) {
    if (n == 1) SendMessageA(ProgressWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
  };
  HandleUpdateSwitch("-update");
  std::vector<std::string> journal = StopRecording();
  EXPECT_EQ(1, CloseRequested);
  EXPECT_TRUE(IsWindowVisible(ProgressWindow)) << "the finished run leaves its window open";
  CloseProgressWindow();

  std::vector<std::string> expected = {Preparing, Checking};
  Add(&expected, Opens(FullPackage()));
  Add(&expected, Writes(FullPackage()));
  expected.push_back(FinishedBox("1.2.3.4"));
  EXPECT_EQ(expected, journal);
  EXPECT_EQ(90u, Contents(JoinPath(folder, "data/level2.txt")).size());
}

// Links to /dev/full in the build tree make two writes fail; the 255-character name is
// shown whole in its message. The final message says the update is incomplete.
TEST(UpdateRun, FailedWritesAreReportedOneByOne) {
  std::string folder = PackagesDir() + "\\devfull-game";
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  DeleteFileA("a.txt");
  DeleteFileA("c.txt");
  std::string package = JoinPath(folder, "update.pkg");
  ASSERT_TRUE(CopyFileA(JoinPath(PackagesDir(), "devfull.pkg").c_str(), package.c_str(), FALSE));
  SetPatchValue(REG_SZ, package);
  const std::vector<PackedFile>& files = DevFullPackage();

  std::vector<std::string> expected = {Preparing, Checking};
  Add(&expected, Opens(files));
  Add(&expected, Writes(files, {files[1].Name, files[2].Name}));
  expected.push_back(IncompleteBox("3.0.0.1"));
  EXPECT_EQ(expected, RunSwitch());
  EXPECT_EQ(400u, Contents("c.txt").size());
}

// A write that reports success with fewer bytes than asked for is a failed write too:
// its message, the file cut where the written data ends and stamped, the rest written,
// and the final message says the update is incomplete.
TEST(UpdateRun, AShortWriteIsAFailedWrite) {
  std::string folder = PrepareRun("short_write", "full.pkg");
  ASSERT_TRUE(WriteBytes(JoinPath(folder, "readme.txt"), std::string(5000, 'o')));
  MakeFolders(JoinPath(folder, "data"));
  StartRecording();
  Record.ShortWrite = "readme.txt";
  Record.ShortWriteError = ERROR_HANDLE_DISK_FULL;
  HandleUpdateSwitch("-update");
  std::vector<std::string> journal = StopRecording();
  CloseProgressWindow();

  std::vector<std::string> expected = {Preparing, Checking};
  Add(&expected, Opens(FullPackage()));
  for (const std::string& line : Writes(FullPackage())) {
    if (line != "write readme.txt 1200") {
      expected.push_back(line);
      continue;
    }
    expected.push_back(line + " wrote 600");
    expected.push_back(WriteErrorBox("readme.txt", ERROR_HANDLE_DISK_FULL));
  }
  expected.push_back(IncompleteBox("1.2.3.4"));
  EXPECT_EQ(expected, journal);

  const PackedFile& readme = FullPackage()[0];
  EXPECT_EQ(Contents(JoinPath(PackagesDir(), readme.Fixture)).substr(0, 600),
            Contents(JoinPath(folder, "readme.txt")));
  EXPECT_EQ(FileTimeOfUnixSeconds(readme.UnixTime), LastWriteTime(JoinPath(folder, "readme.txt")));
  EXPECT_EQ(90u, Contents(JoinPath(folder, "data/level2.txt")).size());
}

class RejectedTest : public testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedTest, ShowsItsMessageAndInstallsNothing) {
  const RejectedCase& c = GetParam();
  RejectedRun prepared = PrepareRejected(c, "inproc", false);
  ASSERT_TRUE(SetCurrentDirectoryA(prepared.Folder.c_str()));

  std::vector<std::string> expected = {Preparing, ErrorBox(RejectedMessage(c, prepared.Package)),
                                       UpdateFailed};
  EXPECT_EQ(expected, RunSwitch());
  EXPECT_FALSE(IsWindow(ProgressWindow));
  ExpectRejectedAftermath(c, &prepared);
}

INSTANTIATE_TEST_SUITE_P(UpdateRun, RejectedTest, testing::ValuesIn(RejectedCases()),
                         CaseName<RejectedCase>);

// -------------------------------------------------------------------------------------
// The launcher's own messages and the switch itself.

class SwitchTest : public testing::TestWithParam<SwitchCase> {};

// With no package named, the update switch shows only "No updates available!".
TEST_P(SwitchTest, ChoosesUpdateOrGame) {
  const SwitchCase& c = GetParam();
  DeletePatchKey();
  StartRecording();
  const char* result = HandleUpdateSwitch(c.ArgumentText);
  std::vector<std::string> journal = StopRecording();
  if (c.Update) {
    EXPECT_EQ(nullptr, result);
    EXPECT_EQ(
        (std::vector<std::string>{"box [Updater Error] No updates available! (information icon)"}),
        journal);
  } else {
    // The game's text is the tail of the argument text, not a copy.
    EXPECT_EQ(c.ArgumentText + strlen(c.ArgumentText) - strlen(c.GameText), result);
    EXPECT_EQ(std::vector<std::string>{}, journal);
  }
}

INSTANTIATE_TEST_SUITE_P(Launcher, SwitchTest, testing::ValuesIn(SwitchCases()),
                         CaseName<SwitchCase>);

TEST(Launcher, StartGameFailureMessage) {
  std::string folder = WorkDir("no_game");
  FreshFolder(folder);
  StartRecording();
  StartGame(folder.c_str(), "x");
  EXPECT_EQ((std::vector<std::string>{"box [Loader Error] Could not start Zorvane! (error icon)"}),
            StopRecording());
}
