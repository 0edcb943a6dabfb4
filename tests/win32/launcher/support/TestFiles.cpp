#include "tests/win32/launcher/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>

std::string RequiredEnv(const char* name) {
  const char* value = getenv(name);
  if (value == NULL || *value == 0) {
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
    CreateDirectoryA(path.substr(0, at).c_str(), NULL);
  }
  CreateDirectoryA(path.c_str(), NULL);
}

void FreshFolder(const std::string& path) {
  RemoveTree(path);
  MakeFolders(path);
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool ReadBytes(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char buffer[65536];
  DWORD read = 0;
  BOOL ok;
  while ((ok = ReadFile(file, buffer, sizeof(buffer), &read, NULL)) && read > 0) {
    bytes->append(buffer, read);
  }
  CloseHandle(file);
  return ok != FALSE;
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

static const char PatchKey[] = "Software\\Ystrel\\Patch";

void DeletePatchKey() { RegDeleteKeyA(HKEY_CURRENT_USER, PatchKey); }

void CreatePatchKey() {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_CURRENT_USER, PatchKey, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL));
  RegDeleteValueA(key, "Patches");
  RegCloseKey(key);
}

void SetPatchValue(DWORD type, const std::string& bytes) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_CURRENT_USER, PatchKey, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL));
  // The string form looks one byte past the given size for a forgotten terminator; a
  // copy with a non-zero byte there keeps an unterminated value exactly as given.
  std::string data = bytes + "#";
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExA(key, "Patches", 0, type, (const BYTE*)data.data(), (DWORD)bytes.size()));
  RegCloseKey(key);
}
