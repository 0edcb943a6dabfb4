#include "tests/win32/launcher/support/UiRobot.h"

#include "tests/win32/launcher/support/Screen.h"

std::string Describe(const SeenBox& box) {
  return box.Caption + ": " + box.Text + (box.HasIcon ? " (icon)" : " (no icon)");
}

// How long the other process may take to answer. Under emulated Wine a process that has
// just started can go seconds without looking at its queue, so a box may be visible
// before its loop runs: the robot waits for it rather than give up on a "hung" program
// and read an empty text.
const UINT TextAnswerTimeoutMs = 30000;

static std::string TextOf(HWND window) {
  // WM_GETTEXT reaches into the other process; GetWindowText would not ask it.
  char text[2048];
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), (LPARAM)text, SMTO_NORMAL,
                           TextAnswerTimeoutMs, &length)) {
    return std::string();
  }
  return std::string(text, (size_t)length);
}

struct BoxSearch {
  UiRobot* Robot;
  HWND Found;
};

static BOOL CALLBACK VisitTopLevel(HWND window, LPARAM parameter) {
  BoxSearch* search = (BoxSearch*)parameter;
  char className[64];
  if (!GetClassNameA(window, className, sizeof(className))) return TRUE;
  if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  if (search->Robot->Answered.count(window)) return TRUE;
  search->Found = window;
  return FALSE;
}

static BOOL CALLBACK VisitChild(HWND child, LPARAM parameter) {
  SeenBox* seen = (SeenBox*)parameter;
  char className[64];
  if (!GetClassNameA(child, className, sizeof(className))) return TRUE;
  if (lstrcmpiA(className, "Static") != 0) return TRUE;
  LONG style = GetWindowLongA(child, GWL_STYLE);
  if ((style & SS_TYPEMASK) == SS_ICON) {
    // The icon handle belongs to the other process: it can be seen, not identified.
    if (IsWindowVisible(child) && SendMessageA(child, STM_GETICON, 0, 0) != 0) seen->HasIcon = true;
  } else if (seen->Text.empty()) {
    seen->Text = TextOf(child);
  }
  return TRUE;
}

bool FindMessageBox(UiRobot* robot, HWND* box, SeenBox* seen) {
  BoxSearch search = {robot, nullptr};
  EnumWindows(VisitTopLevel, (LPARAM)&search);
  if (search.Found == nullptr) return false;
  *box = search.Found;
  *seen = SeenBox();
  seen->Caption = TextOf(search.Found);
  EnumChildWindows(search.Found, VisitChild, (LPARAM)seen);
  return true;
}

void PressOk(UiRobot* robot, HWND box) {
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  robot->Answered.insert(box);
}

HWND FindProgressWindow() { return FindWindowA("ZVUPD", "Updater"); }

bool ProgressShowsSecondLine(HWND window) {
  ProgressLook look;
  return LookAtProgress(window, &look) && look.OtherInk == 0 && look.FirstLineInk > 0 &&
         look.SecondLineInk > 0;
}

bool ProgressShowsOneLine(HWND window) {
  ProgressLook look;
  return LookAtProgress(window, &look) && look.OtherInk == 0 && look.FirstLineInk > 0 &&
         look.SecondLineInk == 0;
}
