// DrvStrokePath, DrvFillPath, DrvStrokeAndFillPath and DrvLineTo: solid brushes that paint with
// R2_COPYPEN become PDF paths (alternate or winding fills, pens as LINEATTRS says them) in the
// call's clip; anything else (pattern brushes, mixes that read the page) is a raster patch.
#include <windows.h>
#include <winddi.h>

#include "draw_calls.h"
#include "pdf_content.h"
#include "pdf_paths.h"
#include "printer_device.h"

namespace {

// A brush's colour when it paints one colour exactly with this mix; false otherwise.
bool SolidPaint(const EngineCalls& engine, BRUSHOBJ* brush, MIX mix, ULONG& colour) {
  ULONG foreground = mix & 0xFF;
  if (foreground == R2_BLACK) {
    colour = 0;
    return true;
  }
  if (foreground == R2_WHITE) {
    colour = 0xFFFFFF;
    return true;
  }
  if (foreground != R2_COPYPEN || !brush) return false;
  ULONG solid = brush->iSolidColor;
  if (solid == 0xFFFFFFFF && engine.BRUSHOBJ_ulGetBrushColor) solid = engine.BRUSHOBJ_ulGetBrushColor(brush);
  if (solid == 0xFFFFFFFF) return false;  // a pattern
  colour = solid & 0xFFFFFF;
  return true;
}

// Pixels per style unit of a cosmetic pen's style: the GDIINFO style steps (driver.cpp).
double StyleStep(const PrinterDevice& device) {
  LONG step = device.Page.Dpi / 50;
  return step > 0 ? step : 1;
}

RECTL Widen(const RECTL& r, double by) {
  LONG pixels = static_cast<LONG>(by + 1);
  RECTL wide = {r.left - pixels, r.top - pixels, r.right + pixels, r.bottom + pixels};
  return wide;
}

// What a path call needs said: fill, stroke or both.
struct PathPaint {
  bool Fill, Stroke;
  ULONG FillColour, StrokeColour;
  bool Winding;
  PenState Pen;
};

// Writes one path call into the page, or notes it as a patch; the bounds come from the path's
// points, so a patch covers exactly what the call can touch.
void RecordPath(PrinterDevice& device, PageRecording& page, PATHOBJ* ppo, CLIPOBJ* pco, bool exact,
                const PathPaint& paint) {
  size_t mark = page.Content.Length;
  RECTL bounds = {0, 0, 0, 0};
  bool said = false;
  if (exact && ContentBeginClip(page, device.Engine, pco)) {
    if (paint.Fill) ContentSetFillColour(page, paint.FillColour);
    if (paint.Stroke) {
      ContentSetStrokeColour(page, paint.StrokeColour);
      ContentSetPen(page, paint.Pen);
    }
    bool mapped = paint.Stroke && paint.Pen.Mapped;
    if (mapped) {
      ContentSave(page);
      PageAppendReal(page, paint.Pen.Map.M11);
      PageAppendReal(page, paint.Pen.Map.M12);
      PageAppendReal(page, paint.Pen.Map.M21);
      PageAppendReal(page, paint.Pen.Map.M22);
      PageAppend(page, "0 0 cm\n");
    }
    said = AppendPath(page, device.Engine, ppo, mapped ? &paint.Pen.Inverse : nullptr, bounds);
    if (said) {
      const char* op = paint.Fill && paint.Stroke ? (paint.Winding ? "B\n" : "B*\n")
                       : paint.Fill               ? (paint.Winding ? "f\n" : "f*\n")
                                                  : "S\n";
      PageAppend(page, op);
    }
    if (mapped) ContentRestore(page);
    ContentEndClip(page);
  }
  if (!said) {
    // Take back whatever was begun (the state it set is forgotten with it).
    page.Content.Length = mark;
    page.State.FillKnown = page.State.StrokeKnown = page.State.LineKnown = false;
    if (!AppendPath(page, device.Engine, ppo, nullptr, bounds)) {  // only for its bounds
      RECTL whole = {0, 0, page.Width, page.Height};
      bounds = whole;
    }
    page.Content.Length = mark;
  }
  if (paint.Stroke) bounds = Widen(bounds, paint.Pen.Spread);
  if (said)
    PageNoteExact(page, bounds, pco);
  else
    PageNotePatch(page, bounds, pco);
}

}  // namespace

