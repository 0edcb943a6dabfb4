// The update run and its progress window, linked into the test: every progress text with
// its position, every message box with its caption and icon, and the order of opens,
// waits and writes, recorded by replacing the platform calls in this executable's import
// table. The files are real and the package is made by zvpack.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "launcher/Launcher.h"
#include "tests/win32/launcher/support/ImportHook.h"
#include "tests/win32/launcher/support/TestFiles.h"
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
}

namespace {

typedef BOOL(WINAPI* TextOutAFn)(HDC, int, int, LPCSTR, int);
typedef BOOL(WINAPI* PatBltFn)(HDC, int, int, int, int, DWORD);
typedef void(WINAPI* SleepFn)(DWORD);
typedef HANDLE(WINAPI* CreateFileAFn)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                      HANDLE);
typedef BOOL(WINAPI* WriteFileFn)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

TextOutAFn RealTextOutA;
PatBltFn RealPatBlt;
SleepFn RealSleep;
CreateFileAFn RealCreateFileA;
WriteFileFn RealWriteFile;

// What the code under test did, one line per platform call of interest.
struct Recorder {
  bool On = false;
  bool Wipes = false;  // also record each wipe of the image
  std::vector<std::string> Journal;
  std::map<HANDLE, std::string> Names;
  int Sleeps = 0;
  int Writes = 0;
  std::function<void(int)> OnSleep;  // after the n-th wait (1-based)
  std::function<void(int)> OnWrite;  // after the n-th write
  std::function<void(const std::string&)> OnText;
};
Recorder Record;

std::string IconName(UINT type) {
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

int WINAPI HookMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string line = std::string("box [") + caption + "] " + text + " (" + IconName(type) + ")";
  if (owner != NULL) line += " with an owner";
  if ((type & MB_TYPEMASK) != MB_OK) line += " not OK only";
  Record.Journal.push_back(line);
  return IDOK;
}

BOOL WINAPI HookTextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
  if (Record.On) {
    std::string drawn(text, (size_t)length);
    Record.Journal.push_back("text " + std::to_string(x) + "," + std::to_string(y) + " " + drawn +
                             (dc == ProgressImage ? "" : " (not on the image)"));
    if (Record.OnText) Record.OnText(drawn);
  }
  return RealTextOutA(dc, x, y, text, length);
}

BOOL WINAPI HookPatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  if (Record.On && Record.Wipes) {
    bool whole =
        dc == ProgressImage && x == 0 && y == 0 && width == 450 && height == 200 && rop == PATCOPY;
    Record.Journal.push_back(whole ? "wipe" : "other PatBlt");
  }
  return RealPatBlt(dc, x, y, width, height, rop);
}

void WINAPI HookSleep(DWORD milliseconds) {
  if (!Record.On) return RealSleep(milliseconds);
  Record.Journal.push_back("sleep " + std::to_string(milliseconds));
  RealSleep(milliseconds);
  Record.Sleeps++;
  if (Record.OnSleep) Record.OnSleep(Record.Sleeps);
}

HANDLE WINAPI HookCreateFileA(LPCSTR name, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD attributes,
                              HANDLE model) {
  HANDLE file = RealCreateFileA(name, access, share, security, disposition, attributes, model);
  if (Record.On) {
    bool asExpected = access == GENERIC_WRITE && share == 0 && security == NULL &&
                      disposition == OPEN_ALWAYS && attributes == FILE_ATTRIBUTE_NORMAL &&
                      model == NULL;
    Record.Journal.push_back(std::string("open ") + name +
                             (file == INVALID_HANDLE_VALUE ? " busy" : " ok") +
                             (asExpected ? "" : " (other arguments)"));
    Record.Names[file] = name;
  }
  return file;
}

BOOL WINAPI HookWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                          LPOVERLAPPED overlapped) {
  BOOL ok = RealWriteFile(file, data, size, written, overlapped);
  if (!Record.On) return ok;
  DWORD error = GetLastError();
  Record.Journal.push_back("write " + Record.Names[file] + " " + std::to_string(size) +
                           (ok ? "" : " failed"));
  Record.Writes++;
  if (Record.OnWrite) Record.OnWrite(Record.Writes);
  SetLastError(error);  // the run reads it right after the write
  return ok;
}

