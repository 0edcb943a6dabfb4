// Whole files as byte strings through the standard library, for tests that run natively
// and under Wine alike.
#pragma once
#include <string>

// The file's bytes, or an empty string when it cannot be read.
std::string ReadAll(const std::string& path);
// Replaces the file with bytes; fails the current test when it cannot.
void WriteAll(const std::string& path, const std::string& bytes);
// Whether anything is at path: a symbolic link counts, even one that leads nowhere.
bool Exists(const std::string& path);
