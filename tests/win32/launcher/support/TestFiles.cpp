#include "tests/win32/launcher/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

std::string RequiredEnv(const char* name) {
  const char* value = getenv(name);
  if (value == nullptr || *value == 0) {
    ADD_FAILURE() << "environment variable " << name << " is not set";
    return std::string();
  }
  return value;
}

std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string LauncherTestDir() {
  return WindowsPath(RequiredEnv("ZV_BINARY_DIR")) + "\\tests\\win32\\launcher";
}

std::string PackagesDir() { return LauncherTestDir() + "\\packages"; }

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

void RemoveTree(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") RemoveTree(JoinPath(path, name));
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
  } else {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  }
}

void MakeFolders(const std::string& path) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryA(path.c_str(), nullptr);
}

void FreshFolder(const std::string& path) {
  RemoveTree(path);
  MakeFolders(path);
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool ReadBytes(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char buffer[65536];
  DWORD read = 0;
  BOOL ok;
  while ((ok = ReadFile(file, buffer, sizeof(buffer), &read, nullptr)) && read > 0) {
    bytes->append(buffer, read);
  }
  CloseHandle(file);
  return ok != FALSE;
}

std::string Contents(const std::string& path) {
  std::string bytes;
  return ReadBytes(path, &bytes) ? bytes : std::string("<missing>");
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) name += "\\";
    names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return ((int64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

uint64_t LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return ((uint64_t)data.ftLastWriteTime.dwHighDateTime << 32) | data.ftLastWriteTime.dwLowDateTime;
}

uint64_t FileTimeOfUnixSeconds(int64_t seconds) {
  const int64_t SecondsFrom1601To1970 = 11644473600LL;
  return (uint64_t)(seconds + SecondsFrom1601To1970) * 10000000ULL;
}

HANDLE HoldFile(const std::string& path) {
  std::string holder = WindowsPath(RequiredEnv("ZV_FILE_HOLDER_EXE"));
  std::string commandLine = "zv_file_holder.exe \"" + path + "\"";
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  if (!CreateProcessA(holder.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "cannot start the file holder (error " << GetLastError() << ")";
    return nullptr;
  }
  CloseHandle(process.hThread);
  // Under emulated Wine the holder takes a second or two to start.
  const int Probes = 1200;
  const DWORD ProbeIntervalMs = 50;
  for (int i = 0; i < Probes; i++) {
    HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
      return process.hProcess;
    }
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    Sleep(ProbeIntervalMs);
  }
  ADD_FAILURE() << "the file holder never held " << path;
  return process.hProcess;
}

void ReleaseFile(HANDLE holder) {
  if (holder == nullptr) return;
  TerminateProcess(holder, 0);
  WaitForSingleObject(holder, 10000);
  CloseHandle(holder);
}

static const char PatchKey[] = "Software\\Ystrel\\Patch";

void DeletePatchKey() { RegDeleteKeyA(HKEY_CURRENT_USER, PatchKey); }

void CreatePatchKey() {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, PatchKey, 0, nullptr, 0, KEY_WRITE,
                                           nullptr, &key, nullptr));
  RegDeleteValueA(key, "Patches");
  RegCloseKey(key);
}

void SetPatchValue(DWORD type, const std::string& bytes) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, PatchKey, 0, nullptr, 0, KEY_WRITE,
                                           nullptr, &key, nullptr));
  // The string form looks one byte past the given size for a forgotten terminator; a
  // copy with a non-zero byte there keeps an unterminated value exactly as given.
  std::string data = bytes + "#";
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExA(key, "Patches", 0, type, (const BYTE*)data.data(), (DWORD)bytes.size()));
  RegCloseKey(key);
}
