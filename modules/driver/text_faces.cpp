#include "text_faces.h"

#include <stdlib.h>
#include <string.h>

TextFace* FindTextFace(PdfDocument& document, ULONG_PTR key, TextFaceKind kind, const WCHAR* faceName) {
  if (!document.Fonts) {
    document.Fonts = static_cast<PdfDocumentFonts*>(calloc(1, sizeof(PdfDocumentFonts)));
    if (!document.Fonts) return nullptr;
    document.WriteFonts = WriteDocumentFonts;
    document.FreeFonts = FreeDocumentFonts;
  }
  PdfDocumentFonts& fonts = *document.Fonts;
  for (DWORD i = 0; i < fonts.Count; ++i) {
    TextFace& face = fonts.Faces[i];
    if (face.Key == key && face.Kind == kind) return &face;
  }
  if (fonts.Count == fonts.Capacity) {
    DWORD grown = fonts.Capacity ? fonts.Capacity * 2 : 8;
    TextFace* larger = static_cast<TextFace*>(realloc(fonts.Faces, grown * sizeof(TextFace)));
    if (!larger) return nullptr;
    fonts.Faces = larger;
    fonts.Capacity = grown;
  }
  TextFace& face = fonts.Faces[fonts.Count++];
  memset(&face, 0, sizeof(face));
  face.Key = key;
  face.Kind = kind;
  // GDI's face name kept to the characters a PDF name takes plainly.
  int used = 0;
  for (const WCHAR* c = faceName; c && *c && used < int(sizeof(face.Name)) - 1; ++c)
    if (*c > 32 && *c < 127 && !strchr("()<>[]{}/%#", char(*c))) face.Name[used++] = char(*c);
  if (!used) {
    memcpy(face.Name, "Font", 4);
    used = 4;
  }
  face.Name[used] = 0;
  return &face;
}

DWORD TextFontId(PdfDocument& document, TextFace& face, long glyph) {
  if (face.Kind == TextFaceSubset) {
    if (!face.FontId) face.FontId = PdfNewObjectId(document);
    return face.FontId;
  }
  if (glyph < 0) return 0;
  DWORD font = DWORD(glyph) / 256;
  if (font >= face.Type3IdCount) {
    DWORD* larger = static_cast<DWORD*>(realloc(face.Type3Ids, (font + 1) * sizeof(DWORD)));
    if (!larger) return 0;
    memset(larger + face.Type3IdCount, 0, (font + 1 - face.Type3IdCount) * sizeof(DWORD));
    face.Type3Ids = larger;
    face.Type3IdCount = font + 1;
  }
  if (!face.Type3Ids[font]) face.Type3Ids[font] = PdfNewObjectId(document);
  return face.Type3Ids[font];
}

bool ReadFontOfObject(const EngineCalls& engine, FONTOBJ* fontObject, FontFile& font) {
  font = FontFile();
  if (engine.FONTOBJ_pjOpenTypeTablePointer) {
    const ULONG tags[] = {FontTag('h', 'e', 'a', 'd'), FontTag('h', 'h', 'e', 'a'), FontTag('m', 'a', 'x', 'p'),
                          FontTag('h', 'm', 't', 'x'), FontTag('l', 'o', 'c', 'a'), FontTag('g', 'l', 'y', 'f'),
                          FontTag('c', 'v', 't', ' '), FontTag('f', 'p', 'g', 'm'), FontTag('p', 'r', 'e', 'p'),
                          FontTag('O', 'S', '/', '2'), FontTag('p', 'o', 's', 't'), FontTag('n', 'a', 'm', 'e'),
                          FontTag('c', 'm', 'a', 'p'), FontTag('C', 'F', 'F', ' ')};
    for (ULONG tag : tags) {
      // Microsoft does not say in which byte order the tag goes: as the file has it ('head' is
      // 0x68656164) or as GetFontData takes it (the file's bytes read little-endian). A real table
      // answers to one of them only, so both are asked.
      ULONG size = 0;
      PBYTE table = engine.FONTOBJ_pjOpenTypeTablePointer(fontObject, tag, &size);
      if (!table || !size) {
        ULONG swapped = ((tag & 0xFF) << 24) | ((tag & 0xFF00) << 8) | ((tag >> 8) & 0xFF00) | (tag >> 24);
        size = 0;
        table = engine.FONTOBJ_pjOpenTypeTablePointer(fontObject, swapped, &size);
      }
      if (table && size) AddFontTable(font, tag, FontBytes{table, size});
    }
    FontBytes head;
    if (FindFontTable(font, FontTag('h', 'e', 'a', 'd'), head)) return true;
    font = FontFile();
  }
  if (!engine.FONTOBJ_pvTrueTypeFontFile) return false;
  ULONG size = 0;
  void* file = engine.FONTOBJ_pvTrueTypeFontFile(fontObject, &size);
  if (!file || !size) return false;
  FontBytes bytes = {static_cast<const uint8_t*>(file), size};
  // A collection's face can't be told from the whole file here: its text is drawn from outlines.
  return CountFontFaces(bytes) == 1 && ReadFontFile(bytes, 0, font);
}

void FreeDocumentFonts(PdfDocumentFonts* fonts) {
  if (!fonts) return;
  for (DWORD i = 0; i < fonts->Count; ++i) {
    FreeSubsetFace(fonts->Faces[i].Subset);
    FreeType3Face(fonts->Faces[i].Outlines);
    free(fonts->Faces[i].Type3Ids);
  }
  free(fonts->Faces);
  free(fonts);
}
