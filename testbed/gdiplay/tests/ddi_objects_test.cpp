// The engine objects gdiplay hands a driver, called through their exported functions as a driver
// calls them: PATHOBJ runs, CLIPOBJ enumeration in every direction and buffer size, XFORMOBJ,
// XLATEOBJ, BRUSHOBJ, LINEATTRS, and FONTOBJ answers for a TrueType face and a face of a collection.
#include <gtest/gtest.h>
#include <windows.h>
#include <winddi.h>

#include <string.h>

#include <vector>

#include "ddi_objects.h"
#include "text_objects.h"

namespace {

// A DC with a 100 x 100 DIB section selected, freed with the test.
struct PageDc {
  HDC Dc;
  HBITMAP Bitmap;
  HGDIOBJ Old;
  PageDc() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 100;
    info.bmiHeader.biHeight = -100;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    Bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    Dc = CreateCompatibleDC(nullptr);
    Old = SelectObject(Dc, Bitmap);
  }
  ~PageDc() {
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    DeleteObject(Bitmap);
  }
};

POINTFIX Fix(LONG x, LONG y) { return {x * 16, y * 16}; }

std::vector<PATHDATA> Runs(PATHOBJ* path) {
  std::vector<PATHDATA> runs;
  PATHOBJ_vEnumStart(path);
  BOOL more = TRUE;
  while (more) {
    PATHDATA data = {};
    more = PATHOBJ_bEnum(path, &data);
    if (data.count) runs.push_back(data);
  }
  return runs;
}

std::vector<RECTL> Enumerate(CLIPOBJ* clip, BOOL all, ULONG direction, ULONG room, int* calls) {
  std::vector<RECTL> rects;
  CLIPOBJ_cEnumStart(clip, all, CT_RECTANGLES, direction, 0);
  std::vector<BYTE> buffer(sizeof(ULONG) + room * sizeof(RECTL));
  ENUMRECTS* out = reinterpret_cast<ENUMRECTS*>(buffer.data());
  BOOL more = TRUE;
  *calls = 0;
  while (more && *calls < 100) {
    more = CLIPOBJ_bEnum(clip, static_cast<ULONG>(buffer.size()), reinterpret_cast<ULONG*>(buffer.data()));
    ++*calls;
    EXPECT_LE(out->c, room);
    for (ULONG i = 0; i < out->c; ++i) rects.push_back(out->arcl[i]);
  }
  return rects;
}

TEST(PathObject, RunsOfLinesBeziersAndFiguresWithTheirFlags) {
  // A line, a bézier, a closing line; a line after the closed figure (it starts where the figure
  // started); a lone move-to (dropped); a last open line.
  POINTFIX points[] = {Fix(0, 0),  Fix(10, 0),  Fix(20, 5), Fix(20, 15), Fix(10, 20), Fix(0, 20),
                       Fix(30, 30), Fix(50, 50), Fix(60, 60), Fix(70, 70)};
  BYTE types[] = {PT_MOVETO,   PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO, PT_LINETO | PT_CLOSEFIGURE,
                  PT_LINETO,   PT_MOVETO, PT_MOVETO,   PT_LINETO};
  HostPath path;
  ASSERT_TRUE(BuildPath(points, types, 10, path));
  std::vector<PATHDATA> runs = Runs(&path.Object);
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_EQ(runs[0].flags, static_cast<FLONG>(PD_BEGINSUBPATH));
  EXPECT_EQ(runs[0].count, 2u);
  EXPECT_EQ(runs[1].flags, static_cast<FLONG>(PD_BEZIERS));
  EXPECT_EQ(runs[1].count, 3u);
  EXPECT_EQ(runs[1].pptfx[2].x, 10 * 16);
  EXPECT_EQ(runs[2].flags, static_cast<FLONG>(PD_ENDSUBPATH | PD_CLOSEFIGURE));
  EXPECT_EQ(runs[3].flags, static_cast<FLONG>(PD_BEGINSUBPATH | PD_ENDSUBPATH));
  EXPECT_EQ(runs[3].pptfx[0].x, 0);  // the closed figure's start
  EXPECT_EQ(runs[3].pptfx[1].x, 30 * 16);
  EXPECT_EQ(runs[4].pptfx[0].x, 60 * 16);
  EXPECT_EQ(path.Object.cCurves, 5u);
  EXPECT_TRUE(path.Object.fl & PO_BEZIERS);
  RECTFX bounds;
  PATHOBJ_vGetBounds(&path.Object, &bounds);
  EXPECT_EQ(bounds.xLeft, 0);
  EXPECT_EQ(bounds.yBottom, 70 * 16);
  // Enumerating again starts over; past the end there is nothing.
  EXPECT_EQ(Runs(&path.Object).size(), 5u);
  PATHDATA after = {};
  EXPECT_FALSE(PATHOBJ_bEnum(&path.Object, &after));
  EXPECT_EQ(after.count, 0u);
  HostPath lone;
  EXPECT_FALSE(BuildPath(points, types, 1, lone));
}

