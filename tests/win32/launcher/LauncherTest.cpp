// Zorvane.exe as the player meets it: the real program under Wine, in a game folder of its
// own, with the registry value set in the prefix, a stand-in Game.exe that records how it
// was started, and the UI robot reading and answering every message box.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/win32/launcher/support/Screen.h"
#include "tests/win32/launcher/support/TestFiles.h"
#include "tests/win32/launcher/support/UiRobot.h"

namespace {

// Under emulated Wine a start takes seconds; a hung launcher still ends the test.
const DWORD LauncherTimeoutMs = 300000;

std::string ZorvaneExe() { return WindowsPath(RequiredEnv("ZV_ZORVANE_EXE")); }
std::string FakeGameExe() { return WindowsPath(RequiredEnv("ZV_FAKE_GAME_EXE")); }
std::string FileHolderExe() { return WindowsPath(RequiredEnv("ZV_FILE_HOLDER_EXE")); }
std::string WorkDir(const std::string& name) { return LauncherTestDir() + "\\work\\" + name; }
std::string ArtifactDir() { return LauncherTestDir() + "\\artifacts"; }

// Xvfb has no window manager: Wine then draws the windows' title bars itself, so the
// screenshots show the "Updater" caption and its close button as a player sees them.
class Environment : public testing::Environment {
 public:
  void SetUp() override {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, NULL, 0, KEY_WRITE,
                        NULL, &key, NULL) == ERROR_SUCCESS) {
      RegSetValueExA(key, "Managed", 0, REG_SZ, (const BYTE*)"N", 2);
      RegCloseKey(key);
    }
  }
};
testing::Environment* const TheEnvironment = testing::AddGlobalTestEnvironment(new Environment);

struct LauncherRun {
  bool Ended = false;
  DWORD ExitCode = 99;
  std::vector<std::string> Boxes;  // what each message box said, in order
};

// Called every few milliseconds while the launcher runs, and with each message box
// before the robot presses OK.
struct RunHooks {
  std::function<void(DWORD pid)> Tick;
  std::function<void(const SeenBox&)> BeforeOk;
};

