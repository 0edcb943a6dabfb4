// The stand-in ZVClient.dll: one image that spans every offset the plug-in uses. Built
// without the C runtime so that its code stays a few hundred bytes and the big section
// below starts at a low RVA (around 0x4000), beneath the lowest offset, 0x16D30.
// zvhost.dll lays the section out at process attach (testhost/core/ClientImage.cpp).
#include "testhost/HostJournal.h"

#include <windows.h>

// Offsets reach up to 0x120CB2; the section starts a few pages into the image.
static __attribute__((aligned(4096))) unsigned char ClientImage[0x124000];

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH)
    HostAttachClientImage(reinterpret_cast<uintptr_t>(self),
                          reinterpret_cast<uintptr_t>(ClientImage),
                          reinterpret_cast<uintptr_t>(ClientImage) + sizeof(ClientImage));
  return TRUE;
}

// ZVClient#10002
extern "C" int32_t __stdcall ClientQueryFlag(int32_t zero, int32_t one) {
  return HostClientQueryFlag(zero, one);
}