TEST(ClipObject, ComplexityDirectionsAndSmallBuffers) {
  PageDc page;
  SIZEL size = {100, 100};
  HostClip clip;
  ASSERT_TRUE(BuildClip(page.Dc, size, {10, 10, 20, 20}, clip));
  EXPECT_EQ(clip.Object.iDComplexity, DC_TRIVIAL);
  ExcludeClipRect(page.Dc, 40, 40, 60, 60);
  ASSERT_TRUE(BuildClip(page.Dc, size, {0, 0, 100, 100}, clip));
  EXPECT_EQ(clip.Object.iDComplexity, DC_COMPLEX);
  int calls = 0;
  std::vector<RECTL> down = Enumerate(&clip.Object, TRUE, CD_RIGHTDOWN, 1, &calls);
  ASSERT_EQ(down.size(), 4u);
  EXPECT_EQ(calls, 4);
  LONG area = 0;
  for (const RECTL& r : down) area += (r.right - r.left) * (r.bottom - r.top);
  EXPECT_EQ(area, 100 * 100 - 20 * 20);
  std::vector<RECTL> up = Enumerate(&clip.Object, TRUE, CD_LEFTUP, 3, &calls);
  ASSERT_EQ(up.size(), 4u);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(up[0].top, 60);  // the lowest band first
  for (size_t i = 1; i < up.size(); ++i) EXPECT_GE(up[i - 1].top, up[i].top);
  // Only what touches the call's bounds, cut to them, unless all are asked for.
  ASSERT_TRUE(BuildClip(page.Dc, size, {0, 0, 30, 30}, clip));
  std::vector<RECTL> touching = Enumerate(&clip.Object, FALSE, CD_ANY, 8, &calls);
  ASSERT_EQ(touching.size(), 1u);
  EXPECT_EQ(touching[0].right, 30);
  EXPECT_EQ(Enumerate(&clip.Object, TRUE, CD_ANY, 8, &calls).size(), 4u);
  // Inside the hole nothing is visible; one rectangle is DC_RECT.
  EXPECT_FALSE(BuildClip(page.Dc, size, {45, 45, 55, 55}, clip));
  SelectClipRgn(page.Dc, nullptr);
  IntersectClipRect(page.Dc, 5, 6, 50, 70);
  ASSERT_TRUE(BuildClip(page.Dc, size, {0, 0, 100, 100}, clip));
  EXPECT_EQ(clip.Object.iDComplexity, DC_RECT);
  EXPECT_EQ(clip.Object.rclBounds.left, 5);
  EXPECT_EQ(clip.Object.rclBounds.bottom, 70);
}

