// Zorvane.exe as the player meets it: the real program under Wine, in a game folder of its
// own, with the registry value set in the prefix, a stand-in Game.exe that records how it
// was started, and the UI robot reading and answering every message box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/portable/support/CaseName.h"
#include "tests/win32/launcher/support/LauncherCases.h"
#include "tests/win32/launcher/support/LauncherRun.h"
#include "tests/win32/launcher/support/Screen.h"
#include "tests/win32/launcher/support/TestFiles.h"
#include "tests/win32/launcher/support/UiRobot.h"

static std::string FakeGameExe() { return WindowsPath(RequiredEnv("ZV_FAKE_GAME_EXE")); }
static std::string WorkDir(const std::string& name) {
  return LauncherTestDir() + "\\work\\" + name;
}
static std::string ArtifactDir() { return LauncherTestDir() + "\\artifacts"; }

// Xvfb has no window manager: Wine then draws the windows' title bars itself, so the
// screenshots show the "Updater" caption and its close button as a player sees them.
class Environment : public testing::Environment {
 public:
  void SetUp() override {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(key, "Managed", 0, REG_SZ, (const BYTE*)"N", 2);
      RegCloseKey(key);
    }
  }
};
static testing::Environment* const TheEnvironment =
    testing::AddGlobalTestEnvironment(new Environment);

// The stand-in game's record: the launcher does not wait for the game, so the record
// may come a little after the launcher ended. Empty when the game never wrote one.
static std::string GameRecord(const std::string& folder, DWORD waitMs = 60000) {
  std::string record;
  DWORD started = GetTickCount();
  while (!ReadBytes(JoinPath(folder, "Game.run"), &record) && GetTickCount() - started < waitMs) {
    Sleep(50);
  }
  return record;
}

// A game folder with the stand-in Game.exe.
static std::string GameFolder(const std::string& name, bool withGame = true) {
  std::string folder = WorkDir(name);
  FreshFolder(folder);
  if (withGame) {
    EXPECT_TRUE(CopyFileA(FakeGameExe().c_str(), JoinPath(folder, "Game.exe").c_str(), FALSE));
  }
  return folder;
}

const char UpdaterError[] = "Updater Error: ";
static std::string ErrorBox(const std::string& text) { return UpdaterError + text + " (icon)"; }
static const std::string UpdateFailed = ErrorBox("Update failed!");
static const std::string NoUpdates = ErrorBox("No updates available!");
static std::string FinishedBox(const std::string& version) {
  return "Update finished: Update " + version + " finished, restart the game now. (icon)";
}

// ---------------------------------------------------------------------------------------
// The switch: which argument texts run the update and which start the game.

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

INSTANTIATE_TEST_SUITE_P(Launcher, SwitchTest, testing::ValuesIn(SwitchCases()),
                         CaseName<SwitchCase>);

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

static std::string MissingPackage() { return WorkDir("registry") + "\\missing.pkg"; }

static std::vector<RegistryCase> RegistryCases() {
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

// Copies a package into the game folder and names it in the registry.
static std::string OfferPackage(const std::string& folder, const char* package) {
  std::string path = JoinPath(folder, "update.pkg");
  EXPECT_TRUE(CopyFileA(JoinPath(PackagesDir(), package).c_str(), path.c_str(), FALSE));
  SetPatchValue(REG_SZ, path);
  return path;
}

static void ExpectInstalled(const std::string& folder, const PackedFile& file) {
  SCOPED_TRACE(file.Name);
  std::string expected, actual;
  ASSERT_TRUE(ReadBytes(JoinPath(PackagesDir(), file.Fixture), &expected));
  ASSERT_TRUE(ReadBytes(JoinPath(folder, file.Name), &actual));
  EXPECT_EQ(expected, actual);
  EXPECT_EQ(FileTimeOfUnixSeconds(file.UnixTime), LastWriteTime(JoinPath(folder, file.Name)));
}

// full.pkg: readme.txt new; long.txt cut; short.txt extended; empty.dat a zero-size entry
// over old text; data\level1.txt and data/level2.txt into an existing folder.
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
  for (const PackedFile& file : FullPackage()) ExpectInstalled(folder, file);
  EXPECT_EQ("keep", Contents(JoinPath(folder, "data\\keep.txt")));
  EXPECT_FALSE(FileExists(package)) << "the package file must be gone";
  EXPECT_FALSE(FileExists(JoinPath(folder, "Game.run"))) << "the game must not start";
  DeletePatchKey();
}

