// The parts of a DC's state that map its logical coordinates to device pixels, saved and put back
// around a look at the DC in device space (GetPath answers in logical coordinates), and copied to
// the scratch DC where a record's path is made.
#pragma once
#include <windows.h>

struct DcTransform {
  int GraphicsMode;
  int MapMode;
  POINT WindowOrg, ViewportOrg;
  SIZE WindowExt, ViewportExt;
  XFORM World;
};

void SaveTransform(HDC dc, DcTransform& saved);
void ApplyTransform(HDC dc, const DcTransform& transform);
// Logical coordinates become device pixels.
void IdentityTransform(HDC dc);
// World to device: the world transform followed by the window-to-viewport mapping.
XFORM WorldToDevice(const DcTransform& transform);
