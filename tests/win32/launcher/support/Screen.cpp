#include "tests/win32/launcher/support/Screen.h"

#include <cstdio>

bool CaptureScreen(ScreenImage* image) {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return false;
  int width = GetDeviceCaps(screen, HORZRES);
  int height = GetDeviceCaps(screen, VERTRES);

  BITMAPINFO info;
  ZeroMemory(&info, sizeof(info));
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BOOL copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  if (copied) {
    image->Width = width;
    image->Height = height;
    image->Rgb.resize((size_t)width * height * 3);
    const uint8_t* source = (const uint8_t*)bits;
    for (size_t i = 0; i < (size_t)width * height; i++) {
      image->Rgb[i * 3 + 0] = source[i * 4 + 2];
      image->Rgb[i * 3 + 1] = source[i * 4 + 1];
      image->Rgb[i * 3 + 2] = source[i * 4 + 0];
    }
  }
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
  ReleaseDC(nullptr, screen);
  return copied != FALSE;
}

// PNG with stored (uncompressed) deflate blocks: no compression library is needed and
// the files stay small enough for a 1024 x 768 screen.
static uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size) {
  crc = ~crc;
  for (size_t i = 0; i < size; i++) {
    crc ^= data[i];
    for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

static void PutBig32(std::vector<uint8_t>* out, uint32_t value) {
  out->push_back((uint8_t)(value >> 24));
  out->push_back((uint8_t)(value >> 16));
  out->push_back((uint8_t)(value >> 8));
  out->push_back((uint8_t)value);
}

static void PutChunk(std::vector<uint8_t>* out, const char* type,
                     const std::vector<uint8_t>& data) {
  PutBig32(out, (uint32_t)data.size());
  size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data.begin(), data.end());
  PutBig32(out, Crc32(0, out->data() + start, out->size() - start));
}

bool SavePng(const ScreenImage& image, const std::string& path) {
  std::vector<uint8_t> raw;  // each row: filter byte 0, then RGB
  size_t rowBytes = (size_t)image.Width * 3;
  for (int y = 0; y < image.Height; y++) {
    raw.push_back(0);
    raw.insert(raw.end(), image.Rgb.begin() + y * rowBytes, image.Rgb.begin() + (y + 1) * rowBytes);
  }

  std::vector<uint8_t> zlib = {0x78, 0x01};
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    size_t size = raw.size() - at < 65535 ? raw.size() - at : 65535;
    zlib.push_back(at + size == raw.size() ? 1 : 0);  // BFINAL, BTYPE 00 (stored)
    zlib.push_back((uint8_t)size);
    zlib.push_back((uint8_t)(size >> 8));
    zlib.push_back((uint8_t)~size);
    zlib.push_back((uint8_t)(~size >> 8));
    zlib.insert(zlib.end(), raw.begin() + at, raw.begin() + at + size);
    if (size == 0) break;
  }
  PutBig32(&zlib, (b << 16) | a);

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBig32(&header, (uint32_t)image.Width);
  PutBig32(&header, (uint32_t)image.Height);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", zlib);
  PutChunk(&png, "IEND", {});

  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = fwrite(png.data(), 1, png.size(), file) == png.size();
  return fclose(file) == 0 && ok;
}

bool SaveScreenshot(const std::string& path) {
  ScreenImage image;
  return CaptureScreen(&image) && SavePng(image, path);
}

bool LookAtProgress(HWND window, ProgressLook* look) {
  ScreenImage image;
  if (!CaptureScreen(&image)) return false;
  RECT client;
  if (!GetClientRect(window, &client)) return false;
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  *look = ProgressLook();
  for (int y = 0; y < client.bottom; y++) {
    for (int x = 0; x < client.right; x++) {
      int sx = origin.x + x, sy = origin.y + y;
      if (sx < 0 || sy < 0 || sx >= image.Width || sy >= image.Height) return false;
      const uint8_t* p = &image.Rgb[((size_t)sy * image.Width + sx) * 3];
      if (p[0] == 192 && p[1] == 192 && p[2] == 192) continue;
      if (x >= 40 && y >= 80 && y < 96)
        look->FirstLineInk++;
      else if (x >= 40 && y >= 100 && y < 116)
        look->SecondLineInk++;
      else
        look->OtherInk++;
    }
  }
  return true;
}
