// A graphics engine of the page model's tests: the device, its page bitmap and document in memory,
// and the Eng twins and DDI objects filled in by hand. The twins draw what the tests draw (solid
// rectangles, copies of 24- and 32-bit bitmaps, patterns, per-pixel alpha) exactly into the page,
// so that a page rendered from the document can be held against the bitmap.
#pragma once
#include <windows.h>
#include <winddi.h>

#include <string>
#include <vector>

#include "printer_device.h"

// A CLIPOBJ of rectangles: none (trivial), one (DC_RECT) or several (DC_COMPLEX).
struct FakeClip {
  CLIPOBJ Object;
  std::vector<RECTL> Rectangles;
  size_t Next;
};
void MakeClip(FakeClip& clip, const std::vector<RECTL>& rectangles);

// A PATHOBJ of PATHDATA records.
struct FakePathRecord {
  FLONG Flags;
  std::vector<POINTFIX> Points;
};
struct FakePath {
  PATHOBJ Object;
  std::vector<FakePathRecord> Records;
  size_t Next;
};
// A closed polygon of pixel points (one record), for fills.
void MakePolygon(FakePath& path, const std::vector<POINT>& points);

// A bitmap source of any format with its palette (indexed formats) as an XLATEOBJ.
struct FakeBitmap;
struct FakeXlate {
  XLATEOBJ Object;
  const FakeBitmap* Bitmap;
};
struct FakeBitmap {
  SURFOBJ Object;
  std::vector<BYTE> Bits;
  FakeXlate Xlate;
  std::vector<ULONG> Palette;  // device colours (0x00RRGGBB) by index
  bool Translate;              // 16-bit sources: 5-5-5 to the device's colours
};
// width x height in `format`, every pixel set by `pixel(x, y)` as a value of that format.
void MakeBitmap(FakeBitmap& bitmap, ULONG format, LONG width, LONG height, ULONG (*pixel)(LONG x, LONG y));
// The device colour the engine draws for a value of the bitmap's format.
ULONG BitmapColour(const FakeBitmap& bitmap, ULONG value);

struct FakeBrush {
  BRUSHOBJ Object;
};
// A solid brush of `colour`, or (0xFFFFFFFF) a pattern the twins paint as a checkerboard.
void MakeBrush(FakeBrush& brush, ULONG colour);

struct FakeDevice {
  PrinterDevice Device;
  std::vector<BYTE> Pixels;  // 24-bit BGR, top-down
  SURFOBJ Surface;
  std::string Written;  // the document's bytes
  int TwinCalls;        // Eng twins called
};
// A device of width x height pixels at `dpi` whose drawing calls are hooked; the document begun.
void StartDevice(FakeDevice& fake, LONG width, LONG height, LONG dpi, bool grey);
void StartPage(FakeDevice& fake);
bool SendPage(FakeDevice& fake);
bool EndDocument(FakeDevice& fake);
void FreeDevice(FakeDevice& fake);
// The page's pixel at (x, y) as 0x00RRGGBB.
ULONG PagePixel(const FakeDevice& fake, LONG x, LONG y);
// Ink drawn without any call (as GDI draws a call the driver does not hook).
void DrawUnhooked(FakeDevice& fake, const RECTL& area, ULONG colour);
// The page as a PPM, and the document, into files (for the tools of the shell test).
bool SavePage(const FakeDevice& fake, const std::string& path);
bool SaveDocument(const FakeDevice& fake, const std::string& path);

// The decoded data of every stream object whose dictionary holds `key` (e.g. "/Subtype /Image").
std::vector<std::string> StreamsWith(const std::string& pdf, const std::string& key);
// How often `text` occurs in `in`.
size_t Count(const std::string& in, const std::string& text);
// The page's content stream(s), decoded and joined.
std::string Contents(const std::string& pdf);
