#include "font_descriptor.h"

#include <string.h>


uint32_t FontDescriptorFlags(const FontMetrics& metrics) {
  uint32_t flags = 4;  // symbolic: the glyphs are named by id, not by a standard encoding
  if (metrics.FixedPitch) flags |= 1;
  if (metrics.FamilyClass >= 1 && metrics.FamilyClass <= 7) flags |= 2;  // the serif classes
  if (metrics.ItalicAngle != 0 || (metrics.MacStyle & 2)) flags |= 64;
  return flags;
}

static long long Scaled(int32_t units, const FontMetrics& metrics) {
  long long value = static_cast<long long>(units) * 1000;
  long long em = metrics.UnitsPerEm ? metrics.UnitsPerEm : 1000;
  return value >= 0 ? (value + em / 2) / em : -((-value + em / 2) / em);
}

void WriteFontDescriptor(const FontMetrics& metrics, const char* fontName, const char* fontFileKey,
                         unsigned long fontFileId, ByteBuffer& descriptor) {
  AppendText(descriptor, "<< /Type /FontDescriptor /FontName /");
  AppendText(descriptor, fontName);
  AppendText(descriptor, " /Flags ");
  AppendNumber(descriptor, FontDescriptorFlags(metrics));
  AppendText(descriptor, " /FontBBox [");
  AppendNumber(descriptor, Scaled(metrics.XMin, metrics));
  AppendText(descriptor, " ");
  AppendNumber(descriptor, Scaled(metrics.YMin, metrics));
  AppendText(descriptor, " ");
  AppendNumber(descriptor, Scaled(metrics.XMax, metrics));
  AppendText(descriptor, " ");
  AppendNumber(descriptor, Scaled(metrics.YMax, metrics));
  AppendText(descriptor, "] /ItalicAngle ");
  AppendDecimal(descriptor, metrics.ItalicAngle);
  AppendText(descriptor, " /Ascent ");
  AppendNumber(descriptor, Scaled(metrics.Ascender, metrics));
  AppendText(descriptor, " /Descent ");
  AppendNumber(descriptor, Scaled(metrics.Descender, metrics));
  AppendText(descriptor, " /CapHeight ");
  AppendNumber(descriptor, Scaled(metrics.CapHeight, metrics));
  // No face states its stems; this rule of thumb runs from 50 (thin) past 150 (black).
  AppendText(descriptor, " /StemV ");
  AppendNumber(descriptor, 50 + static_cast<long long>(metrics.WeightClass) * metrics.WeightClass / 5000);
  if (fontFileKey) {
    AppendText(descriptor, " /");
    AppendText(descriptor, fontFileKey);
    AppendText(descriptor, " ");
    AppendNumber(descriptor, fontFileId);
    AppendText(descriptor, " 0 R");
  }
  AppendText(descriptor, " >>");
}

void MakeSubsetFontName(const char* tag, const FontMetrics& metrics, const char* fallbackName, char* name,
                        size_t capacity) {
  if (!capacity) return;
  size_t used = 0;
  const char* parts[3] = {tag, tag && *tag ? "+" : "", metrics.PostScriptName[0] ? metrics.PostScriptName : fallbackName};
  for (int p = 0; p < 3; ++p) {
    for (const char* c = parts[p]; c && *c && used + 1 < capacity; ++c) {
      // A fallback (GDI's face name) may hold spaces and delimiters; a PDF name may not.
      if (*c > 32 && *c < 127 && !strchr("()<>[]{}/%#", *c)) name[used++] = *c;
    }
  }
  if (!used && capacity > 4) {
    memcpy(name, "Font", 4);
    used = 4;
  }
  name[used] = 0;
}
