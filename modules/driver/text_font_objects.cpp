// The document's fonts written when it ends, through the document writer: for a subset face the
// Type 0 font, its CIDFontType2 descendant (Identity-H, glyph ids kept: CIDToGIDMap Identity), the
// descriptor, the FontFile2 program and the ToUnicode CMap; for a Type 3 face each of its fonts
// (256 glyphs apiece) with one procedure stream a glyph and a ToUnicode CMap.
#include <stdlib.h>
#include <string.h>

#include "byte_buffer.h"
#include "font_descriptor.h"
#include "font_widths.h"
#include "subset_tag.h"
#include "subset_writer.h"
#include "text_faces.h"
#include "to_unicode.h"

namespace {

bool WriteBufferStream(PdfDocument& document, DWORD id, const char* entries, const ByteBuffer& data) {
  if (data.Failed) return false;
  return PdfWriteStream(document, id, entries, data.Data, data.Size, true);
}

void PutBuffer(PdfDocument& document, const ByteBuffer& text) { PdfPut(document, text.Data, text.Size); }

void PutNumber(PdfDocument& document, unsigned long long value) {
  ByteBuffer text = {};
  AppendNumber(text, static_cast<long long>(value));
  PutBuffer(document, text);
  FreeByteBuffer(text);
}

void PutReference(PdfDocument& document, DWORD id) {
  PutNumber(document, id);
  PdfPutText(document, " 0 R");
}

bool WriteSubsetFace(PdfDocument& document, TextFace& face) {
  SubsetFace& subset = face.Subset;
  if (!face.FontId) return true;  // reserved only when a page used it
  DWORD cidFontId = PdfNewObjectId(document), descriptorId = PdfNewObjectId(document),
        programId = PdfNewObjectId(document), toUnicodeId = PdfNewObjectId(document);
  if (!cidFontId || !descriptorId || !programId || !toUnicodeId) return false;

  uint32_t* glyphs = static_cast<uint32_t*>(malloc((subset.GlyphCount + 1) * sizeof(uint32_t)));
  if (!glyphs) return false;
  for (uint32_t i = 0; i < subset.GlyphCount; ++i) glyphs[i] = subset.Glyphs[i].Glyph;
  char tag[7], name[96];
  MakeSubsetTag(subset.Metrics.PostScriptName[0] ? subset.Metrics.PostScriptName : face.Name, glyphs,
                subset.GlyphCount, tag);
  free(glyphs);
  MakeSubsetFontName(tag, subset.Metrics, face.Name, name, sizeof(name));

  ByteBuffer program = {}, cmap = {}, widths = {}, descriptor = {};
  bool written = WriteSubsetFont(subset, program);
  WriteSubsetToUnicode(subset, cmap);
  WriteCidWidths(subset, widths);
  WriteFontDescriptor(subset.Metrics, name, "FontFile2", descriptorId ? programId : 0, descriptor);

  ByteBuffer lengthEntry = {};
  AppendText(lengthEntry, "/Length1 ");
  AppendNumber(lengthEntry, static_cast<long long>(program.Size));
  AppendBytes(lengthEntry, "", 1);
  written = written && !lengthEntry.Failed &&
            WriteBufferStream(document, programId, reinterpret_cast<const char*>(lengthEntry.Data), program) &&
            WriteBufferStream(document, toUnicodeId, nullptr, cmap) && !widths.Failed && !descriptor.Failed;
  if (written) {
    PdfBeginObject(document, descriptorId);
    PutBuffer(document, descriptor);
    PdfPutText(document, "\n");
    PdfEndObject(document);

    PdfBeginObject(document, cidFontId);
    PdfPutText(document, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /");
    PdfPutText(document, name);
    PdfPutText(document, " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor ");
    PutReference(document, descriptorId);
    PdfPutText(document, " /CIDToGIDMap /Identity /DW 1000 /W ");
    PutBuffer(document, widths);
    PdfPutText(document, " >>\n");
    PdfEndObject(document);

    PdfBeginObject(document, face.FontId);
    PdfPutText(document, "<< /Type /Font /Subtype /Type0 /BaseFont /");
    PdfPutText(document, name);
    PdfPutText(document, " /Encoding /Identity-H /DescendantFonts [");
    PutReference(document, cidFontId);
    PdfPutText(document, "] /ToUnicode ");
    PutReference(document, toUnicodeId);
    PdfPutText(document, " >>\n");
    PdfEndObject(document);
  }
  FreeByteBuffer(lengthEntry);
  FreeByteBuffer(program);
  FreeByteBuffer(cmap);
  FreeByteBuffer(widths);
  FreeByteBuffer(descriptor);
  return written;
}

bool WriteType3Font(PdfDocument& document, TextFace& face, uint32_t font) {
  Type3Face& outlines = face.Outlines;
  uint32_t first, count;
  Type3FontGlyphs(outlines, font, first, count);
  DWORD toUnicodeId = PdfNewObjectId(document);
  if (!toUnicodeId || !count) return false;
  DWORD procedureIds[256];
  for (uint32_t i = 0; i < count; ++i) {
    procedureIds[i] = PdfNewObjectId(document);
    if (!procedureIds[i] || !WriteBufferStream(document, procedureIds[i], nullptr, outlines.Glyphs[first + i].Procedure))
      return false;
  }
  ByteBuffer cmap = {}, metrics = {}, encoding = {}, names = {};
  WriteType3ToUnicode(outlines, font, cmap);
  WriteType3Metrics(outlines, font, metrics);
  WriteType3Encoding(outlines, font, encoding);
  bool written = WriteBufferStream(document, toUnicodeId, nullptr, cmap) && !metrics.Failed && !encoding.Failed;
  if (written) {
    PdfBeginObject(document, face.Type3Ids[font]);
    PdfPutText(document, "<< /Type /Font /Subtype /Type3 /Name /");
    PdfPutText(document, face.Name);
    PdfPutText(document, " ");
    PutBuffer(document, metrics);
    PdfPutText(document, " ");
    PutBuffer(document, encoding);
    PdfPutText(document, " /CharProcs <<");
    for (uint32_t i = 0; i < count; ++i) {
      FreeByteBuffer(names);
      AppendText(names, " /");
      AppendType3GlyphName(names, i);
      AppendText(names, " ");
      PutBuffer(document, names);
      PutReference(document, procedureIds[i]);
    }
    PdfPutText(document, " >> /Resources << >> /ToUnicode ");
    PutReference(document, toUnicodeId);
    PdfPutText(document, " >>\n");
    PdfEndObject(document);
  }
  FreeByteBuffer(names);
  FreeByteBuffer(cmap);
  FreeByteBuffer(metrics);
  FreeByteBuffer(encoding);
  return written;
}

}  // namespace

bool WriteDocumentFonts(PdfDocument& document) {
  if (!document.Fonts) return true;
  PdfDocumentFonts& fonts = *document.Fonts;
  for (DWORD i = 0; i < fonts.Count; ++i) {
    TextFace& face = fonts.Faces[i];
    if (face.Kind == TextFaceSubset) {
      if (!WriteSubsetFace(document, face)) return false;
      continue;
    }
    if (face.Outlines.Failed) return false;
    for (uint32_t font = 0; font < face.Type3IdCount; ++font)
      if (face.Type3Ids[font] && !WriteType3Font(document, face, font)) return false;
  }
  return true;
}
