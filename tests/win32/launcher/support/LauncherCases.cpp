#include "tests/win32/launcher/support/LauncherCases.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/win32/launcher/support/TestFiles.h"

const std::vector<SwitchCase>& SwitchCases() {
  static const std::vector<SwitchCase> cases = {
      {"alone", "-update", true, ""},
      {"with_words", "-update now please", true, ""},
      {"with_tab", "-update\tx", true, ""},
      {"with_control_blank", "-update\x01x", true, ""},
      {"after_blanks", "   \t -update", true, ""},
      {"after_control_blanks", "\x01\x1f -update", true, ""},
      {"upper_case", "-UPDATE", false, "-UPDATE"},
      {"mixed_case", "-Update", false, "-Update"},
      {"joined", "-updates", false, "-updates"},
      {"joined_quote", "-update\"x\"", false, "-update\"x\""},
      {"joined_delete", "-update\x7fx", false, "-update\x7fx"},  // 127 is not a blank
      {"cut_short", "-updat", false, "-updat"},
      {"after_word", "run -update", false, "run -update"},
      {"other_text", "  /window  \"two words\" x ", false, "/window  \"two words\" x "},
      {"only_blanks", "   ", false, ""},
      {"no_text", "", false, ""},
  };
  return cases;
}

void PrintTo(const SwitchCase& c, std::ostream* out) { *out << c.Name; }

const std::vector<RejectedCase>& RejectedCases() {
  static const std::vector<RejectedCase> cases = {
      {"missing", nullptr, false, false, "Unable to read update package '%s' (error -1)", false},
      // A package that cannot be opened is left where it is, for a later run.
      {"held", "full.pkg", true, false, "Unable to read update package '%s' (error -1)", true},
      {"short", "short.pkg", false, false, "Invalid update package '%s' (error -2)", false},
      {"bad_tag", "badtag.pkg", false, false, "Invalid update package '%s' (error -2)", false},
      {"flipped", "flipped.pkg", false, false, "Update package '%s' is corrupt (error -3)", false},
      {"wrong_signature", "wrongsig.pkg", false, false, "Update package '%s' is corrupt (error -3)",
       false},
      {"wrong_seal", "wrongseal.pkg", false, false,
       "Error while preparing update package (error -2)", false},
      // "Z:..\p.txt": a '.' right after the drive colon would climb out of the game folder.
      {"dot_dot_after_drive", "escape.pkg", false, false,
       "Error while preparing update package (error -2)", false},
      // A read-only package is deleted all the same, or it would be offered on every run.
      {"read_only", "wrongseal.pkg", false, true, "Error while preparing update package (error -2)",
       false},
  };
  return cases;
}

void PrintTo(const RejectedCase& c, std::ostream* out) { *out << c.Name; }

std::string RejectedMessage(const RejectedCase& c, const std::string& package) {
  std::string message = c.Format;
  size_t at = message.find("%s");
  if (at != std::string::npos) message.replace(at, 2, package);
  return message;
}

const std::vector<PackedFile>& FullPackage() {
  static const std::vector<PackedFile> files = {
      {"readme.txt", "full\\readme.txt", 1577934245},
      {"long.txt", "full\\long.txt", 1580612645},
      {"short.txt", "full\\short.txt", 1583118245},
      {"empty.dat", "full\\empty.dat", 1585796645},
      {"data\\level1.txt", "full\\data\\level1.txt", 1588388645},
      {"data/level2.txt", "full\\data\\level2.txt", 1591067045},
  };
  return files;
}

const std::vector<PackedFile>& BusyPackage() {
  static const std::vector<PackedFile> files = {
      {"first.txt", "busy\\first.txt", 1600000000},
      {"busy.dll", "busy\\busy.dll", 1600086400},
      {"last.txt", "busy\\last.txt", 1600172800},
  };
  return files;
}

const std::vector<PackedFile>& DevFullPackage() {
  static const std::vector<PackedFile> files = {
      {"a.txt", "devfull\\a.txt", 1610000000},
      {"full.bin", "devfull\\full.bin", 1610086400},                      // a link to /dev/full
      {std::string(251, 'N') + ".txt", "devfull\\long.bin", 1610172800},  // the same
      {"c.txt", "devfull\\c.txt", 1610259200},
  };
  return files;
}

int64_t PackedSize(const PackedFile& file) {
  return FileSize(JoinPath(PackagesDir(), file.Fixture));
}

RejectedRun PrepareRejected(const RejectedCase& c, const std::string& level, bool withGame) {
  RejectedRun run;
  // A folder that is some process's current directory cannot be removed.
  SetCurrentDirectoryA(LauncherTestDir().c_str());
  run.Parent = LauncherTestDir() + "\\work\\" + level + "_rejected";
  run.Folder = JoinPath(run.Parent, "game");
  run.Package = JoinPath(run.Folder, "update.pkg");
  RemoveTree(run.Parent);
  MakeFolders(run.Folder);
  if (withGame) {
    EXPECT_TRUE(CopyFileA(WindowsPath(RequiredEnv("ZV_FAKE_GAME_EXE")).c_str(),
                          JoinPath(run.Folder, "Game.exe").c_str(), FALSE));
  }
  if (c.Package != nullptr) {
    EXPECT_TRUE(CopyFileA(JoinPath(PackagesDir(), c.Package).c_str(), run.Package.c_str(), FALSE));
  }
  if (c.ReadOnly) {
    EXPECT_TRUE(SetFileAttributesA(run.Package.c_str(), FILE_ATTRIBUTE_READONLY));
  }
  if (c.Held) run.Holder = HoldFile(run.Package);
  SetPatchValue(REG_SZ, run.Package);
  run.FolderBefore = ListFolder(run.Folder);
  return run;
}

void ExpectRejectedAftermath(const RejectedCase& c, RejectedRun* run) {
  ReleaseFile(run->Holder);
  run->Holder = nullptr;
  std::vector<std::string> folder = run->FolderBefore;
  if (c.Package != nullptr && !c.PackageRemains) {
    folder.erase(std::remove(folder.begin(), folder.end(), "update.pkg"), folder.end());
  }
  EXPECT_EQ(folder, ListFolder(run->Folder)) << "the game folder holds what it held before";
  EXPECT_EQ(std::vector<std::string>{"game\\"}, ListFolder(run->Parent))
      << "nothing may be written beside the game folder";
  if (c.Package != nullptr && c.PackageRemains) {
    EXPECT_EQ(Contents(JoinPath(PackagesDir(), c.Package)), Contents(run->Package));
  }
  DeletePatchKey();
}