// Files as the busy check leaves them while busy.dll is held: first.txt opened (created
// empty), busy.dll untouched, last.txt not reached. Sizes only: both files are held
// without sharing.
static void ExpectNothingWritten(const std::string& folder) {
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
    if (waitSeenAt == 0 && window != nullptr && ProgressShowsSecondLine(window)) {
      waitSeenAt = GetTickCount();
      Sleep(300);
      EXPECT_TRUE(SaveScreenshot(waitingShot));
      ExpectNothingWritten(folder);
    }
    // Retrying: nothing moves while the file stays busy.
    if (waitSeenAt != 0 && !released && GetTickCount() - waitSeenAt > 2000) {
      ExpectNothingWritten(folder);
      EXPECT_TRUE(ProgressShowsSecondLine(window));
      ReleaseFile(holder);
      released = true;
    }
  };
  hooks.BeforeOk = [&](const SeenBox& box) {
    if (box.Caption == "Update finished") {
      HWND window = FindProgressWindow();
      EXPECT_TRUE(window != nullptr);
      if (window != nullptr) {
        EXPECT_TRUE(ProgressShowsOneLine(window)) << "\"Update done\" is one line";
      }
      EXPECT_TRUE(SaveScreenshot(doneShot));
    }
  };
  LauncherRun run = RunLauncher(folder, "-update", hooks);
  if (!released) ReleaseFile(holder);
  EXPECT_NE(0u, waitSeenAt) << "the waiting text was never seen on the second line";
  EXPECT_EQ(0u, run.ExitCode);
  EXPECT_EQ(std::vector<std::string>{FinishedBox("2.5.0.9")}, run.Boxes);
  for (const PackedFile& file : BusyPackage()) ExpectInstalled(folder, file);
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
    if (!closed && window != nullptr && ProgressShowsSecondLine(window)) {
      // What the title bar's close button sends.
      PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      closed = true;
    }
  };
  LauncherRun run = RunLauncher(folder, "-update", hooks);
  EXPECT_TRUE(closed);
  EXPECT_EQ(0u, run.ExitCode);
  EXPECT_EQ(std::vector<std::string>{UpdateFailed}, run.Boxes);
  ReleaseFile(holder);
  // first.txt was created empty by the busy check and is taken away again: an empty new
  // module could keep the game from starting. busy.dll existed and keeps its content.
  EXPECT_EQ(-1, FileSize(JoinPath(folder, "first.txt")));
  EXPECT_EQ("old module", Contents(JoinPath(folder, "busy.dll")));
  EXPECT_EQ(-1, FileSize(JoinPath(folder, "last.txt")));
  EXPECT_FALSE(FileExists(package)) << "the package was read and deleted before the wait";
  DeletePatchKey();
}

// full.bin and a 255-character name are links to /dev/full (made in the build tree, since
// only the Unix side can make them): their writes fail, the others are still written, and
// the run does not end as if the update were complete.
TEST(Update, AFailedWriteIsReportedAndTheRestWritten) {
  std::string folder = PackagesDir() + "\\devfull-game";
  DeleteFileA(JoinPath(folder, "a.txt").c_str());
  DeleteFileA(JoinPath(folder, "c.txt").c_str());
  std::string package = OfferPackage(folder, "devfull.pkg");
  const std::vector<PackedFile>& files = DevFullPackage();

  LauncherRun run = RunLauncher(folder, "-update");
  EXPECT_EQ(0u, run.ExitCode);
  std::vector<std::string> expected = {
      ErrorBox("An error occured while writing file '" + files[1].Name + "' (error 112)"),
      ErrorBox("An error occured while writing file '" + files[2].Name + "' (error 112)"),
      ErrorBox("Update 3.0.0.1 is incomplete: not every file could be written. Do not start the "
               "game before the update has been installed again."),
  };
  EXPECT_EQ(expected, run.Boxes);
  ExpectInstalled(folder, files[0]);
  ExpectInstalled(folder, files[3]);
  DeleteFileA(package.c_str());
  DeletePatchKey();
}

// ---------------------------------------------------------------------------------------
// Packages the launcher refuses: its message, then "Update failed!"; nothing installed.

class RejectedTest : public testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedTest, ShowsItsMessageAndInstallsNothing) {
  const RejectedCase& c = GetParam();
  RejectedRun prepared = PrepareRejected(c, "exe", true);

  LauncherRun run = RunLauncher(prepared.Folder, "-update");
  EXPECT_EQ(0u, run.ExitCode);
  std::vector<std::string> expected = {ErrorBox(RejectedMessage(c, prepared.Package)),
                                       UpdateFailed};
  EXPECT_EQ(expected, run.Boxes);
  ExpectRejectedAftermath(c, &prepared);  // also: no Game.run, the game did not start
}

INSTANTIATE_TEST_SUITE_P(Update, RejectedTest, testing::ValuesIn(RejectedCases()),
                         CaseName<RejectedCase>);
