// What a face's own tables say about it as a whole: the em, the bounding box, ascent and descent,
// the glyph count, how loca is stored, whether it may be embedded, its PostScript name. Every
// number is checked against the others (a face whose hmtx is shorter than hhea says, or whose em
// is absurd, is refused) so that later reads can rely on them.
#pragma once
#include "font_file.h"

struct FontMetrics {
  uint32_t UnitsPerEm;
  int32_t XMin, YMin, XMax, YMax;  // head's box of all glyphs, font units
  bool LongLoca;                   // head.indexToLocFormat 1: 32-bit offsets
  uint32_t MacStyle;
  uint32_t GlyphCount;   // maxp.numGlyphs
  uint32_t HMetricCount; // hhea.numberOfHMetrics
  int32_t Ascender, Descender, LineGap;
  bool HasOs2;
  uint32_t FsType;       // OS/2 embedding licence bits; 0 without OS/2
  uint32_t WeightClass;  // 400 regular, 700 bold
  int32_t FamilyClass;   // OS/2 sFamilyClass high byte (1-7 serifs, 8 sans, 10 script)
  int32_t CapHeight;     // OS/2 version 2 and later, else estimated
  int32_t XHeight;
  double ItalicAngle;    // post, degrees
  bool FixedPitch;       // post.isFixedPitch
  bool TrueTypeOutlines; // glyf and loca present
  char PostScriptName[64];  // from name ID 6, only characters a PDF name takes plainly; may be empty
};

// Reads head, hhea, maxp and hmtx (required) and OS/2, post and name (when present); false when a
// required table is missing, too short or inconsistent.
bool ReadFontMetrics(const FontFile& font, FontMetrics& metrics);
// hmtx's advance and left side bearing of a glyph (glyphs past numberOfHMetrics share the last
// advance); false for a glyph the face does not have.
bool ReadGlyphMetrics(const FontFile& font, const FontMetrics& metrics, uint32_t glyph, uint32_t& advance,
                      int32_t& leftBearing);

// What the licence bits allow: embedding a subset, or nothing (restricted licence, bitmap-only
// embedding, or no subsetting: we only ever embed subsets).
bool EmbeddingAllowed(const FontMetrics& metrics);
