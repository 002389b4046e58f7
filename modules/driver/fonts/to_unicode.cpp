#include "to_unicode.h"

static void AppendCode(ByteBuffer& cmap, uint32_t code, int codeBytes) {
  static const char hex[] = "0123456789ABCDEF";
  char digits[4];
  int length = codeBytes * 2;
  for (int i = 0; i < length; ++i) digits[i] = hex[(code >> (4 * (length - 1 - i))) & 15];
  AppendText(cmap, "<");
  AppendBytes(cmap, digits, length);
  AppendText(cmap, ">");
}

void WriteToUnicodeCMap(const CodeText* codes, uint32_t count, int codeBytes, ByteBuffer& cmap) {
  AppendText(cmap,
             "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
             "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
             "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n1 begincodespacerange\n");
  AppendCode(cmap, 0, codeBytes);
  AppendText(cmap, " ");
  AppendCode(cmap, codeBytes == 1 ? 0xFF : 0xFFFF, codeBytes);
  AppendText(cmap, "\nendcodespacerange\n");
  uint32_t withText = 0;
  for (uint32_t i = 0; i < count; ++i)
    if (codes[i].Length > 0) ++withText;
  // bfchar blocks hold at most 100 entries.
  uint32_t written = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (codes[i].Length <= 0) continue;
    if (written % 100 == 0) {
      uint32_t block = withText - written < 100 ? withText - written : 100;
      AppendNumber(cmap, block);
      AppendText(cmap, " beginbfchar\n");
    }
    AppendCode(cmap, codes[i].Code, codeBytes);
    AppendText(cmap, " <");
    for (int u = 0; u < codes[i].Length; ++u) AppendHex4(cmap, codes[i].Units[u]);
    AppendText(cmap, ">\n");
    ++written;
    if (written % 100 == 0 || written == withText) AppendText(cmap, "endbfchar\n");
  }
  AppendText(cmap, "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
}

#include <stdlib.h>

#include "subset_face.h"

void WriteSubsetToUnicode(const SubsetFace& face, ByteBuffer& cmap) {
  CodeText* codes = static_cast<CodeText*>(malloc((face.GlyphCount ? face.GlyphCount : 1) * sizeof(CodeText)));
  if (!codes) {
    cmap.Failed = true;
    return;
  }
  uint32_t count = 0;
  for (uint32_t i = 0; i < face.GlyphCount; ++i) {
    const KeptGlyph& glyph = face.Glyphs[i];
    if (!glyph.Printed || !glyph.TextLength) continue;
    codes[count].Code = glyph.Glyph;
    codes[count].Units = glyph.Text;
    codes[count].Length = glyph.TextLength;
    ++count;
  }
  WriteToUnicodeCMap(codes, count, 2, cmap);
  free(codes);
}
