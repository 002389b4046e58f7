// Blits: PatBlt and FillRect (EMR_BITBLT without a source) as DrvBitBlt with the DC's brush; the
// records with a source bitmap go on to image_calls.cpp.
#include "ddi_objects.h"
#include "record_player.h"

namespace {

// A ROP3 that reads no source bits (PATCOPY, PATINVERT, BLACKNESS, DSTINVERT, ...).
bool UsesSource(DWORD rop3) { return ((rop3 >> 2) & 0x33) != (rop3 & 0x33); }

bool PatternBlit(PlayContext& play, const EMRBITBLT& blit) {
  DWORD rop3 = (blit.dwRop >> 16) & 0xFF;
  if (blit.cbBmiSrc || UsesSource(rop3)) return false;
  auto bitBlt = reinterpret_cast<PFN_DrvBitBlt>(reinterpret_cast<void (*)()>(DriverFunction(INDEX_DrvBitBlt)));
  if (!(play.Hooks & HOOK_BITBLT) || !bitBlt) return false;
  RECTL target;
  if (!DeviceRect(play.Dc, blit.xDest, blit.yDest, blit.cxDest, blit.cyDest, target)) return false;
  HostClip clip;
  if (!BuildClip(play.Dc, play.Surface->sizlBitmap, target, clip)) return false;
  HostBrush brush;
  BrushOfDc(play.Dc, false, brush);
  POINT origin;
  GetBrushOrgEx(play.Dc, &origin);
  POINTL brushOrigin = {origin.x, origin.y};
  ROP4 rop4 = rop3 | (rop3 << 8);
  FinishCall(play, bitBlt(play.Surface, nullptr, nullptr, &clip.Object, nullptr, &target, nullptr, nullptr, &brush.Object,
                          &brushOrigin, rop4),
             "DrvBitBlt");
  return true;
}

}  // namespace

bool DeviceRect(HDC dc, LONG x, LONG y, LONG cx, LONG cy, RECTL& out) {
  XFORM world;
  if (GetWorldTransform(dc, &world) && (world.eM12 != 0 || world.eM21 != 0)) return false;
  POINT corners[2] = {{x, y}, {x + cx, y + cy}};
  LPtoDP(dc, corners, 2);
  // A mirrored blit stays with Wine's GDI (the rectangles would have to say which way).
  if ((corners[1].x < corners[0].x) != (cx < 0) || (corners[1].y < corners[0].y) != (cy < 0) || cx < 0 || cy < 0)
    return false;
  out = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  return out.left < out.right && out.top < out.bottom;
}

bool PlayBlitRecord(PlayContext& play) {
  switch (play.Record->iType) {
    case EMR_BITBLT: {
      const EMRBITBLT& blit = *reinterpret_cast<const EMRBITBLT*>(play.Record);
      return blit.cbBmiSrc ? PlayImageRecord(play) : PatternBlit(play, blit);
    }
    default: return PlayImageRecord(play);
  }
}
