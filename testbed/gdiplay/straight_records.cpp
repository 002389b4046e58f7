// A record drawn straight into the surface, as GDI draws it: PlayEnhMetaFileRecord, except for
// EMR_TRANSPARENTBLT, which Wine 8's player leaves undrawn (its pages came out without their
// colour-keyed pictures) and which is drawn here with GdiTransparentBlt from the record's bitmap.
// emftool's reference pictures play their records here too, so that the page gdiplay draws and
// the reference are one drawing.
#include "record_player.h"
#include "source_bitmap.h"

#include <string.h>

namespace {

// Wine's TransparentBlt makes its picture and mask bitmaps the destination's logical size and
// blits them onto the destination through its transform: under a scaling transform the picture
// is stretched twice, the mask apart from it, and the page gets dark flecks and a dark edge where
// the key was. So where the destination is an upright rectangle in device pixels, the call is
// made in device pixels (the DC's mapping set aside meanwhile), as GDI documents TransparentBlt:
// the source stretched onto the destination's pixels, those of the key colour left as they were.
BOOL KeyedBlit(HDC dc, const EMRTRANSPARENTBLT& r, HDC source) {
  RECTL to;
  int saved = DeviceRect(dc, r.xDest, r.yDest, r.cxDest, r.cyDest, to) ? SaveDC(dc) : 0;
  if (!saved)
    return GdiTransparentBlt(dc, r.xDest, r.yDest, r.cxDest, r.cyDest, source, r.xSrc, r.ySrc, r.cxSrc, r.cySrc,
                             r.dwRop);
  SetGraphicsMode(dc, GM_ADVANCED);
  ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
  SetMapMode(dc, MM_TEXT);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  BOOL drawn = GdiTransparentBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, r.xSrc, r.ySrc,
                                 r.cxSrc, r.cySrc, r.dwRop);
  RestoreDC(dc, saved);
  return drawn;
}

BOOL TransparentBlit(HDC dc, const ENHMETARECORD* record) {
  if (record->nSize < sizeof(EMRTRANSPARENTBLT)) return FALSE;
  const EMRTRANSPARENTBLT& r = *reinterpret_cast<const EMRTRANSPARENTBLT*>(record);
  if (!BitmapInsideRecord(record, r.offBmiSrc, r.cbBmiSrc, r.offBitsSrc, r.cbBitsSrc)) return FALSE;
  const BYTE* base = reinterpret_cast<const BYTE*>(record);
  const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(base + r.offBmiSrc);
  // The colour table (or the masks after a plain header) lies inside the record's BITMAPINFO too,
  // whatever its header says.
  const BITMAPINFOHEADER& header = info->bmiHeader;
  ULONGLONG colours = header.biClrUsed ? header.biClrUsed : header.biBitCount <= 8 ? 1ull << header.biBitCount : 0;
  ULONGLONG table = header.biCompression == BI_BITFIELDS ? (header.biSize >= 52 ? 0 : 12) : colours * (r.iUsageSrc == DIB_PAL_COLORS ? 2 : 4);
  if (header.biSize < sizeof(header) || header.biSize + table > r.cbBmiSrc) return FALSE;
  HDC source = CreateCompatibleDC(dc);
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(source, info, r.iUsageSrc, &pixels, nullptr, 0);
  BOOL drawn = FALSE;
  DIBSECTION section = {};
  if (bitmap && GetObjectW(bitmap, sizeof(section), &section) == sizeof(section)) {
    size_t stride = ((static_cast<size_t>(section.dsBm.bmWidth) * section.dsBm.bmBitsPixel + 31) / 32) * 4;
    size_t bytes = stride * section.dsBm.bmHeight;
    if (bytes <= r.cbBitsSrc) {
      memcpy(pixels, base + r.offBitsSrc, bytes);
      HGDIOBJ old = SelectObject(source, bitmap);
      SetGraphicsMode(source, GM_ADVANCED);
      SetWorldTransform(source, &r.xformSrc);
      SetBkColor(source, r.crBkColorSrc);
      drawn = KeyedBlit(dc, r, source);
      SelectObject(source, old);
    }
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(source);
  return drawn;
}

}  // namespace

BOOL PlayRecordStraight(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int handles) {
  if (record->iType == EMR_TRANSPARENTBLT) return TransparentBlit(dc, record);
  return PlayEnhMetaFileRecord(dc, table, record, handles);
}
