// A TrueType/OpenType face as a set of tables: read from a whole font file (one face of a .ttc
// collection being a font of its own), or gathered table by table from wherever the caller
// finds them (GDI hands out single tables). Each table's bytes lie inside what was given.
#pragma once
#include "font_bytes.h"

const int FontTableLimit = 64;  // real faces have about 20; more is not a font we embed

struct FontTable {
  uint32_t Tag;
  FontBytes Bytes;
};

struct FontFile {
  FontTable Tables[FontTableLimit];
  int TableCount;
  uint32_t Version;  // 0x00010000 or 'true' for TrueType outlines, 'OTTO' for CFF
};

// The table directory of face `faceIndex` (0 unless the file is a 'ttcf' collection): false when
// the file is no font, the face does not exist, or any table's offset or length points outside
// the file.
bool ReadFontFile(const FontBytes& file, uint32_t faceIndex, FontFile& font);
// Adds one table found elsewhere; false when the face has too many or the bytes are empty.
bool AddFontTable(FontFile& font, uint32_t tag, const FontBytes& bytes);
// The table with this tag; false (and empty bytes) when the face has none.
bool FindFontTable(const FontFile& font, uint32_t tag, FontBytes& table);
// Number of faces in a file: 1 for a single font, the collection's count for a .ttc, 0 for none.
uint32_t CountFontFaces(const FontBytes& file);
