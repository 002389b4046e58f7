#include "pdf_paths.h"

#include <math.h>

#include "pdf_content.h"

namespace {

// PDF readers are asked to take dash arrays of at least this many elements.
const ULONG MaxDashes = 16;

struct PointBounds {
  double Left, Top, Right, Bottom;
  bool Any;
};

void Include(PointBounds& b, double x, double y) {
  if (!b.Any) {
    b.Left = b.Right = x;
    b.Top = b.Bottom = y;
    b.Any = true;
    return;
  }
  if (x < b.Left) b.Left = x;
  if (x > b.Right) b.Right = x;
  if (y < b.Top) b.Top = y;
  if (y > b.Bottom) b.Bottom = y;
}

// A FIX point in content space: 1/16 pixel, the pixel's centre half a pixel right and down.
void AppendPoint(PageRecording& page, const POINTFIX& p, const LinearMap* inverse, PointBounds& bounds) {
  double x = p.x / 16.0 + 0.5, y = p.y / 16.0 + 0.5;
  Include(bounds, x, y);
  if (inverse) {
    double wx = x * inverse->M11 + y * inverse->M21, wy = x * inverse->M12 + y * inverse->M22;
    x = wx;
    y = wy;
  }
  PageAppendReal(page, x);
  PageAppendReal(page, y);
}

bool Invert(const LinearMap& m, LinearMap& inverse) {
  double det = m.M11 * m.M22 - m.M12 * m.M21;
  if (!(fabs(det) > 1e-12)) return false;
  inverse.M11 = m.M22 / det;
  inverse.M12 = -m.M12 / det;
  inverse.M21 = -m.M21 / det;
  inverse.M22 = m.M11 / det;
  return true;
}

}  // namespace

bool PenFromLineAttributes(const LINEATTRS& line, XFORMOBJ* pxo, const EngineCalls& engine, double styleStep,
                           PenState& pen) {
  memset(&pen, 0, sizeof(pen));
  pen.MiterLimit = 10;
  bool geometric = (line.fl & LA_GEOMETRIC) != 0;
  double scale = 1;  // device pixels a world unit is, at most
  if (geometric) {
    pen.Width = FloatOf(line.elWidth.e);
    if (!(pen.Width >= 0) || pen.Width > 1e6) return false;
    pen.Cap = line.iEndCap == ENDCAP_ROUND ? 1 : line.iEndCap == ENDCAP_SQUARE ? 2 : 0;
    pen.Join = line.iJoin == JOIN_ROUND ? 1 : line.iJoin == JOIN_BEVEL ? 2 : 0;
    double miter = FloatOf(line.eMiterLimit);
    pen.MiterLimit = miter >= 1 && miter < 1e4 ? miter : 1;
    XFORML xform = {};
    ULONG complexity = pxo && engine.XFORMOBJ_iGetXform ? engine.XFORMOBJ_iGetXform(pxo, &xform) : GX_IDENTITY;
    if (complexity == GX_SCALE || complexity == GX_GENERAL) {
      LinearMap map = {FloatOf(xform.eM11), FloatOf(xform.eM12), FloatOf(xform.eM21), FloatOf(xform.eM22)};
      LinearMap inverse;
      if (!Invert(map, inverse)) return false;
      pen.Inverse = inverse;
      bool identity = map.M11 == 1 && map.M22 == 1 && map.M12 == 0 && map.M21 == 0;
      if (!identity) {
        pen.Mapped = true;
        pen.Map = map;
        double rows = sqrt(map.M11 * map.M11 + map.M12 * map.M12), cols = sqrt(map.M21 * map.M21 + map.M22 * map.M22);
        scale = rows > cols ? rows : cols;
      }
    } else if (complexity != GX_IDENTITY && complexity != GX_OFFSET) {
      return false;
    }
  } else {
    pen.Width = 1;  // a cosmetic pen is one device pixel wide, whatever elWidth says
    pen.Cap = 0;
    pen.Join = 0;
  }

  // Styles: a geometric pen's in world units, a cosmetic pen's in style units.
  if (line.fl & LA_ALTERNATE) {
    pen.Dash[0] = pen.Dash[1] = 1;
    pen.DashCount = 2;
  } else if ((line.fl & LA_STYLED) || line.cstyle) {
    if (line.cstyle == 0 || !line.pstyle) {
      if (line.fl & LA_STYLED) return false;
    } else {
      if (line.cstyle > MaxDashes) return false;
      double total = 0;
      for (ULONG i = 0; i < line.cstyle; ++i) {
        double length = geometric ? FloatOf(line.pstyle[i].e) : line.pstyle[i].l * styleStep;
        if (!(length >= 0) || length > 1e6) return false;
        pen.Dash[i] = length;
        total += length;
      }
      if (!(total > 0)) return false;
      pen.DashCount = static_cast<int>(line.cstyle);
      if (line.cstyle % 2) {  // PDF repeats an odd array too, but say it whole, on and off alike
        if (2 * line.cstyle > MaxDashes) return false;
        for (ULONG i = 0; i < line.cstyle; ++i) pen.Dash[line.cstyle + i] = pen.Dash[i];
        pen.DashCount *= 2;
      }
      // LA_STARTGAP: the first entry is a gap. A PDF array starts with a dash, so the array is
      // turned by one entry (that gap last) and the phase starts at that gap.
      double cycle = 0;
      for (int i = 0; i < pen.DashCount; ++i) cycle += pen.Dash[i];
      double start = 0;  // where GDI's style begins, as a phase of the PDF array
      if (line.fl & LA_STARTGAP) {
        double gap = pen.Dash[0];
        for (int i = 0; i + 1 < pen.DashCount; ++i) pen.Dash[i] = pen.Dash[i + 1];
        pen.Dash[pen.DashCount - 1] = gap;
        start = cycle - gap;
      }
      // elStyleState, for cosmetic lines only: two 16-bit halves, HIGH + LOW / denStyleStep style
      // units into the style where the first subpath starts. The device's xStyleStep is 1, so a
      // style unit is denStyleStep pixels and LOW counts pixels.
      if (!geometric && line.elStyleState.l) {
        ULONG state = static_cast<ULONG>(line.elStyleState.l);
        start += (state >> 16) * styleStep + (state & 0xFFFF);
      }
      pen.DashPhase = fmod(start, cycle);
      // A dash of length 0 under square caps is a square of the pen's width in GDI and in PDF, but
      // poppler draws no caps on it: it is said a thousandth of the width long, its gap as much
      // shorter.
      if (pen.Cap == 2) {
        double least = pen.Width / 1000 > 0.0001 ? pen.Width / 1000 : 0.0001;
        for (int i = 0; i + 1 < pen.DashCount; i += 2)
          if (pen.Dash[i] == 0) {
            pen.Dash[i] = least;
            if (pen.Dash[i + 1] >= least) pen.Dash[i + 1] -= least;
          }
      }
    }
  }
  double reach = pen.Width / 2;
  if (pen.Join == 0) reach *= pen.MiterLimit;
  if (pen.Cap == 2) reach *= 1.4143;
  pen.Spread = reach * scale + 1;
  return true;
}

