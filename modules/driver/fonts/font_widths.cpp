#include "font_widths.h"

long long GlyphSpaceWidth(uint32_t advance, uint32_t unitsPerEm) {
  if (!unitsPerEm) return 0;
  return (static_cast<long long>(advance) * 1000 + unitsPerEm / 2) / unitsPerEm;
}

void WriteCidWidths(const SubsetFace& face, ByteBuffer& widths) {
  AppendText(widths, "[");
  for (uint32_t i = 0; i < face.GlyphCount; ++i) {
    const KeptGlyph& glyph = face.Glyphs[i];
    bool startsRun = i == 0 || face.Glyphs[i - 1].Glyph + 1 != glyph.Glyph;
    if (startsRun) {
      if (i) AppendText(widths, "] ");
      AppendNumber(widths, glyph.Glyph);
      AppendText(widths, " [");
    } else {
      AppendText(widths, " ");
    }
    AppendNumber(widths, GlyphSpaceWidth(glyph.Advance, face.Metrics.UnitsPerEm));
  }
  if (face.GlyphCount) AppendText(widths, "]");
  AppendText(widths, "]");
}
