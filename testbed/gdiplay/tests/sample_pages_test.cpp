// The documents of the driver's checks are only worth their checks when they make the calls the
// checks are about: these tests record each kind of page and read its EMF records back, and check
// that the text noted for the checks (emftool --text) is the text the records carry.
#include <windows.h>

#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "sample_drawing.h"
#include "sample_pages.h"

namespace {

struct Recorded {
  std::vector<std::vector<BYTE>> Records;  // every record, whole
  std::set<DWORD> Types;
  std::vector<std::wstring> Texts;  // the strings of the EMR_EXTTEXTOUTW records, in order
  std::vector<std::wstring> Noted;  // what the page noted as drawn
};

int CALLBACK Collect(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) {
  Recorded& out = *reinterpret_cast<Recorded*>(data);
  const BYTE* bytes = reinterpret_cast<const BYTE*>(record);
  out.Records.emplace_back(bytes, bytes + record->nSize);
  out.Types.insert(record->iType);
  if (record->iType == EMR_EXTTEXTOUTW) {
    const EMREXTTEXTOUTW* text = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
    const wchar_t* chars = reinterpret_cast<const wchar_t*>(bytes + text->emrtext.offString);
    out.Texts.emplace_back(chars, text->emrtext.nChars);
  }
  return 1;
}

Recorded Record(SamplePage kind, int number) {
  Recorded out;
  SetTextLog(&out.Noted);
  HENHMETAFILE page = RecordSamplePage(nullptr, kind, 210, 297, number);
  SetTextLog(nullptr);
  EXPECT_NE(page, nullptr);
  if (!page) return out;
  EnumEnhMetaFile(nullptr, page, Collect, &out, nullptr);
  DeleteEnhMetaFile(page);
  return out;
}

template <typename Record>
std::vector<const Record*> All(const Recorded& page, DWORD type) {
  std::vector<const Record*> found;
  for (const auto& bytes : page.Records)
    if (reinterpret_cast<const ENHMETARECORD*>(bytes.data())->iType == type)
      found.push_back(reinterpret_cast<const Record*>(bytes.data()));
  return found;
}

std::wstring Joined(const std::vector<std::wstring>& pieces) {
  std::wstring all;
  for (const auto& piece : pieces) all += piece + L"|";
  return all;
}

// Every piece of text a page notes is the string of one text record, in the same order: the
// words the checks look for in a document are the words the EMF asks the printer to draw.
void ExpectNotedTextIsRecorded(const Recorded& page) {
  EXPECT_FALSE(page.Noted.empty());
  EXPECT_EQ(Joined(page.Noted), Joined(page.Texts));
}

TEST(SamplePages, OfficeReportHasBodyTextARuledTableAndAPhotographOnEveryThirdPage) {
  for (int number = 1; number <= 10; ++number) {
    Recorded page = Record(SamplePage::Office, number);
    ExpectNotedTextIsRecorded(page);
    size_t photographs = All<EMRSTRETCHDIBITS>(page, EMR_STRETCHDIBITS).size();
    EXPECT_EQ(photographs, number % 3 == 0 ? 1u : 0u) << "page " << number;
    // Heading, 40 (or 28 beside the photograph) body lines, 30 table cells, the footer.
    size_t lines = number % 3 == 0 ? 28 : 40;
    EXPECT_EQ(page.Texts.size(), 1 + lines + 30 + 1 + (number % 3 == 0 ? 1 : 0)) << "page " << number;
    EXPECT_EQ(page.Texts.front().rfind(L"Annual report 2026, section ", 0), 0u);
    // The table's rules are lines; its heading row is a solid fill.
    EXPECT_GE(All<EMRLINETO>(page, EMR_LINETO).size(), 13u);
  }
  // Pages differ in their body text.
  EXPECT_NE(Joined(Record(SamplePage::Office, 1).Texts), Joined(Record(SamplePage::Office, 2).Texts));
}

TEST(SamplePages, TextLayoutIsJustifiedOpaqueAndRotated) {
  Recorded page = Record(SamplePage::TextLayout, 1);
  ExpectNotedTextIsRecorded(page);
  bool opaque = false;
  int justified = 0;
  for (const EMREXTTEXTOUTW* text : All<EMREXTTEXTOUTW>(page, EMR_EXTTEXTOUTW)) {
    if (text->emrtext.fOptions & ETO_OPAQUE) opaque = true;
    // Justified lines: their advances add up to the measure of 900 units exactly.
    const INT* dx = reinterpret_cast<const INT*>(reinterpret_cast<const BYTE*>(text) + text->emrtext.offDx);
    long sum = 0;
    for (DWORD i = 0; i < text->emrtext.nChars; ++i) sum += dx[i];
    justified += sum == 900;
  }
  EXPECT_TRUE(opaque);
  EXPECT_EQ(justified, 3);  // the paragraph's last line is left ragged
  std::set<LONG> escapements;
  std::set<LONG> widths;
  for (const EMREXTCREATEFONTINDIRECTW* font : All<EMREXTCREATEFONTINDIRECTW>(page, EMR_EXTCREATEFONTINDIRECTW)) {
    escapements.insert(font->elfw.elfLogFont.lfEscapement);
    widths.insert(font->elfw.elfLogFont.lfWidth);
  }
  EXPECT_EQ(escapements, (std::set<LONG>{0, 900, 450, -300, 1800}));
  EXPECT_TRUE(widths.count(15) && widths.count(40));  // condensed and widened
  EXPECT_TRUE(page.Types.count(EMR_SETBKMODE) && page.Types.count(EMR_SETBKCOLOR));
}

TEST(SamplePages, ScriptsAskForEachFaceAndCarryTheirCharacters) {
  Recorded page = Record(SamplePage::Scripts, 1);
  ExpectNotedTextIsRecorded(page);
  std::set<std::wstring> faces;
  bool italic = false, bold = false;
  for (const EMREXTCREATEFONTINDIRECTW* font : All<EMREXTCREATEFONTINDIRECTW>(page, EMR_EXTCREATEFONTINDIRECTW)) {
    faces.insert(font->elfw.elfLogFont.lfFaceName);
    italic |= font->elfw.elfLogFont.lfItalic != 0;
    bold |= font->elfw.elfLogFont.lfWeight == FW_BOLD;
  }
  for (const wchar_t* face : {L"Liberation Sans", L"Liberation Serif", L"Liberation Mono", L"DejaVu Sans",
                              L"DejaVu Serif", L"DejaVu Sans Mono", L"Noto Sans CJK JP", L"Noto Serif CJK JP"})
    EXPECT_TRUE(faces.count(face)) << "no text in " << std::string(face, face + wcslen(face));
  EXPECT_TRUE(italic && bold);
  std::wstring all = Joined(page.Texts);
  for (const wchar_t* sample : {L"γρήγορη", L"французских", L"日本語", L"Łódź"})
    EXPECT_NE(all.find(sample), std::wstring::npos);
}

TEST(SamplePages, StrokesUseGeometricPensWithDashesCapsJoinsAndBothFillModes) {
  Recorded page = Record(SamplePage::Strokes, 1);
  ExpectNotedTextIsRecorded(page);
  // EMR_EXTCREATEPEN as Wine's 64-bit gdi32 plays it (sample_pens.cpp): type, size, ihPen, four
  // bitmap fields, alignment, then the pen: style, width, brush style, colour, a 64-bit hatch,
  // number of dashes, dashes.
  std::set<DWORD> caps, joins, styles;
  bool userDashes = false;
  int geometric = 0;
  for (const auto& bytes : page.Records) {
    DWORD type, style, entries;
    memcpy(&type, bytes.data(), 4);
    if (type == EMR_CREATEPEN) {
      memcpy(&style, bytes.data() + 12, 4);
      EXPECT_NE(style & PS_TYPE_MASK, static_cast<DWORD>(PS_GEOMETRIC)) << "a geometric pen left as a plain one";
    }
    if (type != EMR_EXTCREATEPEN) continue;
    memcpy(&style, bytes.data() + 32, 4);
    memcpy(&entries, bytes.data() + 56, 4);
    ++geometric;
    caps.insert(style & PS_ENDCAP_MASK);
    joins.insert(style & PS_JOIN_MASK);
    styles.insert(style & PS_STYLE_MASK);
    if ((style & PS_STYLE_MASK) == PS_USERSTYLE && entries == 4) {
      DWORD first;
      memcpy(&first, bytes.data() + 60, 4);
      userDashes = first == 60;
    }
  }
  EXPECT_EQ(geometric, 8);
  EXPECT_EQ(caps, (std::set<DWORD>{PS_ENDCAP_FLAT, PS_ENDCAP_SQUARE, PS_ENDCAP_ROUND}));
  EXPECT_EQ(joins, (std::set<DWORD>{PS_JOIN_MITER, PS_JOIN_BEVEL, PS_JOIN_ROUND}));
  EXPECT_TRUE(styles.count(PS_SOLID) && styles.count(PS_DASH) && styles.count(PS_DASHDOT));
  EXPECT_TRUE(userDashes);
  std::set<DWORD> modes;
  for (const EMRSETPOLYFILLMODE* mode : All<EMRSETPOLYFILLMODE>(page, EMR_SETPOLYFILLMODE)) modes.insert(mode->iMode);
  EXPECT_EQ(modes, (std::set<DWORD>{ALTERNATE, WINDING}));
  EXPECT_TRUE(page.Types.count(EMR_POLYBEZIER16) || page.Types.count(EMR_POLYBEZIER));
  EXPECT_TRUE(page.Types.count(EMR_ARC) && page.Types.count(EMR_CHORD) && page.Types.count(EMR_ROUNDRECT));
}

TEST(SamplePages, ClippingUsesARectangleARegionAndAPath) {
  Recorded page = Record(SamplePage::Clipping, 1);
  ExpectNotedTextIsRecorded(page);
  EXPECT_TRUE(page.Types.count(EMR_INTERSECTCLIPRECT));
  EXPECT_TRUE(page.Types.count(EMR_EXTSELECTCLIPRGN));
  EXPECT_TRUE(page.Types.count(EMR_SELECTCLIPPATH));
  // The region has a hole: more than a handful of rectangles.
  for (const EMREXTSELECTCLIPRGN* clip : All<EMREXTSELECTCLIPRGN>(page, EMR_EXTSELECTCLIPRGN)) {
    if (clip->cbRgnData == 0) continue;  // a reset to the default clip
    const RGNDATAHEADER* header = reinterpret_cast<const RGNDATAHEADER*>(clip->RgnData);
    EXPECT_GT(header->nCount, 20u);
  }
}

TEST(SamplePages, BlendingHasPerPixelAndConstantAlphaAColourKeyAndGradients) {
  Recorded page = Record(SamplePage::Blending, 1);
  ExpectNotedTextIsRecorded(page);
  bool perPixel = false, constant = false;
  for (const EMRALPHABLEND* blend : All<EMRALPHABLEND>(page, EMR_ALPHABLEND)) {
    BLENDFUNCTION function;
    memcpy(&function, &blend->dwRop, sizeof(function));
    if (function.AlphaFormat == AC_SRC_ALPHA && function.SourceConstantAlpha == 255) perPixel = true;
    if (function.AlphaFormat == 0 && function.SourceConstantAlpha == 128) constant = true;
  }
  EXPECT_TRUE(perPixel);
  EXPECT_TRUE(constant);
  EXPECT_TRUE(page.Types.count(EMR_TRANSPARENTBLT));
  std::set<ULONG> gradients;
  for (const EMRGRADIENTFILL* fill : All<EMRGRADIENTFILL>(page, EMR_GRADIENTFILL)) gradients.insert(fill->ulMode);
  EXPECT_EQ(gradients, (std::set<ULONG>{GRADIENT_FILL_RECT_H, GRADIENT_FILL_RECT_V, GRADIENT_FILL_TRIANGLE}));
}

TEST(SamplePages, FontPagesAskForRasterAndLyingFaces) {
  Recorded bitmap = Record(SamplePage::BitmapFont, 1);
  ExpectNotedTextIsRecorded(bitmap);
  int raster = 0;
  for (const EMREXTCREATEFONTINDIRECTW* font : All<EMREXTCREATEFONTINDIRECTW>(bitmap, EMR_EXTCREATEFONTINDIRECTW))
    raster += font->elfw.elfLogFont.lfOutPrecision == OUT_RASTER_PRECIS;
  EXPECT_EQ(raster, 3);
  Recorded lying = Record(SamplePage::LyingFont, 1);
  ExpectNotedTextIsRecorded(lying);
  int inLyingFace = 0;
  for (const EMREXTCREATEFONTINDIRECTW* font : All<EMREXTCREATEFONTINDIRECTW>(lying, EMR_EXTCREATEFONTINDIRECTW))
    inLyingFace += wcscmp(font->elfw.elfLogFont.lfFaceName, LyingFontFace) == 0;
  EXPECT_EQ(inLyingFace, 4);
}

TEST(SamplePages, EveryKindHasAName) {
  SamplePage kind;
  std::wstring names = SamplePageNames();
  size_t start = 0;
  int count = 0;
  while (start <= names.size()) {
    size_t end = names.find(L'|', start);
    if (end == std::wstring::npos) end = names.size();
    EXPECT_TRUE(SamplePageByName(names.substr(start, end - start).c_str(), kind));
    ++count;
    start = end + 1;
  }
  EXPECT_EQ(count, 12);
  EXPECT_FALSE(SamplePageByName(L"letterhead", kind));
}

}  // namespace
