#include "tests/win32/launcher/support/ImportHook.h"

#include <windows.h>

void* ReplaceImport(void** slot, void* hook) {
  DWORD protection;
  VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection);
  void* original = *slot;
  *slot = hook;
  VirtualProtect(slot, sizeof(void*), protection, &protection);
  return original;
}
