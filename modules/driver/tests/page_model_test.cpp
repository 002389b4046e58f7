// The page model with an engine of the test's own (fake_engine.h): which calls become PDF content
// and which raster patches, the patches' geometry, images of every bitmap format written once,
// alpha and colour keys, gradients, grey jobs; and documents written for the shell test
// (page_model_test.sh) to check with poppler, MuPDF and qpdf against the page the engine drew.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "draw_calls.h"
#include "fake_engine.h"
#include "page_send.h"

namespace {

ULONG Gradient(LONG x, LONG y) { return static_cast<ULONG>((x * 7 + y * 13) & 0xFF) | ((x & 0xFF) << 8) | (y << 16); }
ULONG Index(LONG x, LONG y) { return static_cast<ULONG>(x / 3 + y * 5); }
ULONG Bgra(LONG x, LONG y) {  // premultiplied: each colour at most its alpha
  ULONG a = static_cast<ULONG>((x * 8) & 0xFF);
  return (a << 24) | ((a * (y & 3) / 3) << 16) | ((a / 2) << 8) | (a / 4);
}
ULONG Keyed(LONG x, LONG y) { return ((x / 4 + y / 4) & 1) ? 0x00FF00 : 0x4080C0; }

void FillRect(FakeDevice& fake, const RECTL& r, ULONG colour, CLIPOBJ* clip = nullptr, ROP4 rop = 0xF0F0) {
  FakeBrush brush;
  MakeBrush(brush, colour);
  RECTL target = r;
  ASSERT_TRUE(DrvBitBlt(&fake.Surface, nullptr, nullptr, clip, nullptr, &target, nullptr, nullptr, &brush.Object,
                        nullptr, rop));
}

void Copy(FakeDevice& fake, FakeBitmap& bitmap, LONG x, LONG y, CLIPOBJ* clip = nullptr) {
  RECTL target = {x, y, x + bitmap.Object.sizlBitmap.cx, y + bitmap.Object.sizlBitmap.cy};
  POINTL source = {0, 0};
  ASSERT_TRUE(DrvBitBlt(&fake.Surface, &bitmap.Object, nullptr, clip, &bitmap.Xlate.Object, &target, &source,
                        nullptr, nullptr, nullptr, 0xCCCC));
}

std::string OutputFolder() {
  const char* folder = getenv("QUILL_PAGE_MODEL_OUT");
  return folder && *folder ? std::string(folder) + "\\" : std::string();
}

TEST(PagePatches, MergedIntoFewRectanglesThatCoverThemAll) {
  // Two that overlap and one that nearly touches them become one; a distant one stays.
  RECTL set[4] = {{0, 0, 10, 10}, {5, 5, 20, 20}, {21, 0, 30, 8}, {100, 100, 110, 110}};
  ASSERT_EQ(2u, MergePatchRectangles(set, 4, 24));
  RECTL expected[2] = {{0, 0, 30, 20}, {100, 100, 110, 110}};
  for (const RECTL& e : expected) {
    bool found = false;
    for (DWORD i = 0; i < 2; ++i)
      found |= set[i].left == e.left && set[i].top == e.top && set[i].right == e.right && set[i].bottom == e.bottom;
    EXPECT_TRUE(found) << e.left << "," << e.top;
  }
  // A grid of 100 far-apart squares merged to at most 5 rectangles that still cover every square.
  std::vector<RECTL> grid;
  for (LONG i = 0; i < 100; ++i) grid.push_back({(i % 10) * 50, (i / 10) * 50, (i % 10) * 50 + 8, (i / 10) * 50 + 8});
  std::vector<RECTL> merged = grid;
  DWORD count = MergePatchRectangles(merged.data(), 100, 5);
  EXPECT_LE(count, 5u);
  for (const RECTL& square : grid) {
    bool covered = false;
    for (DWORD i = 0; i < count; ++i)
      covered |= merged[i].left <= square.left && merged[i].top <= square.top && merged[i].right >= square.right &&
                 merged[i].bottom >= square.bottom;
    EXPECT_TRUE(covered) << square.left << "," << square.top;
  }
}

TEST(PagePatches, InkOutsideEveryCallIsPatchedAndNothingElse) {
  FakeDevice fake;
  StartDevice(fake, 300, 200, 150, false);
  StartPage(fake);
  FillRect(fake, {10, 10, 110, 60}, 0x3366CC);
  DrawUnhooked(fake, {150, 120, 180, 140}, 0x112233);  // outside every call: a patch of its own size
  PdfPagePixels pixels = {fake.Pixels.data(), fake.Surface.lDelta, 300, 200};
  RECTL patches[PageMaxPatches];
  ASSERT_EQ(1u, PageFindPatches(*fake.Device.Recording, pixels, patches, PageMaxPatches));
  EXPECT_EQ(150, patches[0].left);
  EXPECT_EQ(120, patches[0].top);
  EXPECT_EQ(180, patches[0].right);
  EXPECT_EQ(140, patches[0].bottom);
  ASSERT_TRUE(SendPage(fake));
  // A blank page: no content, no image.
  StartPage(fake);
  ASSERT_TRUE(SendPage(fake));
  ASSERT_TRUE(EndDocument(fake));
  std::vector<std::string> images = StreamsWith(fake.Written, "/Subtype /Image");
  ASSERT_EQ(1u, images.size());
  EXPECT_EQ(30u * 20 * 3, images[0].size());
  EXPECT_EQ(0x11, static_cast<BYTE>(images[0][0]));
  EXPECT_EQ(1u, Count(fake.Written, "/Contents "));
  EXPECT_NE(std::string::npos, Contents(fake.Written).find("10 10 100 50 re f"));
  FreeDevice(fake);
}

TEST(PageContent, SolidFillsAndClipsAreContentTheRestPatches) {
  FakeDevice fake;
  StartDevice(fake, 400, 300, 300, false);
  StartPage(fake);
  FillRect(fake, {0, 0, 50, 40}, 0xFF0000);  // red
  FakeClip one, three, many;
  MakeClip(one, {{20, 20, 200, 100}});
  MakeClip(three, {{0, 150, 40, 160}, {0, 160, 80, 170}, {0, 170, 40, 180}});
  std::vector<RECTL> bars;
  for (LONG i = 0; i < 300; ++i) bars.push_back({i, 200 + i % 7, i + 1, 260});
  MakeClip(many, bars);
  FillRect(fake, {10, 10, 300, 140}, 0x00FF00, &one.Object);
  FillRect(fake, {0, 140, 100, 190}, 0x0000FF, &three.Object);
  FillRect(fake, {0, 190, 300, 260}, 0x808080, &many.Object);  // too many rectangles: a patch
  FillRect(fake, {300, 0, 340, 40}, 0xFFFFFFFF);               // a pattern brush: a patch
  FillRect(fake, {300, 50, 340, 90}, 0x00FF00, nullptr, 0x5A5A);  // PATINVERT reads the page: a patch
  EXPECT_EQ(6, fake.TwinCalls) << "every call is drawn by its twin as well";
  const PageRecording& page = *fake.Device.Recording;
  std::string content(reinterpret_cast<const char*>(page.Content.Data), page.Content.Length);
  EXPECT_NE(std::string::npos, content.find("1 0 0 rg\n0 0 50 40 re f"));
  EXPECT_NE(std::string::npos, content.find("q\n20 20 180 80 re\nW n\n0 1 0 rg\n10 10 290 130 re f\nQ"));
  EXPECT_NE(std::string::npos, content.find("0 150 40 10 re\n0 160 80 10 re\n0 170 40 10 re\nW n\n0 0 1 rg"));
  EXPECT_EQ(std::string::npos, content.find("0.502 0.502 0.502 rg")) << "the complex clip's fill is a patch";
  EXPECT_GE(page.PatchCount, 2u);
  ASSERT_TRUE(SendPage(fake));
  ASSERT_TRUE(EndDocument(fake));
  // Three patches (the complex clip's fill, the pattern, PATINVERT), each its own image at most.
  std::vector<std::string> images = StreamsWith(fake.Written, "/Subtype /Image");
  EXPECT_GE(images.size(), 1u);
  EXPECT_LE(images.size(), 3u);
  FreeDevice(fake);
}

TEST(PageContent, PathsWithTheirPensAndFillModes) {
  FakeDevice fake;
  StartDevice(fake, 400, 300, 300, false);
  StartPage(fake);
  FakeBrush blue;
  MakeBrush(blue, 0x0000FF);
  // A Bézier closed into a winding fill, then the same path in alternate mode.
  FakePath curve;
  curve.Records = {{PD_BEGINSUBPATH, {{16 * 10, 16 * 10}, {16 * 20, 16 * 10}}},
                   {PD_BEZIERS | PD_ENDSUBPATH | PD_CLOSEFIGURE, {{16 * 30, 16 * 0}, {16 * 40, 16 * 40}, {16 * 20, 16 * 50}}}};
  ASSERT_TRUE(DrvFillPath(&fake.Surface, &curve.Object, nullptr, &blue.Object, nullptr, R2_COPYPEN, FP_WINDINGMODE));
  ASSERT_TRUE(DrvFillPath(&fake.Surface, &curve.Object, nullptr, &blue.Object, nullptr, R2_COPYPEN, FP_ALTERNATEMODE));
  // A cosmetic pen with a style of 2 on, 1 off (style units of dpi / 50 = 6 pixels).
  FLOAT_LONG style[2];
  style[0].l = 2;
  style[1].l = 1;
  LINEATTRS cosmetic = {};
  cosmetic.fl = LA_STYLED;
  cosmetic.elWidth.l = 1;
  cosmetic.cstyle = 2;
  cosmetic.pstyle = style;
  FakePath line;
  line.Records = {{PD_BEGINSUBPATH | PD_ENDSUBPATH, {{0, 16 * 100}, {16 * 300, 16 * 100}}}};
  ASSERT_TRUE(DrvStrokePath(&fake.Surface, &line.Object, nullptr, nullptr, &blue.Object, nullptr, &cosmetic,
                            R2_COPYPEN | (R2_NOP << 8)));
  // A geometric pen 3 units wide, round caps, bevel joins, under a transform that doubles x.
  LINEATTRS geometric = {};
  geometric.fl = LA_GEOMETRIC;
  geometric.elWidth.e = 3;
  geometric.iEndCap = ENDCAP_ROUND;
  geometric.iJoin = JOIN_BEVEL;
  geometric.eMiterLimit = 4;
  float doubled[4] = {2, 0, 0, 1};
  ASSERT_TRUE(DrvStrokePath(&fake.Surface, &line.Object, nullptr, reinterpret_cast<XFORMOBJ*>(doubled),
                            &blue.Object, nullptr, &geometric, R2_COPYPEN));
  // A line; and a path whose Béziers lack a point, which PDF cannot say: a patch.
  ASSERT_TRUE(DrvLineTo(&fake.Surface, nullptr, &blue.Object, 5, 200, 105, 250, nullptr, R2_COPYPEN));
  FakePath broken;
  broken.Records = {{PD_BEGINSUBPATH | PD_BEZIERS | PD_ENDSUBPATH, {{0, 0}, {16 * 5, 16 * 5}, {16 * 9, 16 * 2}}}};
  ASSERT_TRUE(DrvFillPath(&fake.Surface, &broken.Object, nullptr, &blue.Object, nullptr, R2_COPYPEN, 0));
  // XOR reads the page: a patch.
  ASSERT_TRUE(DrvFillPath(&fake.Surface, &curve.Object, nullptr, &blue.Object, nullptr, R2_XORPEN, 0));
  EXPECT_EQ(7, fake.TwinCalls);

  const PageRecording& page = *fake.Device.Recording;
  std::string content(reinterpret_cast<const char*>(page.Content.Data), page.Content.Length);
  EXPECT_NE(std::string::npos, content.find("10.5 10.5 m\n20.5 10.5 l\n30.5 0.5 40.5 40.5 20.5 50.5 c\nh\nf\n"));
  EXPECT_NE(std::string::npos, content.find("h\nf*\n"));
  EXPECT_NE(std::string::npos, content.find("1 w 0 J 0 j 10 M [12 6 ] 0 d"));
  EXPECT_NE(std::string::npos, content.find("3 w 1 J 2 j [] 0 d"));
  EXPECT_NE(std::string::npos, content.find("2 0 0 1 0 0 cm\n0.25 100.5 m\n150.25 100.5 l\nS"));
  EXPECT_NE(std::string::npos, content.find("5.5 200.5 m 105.5 250.5 l S"));
  EXPECT_EQ(2u, Count(content, "f\n") + Count(content, "f*\n") - Count(content, "re f\n"));
  EXPECT_EQ(1u, page.PatchCount) << "the broken path and the XOR fill, side by side, are one patch";
  ASSERT_TRUE(SendPage(fake));
  ASSERT_TRUE(EndDocument(fake));
  FreeDevice(fake);
}

TEST(PageContent, StylesFromTheirGapAndStateAndSquareDots) {
  FakeDevice fake;
  StartDevice(fake, 400, 300, 150, false);  // style units of 3 pixels
  StartPage(fake);
  FakeBrush blue;
  MakeBrush(blue, 0x0000FF);
  FakePath line;
  line.Records = {{PD_BEGINSUBPATH | PD_ENDSUBPATH, {{0, 16 * 100}, {16 * 300, 16 * 100}}}};
  // A cosmetic style that starts with its gap (4 off, 2 on), one style unit and 2 pixels into it.
  FLOAT_LONG gapFirst[2];
  gapFirst[0].l = 4;
  gapFirst[1].l = 2;
  LINEATTRS cosmetic = {};
  cosmetic.fl = LA_STYLED | LA_STARTGAP;
  cosmetic.elWidth.l = 1;
  cosmetic.cstyle = 2;
  cosmetic.pstyle = gapFirst;
  cosmetic.elStyleState.l = (1 << 16) | 2;
  ASSERT_TRUE(DrvStrokePath(&fake.Surface, &line.Object, nullptr, nullptr, &blue.Object, nullptr, &cosmetic,
                            R2_COPYPEN | (R2_NOP << 8)));
  // A dash-dot under square caps: the dot, a dash of length 0, said a thousandth of the width long.
  FLOAT_LONG dashDot[4];
  dashDot[0].e = 4;
  dashDot[1].e = 4;
  dashDot[2].e = 0;
  dashDot[3].e = 4;
  LINEATTRS square = {};
  square.fl = LA_GEOMETRIC | LA_STYLED;
  square.elWidth.e = 2;
  square.iEndCap = ENDCAP_SQUARE;
  square.iJoin = JOIN_MITER;
  square.eMiterLimit = 4;
  square.cstyle = 4;
  square.pstyle = dashDot;
  ASSERT_TRUE(DrvStrokePath(&fake.Surface, &line.Object, nullptr, nullptr, &blue.Object, nullptr, &square, R2_COPYPEN));
  const PageRecording& page = *fake.Device.Recording;
  std::string content(reinterpret_cast<const char*>(page.Content.Data), page.Content.Length);
  // 12 off, 6 on as [6 12] from its gap (phase 18 - 12), then 3 + 2 pixels further into it.
  EXPECT_NE(std::string::npos, content.find("[6 12 ] 11 d")) << content;
  EXPECT_NE(std::string::npos, content.find("2 w 2 J 4 M [4 4 0.002 3.998 ] 0 d")) << content;
  EXPECT_EQ(0u, page.PatchCount);
  FreeDevice(fake);
}

TEST(PageImages, EveryBitmapFormatThroughItsXlateOnceADocument) {
  const ULONG formats[] = {BMF_1BPP, BMF_4BPP, BMF_8BPP, BMF_16BPP, BMF_24BPP, BMF_32BPP};
  for (bool grey : {false, true}) {
    FakeDevice fake;
    StartDevice(fake, 600, 400, 150, grey);
    std::vector<FakeBitmap> bitmaps(6);
    for (int i = 0; i < 6; ++i) MakeBitmap(bitmaps[i], formats[i], 37 + i, 23, i < 3 ? Index : Gradient);
    // Every bitmap on each of two pages, and the first once more on the second: six images.
    for (int pageNumber = 0; pageNumber < 2; ++pageNumber) {
      StartPage(fake);
      for (int i = 0; i < 6; ++i) Copy(fake, bitmaps[i], 10 + 60 * i, 10 + 40 * pageNumber);
      if (pageNumber == 1) Copy(fake, bitmaps[0], 10, 300);
      EXPECT_EQ(0u, fake.Device.Recording->PatchCount);
      ASSERT_TRUE(SendPage(fake));
    }
    ASSERT_TRUE(EndDocument(fake));
    std::vector<std::string> images = StreamsWith(fake.Written, "/Subtype /Image");
    ASSERT_EQ(6u, images.size()) << (grey ? "grey" : "colour");
    EXPECT_EQ(grey ? 0u : 6u, Count(fake.Written, "/DeviceRGB"));
    EXPECT_EQ(grey ? 6u : 0u, Count(fake.Written, "/DeviceGray"));
    for (int i = 0; i < 6; ++i) {
      const FakeBitmap& bitmap = bitmaps[i];
      LONG width = bitmap.Object.sizlBitmap.cx;
      ASSERT_EQ(static_cast<size_t>(width) * 23 * (grey ? 1 : 3), images[i].size()) << i;
      // Each sample is the colour the engine draws for the pixel (the image written is the first
      // drawn, so images come in the bitmaps' order).
      for (LONG y = 0; y < 23; y += 5)
        for (LONG x = 0; x < width; x += 3) {
          ULONG colour = PagePixel(fake, 10 + 60 * i + x, 10 + 40 + y);
          BYTE r = static_cast<BYTE>(colour >> 16), g = static_cast<BYTE>(colour >> 8), b = static_cast<BYTE>(colour);
          size_t at = (static_cast<size_t>(y) * width + x) * (grey ? 1 : 3);
          if (grey) {
            EXPECT_EQ((r * 77 + g * 150 + b * 29 + 128) >> 8, static_cast<BYTE>(images[i][at])) << i;
          } else {
            EXPECT_EQ(r, static_cast<BYTE>(images[i][at])) << "format " << formats[i] << " at " << x << "," << y;
            EXPECT_EQ(g, static_cast<BYTE>(images[i][at + 1])) << i;
            EXPECT_EQ(b, static_cast<BYTE>(images[i][at + 2])) << i;
          }
        }
    }
    std::string content = Contents(fake.Written);
    EXPECT_EQ(13u, Count(content, " Do\n"));
    EXPECT_EQ(0u, Count(content, " rg\n")) << "images set no colour";
    FreeDevice(fake);
  }
}

TEST(PageImages, AlphaBlendsAndColourKeysCarryAnSMask) {
  FakeDevice fake;
  StartDevice(fake, 300, 200, 150, false);
  StartPage(fake);
  FillRect(fake, {0, 0, 300, 200}, 0xFFCC00);
  FakeBitmap bgra, keyed;
  MakeBitmap(bgra, BMF_32BPP, 32, 16, Bgra);
  MakeBitmap(keyed, BMF_24BPP, 24, 16, Keyed);
  RECTL source = {0, 0, 32, 16}, target = {10, 10, 42, 26};
  BLENDOBJ perPixel = {{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}};
  ASSERT_TRUE(DrvAlphaBlend(&fake.Surface, &bgra.Object, nullptr, &bgra.Xlate.Object, &target, &source, &perPixel));
  RECTL target2 = {50, 10, 82, 26};
  BLENDOBJ constant = {{AC_SRC_OVER, 0, 128, 0}};
  ASSERT_TRUE(DrvAlphaBlend(&fake.Surface, &bgra.Object, nullptr, &bgra.Xlate.Object, &target2, &source, &constant));
  RECTL keySource = {0, 0, 24, 16}, keyTarget = {100, 10, 124, 26};
  ASSERT_TRUE(DrvTransparentBlt(&fake.Surface, &keyed.Object, nullptr, &keyed.Xlate.Object, &keyTarget, &keySource,
                                0x00FF00, 0));
  EXPECT_EQ(0u, fake.Device.Recording->PatchCount);
  ASSERT_TRUE(SendPage(fake));
  ASSERT_TRUE(EndDocument(fake));
  EXPECT_NE(std::string::npos, fake.Written.find("/ExtGState /ca 0.502 /CA 0.502"));
  // The per-pixel image's mask holds its alphas; the keyed image's is 0 on the key, 255 elsewhere.
  std::vector<std::string> masks = StreamsWith(fake.Written, "/ColorSpace /DeviceGray");
  ASSERT_EQ(2u, masks.size());
  // The per-pixel image and its mask, the constant-alpha image (no mask), the keyed image and its mask.
  EXPECT_EQ(5u, StreamsWith(fake.Written, "/Subtype /Image").size());
  for (LONG x = 0; x < 32; ++x) EXPECT_EQ(static_cast<BYTE>((x * 8) & 0xFF), static_cast<BYTE>(masks[0][x]));
  for (LONG x = 0; x < 24; ++x) EXPECT_EQ(Keyed(x, 0) == 0x00FF00 ? 0 : 255, static_cast<BYTE>(masks[1][x])) << x;
  // Under the mask a key pixel beside another colour takes that colour; one amid the key keeps it.
  std::vector<std::string> pictures = StreamsWith(fake.Written, "/ColorSpace /DeviceRGB");
  ASSERT_EQ(3u, pictures.size());
  ASSERT_EQ(24u * 16 * 3, pictures[2].size());
  EXPECT_EQ(std::string("\x40\x80\xC0"), pictures[2].substr(4 * 3, 3));                 // (4, 0)
  EXPECT_EQ(std::string("\x00\xFF\x00", 3), pictures[2].substr((24 + 5) * 3, 3));  // (5, 1)
  EXPECT_EQ(2u, Count(fake.Written, "/SMask "));
  FreeDevice(fake);
}

TEST(PageContent, GradientsAreShadings) {
  FakeDevice fake;
  StartDevice(fake, 300, 200, 150, true);
  StartPage(fake);
  TRIVERTEX vertices[3] = {{10, 10, 0xFF00, 0, 0, 0}, {110, 60, 0, 0, 0xFF00, 0}, {10, 110, 0, 0xFF00, 0, 0}};
  GRADIENT_RECT rectangle = {0, 1};
  ASSERT_TRUE(DrvGradientFill(&fake.Surface, nullptr, nullptr, vertices, 3, &rectangle, 1, nullptr, nullptr,
                              GRADIENT_FILL_RECT_H));
  GRADIENT_TRIANGLE triangle = {0, 1, 2};
  ASSERT_TRUE(DrvGradientFill(&fake.Surface, nullptr, nullptr, vertices, 3, &triangle, 1, nullptr, nullptr,
                              GRADIENT_FILL_TRIANGLE));
  GRADIENT_TRIANGLE outside = {0, 1, 7};  // a vertex that is not there: a patch, nothing read
  ASSERT_TRUE(DrvGradientFill(&fake.Surface, nullptr, nullptr, vertices, 3, &outside, 1, nullptr, nullptr,
                              GRADIENT_FILL_TRIANGLE));
  EXPECT_EQ(1u, fake.Device.Recording->PatchCount);
  ASSERT_TRUE(SendPage(fake));
  ASSERT_TRUE(EndDocument(fake));
  EXPECT_NE(std::string::npos, fake.Written.find("/ShadingType 2 /ColorSpace /DeviceGray /Coords [10 10 110 10]"));
  // Red and blue said as their greys, 77 and 29 of 255.
  EXPECT_NE(std::string::npos, fake.Written.find("/C0 [0.302] /C1 [0.1137]"));
  std::vector<std::string> meshes = StreamsWith(fake.Written, "/ShadingType 4");
  ASSERT_EQ(1u, meshes.size());
  ASSERT_EQ(3u * 10, meshes[0].size()) << "three vertices: flag, x, y, grey";
  EXPECT_EQ(0x0A, static_cast<BYTE>(meshes[0][2]));  // x 10.5 in 16.16: 00 0A 80 00
  EXPECT_EQ(0x80, static_cast<BYTE>(meshes[0][3]));
  EXPECT_EQ(std::string::npos, fake.Written.find("/DeviceRGB"));
  FreeDevice(fake);
}

// Pages for the shell test: what the tools render must be what the engine drew.
TEST(PageDocuments, WrittenForTheTools) {
  for (bool grey : {false, true}) {
    FakeDevice fake;
    StartDevice(fake, 600, 400, 150, grey);
    StartPage(fake);
    FillRect(fake, {40, 40, 560, 360}, 0xE8F0FF);
    FakeClip clip;
    MakeClip(clip, {{60, 60, 300, 120}, {60, 120, 200, 200}});
    FillRect(fake, {0, 0, 600, 400}, 0xC03020, &clip.Object);
    FakeBitmap photo, logo, bgra;
    MakeBitmap(photo, BMF_24BPP, 160, 100, Gradient);
    MakeBitmap(logo, BMF_8BPP, 60, 40, Index);
    MakeBitmap(bgra, BMF_32BPP, 64, 32, Bgra);
    Copy(fake, photo, 350, 60);
    Copy(fake, logo, 350, 200);
    RECTL source = {0, 0, 64, 32}, target = {100, 260, 164, 292};
    BLENDOBJ blend = {{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}};
    ASSERT_TRUE(DrvAlphaBlend(&fake.Surface, &bgra.Object, nullptr, &bgra.Xlate.Object, &target, &source, &blend));
    FillRect(fake, {450, 300, 530, 340}, 0xFFFFFFFF);  // a pattern: a patch
    DrawUnhooked(fake, {10, 365, 40, 395}, 0x204020);  // drawn by no call, outside all: a patch
    STROBJ text = {};
    text.rclBkGround = {200, 230, 330, 250};
    ASSERT_TRUE(DrvTextOut(&fake.Surface, &text, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           R2_COPYPEN));
    std::string name = OutputFolder() + (grey ? "page-model-grey" : "page-model-colour");
    ASSERT_TRUE(SavePage(fake, name + ".ppm"));
    ASSERT_TRUE(SendPage(fake));
    ASSERT_TRUE(EndDocument(fake));
    ASSERT_TRUE(SaveDocument(fake, name + ".pdf"));
    FreeDevice(fake);
  }
}

}  // namespace
