// Glyph outlines from GDI (FONTOBJ_cGetGlyphs with FO_PATHOBJ: a path in device space, 28.4 fixed
// point, relative to the glyph's origin) turned into a Type 3 glyph in glyph space (1000 units an
// em, y up) through the inverse of the text's own matrix.
#pragma once
#include <windows.h>
#include <winddi.h>

#include "engine_calls.h"
#include "type3_face.h"

// The text's matrix: glyph space (an em of 1, y up) to device pixels (y down).
struct TextMatrix {
  double A, B, C, D;  // x' = A u + C v, y' = B u + D v
};

// A POINTQF coordinate (28.36 fixed point) in device pixels.
inline double PixelsOfQuadFix(const LARGE_INTEGER& value) { return double(value.QuadPart) / 68719476736.0; }

// The glyph `glyph` of the face, added from GDI's outline when it is not there yet; its index, or
// -1 when GDI gives no outline or memory runs out.
long TakeGlyphOutline(const EngineCalls& engine, FONTOBJ* fontObject, HGLYPH glyph, const TextMatrix& matrix,
                      Type3Face& face);