class Environment : public testing::Environment {
 public:
  void SetUp() override {
    LauncherInstance = GetModuleHandleA(NULL);
    ReplaceImport(&ImpMessageBoxA, (void*)HookMessageBoxA);
    RealTextOutA = (TextOutAFn)ReplaceImport(&ImpTextOutA, (void*)HookTextOutA);
    RealPatBlt = (PatBltFn)ReplaceImport(&ImpPatBlt, (void*)HookPatBlt);
    RealSleep = (SleepFn)ReplaceImport(&ImpSleep, (void*)HookSleep);
    RealCreateFileA = (CreateFileAFn)ReplaceImport(&ImpCreateFileA, (void*)HookCreateFileA);
    RealWriteFile = (WriteFileFn)ReplaceImport(&ImpWriteFile, (void*)HookWriteFile);
  }
};
testing::Environment* const TheEnvironment = testing::AddGlobalTestEnvironment(new Environment);

void StartRecording() {
  Record = Recorder();
  Record.On = true;
}

std::vector<std::string> StopRecording() {
  Record.On = false;
  return Record.Journal;
}

// Appends `more` to `lines`; keeps the expected journals short.
void Add(std::vector<std::string>* lines, const std::vector<std::string>& more) {
  lines->insert(lines->end(), more.begin(), more.end());
}

std::string Text(const std::string& text) { return "text 40,80 " + text; }
std::string Second(const std::string& text) { return "text 40,100 " + text; }
const std::string Preparing = Text("Preparing files to update...");
const std::string Checking = Text("Checking if previous files aren't busy...");
std::string ErrorBox(const std::string& text) {
  return "box [Updater Error] " + text + " (error icon)";
}
const std::string UpdateFailed = ErrorBox("Update failed!");
std::string FinishedBox(const std::string& version) {
  return "box [Update finished] Update " + version +
         " finished, restart the game now. (information icon)";
}

struct Entry {
  const char* Name;
  int Size;
};

std::vector<std::string> Opens(const std::vector<Entry>& entries) {
  std::vector<std::string> lines;
  for (const Entry& e : entries) lines.push_back(std::string("open ") + e.Name + " ok");
  return lines;
}

std::vector<std::string> Writes(const std::vector<Entry>& entries,
                                const std::string& failing = "") {
  std::vector<std::string> lines = {Text("Updating...")};
  for (const Entry& e : entries) {
    lines.push_back(Text(std::string("Updating... '") + e.Name + "'"));
    bool fails = failing.find(std::string("|") + e.Name + "|") != std::string::npos;
    lines.push_back(std::string("write ") + e.Name + " " + std::to_string(e.Size) +
                    (fails ? " failed" : ""));
    if (fails) {
      lines.push_back(ErrorBox(std::string("An error occured while writing file '") + e.Name +
                               "' (error 112)"));
    }
  }
  lines.push_back(Text("Update done"));
  return lines;
}

const std::vector<Entry> FullEntries = {
    {"readme.txt", 1200}, {"long.txt", 50},          {"short.txt", 600},
    {"empty.dat", 0},     {"data\\level1.txt", 120}, {"data/level2.txt", 90},
};
const std::vector<Entry> BusyEntries = {{"first.txt", 300}, {"busy.dll", 1500}, {"last.txt", 300}};

std::string WorkDir(const std::string& name) {
  return LauncherTestDir() + "\\work\\inproc_" + name;
}

// A game folder as the current directory, with `package` offered in the registry.
std::string PrepareRun(const std::string& name, const char* package) {
  std::string folder = WorkDir(name);
  FreshFolder(folder);
  EXPECT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  std::string path = JoinPath(folder, "update.pkg");
  if (package != NULL) {
    EXPECT_TRUE(CopyFileA(JoinPath(PackagesDir(), package).c_str(), path.c_str(), FALSE));
  }
  SetPatchValue(REG_SZ, path);
  return folder;
}

// Runs the launcher's update switch and returns the journal. A run that ends with the
// window still open (a finished update) has it closed afterwards for the next test.
std::vector<std::string> RunSwitch() {
  StartRecording();
  const char* gameText = HandleUpdateSwitch("-update");
  std::vector<std::string> journal = StopRecording();
  EXPECT_EQ(NULL, gameText);
  if (ProgressWindow != NULL && IsWindow(ProgressWindow)) CloseProgressWindow();
  return journal;
}

