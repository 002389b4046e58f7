#include "text_test_engine.h"

#include <math.h>
#include <string.h>

#include "char_map.h"

namespace {

TestFont* FontOf(FONTOBJ* object) { return reinterpret_cast<TestFont*>(object); }
TestString* StringOf(STROBJ* object) { return reinterpret_cast<TestString*>(object); }

// The transform object is the font itself: XFORMOBJ_iGetXform reads the font's numbers.
XFORMOBJ* APIENTRY GetXform(FONTOBJ* object) { return reinterpret_cast<XFORMOBJ*>(object); }

ULONG APIENTRY GetXformNumbers(XFORMOBJ* transform, XFORML* values) {
  TestFont* font = reinterpret_cast<TestFont*>(transform);
  double scale = font->EmPixels / font->Metrics.UnitsPerEm, angle = font->Angle * 3.14159265358979 / 180;
  // Notional x along the baseline, y up; device y down.
  values->eM11 = FLOATL(scale * cos(angle));
  values->eM12 = FLOATL(-scale * sin(angle));
  values->eM21 = FLOATL(-scale * sin(angle));
  values->eM22 = FLOATL(-scale * cos(angle));
  if (font->NotionalDown) {
    values->eM21 = -values->eM21;
    values->eM22 = -values->eM22;
  }
  values->eDx = values->eDy = 0;
  return GX_GENERAL;
}

PBYTE APIENTRY TablePointer(FONTOBJ* object, ULONG tag, ULONG* size) {
  TestFont* font = FontOf(object);
  if (!font->TablePointer) return nullptr;
  uint32_t fileOrder = ((tag & 0xFF) << 24) | ((tag & 0xFF00) << 8) | ((tag >> 8) & 0xFF00) | (tag >> 24);
  FontBytes table;
  if (!FindFontTable(font->Face, fileOrder, table)) return nullptr;
  *size = ULONG(table.Size);
  return const_cast<PBYTE>(table.Data);
}

PVOID APIENTRY WholeFile(FONTOBJ* object, ULONG* size) {
  TestFont* font = FontOf(object);
  if (!font->WholeFile) return nullptr;
  *size = ULONG(font->File.size());
  return font->File.data();
}

IFIMETRICS* APIENTRY Ifi(FONTOBJ* object) { return reinterpret_cast<IFIMETRICS*>(FontOf(object)->Ifi.data()); }

// The glyph's outline: a box half an em wide, its top a curve, as GDI hands a path.
struct TestPath {
  PATHOBJ Object;
  POINTFIX Points[8];
  bool Given;
};
TestPath glyphPath;

VOID APIENTRY PathStart(PATHOBJ* path) { reinterpret_cast<TestPath*>(path)->Given = false; }

BOOL APIENTRY PathEnum(PATHOBJ* path, PATHDATA* data) {
  TestPath* test = reinterpret_cast<TestPath*>(path);
  // First call: move and two lines; second: the curve and a closing line.
  if (!test->Given) {
    data->flags = PD_BEGINSUBPATH;
    data->count = 3;
    data->pptfx = test->Points;
    test->Given = true;
    return TRUE;
  }
  data->flags = PD_BEZIERS | PD_ENDSUBPATH | PD_CLOSEFIGURE;
  data->count = 3;
  data->pptfx = test->Points + 3;
  return FALSE;
}

ULONG APIENTRY GetGlyphs(FONTOBJ* object, ULONG mode, ULONG count, HGLYPH* glyphs, PVOID* data) {
  TestFont* font = FontOf(object);
  if (mode != FO_PATHOBJ || count != 1) return 0;
  LONG em = LONG(font->EmPixels * 16);  // 28.4
  double angle = font->Angle * 3.14159265358979 / 180;
  // Points along the baseline (u) and up (v) in device space.
  auto point = [&](double u, double v) {
    POINTFIX p;
    p.x = FIX(u * cos(angle) * em - v * sin(angle) * em);
    p.y = FIX(-u * sin(angle) * em - v * cos(angle) * em);
    return p;
  };
  glyphPath.Points[0] = point(0.05, 0);
  glyphPath.Points[1] = point(0.45, 0);
  glyphPath.Points[2] = point(0.45, 0.5);
  glyphPath.Points[3] = point(0.4, 0.7);
  glyphPath.Points[4] = point(0.1, 0.7);
  glyphPath.Points[5] = point(0.05, 0.5);
  memset(&font->Glyph, 0, sizeof(font->Glyph));
  font->Glyph.hg = glyphs[0];
  font->Glyph.gdf.ppo = &glyphPath.Object;
  // The face's own advance, rounded to pixels as GDI does (half an em for a handle it lacks), 28.36.
  uint32_t advance = 0;
  int32_t bearing;
  double pixels = ReadGlyphMetrics(font->Face, font->Metrics, uint32_t(glyphs[0]) - font->HandleOffset, advance, bearing)
                      ? floor(advance * font->EmPixels / font->Metrics.UnitsPerEm + 0.5)
                      : 0.5 * font->EmPixels;
  double advanceX = pixels * cos(angle), advanceY = -pixels * sin(angle);
  font->Glyph.ptqD.x.QuadPart = LONGLONG(advanceX * 68719476736.0);
  font->Glyph.ptqD.y.QuadPart = LONGLONG(advanceY * 68719476736.0);
  *data = &font->Glyph;
  return 1;
}

VOID APIENTRY StringStart(STROBJ* object) { StringOf(object)->Next = 0; }

BOOL APIENTRY StringEnum(STROBJ* object, ULONG* count, PGLYPHPOS* positions) {
  TestString* string = StringOf(object);
  ULONG left = ULONG(string->Positions.size()) - string->Next;
  ULONG take = left < string->Batch ? left : string->Batch;
  *count = take;
  *positions = string->Positions.data() + string->Next;
  string->Next += take;
  return string->Next < string->Positions.size();
}

BOOL APIENTRY StringAdvances(STROBJ* object, ULONG first, ULONG count, POINTQF* advances) {
  TestString* string = StringOf(object);
  if (first + count > string->Advances.size()) return FALSE;
  memcpy(advances, string->Advances.data() + first, count * sizeof(POINTQF));
  return TRUE;
}

BOOL APIENTRY DrawNothing(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
  return TRUE;
}

}  // namespace

