// Pages of drawings: pens of every kind (dashes, widths, caps, joins, béziers), drawings through
// clip regions, and images blended over the page (AlphaBlend with per-pixel and constant alpha,
// TransparentBlt with a colour key, GradientFill).
#include "sample_drawing.h"

#include <string.h>
#include <wchar.h>

namespace {

void Polyline3(HDC dc, HPEN pen, int x, int y) {
  POINT points[] = {{x, y + 150}, {x + 120, y}, {x + 240, y + 150}, {x + 360, y + 20}};
  HGDIOBJ old = SelectObject(dc, pen);
  Polyline(dc, points, 4);
  SelectObject(dc, old);
  DeleteObject(pen);
}

// A 32-bit premultiplied picture with alpha falling off from its centre.
HBITMAP AlphaPicture(HDC reference, int w, int h, void** bitsOut) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return nullptr;
  BYTE* p = static_cast<BYTE*>(bits);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x, p += 4) {
      int dx = x - w / 2, dy = y - h / 2;
      int d = (dx * dx * 4) / (w * w / 64 + 1) + (dy * dy * 4) / (h * h / 64 + 1);  // 0 in the centre
      int alpha = 255 - d * 255 / 64;
      if (alpha < 0) alpha = 0;
      int r = 40 + x * 200 / w, g = 200 - y * 150 / h, b = 220;
      p[0] = static_cast<BYTE>(b * alpha / 255);
      p[1] = static_cast<BYTE>(g * alpha / 255);
      p[2] = static_cast<BYTE>(r * alpha / 255);
      p[3] = static_cast<BYTE>(alpha);
    }
  *bitsOut = bits;
  return bitmap;
}

}  // namespace

void DrawStrokesPage(HDC dc, LONG width, LONG, int number) {
  const int margin = 200;
  wchar_t heading[80];
  swprintf(heading, 80, L"Pens and strokes, sheet %d", number);
  Text(dc, margin, 150, 60, FW_BOLD, L"Liberation Sans", RGB(0, 0, 0), heading);
  // Cosmetic pens in GDI's styles.
  static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT};
  int y = 300;
  for (int style : styles) {
    Line(dc, margin, y, width - margin, y, 0, RGB(0, 0, 0), style);
    y += 30;
  }
  // Wide geometric pens: the three end caps, the three joins.
  static const DWORD caps[] = {PS_ENDCAP_FLAT, PS_ENDCAP_SQUARE, PS_ENDCAP_ROUND};
  static const DWORD joins[] = {PS_JOIN_MITER, PS_JOIN_BEVEL, PS_JOIN_ROUND};
  y += 60;
  for (int i = 0; i < 3; ++i) {
    HPEN pen = GeometricPen(PS_SOLID | caps[i] | joins[i], 40, RGB(30 + 80 * i, 80, 160));
    Polyline3(dc, pen, margin + i * 560, y);
    // The true ends of the wide line, to show where its caps go.
    Line(dc, margin + i * 560, y + 150, margin + i * 560 + 360, y + 20, 0, RGB(255, 255, 255));
  }
  y += 260;
  // Dashed geometric pens: styles of GDI and a user's own dashes, with round and flat caps.
  static const DWORD userDashes[] = {60, 20, 10, 20};
  HPEN dashed[] = {
      GeometricPen(PS_DASH | PS_ENDCAP_FLAT, 12, RGB(200, 0, 0)),
      GeometricPen(PS_DASH | PS_ENDCAP_ROUND | PS_JOIN_ROUND, 12, RGB(0, 140, 0)),
      GeometricPen(PS_DASHDOT | PS_ENDCAP_SQUARE, 12, RGB(0, 0, 200)),
      GeometricPen(PS_USERSTYLE | PS_ENDCAP_FLAT | PS_JOIN_BEVEL, 16, RGB(120, 0, 120), 4, userDashes),
  };
  for (HPEN pen : dashed) {
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, margin, y, nullptr);
    LineTo(dc, width - margin, y + 40);
    SelectObject(dc, old);
    DeleteObject(pen);
    y += 80;
  }
  // Béziers and arcs with a wide pen, and figures filled in both fill modes.
  y += 40;
  POINT curve[] = {{margin, y + 200}, {margin + 300, y - 100}, {margin + 500, y + 400}, {margin + 800, y + 100}};
  HPEN pen = GeometricPen(PS_SOLID | PS_ENDCAP_ROUND, 20, RGB(0, 100, 160));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  PolyBezier(dc, curve, 4);
  Arc(dc, margin + 900, y, margin + 1300, y + 300, margin + 1300, y + 150, margin + 900, y + 150);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  y += 420;
  POINT star[5];
  static const int starX[] = {0, 180, -200, 200, -180}, starY[] = {-220, 220, -80, -80, 220};
  HBRUSH brush = CreateSolidBrush(RGB(250, 190, 40));
  HPEN outline = CreatePen(PS_SOLID, 4, RGB(80, 40, 0));
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  oldPen = SelectObject(dc, outline);
  for (int mode = 0; mode < 2; ++mode) {
    int cx = margin + 300 + mode * 600, cy = y + 230;
    for (int i = 0; i < 5; ++i) star[i] = {cx + starX[i], cy + starY[i]};
    SetPolyFillMode(dc, mode == 0 ? ALTERNATE : WINDING);
    Polygon(dc, star, 5);
  }
  RoundRect(dc, margin + 1250, y, margin + 1650, y + 250, 80, 80);
  Chord(dc, margin + 1250, y + 280, margin + 1650, y + 500, margin + 1650, y + 390, margin + 1250, y + 300);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(outline);
  Text(dc, margin, y + 520, 36, FW_NORMAL, L"Liberation Sans", RGB(0, 0, 0), L"Alternate and winding fills.");
}

