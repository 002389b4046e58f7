// The six standard hatch patterns a printer driver hands GDI in DrvEnablePDEV (phsurfPatterns).
// GDI's own are 8 x 8 pixels, made for screens: at 600 dpi their lines are a third of a
// millimetre apart and print as grey. These keep the look of a screen's hatch on paper: lines
// about a twelfth of an inch apart and a ninety-sixth of an inch wide, whatever the resolution.
#pragma once
#include <windows.h>
#include <winddi.h>

#include "engine_calls.h"

struct HatchPatterns {
  HSURF Surfaces[HS_DDI_MAX];
  BYTE* Bits[HS_DDI_MAX];  // the driver's own memory behind each surface, freed after it
  ULONG Count;
};

// The side of a pattern's square and the width of its lines, in device pixels, at dpi.
LONG HatchPatternSide(LONG dpi);
LONG HatchLineWidth(LONG dpi);

// Monochrome bitmaps (BMF_1BPP, top-down) of HS_HORIZONTAL .. HS_DIAGCROSS, in that order, as
// many as `room` allows. A line pixel is 0 (GDI translates index 0 to the brush's colour), the
// gaps are 1. False, with the last error set, when a surface cannot be made; none is left then.
bool CreateHatchPatterns(const EngineCalls& engine, LONG dpi, ULONG room, HatchPatterns& patterns);
void DeleteHatchPatterns(const EngineCalls& engine, HatchPatterns& patterns);
