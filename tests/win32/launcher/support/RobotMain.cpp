// zv_ui_robot: starts a program, answers every message box it shows with OK and writes
// what each said; takes screenshots of the progress window at the busy-file wait and at
// the final message. Used by the demo; the tests use the same routines in-process.
//   zv_ui_robot [--shot-waiting PNG] [--shot-done PNG] [--release-pid PID]
//               [--close-when-waiting] [--timeout SECONDS] -- PROGRAM [ARGUMENT TEXT]
// --release-pid ends that process (a zv_file_holder) once the wait has been seen and
// shot; --close-when-waiting closes the "Updater" window then, as the player would with
// its close button. Exits with the program's exit code, or 124 when it outlived the
// timeout.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/win32/launcher/support/Screen.h"
#include "tests/win32/launcher/support/UiRobot.h"

static void Say(const char* format, const std::string& text) {
  printf(format, text.c_str());
  fflush(stdout);
}

int main(int argc, char** argv) {
  std::string shotWaiting, shotDone;
  DWORD releasePid = 0;
  DWORD timeoutSeconds = 600;
  int at = 1;
  bool closeWhenWaiting = false;
  for (; at < argc; at++) {
    std::string option = argv[at];
    if (option == "--") {
      at++;
      break;
    }
    if (option == "--close-when-waiting") {
      closeWhenWaiting = true;
      continue;
    }
    if (at + 1 >= argc) {
      fprintf(stderr, "zv_ui_robot: %s needs a value\n", option.c_str());
      return 2;
    }
    const char* value = argv[++at];
    if (option == "--shot-waiting")
      shotWaiting = value;
    else if (option == "--shot-done")
      shotDone = value;
    else if (option == "--release-pid")
      releasePid = strtoul(value, nullptr, 10);
    else if (option == "--timeout")
      timeoutSeconds = strtoul(value, nullptr, 10);
    else {
      fprintf(stderr, "zv_ui_robot: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  if (at >= argc) {
    fprintf(stderr, "usage: zv_ui_robot [options] -- PROGRAM [ARGUMENT TEXT]\n");
    return 2;
  }

  std::string commandLine = std::string("\"") + argv[at] + "\"";
  for (int i = at + 1; i < argc; i++) commandLine += std::string(" ") + argv[i];
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    fprintf(stderr, "zv_ui_robot: cannot start %s (error %lu)\n", argv[at], GetLastError());
    return 2;
  }
  CloseHandle(process.hThread);
  Say("robot: started %s\n", commandLine);

  UiRobot robot;
  bool waitSeen = false;
  DWORD waitSeenAt = 0;
  DWORD started = GetTickCount();
  for (;;) {
    HWND box;
    SeenBox seen;
    while (FindMessageBox(&robot, &box, &seen)) {
      Say("robot: message box  %s\n", Describe(seen));
      if (seen.Caption == "Update finished" && !shotDone.empty()) {
        Say(SaveScreenshot(shotDone) ? "robot: screenshot   %s\n" : "robot: no screenshot %s\n",
            shotDone);
      }
      PressOk(&robot, box);
    }

    HWND progress = FindProgressWindow();
    if (!waitSeen && progress != nullptr && ProgressShowsSecondLine(progress)) {
      waitSeen = true;
      waitSeenAt = GetTickCount();
      Say("robot: %s\n", "the updater is waiting for a busy file");
      if (!shotWaiting.empty()) {
        Sleep(200);
        Say(SaveScreenshot(shotWaiting) ? "robot: screenshot   %s\n" : "robot: no screenshot %s\n",
            shotWaiting);
      }
      if (closeWhenWaiting) {
        PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
        Say("robot: %s\n", "closed the Updater window");
      }
    }
    // Let the updater retry a while before the file is released.
    if (waitSeen && releasePid != 0 && GetTickCount() - waitSeenAt > 1500) {
      HANDLE holder = OpenProcess(PROCESS_TERMINATE, FALSE, releasePid);
      if (holder != nullptr) {
        TerminateProcess(holder, 0);
        CloseHandle(holder);
        Say("robot: %s\n", "released the busy file");
      }
      releasePid = 0;
    }

    if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) break;
    if (GetTickCount() - started > timeoutSeconds * 1000) {
      Say("robot: %s\n", "timed out");
      return 124;
    }
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  printf("robot: %s ended with exit code %lu\n", argv[at], exitCode);
  return (int)exitCode;
}
