// The zvpack commands. Each takes the arguments after its name and returns the exit
// code: 0 done, 1 usage error, 2 refused or failed.
#pragma once
#include <cstdint>

const int ExitOk = 0;
const int ExitUsage = 1;
const int ExitFailed = 2;

int KeygenCommand(int argc, char** argv);
int PackCommand(int argc, char** argv);
int InspectCommand(int argc, char** argv);
int PlanCommand(int argc, char** argv);

extern const char KeygenHelp[];
extern const char PackHelp[];
extern const char InspectHelp[];
extern const char PlanHelp[];

// True when argument is -h or --help.
bool IsHelpOption(const char* argument);
// Prints "zvpack: TEXT" and the command's help to stderr; returns ExitUsage.
int UsageError(const char* help, const char* text, const char* detail);
// "A.B.C.D", each 0 to 255, as the launcher's version word (A in the top byte).
bool ParseVersion(const char* text, uint32_t* version);
