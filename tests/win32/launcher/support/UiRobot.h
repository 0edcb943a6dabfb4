// The "UI robot": finds the message boxes of the launcher under test, reads them the way
// a user would (caption, text, whether an icon is shown), answers them with OK, and
// watches the "Updater" window. Works on every process of the Wine prefix.
#pragma once
#include <windows.h>

#include <set>
#include <string>
#include <vector>

struct SeenBox {
  std::string Caption;
  std::string Text;
  bool HasIcon = false;
};

// "Caption: Text (icon)" or "(no icon)", as the tests compare it.
std::string Describe(const SeenBox& box);

struct UiRobot {
  std::set<HWND> Answered;
};

// The next visible message box (a top-level "#32770" window) that the robot has not
// answered yet; false when there is none.
bool FindMessageBox(UiRobot* robot, HWND* box, SeenBox* seen);
// Presses OK (WM_COMMAND IDOK) and remembers the box as answered.
void PressOk(UiRobot* robot, HWND box);

// The progress window (class "ZVUPD", title "Updater"), or null.
HWND FindProgressWindow();
// True when the progress window is painted and shows a message of two lines, which only
// the waiting text has; ProgressShowsOneLine: painted, with a message of one line.
bool ProgressShowsSecondLine(HWND window);
bool ProgressShowsOneLine(HWND window);
