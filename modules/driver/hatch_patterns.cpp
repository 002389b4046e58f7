#include "hatch_patterns.h"

#include <stdlib.h>
#include <string.h>

namespace {

// Whether pixel (x, y) of a pattern square of `side` lies on a line of `style`. The diagonals
// follow CreateHatchBrush: HS_FDIAGONAL runs down from left to right, HS_BDIAGONAL up.
bool OnLine(ULONG style, LONG x, LONG y, LONG side, LONG width) {
  LONG middle = (side - width) / 2;
  bool horizontal = y >= middle && y < middle + width;
  bool vertical = x >= middle && x < middle + width;
  bool down = ((x - y) % side + side) % side < width;
  bool up = ((x + y + 1) % side) < width;
  switch (style) {
    case HS_HORIZONTAL:
      return horizontal;
    case HS_VERTICAL:
      return vertical;
    case HS_FDIAGONAL:
      return down;
    case HS_BDIAGONAL:
      return up;
    case HS_CROSS:
      return horizontal || vertical;
    default:  // HS_DIAGCROSS
      return down || up;
  }
}

}  // namespace

LONG HatchPatternSide(LONG dpi) {
  LONG side = (dpi + 6) / 12;
  return side < 8 ? 8 : side;
}

LONG HatchLineWidth(LONG dpi) {
  LONG width = (dpi + 48) / 96;
  return width < 1 ? 1 : width;
}

bool CreateHatchPatterns(const EngineCalls& engine, LONG dpi, ULONG room, HatchPatterns& patterns) {
  ZeroMemory(&patterns, sizeof(patterns));
  const LONG side = HatchPatternSide(dpi), width = HatchLineWidth(dpi);
  const LONG stride = ((side + 31) / 32) * 4;  // 1-bit rows padded to whole DWORDs
  ULONG count = room < HS_DDI_MAX ? room : HS_DDI_MAX;
  for (ULONG style = 0; style < count; ++style) {
    BYTE* bits = static_cast<BYTE*>(calloc(static_cast<size_t>(stride) * side, 1));
    if (!bits) {
      DeleteHatchPatterns(engine, patterns);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    for (LONG y = 0; y < side; ++y)
      for (LONG x = 0; x < side; ++x)
        if (!OnLine(style, x, y, side, width)) bits[y * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    SIZEL size = {side, side};
    HBITMAP bitmap = engine.CreateBitmap(size, stride, BMF_1BPP, BMF_TOPDOWN, bits);
    if (!bitmap) {
      free(bits);
      DeleteHatchPatterns(engine, patterns);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    patterns.Surfaces[style] = reinterpret_cast<HSURF>(bitmap);
    patterns.Bits[style] = bits;
    patterns.Count = style + 1;
  }
  return true;
}

void DeleteHatchPatterns(const EngineCalls& engine, HatchPatterns& patterns) {
  for (ULONG i = 0; i < patterns.Count; ++i) {
    if (patterns.Surfaces[i]) engine.DeleteSurface(patterns.Surfaces[i]);
    free(patterns.Bits[i]);
  }
  ZeroMemory(&patterns, sizeof(patterns));
}
