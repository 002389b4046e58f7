// A record drawn straight into the surface, as GDI draws it: PlayEnhMetaFileRecord, except for
// EMR_TRANSPARENTBLT, which Wine 8's player leaves undrawn (its pages came out without their
// colour-keyed pictures) and which is drawn here with GdiTransparentBlt from the record's bitmap.
#include "record_player.h"

#include <string.h>

namespace {

BOOL TransparentBlit(HDC dc, const ENHMETARECORD* record) {
  if (record->nSize < sizeof(EMRTRANSPARENTBLT)) return FALSE;
  const EMRTRANSPARENTBLT& r = *reinterpret_cast<const EMRTRANSPARENTBLT*>(record);
  DWORD size = record->nSize;
  if (r.cbBmiSrc < sizeof(BITMAPINFOHEADER) || r.offBmiSrc > size || r.cbBmiSrc > size - r.offBmiSrc ||
      r.offBitsSrc > size || r.cbBitsSrc > size - r.offBitsSrc)
    return FALSE;
  const BYTE* base = reinterpret_cast<const BYTE*>(record);
  const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(base + r.offBmiSrc);
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
      drawn = GdiTransparentBlt(dc, r.xDest, r.yDest, r.cxDest, r.cyDest, source, r.xSrc, r.ySrc, r.cxSrc, r.cySrc,
                                r.dwRop);
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
