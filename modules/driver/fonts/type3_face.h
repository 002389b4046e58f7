// A Type 3 font made from glyph outlines, for faces that can't be embedded as they are (CFF
// outlines, a licence that forbids embedding, tables that lie, other outline fonts) and, with
// empty glyphs, for the invisible text laid under a bitmap font's raster so that it can still be
// found. Outlines come in glyph space units of a 1000-unit em (y up), as the caller converts them
// from GDI's paths. Only what will be written is kept: each glyph's drawing procedure, advance,
// box and characters. A Type 3 font has one-byte codes, so every 256 glyphs of a face make one
// PDF font of their own (glyph i is code i % 256 of font i / 256).
#pragma once
#include "byte_buffer.h"

const int Type3TextLimit = 8;

struct Type3Glyph {
  uint64_t Key;          // the caller's name for the glyph (GDI's glyph handle)
  ByteBuffer Procedure;  // the glyph's content stream once ended
  ByteBuffer Path;       // while the outline is being given
  double Advance;
  double Box[4];  // left, bottom, right, top
  bool HasPoints;
  uint16_t Text[Type3TextLimit];
  int TextLength;
};

struct Type3Face {
  Type3Glyph* Glyphs;  // in the order first used: the index makes the code
  uint32_t Count;
  uint32_t Capacity;
  bool Failed;  // memory ran out: the face can't be written whole
};

// The index of a glyph kept before, or -1.
long FindType3Glyph(const Type3Face& face, uint64_t key);
// A new glyph (its outline follows); -1 when memory runs out.
long AddType3Glyph(Type3Face& face, uint64_t key, double advance);
void Type3MoveTo(Type3Face& face, long glyph, double x, double y);
void Type3LineTo(Type3Face& face, long glyph, double x, double y);
void Type3CurveTo(Type3Face& face, long glyph, double x1, double y1, double x2, double y2, double x3, double y3);
void Type3ClosePath(Type3Face& face, long glyph);
// Finishes the outline (filled with the non-zero winding rule, as TrueType and CFF outlines are).
void EndType3Glyph(Type3Face& face, long glyph);
void SetType3GlyphText(Type3Face& face, long glyph, const uint16_t* units, int count);

// The PDF fonts the face needs, and what each one's dictionary holds.
uint32_t Type3FontCount(const Type3Face& face);
// `/FirstChar 0 /LastChar n /Widths [...]` and `/FontBBox [...]` of font `font`.
void WriteType3Metrics(const Type3Face& face, uint32_t font, ByteBuffer& text);
// `/Encoding << /Type /Encoding /Differences [0 /g0 /g1 ...] >>` naming each code's procedure.
void WriteType3Encoding(const Type3Face& face, uint32_t font, ByteBuffer& text);
// The name a glyph's procedure has in /CharProcs ("g12").
void AppendType3GlyphName(ByteBuffer& text, uint32_t code);
void WriteType3ToUnicode(const Type3Face& face, uint32_t font, ByteBuffer& cmap);
// The glyphs of font `font`: first index and count.
void Type3FontGlyphs(const Type3Face& face, uint32_t font, uint32_t& first, uint32_t& count);
void FreeType3Face(Type3Face& face);