void DrawClippingPage(HDC dc, LONG width, LONG, int number) {
  const int margin = 200;
  wchar_t heading[80];
  swprintf(heading, 80, L"Clipped drawings, sheet %d", number);
  Text(dc, margin, 150, 60, FW_BOLD, L"Liberation Sans", RGB(0, 0, 0), heading);
  // A rectangle clip (IntersectClipRect): stripes cut at its edges.
  SaveDC(dc);
  IntersectClipRect(dc, margin + 100, 350, margin + 700, 750);
  for (int i = 0; i < 12; ++i) Line(dc, margin + i * 80, 300, margin + i * 80 + 400, 800, 20, RGB(0, 90 + i * 12, 200));
  RestoreDC(dc, -1);
  // An elliptic region with a hole (ExtSelectClipRgn): a photograph and text through it. Regions
  // are in device units, so they are made from the logical rectangle through LPtoDP.
  POINT corners[4] = {{margin + 900, 300}, {width - margin, 800}, {margin + 1100, 450}, {width - margin - 200, 650}};
  LPtoDP(dc, corners, 4);
  HRGN oval = CreateEllipticRgn(corners[0].x, corners[0].y, corners[1].x, corners[1].y);
  HRGN hole = CreateRectRgn(corners[2].x, corners[2].y, corners[3].x, corners[3].y);
  CombineRgn(oval, oval, hole, RGN_DIFF);
  SaveDC(dc);
  ExtSelectClipRgn(dc, oval, RGN_COPY);
  Photo(dc, margin + 900, 300, width - 2 * margin - 900, 500, number);
  Text(dc, margin + 950, 500, 50, FW_BOLD, L"Liberation Sans", RGB(255, 255, 255), L"Through the region");
  RestoreDC(dc, -1);
  DeleteObject(oval);
  DeleteObject(hole);
  // A path clip (text outlines would do too): filled circles seen through a diamond.
  SaveDC(dc);
  BeginPath(dc);
  POINT diamond[] = {{margin + 400, 900}, {margin + 800, 1300}, {margin + 400, 1700}, {margin, 1300}};
  Polygon(dc, diamond, 4);
  EndPath(dc);
  SelectClipPath(dc, RGN_AND);
  for (int i = 0; i < 6; ++i) Box(dc, margin + i * 100, 900 + i * 100, margin + i * 100 + 400, 1300 + i * 100,
                                  RGB(255 - i * 30, 80 + i * 25, 60), true);
  RestoreDC(dc, -1);
  Text(dc, margin, 1800, 36, FW_NORMAL, L"Liberation Sans", RGB(0, 0, 0),
       L"Stripes in a rectangle, a photograph in a ring, circles in a diamond.");
}

