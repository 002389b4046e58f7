// STROBJ and FONTOBJ for DrvTextOut: the glyphs of one text record (glyph indices as handles,
// origins in device pixels, the characters the application drew) and the font they are drawn in,
// answered from Wine's GDI for the font selected in the DC. A FONTOBJ lives as long as the job:
// the driver may keep its pvConsumer between calls; DrvDestroyFont is called at the job's end.
#pragma once
#include <windows.h>
#include <winddi.h>

#include <vector>

#include "ddi_objects.h"

struct HostFont {
  FONTOBJ Object;
  LOGFONTW Logical;
  XFORM Transform;  // the DC's world-to-device transform the font was realized for
  HDC Dc;           // a DC of the font's own with that font and transform, for every query
  HFONT Font;
  std::vector<BYTE> Ifi;
  std::vector<BYTE> File;
  bool FileRead;
  std::vector<std::vector<BYTE>> Tables;
  std::vector<ULONG> TableTags;
  HostXform NotionalToDevice;
  GLYPHDATA Glyph;  // FONTOBJ_cGetGlyphs' answer, valid until the next call
  std::vector<BYTE> Bits;
  HostPath Outline;
  ULONG Glyphs;  // glyphs in the face (maxp)
};

struct HostString {
  STROBJ Object;
  std::vector<GLYPHPOS> Glyphs;
  std::vector<WCHAR> Characters;
  std::vector<POINTFIX> Advances;  // each glyph's advance in device space, 28.4
  size_t Next;
  HostFont* Font;
};

// The FONTOBJ for the font selected into `dc` with its current transform, made on first use.
HostFont* FontOfDc(HDC dc);
// DrvDestroyFont for every FONTOBJ the driver saw (when it has that entry), then all freed.
void ReleaseFonts(const DRVENABLEDATA* driver);
// A big-endian table of the face (GetFontData), empty when the font has none.
std::vector<BYTE> FontTable(HDC dc, DWORD tag);
