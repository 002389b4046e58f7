// calls_pages: records the pages gdiplay's call tests print, each drawing a few things whose DDI
// calls the test knows (A4, logical units of 0.1 mm):
//   calls_pages shapes|text|images OUT.emf
#include <windows.h>

#include <string.h>
#include <wchar.h>

#include <vector>

namespace {

void Select(HDC dc, HGDIOBJ pen, HGDIOBJ brush) {
  DeleteObject(SelectObject(dc, pen));
  DeleteObject(SelectObject(dc, brush));
}

void Shapes(HDC dc) {
  Select(dc, CreatePen(PS_SOLID, 10, RGB(0, 0, 0)), CreateSolidBrush(RGB(255, 0, 0)));
  Rectangle(dc, 100, 100, 600, 400);  // StrokeAndFillPath, geometric 1 mm pen
  Select(dc, GetStockObject(NULL_PEN), CreateSolidBrush(RGB(0, 0, 255)));
  Ellipse(dc, 700, 100, 1200, 400);  // FillPath with béziers
  Select(dc, CreatePen(PS_DASH, 0, RGB(0, 128, 0)), GetStockObject(NULL_BRUSH));
  POINT corner[] = {{100, 500}, {600, 500}, {600, 800}};
  Polyline(dc, corner, 3);  // StrokePath, cosmetic dashes
  Select(dc, CreatePen(PS_SOLID, 0, RGB(0, 0, 0)), GetStockObject(NULL_BRUSH));
  MoveToEx(dc, 100, 900, nullptr);
  LineTo(dc, 1200, 900);  // LineTo
  Select(dc, GetStockObject(NULL_PEN), CreateSolidBrush(RGB(255, 255, 0)));
  SaveDC(dc);
  IntersectClipRect(dc, 100, 1000, 600, 1300);
  Rectangle(dc, 50, 950, 1000, 1500);  // FillPath clipped to one rectangle
  RestoreDC(dc, -1);
  SaveDC(dc);
  ExcludeClipRect(dc, 800, 1100, 900, 1200);
  Rectangle(dc, 700, 1000, 1000, 1300);  // FillPath with a complex clip
  RestoreDC(dc, -1);
  HBRUSH fill = CreateSolidBrush(RGB(10, 20, 30));
  RECT box = {100, 1600, 600, 1800};
  FillRect(dc, &box, fill);  // BitBlt PATCOPY
  DeleteObject(fill);
  Select(dc, GetStockObject(NULL_PEN), CreateHatchBrush(HS_CROSS, RGB(200, 0, 0)));
  Rectangle(dc, 700, 1600, 1200, 1800);  // FillPath with a pattern the driver realizes
  Select(dc, GetStockObject(NULL_PEN), CreateSolidBrush(RGB(128, 0, 128)));
  SetPolyFillMode(dc, WINDING);
  POINT star[] = {{350, 1900}, {450, 2250}, {150, 2030}, {550, 2030}, {250, 2250}};
  Polygon(dc, star, 5);  // FillPath, winding
  SetPolyFillMode(dc, ALTERNATE);
  Select(dc, CreatePen(PS_SOLID, 0, RGB(0, 0, 0)), CreateSolidBrush(RGB(0, 200, 200)));
  BeginPath(dc);
  MoveToEx(dc, 700, 1900, nullptr);
  LineTo(dc, 1200, 1900);
  LineTo(dc, 950, 2250);
  CloseFigure(dc);
  EndPath(dc);
  StrokeAndFillPath(dc);  // a path of the application's own
  LOGBRUSH solid = {BS_SOLID, RGB(0, 0, 160), 0};
  Select(dc, ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT | PS_JOIN_MITER, 20, &solid, 0, nullptr),
         GetStockObject(NULL_BRUSH));
  POINT zigzag[] = {{100, 2400}, {400, 2700}, {700, 2400}, {1000, 2700}};
  Polyline(dc, zigzag, 4);  // StrokePath, geometric dashes, flat caps, miter joins
  Select(dc, GetStockObject(BLACK_PEN), GetStockObject(WHITE_BRUSH));
}

void Text(HDC dc, int x, int y, int height, int weight, bool italic, int escapement, const wchar_t* face,
          const wchar_t* text, UINT options = 0, const RECT* rect = nullptr) {
  HFONT font = CreateFontW(-height, 0, escapement, escapement, weight, italic, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
  DeleteObject(SelectObject(dc, font));
  ExtTextOutW(dc, x, y, options, rect, text, static_cast<UINT>(wcslen(text)), nullptr);
}

void Texts(HDC dc) {
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  Text(dc, 100, 100, 80, FW_NORMAL, false, 0, L"DejaVu Sans", L"Hello, world");
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(255, 255, 0));
  SetTextColor(dc, RGB(0, 0, 160));
  Text(dc, 100, 300, 60, FW_NORMAL, false, 0, L"Liberation Serif", L"Opaque text");
  SetBkMode(dc, TRANSPARENT);
  Text(dc, 1500, 1500, 60, FW_NORMAL, false, 900, L"DejaVu Sans", L"Up");
  RECT box = {100, 900, 400, 1000};
  Text(dc, 100, 900, 80, FW_NORMAL, false, 0, L"DejaVu Sans", L"Clipped text here", ETO_CLIPPED, &box);
  Text(dc, 100, 1100, 60, FW_BOLD, true, 0, L"DejaVu Math TeX Gyre", L"Bold Italic");
  Text(dc, 100, 1300, 60, FW_NORMAL, false, 0, L"Noto Sans CJK SC", L"\x6C49\x5B57");
  SetTextAlign(dc, TA_BASELINE | TA_RIGHT);
  Text(dc, 2000, 1700, 60, FW_NORMAL, false, 0, L"Quill Test Sans", L"Private");
  SetTextAlign(dc, TA_TOP | TA_LEFT);
  Text(dc, 100, 1500, 60, FW_BOLD, false, 0, L"DejaVu Sans", L"Bold");  // a face of its own in the family
  DeleteObject(SelectObject(dc, GetStockObject(SYSTEM_FONT)));
}