void DrawBlendingPage(HDC dc, LONG width, LONG, int number) {
  const int margin = 200;
  wchar_t heading[80];
  swprintf(heading, 80, L"Transparent images and gradients, sheet %d", number);
  Text(dc, margin, 150, 60, FW_BOLD, L"Liberation Sans", RGB(0, 0, 0), heading);
  // Something to blend over: coloured bands and a line of text.
  for (int i = 0; i < 6; ++i) FillSolid(dc, margin, 300 + i * 80, width - margin, 340 + i * 80, RGB(40 * i, 120, 220 - 30 * i));
  Text(dc, margin + 20, 400, 50, FW_BOLD, L"Liberation Serif", RGB(0, 0, 0), L"Text under the blended pictures");
  HDC source = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP picture = AlphaPicture(source, 160, 120, &bits);
  HGDIOBJ old = SelectObject(source, picture);
  BLENDFUNCTION perPixel = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(dc, margin, 280, 700, 520, source, 0, 0, 160, 120, perPixel);
  BLENDFUNCTION constant = {AC_SRC_OVER, 0, 128, 0};
  AlphaBlend(dc, margin + 900, 280, 700, 520, source, 0, 0, 160, 120, constant);
  SelectObject(source, old);
  DeleteObject(picture);
  // TransparentBlt: a photograph with a magenta frame and disc keyed out.
  const int w = 200, h = 120;
  std::vector<BYTE> photo = PhotoBits(w, h, number);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int dx = x - w / 2, dy = y - h / 2;
      if (x < 12 || y < 12 || x >= w - 12 || y >= h - 12 || dx * dx + dy * dy < 30 * 30) {
        BYTE* p = &photo[(static_cast<size_t>(y) * w + x) * 3];
        p[0] = 255, p[1] = 0, p[2] = 255;
      }
    }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* keyedBits = nullptr;
  HBITMAP keyed = CreateDIBSection(source, &info, DIB_RGB_COLORS, &keyedBits, nullptr, 0);
  if (keyed) memcpy(keyedBits, photo.data(), photo.size());  // rows of 600 bytes need no padding
  old = SelectObject(source, keyed);
  TransparentBlt(dc, margin, 900, 800, 480, source, 0, 0, w, h, RGB(255, 0, 255));
  SelectObject(source, old);
  DeleteObject(keyed);
  DeleteDC(source);
  // GradientFill: a horizontal and a vertical rectangle, and two triangles.
  TRIVERTEX band[] = {{margin + 900, 900, 0xff00, 0x2000, 0x2000, 0}, {width - margin, 1100, 0x2000, 0x2000, 0xff00, 0}};
  GRADIENT_RECT rect = {0, 1};
  GradientFill(dc, band, 2, &rect, 1, GRADIENT_FILL_RECT_H);
  TRIVERTEX column[] = {{margin + 900, 1150, 0xff00, 0xff00, 0xff00, 0}, {width - margin, 1380, 0x0000, 0x6000, 0x3000, 0}};
  GradientFill(dc, column, 2, &rect, 1, GRADIENT_FILL_RECT_V);
  TRIVERTEX corners[] = {{margin, 1500, 0xff00, 0, 0, 0}, {margin + 800, 1500, 0, 0xff00, 0, 0},
                         {margin, 2100, 0, 0, 0xff00, 0}, {margin + 800, 2100, 0xff00, 0xff00, 0, 0}};
  GRADIENT_TRIANGLE triangles[] = {{0, 1, 2}, {1, 2, 3}};
  GradientFill(dc, corners, 4, triangles, 2, GRADIENT_FILL_TRIANGLE);
  Text(dc, margin, 2200, 36, FW_NORMAL, L"Liberation Sans", RGB(0, 0, 0), L"Per-pixel alpha, constant alpha, colour key, gradients.");
}
