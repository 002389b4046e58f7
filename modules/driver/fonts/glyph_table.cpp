#include "glyph_table.h"

static bool LocaEntry(const FontBytes& loca, bool longLoca, uint32_t index, uint32_t& offset) {
  if (longLoca) return ReadU32(loca, size_t(index) * 4, offset);
  if (!ReadU16(loca, size_t(index) * 2, offset)) return false;
  offset *= 2;
  return true;
}

// A simple glyph: contour ends ascending, instructions, then flags and coordinates whose sizes
// follow from the flags; all of it must lie inside the glyph's bytes.
static bool CheckSimpleGlyph(const FontBytes& bytes, uint32_t contours) {
  size_t at = 10;
  uint32_t previous = 0, end = 0;
  for (uint32_t i = 0; i < contours; ++i, at += 2) {
    if (!ReadU16(bytes, at, end)) return false;
    if (i && end <= previous) return false;
    previous = end;
  }
  uint32_t points = end + 1, instructions;
  if (!ReadU16(bytes, at, instructions)) return false;
  at += 2 + instructions;
  size_t xBytes = 0, yBytes = 0;
  for (uint32_t point = 0; point < points;) {
    uint32_t flag, repeat = 0;
    if (!ReadU8(bytes, at++, flag)) return false;
    if (flag & 8) {
      if (!ReadU8(bytes, at++, repeat)) return false;
    }
    if (repeat + 1 > points - point) return false;  // flags for more points than the contours have
    size_t x = (flag & 2) ? 1 : ((flag & 16) ? 0 : 2);
    size_t y = (flag & 4) ? 1 : ((flag & 32) ? 0 : 2);
    xBytes += x * (repeat + 1);
    yBytes += y * (repeat + 1);
    point += repeat + 1;
  }
  return at <= bytes.Size && xBytes + yBytes <= bytes.Size - at;
}

bool ReadGlyphComponents(const FontBytes& bytes, const FontMetrics& metrics, uint32_t* components, int capacity,
                         int& count) {
  count = 0;
  int32_t contours;
  if (bytes.Size == 0) return true;
  if (!ReadS16(bytes, 0, contours)) return false;
  if (contours >= 0) return true;
  const uint32_t ArgsAreWords = 0x0001, HaveScale = 0x0008, MoreComponents = 0x0020, HaveXYScale = 0x0040,
                 HaveTwoByTwo = 0x0080, HaveInstructions = 0x0100;
  size_t at = 10;
  uint32_t flags;
  do {
    uint32_t part;
    if (!ReadU16(bytes, at, flags) || !ReadU16(bytes, at + 2, part)) return false;
    if (part >= metrics.GlyphCount || count >= capacity) return false;
    components[count++] = part;
    at += 4 + ((flags & ArgsAreWords) ? 4 : 2);
    if (flags & HaveScale) at += 2;
    else if (flags & HaveXYScale) at += 4;
    else if (flags & HaveTwoByTwo) at += 8;
    if (at > bytes.Size) return false;
  } while (flags & MoreComponents);
  if (flags & HaveInstructions) {
    uint32_t length;
    if (!ReadU16(bytes, at, length) || length > bytes.Size - at - 2) return false;
  }
  return true;
}

bool ReadGlyphBytes(const FontFile& font, const FontMetrics& metrics, uint32_t glyph, FontBytes& bytes) {
  bytes = FontBytes();
  FontBytes glyf, loca;
  if (glyph >= metrics.GlyphCount || !FindFontTable(font, FontTag('g', 'l', 'y', 'f'), glyf) ||
      !FindFontTable(font, FontTag('l', 'o', 'c', 'a'), loca))
    return false;
  uint32_t start, end;
  if (!LocaEntry(loca, metrics.LongLoca, glyph, start) || !LocaEntry(loca, metrics.LongLoca, glyph + 1, end))
    return false;
  if (end < start || !SliceBytes(glyf, start, end - start, bytes)) return false;
  if (bytes.Size == 0) {
    bytes.Data = glyf.Data;  // an empty glyph: a valid pointer, no bytes
    return true;
  }
  int32_t contours;
  if (bytes.Size < 10 || !ReadS16(bytes, 0, contours)) return false;
  if (contours >= 0) return contours == 0 || CheckSimpleGlyph(bytes, uint32_t(contours));
  uint32_t parts[GlyphComponentLimit];
  int count;
  return ReadGlyphComponents(bytes, metrics, parts, GlyphComponentLimit, count);
}

namespace {

struct GlyphWalk {
  const FontFile* Font;
  const FontMetrics* Metrics;
  GlyphKnown Known;
  GlyphVisitor Visit;
  void* Context;
  int Budget;  // glyphs a walk may read: bounds the work a composite maze can ask for
  uint32_t Path[GlyphDepthLimit];  // the composites being visited, outermost first
  int Depth;
};

bool Walk(GlyphWalk& walk, uint32_t glyph) {
  if (walk.Known && walk.Known(walk.Context, glyph)) return true;
  if (--walk.Budget < 0) return false;
  for (int i = 0; i < walk.Depth; ++i)
    if (walk.Path[i] == glyph) return false;  // a composite made of itself
  if (walk.Depth >= GlyphDepthLimit) return false;
  FontBytes bytes;
  if (!ReadGlyphBytes(*walk.Font, *walk.Metrics, glyph, bytes)) return false;
  uint32_t parts[GlyphComponentLimit];
  int count;
  if (!ReadGlyphComponents(bytes, *walk.Metrics, parts, GlyphComponentLimit, count)) return false;
  walk.Path[walk.Depth++] = glyph;
  for (int i = 0; i < count; ++i)
    if (!Walk(walk, parts[i])) return false;
  --walk.Depth;
  return walk.Visit(walk.Context, glyph, bytes);
}

}  // namespace

bool VisitGlyphAndParts(const FontFile& font, const FontMetrics& metrics, uint32_t glyph, GlyphKnown known,
                        GlyphVisitor visit, void* context) {
  GlyphWalk walk = {&font, &metrics, known, visit, context, 4096, {}, 0};
  return Walk(walk, glyph);
}
