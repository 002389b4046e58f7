// A ToUnicode CMap: which characters each code of a font stands for, so that a reader can search,
// select and copy the text. Codes are one byte (Type 3 fonts) or two (the glyph ids of a CIDFont
// under Identity-H).
#pragma once
#include "byte_buffer.h"

struct CodeText {
  uint32_t Code;
  const uint16_t* Units;  // UTF-16
  int Length;
};

// Codes in ascending order; those without characters are left out.
void WriteToUnicodeCMap(const CodeText* codes, uint32_t count, int codeBytes, ByteBuffer& cmap);

struct SubsetFace;
// The CMap of a kept face's printed glyphs, by glyph id (two-byte codes).
void WriteSubsetToUnicode(const SubsetFace& face, ByteBuffer& cmap);
