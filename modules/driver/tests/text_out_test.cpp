// DrvTextOut on a page of the real page model, this program playing the engine (text_test_engine):
// strings in TrueType faces (Liberation, DejaVu) upright, rotated, justified, in colour over opaque
// backgrounds with underlines, clipped, simulated bold and italic, enumerated in batches, printed
// by glyph index (characters from the face's cmap); a CFF
// face of a collection, glyph handles that are not glyph ids, a face whose glyph lies, a face whose
// licence forbids embedding, and a bitmap font. The document goes to text-work/text.pdf with a
// manifest of what was drawn where; text_pdf_check.py checks it with poppler, qpdf and fontTools.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "draw_calls.h"
#include "font_test_files.h"
#include "page_send.h"
#include "printer_device.h"
#include "text_faces.h"
#include "text_test_engine.h"

namespace {

bool WriteToFile(void* target, const BYTE* bytes, DWORD count) {
  return fwrite(bytes, 1, count, static_cast<FILE*>(target)) == count;
}

uint32_t U16(const std::vector<uint8_t>& file, size_t at) { return (uint32_t(file[at]) << 8) | file[at + 1]; }
uint32_t U32(const std::vector<uint8_t>& file, size_t at) { return (U16(file, at) << 16) | U16(file, at + 2); }
size_t TableAt(const std::vector<uint8_t>& file, const char* tag) {
  for (uint32_t i = 0; i < U16(file, 4); ++i)
    if (memcmp(&file[12 + i * 16], tag, 4) == 0) return U32(file, 12 + i * 16 + 8);
  return 0;
}

struct Solid {
  BRUSHOBJ Object;
};

class TextOut : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryA("text-work", nullptr);
    output = fopen("text-work\\text.pdf", "wb");
    ASSERT_TRUE(output);
    manifest = fopen("text-work\\manifest.txt", "w");
    ASSERT_TRUE(manifest);
    memset(&device, 0, sizeof(device));
    FillTestEngine(device.Engine);
    DefaultJobSettings(device.Settings, L"Quillstack");
    ComputePageGeometry(device.Settings, device.Page);
    device.Hooks = DocumentHooks;
    device.Surface = reinterpret_cast<HSURF>(0x5150);
    device.Document = PdfBeginDocument(WriteToFile, output, L"Text");
    ASSERT_TRUE(device.Document);
    memset(&surface, 0, sizeof(surface));
    surface.dhpdev = reinterpret_cast<DHPDEV>(&device);
    surface.hsurf = device.Surface;
    pixels.assign(size_t(device.Page.WidthPixels) * 3 * device.Page.HeightPixels, 0xFF);
  }

  void StartPage() {
    device.Recording = PageStart(device.Recording, device.Page.WidthPixels, device.Page.HeightPixels, false);
    ASSERT_TRUE(device.Recording);
    device.PageStarted = true;
    ++pageNumber;
  }

  void SendPage() {
    PdfPagePixels page = {pixels.data(), device.Page.WidthPixels * 3, device.Page.WidthPixels, device.Page.HeightPixels};
    ASSERT_TRUE(PageSend(*device.Document, *device.Recording, device.Page, page));
    device.PageStarted = false;
  }

  // One string through DrvTextOut, and its line in the manifest: page, kind, x and baseline in
  // points (upright text), the text.
  void Draw(TestFont& font, const wchar_t* text, LONG x, LONG y, const char* kind, ULONG colour = 0x000000,
            LONG extraSpace = 0, ULONG batch = 0, RECTL* opaque = nullptr,
            ULONG opaqueColour = 0xFFFFFF, RECTL* extra = nullptr, CLIPOBJ* clip = nullptr) {
    TestString string;
    MakeTestString(string, font, text, x, y, extraSpace, batch);
    Solid fore = {}, back = {};
    fore.Object.iSolidColor = colour;
    back.Object.iSolidColor = opaqueColour;
    EXPECT_TRUE(DrvTextOut(&surface, &string.Object, &font.Object, clip, extra, opaque, &fore.Object, &back.Object,
                           nullptr, 0x0D0D));
    char utf8[512];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
    double points = 72.0 / device.Page.Dpi;
    fprintf(manifest, "%d|%s|%.2f|%.2f|%.2f|%s\n", pageNumber, kind, x * points, y * points,
            string.End.x * points, utf8);
  }

  // A string printed by glyph index (ETO_GLYPH_INDEX): pwszOrg holds the indices, not characters.
  void DrawGlyphIndices(TestFont& font, const wchar_t* text, LONG x, LONG y) {
    TestString string;
    MakeTestString(string, font, text, x, y);
    std::wstring indices;
    for (const GLYPHPOS& position : string.Positions) indices += wchar_t(position.hg);
    string.Text = indices;
    string.Object.pwszOrg = const_cast<LPWSTR>(string.Text.c_str());
    string.Object.flAccel |= SO_GLYPHINDEX_TEXTOUT;
    Solid fore = {};
    EXPECT_TRUE(DrvTextOut(&surface, &string.Object, &font.Object, nullptr, nullptr, nullptr, &fore.Object, nullptr,
                           nullptr, 0x0D0D));
    char utf8[512];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
    double points = 72.0 / device.Page.Dpi;
    fprintf(manifest, "%d|subset|%.2f|%.2f|%.2f|%s\n", pageNumber, x * points, y * points, string.End.x * points, utf8);
  }

  void TearDown() override {
    if (device.Document) {
      EXPECT_TRUE(PdfEndDocument(*device.Document, 1, true));
      PdfFreeDocument(device.Document);
    }
    PageFree(device.Recording);
    if (output) fclose(output);
    if (manifest) fclose(manifest);
  }

  PrinterDevice device;
  SURFOBJ surface;
  std::vector<BYTE> pixels;
  FILE* output = nullptr;
  FILE* manifest = nullptr;
  int pageNumber = 0;
};

