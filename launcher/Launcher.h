// Zorvane.exe's entry: the update switch, the package path from the registry and the
// start of the game.
#pragma once
#include <cstddef>

// The pending package's path, read from the registry (at most 255 characters and the
// zero). RunUpdate gets it as the package path.
const size_t PackagePathSize = 256;
extern char PackagePath[PackagePathSize];

// Returns the text to hand on to the game, from its first non-blank character; or null
// when the text is the update switch, in which case the update has already run and its
// messages have been shown.
const char* HandleUpdateSwitch(const char* argumentText);

// Reads HKCU\Software\Ystrel\Patch, value "Patches", into PackagePath: 0 when it holds
// the path, -1 when the key or the value cannot be read.
int ReadPackagePath();

// Starts Game.exe from the given directory with the argument text after its quoted
// path; shows the start-failure message when it cannot be started.
void StartGame(const char* currentDirectory, const char* argumentText);