extern "C" {

BOOL APIENTRY DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                            POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device || !device->Engine.EngStrokePath) return FALSE;
  if (PageRecording* page = RecordingOf(pso)) {
    PathPaint paint = {};
    paint.Stroke = true;
    bool exact = plineattrs && SolidPaint(device->Engine, pbo, mix, paint.StrokeColour) &&
                 PenFromLineAttributes(*plineattrs, pxo, device->Engine, StyleStep(*device), paint.Pen);
    // A styled line's gaps are painted with the background mix, in a colour the call does not say.
    if (exact && paint.Pen.DashCount && ((mix >> 8) & 0xFF) != R2_NOP && ((mix >> 8) & 0xFF) != 0) exact = false;
    if (!exact && plineattrs) {
      PenState wide;  // the bounds of a pen PDF cannot say are still those of its width
      if (!PenFromLineAttributes(*plineattrs, pxo, device->Engine, StyleStep(*device), wide)) wide.Spread = 64;
      paint.Pen.Spread = wide.Spread;
    }
    RecordPath(*device, *page, ppo, pco, exact, paint);
  }
  return device->Engine.EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
}

BOOL APIENTRY DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix,
                          FLONG flOptions) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device || !device->Engine.EngFillPath) return FALSE;
  if (PageRecording* page = RecordingOf(pso)) {
    PathPaint paint = {};
    paint.Fill = true;
    paint.Winding = (flOptions & FP_WINDINGMODE) != 0;
    bool exact = SolidPaint(device->Engine, pbo, mix, paint.FillColour);
    RecordPath(*device, *page, ppo, pco, exact, paint);
  }
  return device->Engine.EngFillPath(pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions);
}

BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                                   LINEATTRS* plineattrs, BRUSHOBJ* pboFill, POINTL* pptlBrushOrg, MIX mixFill,
                                   FLONG flOptions) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device || !device->Engine.EngStrokeAndFillPath) return FALSE;
  if (PageRecording* page = RecordingOf(pso)) {
    PathPaint paint = {};
    paint.Fill = paint.Stroke = true;
    paint.Winding = (flOptions & FP_WINDINGMODE) != 0;
    // The outline is drawn with R2_COPYPEN; mixFill is the fill's.
    bool exact = plineattrs && SolidPaint(device->Engine, pboFill, mixFill, paint.FillColour) &&
                 SolidPaint(device->Engine, pboStroke, R2_COPYPEN, paint.StrokeColour) &&
                 PenFromLineAttributes(*plineattrs, pxo, device->Engine, StyleStep(*device), paint.Pen) &&
                 paint.Pen.DashCount == 0;
    if (!exact) paint.Pen.Spread = 64;
    RecordPath(*device, *page, ppo, pco, exact, paint);
  }
  return device->Engine.EngStrokeAndFillPath(pso, ppo, pco, pxo, pboStroke, plineattrs, pboFill, pptlBrushOrg,
                                             mixFill, flOptions);
}

BOOL APIENTRY DrvLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL* prclBounds, MIX mix) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device || !device->Engine.EngLineTo) return FALSE;
  if (PageRecording* page = RecordingOf(pso)) {
    ULONG colour = 0;
    RECTL bounds = {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, (x1 < x2 ? x2 : x1) + 1, (y1 < y2 ? y2 : y1) + 1};
    if (prclBounds) bounds = *prclBounds;
    bool said = false;
    if (SolidPaint(device->Engine, pbo, mix, colour) && ContentBeginClip(*page, device->Engine, pco)) {
      // A cosmetic solid line, one pixel wide, from pixel centre to pixel centre.
      PenState pen = {};
      pen.Width = 1;
      pen.MiterLimit = 10;
      ContentSetStrokeColour(*page, colour);
      ContentSetPen(*page, pen);
      PageAppendReal(*page, x1 + 0.5);
      PageAppendReal(*page, y1 + 0.5);
      PageAppend(*page, "m ");
      PageAppendReal(*page, x2 + 0.5);
      PageAppendReal(*page, y2 + 0.5);
      PageAppend(*page, "l S\n");
      ContentEndClip(*page);
      said = true;
    }
    if (said)
      PageNoteExact(*page, bounds, pco);
    else
      PageNotePatch(*page, bounds, pco);
  }
  return device->Engine.EngLineTo(pso, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
}

}  // extern "C"
