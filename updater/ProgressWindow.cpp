// The progress window and its off-screen image.
#include "updater/ProgressWindow.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

HWND ProgressWindow;
HDC ProgressImage;
HFONT ProgressFont;
int32_t CloseRequested;

static const char ProgressClass[] = "ZVUPD";

// Enough for every text of the run; the longest is the waiting text with a 255-character
// file name, about 330 characters.
static const size_t ProgressTextSize = 512;

// The grey of LTGRAY_BRUSH, so that each character cell is drawn on the background.
static const COLORREF ProgressBackground = RGB(192, 192, 192);

static void CreateProgressImage(HWND window) {
  HDC windowDc = GetDC(window);
  ProgressImage = CreateCompatibleDC(windowDc);
  // Compatible with the window's DC: a bitmap compatible with the fresh memory DC would
  // be monochrome.
  HBITMAP bitmap = CreateCompatibleBitmap(windowDc, ProgressWidth, ProgressHeight);
  SelectObject(ProgressImage, bitmap);
  SelectObject(ProgressImage, GetStockObject(LTGRAY_BRUSH));
  SetTextColor(ProgressImage, RGB(0, 0, 0));
  PatBlt(ProgressImage, 0, 0, ProgressWidth, ProgressHeight, PATCOPY);
  ReleaseDC(window, windowDc);

  ProgressFont = CreateFontA(16, 8, 0, 0, 400, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, 0, 0,
                             PROOF_QUALITY, FIXED_PITCH, nullptr);
  SelectObject(ProgressImage, ProgressFont);
  SetBkColor(ProgressImage, ProgressBackground);
}

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateProgressImage(window);
      return 0;
    case WM_PAINT: {
      // The whole image, whatever needs repainting: a single copy is cheap.
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      BitBlt(dc, 0, 0, ProgressWidth, ProgressHeight, ProgressImage, 0, 0, SRCCOPY);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_CLOSE:
      // Closing only asks the run to stop; the window stays until the run closes it.
      CloseRequested = 1;
      return 0;
    case WM_DESTROY:
      DeleteObject(ProgressFont);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void OpenProgressWindow() {
  CloseRequested = 0;

  WNDCLASSA windowClass;
  ZeroMemory(&windowClass, sizeof(windowClass));
  windowClass.style = 0;
  windowClass.lpfnWndProc = ProgressWindowProc;
  windowClass.hInstance = LauncherInstance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
  windowClass.lpszClassName = ProgressClass;
  RegisterClassA(&windowClass);

  ProgressWindow = CreateWindowExA(0, ProgressClass, "Updater", WS_CAPTION | WS_SYSMENU,
                                   CW_USEDEFAULT, CW_USEDEFAULT, ProgressWidth, ProgressHeight,
                                   nullptr, nullptr, LauncherInstance, nullptr);
  ShowWindow(ProgressWindow, SW_RESTORE);
  UpdateWindow(ProgressWindow);
}

void ShowProgress(const char* format, ...) {
  char text[ProgressTextSize];
  va_list values;
  va_start(values, format);
  vsnprintf(text, sizeof(text), format, values);
  va_end(values);

  size_t length = strlen(text);
  const char* lineFeed = strchr(text, '\n');
  size_t firstLength = lineFeed != nullptr ? (size_t)(lineFeed - text) : length;

  PatBlt(ProgressImage, 0, 0, ProgressWidth, ProgressHeight, PATCOPY);
  TextOutA(ProgressImage, ProgressTextX, ProgressFirstLineY, text, (int)firstLength);
  // Only the first line feed splits; a further one is drawn as part of the second line.
  if (firstLength + 1 < length) {
    TextOutA(ProgressImage, ProgressTextX, ProgressSecondLineY, text + firstLength + 1,
             (int)(length - firstLength - 1));
  }
  InvalidateRect(ProgressWindow, nullptr, FALSE);
  UpdateWindow(ProgressWindow);
}

int PollProgressWindow() {
  // Once closing was asked for, the queue is left alone.
  if (CloseRequested == 1) return 1;
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return 0;
  if (message.message == WM_CLOSE && message.hwnd == ProgressWindow) return 1;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return 0;
}

void CloseProgressWindow() {
  DeleteDC(ProgressImage);
  DestroyWindow(ProgressWindow);
}
