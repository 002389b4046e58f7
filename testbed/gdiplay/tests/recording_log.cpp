#include "recording_log.h"

#include <stdio.h>

#include <set>

namespace {

template <typename Function>
Function Engine(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(nullptr), name)));
}

std::string Format(const char* format, double a, double b) {
  char text[64];
  snprintf(text, sizeof(text), format, a, b);
  return text;
}

std::string Point(const POINTFIX& p) { return Format("%g,%g", p.x / 16.0, p.y / 16.0); }

std::string Rect(const RECTL& r) {
  char text[64];
  snprintf(text, sizeof(text), "%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
  return text;
}

std::string Hex(ULONG value) {
  char text[16];
  snprintf(text, sizeof(text), "%lx", value);
  return text;
}

}  // namespace

std::string DescribeMix(MIX mix) { return "mix=" + Hex(mix) + " "; }

std::string DescribePath(PATHOBJ* ppo) {
  auto start = Engine<VOID(APIENTRY*)(PATHOBJ*)>("PATHOBJ_vEnumStart");
  auto next = Engine<BOOL(APIENTRY*)(PATHOBJ*, PATHDATA*)>("PATHOBJ_bEnum");
  auto bounds = Engine<VOID(APIENTRY*)(PATHOBJ*, PRECTFX)>("PATHOBJ_vGetBounds");
  std::string text = "path=";
  start(ppo);
  BOOL more = TRUE;
  while (more) {
    PATHDATA data = {};
    more = next(ppo, &data);
    ULONG i = 0;
    if (data.flags & PD_BEGINSUBPATH) text += "M" + Point(data.pptfx[i++]) + ";";
    while (i < data.count) {
      if (data.flags & PD_BEZIERS) {
        text += "C";
        for (int k = 0; k < 3 && i < data.count; ++k) text += Point(data.pptfx[i++]) + (k < 2 ? "/" : "");
      } else {
        text += "L" + Point(data.pptfx[i++]);
      }
      text += ";";
    }
    if (data.flags & PD_CLOSEFIGURE) text += "Z;";
  }
  RECTFX box;
  bounds(ppo, &box);
  return text + " bounds=" + Point({box.xLeft, box.yTop}) + "," + Point({box.xRight, box.yBottom}) +
         " curves=" + std::to_string(ppo->cCurves) + " beziers=" + std::to_string(ppo->fl & PO_BEZIERS ? 1 : 0) + " ";
}

std::string DescribeClip(CLIPOBJ* pco) {
  if (!pco) return "clip=none ";
  auto start = Engine<ULONG(APIENTRY*)(CLIPOBJ*, BOOL, ULONG, ULONG, ULONG)>("CLIPOBJ_cEnumStart");
  auto next = Engine<BOOL(APIENTRY*)(CLIPOBJ*, ULONG, ULONG*)>("CLIPOBJ_bEnum");
  std::string text = "clip=" + std::to_string(pco->iDComplexity) + " clipbounds=" + Rect(pco->rclBounds);
  if (pco->iDComplexity == DC_TRIVIAL) return text + " ";
  text += " cliprects=";
  start(pco, TRUE, CT_RECTANGLES, CD_RIGHTDOWN, 0);
  struct {
    ULONG c;
    RECTL arcl[3];  // a small buffer, so that the enumeration takes several calls
  } rects;
  BOOL more = TRUE;
  while (more) {
    more = next(pco, sizeof(rects), reinterpret_cast<ULONG*>(&rects));
    for (ULONG i = 0; i < rects.c; ++i) text += Rect(rects.arcl[i]) + ";";
  }
  return text + " ";
}

std::string DescribeBrush(BRUSHOBJ* pbo) {
  if (!pbo) return "brush=none ";
  auto colour = Engine<ULONG(APIENTRY*)(BRUSHOBJ*)>("BRUSHOBJ_ulGetBrushColor");
  std::string text = "brush=" + Hex(pbo->iSolidColor) + " rgb=" + Hex(colour(pbo)) + " ";
  if (pbo->iSolidColor == 0xFFFFFFFF) {
    auto realize = Engine<PVOID(APIENTRY*)(BRUSHOBJ*)>("BRUSHOBJ_pvGetRbrush");
    text += "rbrush=" + std::to_string(realize(pbo) ? 1 : 0) + " ";
  }
  return text;
}

std::string DescribeLine(LINEATTRS* pla, XFORMOBJ* pxo) {
  std::string text = "linefl=" + Hex(pla->fl);
  if (pla->fl & LA_GEOMETRIC)
    text += Format(" width=%g miter=%g", pla->elWidth.e, pla->eMiterLimit) + " join=" + std::to_string(pla->iJoin) +
            " cap=" + std::to_string(pla->iEndCap);
  else
    text += " width=" + std::to_string(pla->elWidth.l);
  text += " style=";
  for (ULONG i = 0; i < pla->cstyle; ++i)
    text += (pla->fl & LA_GEOMETRIC ? Format("%g", pla->pstyle[i].e, 0) : std::to_string(pla->pstyle[i].l)) + ",";
  if (pxo) {
    auto get = Engine<ULONG(APIENTRY*)(XFORMOBJ*, XFORML*)>("XFORMOBJ_iGetXform");
    XFORML x = {};
    get(pxo, &x);
    text += Format(" xform=%.4g,%.4g", x.eM11, x.eM22);
  }
  return text + " ";
}

