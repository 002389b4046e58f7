// Fonts whose tables lie, made from a real face: cut short, tables placed past the end, loca
// pointing past glyf or backwards, composites made of themselves, contours longer than their
// glyph, metrics shorter than they say, character maps whose segments overlap. Each is refused
// (or the lying glyph alone is), never read out of bounds: every font lies in memory that ends
// at an inaccessible page, so a read past its end crashes the test.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "char_map.h"
#include "font_test_files.h"
#include "glyph_table.h"
#include "subset_face.h"
#include "subset_writer.h"

namespace {

const uint32_t Glyf = FontTag('g', 'l', 'y', 'f'), Loca = FontTag('l', 'o', 'c', 'a'), Head = FontTag('h', 'e', 'a', 'd'),
               Hhea = FontTag('h', 'h', 'e', 'a'), Hmtx = FontTag('h', 'm', 't', 'x'), Maxp = FontTag('m', 'a', 'x', 'p'),
               Cmap = FontTag('c', 'm', 'a', 'p');

// What the driver does with a face: take it, keep the glyphs of some characters, write the
// program. Returns how many of the characters' glyphs were kept; -1 when the face was refused.
int UseFace(const std::vector<uint8_t>& file, const wchar_t* characters, bool* written = nullptr) {
  GuardedBytes guarded = GuardedCopy(file);
  FontFile font;
  int kept = -1;
  if (ReadFontFile(BytesOf(guarded), 0, font)) {
    SubsetFace face;
    if (BeginSubsetFace(face, font)) {
      kept = 0;
      CharMap map;
      ReadCharMap(font, map);
      for (const wchar_t* c = characters; *c; ++c)
        if (KeepGlyph(face, font, LookUpGlyph(map, *c))) ++kept;
      ByteBuffer program = {};
      bool wrote = WriteSubsetFont(face, program);
      if (written) *written = wrote;
      if (wrote) {
        // What was written is a font this library reads whole again.
        FontFile subset;
        FontMetrics metrics;
        EXPECT_TRUE(ReadFontFile(FontBytes{program.Data, program.Size}, 0, subset));
        EXPECT_TRUE(ReadFontMetrics(subset, metrics));
        for (uint32_t i = 0; i < face.GlyphCount; ++i) {
          FontBytes bytes;
          EXPECT_TRUE(ReadGlyphBytes(subset, metrics, face.Glyphs[i].Glyph, bytes));
        }
      }
      FreeByteBuffer(program);
      FreeSubsetFace(face);
    }
  }
  FreeGuarded(guarded);
  return kept;
}

uint32_t GlyphOf(const std::vector<uint8_t>& file, wchar_t character) {
  FontFile font;
  CharMap map;
  if (!ReadFontFile(BytesOf(file), 0, font) || !ReadCharMap(font, map)) return 0;
  return LookUpGlyph(map, character);
}

// The file offset of a glyph's record in glyf (Liberation Sans has long loca).
size_t GlyphOffset(const std::vector<uint8_t>& file, uint32_t glyph) {
  return TableOffset(file, Glyf) + GetU32(file, TableOffset(file, Loca) + size_t(glyph) * 4);
}

class LyingFont : public ::testing::Test {
 protected:
  void SetUp() override {
    original = LoadFile(LiberationSans);
    ASSERT_FALSE(original.empty());
    ASSERT_EQ(GetU16(original, TableOffset(original, Head) + 50), 1u) << "the tests below patch a long loca";
    ASSERT_EQ(UseFace(original, L"ÁÉAB"), 4);
  }
  std::vector<uint8_t> original;
};

TEST_F(LyingFont, CutShortAnywhereIsRefused) {
  size_t end = 0;  // where the last table ends
  for (uint32_t i = 0; i < GetU16(original, 4); ++i) {
    size_t record = 12 + size_t(i) * 16;
    size_t tableEnd = size_t(GetU32(original, record + 8)) + GetU32(original, record + 12);
    if (tableEnd > end) end = tableEnd;
  }
  for (size_t length = 0; length < end; length += (length < 512 ? 1 : 1531)) {
    std::vector<uint8_t> cut(original.begin(), original.begin() + length);
    EXPECT_EQ(UseFace(cut, L"ÁAB"), -1) << "cut at " << length;
  }
}

TEST_F(LyingFont, TablesOutsideTheFileAreRefused) {
  size_t record = TableRecord(original, Glyf);
  std::vector<uint8_t> file = original;
  SetU32(file, record + 8, uint32_t(file.size()) + 16);  // starts past the end
  EXPECT_EQ(UseFace(file, L"A"), -1);
  file = original;
  SetU32(file, record + 12, 0xFFFFFFF0u);  // offset + length wraps around 32 bits
  EXPECT_EQ(UseFace(file, L"A"), -1);
  file = original;
  SetU32(file, record + 12, GetU32(file, record + 12) + uint32_t(file.size()));
  EXPECT_EQ(UseFace(file, L"A"), -1);
  file = original;
  SetU16(file, 4, 0xFFFF);  // more tables than the directory holds
  EXPECT_EQ(UseFace(file, L"A"), -1);
}

TEST_F(LyingFont, LocaPastGlyfOrBackwardsRefusesThatGlyph) {
  uint32_t a = GlyphOf(original, 'A'), b = GlyphOf(original, 'B');
  size_t loca = TableOffset(original, Loca), glyfLength = GetU32(original, TableRecord(original, Glyf) + 12);
  std::vector<uint8_t> file = original;
  SetU32(file, loca + size_t(a + 1) * 4, uint32_t(glyfLength) + 400);  // A ends past glyf
  EXPECT_EQ(UseFace(file, L"A"), 0);
  EXPECT_EQ(UseFace(file, L"B"), b == a + 1 ? 0 : 1);  // B, when it starts where A's end points
  file = original;
  SetU32(file, loca + size_t(a + 1) * 4, GetU32(file, loca + size_t(a) * 4) - 4);  // A ends before it starts
  EXPECT_EQ(UseFace(file, L"AZ"), 1);
  file = original;
  SetU32(file, loca, 0xFFFFFF00u);  // glyph 0, which every subset needs: the face is refused
  EXPECT_EQ(UseFace(file, L"AB"), -1);
}

TEST_F(LyingFont, CompositeLoopsAndForeignPartsAreRefused) {
  uint32_t aAcute = GlyphOf(original, L'Á'), eAcute = GlyphOf(original, L'É');
  size_t aAt = GlyphOffset(original, aAcute), eAt = GlyphOffset(original, eAcute);
  ASSERT_GE(GetU16(original, aAt), 0x8000u) << "Á is a composite in this face";
  ASSERT_GE(GetU16(original, eAt), 0x8000u);
  std::vector<uint8_t> file = original;
  SetU16(file, aAt + 12, aAcute);  // Á made of Á
  EXPECT_EQ(UseFace(file, L"ÁAB"), 2);
  file = original;
  SetU16(file, aAt + 12, eAcute);  // Á made of É, É made of Á
  SetU16(file, eAt + 12, aAcute);
  EXPECT_EQ(UseFace(file, L"ÉÁAB"), 2);
  file = original;
  SetU16(file, aAt + 12, 0xFFFE);  // a part the face does not have
  EXPECT_EQ(UseFace(file, L"ÁA"), 1);
  file = original;
  SetU16(file, aAt + 10, 0x0020 | GetU16(file, aAt + 10));  // "more components" ever after
  for (size_t at = aAt + 16; at < aAt + 64; at += 2) SetU16(file, at, 0x0021);
  EXPECT_EQ(UseFace(file, L"ÁA"), 1);
}

TEST_F(LyingFont, SimpleGlyphsLongerThanTheirBytesAreRefused) {
  uint32_t b = GlyphOf(original, 'B');
  size_t at = GlyphOffset(original, b);
  uint32_t contours = GetU16(original, at);
  ASSERT_GT(contours, 0u);
  ASSERT_LT(contours, 0x8000u);
  std::vector<uint8_t> file = original;
  SetU16(file, at + 10 + (contours - 1) * 2, 60000);  // the last contour ends at point 60000
  EXPECT_EQ(UseFace(file, L"AB"), 1);
  file = original;
  SetU16(file, at + 10 + contours * 2, 0xFFF0);  // instructions longer than the glyph
  EXPECT_EQ(UseFace(file, L"AB"), 1);
  file = original;
  SetU16(file, at, 0x7FFF);  // 32767 contours
  EXPECT_EQ(UseFace(file, L"AB"), 1);
}

TEST_F(LyingFont, FaceTablesThatDisagreeAreRefused) {
  std::vector<uint8_t> file = original;
  SetU16(file, TableOffset(file, Hhea) + 34, GetU16(file, TableOffset(file, Maxp) + 4) + 1);
  EXPECT_EQ(UseFace(file, L"A"), -1) << "more horizontal metrics than glyphs";
  file = original;
  SetU32(file, TableRecord(file, Hmtx) + 12, 64);
  EXPECT_EQ(UseFace(file, L"A"), -1) << "hmtx shorter than hhea says";
  file = original;
  SetU16(file, TableOffset(file, Head) + 18, 0);
  EXPECT_EQ(UseFace(file, L"A"), -1) << "an em of 0";
  file = original;
  SetU16(file, TableOffset(file, Head) + 50, 7);
  EXPECT_EQ(UseFace(file, L"A"), -1) << "an unknown loca format";
  file = original;
  SetU16(file, TableOffset(file, Maxp) + 4, 0);
  EXPECT_EQ(UseFace(file, L"A"), -1) << "no glyphs";
}

TEST_F(LyingFont, LicenceBitsDecideEmbedding) {
  size_t fsType = TableOffset(original, FontTag('O', 'S', '/', '2')) + 8;
  struct {
    uint32_t Bits;
    bool Embedded;
  } cases[] = {{0x0000, true},  {0x0002, false}, {0x0004, true},  {0x0008, true},
               {0x000A, true},  {0x0102, false}, {0x0104, false}, {0x0200, false}};
  for (auto& licence : cases) {
    std::vector<uint8_t> file = original;
    SetU16(file, fsType, licence.Bits);
    EXPECT_EQ(UseFace(file, L"AB") == 2, licence.Embedded) << "fsType " << licence.Bits;
  }
}

// The cmap: segments that overlap or run backwards, a group count far past the table, a range
// offset into nowhere: lookups stay inside the subtable and end.
TEST_F(LyingFont, CharacterMapsThatLieMapNothingAndEnd) {
  std::vector<uint8_t> file = original;
  size_t cmap = TableOffset(file, Cmap);
  uint32_t subtables = GetU16(file, cmap + 2);
  size_t format4 = 0;
  for (uint32_t i = 0; i < subtables; ++i) {
    size_t at = cmap + GetU32(file, cmap + 4 + i * 8 + 4);
    if (GetU16(file, at) == 4) format4 = at;
  }
  ASSERT_NE(format4, 0u);
  for (uint32_t i = 0; i < subtables; ++i) {
    size_t at = cmap + GetU32(file, cmap + 4 + i * 8 + 4);
    if (GetU16(file, at) == 12) SetU32(file, at + 12, 0xFFFFFFF0u);  // groups far past the table
  }
  uint32_t segments = GetU16(file, format4 + 6) / 2;
  for (uint32_t i = 0; i + 1 < segments; ++i) {
    SetU16(file, format4 + 14 + i * 2, 0xFFFE);                           // every segment ends at the top
    SetU16(file, format4 + 16 + segments * 2 + i * 2, 0x20);              // ...and starts at the bottom
    SetU16(file, format4 + 16 + segments * 6 + i * 2, 0xFFFE - i * 2);    // its glyph array far away
  }
  GuardedBytes guarded = GuardedCopy(file);
  FontFile font;
  ASSERT_TRUE(ReadFontFile(BytesOf(guarded), 0, font));
  CharMap map;
  if (ReadCharMap(font, map)) {
    LookUpGlyph(map, 'A');
    long visits = 0;
    VisitCharMap(map, [](void* context, uint32_t, uint32_t) { ++*static_cast<long*>(context); }, &visits);
    EXPECT_LE(visits, 0x110000);  // each code at most once
  }
  FreeGuarded(guarded);
}

// Bytes changed at random in the parts that steer reading (directory, head, maxp, hhea, loca and
// the first glyphs): whatever is accepted must be written as a font that reads back whole.
TEST_F(LyingFont, RandomDamageNeverReadsOutside) {
  srand(2436);
  size_t regions[][2] = {{0, 12 + 16 * GetU16(original, 4)},
                         {TableOffset(original, Head), 54},
                         {TableOffset(original, Maxp), 6},
                         {TableOffset(original, Hhea), 36},
                         {TableOffset(original, Loca), 400},
                         {GlyphOffset(original, GlyphOf(original, L'Á')), 64},
                         {TableOffset(original, Cmap), 64}};
  int refused = 0, accepted = 0;
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> file = original;
    for (int change = 0; change < 4; ++change) {
      auto& region = regions[rand() % (sizeof(regions) / sizeof(regions[0]))];
      file[region[0] + rand() % region[1]] = uint8_t(rand());
    }
    bool written = false;
    int kept = UseFace(file, L"ÁÉAB", &written);
    if (kept < 0) ++refused;
    else ++accepted;
    EXPECT_TRUE(kept < 0 || written);
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(accepted, 0);
}

}  // namespace
