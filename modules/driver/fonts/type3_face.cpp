#include "type3_face.h"

#include <stdlib.h>
#include <string.h>

#include "to_unicode.h"

long FindType3Glyph(const Type3Face& face, uint64_t key) {
  for (uint32_t i = 0; i < face.Count; ++i)
    if (face.Glyphs[i].Key == key) return long(i);
  return -1;
}

long AddType3Glyph(Type3Face& face, uint64_t key, double advance) {
  if (face.Count == face.Capacity) {
    uint32_t grown = face.Capacity ? face.Capacity * 2 : 64;
    Type3Glyph* larger = static_cast<Type3Glyph*>(realloc(face.Glyphs, grown * sizeof(Type3Glyph)));
    if (!larger) {
      face.Failed = true;
      return -1;
    }
    face.Glyphs = larger;
    face.Capacity = grown;
  }
  Type3Glyph& glyph = face.Glyphs[face.Count];
  glyph = Type3Glyph();
  glyph.Key = key;
  glyph.Advance = advance;
  return long(face.Count++);
}

static Type3Glyph* GlyphAt(Type3Face& face, long glyph) {
  return glyph >= 0 && uint32_t(glyph) < face.Count ? &face.Glyphs[glyph] : nullptr;
}

static void AddPoint(Type3Glyph& glyph, double x, double y) {
  if (!glyph.HasPoints) {
    glyph.Box[0] = glyph.Box[2] = x;
    glyph.Box[1] = glyph.Box[3] = y;
    glyph.HasPoints = true;
  }
  if (x < glyph.Box[0]) glyph.Box[0] = x;
  if (y < glyph.Box[1]) glyph.Box[1] = y;
  if (x > glyph.Box[2]) glyph.Box[2] = x;
  if (y > glyph.Box[3]) glyph.Box[3] = y;
  AppendDecimal(glyph.Path, x);
  AppendText(glyph.Path, " ");
  AppendDecimal(glyph.Path, y);
  AppendText(glyph.Path, " ");
}

void Type3MoveTo(Type3Face& face, long index, double x, double y) {
  if (Type3Glyph* glyph = GlyphAt(face, index)) {
    AddPoint(*glyph, x, y);
    AppendText(glyph->Path, "m\n");
  }
}

void Type3LineTo(Type3Face& face, long index, double x, double y) {
  if (Type3Glyph* glyph = GlyphAt(face, index)) {
    AddPoint(*glyph, x, y);
    AppendText(glyph->Path, "l\n");
  }
}

void Type3CurveTo(Type3Face& face, long index, double x1, double y1, double x2, double y2, double x3, double y3) {
  if (Type3Glyph* glyph = GlyphAt(face, index)) {
    // The control points bound the curve, so the box holds it too.
    AddPoint(*glyph, x1, y1);
    AddPoint(*glyph, x2, y2);
    AddPoint(*glyph, x3, y3);
    AppendText(glyph->Path, "c\n");
  }
}

void Type3ClosePath(Type3Face& face, long index) {
  if (Type3Glyph* glyph = GlyphAt(face, index)) AppendText(glyph->Path, "h\n");
}

void EndType3Glyph(Type3Face& face, long index) {
  Type3Glyph* glyph = GlyphAt(face, index);
  if (!glyph) return;
  // d1: the glyph has its own shape and takes the colour of the text drawing it.
  ByteBuffer& procedure = glyph->Procedure;
  AppendDecimal(procedure, glyph->Advance);
  AppendText(procedure, " 0 ");
  for (int i = 0; i < 4; ++i) {
    AppendDecimal(procedure, glyph->HasPoints ? glyph->Box[i] : 0);
    AppendText(procedure, " ");
  }
  AppendText(procedure, "d1\n");
  if (glyph->HasPoints) {
    AppendBytes(procedure, glyph->Path.Data, glyph->Path.Size);
    AppendText(procedure, "f\n");
  }
  if (glyph->Path.Failed || procedure.Failed) face.Failed = true;
  FreeByteBuffer(glyph->Path);
}

void SetType3GlyphText(Type3Face& face, long index, const uint16_t* units, int count) {
  Type3Glyph* glyph = GlyphAt(face, index);
  if (!glyph || glyph->TextLength || count <= 0) return;
  if (count > Type3TextLimit) count = Type3TextLimit;
  memcpy(glyph->Text, units, count * sizeof(uint16_t));
  glyph->TextLength = count;
}

uint32_t Type3FontCount(const Type3Face& face) { return (face.Count + 255) / 256; }

void Type3FontGlyphs(const Type3Face& face, uint32_t font, uint32_t& first, uint32_t& count) {
  first = font * 256;
  count = first < face.Count ? face.Count - first : 0;
  if (count > 256) count = 256;
}

void WriteType3Metrics(const Type3Face& face, uint32_t font, ByteBuffer& text) {
  uint32_t first, count;
  Type3FontGlyphs(face, font, first, count);
  double box[4] = {0, 0, 0, 0};
  AppendText(text, "/FirstChar 0 /LastChar ");
  AppendNumber(text, count ? count - 1 : 0);
  AppendText(text, " /Widths [");
  for (uint32_t i = 0; i < count; ++i) {
    const Type3Glyph& glyph = face.Glyphs[first + i];
    if (i) AppendText(text, " ");
    AppendDecimal(text, glyph.Advance);
    if (glyph.HasPoints) {
      for (int b = 0; b < 2; ++b)
        if (glyph.Box[b] < box[b]) box[b] = glyph.Box[b];
      for (int b = 2; b < 4; ++b)
        if (glyph.Box[b] > box[b]) box[b] = glyph.Box[b];
    }
  }
  AppendText(text, "] /FontBBox [");
  for (int b = 0; b < 4; ++b) {
    if (b) AppendText(text, " ");
    AppendDecimal(text, box[b]);
  }
  AppendText(text, "] /FontMatrix [0.001 0 0 0.001 0 0]");
}

void AppendType3GlyphName(ByteBuffer& text, uint32_t code) {
  AppendText(text, "g");
  AppendNumber(text, code);
}

void WriteType3Encoding(const Type3Face& face, uint32_t font, ByteBuffer& text) {
  uint32_t first, count;
  Type3FontGlyphs(face, font, first, count);
  AppendText(text, "/Encoding << /Type /Encoding /Differences [0");
  for (uint32_t i = 0; i < count; ++i) {
    AppendText(text, " /");
    AppendType3GlyphName(text, i);
  }
  AppendText(text, "] >>");
}

void WriteType3ToUnicode(const Type3Face& face, uint32_t font, ByteBuffer& cmap) {
  uint32_t first, count;
  Type3FontGlyphs(face, font, first, count);
  CodeText codes[256];
  uint32_t used = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const Type3Glyph& glyph = face.Glyphs[first + i];
    if (!glyph.TextLength) continue;
    codes[used].Code = i;
    codes[used].Units = glyph.Text;
    codes[used].Length = glyph.TextLength;
    ++used;
  }
  WriteToUnicodeCMap(codes, used, 1, cmap);
}

void FreeType3Face(Type3Face& face) {
  for (uint32_t i = 0; i < face.Count; ++i) {
    FreeByteBuffer(face.Glyphs[i].Procedure);
    FreeByteBuffer(face.Glyphs[i].Path);
  }
  free(face.Glyphs);
  face = Type3Face();
}
