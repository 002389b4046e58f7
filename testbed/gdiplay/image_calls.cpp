// Image records as the blit calls GDI makes for them, with the record's bitmap as the source
// SURFOBJ and its colours in the XLATEOBJ: unstretched SRCCOPY as DrvCopyBits (else DrvBitBlt),
// other raster operations as DrvBitBlt, stretched ones as DrvStretchBlt (SRCCOPY) or
// DrvStretchBltROP; AlphaBlend, TransparentBlt and GradientFill as their own calls. Records that
// turn or mirror their image, or carry a source transform, stay with Wine's GDI.
#include <string.h>

#include "record_player.h"
#include "source_bitmap.h"

namespace {

template <typename Function>
Function Hooked(PlayContext& play, FLONG hook, ULONG index) {
  if (!(play.Hooks & hook)) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(DriverFunction(index)));
}

bool Inside(const RECTL& r, const SURFOBJ& so) {
  return r.left >= 0 && r.top >= 0 && r.right <= so.sizlBitmap.cx && r.bottom <= so.sizlBitmap.cy &&
         r.left < r.right && r.top < r.bottom;
}

bool PlainSourceTransform(const XFORM& x) { return x.eM11 == 1 && x.eM22 == 1 && x.eM12 == 0 && x.eM21 == 0; }

// The call for a blit of `source` (its rectangle `from`) onto `to` with a ROP3.
bool Blit(PlayContext& play, SourceBitmap& source, RECTL to, RECTL from, DWORD rop3) {
  HostClip clip;
  if (!Inside(from, source.Object) || !BuildClip(play.Dc, play.Surface->sizlBitmap, to, clip)) return false;
  bool stretched = to.right - to.left != from.right - from.left || to.bottom - to.top != from.bottom - from.top;
  SURFOBJ* so = play.Surface;
  POINTL at = {from.left, from.top}, origin = {0, 0};
  HostBrush brush;
  BrushOfDc(play.Dc, false, brush);
  ROP4 rop4 = rop3 | (rop3 << 8);
  ULONG mode = static_cast<ULONG>(GetStretchBltMode(play.Dc));
  if (!stretched && rop3 == 0xCC) {
    if (auto copyBits = Hooked<PFN_DrvCopyBits>(play, HOOK_COPYBITS, INDEX_DrvCopyBits)) {
      FinishCall(play, copyBits(so, &source.Object, &clip.Object, &source.Xlate.Object, &to, &at), "DrvCopyBits");
      return true;
    }
  }
  if (!stretched) {
    auto bitBlt = Hooked<PFN_DrvBitBlt>(play, HOOK_BITBLT, INDEX_DrvBitBlt);
    if (!bitBlt) return false;
    FinishCall(play, bitBlt(so, &source.Object, nullptr, &clip.Object, &source.Xlate.Object, &to, &at, nullptr,
                            &brush.Object, &origin, rop4),
               "DrvBitBlt");
    return true;
  }
  if (rop3 == 0xCC) {
    auto stretchBlt = Hooked<PFN_DrvStretchBlt>(play, HOOK_STRETCHBLT, INDEX_DrvStretchBlt);
    if (!stretchBlt) return false;
    FinishCall(play, stretchBlt(so, &source.Object, nullptr, &clip.Object, &source.Xlate.Object, nullptr, &origin, &to,
                                &from, nullptr, mode),
               "DrvStretchBlt");
    return true;
  }
  auto stretchRop = Hooked<PFN_DrvStretchBltROP>(play, HOOK_STRETCHBLTROP, INDEX_DrvStretchBltROP);
  if (!stretchRop) return false;
  FinishCall(play, stretchRop(so, &source.Object, nullptr, &clip.Object, &source.Xlate.Object, nullptr, &origin, &to,
                              &from, nullptr, mode, &brush.Object, rop4),
             "DrvStretchBltROP");
  return true;
}

