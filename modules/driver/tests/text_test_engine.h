// The engine's part for DrvTextOut, played by the test: FONTOBJs answered from real font files
// (tables through FONTOBJ_pjOpenTypeTablePointer or the whole file through
// FONTOBJ_pvTrueTypeFontFile), a notional-to-device transform, glyph outlines for FO_PATHOBJ
// (a box with a curved top per glyph, in device 28.4 relative to the origin), and STROBJs whose
// glyphs are the face's own ids (or, to prove the check, other handles) laid out from hmtx.
#pragma once
#include <windows.h>
#include <winddi.h>

#include <string>
#include <vector>

#include "engine_calls.h"
#include "font_file.h"
#include "font_metrics.h"

struct TestFont {
  FONTOBJ Object;  // first: the engine's functions get this pointer back
  std::vector<uint8_t> File;
  uint32_t FaceIndex;
  FontFile Face;
  FontMetrics Metrics;
  bool TablePointer;  // answer FONTOBJ_pjOpenTypeTablePointer
  bool WholeFile;     // answer FONTOBJ_pvTrueTypeFontFile
  double EmPixels;
  double Angle;        // degrees, counter-clockwise on the page
  bool NotionalDown;   // the transform's notional y points down (both forms occur)
  uint32_t HandleOffset;  // glyph handles are glyph id + this (0: the ids themselves)
  std::vector<BYTE> Ifi;  // IFIMETRICS with the face name behind it
  // FO_PATHOBJ answers
  GLYPHDATA Glyph;
  std::vector<POINTFIX> PathPoints;
};

struct TestString {
  STROBJ Object;
  std::vector<GLYPHPOS> Positions;
  std::vector<POINTQF> Advances;
  std::wstring Text;
  ULONG Batch;  // glyphs per STROBJ_bEnum; 0: all in pgp
  ULONG Next;
  POINTL End;   // where the pen stands after the last glyph
};

// Makes `font` from a file and face; false when it can't be read (the lying fonts can: only the
// driver's view of them must fail).
bool OpenTestFont(TestFont& font, const std::vector<uint8_t>& file, uint32_t faceIndex, ULONG uniq, FLONG type,
                  double emPixels, const wchar_t* faceName);
// The string `text` at (x, y) in `font`: glyphs from the face's cmap (as the font's handles), each
// advanced by its hmtx width rounded to pixels and `extraSpace` more after spaces.
void MakeTestString(TestString& string, const TestFont& font, const wchar_t* text, LONG x, LONG y,
                    LONG extraSpace = 0, ULONG batch = 0);
// The table of engine functions DrvTextOut may call, answered by the above.
void FillTestEngine(EngineCalls& engine);