TEST(PaintObjects, TransformColoursBrushesAndPens) {
  PageDc page;
  SetGraphicsMode(page.Dc, GM_ADVANCED);
  XFORM world = {2, 0, 0, 2, 5, 7};
  SetWorldTransform(page.Dc, &world);
  HostXform xform;
  XformOfDc(page.Dc, xform);
  XFORML got;
  EXPECT_EQ(XFORMOBJ_iGetXform(&xform.Object, &got), static_cast<ULONG>(GX_SCALE));
  POINTL in = {10, 20}, out, back;
  ASSERT_TRUE(XFORMOBJ_bApplyXform(&xform.Object, XF_LTOL, 1, &in, &out));
  EXPECT_EQ(out.x, 25);
  EXPECT_EQ(out.y, 47);
  ASSERT_TRUE(XFORMOBJ_bApplyXform(&xform.Object, XF_INV_LTOL, 1, &out, &back));
  EXPECT_EQ(back.x, 10);
  EXPECT_EQ(back.y, 20);
  ASSERT_TRUE(XFORMOBJ_bApplyXform(&xform.Object, XF_LTOFX, 1, &in, &out));
  EXPECT_EQ(out.x, 25 * 16);

  RGBQUAD colours[2] = {{1, 2, 3, 0}, {0x30, 0x20, 0x10, 0}};
  HostXlate xlate;
  BuildXlate(colours, 2, xlate);
  EXPECT_EQ(XLATEOBJ_iXlate(&xlate.Object, 1), 0x102030u);
  ULONG palette[4] = {};
  EXPECT_EQ(XLATEOBJ_cGetPalette(&xlate.Object, XO_SRCPALETTE, 4, palette), 2u);
  EXPECT_EQ(palette[0], 0x030201u);
  BuildXlate(nullptr, 0, xlate);
  EXPECT_EQ(XLATEOBJ_iXlate(&xlate.Object, 0x123456), 0x123456u);

  HostBrush brush;
  SolidBrush(RGB(1, 2, 3), brush);
  EXPECT_EQ(brush.Object.iSolidColor, 0x010203u);
  EXPECT_EQ(BRUSHOBJ_ulGetBrushColor(&brush.Object), static_cast<ULONG>(RGB(1, 2, 3)));
  HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(9, 8, 7));
  HGDIOBJ oldBrush = SelectObject(page.Dc, hatch);
  BrushOfDc(page.Dc, false, brush);
  EXPECT_EQ(brush.Object.iSolidColor, 0xFFFFFFFFu);
  EXPECT_EQ(brush.Colour, RGB(9, 8, 7));
  EXPECT_EQ(BRUSHOBJ_pvGetRbrush(&brush.Object), nullptr);  // no driver to realize it
  SelectObject(page.Dc, oldBrush);
  DeleteObject(hatch);

  LOGBRUSH solid = {BS_SOLID, RGB(0, 0, 0), 0};
  HPEN wide = ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT | PS_JOIN_MITER, 8, &solid, 0, nullptr);
  HGDIOBJ oldPen = SelectObject(page.Dc, wide);
  HostLine line;
  LineOfDc(page.Dc, xform, line);
  EXPECT_EQ(line.Attrs.fl, static_cast<FLONG>(LA_GEOMETRIC | LA_STYLED));
  EXPECT_EQ(line.Attrs.iJoin, static_cast<ULONG>(JOIN_MITER));
  EXPECT_EQ(line.Attrs.iEndCap, static_cast<ULONG>(ENDCAP_BUTT));
  EXPECT_FLOAT_EQ(line.Attrs.elWidth.e, 8);
  ASSERT_EQ(line.Attrs.cstyle, 2u);
  EXPECT_FLOAT_EQ(line.Attrs.pstyle[0].e, 24);
  EXPECT_DOUBLE_EQ(line.DeviceWidth, 16);
  HPEN dotted = CreatePen(PS_DOT, 0, RGB(0, 0, 0));
  SelectObject(page.Dc, dotted);
  LineOfDc(page.Dc, xform, line);
  EXPECT_EQ(line.Attrs.fl, static_cast<FLONG>(LA_STYLED));
  EXPECT_EQ(line.Attrs.elWidth.l, 1);
  ASSERT_EQ(line.Attrs.cstyle, 2u);
  EXPECT_EQ(line.Attrs.pstyle[1].l, 3);
  SelectObject(page.Dc, GetStockObject(NULL_PEN));
  LineOfDc(page.Dc, xform, line);
  EXPECT_TRUE(line.Null);
  SelectObject(page.Dc, oldPen);
  DeleteObject(wide);
  DeleteObject(dotted);
}

