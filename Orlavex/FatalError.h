// The plug-in's two ways of ending the process. Neither returns.
#pragma once

#include <cstdint>

// A fatal condition while the host runs: reported through the host (ErrorFromLine with the
// source line, its value passed with that line to ReportFatalError together with an empty
// text), then exit(-1). Used for a bad client state (310), an oversize outgoing packet (18)
// and a null roster entry (295).
[[noreturn]] void FatalErrorAtLine(int32_t line);

// A failure the host cannot report because the plug-in is not bound to it: a message box
// without owner, caption "Zorvane Critical Error", error icon, one OK button; then exit(-1).
[[noreturn]] void CriticalErrorExit(const char* text);
