// The drawing steps the sample pages are made of, in logical units of a tenth of a millimetre.
// Every piece of text goes through DrawText... helpers here, which also note it (in the order
// drawn, which the pages keep to reading order) for the checks of the text a document carries.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Where the text drawn is noted; null (the default) notes nothing.
void SetTextLog(std::vector<std::wstring>* log);
void NoteText(const wchar_t* text);

// Geometric pens (ExtCreatePen with PS_GEOMETRIC), noted in the order made: a metafile DC records
// them as plain pens, without their user dashes, so RecordSamplePage writes them back into the
// EMF as the extended pens they are (sample_pens.cpp).
HPEN GeometricPen(DWORD style, int width, COLORREF colour, DWORD count = 0, const DWORD* dashes = nullptr);
struct NotedPen {
  DWORD Style, Width;
  COLORREF Colour;
  std::vector<DWORD> Dashes;
};
void SetPenLog(std::vector<NotedPen>* log);
// The EMF's bytes with each plain-pen record of a geometric pen replaced by the extended pen noted
// for it (in order), and the header's sizes updated.
std::vector<BYTE> WithExtendedPens(const std::vector<BYTE>& emf, const std::vector<NotedPen>& pens);

// A font of `height` units (character height) in `face`; escapement in tenths of a degree.
HFONT MakeFont(int height, int weight, const wchar_t* face, bool italic = false, int escapement = 0, int width = 0);
// Transparent text at (x, y), top-left aligned.
void Text(HDC dc, int x, int y, int height, int weight, const wchar_t* face, COLORREF colour, const wchar_t* text);
void Line(HDC dc, int x1, int y1, int x2, int y2, int width, COLORREF colour, int style = PS_SOLID);
void Box(HDC dc, int left, int top, int right, int bottom, COLORREF fill, bool ellipse = false);
void FillSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour);
// A photograph-like picture of width x height pixels: 24-bit BGR rows, bottom-up, no padding
// needed when width is a multiple of 4.
std::vector<BYTE> PhotoBits(int width, int height, int seed);
// That picture stretched over the rectangle with StretchDIBits.
void Photo(HDC dc, int left, int top, int width, int height, int seed);

// The document pages, each drawn over width x height units (sample_office.cpp,
// sample_text_pages.cpp, sample_graphics_pages.cpp).
void DrawOfficePage(HDC dc, LONG width, LONG height, int number);
void DrawScriptsPage(HDC dc, LONG width, LONG height, int number);
void DrawTextLayoutPage(HDC dc, LONG width, LONG height, int number);
void DrawBitmapFontPage(HDC dc, LONG width, LONG height, int number);
void DrawLyingFontPage(HDC dc, LONG width, LONG height, int number);
void DrawStrokesPage(HDC dc, LONG width, LONG height, int number);
void DrawClippingPage(HDC dc, LONG width, LONG height, int number);
void DrawBlendingPage(HDC dc, LONG width, LONG height, int number);
// The face the lying-font page asks for (a broken copy of Liberation Sans given with --font).
extern const wchar_t* const LyingFontFace;
