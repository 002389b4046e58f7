#include "font_metrics.h"

#include <string.h>

static bool ReadHead(const FontFile& font, FontMetrics& metrics) {
  FontBytes head;
  if (!FindFontTable(font, FontTag('h', 'e', 'a', 'd'), head) || head.Size < 54) return false;
  uint32_t magic, em, style, locFormat;
  int32_t xMin, yMin, xMax, yMax;
  ReadU32(head, 12, magic);
  ReadU16(head, 18, em);
  ReadS16(head, 36, xMin);
  ReadS16(head, 38, yMin);
  ReadS16(head, 40, xMax);
  ReadS16(head, 42, yMax);
  ReadU16(head, 44, style);
  ReadU16(head, 50, locFormat);
  if (magic != 0x5F0F3CF5 || em < 16 || em > 16384 || locFormat > 1) return false;
  metrics.UnitsPerEm = em;
  metrics.XMin = xMin;
  metrics.YMin = yMin;
  metrics.XMax = xMax;
  metrics.YMax = yMax;
  metrics.MacStyle = style;
  metrics.LongLoca = locFormat == 1;
  return true;
}

static bool ReadHorizontal(const FontFile& font, FontMetrics& metrics) {
  FontBytes hhea, maxp, hmtx;
  if (!FindFontTable(font, FontTag('h', 'h', 'e', 'a'), hhea) || hhea.Size < 36) return false;
  if (!FindFontTable(font, FontTag('m', 'a', 'x', 'p'), maxp) || maxp.Size < 6) return false;
  if (!FindFontTable(font, FontTag('h', 'm', 't', 'x'), hmtx)) return false;
  uint32_t glyphs, hmetrics;
  ReadS16(hhea, 4, metrics.Ascender);
  ReadS16(hhea, 6, metrics.Descender);
  ReadS16(hhea, 8, metrics.LineGap);
  ReadU16(hhea, 34, hmetrics);
  ReadU16(maxp, 4, glyphs);
  if (glyphs == 0 || hmetrics == 0 || hmetrics > glyphs) return false;
  // Full metrics for the first numberOfHMetrics glyphs, bearings alone for the rest.
  if (hmtx.Size < size_t(hmetrics) * 4 + size_t(glyphs - hmetrics) * 2) return false;
  metrics.GlyphCount = glyphs;
  metrics.HMetricCount = hmetrics;
  return true;
}

static void ReadOs2(const FontFile& font, FontMetrics& metrics) {
  FontBytes os2;
  // Cap height until OS/2 says: about 70% of the em in most Latin faces.
  metrics.CapHeight = int32_t(metrics.UnitsPerEm * 7 / 10);
  metrics.XHeight = int32_t(metrics.UnitsPerEm / 2);
  metrics.WeightClass = (metrics.MacStyle & 1) ? 700 : 400;
  if (!FindFontTable(font, FontTag('O', 'S', '/', '2'), os2) || os2.Size < 68) return;
  uint32_t version, weight, fsType, familyClass;
  ReadU16(os2, 0, version);
  ReadU16(os2, 4, weight);
  ReadU16(os2, 8, fsType);
  ReadU16(os2, 30, familyClass);
  metrics.HasOs2 = true;
  metrics.FsType = fsType;
  if (weight >= 1 && weight <= 1000) metrics.WeightClass = weight;
  metrics.FamilyClass = int32_t(familyClass >> 8);
  int32_t xHeight, capHeight;
  if (version >= 2 && ReadS16(os2, 86, xHeight) && ReadS16(os2, 88, capHeight) && capHeight > 0) {
    metrics.XHeight = xHeight;
    metrics.CapHeight = capHeight;
  }
}

