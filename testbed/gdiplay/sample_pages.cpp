#include "sample_pages.h"

#include "sample_drawing.h"

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <vector>

namespace {

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

namespace {
const struct {
  const wchar_t* Name;
  SamplePage Kind;
} kinds[] = {{L"report", SamplePage::Report},         {L"chart", SamplePage::Chart},
             {L"photo", SamplePage::Photo},           {L"blank", SamplePage::Blank},
             {L"office", SamplePage::Office},         {L"scripts", SamplePage::Scripts},
             {L"layout", SamplePage::TextLayout},     {L"bitmapfont", SamplePage::BitmapFont},
             {L"lyingfont", SamplePage::LyingFont},   {L"strokes", SamplePage::Strokes},
             {L"clipping", SamplePage::Clipping},     {L"blending", SamplePage::Blending}};
}  // namespace

bool SamplePageByName(const wchar_t* name, SamplePage& kind) {
  for (const auto& k : kinds)
    if (wcscmp(name, k.Name) == 0) {
      kind = k.Kind;
      return true;
    }
  return false;
}

const wchar_t* SamplePageNames() {
  return L"report|chart|photo|blank|office|scripts|layout|bitmapfont|lyingfont|strokes|clipping|blending";
}

void DrawSamplePage(HDC dc, SamplePage kind, LONG width, LONG height, int number) {
  switch (kind) {
    case SamplePage::Report: Report(dc, width, height, number); break;
    case SamplePage::Chart: Chart(dc, width, height, number); break;
    case SamplePage::Photo: Photo(dc, 0, 0, width, height, number); break;
    case SamplePage::Blank: break;
    case SamplePage::Office: DrawOfficePage(dc, width, height, number); break;
    case SamplePage::Scripts: DrawScriptsPage(dc, width, height, number); break;
    case SamplePage::TextLayout: DrawTextLayoutPage(dc, width, height, number); break;
    case SamplePage::BitmapFont: DrawBitmapFontPage(dc, width, height, number); break;
    case SamplePage::LyingFont: DrawLyingFontPage(dc, width, height, number); break;
    case SamplePage::Strokes: DrawStrokesPage(dc, width, height, number); break;
    case SamplePage::Clipping: DrawClippingPage(dc, width, height, number); break;
    case SamplePage::Blending: DrawBlendingPage(dc, width, height, number); break;
  }
}

HENHMETAFILE RecordSamplePage(const wchar_t* path, SamplePage kind, LONG widthMm, LONG heightMm, int number) {
  HDC reference = GetDC(nullptr);
  RECT frame = {0, 0, widthMm * 100, heightMm * 100};  // hundredths of a millimetre
  HDC dc = CreateEnhMetaFileW(reference, nullptr, &frame, L"gdiplay\0sample page\0");
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
  std::vector<NotedPen> pens;
  SetPenLog(&pens);
  DrawSamplePage(dc, kind, widthMm * 10, heightMm * 10, number);
  SetPenLog(nullptr);
  HENHMETAFILE recorded = CloseEnhMetaFile(dc);
  if (!recorded) return nullptr;
  // Geometric pens go back in as extended pens, with their caps, joins and dashes.
  std::vector<BYTE> bytes(GetEnhMetaFileBits(recorded, 0, nullptr));
  GetEnhMetaFileBits(recorded, static_cast<UINT>(bytes.size()), bytes.data());
  DeleteEnhMetaFile(recorded);
  std::vector<BYTE> rewritten = WithExtendedPens(bytes, pens);
  HENHMETAFILE page = SetEnhMetaFileBits(static_cast<UINT>(rewritten.size()), rewritten.data());
  if (!page || !path) return page;
  HENHMETAFILE copy = CopyEnhMetaFileW(page, path);
  DeleteEnhMetaFile(page);
  return copy;
}
