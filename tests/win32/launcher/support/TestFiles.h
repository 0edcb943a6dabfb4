// Files, folders, the registry value and paths for the launcher tests, all through the
// platform's own calls so that they behave as the launcher sees them.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// An environment variable that the test registration sets; fails the test when missing.
std::string RequiredEnv(const char* name);
// A Unix path as the Windows side sees it through drive Z:.
std::string WindowsPath(const std::string& unixPath);
// The launcher tests' folder in the build tree (Windows form), e.g. its packages.
std::string LauncherTestDir();
std::string PackagesDir();

std::string JoinPath(const std::string& folder, const std::string& name);
// Removes a folder with everything in it (links are removed, not followed).
void RemoveTree(const std::string& path);
// A new, empty folder (its parents made as needed).
void FreshFolder(const std::string& path);
void MakeFolders(const std::string& path);
bool WriteBytes(const std::string& path, const std::string& bytes);
bool ReadBytes(const std::string& path, std::string* bytes);
// The file's bytes, or "<missing>" when it cannot be read.
std::string Contents(const std::string& path);
// The names in a folder, sorted, without "." and ".."; a folder's name ends in a backslash.
std::vector<std::string> ListFolder(const std::string& path);
bool FileExists(const std::string& path);
// Size without opening the file (which may be held without sharing), or -1.
int64_t FileSize(const std::string& path);
// Last-write time as 100 ns units since 1601 (a FILETIME), or 0 when unreadable.
uint64_t LastWriteTime(const std::string& path);
uint64_t FileTimeOfUnixSeconds(int64_t seconds);

// Starts zv_file_holder on the file, as a game window holding a module would, and waits
// until the file is really held; ReleaseFile ends the holder (null does nothing).
HANDLE HoldFile(const std::string& path);
void ReleaseFile(HANDLE holder);

// HKCU\Software\Ystrel\Patch, value "Patches".
void DeletePatchKey();
void CreatePatchKey();
void SetPatchValue(DWORD type, const std::string& bytes);
