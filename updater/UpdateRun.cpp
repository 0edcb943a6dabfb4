// The update run. Two phases that never mix: every target is opened and held without
// sharing before any is written, so no other process sees a half-updated set of files.
// Up to the writing stage closing the window stops the run; writing always runs to its
// end.
#include "updater/UpdateRun.h"

#include <windows.h>

#include <cstdio>

#include "updater/PackageMessages.h"
#include "updater/ProgressWindow.h"

// Message-box texts: the longest format, "An error occured while writing file '%s'
// (error %d)", is 47 characters without its placeholders; with a 255-character name,
// the 11 characters of the most negative code and the zero it needs 314. The package
// path is also at most 255 characters.
static const size_t MessageTextSize = 320;

// How long one wait for a busy file lasts before the next attempt.
static const DWORD BusyRetryMilliseconds = 100;

static void ShowError(const char* text) {
  MessageBoxA(nullptr, text, "Updater Error", MB_OK | MB_ICONERROR);
}

// The targets of the busy check: slot i belongs to entry i. Created marks a file that did
// not exist before the run opened it, so a stopped run can take it away again.
struct TargetFiles {
  HANDLE Handles[PackageMaxEntries];
  bool Created[PackageMaxEntries];
};

// OPEN_ALWAYS keeps an existing file's content until it is written; share mode 0 keeps
// every other process out from now until the file is written and closed.
static bool OpenTarget(TargetFiles* targets, uint32_t i) {
  HANDLE file = CreateFileA(PackageEntries[i].Name, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // OPEN_ALWAYS reports an existing file through the last error, also on success.
  targets->Created[i] = GetLastError() != ERROR_ALREADY_EXISTS;
  targets->Handles[i] = file;
  return true;
}

// Closes the first count targets, the most recent first. A file that the run created
// itself is removed: nothing has been written yet, and an empty new file (a 0-byte DLL)
// could keep the game from starting. Existing files stay as they were.
static int32_t StopRun(TargetFiles* targets, uint32_t count) {
  while (count > 0) {
    count--;
    CloseHandle(targets->Handles[count]);
    if (targets->Created[count]) DeleteFileA(PackageEntries[count].Name);
  }
  CloseProgressWindow();
  return UpdateStopped;
}

// Opens every target in directory order, waiting as long as one is busy. 0 when all are
// open, UpdateStopped when the user closed the window (handles closed, window closed).
static int32_t OpenAllTargets(TargetFiles* targets) {
  ShowProgress("Checking if previous files aren't busy...");
  for (uint32_t i = 0; i < PackageEntryCount; i++) {
    if (PollProgressWindow()) return StopRun(targets, i);
    if (OpenTarget(targets, i)) continue;

    // Whatever the reason, a target that cannot be opened is waited for.
    ShowProgress("Waiting for file '%s' to unlock.\nPlease close all Zorvane windows if any.",
                 PackageEntries[i].Name);
    do {
      Sleep(BusyRetryMilliseconds);
      if (PollProgressWindow()) return StopRun(targets, i);
    } while (!OpenTarget(targets, i));
    ShowProgress("Checking if previous files aren't busy...");
  }
  return 0;
}

// Writes, cuts, stamps and closes one target; false when the write failed or was short.
static bool WriteTarget(HANDLE handle, const PackageEntry* entry) {
  DWORD written = 0;
  BOOL ok =
      WriteFile(handle, PackageBuffer + entry->DataOffset, entry->DataSize, &written, nullptr);
  bool complete = ok && written >= entry->DataSize;
  if (!complete) {
    DWORD error = GetLastError();
    char text[MessageTextSize];
    snprintf(text, sizeof(text), "An error occured while writing file '%s' (error %d)", entry->Name,
             (int)error);
    ShowError(text);
  }
  // The file ends where the written data ends: a longer old file is cut.
  SetEndOfFile(handle);
  FILETIME lastWrite;
  lastWrite.dwLowDateTime = entry->LastWriteTime.LowDateTime;
  lastWrite.dwHighDateTime = entry->LastWriteTime.HighDateTime;
  SetFileTime(handle, nullptr, nullptr, &lastWrite);
  CloseHandle(handle);
  return complete;
}

int32_t RunUpdate(const char* packagePath, const PackageKey* signatureKey,
                  const PackageKey* sealingKey) {
  char text[MessageTextSize];

  OpenProgressWindow();
  ShowProgress("Preparing files to update...");
  if (PollProgressWindow()) return StopRun(nullptr, 0);

  int32_t result = ReadPackage(packagePath, signatureKey);
  if (result != 0) {
    snprintf(text, sizeof(text), ReadFailureFormat(result), packagePath, (int)result);
    ShowError(text);
    CloseProgressWindow();
    return result;
  }
  if (PollProgressWindow()) return StopRun(nullptr, 0);

  result = UnsealPackage(sealingKey);
  if (result != 0) {
    snprintf(text, sizeof(text), UnsealFailureFormat, (int)result);
    ShowError(text);
    CloseProgressWindow();
    return result;
  }
  if (PollProgressWindow()) return StopRun(nullptr, 0);

  // An accepted package has 1 to 64 entries, one target slot each.
  static TargetFiles targets;
  if (OpenAllTargets(&targets) != 0) return UpdateStopped;
  if (PollProgressWindow()) return StopRun(&targets, PackageEntryCount);

  ShowProgress("Updating...");
  bool complete = true;
  for (uint32_t j = 0; j < PackageEntryCount; j++) {
    // Keeps the window alive; from here on the run cannot be broken off.
    PollProgressWindow();
    ShowProgress("Updating... '%s'", PackageEntries[j].Name);
    if (!WriteTarget(targets.Handles[j], &PackageEntries[j])) complete = false;
  }
  ShowProgress("Update done");

  // A file that holds only part of its data can keep the game from starting, so a run
  // with a failed write does not say it finished. The result stays 0: every file was
  // written as far as it could be, and the caller adds no message of its own.
  uint32_t v = PackageVersion;
  const char* format = complete ? "Update %d.%d.%d.%d finished, restart the game now."
                                : "Update %d.%d.%d.%d is incomplete: not every file could be "
                                  "written. Do not start the game before the update has been "
                                  "installed again.";
  snprintf(text, sizeof(text), format, (int)(v >> 24), (int)((v >> 16) & 255),
           (int)((v >> 8) & 255), (int)(v & 255));
  if (complete) {
    MessageBoxA(nullptr, text, "Update finished", MB_OK | MB_ICONINFORMATION);
  } else {
    ShowError(text);
  }
  // The window stays with "Update done" until the process ends.
  return 0;
}
