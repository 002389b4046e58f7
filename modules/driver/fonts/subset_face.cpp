#include "subset_face.h"

#include <stdlib.h>
#include <string.h>

#include "char_map.h"
#include "glyph_table.h"

static bool CopyTable(const FontFile& font, uint32_t tag, ByteBuffer& copy, bool required) {
  FontBytes table;
  if (!FindFontTable(font, tag, table)) return !required;
  AppendBytes(copy, table.Data, table.Size);
  return !copy.Failed;
}

bool BeginSubsetFace(SubsetFace& face, const FontFile& font) {
  face = SubsetFace();
  if (!ReadFontMetrics(font, face.Metrics) || !face.Metrics.TrueTypeOutlines || !EmbeddingAllowed(face.Metrics))
    return false;
  bool copied = CopyTable(font, FontTag('h', 'e', 'a', 'd'), face.Head, true) &&
                CopyTable(font, FontTag('h', 'h', 'e', 'a'), face.Hhea, true) &&
                CopyTable(font, FontTag('m', 'a', 'x', 'p'), face.Maxp, true) &&
                CopyTable(font, FontTag('c', 'v', 't', ' '), face.Cvt, false) &&
                CopyTable(font, FontTag('f', 'p', 'g', 'm'), face.Fpgm, false) &&
                CopyTable(font, FontTag('p', 'r', 'e', 'p'), face.Prep, false);
  // Glyph 0 must be in every program; if the face can't give it, nothing of it can be trusted.
  if (!copied || !KeepGlyph(face, font, 0)) {
    FreeSubsetFace(face);
    return false;
  }
  return true;
}

// Where a glyph is or would be in the ascending list.
static uint32_t Position(const SubsetFace& face, uint32_t glyph) {
  uint32_t low = 0, high = face.GlyphCount;
  while (low < high) {
    uint32_t middle = low + (high - low) / 2;
    if (face.Glyphs[middle].Glyph < glyph) low = middle + 1;
    else high = middle;
  }
  return low;
}

KeptGlyph* FindKeptGlyph(const SubsetFace& face, uint32_t glyph) {
  uint32_t at = Position(face, glyph);
  return at < face.GlyphCount && face.Glyphs[at].Glyph == glyph ? &face.Glyphs[at] : nullptr;
}

namespace {

// A glyph and its parts are first gathered here, and only kept when all of them were read.
struct PendingGlyphs {
  SubsetFace* Face;
  const FontFile* Font;
  KeptGlyph Glyphs[64];
  int Count;
};

bool KnownGlyph(void* context, uint32_t glyph) {
  PendingGlyphs& pending = *static_cast<PendingGlyphs*>(context);
  if (FindKeptGlyph(*pending.Face, glyph)) return true;
  for (int i = 0; i < pending.Count; ++i)
    if (pending.Glyphs[i].Glyph == glyph) return true;
  return false;
}

bool GatherGlyph(void* context, uint32_t glyph, const FontBytes& bytes) {
  PendingGlyphs& pending = *static_cast<PendingGlyphs*>(context);
  if (pending.Count >= int(sizeof(pending.Glyphs) / sizeof(pending.Glyphs[0]))) return false;
  KeptGlyph kept = KeptGlyph();
  kept.Glyph = glyph;
  if (!ReadGlyphMetrics(*pending.Font, pending.Face->Metrics, glyph, kept.Advance, kept.LeftBearing)) return false;
  if (bytes.Size) {
    kept.Bytes = static_cast<uint8_t*>(malloc(bytes.Size));
    if (!kept.Bytes) return false;
    memcpy(kept.Bytes, bytes.Data, bytes.Size);
    kept.Size = uint32_t(bytes.Size);
  }
  pending.Glyphs[pending.Count++] = kept;
  return true;
}

bool Insert(SubsetFace& face, const KeptGlyph& glyph) {
  if (face.GlyphCount == face.GlyphCapacity) {
    uint32_t grown = face.GlyphCapacity ? face.GlyphCapacity * 2 : 64;
    KeptGlyph* larger = static_cast<KeptGlyph*>(realloc(face.Glyphs, grown * sizeof(KeptGlyph)));
    if (!larger) return false;
    face.Glyphs = larger;
    face.GlyphCapacity = grown;
  }
  uint32_t at = Position(face, glyph.Glyph);
  memmove(face.Glyphs + at + 1, face.Glyphs + at, (face.GlyphCount - at) * sizeof(KeptGlyph));
  face.Glyphs[at] = glyph;
  ++face.GlyphCount;
  return true;
}

}  // namespace

bool KeepGlyph(SubsetFace& face, const FontFile& font, uint32_t glyph) {
  if (FindKeptGlyph(face, glyph)) return true;
  PendingGlyphs pending;
  pending.Face = &face;
  pending.Font = &font;
  pending.Count = 0;
  bool read = VisitGlyphAndParts(font, face.Metrics, glyph, KnownGlyph, GatherGlyph, &pending);
  int inserted = 0;
  if (read) {
    for (; inserted < pending.Count; ++inserted)
      if (!Insert(face, pending.Glyphs[inserted])) break;
  }
  for (int i = inserted; i < pending.Count; ++i) free(pending.Glyphs[i].Bytes);
  // Parts inserted before memory ran out stay: they are whole glyphs, merely unused.
  return read && inserted == pending.Count;
}

void SetGlyphText(SubsetFace& face, uint32_t glyph, const uint16_t* units, int count) {
  KeptGlyph* kept = FindKeptGlyph(face, glyph);
  if (!kept) return;
  if (!kept->Printed) {
    kept->Printed = true;
    if (!count) face.TextWanted = true;
  }
  if (kept->TextLength || count <= 0) return;
  if (count > GlyphTextLimit) count = GlyphTextLimit;
  memcpy(kept->Text, units, count * sizeof(uint16_t));
  kept->TextLength = count;
}

static void TakeCharacter(void* context, uint32_t code, uint32_t glyph) {
  SubsetFace& face = *static_cast<SubsetFace*>(context);
  KeptGlyph* kept = FindKeptGlyph(face, glyph);
  if (!kept || !kept->Printed || kept->TextLength) return;
  if (code < 0x10000) {
    if (code >= 0xD800 && code < 0xE000) return;  // a lone surrogate is no character
    kept->Text[0] = uint16_t(code);
    kept->TextLength = 1;
  } else {
    code -= 0x10000;
    kept->Text[0] = uint16_t(0xD800 + (code >> 10));
    kept->Text[1] = uint16_t(0xDC00 + (code & 0x3FF));
    kept->TextLength = 2;
  }
}

void TakeGlyphTextFromCharMap(SubsetFace& face, const FontFile& font) {
  if (!face.TextWanted) return;
  face.TextWanted = false;
  CharMap map;
  if (ReadCharMap(font, map)) VisitCharMap(map, TakeCharacter, &face);
}

void FreeSubsetFace(SubsetFace& face) {
  for (uint32_t i = 0; i < face.GlyphCount; ++i) free(face.Glyphs[i].Bytes);
  free(face.Glyphs);
  FreeByteBuffer(face.Head);
  FreeByteBuffer(face.Hhea);
  FreeByteBuffer(face.Maxp);
  FreeByteBuffer(face.Cvt);
  FreeByteBuffer(face.Fpgm);
  FreeByteBuffer(face.Prep);
  face = SubsetFace();
}
