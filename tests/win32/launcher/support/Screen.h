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

// Pixels in the client area of `window` (rows [top, bottom), columns from `left` to the
// client area's right edge) that differ from the light grey of the progress image.
int CountInk(HWND window, int left, int top, int bottom);
