#include "sample_pages.h"

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <vector>

namespace {

void Text(HDC dc, int x, int y, int height, int weight, const wchar_t* face, COLORREF colour, const wchar_t* text) {
  HFONT font = CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, x, y, text, static_cast<int>(wcslen(text)));
  SelectObject(dc, old);
  DeleteObject(font);
}

void Line(HDC dc, int x1, int y1, int x2, int y2, int width, COLORREF colour, int style = PS_SOLID) {
  HPEN pen = CreatePen(style, width, colour);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
  SelectObject(dc, old);
  DeleteObject(pen);
}

void Box(HDC dc, int left, int top, int right, int bottom, COLORREF fill, bool ellipse = false) {
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

// A photograph-like image: sky, hills and sun in soft gradients with grain, so that it does not
// compress much better than a real photograph.
void Photo(HDC dc, int left, int top, int width, int height, int seed) {
  const int w = 480, h = 320;
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
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  StretchDIBits(dc, left, top, width, height, 0, 0, w, h, bits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

void Report(HDC dc, LONG width, LONG height, int number) {
  int margin = width / 10;
  wchar_t line[128];
  swprintf(line, 128, L"Quarterly report, page %d", number);
  Text(dc, margin, margin, 90, FW_BOLD, L"Arial", RGB(20, 40, 120), line);
  Line(dc, margin, margin + 130, width - margin, margin + 130, 8, RGB(20, 40, 120));
  static const wchar_t* paragraph[] = {
      L"Revenue rose by 4 % against the last quarter; costs stayed level.",
      L"The new printer driver turns every page into a PDF document.",
      L"Lines, fills, text and images are drawn by the graphics engine.",
      L"0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz",
  };
  int y = margin + 200;
  for (int i = 0; i < 4; ++i, y += 60) Text(dc, margin, y, 38, FW_NORMAL, L"Times New Roman", RGB(0, 0, 0), paragraph[i]);
  Text(dc, margin, y + 20, 30, FW_NORMAL, L"Courier New", RGB(160, 0, 0), L"monospaced: printf(\"%d\\n\", 42);");
  y += 120;
  Photo(dc, margin, y, (width - 2 * margin) * 3 / 5, (width - 2 * margin) * 2 / 5, number);
  int right = margin + (width - 2 * margin) * 3 / 5 + 60;
  Box(dc, right, y, width - margin, y + 300, RGB(250, 200, 60));
  Box(dc, right, y + 360, width - margin, y + 700, RGB(60, 160, 220), true);
  y += (width - 2 * margin) * 2 / 5 + 80;
  for (int i = 0; i < 12; ++i)
    Line(dc, margin, y + i * 25, width - margin - i * 60, y + i * 25, 1 + i % 4, RGB(i * 20, 80, 200 - i * 15));
  Line(dc, margin, y + 330, width - margin, height - margin, 5, RGB(0, 120, 0), PS_SOLID);
  Text(dc, width / 2 - 60, height - margin / 2, 30, FW_NORMAL, L"Arial", RGB(90, 90, 90), line + 18);
}

void Chart(HDC dc, LONG width, LONG height, int number) {
  int margin = width / 12;
  Text(dc, margin, margin, 70, FW_BOLD, L"Arial", RGB(0, 0, 0), L"Sales by region");
  static const COLORREF colours[] = {RGB(230, 60, 60), RGB(60, 180, 75), RGB(0, 130, 200), RGB(245, 130, 48),
                                     RGB(145, 30, 180)};
  int base = margin + 900, bar = (width - 2 * margin) / 11;
  for (int i = 0; i < 5; ++i) {
    int tall = 150 + ((i * 37 + number * 53) % 600);
    Box(dc, margin + bar * (2 * i + 1), base - tall, margin + bar * (2 * i + 2), base, colours[i]);
  }
  Line(dc, margin, base, width - margin, base, 4, RGB(0, 0, 0));
  int cx = width / 2, cy = base + 700, r = 500;
  HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 255, 255));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  double start = 0;
  for (int i = 0; i < 5; ++i) {
    double end = start + (0.1 + 0.05 * i) * 2 * 3.14159265;
    HBRUSH brush = CreateSolidBrush(colours[i]);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Pie(dc, cx - r, cy - r, cx + r, cy + r, cx + static_cast<int>(r * cos(start)), cy - static_cast<int>(r * sin(start)),
        cx + static_cast<int>(r * cos(end)), cy - static_cast<int>(r * sin(end)));
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
    start = end;
  }
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  for (int i = 0; i < 20; ++i)
    Line(dc, margin, height - margin - i * 20, width - margin, height - margin - i * 35, 2, RGB(0, 0, 0), PS_DASH);
}

}  // namespace

bool SamplePageByName(const wchar_t* name, SamplePage& kind) {
  if (wcscmp(name, L"report") == 0) kind = SamplePage::Report;
  else if (wcscmp(name, L"chart") == 0) kind = SamplePage::Chart;
  else if (wcscmp(name, L"photo") == 0) kind = SamplePage::Photo;
  else if (wcscmp(name, L"blank") == 0) kind = SamplePage::Blank;
  else return false;
  return true;
}

void DrawSamplePage(HDC dc, SamplePage kind, LONG width, LONG height, int number) {
  switch (kind) {
    case SamplePage::Report: Report(dc, width, height, number); break;
    case SamplePage::Chart: Chart(dc, width, height, number); break;
    case SamplePage::Photo: Photo(dc, 0, 0, width, height, number); break;
    case SamplePage::Blank: break;
  }
}

HENHMETAFILE RecordSamplePage(const wchar_t* path, SamplePage kind, LONG widthMm, LONG heightMm, int number) {
  HDC reference = GetDC(nullptr);
  RECT frame = {0, 0, widthMm * 100, heightMm * 100};  // hundredths of a millimetre
  HDC dc = CreateEnhMetaFileW(reference, path, &frame, L"gdiplay\0sample page\0");
  if (!dc) {
    ReleaseDC(nullptr, reference);
    return nullptr;
  }
  // Logical units of 0.1 mm over the whole frame, whatever the reference device's resolution.
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, widthMm * 10, heightMm * 10, nullptr);
  SetViewportExtEx(dc, MulDiv(widthMm, GetDeviceCaps(reference, HORZRES), GetDeviceCaps(reference, HORZSIZE)),
                   MulDiv(heightMm, GetDeviceCaps(reference, VERTRES), GetDeviceCaps(reference, VERTSIZE)), nullptr);
  ReleaseDC(nullptr, reference);
  DrawSamplePage(dc, kind, widthMm * 10, heightMm * 10, number);
  return CloseEnhMetaFile(dc);
}