LauncherRun RunLauncher(const std::string& folder, const std::string& argumentText,
                        const RunHooks& hooks = RunHooks()) {
  LauncherRun run;
  std::string commandLine = "Zorvane.exe";
  if (!argumentText.empty()) commandLine += " " + argumentText;
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  if (!CreateProcessA(ZorvaneExe().c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL,
                      folder.c_str(), &startup, &process)) {
    ADD_FAILURE() << "cannot start " << ZorvaneExe() << " (error " << GetLastError() << ")";
    return run;
  }
  CloseHandle(process.hThread);

  UiRobot robot;
  DWORD started = GetTickCount();
  for (;;) {
    HWND box;
    SeenBox seen;
    while (FindMessageBox(&robot, &box, &seen)) {
      run.Boxes.push_back(Describe(seen));
      if (hooks.BeforeOk) hooks.BeforeOk(seen);
      PressOk(&robot, box);
    }
    if (hooks.Tick) hooks.Tick(process.dwProcessId);
    if (WaitForSingleObject(process.hProcess, 30) == WAIT_OBJECT_0) break;
    if (GetTickCount() - started > LauncherTimeoutMs) {
      ADD_FAILURE() << "the launcher did not end; message boxes so far: " << run.Boxes.size();
      TerminateProcess(process.hProcess, 98);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
  }
  run.Ended = true;
  GetExitCodeProcess(process.hProcess, &run.ExitCode);
  CloseHandle(process.hProcess);
  return run;
}

// The stand-in game's record: the launcher does not wait for the game, so the record
// may come a little after the launcher ended. Empty when the game never wrote one.
std::string GameRecord(const std::string& folder, DWORD waitMs = 60000) {
  std::string record;
  DWORD started = GetTickCount();
  while (!ReadBytes(JoinPath(folder, "Game.run"), &record) && GetTickCount() - started < waitMs) {
    Sleep(50);
  }
  return record;
}

// A game folder with the stand-in Game.exe.
std::string GameFolder(const std::string& name, bool withGame = true) {
  std::string folder = WorkDir(name);
  FreshFolder(folder);
  if (withGame) {
    EXPECT_TRUE(CopyFileA(FakeGameExe().c_str(), JoinPath(folder, "Game.exe").c_str(), FALSE));
  }
  return folder;
}

const char UpdaterError[] = "Updater Error: ";
std::string ErrorBox(const std::string& text) { return UpdaterError + text + " (icon)"; }
const std::string UpdateFailed = ErrorBox("Update failed!");
const std::string NoUpdates = ErrorBox("No updates available!");
std::string FinishedBox(const std::string& version) {
  return "Update finished: Update " + version + " finished, restart the game now. (icon)";
}

// ---------------------------------------------------------------------------------------
// The switch: which argument texts run the update and which start the game.

struct SwitchCase {
  const char* Name;
  const char* ArgumentText;  // after the program name, as the player typed it
  bool Update;               // an update run (here: "No updates available!")
  const char* GameText;      // else what the game gets after its quoted path and a blank
};

const SwitchCase SwitchCases[] = {
    {"alone", "-update", true, ""},
    {"with_words", "-update now please", true, ""},
    {"with_tab", "-update\tx", true, ""},
    {"with_control_blank", "-update\x01x", true, ""},
    {"after_blanks", "   \t -update", true, ""},
    {"upper_case", "-UPDATE", false, "-UPDATE"},
    {"mixed_case", "-Update", false, "-Update"},
    {"joined", "-updates", false, "-updates"},
    {"joined_quote", "-update\"x\"", false, "-update\"x\""},
    {"after_word", "run -update", false, "run -update"},
    {"other_text", "  /window  \"two words\" x ", false, "/window  \"two words\" x "},
    {"no_text", "", false, ""},
};

class SwitchTest : public testing::TestWithParam<SwitchCase> {};

TEST_P(SwitchTest, ChoosesUpdateOrGame) {
  const SwitchCase& c = GetParam();
  DeletePatchKey();
  std::string folder = GameFolder(std::string("switch_") + c.Name);

  LauncherRun run = RunLauncher(folder, c.ArgumentText);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(0u, run.ExitCode);

  if (c.Update) {
    EXPECT_EQ(std::vector<std::string>{NoUpdates}, run.Boxes);
    EXPECT_EQ("", GameRecord(folder, 2000)) << "the game must not start on an update run";
  } else {
    EXPECT_EQ(std::vector<std::string>{}, run.Boxes);
    std::string record = GameRecord(folder);
    std::string expected =
        "\"" + JoinPath(folder, "Game.exe") + "\" " + c.GameText + "\n" + folder + "\n";
    EXPECT_EQ(expected, record);
  }
}

INSTANTIATE_TEST_SUITE_P(Launcher, SwitchTest, testing::ValuesIn(SwitchCases),
                         [](const testing::TestParamInfo<SwitchCase>& info) {
                           return std::string(info.param.Name);
                         });

TEST(GameStart, MissingGameShowsLoaderError) {
  std::string folder = GameFolder("no_game", false);
  LauncherRun run = RunLauncher(folder, "hello");
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(0u, run.ExitCode);
  EXPECT_EQ(std::vector<std::string>{"Loader Error: Could not start Zorvane! (icon)"}, run.Boxes);
}

// The game's command line may take what CreateProcessA takes, 32,767 characters with the
// terminating zero; a longer one is refused rather than written past its buffer.
TEST(GameStart, CommandLineUpToThePlatformLimit) {
  std::string folder = GameFolder("long_line");
  std::string prefix = "\"" + JoinPath(folder, "Game.exe") + "\" ";
  size_t fits = 32766 - prefix.size();

  std::string text(fits, 'a');
  text[0] = 'b';
  LauncherRun run = RunLauncher(folder, text);
  EXPECT_EQ(0u, run.ExitCode);
  EXPECT_EQ(std::vector<std::string>{}, run.Boxes);
  EXPECT_EQ(prefix + text + "\n" + folder + "\n", GameRecord(folder));

  DeleteFileA(JoinPath(folder, "Game.run").c_str());
  run = RunLauncher(folder, text + "c");
  EXPECT_EQ(0u, run.ExitCode);
  EXPECT_EQ(std::vector<std::string>{"Loader Error: Could not start Zorvane! (icon)"}, run.Boxes);
  EXPECT_EQ("", GameRecord(folder, 2000));
}

// ---------------------------------------------------------------------------------------
// The registry value that names the package.

struct RegistryCase {
  const char* Name;
  bool Key;
  bool Value;
  DWORD Type;
  std::string Data;
  std::vector<std::string> Boxes;
};

std::string MissingPackage() { return WorkDir("registry") + "\\missing.pkg"; }

std::vector<RegistryCase> RegistryCases() {
  std::string p256(256, 'p');
  std::string p255(255, 'p');
  return {
      {"no_key", false, false, REG_SZ, "", {NoUpdates}},
      {"no_value", true, false, REG_SZ, "", {NoUpdates}},
      {"empty",
       true,
       true,
       REG_SZ,
       "",
       {ErrorBox("Unable to read update package '' (error -1)"), UpdateFailed}},
      {"only_zero",
       true,
       true,
       REG_SZ,
       std::string(1, '\0'),
       {ErrorBox("Unable to read update package '' (error -1)"), UpdateFailed}},
      // 256 bytes fill the buffer without a terminator and are cut to 255 characters,
      // and the message shows the whole path.
      {"256_bytes",
       true,
       true,
       REG_SZ,
       p256,
       {ErrorBox("Unable to read update package '" + p255 + "' (error -1)"), UpdateFailed}},
      {"257_bytes", true, true, REG_SZ, p256 + "q", {NoUpdates}},
      {"binary",
       true,
       true,
       REG_BINARY,
       MissingPackage(),
       {ErrorBox("Unable to read update package '" + MissingPackage() + "' (error -1)"),
        UpdateFailed}},
  };
}

TEST(Registry, ValueCases) {
  for (const RegistryCase& c : RegistryCases()) {
    SCOPED_TRACE(c.Name);
    DeletePatchKey();
    if (c.Key) CreatePatchKey();
    if (c.Value) SetPatchValue(c.Type, c.Data);
    std::string folder = GameFolder("registry");

    LauncherRun run = RunLauncher(folder, "-update");
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(0u, run.ExitCode);
    EXPECT_EQ(c.Boxes, run.Boxes);
    EXPECT_FALSE(FileExists(JoinPath(folder, "Game.run")));
  }
  DeletePatchKey();
}

// ---------------------------------------------------------------------------------------
// Installing packages made by zvpack.

struct Installed {
  const char* Name;     // as in the package
  const char* Fixture;  // the packed file, under packages/
  int64_t UnixTime;     // its last-write time
};

// Copies a package into the game folder and names it in the registry.
std::string OfferPackage(const std::string& folder, const char* package) {
  std::string path = JoinPath(folder, "update.pkg");
  EXPECT_TRUE(CopyFileA(JoinPath(PackagesDir(), package).c_str(), path.c_str(), FALSE));
  SetPatchValue(REG_SZ, path);
  return path;
}

void ExpectInstalled(const std::string& folder, const Installed& file) {
  SCOPED_TRACE(file.Name);
  std::string expected, actual;
  ASSERT_TRUE(ReadBytes(JoinPath(PackagesDir(), file.Fixture), &expected));
  ASSERT_TRUE(ReadBytes(JoinPath(folder, file.Name), &actual));
  EXPECT_EQ(expected, actual);
  EXPECT_EQ(FileTimeOfUnixSeconds(file.UnixTime), LastWriteTime(JoinPath(folder, file.Name)));
}

std::string Contents(const std::string& path) {
  std::string bytes;
  return ReadBytes(path, &bytes) ? bytes : std::string("<missing>");
}

const Installed FullPackage[] = {
    {"readme.txt", "full\\readme.txt", 1577934245},              // new
    {"long.txt", "full\\long.txt", 1580612645},                  // 1000 bytes before: cut
    {"short.txt", "full\\short.txt", 1583118245},                // 10 bytes before: extended
    {"empty.dat", "full\\empty.dat", 1585796645},                // zero-size entry over old text
    {"data\\level1.txt", "full\\data\\level1.txt", 1588388645},  // into existing folder
    {"data/level2.txt", "full\\data\\level2.txt", 1591067045},
};

TEST(Update, InstallsEveryFileWithItsTime) {
  std::string folder = GameFolder("full_update");
  ASSERT_TRUE(WriteBytes(JoinPath(folder, "long.txt"), std::string(1000, 'x')));
  ASSERT_TRUE(WriteBytes(JoinPath(folder, "short.txt"), "0123456789"));
  ASSERT_TRUE(WriteBytes(JoinPath(folder, "empty.dat"), "old content"));
  MakeFolders(JoinPath(folder, "data"));
  ASSERT_TRUE(WriteBytes(JoinPath(folder, "data\\keep.txt"), "keep"));
  std::string package = OfferPackage(folder, "full.pkg");

  LauncherRun run = RunLauncher(folder, "-update");
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(0u, run.ExitCode);
  EXPECT_EQ(std::vector<std::string>{FinishedBox("1.2.3.4")}, run.Boxes);
  for (const Installed& file : FullPackage) ExpectInstalled(folder, file);
  EXPECT_EQ("keep", Contents(JoinPath(folder, "data\\keep.txt")));
  EXPECT_FALSE(FileExists(package)) << "the package file must be gone";
  EXPECT_FALSE(FileExists(JoinPath(folder, "Game.run"))) << "the game must not start";
  DeletePatchKey();
}

// Starts zv_file_holder on a file and waits until the file is really held.
HANDLE HoldFile(const std::string& path) {
  std::string commandLine = "zv_file_holder.exe \"" + path + "\"";
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  if (!CreateProcessA(FileHolderExe().c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL,
                      &startup, &process)) {
    ADD_FAILURE() << "cannot start the file holder (error " << GetLastError() << ")";
    return NULL;
  }
  CloseHandle(process.hThread);
  for (int i = 0; i < 1200; i++) {
    HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
    if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
      return process.hProcess;
    }
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    Sleep(50);
  }
  ADD_FAILURE() << "the file holder never held " << path;
  return process.hProcess;
}

