// Zorvane.exe: installs a pending update (-update) or starts the game.
#include <windows.h>

#include "launcher/Launcher.h"
#include "updater/ProgressWindow.h"

HINSTANCE LauncherInstance;

// MAX_PATH characters of the current directory, terminating zero included.
static const DWORD CurrentDirectorySize = 260;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argumentText, int) {
  LauncherInstance = instance;

  char currentDirectory[CurrentDirectorySize];
  ZeroMemory(currentDirectory, sizeof(currentDirectory));
  GetCurrentDirectoryA(CurrentDirectorySize, currentDirectory);

  const char* gameArguments = HandleUpdateSwitch(argumentText);
  if (gameArguments == nullptr) return 0;

  StartGame(currentDirectory, gameArguments);
  return 0;
}