bool StretchDibits(PlayContext& play) {
  const EMRSTRETCHDIBITS& r = *reinterpret_cast<const EMRSTRETCHDIBITS*>(play.Record);
  SourceBitmap source;
  RECTL to;
  if (!DeviceRect(play.Dc, r.xDest, r.yDest, r.cxDest, r.cyDest, to) || r.cxSrc <= 0 || r.cySrc <= 0 ||
      !BuildSourceBitmap(play.Record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, r.iUsageSrc, source))
    return false;
  return Blit(play, source, to, FromBottomUp(source, r.xSrc, r.ySrc, r.cxSrc, r.cySrc), (r.dwRop >> 16) & 0xFF);
}

// SetDIBitsToDevice: the image's own pixels at a logical origin, never stretched.
bool SetDibitsToDevice(PlayContext& play) {
  const EMRSETDIBITSTODEVICE& r = *reinterpret_cast<const EMRSETDIBITSTODEVICE*>(play.Record);
  SourceBitmap source;
  if (r.cxSrc <= 0 || r.cySrc <= 0 || r.iStartScan != 0 ||
      !BuildSourceBitmap(play.Record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, r.iUsageSrc, source) ||
      r.cScans != static_cast<DWORD>(source.Object.sizlBitmap.cy))
    return false;
  POINT origin = {r.xDest, r.yDest};
  LPtoDP(play.Dc, &origin, 1);
  RECTL to = {origin.x, origin.y, origin.x + r.cxSrc, origin.y + r.cySrc};
  return Blit(play, source, to, FromBottomUp(source, r.xSrc, r.ySrc, r.cxSrc, r.cySrc), 0xCC);
}

// BitBlt, StretchBlt, AlphaBlend and TransparentBlt records share their layout up to cxSrc.
bool SourceBlit(PlayContext& play) {
  DWORD type = play.Record->iType;
  const EMRSTRETCHBLT& r = *reinterpret_cast<const EMRSTRETCHBLT*>(play.Record);
  LONG cxSrc = type == EMR_BITBLT ? r.cxDest : r.cxSrc, cySrc = type == EMR_BITBLT ? r.cyDest : r.cySrc;
  if (type != EMR_BITBLT && play.Record->nSize < sizeof(EMRSTRETCHBLT)) return false;
  SourceBitmap source;
  RECTL to;
  if (!PlainSourceTransform(r.xformSrc) || cxSrc <= 0 || cySrc <= 0 ||
      !DeviceRect(play.Dc, r.xDest, r.yDest, r.cxDest, r.cyDest, to) ||
      !BuildSourceBitmap(play.Record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc, r.iUsageSrc, source))
    return false;
  // The source's origin in its own DC, where row 0 is the top whichever way the DIB is stored.
  LONG x = r.xSrc + static_cast<LONG>(r.xformSrc.eDx), y = r.ySrc + static_cast<LONG>(r.xformSrc.eDy);
  RECTL from = {x, y, x + cxSrc, y + cySrc};
  if (type == EMR_BITBLT || type == EMR_STRETCHBLT) return Blit(play, source, to, from, (r.dwRop >> 16) & 0xFF);
  HostClip clip;
  if (!Inside(from, source.Object) || !BuildClip(play.Dc, play.Surface->sizlBitmap, to, clip)) return false;
  if (type == EMR_ALPHABLEND) {
    auto alphaBlend = Hooked<PFN_DrvAlphaBlend>(play, HOOK_ALPHABLEND, INDEX_DrvAlphaBlend);
    if (!alphaBlend) return false;
    BLENDOBJ blend;
    memcpy(&blend.BlendFunction, &r.dwRop, sizeof(blend.BlendFunction));
    FinishCall(play, alphaBlend(play.Surface, &source.Object, &clip.Object, &source.Xlate.Object, &to, &from, &blend),
               "DrvAlphaBlend");
    return true;
  }
  auto transparentBlt = Hooked<PFN_DrvTransparentBlt>(play, HOOK_TRANSPARENTBLT, INDEX_DrvTransparentBlt);
  if (!transparentBlt) return false;
  // The key colour in the source's own format: a palette index, or the colour as the surface holds it.
  COLORREF key = r.dwRop & 0x00FFFFFF;
  ULONG colour = DeviceColour(key);
  if (!source.Colours.empty()) {
    colour = 0xFFFFFFFF;
    for (size_t i = 0; i < source.Colours.size() && colour == 0xFFFFFFFF; ++i)
      if (RGB(source.Colours[i].rgbRed, source.Colours[i].rgbGreen, source.Colours[i].rgbBlue) == key)
        colour = static_cast<ULONG>(i);
  }
  FinishCall(play, transparentBlt(play.Surface, &source.Object, &clip.Object, &source.Xlate.Object, &to, &from, colour, 0),
             "DrvTransparentBlt");
  return true;
}

