// The face's own character map (cmap): Unicode to glyph, and every mapping in turn so that the
// characters of glyphs can be found backwards. The Windows Unicode subtables are used (format 12
// for the full range, else format 4 for the basic plane), or a Unicode-platform one. Segments
// and groups are read with their bounds checked; a subtable that lies maps nothing.
#pragma once
#include "font_file.h"

struct CharMap {
  FontBytes Subtable;
  uint32_t Format;  // 4 or 12; 0 when the face has no usable Unicode map
};

bool ReadCharMap(const FontFile& font, CharMap& map);
// The glyph of a Unicode code point; 0 (the missing glyph) when the map has none.
uint32_t LookUpGlyph(const CharMap& map, uint32_t codePoint);
// Calls `visit` for every (code point, glyph) pair of the map, in ascending code points.
typedef void (*CharMapVisitor)(void* context, uint32_t codePoint, uint32_t glyph);
void VisitCharMap(const CharMap& map, CharMapVisitor visit, void* context);
