// The document's fonts, between the first page that uses a face and the end of the document: one
// record per face, holding exactly what will be written (a TrueType subset by glyph id, or the
// outlines of a Type 3 font), and the object numbers its PDF fonts will have. The objects are
// written once, when the document ends (WriteDocumentFonts), however many pages use them.
#pragma once
#include <windows.h>
#include <winddi.h>

#include "engine_calls.h"
#include "font_file.h"
#include "pdf_document.h"
#include "subset_face.h"
#include "type3_face.h"

enum TextFaceKind {
  TextFaceSubset,     // a Type 0 font over a CIDFontType2 subset, glyph ids as codes
  TextFaceOutlines,   // Type 3 fonts made from GDI's glyph outlines
  TextFaceInvisible,  // Type 3 fonts of empty glyphs: text under a bitmap font's raster patch
};

struct TextFace {
  ULONG_PTR Key;  // which face: the FONTOBJ's TrueType file and face, or its kind and simulations
  TextFaceKind Kind;
  SubsetFace Subset;
  DWORD FontId;  // TextFaceSubset: the Type 0 font
  Type3Face Outlines;
  DWORD* Type3Ids;  // one object number per 256 glyphs of a Type 3 face
  DWORD Type3IdCount;
  char Name[64];  // GDI's face name as a PDF name, for faces whose tables give none
  bool DrawFromOutlines;  // TextFaceSubset: new text of it goes to its Type 3 face instead
};

struct PdfDocumentFonts {
  TextFace* Faces;
  DWORD Count;
  DWORD Capacity;
};

// The document's record of this face, made (and the document's WriteFonts/FreeFonts set) when the
// face is first used; null when memory runs out.
TextFace* FindTextFace(PdfDocument& document, ULONG_PTR key, TextFaceKind kind, const WCHAR* faceName);
// The object number of the PDF font that holds `glyph` (an index of a Type 3 face, or any glyph
// of a subset face); 0 when memory runs out.
DWORD TextFontId(PdfDocument& document, TextFace& face, long glyph);

// The tables of the FONTOBJ's face, from FONTOBJ_pjOpenTypeTablePointer (one face, also of a
// collection) or else FONTOBJ_pvTrueTypeFontFile (a single-face file); false when neither gives a
// face (the bytes stay GDI's: use `font` only during the call).
bool ReadFontOfObject(const EngineCalls& engine, FONTOBJ* fontObject, FontFile& font);

// WriteFonts and FreeFonts of a document with text.
bool WriteDocumentFonts(PdfDocument& document);
void FreeDocumentFonts(PdfDocumentFonts* fonts);