// Styles in the lengths Wine's GDI draws them, under a transform that doubles everything.
TEST(PaintObjects, StylesAsWineDrawsThem) {
  PageDc page;
  SetGraphicsMode(page.Dc, GM_ADVANCED);
  XFORM world = {2, 0, 0, 2, 0, 0};
  SetWorldTransform(page.Dc, &world);
  HostXform xform;
  XformOfDc(page.Dc, xform);
  LOGBRUSH solid = {BS_SOLID, RGB(0, 0, 0), 0};
  // A dash-dot 16 pixels wide with square caps: 3, 1, 1, 1 widths, each dash a width shorter for
  // its caps and each gap a width longer; the dot is all cap.
  HPEN dashDot = ExtCreatePen(PS_GEOMETRIC | PS_DASHDOT | PS_ENDCAP_SQUARE, 8, &solid, 0, nullptr);
  DWORD entries[] = {60, 20};  // Wine draws them in device pixels: 30 and 10 world units
  HPEN user = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT, 8, &solid, 2, entries);
  HPEN wide = CreatePen(PS_DASH, 3, RGB(0, 0, 0));  // 6 pixels: Wine draws it solid
  HostLine line;
  HGDIOBJ old = SelectObject(page.Dc, dashDot);
  LineOfDc(page.Dc, xform, line);
  ASSERT_EQ(line.Attrs.cstyle, 4u);
  const float dashDotUnits[4] = {16, 16, 0, 16};
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(line.Attrs.pstyle[i].e, dashDotUnits[i]) << i;
  SelectObject(page.Dc, user);
  LineOfDc(page.Dc, xform, line);
  ASSERT_EQ(line.Attrs.cstyle, 2u);
  EXPECT_FLOAT_EQ(line.Attrs.pstyle[0].e, 30);
  EXPECT_FLOAT_EQ(line.Attrs.pstyle[1].e, 10);
  SelectObject(page.Dc, wide);
  LineOfDc(page.Dc, xform, line);
  EXPECT_EQ(line.Attrs.fl, static_cast<FLONG>(LA_GEOMETRIC));
  EXPECT_EQ(line.Attrs.cstyle, 0u);
  SelectObject(page.Dc, old);
  DeleteObject(dashDot);
  DeleteObject(user);
  DeleteObject(wide);
}

