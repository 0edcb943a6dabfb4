#include "tests/portable/support/FileBytes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

std::string ReadAll(const std::string& path) {
  std::string bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return bytes;
  char chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  fclose(file);
  return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  size_t written = fwrite(bytes.data(), 1, bytes.size(), file);
  int closed = fclose(file);
  EXPECT_EQ(written, bytes.size()) << path;
  EXPECT_EQ(closed, 0) << path;
}

bool Exists(const std::string& path) {
  struct stat info;
#ifdef _WIN32
  return stat(path.c_str(), &info) == 0;
#else
  // A link left behind is something left behind, wherever it leads.
  return lstat(path.c_str(), &info) == 0;
#endif
}
