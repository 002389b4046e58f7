#include "sample_drawing.h"

#include <math.h>
#include <wchar.h>

namespace {
std::vector<std::wstring>* textLog = nullptr;
}

void SetTextLog(std::vector<std::wstring>* log) { textLog = log; }

void NoteText(const wchar_t* text) {
  if (textLog) textLog->push_back(text);
}

HFONT MakeFont(int height, int weight, const wchar_t* face, bool italic, int escapement, int width) {
  return CreateFontW(-height, width, escapement, escapement, weight, italic, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
}

void Text(HDC dc, int x, int y, int height, int weight, const wchar_t* face, COLORREF colour, const wchar_t* text) {
  HFONT font = MakeFont(height, weight, face);
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, x, y, text, static_cast<int>(wcslen(text)));
  NoteText(text);
  SelectObject(dc, old);
  DeleteObject(font);
}

void Line(HDC dc, int x1, int y1, int x2, int y2, int width, COLORREF colour, int style) {
  HPEN pen = CreatePen(style, width, colour);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
  SelectObject(dc, old);
  DeleteObject(pen);
}

void Box(HDC dc, int left, int top, int right, int bottom, COLORREF fill, bool ellipse) {
  HBRUSH brush = CreateSolidBrush(fill);
  HPEN pen = CreatePen(PS_SOLID, 3, RGB(40, 40, 40));
  HGDIOBJ oldBrush = SelectObject(dc, brush), oldPen = SelectObject(dc, pen);
  if (ellipse)
    Ellipse(dc, left, top, right, bottom);
  else
    Rectangle(dc, left, top, right, bottom);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

void FillSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  RECT area = {left, top, right, bottom};
  FillRect(dc, &area, brush);
  DeleteObject(brush);
}

// Sky, hills and sun in soft gradients with grain, so that it does not compress much better than
// a real photograph.
std::vector<BYTE> PhotoBits(int w, int h, int seed) {
  std::vector<BYTE> bits(static_cast<size_t>(w) * h * 3);
  unsigned noise = 12345u + seed;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      noise = noise * 1103515245u + 12345u;
      int grain = static_cast<int>((noise >> 16) % 17) - 8;
      double hill = h * 0.6 + 30 * sin(x / 40.0 + seed) + 15 * sin(x / 13.0);
      double sun = hypot(x - w * 0.75, y - h * 0.25);
      int r, g, b;
      if (sun < 36) {
        r = 255, g = 230 - static_cast<int>(sun), b = 120;
      } else if (y < hill) {
        r = 90 + y / 4, g = 140 + y / 5, b = 230 - y / 8;
      } else {
        r = 40 + (x % 97) / 3, g = 110 + static_cast<int>(y - hill) / 2, b = 50;
      }
      BYTE* p = &bits[(static_cast<size_t>(h - 1 - y) * w + x) * 3];  // bottom-up rows
      auto clamp = [](int v) { return static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : v); };
      p[0] = clamp(b + grain), p[1] = clamp(g + grain), p[2] = clamp(r + grain);
    }
  return bits;
}

void Photo(HDC dc, int left, int top, int width, int height, int seed) {
  const int w = 480, h = 320;
  std::vector<BYTE> bits = PhotoBits(w, h, seed);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  StretchDIBits(dc, left, top, width, height, 0, 0, w, h, bits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}
