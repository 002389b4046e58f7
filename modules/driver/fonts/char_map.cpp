#include "char_map.h"

static bool SubtableAt(const FontBytes& cmap, uint32_t offset, CharMap& map) {
  uint32_t format, length;
  if (!ReadU16(cmap, offset, format)) return false;
  if (format == 4) {
    if (!ReadU16(cmap, size_t(offset) + 2, length)) return false;
  } else if (format == 12) {
    if (!ReadU32(cmap, size_t(offset) + 4, length)) return false;
  } else {
    return false;
  }
  // Some fonts give format 4 a length a few bytes past the table's end: take what is there.
  if (size_t(length) > cmap.Size - offset) length = uint32_t(cmap.Size - offset);
  if (!SliceBytes(cmap, offset, length, map.Subtable)) return false;
  map.Format = format;
  return true;
}

bool ReadCharMap(const FontFile& font, CharMap& map) {
  map = CharMap();
  FontBytes cmap;
  uint32_t count;
  if (!FindFontTable(font, FontTag('c', 'm', 'a', 'p'), cmap) || !ReadU16(cmap, 2, count)) return false;
  // Best first: Windows UCS-4, Unicode full repertoire, Windows BMP, Unicode BMP.
  const uint32_t preferred[4][2] = {{3, 10}, {0, 4}, {3, 1}, {0, 3}};
  for (int choice = 0; choice < 4; ++choice) {
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t platform, encoding, offset;
      if (!ReadU16(cmap, 4 + size_t(i) * 8, platform) || !ReadU16(cmap, 6 + size_t(i) * 8, encoding) ||
          !ReadU32(cmap, 8 + size_t(i) * 8, offset))
        return false;
      if (platform == preferred[choice][0] && encoding == preferred[choice][1] && SubtableAt(cmap, offset, map))
        return true;
    }
  }
  // Unicode platform subtables with other encodings, as old fonts have them.
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t platform, offset;
    if (ReadU16(cmap, 4 + size_t(i) * 8, platform) && platform == 0 && ReadU32(cmap, 8 + size_t(i) * 8, offset) &&
        SubtableAt(cmap, offset, map))
      return true;
  }
  return false;
}

namespace {

// One segment of format 4: code points start..end; glyph = (code + delta) or from the glyph array.
struct Segment4 {
  uint32_t Start, End, Delta, RangeOffset;
  size_t RangeOffsetAt;  // where idRangeOffset of this segment lies in the subtable
};

bool ReadSegment4(const FontBytes& table, uint32_t segments, uint32_t index, Segment4& segment) {
  size_t ends = 14, starts = ends + size_t(segments) * 2 + 2, deltas = starts + size_t(segments) * 2,
         ranges = deltas + size_t(segments) * 2;
  segment.RangeOffsetAt = ranges + size_t(index) * 2;
  return ReadU16(table, ends + size_t(index) * 2, segment.End) && ReadU16(table, starts + size_t(index) * 2, segment.Start) &&
         ReadU16(table, deltas + size_t(index) * 2, segment.Delta) &&
         ReadU16(table, segment.RangeOffsetAt, segment.RangeOffset);
}

uint32_t GlyphInSegment4(const FontBytes& table, const Segment4& segment, uint32_t code) {
  if (segment.RangeOffset == 0) return (code + segment.Delta) & 0xFFFF;
  uint32_t glyph;
  if (!ReadU16(table, segment.RangeOffsetAt + segment.RangeOffset + size_t(code - segment.Start) * 2, glyph) || !glyph)
    return 0;
  return (glyph + segment.Delta) & 0xFFFF;
}

uint32_t Segments4(const FontBytes& table) {
  uint32_t doubled;
  if (!ReadU16(table, 6, doubled)) return 0;
  return doubled / 2;
}

}  // namespace

uint32_t LookUpGlyph(const CharMap& map, uint32_t code) {
  if (map.Format == 4) {
    uint32_t segments = Segments4(map.Subtable);
    for (uint32_t i = 0; i < segments; ++i) {
      Segment4 segment;
      if (!ReadSegment4(map.Subtable, segments, i, segment)) return 0;
      if (code <= segment.End) return code >= segment.Start ? GlyphInSegment4(map.Subtable, segment, code) : 0;
    }
  } else if (map.Format == 12) {
    uint32_t groups;
    if (!ReadU32(map.Subtable, 12, groups)) return 0;
    for (uint32_t i = 0; i < groups; ++i) {
      uint32_t start, end, glyph;
      size_t at = 16 + size_t(i) * 12;
      if (!ReadU32(map.Subtable, at, start) || !ReadU32(map.Subtable, at + 4, end) || !ReadU32(map.Subtable, at + 8, glyph))
        return 0;
      if (code >= start && code <= end) return glyph + (code - start);
    }
  }
  return 0;
}

void VisitCharMap(const CharMap& map, CharMapVisitor visit, void* context) {
  if (map.Format == 4) {
    uint32_t segments = Segments4(map.Subtable), next = 0;
    for (uint32_t i = 0; i < segments; ++i) {
      Segment4 segment;
      if (!ReadSegment4(map.Subtable, segments, i, segment) || segment.Start > segment.End || segment.Start < next)
        return;  // segments overlap or run backwards: the map lies
      next = segment.End + 1;
      for (uint32_t code = segment.Start; code <= segment.End && code != 0xFFFF; ++code) {
        uint32_t glyph = GlyphInSegment4(map.Subtable, segment, code);
        if (glyph) visit(context, code, glyph);
      }
    }
  } else if (map.Format == 12) {
    uint32_t groups;
    if (!ReadU32(map.Subtable, 12, groups)) return;
    uint32_t next = 0;  // groups must ascend without overlap, which bounds the walk to Unicode's range
    for (uint32_t i = 0; i < groups; ++i) {
      uint32_t start, end, glyph;
      size_t at = 16 + size_t(i) * 12;
      if (!ReadU32(map.Subtable, at, start) || !ReadU32(map.Subtable, at + 4, end) || !ReadU32(map.Subtable, at + 8, glyph))
        return;
      if (start < next || end < start || start > 0x10FFFF) return;
      if (end > 0x10FFFF) end = 0x10FFFF;  // beyond Unicode: nothing a reader can use
      for (uint32_t code = start; code <= end; ++code) visit(context, code, glyph + (code - start));
      next = end + 1;
    }
  }
}
