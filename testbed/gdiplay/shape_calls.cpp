// Lines, shapes and paths as DrvStrokePath, DrvFillPath, DrvStrokeAndFillPath or DrvLineTo with a
// device-space PATHOBJ: the record is played between BeginPath and EndPath into the scratch DC,
// which has the surface DC's transform, fill mode, arc direction and current position, and
// GetPath gives the path GDI itself would draw. Path records (StrokePath, FillPath,
// StrokeAndFillPath) take the surface DC's own path.
#include <math.h>

#include "dc_transform.h"
#include "ddi_objects.h"
#include "record_player.h"

namespace {

enum ShapeKind { NotShape, ClosedShape, OpenShape, StrokePathRecord, FillPathRecord, StrokeAndFillPathRecord };

ShapeKind KindOf(DWORD type) {
  switch (type) {
    case EMR_RECTANGLE: case EMR_ELLIPSE: case EMR_ROUNDRECT: case EMR_CHORD: case EMR_PIE:
    case EMR_POLYGON: case EMR_POLYGON16: case EMR_POLYPOLYGON: case EMR_POLYPOLYGON16:
      return ClosedShape;
    case EMR_POLYLINE: case EMR_POLYLINE16: case EMR_POLYPOLYLINE: case EMR_POLYPOLYLINE16:
    case EMR_POLYBEZIER: case EMR_POLYBEZIER16: case EMR_ARC: case EMR_LINETO: case EMR_POLYLINETO:
    case EMR_POLYLINETO16: case EMR_POLYBEZIERTO: case EMR_POLYBEZIERTO16: case EMR_ARCTO: case EMR_ANGLEARC:
    case EMR_POLYDRAW: case EMR_POLYDRAW16:
      return OpenShape;
    case EMR_STROKEPATH: return StrokePathRecord;
    case EMR_FILLPATH: return FillPathRecord;
    case EMR_STROKEANDFILLPATH: return StrokeAndFillPathRecord;
    default: return NotShape;
  }
}

bool ShapePath(PlayContext& play, HostPath& path) {
  HDC scratch = play.Scratch;
  DcTransform transform;
  SaveTransform(play.Dc, transform);
  ApplyTransform(scratch, transform);
  SetPolyFillMode(scratch, GetPolyFillMode(play.Dc));
  SetArcDirection(scratch, GetArcDirection(play.Dc));
  POINT position;
  GetCurrentPositionEx(play.Dc, &position);
  MoveToEx(scratch, position.x, position.y, nullptr);
  BeginPath(scratch);
  PlayEnhMetaFileRecord(scratch, play.Table, play.Record, play.Handles);
  EndPath(scratch);
  bool built = PathOfDc(scratch, path);
  AbortPath(scratch);
  return built;
}

MIX MixOfDc(HDC dc) {
  ULONG foreground = static_cast<ULONG>(GetROP2(dc));
  ULONG background = GetBkMode(dc) == OPAQUE ? foreground : R2_NOP;
  return foreground | (background << 8);
}

bool IsBrushNull(HDC dc) {
  LOGBRUSH logical = {};
  GetObjectW(GetCurrentObject(dc, OBJ_BRUSH), sizeof(logical), &logical);
  return logical.lbStyle == BS_NULL;
}

RECTL BoundsOf(const HostPath& path, double width) {
  LONG margin = static_cast<LONG>(ceil(width * 5)) + 2;  // room for caps, joins and miters
  return {(path.Bounds.xLeft >> 4) - margin, (path.Bounds.yTop >> 4) - margin, (path.Bounds.xRight >> 4) + margin + 1,
          (path.Bounds.yBottom >> 4) + margin + 1};
}

template <typename Function>
Function Hooked(PlayContext& play, FLONG hook, ULONG index) {
  if (!(play.Hooks & hook)) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(DriverFunction(index)));
}

}  // namespace

bool PlayShapeRecord(PlayContext& play) {
  ShapeKind kind = KindOf(play.Record->iType);
  if (kind == NotShape) return false;
  HDC dc = play.Dc;
  HostLine line;
  HostXform xform;
  XformOfDc(dc, xform);
  LineOfDc(dc, xform, line);
  bool fill = (kind == ClosedShape || kind == FillPathRecord || kind == StrokeAndFillPathRecord) && !IsBrushNull(dc);
  bool stroke = (kind != FillPathRecord) && !line.Null;
  if (!fill && !stroke) return false;

  auto strokeAndFill = Hooked<PFN_DrvStrokeAndFillPath>(play, HOOK_STROKEANDFILLPATH, INDEX_DrvStrokeAndFillPath);
  auto fillPath = Hooked<PFN_DrvFillPath>(play, HOOK_FILLPATH, INDEX_DrvFillPath);
  auto strokePath = Hooked<PFN_DrvStrokePath>(play, HOOK_STROKEPATH, INDEX_DrvStrokePath);
  auto lineTo = Hooked<PFN_DrvLineTo>(play, HOOK_LINETO, INDEX_DrvLineTo);
  if ((fill && stroke && !strokeAndFill) || (fill && !stroke && !fillPath) || (!fill && stroke && !strokePath && !lineTo))
    return false;

  HostPath path;
  bool pathRecord = kind == StrokePathRecord || kind == FillPathRecord || kind == StrokeAndFillPathRecord;
  if (!(pathRecord ? PathOfDc(dc, path) : ShapePath(play, path))) return false;
  HostClip clip;
  RECTL bounds = BoundsOf(path, stroke ? line.DeviceWidth : 0);
  if (!BuildClip(dc, play.Surface->sizlBitmap, bounds, clip)) return false;
  HostBrush fillBrush, penBrush;
  BrushOfDc(dc, false, fillBrush);
  BrushOfDc(dc, true, penBrush);
  POINT origin;
  GetBrushOrgEx(dc, &origin);
  POINTL brushOrigin = {origin.x, origin.y};
  MIX mix = MixOfDc(dc);
  FLONG fillMode = GetPolyFillMode(dc) == WINDING ? FP_WINDINGMODE : FP_ALTERNATEMODE;
  SURFOBJ* so = play.Surface;

  // A plain one-pixel line: DrvLineTo, as GDI calls it for LineTo with a cosmetic solid pen.
  if (!fill && lineTo && play.Record->iType == EMR_LINETO && !(line.Attrs.fl & (LA_GEOMETRIC | LA_STYLED)) &&
      path.Runs.size() == 1 && path.Runs[0].Count == 2) {
    const POINTFIX* p = &path.Points[path.Runs[0].First];
    RECTL lineBounds = bounds;
    FinishCall(play, lineTo(so, &clip.Object, &penBrush.Object, p[0].x >> 4, p[0].y >> 4, p[1].x >> 4, p[1].y >> 4,
                            &lineBounds, mix),
               "DrvLineTo");
    return true;
  }
  if (fill && stroke)
    FinishCall(play, strokeAndFill(so, &path.Object, &clip.Object, &xform.Object, &penBrush.Object, &line.Attrs,
                                   &fillBrush.Object, &brushOrigin, mix, fillMode),
               "DrvStrokeAndFillPath");
  else if (fill)
    FinishCall(play, fillPath(so, &path.Object, &clip.Object, &fillBrush.Object, &brushOrigin, mix, fillMode),
               "DrvFillPath");
  else if (strokePath)
    FinishCall(play, strokePath(so, &path.Object, &clip.Object, &xform.Object, &penBrush.Object, &brushOrigin,
                                &line.Attrs, mix),
               "DrvStrokePath");
  else
    return false;
  return true;
}
