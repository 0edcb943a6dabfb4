// The cases that both levels of the launcher tests run from one table: Zorvane.exe as
// the player meets it (zv_test_launcher) and the update run linked into the test
// (zv_test_update_run). Each level has its own runner; the rows, the fixtures and the
// checks of what a run leaves behind are here once.
#pragma once
#include <windows.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// An argument text: an update run or a game start.
struct SwitchCase {
  const char* Name;
  const char* ArgumentText;  // after the program name, as the player typed it
  bool Update;               // an update run (with no package named: "No updates available!")
  const char* GameText;      // else what the game gets after its quoted path and a blank
};
const std::vector<SwitchCase>& SwitchCases();
void PrintTo(const SwitchCase& c, std::ostream* out);  // a failing row by its name

// A package that the launcher refuses: its message, then "Update failed!"; nothing is
// installed, and nothing appears in or beside the game folder.
struct RejectedCase {
  const char* Name;
  const char* Package;  // under packages/, or null for no file at the registry's path
  bool Held;            // held open without sharing by another process during the run
  bool ReadOnly;        // the package file is read-only
  const char* Format;   // the message, %s standing for the package path
  bool PackageRemains;  // the package file is still there afterwards, as it was
};
const std::vector<RejectedCase>& RejectedCases();
void PrintTo(const RejectedCase& c, std::ostream* out);

// The message of a case, with the package path put in.
std::string RejectedMessage(const RejectedCase& c, const std::string& package);

// A file that a package installs, and where the tests' copy of its contents is.
struct PackedFile {
  std::string Name;     // as in the package
  std::string Fixture;  // the packed file, under packages/
  int64_t UnixTime;     // its last-write time
};
const std::vector<PackedFile>& FullPackage();     // full.pkg, 1.2.3.4
const std::vector<PackedFile>& BusyPackage();     // busy.pkg, 2.5.0.9
const std::vector<PackedFile>& DevFullPackage();  // devfull.pkg, 3.0.0.1
// The size of a packed file's contents, from its fixture.
int64_t PackedSize(const PackedFile& file);

// A game folder for a rejected case, work\<level>_rejected\game, with nothing beside it,
// the package put in place and named in the registry.
struct RejectedRun {
  std::string Parent;
  std::string Folder;
  std::string Package;
  HANDLE Holder = nullptr;  // the process that holds the package, for Held cases
  std::vector<std::string> FolderBefore;
};
// withGame puts the stand-in Game.exe into the folder first.
RejectedRun PrepareRejected(const RejectedCase& c, const std::string& level, bool withGame);
// Releases the package and checks what the run left: the package gone or still there
// as it was, the game folder as before but for the package, nothing beside it.
void ExpectRejectedAftermath(const RejectedCase& c, RejectedRun* run);
