// The publisher's whole release, end to end: zvpack plan (at build time) turned the old
// release into packages; here the real Zorvane.exe installs every one of them in order
// into a copy of the old release, and the result must be the new release.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/win32/launcher/support/LauncherRun.h"
#include "tests/win32/launcher/support/TestFiles.h"

static const char PlannedVersion[] = "2.0.1.0";

static std::string ReleaseDir() { return WindowsPath(RequiredEnv("ZV_PLAN_RELEASE")); }

// Every file under folder by its name relative to it ('\' between parts), with its bytes
// and last-write time.
struct TreeFile {
  std::string Bytes;
  uint64_t Time = 0;
};
using Tree = std::map<std::string, TreeFile>;

static void ReadTree(const std::string& folder, const std::string& prefix, Tree* tree) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(JoinPath(folder, "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = JoinPath(folder, name);
    std::string relative = prefix.empty() ? name : prefix + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ReadTree(path, relative, tree);
    } else {
      TreeFile& file = (*tree)[relative];
      EXPECT_TRUE(ReadBytes(path, &file.Bytes)) << path;
      file.Time = LastWriteTime(path);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// The player's game folder: the old release as installed, times and all.
static void InstallOldRelease(const Tree& old, const std::string& game) {
  FreshFolder(game);
  for (const auto& item : old) {
    std::string path = JoinPath(game, item.first);
    MakeFolders(path.substr(0, path.rfind('\\')));
    ASSERT_TRUE(WriteBytes(path, item.second.Bytes)) << path;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(item.second.Time);
    time.dwHighDateTime = static_cast<DWORD>(item.second.Time >> 32);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time)) << path;
    CloseHandle(file);
  }
}

TEST(PlanInstall, EveryPackageInOrderTurnsTheOldReleaseIntoTheNewOne) {
  Tree old, fresh;
  ReadTree(JoinPath(ReleaseDir(), "old"), "", &old);
  ReadTree(JoinPath(ReleaseDir(), "new"), "", &fresh);
  ASSERT_GT(fresh.size(), 100u);
  std::string game = JoinPath(ReleaseDir(), "game");
  InstallOldRelease(old, game);

  int installed = 0;
  for (int n = 1;; n++) {
    char file[32];
    snprintf(file, sizeof file, "update-%03d.pkg", n);
    std::string package = JoinPath(JoinPath(ReleaseDir(), "plan"), file);
    if (!FileExists(package)) break;
    SCOPED_TRACE(file);
    // The game client's part: put the package where the launcher will look, name it in
    // the registry, and start Zorvane.exe -update; one package after the other.
    std::string offered = JoinPath(game, "update.pkg");
    ASSERT_TRUE(CopyFileA(package.c_str(), offered.c_str(), FALSE));
    CreatePatchKey();
    SetPatchValue(REG_SZ, offered);
    LauncherRun run = RunLauncher(game, "-update");
    EXPECT_EQ(0u, run.ExitCode);
    std::string finished = "Update finished: Update " + std::string(PlannedVersion) +
                           " finished, restart the game now. (icon)";
    ASSERT_EQ(std::vector<std::string>{finished}, run.Boxes);
    EXPECT_FALSE(FileExists(offered));
    installed++;
  }
  DeletePatchKey();
  EXPECT_GE(installed, 2) << "the release is planned as a few packages";

  Tree result;
  ReadTree(game, "", &result);
  for (const auto& item : fresh) {
    SCOPED_TRACE(item.first);
    auto got = result.find(item.first);
    ASSERT_NE(got, result.end()) << "missing after the update";
    EXPECT_TRUE(got->second.Bytes == item.second.Bytes) << "contents differ";
    auto before = old.find(item.first);
    bool shipped = before == old.end() || before->second.Bytes != item.second.Bytes;
    // Shipped files take the new release's time; the others keep the player's, also
    // the one whose only change was its time (it is not shipped).
    uint64_t expected = shipped ? item.second.Time : before->second.Time;
    EXPECT_EQ(expected, got->second.Time);
  }
  // The deleted file cannot be removed by a package: it stays, and the plan says so.
  const std::string deleted = "docs\\old-notes.txt";
  ASSERT_EQ(fresh.count(deleted), 0u);
  EXPECT_EQ(result.size(), fresh.size() + 1);
  EXPECT_EQ(result.count(deleted), 1u);
  std::string plan;
  ASSERT_TRUE(ReadBytes(JoinPath(JoinPath(ReleaseDir(), "plan"), "plan.json"), &plan));
  EXPECT_NE(plan.find("\"not_removed\": [\n    \"docs\\\\old-notes.txt\"\n  ]"), std::string::npos)
      << plan;
  std::string log;
  ReadBytes(JoinPath(ReleaseDir(), "plan.log"), &log);
  printf("%s", log.c_str());
}