std::string Contents(const std::string& path) {
  std::string bytes;
  return ReadBytes(path, &bytes) ? bytes : std::string("<missing>");
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
  EXPECT_EQ(NULL, GetParent(ProgressWindow));
  EXPECT_EQ(NULL, GetMenu(ProgressWindow));
  RECT outer;
  GetWindowRect(ProgressWindow, &outer);
  EXPECT_EQ(450, outer.right - outer.left);
  EXPECT_EQ(200, outer.bottom - outer.top);

  WNDCLASSA windowClass;
  ASSERT_TRUE(GetClassInfoA(LauncherInstance, "ZVUPD", &windowClass));
  EXPECT_EQ(0u, windowClass.style);
  EXPECT_EQ((WNDPROC)ProgressWindowProc, windowClass.lpfnWndProc);
  EXPECT_EQ(NULL, windowClass.hIcon);
  EXPECT_EQ(LoadCursorA(NULL, IDC_ARROW), windowClass.hCursor);
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
int InkInRows(int top, int bottom) {
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
  while (PollProgressWindow() == 0 && PeekMessageA(NULL, NULL, 0, 0, PM_NOREMOVE)) {
  }
  EXPECT_EQ(0, PollProgressWindow()) << "nothing pending";

  // A WM_CLOSE in the queue: the poll that takes it says so, without the flag.
  PostMessageA(ProgressWindow, WM_CLOSE, 0, 0);
  EXPECT_EQ(1, PollProgressWindow());
  EXPECT_EQ(0, CloseRequested);
  EXPECT_TRUE(IsWindowVisible(ProgressWindow));
  EXPECT_EQ(0, PollProgressWindow());

  // A WM_CLOSE for another window is dispatched like any other message.
  HWND other = CreateWindowExA(0, "STATIC", "other", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
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
  EXPECT_TRUE(PeekMessageA(&left, NULL, WM_USER + 7, WM_USER + 7, PM_REMOVE))
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
  Add(&expected, Opens(FullEntries));
  Add(&expected, Writes(FullEntries));
  expected.push_back(FinishedBox("1.2.3.4"));
  EXPECT_EQ(expected, RunSwitch());
  EXPECT_EQ(50u, Contents(JoinPath(folder, "long.txt")).size());
}

TEST(UpdateRun, WaitsForABusyFileThenGoesOn) {
  std::string folder = PrepareRun("busy", "busy.pkg");
  std::string busy = JoinPath(folder, "busy.dll");
  ASSERT_TRUE(WriteBytes(busy, "old module"));
  HANDLE held = CreateFileA(busy.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  StartRecording();
  Record.OnSleep = [&](int n) {
    EXPECT_EQ(0, FileSize(JoinPath(folder, "first.txt"))) << "nothing written while busy";
    if (n == 3) CloseHandle(held);
  };
  HandleUpdateSwitch("-update");
  std::vector<std::string> journal = StopRecording();
  CloseProgressWindow();

  std::vector<std::string> expected = {Preparing,
                                       Checking,
                                       "open first.txt ok",
                                       "open busy.dll busy",
                                       Text("Waiting for file 'busy.dll' to unlock."),
                                       Second("Please close all Zorvane windows if any."),
                                       "sleep 100",
                                       "open busy.dll busy",
                                       "sleep 100",
                                       "open busy.dll busy",
                                       "sleep 100",
                                       "open busy.dll ok",
                                       Checking,
                                       "open last.txt ok"};
  Add(&expected, Writes(BusyEntries));
  expected.push_back(FinishedBox("2.5.0.9"));
  EXPECT_EQ(expected, journal);
  EXPECT_EQ(1500u, Contents(busy).size());
}

struct StopCase {
  const char* Name;
  bool Posted;  // a WM_CLOSE in the queue, else the close button (the flag)
};

TEST(UpdateRun, ClosingWhileWaitingStopsBeforeAnyWrite) {
  for (StopCase c : {StopCase{"posted WM_CLOSE", true}, StopCase{"close button", false}}) {
    SCOPED_TRACE(c.Name);
    std::string folder = PrepareRun("busy_stop", "busy.pkg");
    std::string busy = JoinPath(folder, "busy.dll");
    ASSERT_TRUE(WriteBytes(busy, "old module"));
    HANDLE held = CreateFileA(busy.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
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

    std::vector<std::string> expected = {Preparing,
                                         Checking,
                                         "open first.txt ok",
                                         "open busy.dll busy",
                                         Text("Waiting for file 'busy.dll' to unlock."),
                                         Second("Please close all Zorvane windows if any."),
                                         "sleep 100",
                                         "open busy.dll busy",
                                         "sleep 100",
                                         UpdateFailed};
    EXPECT_EQ(expected, journal);
    EXPECT_EQ(c.Posted ? 0 : 1, CloseRequested);
    EXPECT_FALSE(IsWindow(ProgressWindow)) << "a stopped run closes its window";
    EXPECT_EQ("", Contents(JoinPath(folder, "first.txt")));
    EXPECT_EQ("old module", Contents(busy));
    EXPECT_FALSE(FileExists(JoinPath(folder, "last.txt")));
    EXPECT_FALSE(FileExists(JoinPath(folder, "update.pkg")));
  }
}

TEST(UpdateRun, ClosingBeforeReadingLeavesThePackage) {
  std::string folder = PrepareRun("stop_first", "full.pkg");
  StartRecording();
  Record.OnText = [](const std::string&) { SendMessageA(ProgressWindow, WM_CLOSE, 0, 0); };
  HandleUpdateSwitch("-update");
  EXPECT_EQ((std::vector<std::string>{Preparing, UpdateFailed}), StopRecording());
  EXPECT_TRUE(FileExists(JoinPath(folder, "update.pkg")));
  EXPECT_FALSE(IsWindow(ProgressWindow));
}

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
  Add(&expected, Opens(FullEntries));
  Add(&expected, Writes(FullEntries));
  expected.push_back(FinishedBox("1.2.3.4"));
  EXPECT_EQ(expected, journal);
  EXPECT_EQ(90u, Contents(JoinPath(folder, "data/level2.txt")).size());
}

// Links to /dev/full in the build tree make two writes fail; the 255-character name is
// shown whole in its message.
TEST(UpdateRun, FailedWritesAreReportedOneByOne) {
  std::string folder = PackagesDir() + "\\devfull-game";
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  DeleteFileA("a.txt");
  DeleteFileA("c.txt");
  std::string package = JoinPath(folder, "update.pkg");
  ASSERT_TRUE(CopyFileA(JoinPath(PackagesDir(), "devfull.pkg").c_str(), package.c_str(), FALSE));
  SetPatchValue(REG_SZ, package);
  std::string longName = std::string(251, 'N') + ".txt";
  std::vector<Entry> entries = {
      {"a.txt", 800}, {"full.bin", 300}, {longName.c_str(), 60}, {"c.txt", 400}};

  std::vector<std::string> expected = {Preparing, Checking};
  Add(&expected, Opens(entries));
  Add(&expected, Writes(entries, "|full.bin|" + longName + "|"));
  expected.push_back(FinishedBox("3.0.0.1"));
  EXPECT_EQ(expected, RunSwitch());
  EXPECT_EQ(400u, Contents("c.txt").size());
}

struct RefusedCase {
  const char* Package;  // null: no such file
  const char* Format;
};

TEST(UpdateRun, RefusedPackagesShowTheirMessageAndFail) {
  const RefusedCase cases[] = {
      {NULL, "Unable to read update package '%s' (error -1)"},
      {"short.pkg", "Invalid update package '%s' (error -2)"},
      {"badtag.pkg", "Invalid update package '%s' (error -2)"},
      {"flipped.pkg", "Update package '%s' is corrupt (error -3)"},
      {"wrongsig.pkg", "Update package '%s' is corrupt (error -3)"},
      {"wrongseal.pkg", "Error while preparing update package (error -2)"},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.Package != NULL ? c.Package : "missing");
    std::string folder = PrepareRun("refused", c.Package);
    std::string message = c.Format;
    size_t at = message.find("%s");
    if (at != std::string::npos) message.replace(at, 2, JoinPath(folder, "update.pkg"));
    EXPECT_EQ((std::vector<std::string>{Preparing, ErrorBox(message), UpdateFailed}), RunSwitch());
    EXPECT_FALSE(IsWindow(ProgressWindow));
  }
}

// -------------------------------------------------------------------------------------
// The launcher's own messages and the switch itself.

TEST(Launcher, NoPackageNamed) {
  DeletePatchKey();
  EXPECT_EQ(
      (std::vector<std::string>{"box [Updater Error] No updates available! (information icon)"}),
      RunSwitch());
}

struct SwitchCase {
  const char* Text;
  int Skipped;  // -1: the update switch, else where the game's text starts
};

TEST(Launcher, HandleUpdateSwitch) {
  const SwitchCase cases[] = {
      {"-update", -1},     {"-update more words", -1},
      {"  \t-update", -1}, {"\x01\x1f -update", -1},
      {"-update\x7fx", 0}, {"-Update", 0},
      {"-updated", 0},     {"x -update", 0},
      {"  \t hello  ", 4}, {"", 0},
      {"   ", 3},          {"-updat", 0},
  };
  DeletePatchKey();
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(c.Text);
    StartRecording();
    const char* result = HandleUpdateSwitch(c.Text);
    std::vector<std::string> journal = StopRecording();
    if (c.Skipped < 0) {
      EXPECT_EQ(NULL, result);
      EXPECT_EQ(1u, journal.size());
    } else {
      EXPECT_EQ(c.Text + c.Skipped, result);
      EXPECT_EQ(0u, journal.size());
    }
  }
}

TEST(Launcher, StartGameFailureMessage) {
  std::string folder = WorkDir("no_game");
  FreshFolder(folder);
  StartRecording();
  StartGame(folder.c_str(), "x");
  EXPECT_EQ((std::vector<std::string>{"box [Loader Error] Could not start Zorvane! (error icon)"}),
            StopRecording());
}

}  // namespace
