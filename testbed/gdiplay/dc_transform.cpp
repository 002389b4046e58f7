#include "dc_transform.h"

void SaveTransform(HDC dc, DcTransform& saved) {
  saved.GraphicsMode = GetGraphicsMode(dc);
  saved.MapMode = GetMapMode(dc);
  GetWindowOrgEx(dc, &saved.WindowOrg);
  GetViewportOrgEx(dc, &saved.ViewportOrg);
  GetWindowExtEx(dc, &saved.WindowExt);
  GetViewportExtEx(dc, &saved.ViewportExt);
  if (!GetWorldTransform(dc, &saved.World)) saved.World = {1, 0, 0, 1, 0, 0};
}

void ApplyTransform(HDC dc, const DcTransform& transform) {
  SetGraphicsMode(dc, GM_ADVANCED);
  SetMapMode(dc, transform.MapMode);
  if (transform.MapMode == MM_ISOTROPIC || transform.MapMode == MM_ANISOTROPIC) {
    SetWindowExtEx(dc, transform.WindowExt.cx, transform.WindowExt.cy, nullptr);
    SetViewportExtEx(dc, transform.ViewportExt.cx, transform.ViewportExt.cy, nullptr);
  }
  SetWindowOrgEx(dc, transform.WindowOrg.x, transform.WindowOrg.y, nullptr);
  SetViewportOrgEx(dc, transform.ViewportOrg.x, transform.ViewportOrg.y, nullptr);
  SetWorldTransform(dc, &transform.World);
  // Back to compatible mode only where the world transform is the identity, as GDI requires.
  if (transform.GraphicsMode == GM_COMPATIBLE) SetGraphicsMode(dc, GM_COMPATIBLE);
}

void IdentityTransform(HDC dc) {
  SetGraphicsMode(dc, GM_ADVANCED);
  ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
  SetMapMode(dc, MM_TEXT);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SetViewportOrgEx(dc, 0, 0, nullptr);
}

XFORM WorldToDevice(const DcTransform& t) {
  double sx = t.WindowExt.cx ? static_cast<double>(t.ViewportExt.cx) / t.WindowExt.cx : 1;
  double sy = t.WindowExt.cy ? static_cast<double>(t.ViewportExt.cy) / t.WindowExt.cy : 1;
  if (t.MapMode == MM_TEXT) sx = sy = 1;
  XFORM page = {static_cast<FLOAT>(sx), 0, 0, static_cast<FLOAT>(sy),
                static_cast<FLOAT>(t.ViewportOrg.x - sx * t.WindowOrg.x),
                static_cast<FLOAT>(t.ViewportOrg.y - sy * t.WindowOrg.y)};
  XFORM combined;
  CombineTransform(&combined, &t.World, &page);
  return combined;
}
