// The font descriptor of a face (what a reader needs to substitute it or lay out text around it)
// from its own tables: name, flags, box, italic angle, ascent, descent, cap height, stem width.
#pragma once
#include "byte_buffer.h"
#include "font_metrics.h"

// The dictionary `<< /Type /FontDescriptor ... >>`; `fontFileKey` and `fontFileId` name the font
// program (FontFile2 for a TrueType subset; null for none, as for a Type 3 font).
void WriteFontDescriptor(const FontMetrics& metrics, const char* fontName, const char* fontFileKey,
                         unsigned long fontFileId, ByteBuffer& descriptor);
// The descriptor's /Flags: fixed pitch, serif, symbolic, italic.
uint32_t FontDescriptorFlags(const FontMetrics& metrics);
// "TAG+PostScriptName", or the fallback name when the face has none, in PDF name characters.
void MakeSubsetFontName(const char* tag, const FontMetrics& metrics, const char* fallbackName, char* name,
                        size_t capacity);
