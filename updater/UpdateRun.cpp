// The update run. Two phases that never mix: every target is opened and held without
// sharing before any is written, so no other process sees a half-updated set of files.
// Up to the writing stage closing the window stops the run; writing always runs to its
// end.
#include "updater/UpdateRun.h"

#include <windows.h>

#include <cstdio>

#include "updater/ProgressWindow.h"

// Message-box texts: the longest format, "An error occured while writing file '%s'
// (error %d)", is 47 characters without its placeholders; with a 255-character name,
// the 11 characters of the most negative code and the zero it needs 314. The package
// path is also at most 255 characters.
static const size_t MessageTextSize = 320;

// How long one wait for a busy file lasts before the next attempt.
static const DWORD BusyRetryMilliseconds = 100;

static void ShowError(const char* text) {
  MessageBoxA(NULL, text, "Updater Error", MB_OK | MB_ICONERROR);
}

static const char* ReadFailureFormat(int32_t result) {
  switch (result) {
    case PackageCorrupt:
      return "Update package '%s' is corrupt (error %d)";
    case PackageInvalid:
      return "Invalid update package '%s' (error %d)";
    default:
      return "Unable to read update package '%s' (error %d)";
  }
}

static HANDLE OpenTarget(const char* name) {
  // OPEN_ALWAYS keeps an existing file's content until it is written; share mode 0 keeps
  // every other process out from now until the file is written and closed.
  return CreateFileA(name, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

static void CloseTargets(HANDLE* handles, uint32_t count) {
  while (count > 0) {
    count--;
    CloseHandle(handles[count]);
  }
}

static int32_t StopRun(HANDLE* handles, uint32_t count) {
  CloseTargets(handles, count);
  CloseProgressWindow();
  return UpdateStopped;
}

// Opens every target in directory order, waiting as long as one is busy. 0 when all are
// open, UpdateStopped when the user closed the window (handles closed, window closed).
static int32_t OpenAllTargets(HANDLE* handles) {
  ShowProgress("Checking if previous files aren't busy...");
  for (uint32_t i = 0; i < PackageEntryCount; i++) {
    if (PollProgressWindow()) return StopRun(handles, i);
    const char* name = PackageEntries[i].Name;
    handles[i] = OpenTarget(name);
    if (handles[i] != INVALID_HANDLE_VALUE) continue;

    // Whatever the reason, a target that cannot be opened is waited for.
    ShowProgress("Waiting for file '%s' to unlock.\nPlease close all Zorvane windows if any.",
                 name);
    do {
      Sleep(BusyRetryMilliseconds);
      if (PollProgressWindow()) return StopRun(handles, i);
      handles[i] = OpenTarget(name);
    } while (handles[i] == INVALID_HANDLE_VALUE);
    ShowProgress("Checking if previous files aren't busy...");
  }
  return 0;
}

static void WriteTarget(HANDLE handle, const PackageEntry* entry) {
  DWORD written = 0;
  BOOL ok = WriteFile(handle, PackageBuffer + entry->DataOffset, entry->DataSize, &written, NULL);
  if (!ok || written < entry->DataSize) {
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
  SetFileTime(handle, NULL, NULL, &lastWrite);
  CloseHandle(handle);
}

int32_t RunUpdate(const char* packagePath, const PackageKey* signatureKey,
                  const PackageKey* sealingKey) {
  char text[MessageTextSize];

  OpenProgressWindow();
  ShowProgress("Preparing files to update...");
  if (PollProgressWindow()) return StopRun(NULL, 0);

  int32_t result = ReadPackage(packagePath, signatureKey);
  if (result != 0) {
    snprintf(text, sizeof(text), ReadFailureFormat(result), packagePath, (int)result);
    ShowError(text);
    CloseProgressWindow();
    return result;
  }
  if (PollProgressWindow()) return StopRun(NULL, 0);

  result = UnsealPackage(sealingKey);
  if (result != 0) {
    snprintf(text, sizeof(text), "Error while preparing update package (error %d)", (int)result);
    ShowError(text);
    CloseProgressWindow();
    return result;
  }
  if (PollProgressWindow()) return StopRun(NULL, 0);

  // An accepted package has 1 to 64 entries, one handle slot each.
  HANDLE handles[PackageMaxEntries];
  if (OpenAllTargets(handles) != 0) return UpdateStopped;
  if (PollProgressWindow()) return StopRun(handles, PackageEntryCount);

  ShowProgress("Updating...");
  for (uint32_t j = 0; j < PackageEntryCount; j++) {
    // Keeps the window alive; from here on the run cannot be broken off.
    PollProgressWindow();
    ShowProgress("Updating... '%s'", PackageEntries[j].Name);
    WriteTarget(handles[j], &PackageEntries[j]);
  }
  ShowProgress("Update done");

  uint32_t v = PackageVersion;
  snprintf(text, sizeof(text), "Update %d.%d.%d.%d finished, restart the game now.", (int)(v >> 24),
           (int)((v >> 16) & 255), (int)((v >> 8) & 255), (int)(v & 255));
  MessageBoxA(NULL, text, "Update finished", MB_OK | MB_ICONINFORMATION);
  // The window stays with "Update done" until the process ends.
  return 0;
}
