// Subsets of real fonts: the glyphs of a few lines of text (accented letters among them, which
// these faces draw as composites) kept through the library, then written out as font programs
// with their widths and ToUnicode CMaps. check_subsets.py reads every one back with fontTools and
// compares it with the original face; here the library's own view is checked.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "char_map.h"
#include "font_descriptor.h"
#include "font_test_files.h"
#include "font_widths.h"
#include "glyph_table.h"
#include "subset_face.h"
#include "subset_tag.h"
#include "subset_writer.h"
#include "to_unicode.h"

namespace {

const wchar_t* const SampleText = L"Quarterly report: Zoë's café, naïve façade — 12% über Ærø; fi";

struct Subset {
  std::vector<uint8_t> Program;
  std::vector<uint32_t> Printed;
  std::string Tag;
};

// Keeps the glyphs of SampleText as a driver would, one character for one glyph, and writes the
// program, widths, ToUnicode and a manifest for check_subsets.py under `name`.
Subset MakeSubset(const FontFile& font, const char* unixPath, uint32_t faceIndex, const std::string& name) {
  Subset result;
  SubsetFace face;
  EXPECT_TRUE(BeginSubsetFace(face, font)) << name;
  CharMap map;
  EXPECT_TRUE(ReadCharMap(font, map));
  for (const wchar_t* c = SampleText; *c; ++c) {
    uint32_t glyph = LookUpGlyph(map, *c);
    if (!glyph) continue;
    EXPECT_TRUE(KeepGlyph(face, font, glyph)) << name << " glyph " << glyph;
    uint16_t unit = uint16_t(*c);
    SetGlyphText(face, glyph, &unit, 1);
    result.Printed.push_back(glyph);
  }
  // A glyph printed without its characters (GDI gave none): the face's cmap names it.
  uint32_t questionMark = LookUpGlyph(map, '?');
  EXPECT_TRUE(KeepGlyph(face, font, questionMark));
  SetGlyphText(face, questionMark, nullptr, 0);
  TakeGlyphTextFromCharMap(face, font);
  KeptGlyph* kept = FindKeptGlyph(face, questionMark);
  EXPECT_TRUE(kept && kept->TextLength == 1 && kept->Text[0] == '?');
  result.Printed.push_back(questionMark);

  ByteBuffer program = {}, widths = {}, cmap = {}, descriptor = {};
  EXPECT_TRUE(WriteSubsetFont(face, program));
  WriteCidWidths(face, widths);
  WriteSubsetToUnicode(face, cmap);
  std::vector<uint32_t> glyphs;
  for (uint32_t i = 0; i < face.GlyphCount; ++i) glyphs.push_back(face.Glyphs[i].Glyph);
  char tag[7], fontName[96];
  MakeSubsetTag(face.Metrics.PostScriptName, glyphs.data(), uint32_t(glyphs.size()), tag);
  MakeSubsetFontName(tag, face.Metrics, "Fallback Name", fontName, sizeof(fontName));
  WriteFontDescriptor(face.Metrics, fontName, "FontFile2", 12, descriptor);
  result.Tag = tag;
  result.Program.assign(program.Data, program.Data + program.Size);

  std::string folder = SubsetFolder();
  EXPECT_TRUE(SaveFile(folder + name + ".ttf", program.Data, program.Size));
  EXPECT_TRUE(SaveFile(folder + name + ".widths", widths.Data, widths.Size));
  EXPECT_TRUE(SaveFile(folder + name + ".cmap", cmap.Data, cmap.Size));
  EXPECT_TRUE(SaveFile(folder + name + ".descriptor", descriptor.Data, descriptor.Size));
  std::string manifest = std::string(unixPath) + "\n" + std::to_string(faceIndex) + "\n";
  for (uint32_t glyph : result.Printed) manifest += std::to_string(glyph) + " ";
  manifest += "\n" + std::string(fontName) + "\n";
  EXPECT_TRUE(SaveFile(folder + name + ".manifest", reinterpret_cast<const uint8_t*>(manifest.data()), manifest.size()));
  FreeByteBuffer(program);
  FreeByteBuffer(widths);
  FreeByteBuffer(cmap);
  FreeByteBuffer(descriptor);
  FreeSubsetFace(face);
  return result;
}

std::string UnixPath(const char* winePath) {
  std::string path(winePath + 2);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// The subset read back with the library: a font whose glyphs are the original's, byte for byte,
// and empty everywhere else.
void ExpectSameGlyphs(const FontFile& original, const Subset& subset) {
  FontFile font;
  ASSERT_TRUE(ReadFontFile(FontBytes{subset.Program.data(), subset.Program.size()}, 0, font));
  FontMetrics metrics, originalMetrics;
  ASSERT_TRUE(ReadFontMetrics(font, metrics));
  ASSERT_TRUE(ReadFontMetrics(original, originalMetrics));
  EXPECT_EQ(metrics.UnitsPerEm, originalMetrics.UnitsPerEm);
  for (uint32_t glyph : subset.Printed) {
    FontBytes mine, theirs;
    ASSERT_TRUE(ReadGlyphBytes(font, metrics, glyph, mine));
    ASSERT_TRUE(ReadGlyphBytes(original, originalMetrics, glyph, theirs));
    ASSERT_EQ(mine.Size, theirs.Size);
    EXPECT_EQ(0, memcmp(mine.Data, theirs.Data, mine.Size));
  }
  // The id just below the highest printed one that nobody used is empty.
  FontBytes empty;
  uint32_t unused = 1;
  while (unused < metrics.GlyphCount) {
    bool used = false;
    for (uint32_t glyph : subset.Printed) used = used || glyph == unused;
    FontBytes theirs;
    if (!used && ReadGlyphBytes(original, originalMetrics, unused, theirs) && theirs.Size > 12) {
      int32_t contours;
      ReadS16(theirs, 0, contours);
      if (contours > 0) break;  // a simple glyph nobody needs: it must not be in the subset
    }
    ++unused;
  }
  ASSERT_LT(unused, metrics.GlyphCount);
  ASSERT_TRUE(ReadGlyphBytes(font, metrics, unused, empty));
  EXPECT_EQ(empty.Size, 0u) << "glyph " << unused;
}

TEST(FontSubset, RealFacesKeepTheirGlyphsAtTheirIds) {
  const char* faces[3][2] = {{LiberationSans, "liberation-sans"},
                             {LiberationSerifItalic, "liberation-serif-italic"},
                             {DejaVuSans, "dejavu-sans"}};
  for (auto& face : faces) {
    std::vector<uint8_t> file = LoadFile(face[0]);
    ASSERT_FALSE(file.empty()) << face[0];
    FontFile font;
    ASSERT_TRUE(ReadFontFile(BytesOf(file), 0, font));
    Subset subset = MakeSubset(font, UnixPath(face[0]).c_str(), 0, face[1]);
    ExpectSameGlyphs(font, subset);
    // The program is a small part of the face.
    EXPECT_LT(subset.Program.size() * 4, file.size()) << face[1];
    EXPECT_EQ(subset.Tag.size(), 6u);
  }
}

// A collection holding two faces: face 1 is a font of its own, its subset the same as the face's
// subset made from its own file.
TEST(FontSubset, FaceOfACollectionIsAFontOfItsOwn) {
  std::vector<uint8_t> first = LoadFile(LiberationSans), second = LoadFile(DejaVuSans);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  // ttcf header with two offsets; each face's tables stay where they are, its directory moves.
  std::vector<uint8_t> collection = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0};
  auto putU32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) collection[at + i] = uint8_t(value >> (24 - 8 * i));
  };
  const std::vector<uint8_t>* files[2] = {&first, &second};
  for (int f = 0; f < 2; ++f) {
    while (collection.size() % 4) collection.push_back(0);
    size_t base = collection.size();
    putU32(12 + 4 * f, uint32_t(base));
    const std::vector<uint8_t>& file = *files[f];
    uint32_t tables = (uint32_t(file[4]) << 8) | file[5];
    size_t directory = 12 + size_t(tables) * 16;
    collection.insert(collection.end(), file.begin(), file.begin() + directory);
    size_t data = collection.size();
    collection.insert(collection.end(), file.begin() + directory, file.end());
    for (uint32_t t = 0; t < tables; ++t) {
      size_t record = base + 12 + t * 16 + 8;
      uint32_t offset = (uint32_t(collection[record]) << 24) | (uint32_t(collection[record + 1]) << 16) |
                        (uint32_t(collection[record + 2]) << 8) | collection[record + 3];
      putU32(record, uint32_t(offset - directory + data));
    }
  }
  EXPECT_EQ(CountFontFaces(FontBytes{collection.data(), collection.size()}), 2u);
  FontFile inCollection, alone, none;
  ASSERT_TRUE(ReadFontFile(FontBytes{collection.data(), collection.size()}, 1, inCollection));
  ASSERT_TRUE(ReadFontFile(BytesOf(second), 0, alone));
  EXPECT_FALSE(ReadFontFile(FontBytes{collection.data(), collection.size()}, 2, none));
  Subset fromCollection = MakeSubset(inCollection, UnixPath(DejaVuSans).c_str(), 0, "collection-face-1");
  Subset fromFile = MakeSubset(alone, UnixPath(DejaVuSans).c_str(), 0, "dejavu-sans-again");
  EXPECT_EQ(fromCollection.Program, fromFile.Program);
  EXPECT_EQ(fromCollection.Tag, fromFile.Tag);
}