static void ReadPost(const FontFile& font, FontMetrics& metrics) {
  FontBytes post;
  if (!FindFontTable(font, FontTag('p', 'o', 's', 't'), post) || post.Size < 16) return;
  uint32_t angle, fixed;
  ReadU32(post, 4, angle);  // 16.16 fixed
  ReadU32(post, 12, fixed);
  metrics.ItalicAngle = double(int32_t(angle)) / 65536.0;
  if (metrics.ItalicAngle < -90 || metrics.ItalicAngle > 90) metrics.ItalicAngle = 0;
  metrics.FixedPitch = fixed != 0;
}

// Name ID 6 from a Windows (UTF-16BE) or Macintosh (Roman) record, kept to the characters that a
// PDF name and a PostScript name take without escapes.
static void ReadPostScriptName(const FontFile& font, FontMetrics& metrics) {
  FontBytes name;
  metrics.PostScriptName[0] = 0;
  if (!FindFontTable(font, FontTag('n', 'a', 'm', 'e'), name)) return;
  uint32_t count, storage;
  if (!ReadU16(name, 2, count) || !ReadU16(name, 4, storage)) return;
  for (uint32_t i = 0; i < count; ++i) {
    size_t record = 6 + size_t(i) * 12;
    uint32_t platform, encoding, nameId, length, offset;
    if (!ReadU16(name, record, platform) || !ReadU16(name, record + 2, encoding) || !ReadU16(name, record + 6, nameId) ||
        !ReadU16(name, record + 8, length) || !ReadU16(name, record + 10, offset))
      return;
    if (nameId != 6 || !(platform == 3 || platform == 1)) continue;
    FontBytes text;
    if (!SliceBytes(name, size_t(storage) + offset, length, text)) continue;
    size_t step = platform == 3 ? 2 : 1;
    int used = 0;
    for (size_t at = 0; at + step <= text.Size && used < int(sizeof(metrics.PostScriptName)) - 1; at += step) {
      uint32_t c;
      if (step == 2) ReadU16(text, at, c);
      else ReadU8(text, at, c);
      if (c > 32 && c < 127 && !strchr("()<>[]{}/%#", int(c))) metrics.PostScriptName[used++] = char(c);
    }
    metrics.PostScriptName[used] = 0;
    if (used) return;
  }
}

bool ReadFontMetrics(const FontFile& font, FontMetrics& metrics) {
  metrics = FontMetrics();
  if (!ReadHead(font, metrics) || !ReadHorizontal(font, metrics)) return false;
  ReadOs2(font, metrics);
  ReadPost(font, metrics);
  ReadPostScriptName(font, metrics);
  FontBytes glyf, loca;
  metrics.TrueTypeOutlines = FindFontTable(font, FontTag('g', 'l', 'y', 'f'), glyf) &&
                             FindFontTable(font, FontTag('l', 'o', 'c', 'a'), loca);
  return true;
}

bool ReadGlyphMetrics(const FontFile& font, const FontMetrics& metrics, uint32_t glyph, uint32_t& advance,
                      int32_t& leftBearing) {
  FontBytes hmtx;
  if (glyph >= metrics.GlyphCount || !FindFontTable(font, FontTag('h', 'm', 't', 'x'), hmtx)) return false;
  uint32_t last = metrics.HMetricCount - 1;
  if (!ReadU16(hmtx, size_t(glyph < last ? glyph : last) * 4, advance)) return false;
  if (glyph < metrics.HMetricCount) return ReadS16(hmtx, size_t(glyph) * 4 + 2, leftBearing);
  return ReadS16(hmtx, size_t(metrics.HMetricCount) * 4 + size_t(glyph - metrics.HMetricCount) * 2, leftBearing);
}

bool EmbeddingAllowed(const FontMetrics& metrics) {
  uint32_t licence = metrics.FsType & 0x000F;
  // Restricted (2) alone forbids; fonts of old versions may set it beside a more lenient bit,
  // and then the most lenient one counts.
  if (licence == 0x0002) return false;
  if (metrics.FsType & 0x0100) return false;  // bitmap embedding only
  if (metrics.FsType & 0x0200) return false;  // no subsetting
  return true;
}
