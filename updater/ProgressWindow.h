// The "Updater" window that shows the update run's current stage. It has no message loop
// of its own: the run polls it at fixed points, one message at a time.
#pragma once
#include <windows.h>

#include <cstdint>

// The launcher module's instance handle, kept by WinMain; the window's class and the
// window are registered and created with it.
extern HINSTANCE LauncherInstance;

extern HWND ProgressWindow;
extern HDC ProgressImage;  // off-screen 450 x 200 image the window repaints from
extern HFONT ProgressFont;
extern int32_t CloseRequested;  // 1 once the window has received WM_CLOSE

const int ProgressWidth = 450;  // outer size of the window and size of the image
const int ProgressHeight = 200;
const int ProgressTextX = 40;
const int ProgressFirstLineY = 80;
const int ProgressSecondLineY = 100;

void OpenProgressWindow();
// Formats the message (%s and %d placeholders) and shows it, split at its first line feed
// into two lines; the window is repainted before it returns.
void ShowProgress(const char* format, ...);
// Handles at most one pending message of the thread; 1 when the user has asked to close
// the window, else 0.
int PollProgressWindow();
void CloseProgressWindow();
LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
