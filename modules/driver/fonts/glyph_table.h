// The glyf and loca tables: one glyph's bytes, checked to be a glyph that fits in them, and the
// glyphs a composite glyph is made of. A loca that runs backwards or past glyf, a contour list
// longer than its glyph, or a composite that refers to itself, directly or through others, is
// what a lying font does: the glyph is refused.
#pragma once
#include "font_metrics.h"

const int GlyphDepthLimit = 16;       // composites nest a few levels in real fonts
const int GlyphComponentLimit = 256;  // parts of one composite glyph

// The bytes of `glyph` (empty for a glyph without outline, such as the space); false when loca
// or the glyph's own structure points outside its table.
bool ReadGlyphBytes(const FontFile& font, const FontMetrics& metrics, uint32_t glyph, FontBytes& bytes);
// The glyph ids a composite glyph's components name, in order (none for a simple glyph); false
// when the component records run past the glyph or name glyphs the face does not have.
bool ReadGlyphComponents(const FontBytes& bytes, const FontMetrics& metrics, uint32_t* components, int capacity,
                         int& count);

// Calls `visit` for `glyph` and every glyph it is made of (parts before the whole), skipping
// those `known` says were visited before with their parts; false when any of them is refused, a
// composite loops or nests deeper than GlyphDepthLimit, or `visit` returns false.
typedef bool (*GlyphVisitor)(void* context, uint32_t glyph, const FontBytes& bytes);
typedef bool (*GlyphKnown)(void* context, uint32_t glyph);
bool VisitGlyphAndParts(const FontFile& font, const FontMetrics& metrics, uint32_t glyph, GlyphKnown known,
                        GlyphVisitor visit, void* context);
