#include "subset_writer.h"

namespace {

struct OutputTable {
  uint32_t Tag;
  ByteBuffer Bytes;
};

uint32_t Checksum(const uint8_t* bytes, size_t size) {
  uint32_t sum = 0;
  for (size_t at = 0; at < size; at += 4) {
    uint32_t word = 0;
    for (size_t i = 0; i < 4; ++i) word = (word << 8) | (at + i < size ? bytes[at + i] : 0);
    sum += word;
  }
  return sum;
}

void BuildGlyphTables(const SubsetFace& face, uint32_t glyphCount, ByteBuffer& glyf, ByteBuffer& loca,
                      ByteBuffer& hmtx, bool& longLoca) {
  size_t total = 0;
  for (uint32_t i = 0; i < face.GlyphCount; ++i) total += (face.Glyphs[i].Size + 3) & ~size_t(3);
  longLoca = total > 0x1FFFE;  // short loca stores offset / 2 in 16 bits
  uint32_t next = 0;           // index into face.Glyphs
  for (uint32_t glyph = 0; glyph < glyphCount; ++glyph) {
    uint32_t offset = uint32_t(glyf.Size);
    if (longLoca) AppendU32(loca, offset);
    else AppendU16(loca, offset / 2);
    const KeptGlyph* kept = next < face.GlyphCount && face.Glyphs[next].Glyph == glyph ? &face.Glyphs[next++] : nullptr;
    if (kept) {
      AppendBytes(glyf, kept->Bytes, kept->Size);
      AppendZeros(glyf, ((kept->Size + 3) & ~3u) - kept->Size);
      AppendU16(hmtx, kept->Advance);
      AppendU16(hmtx, uint32_t(kept->LeftBearing) & 0xFFFF);
    } else {
      AppendU32(hmtx, 0);
    }
  }
  if (longLoca) AppendU32(loca, uint32_t(glyf.Size));
  else AppendU16(loca, uint32_t(glyf.Size / 2));
}

}  // namespace

bool WriteSubsetFont(const SubsetFace& face, ByteBuffer& program) {
  if (!face.GlyphCount || face.Head.Size < 54 || face.Hhea.Size < 36 || face.Maxp.Size < 6) return false;
  uint32_t glyphCount = face.Glyphs[face.GlyphCount - 1].Glyph + 1;
  OutputTable tables[9] = {};
  int count = 0;
  if (face.Cvt.Size) tables[count++].Tag = FontTag('c', 'v', 't', ' ');
  if (face.Fpgm.Size) tables[count++].Tag = FontTag('f', 'p', 'g', 'm');
  int glyfAt = count;
  tables[count++].Tag = FontTag('g', 'l', 'y', 'f');
  int headAt = count;
  tables[count++].Tag = FontTag('h', 'e', 'a', 'd');
  int hheaAt = count;
  tables[count++].Tag = FontTag('h', 'h', 'e', 'a');
  int hmtxAt = count;
  tables[count++].Tag = FontTag('h', 'm', 't', 'x');
  int locaAt = count;
  tables[count++].Tag = FontTag('l', 'o', 'c', 'a');
  int maxpAt = count;
  tables[count++].Tag = FontTag('m', 'a', 'x', 'p');
  if (face.Prep.Size) tables[count++].Tag = FontTag('p', 'r', 'e', 'p');

  bool longLoca = false;
  BuildGlyphTables(face, glyphCount, tables[glyfAt].Bytes, tables[locaAt].Bytes, tables[hmtxAt].Bytes, longLoca);
  ByteBuffer& head = tables[headAt].Bytes;
  AppendBytes(head, face.Head.Data, 54);
  PutU32At(head, 8, 0);  // checkSumAdjustment, set once the whole file is known
  PutU16At(head, 50, longLoca ? 1 : 0);
  ByteBuffer& hhea = tables[hheaAt].Bytes;
  AppendBytes(hhea, face.Hhea.Data, 36);
  PutU16At(hhea, 34, glyphCount);  // every glyph up to the last kept one has full metrics
  ByteBuffer& maxp = tables[maxpAt].Bytes;
  AppendBytes(maxp, face.Maxp.Data, face.Maxp.Size);
  PutU16At(maxp, 4, glyphCount);
  for (int i = 0; i < count; ++i) {
    if (tables[i].Tag == FontTag('c', 'v', 't', ' ')) AppendBytes(tables[i].Bytes, face.Cvt.Data, face.Cvt.Size);
    if (tables[i].Tag == FontTag('f', 'p', 'g', 'm')) AppendBytes(tables[i].Bytes, face.Fpgm.Data, face.Fpgm.Size);
    if (tables[i].Tag == FontTag('p', 'r', 'e', 'p')) AppendBytes(tables[i].Bytes, face.Prep.Data, face.Prep.Size);
  }

  // The directory: version, table count and the binary-search fields, then one record a table.
  size_t start = program.Size;
  uint32_t power = 1, log = 0;
  while (power * 2 <= uint32_t(count)) {
    power *= 2;
    ++log;
  }
  AppendU32(program, 0x00010000);
  AppendU16(program, count);
  AppendU16(program, power * 16);
  AppendU16(program, log);
  AppendU16(program, count * 16 - power * 16);
  size_t offset = 12 + size_t(count) * 16;
  size_t headOffset = 0;
  bool failed = false;
  for (int i = 0; i < count; ++i) {
    const ByteBuffer& bytes = tables[i].Bytes;
    failed = failed || bytes.Failed;
    AppendU32(program, tables[i].Tag);
    AppendU32(program, Checksum(bytes.Data, bytes.Size));
    AppendU32(program, uint32_t(offset));
    AppendU32(program, uint32_t(bytes.Size));
    if (i == headAt) headOffset = offset;
    offset += (bytes.Size + 3) & ~size_t(3);
  }
  for (int i = 0; i < count; ++i) {
    const ByteBuffer& bytes = tables[i].Bytes;
    AppendBytes(program, bytes.Data, bytes.Size);
    AppendZeros(program, ((bytes.Size + 3) & ~size_t(3)) - bytes.Size);
  }
  for (int i = 0; i < count; ++i) FreeByteBuffer(tables[i].Bytes);
  if (failed || program.Failed) return false;
  uint32_t whole = Checksum(program.Data + start, program.Size - start);
  PutU32At(program, start + headOffset + 8, 0xB1B0AFBAu - whole);
  return true;
}
