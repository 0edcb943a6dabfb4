#include "tests/win32/launcher/support/LauncherRun.h"

#include <gtest/gtest.h>

#include "tests/win32/launcher/support/TestFiles.h"

// How long one look for message boxes waits for the launcher to end, and how long an
// ended-at-the-timeout launcher gets to go.
static const DWORD PollMs = 30;
static const DWORD TerminateWaitMs = 5000;
// The exit code of a launcher ended at the timeout.
static const UINT TimedOutExitCode = 98;

LauncherRun RunLauncher(const std::string& folder, const std::string& argumentText,
                        const RunHooks& hooks) {
  LauncherRun run;
  std::string exe = WindowsPath(RequiredEnv("ZV_ZORVANE_EXE"));
  std::string commandLine = "Zorvane.exe";
  if (!argumentText.empty()) commandLine += " " + argumentText;
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    ADD_FAILURE() << "cannot start " << exe << " (error " << GetLastError() << ")";
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
    if (WaitForSingleObject(process.hProcess, PollMs) == WAIT_OBJECT_0) break;
    if (GetTickCount() - started > LauncherTimeoutMs) {
      ADD_FAILURE() << "the launcher did not end; message boxes so far: " << run.Boxes.size();
      TerminateProcess(process.hProcess, TimedOutExitCode);
      WaitForSingleObject(process.hProcess, TerminateWaitMs);
      break;
    }
  }
  run.Ended = true;
  GetExitCodeProcess(process.hProcess, &run.ExitCode);
  CloseHandle(process.hProcess);
  return run;
}
