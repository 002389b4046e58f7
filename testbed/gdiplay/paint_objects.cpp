// BRUSHOBJ, XFORMOBJ, XLATEOBJ and LINEATTRS from the DC's state, and their exported functions.
#include <math.h>

#include "dc_transform.h"
#include "ddi_objects.h"
#include "engine_host.h"
#include "record_player.h"

namespace {

HostBrush& Host(BRUSHOBJ* pbo) { return *reinterpret_cast<HostBrush*>(pbo); }
HostXform& Host(XFORMOBJ* pxo) { return *reinterpret_cast<HostXform*>(pxo); }
HostXlate& Host(XLATEOBJ* pxlo) { return *reinterpret_cast<HostXlate*>(pxlo); }

ULONG xlateSerial = 0;

// Wine's dash patterns: cosmetic pens in device pixels, geometric ones in multiples of the width.
const LONG cosmeticDashes[4][6] = {{18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
const LONG geometricDashes[4][6] = {{3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
const ULONG dashCounts[4] = {2, 2, 4, 6};
// Wine's cosmetic user styles: each unit three device pixels.
const LONG cosmeticUserPixels = 3;

// A pattern surface of the brush painted over its own size (hatches: 8 x 8) for DrvRealizeBrush.
bool RealizePattern(HostBrush& brush) {
  PlayContext* play = CurrentPlay();
  auto realize = reinterpret_cast<PFN_DrvRealizeBrush>(reinterpret_cast<void (*)()>(DriverFunction(INDEX_DrvRealizeBrush)));
  if (!play || !realize || !brush.Brush) return false;
  LOGBRUSH logical = {};
  GetObjectW(brush.Brush, sizeof(logical), &logical);
  LONG width = 8, height = 8;
  if (logical.lbStyle == BS_PATTERN) {
    BITMAP bitmap = {};
    if (GetObjectW(reinterpret_cast<HBITMAP>(logical.lbHatch), sizeof(bitmap), &bitmap)) {
      width = bitmap.bmWidth;
      height = bitmap.bmHeight;
    }
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP pattern = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!pattern) return false;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, pattern);
  SetBkColor(dc, GetBkColor(play->Dc));
  SetTextColor(dc, GetTextColor(play->Dc));
  RECT all = {0, 0, width, height};
  FillRect(dc, &all, brush.Brush);
  GdiFlush();
  SURFOBJ so = {};
  so.hsurf = reinterpret_cast<HSURF>(pattern);
  so.sizlBitmap = {width, height};
  so.lDelta = ((width * 3) + 3) & ~3;
  so.cjBits = static_cast<ULONG>(so.lDelta) * height;
  so.pvBits = so.pvScan0 = bits;
  so.iBitmapFormat = BMF_24BPP;
  so.iType = STYPE_BITMAP;
  so.fjBitmap = BMF_TOPDOWN;
  HostXlate identity;
  BuildXlate(nullptr, 0, identity);
  ULONG hatch = logical.lbStyle == BS_HATCHED ? static_cast<ULONG>(logical.lbHatch) : HS_DDI_MAX;
  BOOL done = realize(&brush.Object, play->Surface, &so, nullptr, &identity.Object, hatch);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(pattern);
  return done && brush.Object.pvRbrush;
}

// The width Wine's GDI draws a pen with, in whole device pixels: the vector (width, 0) through
// LPtoDP (which rounds its points), its length floored, at least one (a width of 0 is one pixel).
LONG PenPixels(HDC dc, DWORD width) {
  if (!width) return 1;
  POINT ends[2] = {{0, 0}, {static_cast<LONG>(width), 0}};
  LPtoDP(dc, ends, 2);
  LONG pixels = static_cast<LONG>(floor(hypot(ends[1].x - ends[0].x, ends[1].y - ends[0].y)));
  return pixels > 1 ? pixels : 1;
}

// The on and off lengths along the path, in device pixels, that Wine's GDI draws a pen's style
// with (dibdrv_SelectPen); empty for a solid line. A geometric pen's stock style is its pattern
// times the width in pixels; with round or square caps each dash is shortened by one width and
// the gap after it lengthened as much, since every dash gets its caps (a dot becomes a dash of
// length 0 that is all cap). A geometric user style is taken in device pixels (Windows documents
// logical units: under a scaling transform Wine's dashes are not Windows'). A pen of CreatePen
// wider than a pixel is drawn solid whatever its style.
std::vector<LONG> StylePixels(DWORD style, bool extended, LONG pixels, const EXTLOGPEN* pen) {
  std::vector<LONG> lengths;
  DWORD kind = style & PS_STYLE_MASK;
  bool geometric = extended && (style & PS_TYPE_MASK) == PS_GEOMETRIC;
  if (kind >= PS_DASH && kind <= PS_DASHDOTDOT) {
    int pattern = static_cast<int>(kind - PS_DASH);
    for (ULONG i = 0; i < dashCounts[pattern]; ++i) {
      if (geometric)
        lengths.push_back(geometricDashes[pattern][i] * pixels);
      else if (pixels == 1)
        lengths.push_back(cosmeticDashes[pattern][i]);
    }
    if (geometric && pixels > 1 && (style & PS_ENDCAP_MASK) != PS_ENDCAP_FLAT)
      for (size_t i = 0; i + 1 < lengths.size(); i += 2) {
        lengths[i] -= pixels;
        lengths[i + 1] += pixels;
      }
  } else if (kind == PS_USERSTYLE && pen) {
    for (DWORD i = 0; i < pen->elpNumEntries; ++i)
      lengths.push_back(static_cast<LONG>(pen->elpStyleEntry[i]) * (geometric ? 1 : cosmeticUserPixels));
  }
  return lengths;
}

// Device pixels in the style units of the driver's GDIINFO (denStyleStep / xStyleStep pixels each).
LONG StyleUnits(LONG pixels) {
  double step = Engine().StylePixels > 0 ? Engine().StylePixels : 1;
  LONG units = static_cast<LONG>(floor(pixels / step + 0.5));
  return units > 0 ? units : 1;
}

}  // namespace

ULONG DeviceColour(COLORREF colour) {
  return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

void SolidBrush(COLORREF colour, HostBrush& brush) {
  ZeroMemory(&brush.Object, sizeof(brush.Object));
  brush.Colour = colour & 0x00FFFFFF;
  brush.Object.iSolidColor = DeviceColour(brush.Colour);
  brush.Brush = nullptr;
  brush.Realized = false;
  brush.Realization.clear();
}

void BrushOfDc(HDC dc, bool pen, HostBrush& brush) {
  if (pen) {
    HGDIOBJ object = GetCurrentObject(dc, OBJ_PEN);
    COLORREF colour = 0;
    if (object == GetStockObject(DC_PEN)) {
      colour = GetDCPenColor(dc);
    } else if (GetObjectType(object) == OBJ_EXTPEN) {
      // The whole EXTLOGPEN: GetObject fails for a buffer without room for a user style's entries.
      int size = GetObjectW(object, 0, nullptr);
      std::vector<BYTE> ext(size > static_cast<int>(sizeof(EXTLOGPEN)) ? size : sizeof(EXTLOGPEN));
      if (GetObjectW(object, static_cast<int>(ext.size()), ext.data()))
        colour = reinterpret_cast<const EXTLOGPEN*>(ext.data())->elpColor;
    } else {
      LOGPEN logical = {};
      GetObjectW(object, sizeof(logical), &logical);
      colour = logical.lopnColor;
    }
    SolidBrush(colour, brush);
    return;
  }
  HBRUSH handle = static_cast<HBRUSH>(GetCurrentObject(dc, OBJ_BRUSH));
  LOGBRUSH logical = {};
  GetObjectW(handle, sizeof(logical), &logical);
  if (handle == GetStockObject(DC_BRUSH)) logical.lbColor = GetDCBrushColor(dc);
  SolidBrush(logical.lbColor, brush);
  if (logical.lbStyle != BS_SOLID && logical.lbStyle != BS_NULL) {
    brush.Object.iSolidColor = 0xFFFFFFFF;
    brush.Brush = handle;
  }
}

void XformOfDc(HDC dc, HostXform& xform) {
  xform.Object.ulReserved = 0;
  DcTransform transform;
  SaveTransform(dc, transform);
  xform.Transform = WorldToDevice(transform);
}

void BuildXlate(const RGBQUAD* colours, ULONG count, HostXlate& xlate) {
  ZeroMemory(&xlate.Object, sizeof(xlate.Object));
  xlate.Source.clear();
  xlate.Table.clear();
  xlate.Object.iUniq = ++xlateSerial;
  xlate.Object.iDstType = PAL_BGR;
  if (!colours || !count) {
    xlate.Object.flXlate = XO_TRIVIAL;
    xlate.Object.iSrcType = PAL_BGR;
    return;
  }
  xlate.Object.flXlate = XO_TABLE;
  xlate.Object.iSrcType = PAL_INDEXED;
  for (ULONG i = 0; i < count; ++i) {
    ULONG rgb = (colours[i].rgbRed << 16) | (colours[i].rgbGreen << 8) | colours[i].rgbBlue;
    xlate.Source.push_back(rgb);
    xlate.Table.push_back(rgb);  // the device's PAL_BGR has the same layout
  }
  xlate.Object.cEntries = count;
  xlate.Object.pulXlate = xlate.Table.data();
}

void LineOfDc(HDC dc, const HostXform& xform, HostLine& line) {
  ZeroMemory(&line.Attrs, sizeof(line.Attrs));
  line.Style.clear();
  line.Null = false;
  HGDIOBJ object = GetCurrentObject(dc, OBJ_PEN);
  DWORD style = PS_SOLID, width = 0;
  bool extended = GetObjectType(object) == OBJ_EXTPEN;
  std::vector<BYTE> ext;
  if (extended) {
    int size = GetObjectW(object, 0, nullptr);
    ext.resize(size > 0 ? size : sizeof(EXTLOGPEN));
    GetObjectW(object, static_cast<int>(ext.size()), ext.data());
    const EXTLOGPEN* pen = reinterpret_cast<const EXTLOGPEN*>(ext.data());
    style = pen->elpPenStyle;
    width = pen->elpWidth;
  } else if (object != GetStockObject(DC_PEN)) {
    LOGPEN pen = {};
    GetObjectW(object, sizeof(pen), &pen);
    style = pen.lopnStyle;
    width = static_cast<DWORD>(pen.lopnWidth.x);
  }
  DWORD kind = style & PS_STYLE_MASK;
  line.Null = kind == PS_NULL;
  const XFORM& t = xform.Transform;
  double scale = sqrt(fabs(t.eM11 * t.eM22 - t.eM12 * t.eM21));
  line.DeviceWidth = width ? width * scale : 1;
  bool geometric = extended ? (style & PS_TYPE_MASK) == PS_GEOMETRIC : width > 0 && line.DeviceWidth > 1;
  if (geometric) {
    line.Attrs.fl = LA_GEOMETRIC;
    line.Attrs.elWidth.e = static_cast<FLOATL>(width);
    DWORD join = style & PS_JOIN_MASK, cap = style & PS_ENDCAP_MASK;
    line.Attrs.iJoin = join == PS_JOIN_BEVEL ? JOIN_BEVEL : join == PS_JOIN_MITER ? JOIN_MITER : JOIN_ROUND;
    line.Attrs.iEndCap = cap == PS_ENDCAP_SQUARE ? ENDCAP_SQUARE : cap == PS_ENDCAP_FLAT ? ENDCAP_BUTT : ENDCAP_ROUND;
    FLOAT limit = 10;
    GetMiterLimit(dc, &limit);
    line.Attrs.eMiterLimit = limit;
  } else {
    line.Attrs.elWidth.l = 1;
    line.DeviceWidth = 1;
  }
  // The style as Wine's GDI draws it: a geometric line's in world units (the pixels back through
  // the transform's scale), a cosmetic line's in the driver's style units (GDIINFO's style steps),
  // at least one where Wine draws a length.
  const EXTLOGPEN* pen = extended ? reinterpret_cast<const EXTLOGPEN*>(ext.data()) : nullptr;
  bool extendedGeometric = extended && (style & PS_TYPE_MASK) == PS_GEOMETRIC;
  LONG pixels = PenPixels(dc, extended && !extendedGeometric ? 0 : width);  // cosmetic extended pens: 1 pixel
  for (LONG length : StylePixels(style, extended, pixels, pen)) {
    FLOAT_LONG entry;
    if (geometric)
      entry.e = static_cast<FLOATL>(length / (scale > 0 ? scale : 1));
    else
      entry.l = length > 0 ? StyleUnits(length) : 0;
    line.Style.push_back(entry);
  }
  if (kind == PS_ALTERNATE) line.Attrs.fl |= LA_ALTERNATE;
  if (!line.Style.empty()) {
    line.Attrs.fl |= LA_STYLED;
    line.Attrs.cstyle = static_cast<ULONG>(line.Style.size());
    line.Attrs.pstyle = line.Style.data();
  }
}

extern "C" {

__declspec(dllexport) ULONG APIENTRY BRUSHOBJ_ulGetBrushColor(BRUSHOBJ* pbo) {
  return pbo ? Host(pbo).Colour : 0xFFFFFFFF;
}

__declspec(dllexport) PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj) {
  if (!pbo || !cj) return nullptr;
  HostBrush& brush = Host(pbo);
  brush.Realization.assign(cj, 0);
  pbo->pvRbrush = brush.Realization.data();
  return pbo->pvRbrush;
}

// The driver's realization of a pattern brush, made by DrvRealizeBrush on the first request.
__declspec(dllexport) PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo) {
  if (!pbo) return nullptr;
  HostBrush& brush = Host(pbo);
  if (!pbo->pvRbrush && !brush.Realized) {
    brush.Realized = true;
    if (!RealizePattern(brush)) pbo->pvRbrush = nullptr;
  }
  return pbo->pvRbrush;
}

__declspec(dllexport) HANDLE APIENTRY BRUSHOBJ_hGetColorTransform(BRUSHOBJ*) { return nullptr; }

__declspec(dllexport) ULONG APIENTRY XFORMOBJ_iGetXform(XFORMOBJ* pxo, XFORML* pxform) {
  if (!pxo) return DDI_ERROR;
  const XFORM& t = Host(pxo).Transform;
  if (pxform) *pxform = {t.eM11, t.eM12, t.eM21, t.eM22, t.eDx, t.eDy};
  if (t.eM12 != 0 || t.eM21 != 0) return GX_GENERAL;
  if (t.eM11 != 1 || t.eM22 != 1) return GX_SCALE;
  return t.eDx != 0 || t.eDy != 0 ? GX_OFFSET : GX_IDENTITY;
}

__declspec(dllexport) BOOL APIENTRY XFORMOBJ_bApplyXform(XFORMOBJ* pxo, ULONG iMode, ULONG cPoints, PVOID pvIn,
                                                        PVOID pvOut) {
  if (!pxo || !pvIn || !pvOut) return FALSE;
  const XFORM& t = Host(pxo).Transform;
  double det = t.eM11 * t.eM22 - t.eM12 * t.eM21;
  bool inverse = iMode == XF_INV_LTOL || iMode == XF_INV_FXTOL;
  if (inverse && det == 0) return FALSE;
  const POINTL* in = static_cast<const POINTL*>(pvIn);
  POINTL* out = static_cast<POINTL*>(pvOut);
  for (ULONG i = 0; i < cPoints; ++i) {
    double x = in[i].x, y = in[i].y;
    if (iMode == XF_INV_FXTOL) x /= 16, y /= 16;
    double u, v;
    if (inverse) {
      double dx = x - t.eDx, dy = y - t.eDy;
      u = (dx * t.eM22 - dy * t.eM21) / det;
      v = (dy * t.eM11 - dx * t.eM12) / det;
    } else {
      u = x * t.eM11 + y * t.eM21 + t.eDx;
      v = x * t.eM12 + y * t.eM22 + t.eDy;
    }
    if (iMode == XF_LTOFX) u *= 16, v *= 16;
    out[i].x = static_cast<LONG>(floor(u + 0.5));
    out[i].y = static_cast<LONG>(floor(v + 0.5));
  }
  return TRUE;
}

__declspec(dllexport) ULONG APIENTRY XLATEOBJ_iXlate(XLATEOBJ* pxlo, ULONG iColor) {
  if (!pxlo || (pxlo->flXlate & XO_TRIVIAL)) return iColor;
  HostXlate& xlate = Host(pxlo);
  return iColor < xlate.Table.size() ? xlate.Table[iColor] : 0;
}

__declspec(dllexport) ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ* pxlo, ULONG iPal, ULONG cPal, ULONG* pPal) {
  if (!pxlo) return 0;
  HostXlate& xlate = Host(pxlo);
  // The device's palette is PAL_BGR (no entries); a source palette is its table of colours.
  if (iPal != XO_SRCPALETTE) return 0;
  ULONG count = static_cast<ULONG>(xlate.Source.size());
  if (!pPal) return count;
  ULONG copied = cPal < count ? cPal : count;
  for (ULONG i = 0; i < copied; ++i) pPal[i] = xlate.Source[i];
  return copied;
}

__declspec(dllexport) PULONG APIENTRY XLATEOBJ_piVector(XLATEOBJ* pxlo) {
  return pxlo && !(pxlo->flXlate & XO_TRIVIAL) ? pxlo->pulXlate : nullptr;
}

__declspec(dllexport) HANDLE APIENTRY XLATEOBJ_hGetColorTransform(XLATEOBJ*) { return nullptr; }

}  // extern "C"
