// Zorvane.exe started in a game folder as the player starts it, with the UI robot
// answering every message box until the program ends.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/win32/launcher/support/UiRobot.h"

// Under emulated Wine a start takes seconds; a hung launcher still ends the test.
const DWORD LauncherTimeoutMs = 300000;

struct LauncherRun {
  bool Ended = false;  // the program was started and has ended (or was ended at the timeout)
  DWORD ExitCode = 99;
  std::vector<std::string> Boxes;  // what each message box said, in order
};

// Called every few milliseconds while the launcher runs, and with each message box
// before the robot presses OK.
struct RunHooks {
  std::function<void(DWORD pid)> Tick;
  std::function<void(const SeenBox&)> BeforeOk;
};

// Starts the Zorvane.exe that ZV_ZORVANE_EXE names, in folder, with argumentText after the
// program name, and presses OK in every message box until it ends. A launcher that is still
// running after LauncherTimeoutMs fails the test and is ended.
LauncherRun RunLauncher(const std::string& folder, const std::string& argumentText,
                        const RunHooks& hooks = RunHooks());