void Release(HANDLE holder) {
  if (holder == NULL) return;
  TerminateProcess(holder, 0);
  WaitForSingleObject(holder, 10000);
  CloseHandle(holder);
}

const Installed BusyPackage[] = {
    {"first.txt", "busy\\first.txt", 1600000000},
    {"busy.dll", "busy\\busy.dll", 1600086400},
    {"last.txt", "busy\\last.txt", 1600172800},
};

// Files as the busy check leaves them while busy.dll is held: first.txt opened (created
// empty), busy.dll untouched, last.txt not reached. Sizes only: both files are held
// without sharing.
void ExpectNothingWritten(const std::string& folder) {
  EXPECT_EQ(0, FileSize(JoinPath(folder, "first.txt")));
  EXPECT_EQ(10, FileSize(JoinPath(folder, "busy.dll")));
  EXPECT_EQ(-1, FileSize(JoinPath(folder, "last.txt")));
}

TEST(Update, WaitsForABusyFile) {
  std::string folder = GameFolder("busy_update");
  ASSERT_TRUE(WriteBytes(JoinPath(folder, "busy.dll"), "old module"));
  std::string package = OfferPackage(folder, "busy.pkg");
  HANDLE holder = HoldFile(JoinPath(folder, "busy.dll"));
  MakeFolders(ArtifactDir());
  std::string waitingShot = ArtifactDir() + "\\busy-waiting.png";
  std::string doneShot = ArtifactDir() + "\\update-done.png";

  DWORD waitSeenAt = 0;
  bool released = false;
  RunHooks hooks;
  hooks.Tick = [&](DWORD) {
    HWND window = FindProgressWindow();
    if (waitSeenAt == 0 && window != NULL && ProgressShowsSecondLine(window)) {
      waitSeenAt = GetTickCount();
      Sleep(300);
      EXPECT_TRUE(SaveScreenshot(waitingShot));
      ExpectNothingWritten(folder);
    }
    // Retrying: nothing moves while the file stays busy.
    if (waitSeenAt != 0 && !released && GetTickCount() - waitSeenAt > 2000) {
      ExpectNothingWritten(folder);
      EXPECT_TRUE(ProgressShowsSecondLine(window));
      Release(holder);
      released = true;
    }
  };
  hooks.BeforeOk = [&](const SeenBox& box) {
    if (box.Caption == "Update finished") {
      HWND window = FindProgressWindow();
      EXPECT_TRUE(window != NULL);
      if (window != NULL) {
        EXPECT_TRUE(ProgressShowsOneLine(window)) << "\"Update done\" is one line";
      }
      EXPECT_TRUE(SaveScreenshot(doneShot));
    }
  };
  LauncherRun run = RunLauncher(folder, "-update", hooks);
  if (!released) Release(holder);
  EXPECT_NE(0u, waitSeenAt) << "the waiting text was never seen on the second line";
  EXPECT_EQ(0u, run.ExitCode);
  EXPECT_EQ(std::vector<std::string>{FinishedBox("2.5.0.9")}, run.Boxes);
  for (const Installed& file : BusyPackage) ExpectInstalled(folder, file);
  EXPECT_FALSE(FileExists(package));
  printf("screenshots: %s\n             %s\n", waitingShot.c_str(), doneShot.c_str());
  DeletePatchKey();
}

