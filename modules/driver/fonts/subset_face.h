// What the driver keeps of one TrueType face for one document: exactly what the document's
// font program, widths and character map will hold, so that at the end of the document they can
// be written without the font file. A glyph is copied out of glyf when it is first used (with the
// glyphs a composite is made of, and glyph 0, which a font program must have); the few small
// tables the program needs are copied when the face is first seen. Glyph ids stay as they are in
// the face, so a PDF reader finds glyph N at N (CIDToGIDMap Identity).
#pragma once
#include "byte_buffer.h"
#include "font_metrics.h"

const int GlyphTextLimit = 8;  // UTF-16 units one glyph stands for (a ligature such as "ffi")

struct KeptGlyph {
  uint32_t Glyph;
  uint8_t* Bytes;  // the glyph's glyf record, copied
  uint32_t Size;
  uint32_t Advance;  // hmtx, font units
  int32_t LeftBearing;
  uint16_t Text[GlyphTextLimit];
  int TextLength;   // 0: no characters known (yet)
  bool Printed;     // drawn by the document itself, not only part of a composite
};

struct SubsetFace {
  FontMetrics Metrics;
  ByteBuffer Head, Hhea, Maxp, Cvt, Fpgm, Prep;
  KeptGlyph* Glyphs;  // ascending glyph ids
  uint32_t GlyphCount;
  uint32_t GlyphCapacity;
  bool TextWanted;  // a printed glyph has no characters yet: look in the face's cmap
};

// Takes a face for subsetting: false (nothing kept) when it has no TrueType outlines, a table
// lies, or its licence forbids embedding a subset; the caller then draws its text another way.
bool BeginSubsetFace(SubsetFace& face, const FontFile& font);
// Keeps `glyph` with its parts (and glyph 0); false when the glyph is refused or memory runs out,
// and then nothing of this glyph is half kept: the caller draws it another way.
bool KeepGlyph(SubsetFace& face, const FontFile& font, uint32_t glyph);
KeptGlyph* FindKeptGlyph(const SubsetFace& face, uint32_t glyph);
// The characters a printed glyph stands for, as the application gave them; the first one given
// for a glyph stays.
void SetGlyphText(SubsetFace& face, uint32_t glyph, const uint16_t* units, int count);
// Characters for the printed glyphs still without any, from the face's own cmap (the lowest code
// point that maps to each).
void TakeGlyphTextFromCharMap(SubsetFace& face, const FontFile& font);
void FreeSubsetFace(SubsetFace& face);