TEST_F(TextOut, FacesBecomeSubsetsType3FontsOrInvisibleText) {
  std::vector<uint8_t> liberation = LoadFile(LiberationSans), dejaVu = LoadFile(DejaVuSans), noto = LoadFile(NotoSansCjk);
  ASSERT_FALSE(liberation.empty());
  ASSERT_FALSE(dejaVu.empty());
  ASSERT_FALSE(noto.empty());
  TestFont sans, serifLike, rotated, cjk, shifted, lying, forbidden, bitmap, bold;
  ASSERT_TRUE(OpenTestFont(sans, liberation, 0, 11, TRUETYPE_FONTTYPE, 50, L"Liberation Sans"));
  ASSERT_TRUE(OpenTestFont(serifLike, dejaVu, 0, 12, TRUETYPE_FONTTYPE, 42, L"DejaVu Sans"));
  serifLike.TablePointer = false;  // the whole file alone
  serifLike.NotionalDown = true;
  ASSERT_TRUE(OpenTestFont(rotated, liberation, 0, 11, TRUETYPE_FONTTYPE, 38, L"Liberation Sans"));
  rotated.Angle = 90;
  ASSERT_TRUE(OpenTestFont(cjk, noto, 1, 13, TRUETYPE_FONTTYPE, 50, L"Noto Sans CJK JP"));
  cjk.WholeFile = false;
  ASSERT_TRUE(OpenTestFont(shifted, dejaVu, 0, 14, TRUETYPE_FONTTYPE, 40, L"DejaVu Shifted"));
  std::vector<uint8_t> lies = liberation;  // glyph 'A' ends past glyf
  size_t loca = TableAt(lies, "loca");
  ASSERT_TRUE(OpenTestFont(lying, lies, 0, 15, TRUETYPE_FONTTYPE, 50, L"Lying Sans"));
  uint32_t a = 36;
  ASSERT_EQ(U32(lies, loca + 4 * a) != 0, true);
  lying.File[loca + 4 * (a + 1)] = 0x7F;
  ASSERT_TRUE(ReadFontFile(FontBytes{lying.File.data(), lying.File.size()}, 0, lying.Face));
  std::vector<uint8_t> restricted = liberation;
  restricted[TableAt(restricted, "OS/2") + 9] = 0x02;  // fsType: restricted licence
  ASSERT_TRUE(OpenTestFont(forbidden, restricted, 0, 16, TRUETYPE_FONTTYPE, 50, L"Restricted Sans"));
  ASSERT_TRUE(OpenTestFont(bitmap, liberation, 0, 17, RASTER_FONTTYPE, 40, L"System"));
  ASSERT_TRUE(OpenTestFont(bold, liberation, 0, 11, TRUETYPE_FONTTYPE | FO_SIM_BOLD | FO_SIM_ITALIC, 50,
                           L"Liberation Sans"));

  StartPage();
  Draw(sans, L"Quarterly report 2026: sales grew by 12%", 300, 400, "subset");
  RECTL opaque = {290, 470, 1700, 520}, underline[2] = {{300, 512, 1200, 516}, {0, 0, 0, 0}};
  Draw(serifLike, L"Zoë's café, naïve façade", 300, 500, "subset", 0xCC2020, 0, 3, &opaque, 0xFFFF80, underline);
  Draw(sans, L"Justified words spread across the line", 300, 600, "subset", 0x000000, 9);
  Draw(rotated, L"Rotated upwards", 200, 2000, "rotated");
  Draw(bold, L"Simulated bold italic", 300, 700, "subset");
  CLIPOBJ clip = {};
  clip.iDComplexity = DC_RECT;
  clip.rclBounds = {300, 760, 700, 820};
  Draw(sans, L"Clipped text", 300, 800, "subset", 0x2040C0, 0, 0, nullptr, 0, nullptr, &clip);
  DrawGlyphIndices(serifLike, L"Printed by glyph index", 300, 900);
  SendPage();

  StartPage();
  Draw(sans, L"The second page uses the same font", 300, 400, "subset");
  Draw(cjk, L"中文の文書", 300, 500, "type3");
  shifted.HandleOffset = 3;
  Draw(shifted, L"Handles that are not ids", 300, 600, "type3");
  Draw(lying, L"ABBA lies", 300, 700, "type3");
  Draw(forbidden, L"Restricted licence", 300, 800, "type3");
  Draw(bitmap, L"Bitmap font text", 300, 900, "invisible");
  Draw(sans, L"Visible again after the invisible text", 300, 1000, "subset");
  SendPage();

  // One record a face of the document, whatever the pages.
  ASSERT_TRUE(device.Document->Fonts);
  int subsets = 0;
  for (DWORD i = 0; i < device.Document->Fonts->Count; ++i)
    if (device.Document->Fonts->Faces[i].Kind == TextFaceSubset && device.Document->Fonts->Faces[i].FontId) ++subsets;
  EXPECT_EQ(subsets, 2);  // Liberation Sans (all its sizes, angles and simulations) and DejaVu Sans
}

}  // namespace