TEST(Update, ClosingTheWindowWhileWaitingStopsTheRun) {
  std::string folder = GameFolder("busy_close");
  ASSERT_TRUE(WriteBytes(JoinPath(folder, "busy.dll"), "old module"));
  std::string package = OfferPackage(folder, "busy.pkg");
  HANDLE holder = HoldFile(JoinPath(folder, "busy.dll"));

  bool closed = false;
  RunHooks hooks;
  hooks.Tick = [&](DWORD) {
    HWND window = FindProgressWindow();
    if (!closed && window != NULL && ProgressShowsSecondLine(window)) {
      // What the title bar's close button sends.
      PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      closed = true;
    }
  };
  LauncherRun run = RunLauncher(folder, "-update", hooks);
  EXPECT_TRUE(closed);
  EXPECT_EQ(0u, run.ExitCode);
  EXPECT_EQ(std::vector<std::string>{UpdateFailed}, run.Boxes);
  Release(holder);
  ExpectNothingWritten(folder);
  EXPECT_EQ("old module", Contents(JoinPath(folder, "busy.dll")));
  EXPECT_FALSE(FileExists(package)) << "the package was read and deleted before the wait";
  DeletePatchKey();
}

// full.bin and a 255-character name are links to /dev/full (made in the build tree, since
// only the Unix side can make them): their writes fail, the others are still written.
TEST(Update, AFailedWriteIsReportedAndTheRestWritten) {
  std::string folder = PackagesDir() + "\\devfull-game";
  DeleteFileA(JoinPath(folder, "a.txt").c_str());
  DeleteFileA(JoinPath(folder, "c.txt").c_str());
  std::string package = OfferPackage(folder, "devfull.pkg");
  std::string longName = std::string(251, 'N') + ".txt";

  LauncherRun run = RunLauncher(folder, "-update");
  EXPECT_EQ(0u, run.ExitCode);
  std::vector<std::string> expected = {
      ErrorBox("An error occured while writing file 'full.bin' (error 112)"),
      ErrorBox("An error occured while writing file '" + longName + "' (error 112)"),
      FinishedBox("3.0.0.1"),
  };
  EXPECT_EQ(expected, run.Boxes);
  ExpectInstalled(folder, {"a.txt", "devfull\\a.txt", 1610000000});
  ExpectInstalled(folder, {"c.txt", "devfull\\c.txt", 1610259200});
  DeleteFileA(package.c_str());
  DeletePatchKey();
}