// A DIB section of 32-bit pixels (premultiplied alpha) painted with a pattern of its own.
HBITMAP Pixels(HDC dc, int width, int height, BYTE alpha, void** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
  BYTE* p = static_cast<BYTE*>(*bits);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x, p += 4) {
      BYTE a = x < width / 2 ? alpha : 255;
      bool key = (x / 4 + y / 4) % 2 == 0;
      p[0] = static_cast<BYTE>((key ? 255 : x * 6) * a / 255);
      p[1] = static_cast<BYTE>((key ? 0 : y * 8) * a / 255);
      p[2] = static_cast<BYTE>(255 * a / 255);
      p[3] = a;
    }
  return bitmap;
}

void Images(HDC dc) {
  // A 24-bit photograph stretched, and an 8-bit image with four colours at its own size.
  std::vector<BYTE> rgb(40 * 30 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<BYTE>(i * 7);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 40;
  info.bmiHeader.biHeight = 30;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  StretchDIBits(dc, 100, 100, 400, 300, 0, 0, 40, 30, rgb.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Colours[4];
  } indexed = {};
  indexed.Header = info.bmiHeader;
  indexed.Header.biWidth = 16;
  indexed.Header.biHeight = 16;
  indexed.Header.biBitCount = 8;
  indexed.Header.biClrUsed = 4;
  indexed.Colours[0] = {0, 0, 255, 0};  // red
  indexed.Colours[1] = {0, 255, 0, 0};
  indexed.Colours[2] = {255, 0, 0, 0};
  indexed.Colours[3] = {255, 255, 255, 0};
  std::vector<BYTE> index(16 * 16);
  for (size_t i = 0; i < index.size(); ++i) index[i] = static_cast<BYTE>((i / 3) % 4);
  SetDIBitsToDevice(dc, 700, 100, 16, 16, 0, 0, 0, 16, index.data(), reinterpret_cast<BITMAPINFO*>(&indexed),
                    DIB_RGB_COLORS);
  // From a memory DC: SRCCOPY and SRCINVERT, alpha-blended and with a key colour.
  HDC memory = CreateCompatibleDC(dc);
  void* bits = nullptr;
  HBITMAP bitmap = Pixels(dc, 32, 32, 128, &bits);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(dc, 100, 600, 32, 32, memory, 0, 0, SRCCOPY);
  BitBlt(dc, 300, 600, 32, 32, memory, 0, 0, SRCINVERT);
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 200, AC_SRC_ALPHA};
  GdiAlphaBlend(dc, 500, 600, 320, 320, memory, 0, 0, 32, 32, blend);
  GdiTransparentBlt(dc, 900, 600, 320, 320, memory, 0, 0, 32, 32, RGB(255, 0, 255));
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  // Gradients: a horizontal rectangle and a triangle.
  TRIVERTEX vertices[] = {{100, 1100, 0xff00, 0, 0, 0}, {600, 1300, 0, 0, 0xff00, 0}, {800, 1100, 0, 0xff00, 0, 0},
                          {1200, 1100, 0xff00, 0xff00, 0, 0}, {1000, 1400, 0, 0xff00, 0xff00, 0}};
  GRADIENT_RECT rect = {0, 1};
  GdiGradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_H);
  GRADIENT_TRIANGLE triangle = {2, 3, 4};
  GdiGradientFill(dc, vertices, 5, &triangle, 1, GRADIENT_FILL_TRIANGLE);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  HDC reference = GetDC(nullptr);
  RECT frame = {0, 0, 21000, 29700};
  HDC dc = CreateEnhMetaFileW(reference, argv[2], &frame, L"calls_pages\0\0");
  if (!dc) return 1;
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 2100, 2970, nullptr);
  SetViewportExtEx(dc, MulDiv(210, GetDeviceCaps(reference, HORZRES), GetDeviceCaps(reference, HORZSIZE)),
                   MulDiv(297, GetDeviceCaps(reference, VERTRES), GetDeviceCaps(reference, VERTSIZE)), nullptr);
  ReleaseDC(nullptr, reference);
  if (wcscmp(argv[1], L"shapes") == 0)
    Shapes(dc);
  else if (wcscmp(argv[1], L"text") == 0)
    Texts(dc);
  else if (wcscmp(argv[1], L"images") == 0)
    Images(dc);
  else
    return 2;
  HENHMETAFILE page = CloseEnhMetaFile(dc);
  if (!page) return 1;
  DeleteEnhMetaFile(page);
  return 0;
}
