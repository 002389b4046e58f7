// Pages for the test bed's print jobs: text in several fonts and sizes, lines, fills and a
// photograph-like image, drawn with GDI into any DC, and recorded as EMF files.
#pragma once
#include <windows.h>

enum class SamplePage { Report, Chart, Photo, Blank };

// kind by name ("report", "chart", "photo", "blank"); false for an unknown name.
bool SamplePageByName(const wchar_t* name, SamplePage& kind);
// Draws the page in logical units of a tenth of a millimetre, the page being width x height of them.
void DrawSamplePage(HDC dc, SamplePage kind, LONG width, LONG height, int number);
// Records a page of widthMm x heightMm as an EMF file (or in memory when path is null).
HENHMETAFILE RecordSamplePage(const wchar_t* path, SamplePage kind, LONG widthMm, LONG heightMm, int number);
