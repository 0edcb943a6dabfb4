// Holds a file open without sharing, as a game window holding a module would, so that
// the updater finds it busy. Must run as a Windows process: the platform enforces share
// modes only between its own processes.
//   zv_file_holder PATH [MILLISECONDS]   (default: until ended)
// Prints "holding PATH pid N" once the file is held, then "released".
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: zv_file_holder PATH [MILLISECONDS]\n");
    return 2;
  }
  DWORD milliseconds = argc == 3 ? (DWORD)strtoul(argv[2], nullptr, 10) : INFINITE;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "zv_file_holder: cannot open '%s' (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  printf("holding %s pid %lu\n", argv[1], GetCurrentProcessId());
  fflush(stdout);
  Sleep(milliseconds);
  CloseHandle(file);
  printf("released\n");
  return 0;
}
