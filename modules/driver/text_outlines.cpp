#include "text_outlines.h"

namespace {

struct Inverse {
  double A, B, C, D;  // u = A x + C y, v = B x + D y (glyph space units of 1000 an em)
};

bool Invert(const TextMatrix& m, Inverse& inverse) {
  double determinant = m.A * m.D - m.B * m.C;
  if (determinant > -1e-9 && determinant < 1e-9) return false;
  inverse.A = 1000 * m.D / determinant;
  inverse.C = -1000 * m.C / determinant;
  inverse.B = -1000 * m.B / determinant;
  inverse.D = 1000 * m.A / determinant;
  return true;
}

void ToGlyphSpace(const Inverse& inverse, const POINTFIX& point, double& u, double& v) {
  double x = point.x / 16.0, y = point.y / 16.0;
  u = inverse.A * x + inverse.C * y;
  v = inverse.B * x + inverse.D * y;
}

}  // namespace

long TakeGlyphOutline(const EngineCalls& engine, FONTOBJ* fontObject, HGLYPH glyph, const TextMatrix& matrix,
                      Type3Face& face) {
  long index = FindType3Glyph(face, glyph);
  if (index >= 0) return index;
  Inverse inverse;
  if (!engine.FONTOBJ_cGetGlyphs || !engine.PATHOBJ_vEnumStart || !engine.PATHOBJ_bEnum || !Invert(matrix, inverse))
    return -1;
  GLYPHDATA* data = nullptr;
  HGLYPH handle = glyph;
  if (engine.FONTOBJ_cGetGlyphs(fontObject, FO_PATHOBJ, 1, &handle, reinterpret_cast<PVOID*>(&data)) != 1 || !data ||
      !data->gdf.ppo)
    return -1;
  // The advance along the baseline (ptqD, device space).
  double advanceX = PixelsOfQuadFix(data->ptqD.x), advanceY = PixelsOfQuadFix(data->ptqD.y);
  double advance = inverse.A * advanceX + inverse.C * advanceY;
  index = AddType3Glyph(face, glyph, advance);
  if (index < 0) return -1;
  PATHOBJ* path = data->gdf.ppo;
  engine.PATHOBJ_vEnumStart(path);
  PATHDATA part;
  BOOL more;
  do {
    more = engine.PATHOBJ_bEnum(path, &part);
    ULONG at = 0;
    double u, v;
    if (part.count && (part.flags & PD_BEGINSUBPATH)) {
      ToGlyphSpace(inverse, part.pptfx[0], u, v);
      Type3MoveTo(face, index, u, v);
      at = 1;
    }
    if (part.flags & PD_BEZIERS) {
      for (; at + 2 < part.count; at += 3) {
        double u1, v1, u2, v2, u3, v3;
        ToGlyphSpace(inverse, part.pptfx[at], u1, v1);
        ToGlyphSpace(inverse, part.pptfx[at + 1], u2, v2);
        ToGlyphSpace(inverse, part.pptfx[at + 2], u3, v3);
        Type3CurveTo(face, index, u1, v1, u2, v2, u3, v3);
      }
    }
    for (; at < part.count; ++at) {
      ToGlyphSpace(inverse, part.pptfx[at], u, v);
      Type3LineTo(face, index, u, v);
    }
    if (part.flags & PD_CLOSEFIGURE) Type3ClosePath(face, index);
  } while (more);
  EndType3Glyph(face, index);
  return index;
}
