// Chooses between the update run and the game start.
#include <windows.h>

#include "launcher/Launcher.h"
#include "updater/Keys.h"
#include "updater/UpdateRun.h"

// A blank is any character from 1 to 32, the way the start-up code skips them too.
static bool IsBlank(char c) {
  unsigned char u = (unsigned char)c;
  return u >= 1 && u <= 32;
}

const char* HandleUpdateSwitch(const char* argumentText) {
  const char* text = argumentText;
  while (IsBlank(*text)) text++;

  static const char Switch[] = "-update";
  const size_t switchLength = sizeof(Switch) - 1;
  for (size_t i = 0; i < switchLength; i++) {
    if (text[i] != Switch[i]) return text;
  }
  char after = text[switchLength];
  if (after != 0 && !IsBlank(after)) return text;

  // Whatever follows the switch is ignored.
  if (ReadPackagePath() != 0) {
    MessageBoxA(nullptr, "No updates available!", "Updater Error", MB_OK | MB_ICONINFORMATION);
    return nullptr;
  }
  if (RunUpdate(PackagePath, &SignatureKey, &SealingKey) != 0) {
    MessageBoxA(nullptr, "Update failed!", "Updater Error", MB_OK | MB_ICONERROR);
  }
  return nullptr;
}
