#include "glyph_check.h"

bool GlyphHandlesAreGlyphIds(const FontFile& font, const FontMetrics& metrics, const GlyphHandleSample* samples,
                             uint32_t count, double emPixels) {
  CharMap map;
  bool haveMap = ReadCharMap(font, map);
  uint32_t compared = 0, agreed = 0;
  bool advancesAgree = true;
  for (uint32_t i = 0; i < count; ++i) {
    const GlyphHandleSample& sample = samples[i];
    uint32_t advance;
    int32_t bearing;
    if (!ReadGlyphMetrics(font, metrics, sample.Handle, advance, bearing)) return false;  // no such glyph
    if (sample.Advance >= 0 && emPixels > 0) {
      double expected = double(advance) * emPixels / metrics.UnitsPerEm;
      double difference = sample.Advance - expected;
      if (difference < 0) difference = -difference;
      // Hinting rounds each advance to whole pixels and may widen a glyph a little.
      if (difference > 1.0 + expected * 0.06) advancesAgree = false;
    }
    if (sample.Character && haveMap) {
      uint32_t mapped = LookUpGlyph(map, sample.Character);
      if (mapped) {
        ++compared;
        if (mapped == sample.Handle) ++agreed;
      }
    }
  }
  // The characters say most: shaping may put another glyph in a character's place now and then,
  // but not for most of them. GDI's advances may be a layout's (a face standing in for another,
  // fixed-pitch cells), so they decide only where no character is known.
  if (compared) return agreed * 2 > compared;
  return advancesAgree;
}
