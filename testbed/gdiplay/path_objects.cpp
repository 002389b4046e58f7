// PATHOBJ: a GDI path (GetPath's points and types, device pixels) as the runs PATHOBJ_bEnum hands
// out, and the PATHOBJ_ functions a driver calls.
#include "ddi_objects.h"
#include "dc_transform.h"

namespace {

HostPath& Host(PATHOBJ* ppo) { return *reinterpret_cast<HostPath*>(ppo); }

FIX ToFix(LONG pixels) { return static_cast<FIX>(pixels * 16); }

}  // namespace

bool BuildPath(const POINTFIX* points, const BYTE* types, int count, HostPath& path) {
  path.Points.clear();
  path.Runs.clear();
  path.Next = 0;
  PathRun run = {0, 0, 0};
  bool open = false, kindKnown = false;
  POINTFIX start = {0, 0};
  auto endSubpath = [&](FLONG flags) {
    run.Flags |= PD_ENDSUBPATH | flags;
    // A subpath of its move-to alone draws nothing.
    if (!((run.Flags & PD_BEGINSUBPATH) && run.Count < 2)) path.Runs.push_back(run);
    open = false;
  };
  for (int i = 0; i < count; ++i) {
    BYTE kind = types[i] & ~PT_CLOSEFIGURE;
    POINTFIX point = points[i];
    if (kind == PT_MOVETO || !open) {
      if (open) endSubpath(0);
      // A line after a closed figure starts again where that figure started.
      if (kind == PT_MOVETO) start = point;
      run = {PD_BEGINSUBPATH, static_cast<ULONG>(path.Points.size()), 1};
      path.Points.push_back(start);
      open = true;
      kindKnown = false;
      if (kind == PT_MOVETO) continue;
    }
    FLONG runKind = kind == PT_BEZIERTO ? PD_BEZIERS : 0;
    if (!kindKnown) {
      run.Flags |= runKind;
      kindKnown = true;
    } else if ((run.Flags & PD_BEZIERS) != runKind) {
      path.Runs.push_back(run);
      run = {runKind, static_cast<ULONG>(path.Points.size()), 0};
    }
    path.Points.push_back(point);
    ++run.Count;
    if (types[i] & PT_CLOSEFIGURE) endSubpath(PD_CLOSEFIGURE);
  }
  if (open) endSubpath(0);

  ZeroMemory(&path.Object, sizeof(path.Object));
  path.Object.fl = PO_ALL_INTEGERS;
  for (const PathRun& r : path.Runs) {
    ULONG drawn = r.Count - ((r.Flags & PD_BEGINSUBPATH) ? 1 : 0);
    if (r.Flags & PD_BEZIERS) {
      path.Object.fl |= PO_BEZIERS;
      path.Object.cCurves += drawn / 3;
    } else {
      path.Object.cCurves += drawn;
    }
  }
  path.Bounds = {0, 0, 0, 0};
  bool first = true;
  for (const PathRun& r : path.Runs)
    for (ULONG i = r.First; i < r.First + r.Count; ++i) {
      const POINTFIX& p = path.Points[i];
      if (first || p.x < path.Bounds.xLeft) path.Bounds.xLeft = p.x;
      if (first || p.x > path.Bounds.xRight) path.Bounds.xRight = p.x;
      if (first || p.y < path.Bounds.yTop) path.Bounds.yTop = p.y;
      if (first || p.y > path.Bounds.yBottom) path.Bounds.yBottom = p.y;
      first = false;
    }
  return !path.Runs.empty();
}

bool PathOfDc(HDC dc, HostPath& path) {
  DcTransform saved;
  SaveTransform(dc, saved);
  IdentityTransform(dc);
  int count = GetPath(dc, nullptr, nullptr, 0);
  bool built = false;
  if (count > 0) {
    std::vector<POINT> points(count);
    std::vector<BYTE> types(count);
    if (GetPath(dc, points.data(), types.data(), count) == count) {
      std::vector<POINTFIX> fixed(count);
      for (int i = 0; i < count; ++i) fixed[i] = {ToFix(points[i].x), ToFix(points[i].y)};
      built = BuildPath(fixed.data(), types.data(), count, path);
    }
  }
  ApplyTransform(dc, saved);
  return built;
}

extern "C" {

__declspec(dllexport) VOID APIENTRY PATHOBJ_vEnumStart(PATHOBJ* ppo) {
  if (ppo) Host(ppo).Next = 0;
}

// One run per call; TRUE while more follow.
__declspec(dllexport) BOOL APIENTRY PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd) {
  if (!ppo || !ppd) return FALSE;
  HostPath& path = Host(ppo);
  if (path.Next >= path.Runs.size()) {
    ppd->flags = 0;
    ppd->count = 0;
    ppd->pptfx = nullptr;
    return FALSE;
  }
  const PathRun& run = path.Runs[path.Next++];
  ppd->flags = run.Flags;
  ppd->count = run.Count;
  ppd->pptfx = &path.Points[run.First];
  return path.Next < path.Runs.size();
}

__declspec(dllexport) VOID APIENTRY PATHOBJ_vGetBounds(PATHOBJ* ppo, PRECTFX prectfx) {
  if (ppo && prectfx) *prectfx = Host(ppo).Bounds;
}

// The engine clips lines for drivers that ask; this one gives none (drivers clip with CLIPOBJ).
__declspec(dllexport) VOID APIENTRY PATHOBJ_vEnumStartClipLines(PATHOBJ*, CLIPOBJ*, SURFOBJ*, LINEATTRS*) {}

__declspec(dllexport) BOOL APIENTRY PATHOBJ_bEnumClipLines(PATHOBJ*, ULONG cb, CLIPLINE* pcl) {
  if (pcl && cb >= sizeof(CLIPLINE)) pcl->c = 0;
  return FALSE;
}

}  // extern "C"
