// The engine's objects that a hooked drawing call hands the driver (PATHOBJ, CLIPOBJ, BRUSHOBJ,
// XFORMOBJ, XLATEOBJ), built from the state of the DC a page is played into. Each record starts
// with the DDI structure the driver sees, so that the exported XXXOBJ_ functions find the rest of
// it from the pointer the driver passes back.
#pragma once
#include <windows.h>
#include <winddi.h>

#include <vector>

// A path in device space, 28.4 fixed point, handed out by PATHOBJ_bEnum one run at a time: a run
// is a subpath's points of one kind (lines or béziers), its first run beginning with the move-to.
struct PathRun {
  FLONG Flags;
  ULONG First;
  ULONG Count;
};
struct HostPath {
  PATHOBJ Object;
  std::vector<POINTFIX> Points;
  std::vector<PathRun> Runs;
  size_t Next;
  RECTFX Bounds;
};
// Takes points (28.4) with GetPath's types (PT_MOVETO, ...); false when there is nothing to draw.
bool BuildPath(const POINTFIX* points, const BYTE* types, int count, HostPath& path);
// The path of the DC, in device pixels whatever its transform (which stays as it was).
bool PathOfDc(HDC dc, HostPath& path);

// The DC's clip region (clip and meta region, in device pixels) inside the surface, as the
// rectangles CLIPOBJ_bEnum gives; the call's bounds decide between DC_TRIVIAL, DC_RECT, DC_COMPLEX.
struct HostClip {
  CLIPOBJ Object;
  std::vector<RECTL> Rects;      // the whole region, top-down and left to right
  std::vector<RECTL> Enumerated; // what the current enumeration hands out
  size_t Next;
};
// False when nothing of `bounds` is visible (GDI then calls nothing).
bool BuildClip(HDC dc, SIZEL surface, const RECTL& bounds, HostClip& clip);

// A brush: its colour in the device's format (the driver's PAL_BGR palette: blue in the low byte)
// or, for hatched and pattern brushes, 0xFFFFFFFF and a pattern the driver realizes on request.
struct HostBrush {
  BRUSHOBJ Object;
  COLORREF Colour;     // what BRUSHOBJ_ulGetBrushColor answers
  HBRUSH Brush;        // the GDI brush behind a pattern (not owned)
  bool Realized;
  std::vector<BYTE> Realization;  // BRUSHOBJ_pvAllocRbrush's memory
};
ULONG DeviceColour(COLORREF colour);
void SolidBrush(COLORREF colour, HostBrush& brush);
// The brush selected into the DC (or the pen's colour when `pen` is set).
void BrushOfDc(HDC dc, bool pen, HostBrush& brush);

// The world-to-device transform of the DC (XFORMOBJ_iGetXform, XFORMOBJ_bApplyXform).
struct HostXform {
  XFORMOBJ Object;
  XFORM Transform;
};
void XformOfDc(HDC dc, HostXform& xform);

// A colour translation from a source format to the device's 24-bit BGR.
struct HostXlate {
  XLATEOBJ Object;
  std::vector<ULONG> Source;  // the source palette, as RGB quads read as ULONGs (0x00RRGGBB)
  std::vector<ULONG> Table;   // the same translated into the device's format
};
// `colours` null or count 0: a trivial translation of true-colour sources.
void BuildXlate(const RGBQUAD* colours, ULONG count, HostXlate& xlate);

// The pen of the DC as LINEATTRS: cosmetic (one device pixel, styles in device pixels) or
// geometric (width, joins, caps and styles in world units, with the XFORMOBJ).
struct HostLine {
  LINEATTRS Attrs;
  std::vector<FLOAT_LONG> Style;
  bool Null;       // PS_NULL: nothing to stroke
  double DeviceWidth;  // for the call's bounds
};
void LineOfDc(HDC dc, const HostXform& xform, HostLine& line);
