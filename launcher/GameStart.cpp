// Starts Game.exe from the launcher's directory and does not wait for it.
#include <windows.h>

#include <cstdio>

#include "launcher/Launcher.h"

// "<directory>\Game.exe": a directory of up to 259 characters, the backslash and the
// eight characters of the name, and the zero.
static const size_t ProgramPathSize = 280;

// CreateProcessA takes at most 32,767 characters, terminating zero included. The argument
// text is not bounded by anything before this, so the buffer takes the most that the
// platform can take and a longer line is refused.
static const size_t CommandLineSize = 32767;
static char CommandLine[CommandLineSize];

void StartGame(const char* currentDirectory, const char* argumentText) {
  char programPath[ProgramPathSize];
  wsprintfA(programPath, "%s\\Game.exe", currentDirectory);

  // wsprintfA stops at 1024 characters, so the command line is composed with snprintf,
  // which also tells whether the whole line fitted.
  int length = snprintf(CommandLine, CommandLineSize, "\"%s\" %s", programPath, argumentText);
  bool fits = length >= 0 && (size_t)length < CommandLineSize;

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof(process));

  if (fits && CreateProcessA(programPath, CommandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return;
  }
  MessageBoxA(nullptr, "Could not start Zorvane!", "Loader Error", MB_OK | MB_ICONERROR);
}