// The CJK collection: its faces have CFF outlines, which are not embedded as TrueType subsets
// (the driver draws them as Type 3 fonts), while their metrics and cmap serve all the same.
TEST(FontSubset, CffFacesOfACollectionAreReadButNotSubset) {
  std::vector<uint8_t> file = LoadFile(NotoSansCjk);
  ASSERT_FALSE(file.empty()) << NotoSansCjk;
  uint32_t faces = CountFontFaces(BytesOf(file));
  EXPECT_GE(faces, 4u);
  for (uint32_t index = 0; index < faces; ++index) {
    FontFile font;
    ASSERT_TRUE(ReadFontFile(BytesOf(file), index, font));
    FontMetrics metrics;
    ASSERT_TRUE(ReadFontMetrics(font, metrics));
    EXPECT_FALSE(metrics.TrueTypeOutlines);
    EXPECT_EQ(metrics.UnitsPerEm, 1000u);
    EXPECT_NE(metrics.PostScriptName[0], 0);
    CharMap map;
    ASSERT_TRUE(ReadCharMap(font, map));
    EXPECT_NE(LookUpGlyph(map, 0x4E2D), 0u);   // 中
    EXPECT_NE(LookUpGlyph(map, 0x20B9F), 0u);  // 𠮟, beyond the basic plane
    SubsetFace face;
    EXPECT_FALSE(BeginSubsetFace(face, font));
  }
}

TEST(FontSubset, TagFollowsTheGlyphSet) {
  uint32_t some[] = {0, 3, 17}, others[] = {0, 3, 18};
  char a[7], b[7], c[7], d[7];
  MakeSubsetTag("LiberationSans", some, 3, a);
  MakeSubsetTag("LiberationSans", some, 3, b);
  MakeSubsetTag("LiberationSans", others, 3, c);
  MakeSubsetTag("DejaVuSans", some, 3, d);
  EXPECT_STREQ(a, b);
  EXPECT_STRNE(a, c);
  EXPECT_STRNE(a, d);
  for (char letter : std::string(a)) EXPECT_TRUE(letter >= 'A' && letter <= 'Z');
}

}  // namespace