// GradientFill: the vertices in device pixels, the mesh as recorded.
bool Gradient(PlayContext& play) {
  const EMRGRADIENTFILL& r = *reinterpret_cast<const EMRGRADIENTFILL*>(play.Record);
  auto gradientFill = Hooked<PFN_DrvGradientFill>(play, HOOK_GRADIENTFILL, INDEX_DrvGradientFill);
  if (!gradientFill || play.Record->nSize < offsetof(EMRGRADIENTFILL, Ver)) return false;
  size_t meshSize = r.ulMode == GRADIENT_FILL_TRIANGLE ? sizeof(GRADIENT_TRIANGLE) : sizeof(GRADIENT_RECT);
  if (r.nVer == 0 || r.nVer > 0x100000 || r.nTri == 0 || r.nTri > 0x100000 || r.ulMode > GRADIENT_FILL_TRIANGLE ||
      offsetof(EMRGRADIENTFILL, Ver) + r.nVer * sizeof(TRIVERTEX) + r.nTri * meshSize > play.Record->nSize)
    return false;
  XFORM world;
  if (r.ulMode != GRADIENT_FILL_TRIANGLE && GetWorldTransform(play.Dc, &world) && (world.eM12 != 0 || world.eM21 != 0))
    return false;
  std::vector<TRIVERTEX> vertices(r.Ver, r.Ver + r.nVer);
  for (TRIVERTEX& v : vertices) {
    POINT p = {v.x, v.y};
    LPtoDP(play.Dc, &p, 1);
    v.x = p.x;
    v.y = p.y;
  }
  std::vector<BYTE> mesh(reinterpret_cast<const BYTE*>(r.Ver + r.nVer),
                         reinterpret_cast<const BYTE*>(r.Ver + r.nVer) + r.nTri * meshSize);
  // The extents of the vertices the mesh uses; an index past the vertices leaves it to Wine's GDI.
  RECTL bounds = {0, 0, 0, 0};
  const ULONG* indices = reinterpret_cast<const ULONG*>(mesh.data());
  size_t count = mesh.size() / sizeof(ULONG);
  for (size_t i = 0; i < count; ++i) {
    if (indices[i] >= r.nVer) return false;
    const TRIVERTEX& v = vertices[indices[i]];
    if (i == 0 || v.x < bounds.left) bounds.left = v.x;
    if (i == 0 || v.y < bounds.top) bounds.top = v.y;
    if (i == 0 || v.x > bounds.right) bounds.right = v.x;
    if (i == 0 || v.y > bounds.bottom) bounds.bottom = v.y;
  }
  HostClip clip;
  if (!BuildClip(play.Dc, play.Surface->sizlBitmap, bounds, clip)) return false;
  HostXlate xlate;
  BuildXlate(nullptr, 0, xlate);
  POINTL dither = {0, 0};
  FinishCall(play, gradientFill(play.Surface, &clip.Object, &xlate.Object, vertices.data(), r.nVer, mesh.data(), r.nTri,
                                &bounds, &dither, r.ulMode),
             "DrvGradientFill");
  return true;
}

}  // namespace

bool PlayImageRecord(PlayContext& play) {
  switch (play.Record->iType) {
    case EMR_STRETCHDIBITS: return StretchDibits(play);
    case EMR_SETDIBITSTODEVICE: return SetDibitsToDevice(play);
    case EMR_BITBLT: case EMR_STRETCHBLT: case EMR_ALPHABLEND: case EMR_TRANSPARENTBLT: return SourceBlit(play);
    case EMR_GRADIENTFILL: return Gradient(play);
    default: return false;
  }
}
