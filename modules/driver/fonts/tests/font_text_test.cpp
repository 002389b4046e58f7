// The parts of a PDF font the library writes as text, and its check of GDI's glyph handles:
// handles taken as glyph ids only when hmtx and cmap agree; Type 3 glyph procedures from outlines
// with their widths, box, encoding and ToUnicode, 256 glyphs to a font; CMaps in blocks of 100.
#include <gtest/gtest.h>

#include <string>

#include "char_map.h"
#include "font_metrics.h"
#include "font_test_files.h"
#include "glyph_check.h"
#include "to_unicode.h"
#include "type3_face.h"

namespace {

std::string TextOf(const ByteBuffer& buffer) { return std::string(reinterpret_cast<const char*>(buffer.Data), buffer.Size); }

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(GlyphHandles, TakenAsGlyphIdsOnlyWhenTheFaceAgrees) {
  std::vector<uint8_t> file = LoadFile(LiberationSans);
  ASSERT_FALSE(file.empty());
  FontFile font;
  FontMetrics metrics;
  CharMap map;
  ASSERT_TRUE(ReadFontFile(BytesOf(file), 0, font));
  ASSERT_TRUE(ReadFontMetrics(font, metrics));
  ASSERT_TRUE(ReadCharMap(font, map));
  const double em = 50;  // 12 pt at 300 dpi
  const wchar_t* text = L"Sales review 2026";
  std::vector<GlyphHandleSample> right, shifted, wrongSize, unknownCharacters;
  for (const wchar_t* c = text; *c; ++c) {
    uint32_t glyph = LookUpGlyph(map, *c), advance;
    int32_t bearing;
    ASSERT_TRUE(ReadGlyphMetrics(font, metrics, glyph, advance, bearing));
    double pixels = double(int(advance * em / metrics.UnitsPerEm + 0.5));  // rounded, as hinting does
    right.push_back({glyph, pixels, uint32_t(*c)});
    uint32_t next = glyph + 3;
    shifted.push_back({next, pixels, uint32_t(*c)});  // GDI's advances are the right glyphs'
    wrongSize.push_back({glyph, pixels * 1.5 + 2, uint32_t(*c)});
    unknownCharacters.push_back({glyph, -1, 0});
  }
  EXPECT_TRUE(GlyphHandlesAreGlyphIds(font, metrics, right.data(), uint32_t(right.size()), em));
  EXPECT_TRUE(GlyphHandlesAreGlyphIds(font, metrics, unknownCharacters.data(), uint32_t(right.size()), em));
  // Handles that are something else (here: ids three off) disagree with cmap.
  EXPECT_FALSE(GlyphHandlesAreGlyphIds(font, metrics, shifted.data(), uint32_t(shifted.size()), em));
  // Advances of another layout (a stand-in face, fixed cells) with the characters agreeing: ids.
  EXPECT_TRUE(GlyphHandlesAreGlyphIds(font, metrics, wrongSize.data(), uint32_t(wrongSize.size()), em));
  // Without characters the advances decide.
  for (auto& sample : wrongSize) sample.Character = 0;
  EXPECT_FALSE(GlyphHandlesAreGlyphIds(font, metrics, wrongSize.data(), uint32_t(wrongSize.size()), em));
  for (auto& sample : shifted) sample.Character = 0;
  EXPECT_FALSE(GlyphHandlesAreGlyphIds(font, metrics, shifted.data(), uint32_t(shifted.size()), em))
      << "ids three off have other advances";
  GlyphHandleSample beyond = {metrics.GlyphCount, -1, 0};
  EXPECT_FALSE(GlyphHandlesAreGlyphIds(font, metrics, &beyond, 1, em));
}

TEST(Type3, GlyphsFromOutlinesMakeFontsOf256Codes) {
  Type3Face face = {};
  // A square "glyph" with a curve, 600 units wide; 299 more empty ones (spaces, invisible text).
  long square = AddType3Glyph(face, 0x41, 600);
  ASSERT_EQ(square, 0);
  Type3MoveTo(face, square, 50, -10);
  Type3LineTo(face, square, 550, -10);
  Type3CurveTo(face, square, 560, 300, 540, 700.25, 550, 710);
  Type3LineTo(face, square, 50, 710);
  Type3ClosePath(face, square);
  EndType3Glyph(face, square);
  uint16_t a = 'A';
  SetType3GlyphText(face, square, &a, 1);
  for (uint64_t key = 1000; key < 1299; ++key) {
    long glyph = AddType3Glyph(face, key, 250);
    EndType3Glyph(face, glyph);
    uint16_t units[2] = {uint16_t(0x4E00 + key % 256), uint16_t('x')};
    SetType3GlyphText(face, glyph, units, key % 2 ? 2 : 1);
  }
  EXPECT_EQ(FindType3Glyph(face, 0x41), 0);
  EXPECT_EQ(FindType3Glyph(face, 1298), 299);
  EXPECT_EQ(FindType3Glyph(face, 7), -1);
  EXPECT_FALSE(face.Failed);
  ASSERT_EQ(Type3FontCount(face), 2u);

  std::string procedure = TextOf(face.Glyphs[0].Procedure);
  EXPECT_EQ(procedure.find("600 0 50 -10 560 710 d1\n"), 0u) << procedure;
  EXPECT_NE(procedure.find("560 300 540 700.25 550 710 c\n"), std::string::npos);
  EXPECT_EQ(procedure.substr(procedure.size() - 4), "h\nf\n");
  EXPECT_EQ(TextOf(face.Glyphs[5].Procedure), "250 0 0 0 0 0 d1\n");  // nothing drawn, only advanced

  ByteBuffer metrics = {}, encoding = {}, cmap = {}, secondMetrics = {};
  WriteType3Metrics(face, 0, metrics);
  WriteType3Metrics(face, 1, secondMetrics);
  WriteType3Encoding(face, 1, encoding);
  WriteType3ToUnicode(face, 0, cmap);
  std::string first = TextOf(metrics), second = TextOf(secondMetrics), names = TextOf(encoding), map = TextOf(cmap);
  EXPECT_EQ(first.find("/FirstChar 0 /LastChar 255 /Widths [600 250 "), 0u) << first;
  EXPECT_NE(first.find("/FontBBox [0 -10 560 710]"), std::string::npos) << first;
  EXPECT_EQ(second.find("/FirstChar 0 /LastChar 43 "), 0u) << second;
  EXPECT_NE(second.find("/FontBBox [0 0 0 0]"), std::string::npos);
  EXPECT_EQ(Occurrences(names, " /g"), 44u);
  EXPECT_NE(names.find("/Differences [0 /g0 /g1 "), std::string::npos);
  // 256 codes in blocks of 100, one-byte codes; code 0 is 'A', code 1 a CJK character, code 2 another and 'x'.
  EXPECT_NE(map.find("<00> <FF>"), std::string::npos);
  EXPECT_EQ(Occurrences(map, "beginbfchar"), 3u);
  EXPECT_NE(map.find("100 beginbfchar\n<00> <0041>\n"), std::string::npos) << map;
  EXPECT_NE(map.find("<01> <4EE8>\n<02> <4EE90078>\n"), std::string::npos);
  EXPECT_NE(map.find("56 beginbfchar\n"), std::string::npos);
  FreeByteBuffer(metrics);
  FreeByteBuffer(encoding);
  FreeByteBuffer(cmap);
  FreeByteBuffer(secondMetrics);
  FreeType3Face(face);
}

TEST(ToUnicode, TwoByteCodesWithSurrogatesAndGaps) {
  uint16_t e[] = {0xE9}, ligature[] = {'f', 'f', 'i'}, beyond[] = {0xD840, 0xDF9F};
  CodeText codes[] = {{3, e, 1}, {4, nullptr, 0}, {0x1234, ligature, 3}, {0xFFFE, beyond, 2}};
  ByteBuffer cmap = {};
  WriteToUnicodeCMap(codes, 4, 2, cmap);
  std::string text = TextOf(cmap);
  EXPECT_NE(text.find("<0000> <FFFF>"), std::string::npos);
  EXPECT_NE(text.find("3 beginbfchar\n<0003> <00E9>\n<1234> <006600660069>\n<FFFE> <D840DF9F>\nendbfchar\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("<0004>"), std::string::npos);
  FreeByteBuffer(cmap);
}

}  // namespace
