// Microsoft does not promise that the glyph handles GDI gives a driver for a TrueType font are
// the font's glyph ids. Before glyphs are embedded by id, the handles are checked against the
// face's own tables: each must be a glyph the face has; where the characters are known one for one
// the cmap must map most of them to those very glyphs, and where none is known the advances GDI
// reports must be hmtx's scaled to the size drawn.
#pragma once
#include "char_map.h"
#include "font_metrics.h"

struct GlyphHandleSample {
  uint32_t Handle;
  double Advance;      // GDI's advance in device pixels along the baseline; negative: not known
  uint32_t Character;  // the character drawn with it, 0 when not known one for one
};

// `emPixels`: the em's size in device pixels of the text drawn.
bool GlyphHandlesAreGlyphIds(const FontFile& font, const FontMetrics& metrics, const GlyphHandleSample* samples,
                             uint32_t count, double emPixels);