void ContentSetPen(PageRecording& page, const PenState& pen) {
  PageGraphicsState& state = page.State;
  bool known = state.LineKnown;
  if (!known || state.LineWidth != pen.Width) {
    PageAppendReal(page, pen.Width);
    PageAppend(page, "w ");
  }
  if (!known || state.Cap != pen.Cap) {
    PageAppendInteger(page, pen.Cap);
    PageAppend(page, "J ");
  }
  if (!known || state.Join != pen.Join) {
    PageAppendInteger(page, pen.Join);
    PageAppend(page, "j ");
  }
  if (pen.Join == 0 && (!known || state.MiterLimit != pen.MiterLimit)) {
    PageAppendReal(page, pen.MiterLimit);
    PageAppend(page, "M ");
    state.MiterLimit = pen.MiterLimit;
  }
  if (pen.DashCount) {
    PageAppend(page, "[");
    for (int i = 0; i < pen.DashCount; ++i) PageAppendReal(page, pen.Dash[i]);
    PageAppend(page, "] ");
    PageAppendReal(page, pen.DashPhase);
    PageAppend(page, "d ");
  } else if (!known || state.Dashed) {
    PageAppend(page, "[] 0 d ");
  }
  PageAppend(page, "\n");
  state.LineKnown = true;
  state.LineWidth = pen.Width;
  state.Cap = pen.Cap;
  state.Join = pen.Join;
  state.Dashed = pen.DashCount != 0;
  if (pen.Join != 0 && !known) state.MiterLimit = 10;  // PDF's initial value, not said above
}

bool AppendPath(PageRecording& page, const EngineCalls& engine, PATHOBJ* ppo, const LinearMap* inverse,
                RECTL& bounds) {
  if (!ppo || !engine.PATHOBJ_vEnumStart || !engine.PATHOBJ_bEnum) return false;
  PointBounds extent = {};
  engine.PATHOBJ_vEnumStart(ppo);
  BOOL more = TRUE;
  bool open = false;  // a subpath has begun
  ULONG records = 0;
  while (more) {
    PATHDATA data = {};
    more = engine.PATHOBJ_bEnum(ppo, &data);
    if (++records > 1000000) return false;  // an enumeration that never ends
    if (data.count && !data.pptfx) return false;
    ULONG i = 0;
    if (data.flags & PD_BEGINSUBPATH) {
      if (!data.count) continue;
      AppendPoint(page, data.pptfx[0], inverse, extent);
      PageAppend(page, "m\n");
      open = true;
      i = 1;
    }
    if (!open && data.count) return false;  // points before any subpath began
    if (data.flags & PD_BEZIERS) {
      if ((data.count - i) % 3) return false;
      for (; i < data.count; i += 3) {
        for (int k = 0; k < 3; ++k) AppendPoint(page, data.pptfx[i + k], inverse, extent);
        PageAppend(page, "c\n");
      }
    } else {
      for (; i < data.count; ++i) {
        AppendPoint(page, data.pptfx[i], inverse, extent);
        PageAppend(page, "l\n");
      }
    }
    if (data.flags & PD_CLOSEFIGURE) PageAppend(page, "h\n");
    if (data.flags & PD_ENDSUBPATH) open = false;
  }
  if (!extent.Any) {
    bounds.left = bounds.top = bounds.right = bounds.bottom = 0;
    return true;
  }
  bounds.left = static_cast<LONG>(floor(extent.Left));
  bounds.top = static_cast<LONG>(floor(extent.Top));
  bounds.right = static_cast<LONG>(ceil(extent.Right)) + 1;
  bounds.bottom = static_cast<LONG>(ceil(extent.Bottom)) + 1;
  return true;
}
