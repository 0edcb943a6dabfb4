// The pending package's path, from the registry.
#include <windows.h>

#include "launcher/Launcher.h"

char PackagePath[PackagePathSize];

int ReadPackagePath() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Ystrel\\Patch", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return -1;
  }
  // The value's type is not looked at: whatever bytes it holds are the path. A value of
  // exactly 256 bytes fills the buffer without a terminator; byte 255 ends it below.
  DWORD size = PackagePathSize;
  if (RegQueryValueExA(key, "Patches", nullptr, nullptr, (BYTE*)PackagePath, &size) !=
      ERROR_SUCCESS) {
    RegCloseKey(key);
    return -1;
  }
  PackagePath[PackagePathSize - 1] = 0;
  RegCloseKey(key);
  return 0;
}