// ---------------------------------------------------------------------------------------
// Packages the launcher refuses: its message, then "Update failed!"; nothing installed.

struct RejectedCase {
  const char* Package;  // under packages/, or null for a missing file
  const char* Format;   // the message, %s standing for the package path
  bool FileRemains;
};

const RejectedCase RejectedCases[] = {
    {NULL, "Unable to read update package '%s' (error -1)", true},
    {"short.pkg", "Invalid update package '%s' (error -2)", false},
    {"badtag.pkg", "Invalid update package '%s' (error -2)", false},
    {"flipped.pkg", "Update package '%s' is corrupt (error -3)", false},
    {"wrongsig.pkg", "Update package '%s' is corrupt (error -3)", false},
    {"wrongseal.pkg", "Error while preparing update package (error -2)", false},
};

TEST(Update, RejectedPackages) {
  for (const RejectedCase& c : RejectedCases) {
    SCOPED_TRACE(c.Package != NULL ? c.Package : "missing");
    std::string folder = GameFolder("rejected");
    std::string package = JoinPath(folder, "update.pkg");
    if (c.Package != NULL) {
      OfferPackage(folder, c.Package);
    } else {
      SetPatchValue(REG_SZ, package);
    }
    std::string message = c.Format;
    size_t at = message.find("%s");
    if (at != std::string::npos) message.replace(at, 2, package);

    LauncherRun run = RunLauncher(folder, "-update");
    EXPECT_EQ(0u, run.ExitCode);
    EXPECT_EQ((std::vector<std::string>{ErrorBox(message), UpdateFailed}), run.Boxes);
    EXPECT_EQ(c.FileRemains && c.Package != NULL, FileExists(package));
    EXPECT_FALSE(FileExists(JoinPath(folder, "readme.txt")));
  }
  DeletePatchKey();
}

}  // namespace
