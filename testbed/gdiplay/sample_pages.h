// Pages for the test bed's print jobs: text in several fonts and sizes, lines, fills and a
// photograph-like image, drawn with GDI into any DC, and recorded as EMF files.
#pragma once
#include <windows.h>

enum class SamplePage {
  Report, Chart, Photo, Blank,
  // The documents of the driver's checks and benchmark (sample_office.cpp, sample_text_pages.cpp,
  // sample_graphics_pages.cpp).
  Office, Scripts, TextLayout, BitmapFont, LyingFont, Strokes, Clipping, Blending
};

// kind by name ("report", "chart", "photo", "blank", "office", "scripts", "layout", "bitmapfont",
// "lyingfont", "strokes", "clipping", "blending"); false for an unknown name.
bool SamplePageByName(const wchar_t* name, SamplePage& kind);
// Draws the page in logical units of a tenth of a millimetre, the page being width x height of them.
void DrawSamplePage(HDC dc, SamplePage kind, LONG width, LONG height, int number);
// Records a page of widthMm x heightMm as an EMF file (or in memory when path is null).
// The names of all kinds, separated by "|", for usage messages.
const wchar_t* SamplePageNames();
HENHMETAFILE RecordSamplePage(const wchar_t* path, SamplePage kind, LONG widthMm, LONG heightMm, int number);
