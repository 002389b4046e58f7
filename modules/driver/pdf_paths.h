// Paths and pens in a page's content: a PATHOBJ's lines and Béziers (28.4 fixed point, device
// space) as PDF path operators, and a LINEATTRS pen (cosmetic or geometric: width, caps, joins,
// miter limit, styles) as the graphics state of a stroke.
#pragma once
#include <windows.h>
#include <winddi.h>

#include <string.h>

#include "engine_calls.h"
#include "page_recording.h"

// A FLOATL is a FLOAT in user mode, but the 32-bit headers declare it as the DWORD of its bits.
inline float FloatOf(float value) { return value; }
inline float FloatOf(DWORD bits) {
  float value;
  memcpy(&value, &bits, sizeof(value));
  return value;
}

// The linear part of a world-to-device transform: device = (x * M11 + y * M21, x * M12 + y * M22).
struct LinearMap {
  double M11, M12, M21, M22;
};

// A stroke's pen as PDF says it. Geometric pens are said in world units under the transform's `cm`
// (Map, when it is not the identity), so that a stretched pen stays stretched.
struct PenState {
  double Width;       // in the units of the space the path is said in
  int Cap, Join;      // PDF's: 0 butt, 1 round, 2 square; 0 miter, 1 round, 2 bevel
  double MiterLimit;  // >= 1
  double Dash[16];
  int DashCount;      // 0: solid
  double DashPhase;
  bool Mapped;        // the path is said in world units under Map
  LinearMap Map;
  LinearMap Inverse;  // device to world, for the path's points
  double Spread;      // how far, in device pixels, ink can reach beyond the path's points
};

// The pen of a LINEATTRS with the device's style step (pixels per style unit of a cosmetic
// style), the transform for a geometric pen (pxo may be null). False when PDF cannot say the pen
// (a singular transform, more dashes than PDF readers take, a style of nothing but zeros).
bool PenFromLineAttributes(const LINEATTRS& line, XFORMOBJ* pxo, const EngineCalls& engine, double styleStep,
                           PenState& pen);
// "w J j M d" of the pen, as far as they differ from what the content last set.
void ContentSetPen(PageRecording& page, const PenState& pen);

// The path's operators ("m l c h"), each point mapped by `inverse` when it is not null; `bounds`
// gets the device pixels its points (and Bézier control points) touch. False when the PATHOBJ
// cannot be enumerated or is malformed: the caller takes back what was written and makes the call
// a patch.
bool AppendPath(PageRecording& page, const EngineCalls& engine, PATHOBJ* ppo, const LinearMap* inverse,
                RECTL& bounds);
