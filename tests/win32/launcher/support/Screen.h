// Screen captures for launcher tests: the whole screen as RGB, saved as PNG.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct ScreenImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;  // rows top-down, 3 bytes per pixel
};

// Copies what the display shows, every window of every process included.
bool CaptureScreen(ScreenImage* image);
bool SavePng(const ScreenImage& image, const std::string& path);
// Captures the screen and saves it; false when either step fails.
bool SaveScreenshot(const std::string& path);

// What the progress window shows on screen: pixels that differ from the light grey of
// its image, on its first text line (rows 80 to 95), its second (rows 100 to 115) and
// everywhere else in its client area. A window that the system has mapped but that has
// not painted its image yet shows ink everywhere.
struct ProgressLook {
  int FirstLineInk = 0;
  int SecondLineInk = 0;
  int OtherInk = 0;
};
bool LookAtProgress(HWND window, ProgressLook* look);