bool OpenTestFont(TestFont& font, const std::vector<uint8_t>& file, uint32_t faceIndex, ULONG uniq, FLONG type,
                  double emPixels, const wchar_t* faceName) {
  font.File = file;
  font.FaceIndex = faceIndex;
  memset(&font.Object, 0, sizeof(font.Object));
  font.Object.iUniq = uniq;
  font.Object.iTTUniq = uniq;
  font.Object.flFontType = type;
  font.TablePointer = true;
  font.WholeFile = true;
  font.EmPixels = emPixels;
  font.Angle = 0;
  font.NotionalDown = false;
  font.HandleOffset = 0;
  size_t nameBytes = (wcslen(faceName) + 1) * sizeof(WCHAR);
  font.Ifi.assign(sizeof(IFIMETRICS) + nameBytes, 0);
  IFIMETRICS* ifi = reinterpret_cast<IFIMETRICS*>(font.Ifi.data());
  ifi->cjThis = ULONG(font.Ifi.size());
  ifi->dpwszFaceName = sizeof(IFIMETRICS);
  memcpy(font.Ifi.data() + sizeof(IFIMETRICS), faceName, nameBytes);
  bool read = ReadFontFile(FontBytes{font.File.data(), font.File.size()}, faceIndex, font.Face) &&
              ReadFontMetrics(font.Face, font.Metrics);
  ifi->fwdUnitsPerEm = FWORD(read ? font.Metrics.UnitsPerEm : 2048);
  if (!read) font.Metrics.UnitsPerEm = 2048;
  return read;
}

void MakeTestString(TestString& string, const TestFont& font, const wchar_t* text, LONG x, LONG y,
                    LONG extraSpace, ULONG batch) {
  memset(&string.Object, 0, sizeof(string.Object));
  string.Text = text;
  string.Positions.clear();
  string.Advances.clear();
  string.Batch = batch;
  string.Next = 0;
  CharMap map;
  ReadCharMap(font.Face, map);
  double angle = font.Angle * 3.14159265358979 / 180, pen = 0;
  for (const wchar_t* c = text; *c; ++c) {
    GLYPHPOS position = {};
    uint32_t glyph = LookUpGlyph(map, *c), advance = 0;
    int32_t bearing;
    ReadGlyphMetrics(font.Face, font.Metrics, glyph, advance, bearing);
    position.hg = glyph + font.HandleOffset;
    position.ptl.x = x + LONG(floor(pen * cos(angle) + 0.5));
    position.ptl.y = y - LONG(floor(pen * sin(angle) + 0.5));
    string.Positions.push_back(position);
    double pixels = floor(advance * font.EmPixels / font.Metrics.UnitsPerEm + 0.5);
    POINTQF quad;
    quad.x.QuadPart = LONGLONG(pixels * cos(angle) * 68719476736.0);
    quad.y.QuadPart = LONGLONG(-pixels * sin(angle) * 68719476736.0);
    string.Advances.push_back(quad);
    pen += pixels + (*c == ' ' ? extraSpace : 0);
  }
  string.End.x = x + LONG(floor(pen * cos(angle) + 0.5));
  string.End.y = y - LONG(floor(pen * sin(angle) + 0.5));
  string.Object.cGlyphs = ULONG(string.Positions.size());
  string.Object.pwszOrg = const_cast<LPWSTR>(string.Text.c_str());
  string.Object.pgp = batch ? nullptr : string.Positions.data();
  string.Object.flAccel = font.Angle == 0 ? SO_HORIZONTAL : 0;
  LONG height = LONG(font.EmPixels * 1.2);
  string.Object.rclBkGround.left = x < string.End.x ? x : string.End.x;
  string.Object.rclBkGround.right = (x > string.End.x ? x : string.End.x) + height / 2;
  string.Object.rclBkGround.top = (y < string.End.y ? y : string.End.y) - height;
  string.Object.rclBkGround.bottom = (y > string.End.y ? y : string.End.y) + height / 3;
}

void FillTestEngine(EngineCalls& engine) {
  memset(&engine, 0, sizeof(engine));
  engine.EngTextOut = DrawNothing;
  engine.FONTOBJ_pxoGetXform = GetXform;
  engine.XFORMOBJ_iGetXform = GetXformNumbers;
  engine.FONTOBJ_pjOpenTypeTablePointer = TablePointer;
  engine.FONTOBJ_pvTrueTypeFontFile = WholeFile;
  engine.FONTOBJ_pifi = Ifi;
  engine.FONTOBJ_cGetGlyphs = GetGlyphs;
  engine.PATHOBJ_vEnumStart = PathStart;
  engine.PATHOBJ_bEnum = PathEnum;
  engine.STROBJ_vEnumStart = StringStart;
  engine.STROBJ_bEnum = StringEnum;
  engine.STROBJ_bGetAdvanceWidths = StringAdvances;
}
