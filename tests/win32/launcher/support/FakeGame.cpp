// Stand-in for the host's Game.exe in launcher tests: records how it was started into
// Game.run beside itself (line 1: its command line, line 2: its current directory) and
// exits at once.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH + 16];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  char* slash = strrchr(path, '\\');
  strcpy(slash != nullptr ? slash + 1 : path, "Game.run");

  char directory[MAX_PATH];
  ZeroMemory(directory, sizeof(directory));
  GetCurrentDirectoryA(MAX_PATH, directory);

  // Written aside and renamed, so that a reader never sees half a record.
  char temporary[MAX_PATH + 16];
  strcpy(temporary, path);
  strcat(temporary, ".tmp");
  FILE* record = fopen(temporary, "wb");
  if (record == nullptr) return 3;
  fprintf(record, "%s\n%s\n", GetCommandLineA(), directory);
  if (fclose(record) != 0) return 3;
  return MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