// The font of a DC as FONTOBJ_ answers it, beside what Wine's GDI says of the same font.
TEST(FontObject, FileTablesGlyphsAndCollections) {
  PageDc page;
  HFONT sans = CreateFontW(-100, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"DejaVu Sans");
  HGDIOBJ old = SelectObject(page.Dc, sans);
  HostFont* font = FontOfDc(page.Dc);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(FontOfDc(page.Dc), font);  // one FONTOBJ for the same font and transform
  FONTOBJ* fo = &font->Object;
  EXPECT_EQ(fo->flFontType & (FO_TYPE_TRUETYPE | FO_SIM_BOLD | FO_SIM_ITALIC), static_cast<FLONG>(FO_TYPE_TRUETYPE));
  ULONG size = 0;
  const BYTE* file = static_cast<const BYTE*>(FONTOBJ_pvTrueTypeFontFile(fo, &size));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(size, GetFontData(page.Dc, 0, 0, nullptr, 0));
  EXPECT_EQ(file[0] << 24 | file[1] << 16 | file[2] << 8 | file[3], 0x00010000);
  ULONG headSize = 0;
  const BYTE* head = FONTOBJ_pjOpenTypeTablePointer(fo, 0x64616568 /* 'head' as GetFontData takes it */, &headSize);
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(headSize, 54u);
  EXPECT_EQ(head[12] << 24 | head[13] << 16 | head[14] << 8 | head[15], 0x5F0F3CF5);  // head's magic number
  IFIMETRICS* ifi = FONTOBJ_pifi(fo);
  ASSERT_NE(ifi, nullptr);
  EXPECT_EQ(ifi->fwdUnitsPerEm, (head[18] << 8) | head[19]);
  EXPECT_STREQ(reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(ifi) + ifi->dpwszFamilyName), L"DejaVu Sans");
  // The glyph of 'H': its bitmap rows padded to bytes, its outline inside its black box.
  WORD index = 0;
  ASSERT_EQ(GetGlyphIndicesW(page.Dc, L"H", 1, &index, 0), 1u);
  HGLYPH glyph = index;
  GLYPHMETRICS metrics;
  MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  ASSERT_NE(GetGlyphOutlineW(page.Dc, index, GGO_BITMAP | GGO_GLYPH_INDEX, &metrics, 0, nullptr, &identity), GDI_ERROR);
  GLYPHDATA* data = nullptr;
  ASSERT_EQ(FONTOBJ_cGetGlyphs(fo, FO_GLYPHBITS, 1, &glyph, reinterpret_cast<PVOID*>(&data)), 1u);
  EXPECT_EQ(data->gdf.pgb->sizlBitmap.cx, static_cast<LONG>(metrics.gmBlackBoxX));
  EXPECT_EQ(data->gdf.pgb->ptlOrigin.y, -metrics.gmptGlyphOrigin.y);
  EXPECT_EQ(data->fxD, metrics.gmCellIncX * 16);
  int row = (data->gdf.pgb->sizlBitmap.cx + 7) / 8;
  EXPECT_EQ(data->gdf.pgb->aj[0] & 0x80, 0x80);  // the H's left stem reaches the box's top-left pixel
  EXPECT_NE(data->gdf.pgb->aj[row - 1], 0);      // and its right stem the top row's last byte
  ASSERT_EQ(FONTOBJ_cGetGlyphs(fo, FO_PATHOBJ, 1, &glyph, reinterpret_cast<PVOID*>(&data)), 1u);
  std::vector<PATHDATA> runs = Runs(data->gdf.ppo);
  ASSERT_FALSE(runs.empty());
  EXPECT_TRUE(runs.back().flags & PD_CLOSEFIGURE);
  RECTFX box;
  PATHOBJ_vGetBounds(data->gdf.ppo, &box);
  EXPECT_NEAR(box.xLeft / 16.0, metrics.gmptGlyphOrigin.x, 1.0);
  EXPECT_NEAR(box.yTop / 16.0, -metrics.gmptGlyphOrigin.y, 1.0);
  EXPECT_NEAR((box.xRight - box.xLeft) / 16.0, metrics.gmBlackBoxX, 1.5);

  // A face of a collection: the whole collection as the file, the face's own tables.
  HFONT cjk = CreateFontW(-100, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Noto Sans CJK SC");
  SelectObject(page.Dc, cjk);
  HostFont* collectionFace = FontOfDc(page.Dc);
  ASSERT_NE(collectionFace, nullptr);
  EXPECT_NE(collectionFace->Object.iTTUniq, fo->iTTUniq);
  file = static_cast<const BYTE*>(FONTOBJ_pvTrueTypeFontFile(&collectionFace->Object, &size));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(memcmp(file, "ttcf", 4), 0);
  EXPECT_GE(file[8] << 24 | file[9] << 16 | file[10] << 8 | file[11], 2);  // the collection's face count
  EXPECT_NE(FONTOBJ_pjOpenTypeTablePointer(&collectionFace->Object, 0x20464643 /* 'CFF ' */, &size), nullptr);
  EXPECT_TRUE(collectionFace->Object.flFontType & FO_CFF);
  SelectObject(page.Dc, old);
  DeleteObject(sans);
  DeleteObject(cjk);
  ReleaseFonts(nullptr);
}

}  // namespace