std::string DescribeSource(SURFOBJ* src, XLATEOBJ* pxlo) {
  if (!src) return "source=none ";
  std::string text = "source=" + std::to_string(src->sizlBitmap.cx) + "x" + std::to_string(src->sizlBitmap.cy) +
                     " format=" + std::to_string(src->iBitmapFormat);
  if (pxlo) {
    auto palette = Engine<ULONG(APIENTRY*)(XLATEOBJ*, ULONG, ULONG, ULONG*)>("XLATEOBJ_cGetPalette");
    auto xlate = Engine<ULONG(APIENTRY*)(XLATEOBJ*, ULONG)>("XLATEOBJ_iXlate");
    text += " xlate=" + Hex(pxlo->flXlate) + " palette=" + std::to_string(palette(pxlo, XO_SRCPALETTE, 0, nullptr)) +
            " first=" + Hex(xlate(pxlo, 0));
  }
  return text + " ";
}

std::string DescribeText(STROBJ* pstro, FONTOBJ* pfo, RECTL* opaque) {
  auto start = Engine<VOID(APIENTRY*)(STROBJ*)>("STROBJ_vEnumStart");
  auto next = Engine<BOOL(APIENTRY*)(STROBJ*, ULONG*, PGLYPHPOS*)>("STROBJ_bEnum");
  auto file = Engine<PVOID(APIENTRY*)(FONTOBJ*, ULONG*)>("FONTOBJ_pvTrueTypeFontFile");
  auto ifi = Engine<IFIMETRICS*(APIENTRY*)(FONTOBJ*)>("FONTOBJ_pifi");
  auto xform = Engine<XFORMOBJ*(APIENTRY*)(FONTOBJ*)>("FONTOBJ_pxoGetXform");
  auto getXform = Engine<ULONG(APIENTRY*)(XFORMOBJ*, XFORML*)>("XFORMOBJ_iGetXform");
  auto glyphs = Engine<ULONG(APIENTRY*)(FONTOBJ*, ULONG, ULONG, HGLYPH*, PVOID*)>("FONTOBJ_cGetGlyphs");
  std::string text = "glyphs=";
  start(pstro);
  BOOL more = TRUE;
  while (more) {
    ULONG count = 0;
    GLYPHPOS* pos = nullptr;
    more = next(pstro, &count, &pos);
    for (ULONG i = 0; i < count; ++i)
      text += std::to_string(pos[i].hg) + "@" + std::to_string(pos[i].ptl.x) + "," + std::to_string(pos[i].ptl.y) + ";";
  }
  auto advances = Engine<BOOL(APIENTRY*)(STROBJ*, ULONG, ULONG, POINTQF*)>("STROBJ_bGetAdvanceWidths");
  POINTQF first = {};
  if (pstro->cGlyphs && advances(pstro, 0, 1, &first))  // 28.36: 36 bits of fraction
    text += Format(" advance=%.3f,%.3f", static_cast<double>(first.x.QuadPart) / 68719476736.0,
                   static_cast<double>(first.y.QuadPart) / 68719476736.0);
  text += " chars=";
  for (ULONG i = 0; pstro->pwszOrg && i < pstro->cGlyphs; ++i) text += Hex(pstro->pwszOrg[i]) + ",";
  text += " background=" + Rect(pstro->rclBkGround);
  if (opaque) text += " opaque=" + Rect(*opaque);
  IFIMETRICS* metrics = ifi(pfo);
  if (metrics) {
    const WCHAR* family = reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(metrics) + metrics->dpwszFamilyName);
    std::string name;
    for (; *family; ++family) name += *family == L' ' ? '_' : static_cast<char>(*family);
    std::string unique;
    for (const WCHAR* c = reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(metrics) + metrics->dpwszUniqueName);
         *c; ++c)
      unique += *c == L' ' ? '_' : static_cast<char>(*c);
    text += " family=" + name + " unique=" + unique + " em=" + std::to_string(metrics->fwdUnitsPerEm) +
            " fstype=" + Hex(metrics->fsType) + " weight=" + std::to_string(metrics->usWinWeight);
  }
  text += " fonttype=" + Hex(pfo->flFontType) + " face=" + std::to_string(pfo->iTTUniq) + " uniq=" +
          std::to_string(pfo->iUniq);
  XFORML x = {};
  getXform(xform(pfo), &x);
  text += Format(" fontxform=%.4g,%.4g", x.eM11, x.eM12) + Format(",%.4g,%.4g", x.eM21, x.eM22);
  // The first glyph's outline from the engine: a PATHOBJ with at least one subpath.
  if (pstro->cGlyphs) {
    start(pstro);
    ULONG count = 0;
    GLYPHPOS* pos = nullptr;
    next(pstro, &count, &pos);
    GLYPHDATA* data = nullptr;
    HGLYPH handle = count ? pos[0].hg : 0;
    ULONG got = glyphs(pfo, FO_PATHOBJ, 1, &handle, reinterpret_cast<PVOID*>(&data));
    text += " outline=" + std::to_string(got && data && data->gdf.ppo ? data->gdf.ppo->cCurves : 0);
    got = glyphs(pfo, FO_GLYPHBITS, 1, &handle, reinterpret_cast<PVOID*>(&data));
    text += " bits=" + (got && data && data->gdf.pgb ? std::to_string(data->gdf.pgb->sizlBitmap.cx) + "x" +
                                                        std::to_string(data->gdf.pgb->sizlBitmap.cy)
                                                  : std::string("0"));
  }
  ULONG size = 0;
  const void* bytes = file(pfo, &size);
  static std::set<ULONG_PTR> written;
  if (bytes && size) {
    std::string name = "font-" + std::to_string(pfo->iUniq) + ".ttf";
    if (written.insert(pfo->iUniq).second) {
      FILE* out = fopen(name.c_str(), "wb");
      if (out) {
        fwrite(bytes, 1, size, out);
        fclose(out);
      }
    }
    text += " file=" + name + " size=" + std::to_string(size);
  }
  return text + " ";
}
