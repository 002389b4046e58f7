// CLIPOBJ: the DC's clip region (clip and meta region together, device pixels) as rectangles.
#include <algorithm>

#include "ddi_objects.h"

namespace {

HostClip& Host(CLIPOBJ* pco) { return *reinterpret_cast<HostClip*>(pco); }
ULONG clipSerial = 0;

bool Intersect(const RECTL& a, const RECTL& b, RECTL& out) {
  out.left = std::max(a.left, b.left);
  out.top = std::max(a.top, b.top);
  out.right = std::min(a.right, b.right);
  out.bottom = std::min(a.bottom, b.bottom);
  return out.left < out.right && out.top < out.bottom;
}

}  // namespace

bool BuildClip(HDC dc, SIZEL surface, const RECTL& bounds, HostClip& clip) {
  ZeroMemory(&clip.Object, sizeof(clip.Object));
  clip.Rects.clear();
  clip.Enumerated.clear();
  clip.Next = 0;
  RECTL page = {0, 0, surface.cx, surface.cy};
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  bool clipped = region && GetRandomRgn(dc, region, 3 /* APIRGN: clip and meta region */) == 1;
  if (clipped) {
    HRGN pageRegion = CreateRectRgn(0, 0, surface.cx, surface.cy);
    CombineRgn(region, region, pageRegion, RGN_AND);
    DeleteObject(pageRegion);
    DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<BYTE> data(size ? size : sizeof(RGNDATAHEADER));
    if (size && GetRegionData(region, size, reinterpret_cast<RGNDATA*>(data.data())) == size) {
      const RGNDATA* rgn = reinterpret_cast<const RGNDATA*>(data.data());
      const RECT* rects = reinterpret_cast<const RECT*>(rgn->Buffer);
      for (DWORD i = 0; i < rgn->rdh.nCount; ++i) clip.Rects.push_back({rects[i].left, rects[i].top, rects[i].right, rects[i].bottom});
    }
  } else {
    clip.Rects.push_back(page);
  }
  if (region) DeleteObject(region);

  RECTL visible = {0, 0, 0, 0}, box = {0, 0, 0, 0};
  bool any = false;
  for (const RECTL& r : clip.Rects) {
    RECTL part;
    if (!Intersect(r, bounds, part)) continue;
    if (!any) visible = part;
    visible.left = std::min(visible.left, part.left);
    visible.top = std::min(visible.top, part.top);
    visible.right = std::max(visible.right, part.right);
    visible.bottom = std::max(visible.bottom, part.bottom);
    any = true;
  }
  if (!any) return false;
  clip.Object.iUniq = ++clipSerial;
  clip.Object.iMode = TC_RECTANGLES;
  if (!clipped) {
    clip.Object.iDComplexity = DC_TRIVIAL;
    clip.Object.iFComplexity = FC_RECT;
    Intersect(page, bounds, box);
    clip.Object.rclBounds = box;
  } else if (clip.Rects.size() == 1) {
    clip.Object.iDComplexity = DC_RECT;
    clip.Object.iFComplexity = FC_RECT;
    clip.Object.rclBounds = clip.Rects[0];
  } else {
    clip.Object.iDComplexity = DC_COMPLEX;
    clip.Object.iFComplexity = clip.Rects.size() <= 4 ? FC_RECT4 : FC_COMPLEX;
    clip.Object.rclBounds = visible;
  }
  return true;
}

extern "C" {

__declspec(dllexport) ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ* pco, BOOL bAll, ULONG iType, ULONG iDirection,
                                                       ULONG cLimit) {
  if (!pco || iType != CT_RECTANGLES) return 0xFFFFFFFF;
  HostClip& clip = Host(pco);
  clip.Enumerated.clear();
  clip.Next = 0;
  for (const RECTL& r : clip.Rects) {
    RECTL part;
    if (bAll)
      clip.Enumerated.push_back(r);
    else if (Intersect(r, pco->rclBounds, part))
      clip.Enumerated.push_back(part);
  }
  // GetRegionData's order is top-down, left to right (CD_RIGHTDOWN); the others are sorted.
  bool leftwards = iDirection == CD_LEFTDOWN || iDirection == CD_LEFTUP;
  bool upwards = iDirection == CD_RIGHTUP || iDirection == CD_LEFTUP;
  if (iDirection != CD_ANY && (leftwards || upwards))
    std::stable_sort(clip.Enumerated.begin(), clip.Enumerated.end(), [&](const RECTL& a, const RECTL& b) {
      if (a.top != b.top) return upwards ? a.top > b.top : a.top < b.top;
      return leftwards ? a.left > b.left : a.left < b.left;
    });
  ULONG count = static_cast<ULONG>(clip.Enumerated.size());
  return cLimit && count > cLimit ? 0xFFFFFFFF : count;
}

// As many rectangles as fit in cj bytes of ENUMRECTS; TRUE while more follow.
__declspec(dllexport) BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ* pco, ULONG cj, ULONG* pul) {
  if (!pco || !pul || cj < sizeof(ULONG)) return FALSE;
  HostClip& clip = Host(pco);
  ENUMRECTS* rects = reinterpret_cast<ENUMRECTS*>(pul);
  size_t room = (cj - sizeof(ULONG)) / sizeof(RECTL);
  rects->c = 0;
  while (rects->c < room && clip.Next < clip.Enumerated.size()) rects->arcl[rects->c++] = clip.Enumerated[clip.Next++];
  return clip.Next < clip.Enumerated.size();
}

__declspec(dllexport) PATHOBJ* APIENTRY CLIPOBJ_ppoGetPath(CLIPOBJ*) { return nullptr; }

}  // extern "C"
