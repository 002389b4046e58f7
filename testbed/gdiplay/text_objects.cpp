// FONTOBJ and STROBJ and their exported functions, from Wine's GDI: GetFontData for the font file
// and its tables, GetOutlineTextMetricsW and the OS/2, head and hhea tables for IFIMETRICS,
// GetGlyphOutlineW for glyph bitmaps and outlines.
#include "text_objects.h"

#include <math.h>
#include <string.h>

#include <string>

#include "dc_transform.h"

namespace {

std::vector<HostFont*> fonts;
std::vector<std::wstring> faces;  // the font files seen, by full name: FONTOBJ.iFace and iTTUniq

HostFont& Host(FONTOBJ* pfo) { return *reinterpret_cast<HostFont*>(pfo); }
HostString& Host(STROBJ* pstro) { return *reinterpret_cast<HostString*>(pstro); }

const DWORD CollectionTag = 0x66637474;  // 'ttcf' as GetFontData takes it (bytes in file order)

DWORD Tag(const char* name) {
  return static_cast<DWORD>(name[0]) | (static_cast<DWORD>(name[1]) << 8) | (static_cast<DWORD>(name[2]) << 16) |
         (static_cast<DWORD>(name[3]) << 24);
}

// Big-endian fields of a table, 0 beyond its end.
int Read16(const std::vector<BYTE>& table, size_t offset, bool isSigned = false) {
  if (offset + 2 > table.size()) return 0;
  int value = (table[offset] << 8) | table[offset + 1];
  return isSigned && value >= 0x8000 ? value - 0x10000 : value;
}

void AppendName(std::vector<BYTE>& ifi, PTRDIFF& offset, const WCHAR* name) {
  offset = static_cast<PTRDIFF>(ifi.size());
  size_t bytes = (wcslen(name) + 1) * sizeof(WCHAR);
  ifi.insert(ifi.end(), reinterpret_cast<const BYTE*>(name), reinterpret_cast<const BYTE*>(name) + bytes);
}

const WCHAR* OtmString(const std::vector<BYTE>& otm, PSTR offset) {
  size_t at = reinterpret_cast<size_t>(offset);
  return at && at < otm.size() ? reinterpret_cast<const WCHAR*>(otm.data() + at) : L"";
}

// IFIMETRICS of the face, in font units, with its names after the fixed part.
void BuildIfi(HostFont& font, const std::vector<BYTE>& otmBytes, const TEXTMETRICW& tm) {
  IFIMETRICS ifi = {};
  const OUTLINETEXTMETRICW* otm =
      otmBytes.size() >= sizeof(OUTLINETEXTMETRICW) ? reinterpret_cast<const OUTLINETEXTMETRICW*>(otmBytes.data()) : nullptr;
  std::vector<BYTE> os2 = FontTable(font.Dc, Tag("OS/2")), head = FontTable(font.Dc, Tag("head")),
                    hhea = FontTable(font.Dc, Tag("hhea"));
  ifi.lEmbedId = 0;
  ifi.jWinCharSet = tm.tmCharSet;
  ifi.jWinPitchAndFamily = tm.tmPitchAndFamily;
  ifi.usWinWeight = static_cast<USHORT>(os2.empty() ? tm.tmWeight : Read16(os2, 4));
  ifi.flInfo = FM_INFO_RETURNS_OUTLINES | FM_INFO_RETURNS_BITMAPS | FM_INFO_1BPP | FM_INFO_ARB_XFORMS |
               FM_INFO_RIGHT_HANDED | FM_INFO_TECH_TRUETYPE;
  if (!FontTable(font.Dc, Tag("CFF ")).empty())
    ifi.flInfo = (ifi.flInfo & ~FM_INFO_TECH_TRUETYPE) | FM_INFO_TECH_OUTLINE_NOT_TRUETYPE | FM_INFO_TECH_CFF;
  if (!(tm.tmPitchAndFamily & TMPF_FIXED_PITCH)) ifi.flInfo |= FM_INFO_CONSTANT_WIDTH;  // TMPF's bit is inverted
  ifi.fsSelection = static_cast<USHORT>(Read16(os2, 62));
  ifi.fsType = static_cast<USHORT>(Read16(os2, 8));
  ifi.fwdUnitsPerEm = static_cast<FWORD>(otm ? otm->otmEMSquare : Read16(head, 18));
  ifi.fwdLowestPPEm = static_cast<FWORD>(Read16(head, 46));
  ifi.fwdWinAscender = static_cast<FWORD>(Read16(os2, 74));
  ifi.fwdWinDescender = static_cast<FWORD>(Read16(os2, 76));
  ifi.fwdMacAscender = static_cast<FWORD>(Read16(hhea, 4, true));
  ifi.fwdMacDescender = static_cast<FWORD>(Read16(hhea, 6, true));
  ifi.fwdMacLineGap = static_cast<FWORD>(Read16(hhea, 8, true));
  ifi.fwdTypoAscender = static_cast<FWORD>(Read16(os2, 68, true));
  ifi.fwdTypoDescender = static_cast<FWORD>(Read16(os2, 70, true));
  ifi.fwdTypoLineGap = static_cast<FWORD>(Read16(os2, 72, true));
  ifi.fwdAveCharWidth = static_cast<FWORD>(Read16(os2, 2, true));
  ifi.fwdMaxCharInc = static_cast<FWORD>(Read16(hhea, 10));
  ifi.fwdCapHeight = static_cast<FWORD>(Read16(os2, 88, true));
  ifi.fwdXHeight = static_cast<FWORD>(Read16(os2, 86, true));
  ifi.fwdUnderscoreSize = static_cast<FWORD>(otm ? otm->otmsUnderscoreSize : 0);
  ifi.fwdUnderscorePosition = static_cast<FWORD>(otm ? otm->otmsUnderscorePosition : 0);
  ifi.fwdStrikeoutSize = static_cast<FWORD>(otm ? otm->otmsStrikeoutSize : 0);
  ifi.fwdStrikeoutPosition = static_cast<FWORD>(otm ? otm->otmsStrikeoutPosition : 0);
  ifi.chFirstChar = static_cast<BYTE>(tm.tmFirstChar > 255 ? 255 : tm.tmFirstChar);
  ifi.chLastChar = static_cast<BYTE>(tm.tmLastChar > 255 ? 255 : tm.tmLastChar);
  ifi.chDefaultChar = static_cast<BYTE>(tm.tmDefaultChar > 255 ? 0 : tm.tmDefaultChar);
  ifi.chBreakChar = static_cast<BYTE>(tm.tmBreakChar > 255 ? 32 : tm.tmBreakChar);
  ifi.wcFirstChar = tm.tmFirstChar;
  ifi.wcLastChar = tm.tmLastChar;
  ifi.wcDefaultChar = tm.tmDefaultChar;
  ifi.wcBreakChar = tm.tmBreakChar;
  ifi.ptlBaseline = {1, 0};
  ifi.ptlAspect = {1, 1};
  ifi.ptlCaret = {0, 1};
  ifi.rclFontBox = {Read16(head, 36, true), Read16(head, 42, true), Read16(head, 40, true), Read16(head, 38, true)};
  if (otm) ifi.panose = otm->otmPanoseNumber;
  std::vector<BYTE>& out = font.Ifi;
  out.assign(reinterpret_cast<BYTE*>(&ifi), reinterpret_cast<BYTE*>(&ifi) + sizeof(ifi));
  PTRDIFF family, style, face, unique;
  AppendName(out, family, otm ? OtmString(otmBytes, otm->otmpFamilyName) : font.Logical.lfFaceName);
  AppendName(out, style, otm ? OtmString(otmBytes, otm->otmpStyleName) : L"");
  AppendName(out, face, otm ? OtmString(otmBytes, otm->otmpFaceName) : font.Logical.lfFaceName);
  AppendName(out, unique, otm ? OtmString(otmBytes, otm->otmpFullName) : font.Logical.lfFaceName);
  IFIMETRICS* stored = reinterpret_cast<IFIMETRICS*>(out.data());
  stored->dpwszFamilyName = family;
  stored->dpwszStyleName = style;
  stored->dpwszFaceName = face;
  stored->dpwszUniqueName = unique;
  stored->cjThis = static_cast<ULONG>(out.size());
}

// Which simulations GDI applies: bold or italic asked of a face that is neither.
FLONG Simulations(const HostFont& font) {
  std::vector<BYTE> os2 = FontTable(font.Dc, Tag("OS/2")), head = FontTable(font.Dc, Tag("head"));
  FLONG flags = 0;
  int weight = os2.empty() ? 400 : Read16(os2, 4);
  int macStyle = Read16(head, 44);
  if (font.Logical.lfWeight >= FW_SEMIBOLD && weight < FW_SEMIBOLD && !(macStyle & 1)) flags |= FO_SIM_BOLD;
  if (font.Logical.lfItalic && !(Read16(os2, 62) & 1) && !(macStyle & 2)) flags |= FO_SIM_ITALIC;
  return flags;
}

HostFont* NewFont(HDC dc, const LOGFONTW& logical, const DcTransform& transform) {
  HostFont* font = new HostFont();
  font->Logical = logical;
  font->Transform = transform.World;
  font->Dc = CreateCompatibleDC(nullptr);
  ApplyTransform(font->Dc, transform);
  font->Font = CreateFontIndirectW(&logical);
  SelectObject(font->Dc, font->Font);
  TEXTMETRICW tm = {};
  GetTextMetricsW(font->Dc, &tm);
  UINT otmSize = GetOutlineTextMetricsW(font->Dc, 0, nullptr);
  std::vector<BYTE> otm(otmSize);
  if (otmSize) GetOutlineTextMetricsW(font->Dc, otmSize, reinterpret_cast<OUTLINETEXTMETRICW*>(otm.data()));
  BuildIfi(*font, otm, tm);
  FONTOBJ& fo = font->Object;
  fo.iUniq = static_cast<ULONG>(fonts.size() + 1);
  const IFIMETRICS* ifi = reinterpret_cast<const IFIMETRICS*>(font->Ifi.data());
  // One face, one file: its names (a family's faces may share their "unique" name), its weight and
  // slant, and the size of its data.
  std::wstring unique = reinterpret_cast<const WCHAR*>(font->Ifi.data() + ifi->dpwszUniqueName);
  unique += L"|";
  unique += reinterpret_cast<const WCHAR*>(font->Ifi.data() + ifi->dpwszFaceName);
  unique += L"|";
  unique += reinterpret_cast<const WCHAR*>(font->Ifi.data() + ifi->dpwszStyleName);
  unique += L"|" + std::to_wstring(ifi->usWinWeight) + L"|" + std::to_wstring(ifi->fsSelection) + L"|" +
            std::to_wstring(GetFontData(font->Dc, 0, 0, nullptr, 0));
  size_t face = 0;
  while (face < faces.size() && faces[face] != unique) ++face;
  if (face == faces.size()) faces.push_back(unique);
  fo.iFace = fo.iFile = fo.iTTUniq = face + 1;
  // Outline fonts with sfnt tables (TrueType and OpenType with CFF outlines) are TrueType to the
  // DDI; Wine reports CFF faces as vector fonts.
  bool trueType = (tm.tmPitchAndFamily & TMPF_TRUETYPE) != 0 || !FontTable(font->Dc, Tag("head")).empty();
  bool vector = (tm.tmPitchAndFamily & TMPF_VECTOR) != 0;
  fo.flFontType = trueType ? FO_TYPE_TRUETYPE : (vector ? FO_TYPE_DEVICE : FO_TYPE_RASTER);
  if (trueType) {
    fo.flFontType |= Simulations(*font);
    if (ifi->flInfo & FM_INFO_TECH_CFF) fo.flFontType |= FO_CFF | FO_POSTSCRIPT;
  }
  fo.cxMax = tm.tmMaxCharWidth;
  fo.sizLogResPpi = {GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY)};
  // The notional (font unit) to device transform: the em scaled to its size, then the world.
  double em = ifi->fwdUnitsPerEm ? ifi->fwdUnitsPerEm : 2048;
  double ppem = (tm.tmHeight - tm.tmInternalLeading) / em;  // logical units per font unit
  double angle = logical.lfEscapement * 3.14159265358979 / 1800;
  XFORM em2logical = {static_cast<FLOAT>(ppem * cos(angle)), static_cast<FLOAT>(-ppem * sin(angle)),
                      static_cast<FLOAT>(ppem * sin(angle)), static_cast<FLOAT>(ppem * cos(angle)), 0, 0};
  XFORM device = WorldToDevice(transform);
  device.eDx = device.eDy = 0;
  CombineTransform(&font->NotionalToDevice.Transform, &em2logical, &device);
  fo.ulStyleSize = static_cast<ULONG>(fabs(logical.lfHeight) * 72 / (fo.sizLogResPpi.cy ? fo.sizLogResPpi.cy : 96));
  std::vector<BYTE> maxp = FontTable(font->Dc, Tag("maxp"));
  font->Glyphs = static_cast<ULONG>(Read16(maxp, 4));
  return font;
}

// The glyph's outline from GetGlyphOutlineW (GGO_NATIVE: quadratic or cubic splines, 16.16, y
// up) as a PATHOBJ relative to the glyph's origin, y down, quadratic pieces raised to cubics.
bool GlyphOutline(HostFont& font, HGLYPH glyph, HostPath& path, GLYPHMETRICS& metrics) {
  MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  DWORD size = GetGlyphOutlineW(font.Dc, glyph, GGO_NATIVE | GGO_GLYPH_INDEX, &metrics, 0, nullptr, &identity);
  if (size == GDI_ERROR) return false;
  std::vector<BYTE> data(size ? size : 1);
  if (size && GetGlyphOutlineW(font.Dc, glyph, GGO_NATIVE | GGO_GLYPH_INDEX, &metrics, size, data.data(), &identity) ==
                  GDI_ERROR)
    return false;
  std::vector<POINTFIX> points;
  std::vector<BYTE> types;
  auto fix = [](const POINTFX& p) {
    return POINTFIX{static_cast<FIX>((static_cast<LONG>(p.x.value) * 65536 + p.x.fract) / 4096),
                    static_cast<FIX>(-(static_cast<LONG>(p.y.value) * 65536 + p.y.fract) / 4096)};
  };
  size_t at = 0;
  while (at + sizeof(TTPOLYGONHEADER) <= size) {
    const TTPOLYGONHEADER* header = reinterpret_cast<const TTPOLYGONHEADER*>(&data[at]);
    if (header->cb < sizeof(TTPOLYGONHEADER) || at + header->cb > size) break;
    POINTFIX current = fix(header->pfxStart);
    points.push_back(current);
    types.push_back(PT_MOVETO);
    size_t curve = at + sizeof(TTPOLYGONHEADER);
    while (curve + sizeof(TTPOLYCURVE) - sizeof(POINTFX) <= at + header->cb) {
      const TTPOLYCURVE* c = reinterpret_cast<const TTPOLYCURVE*>(&data[curve]);
      size_t next = curve + sizeof(TTPOLYCURVE) + (c->cpfx ? c->cpfx - 1 : 0) * sizeof(POINTFX);
      if (!c->cpfx || next > at + header->cb) break;
      for (WORD i = 0; i < c->cpfx; ++i) {
        POINTFIX p = fix(c->apfx[i]);
        if (c->wType == TT_PRIM_LINE) {
          points.push_back(p);
          types.push_back(PT_LINETO);
          current = p;
        } else if (c->wType == TT_PRIM_QSPLINE && i + 1 < c->cpfx) {
          POINTFIX q = fix(c->apfx[i + 1]);
          POINTFIX end = i + 2 < c->cpfx ? POINTFIX{(p.x + q.x) / 2, (p.y + q.y) / 2} : q;
          POINTFIX c1 = {current.x + 2 * (p.x - current.x) / 3, current.y + 2 * (p.y - current.y) / 3};
          POINTFIX c2 = {end.x + 2 * (p.x - end.x) / 3, end.y + 2 * (p.y - end.y) / 3};
          points.insert(points.end(), {c1, c2, end});
          types.insert(types.end(), {PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO});
          current = end;
          if (i + 2 >= c->cpfx) ++i;  // the last control point's end was the curve's last point
        } else if (c->wType == TT_PRIM_CSPLINE) {
          points.push_back(p);
          types.push_back(PT_BEZIERTO);
          current = p;
        }
      }
      curve = next;
    }
    types.back() |= PT_CLOSEFIGURE;
    at += header->cb;
  }
  if (points.empty()) {
    path.Points.clear();
    path.Runs.clear();
    path.Next = 0;
    ZeroMemory(&path.Object, sizeof(path.Object));
    path.Bounds = {0, 0, 0, 0};
    return true;  // a blank glyph (space) has an empty outline
  }
  BuildPath(points.data(), types.data(), static_cast<int>(points.size()), path);
  path.Object.fl &= ~PO_ALL_INTEGERS;
  return true;
}

// The glyph's 1-bit image, rows padded to bytes as GLYPHBITS has them (GDI's to DWORDs).
bool GlyphBits(HostFont& font, HGLYPH glyph, GLYPHMETRICS& metrics) {
  MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  DWORD size = GetGlyphOutlineW(font.Dc, glyph, GGO_BITMAP | GGO_GLYPH_INDEX, &metrics, 0, nullptr, &identity);
  if (size == GDI_ERROR) return false;
  std::vector<BYTE> data(size ? size : 1);
  if (size && GetGlyphOutlineW(font.Dc, glyph, GGO_BITMAP | GGO_GLYPH_INDEX, &metrics, size, data.data(), &identity) ==
                  GDI_ERROR)
    return false;
  LONG width = size ? metrics.gmBlackBoxX : 0, height = size ? metrics.gmBlackBoxY : 0;
  LONG source = ((width + 31) / 32) * 4, row = (width + 7) / 8;
  font.Bits.assign(offsetof(GLYPHBITS, aj) + static_cast<size_t>(row) * height + 1, 0);
  GLYPHBITS* bits = reinterpret_cast<GLYPHBITS*>(font.Bits.data());
  bits->ptlOrigin = {metrics.gmptGlyphOrigin.x, -metrics.gmptGlyphOrigin.y};
  bits->sizlBitmap = {width, height};
  for (LONG y = 0; y < height && static_cast<size_t>((y + 1) * source) <= data.size(); ++y)
    memcpy(bits->aj + y * row, &data[y * source], row);
  return true;
}

// The same request (the face name compared as a string: the bytes after it are anyone's).
bool SameFont(const LOGFONTW& a, const LOGFONTW& b) {
  return memcmp(&a, &b, offsetof(LOGFONTW, lfFaceName)) == 0 && wcsncmp(a.lfFaceName, b.lfFaceName, LF_FACESIZE) == 0;
}

}  // namespace

std::vector<BYTE> FontTable(HDC dc, DWORD tag) {
  DWORD size = GetFontData(dc, tag, 0, nullptr, 0);
  std::vector<BYTE> table;
  if (size == GDI_ERROR || size == 0) return table;
  table.resize(size);
  if (GetFontData(dc, tag, 0, table.data(), size) != size) table.clear();
  return table;
}

HostFont* FontOfDc(HDC dc) {
  LOGFONTW logical = {};
  if (!GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof(logical), &logical)) return nullptr;
  DcTransform transform;
  SaveTransform(dc, transform);
  for (HostFont* font : fonts)
    if (SameFont(font->Logical, logical) && memcmp(&font->Transform, &transform.World, sizeof(XFORM)) == 0)
      return font;
  HostFont* font = NewFont(dc, logical, transform);
  fonts.push_back(font);
  return font;
}

void ReleaseFonts(const DRVENABLEDATA* driver) {
  PFN_DrvDestroyFont destroy = nullptr;
  for (ULONG i = 0; driver && driver->pdrvfn && i < driver->c; ++i)
    if (driver->pdrvfn[i].iFunc == INDEX_DrvDestroyFont)
      destroy = reinterpret_cast<PFN_DrvDestroyFont>(reinterpret_cast<void (*)()>(driver->pdrvfn[i].pfn));
  for (HostFont* font : fonts) {
    if (destroy) destroy(&font->Object);
    DeleteDC(font->Dc);
    DeleteObject(font->Font);
    delete font;
  }
  fonts.clear();
  faces.clear();
}

extern "C" {

__declspec(dllexport) VOID APIENTRY STROBJ_vEnumStart(STROBJ* pstro) {
  if (pstro) Host(pstro).Next = 0;
}

// All glyphs in one batch, with their bitmaps (the positions alone: STROBJ_bEnumPositionsOnly).
__declspec(dllexport) BOOL APIENTRY STROBJ_bEnumPositionsOnly(STROBJ* pstro, ULONG* pc, PGLYPHPOS* ppgpos) {
  if (!pstro || !pc || !ppgpos) return FALSE;
  HostString& text = Host(pstro);
  *pc = text.Next == 0 ? static_cast<ULONG>(text.Glyphs.size()) : 0;
  *ppgpos = text.Glyphs.empty() ? nullptr : text.Glyphs.data();
  text.Next = text.Glyphs.size();
  return FALSE;
}

__declspec(dllexport) BOOL APIENTRY STROBJ_bEnum(STROBJ* pstro, ULONG* pc, PGLYPHPOS* ppgpos) {
  return STROBJ_bEnumPositionsOnly(pstro, pc, ppgpos);
}

__declspec(dllexport) BOOL APIENTRY STROBJ_bGetAdvanceWidths(STROBJ* pstro, ULONG iFirst, ULONG c, POINTQF* pptqD) {
  if (!pstro || !pptqD) return FALSE;
  HostString& text = Host(pstro);
  if (iFirst + c > text.Advances.size()) return FALSE;
  for (ULONG i = 0; i < c; ++i) {  // 28.4 to 28.36
    pptqD[i].x.QuadPart = static_cast<LONGLONG>(text.Advances[iFirst + i].x) << 32;
    pptqD[i].y.QuadPart = static_cast<LONGLONG>(text.Advances[iFirst + i].y) << 32;
  }
  return TRUE;
}

__declspec(dllexport) DWORD APIENTRY STROBJ_dwGetCodePage(STROBJ*) { return CP_ACP; }

__declspec(dllexport) PVOID APIENTRY FONTOBJ_pvTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile) {
  if (pcjFile) *pcjFile = 0;
  if (!pfo) return nullptr;
  HostFont& font = Host(pfo);
  if (!font.FileRead) {
    font.FileRead = true;
    // A face of a collection: the whole collection, as the file GDI maps; else the font's file.
    font.File = FontTable(font.Dc, CollectionTag);
    if (font.File.empty()) font.File = FontTable(font.Dc, 0);
  }
  if (font.File.empty()) return nullptr;
  if (pcjFile) *pcjFile = static_cast<ULONG>(font.File.size());
  return font.File.data();
}

// A table of the face (for a collection's face: that face's table), or with tag 0 the face's file.
__declspec(dllexport) PBYTE APIENTRY FONTOBJ_pjOpenTypeTablePointer(FONTOBJ* pfo, ULONG ulTag, ULONG* pcjTable) {
  if (pcjTable) *pcjTable = 0;
  if (!pfo) return nullptr;
  HostFont& font = Host(pfo);
  // The tag as GetFontData takes it: the tag's bytes in file order read as a little-endian number.
  DWORD fileOrder = ulTag;
  size_t i = 0;
  while (i < font.TableTags.size() && font.TableTags[i] != fileOrder) ++i;
  if (i == font.TableTags.size()) {
    font.TableTags.push_back(fileOrder);
    font.Tables.push_back(FontTable(font.Dc, fileOrder));
  }
  std::vector<BYTE>& table = font.Tables[i];
  if (table.empty()) return nullptr;
  if (pcjTable) *pcjTable = static_cast<ULONG>(table.size());
  return table.data();
}

__declspec(dllexport) IFIMETRICS* APIENTRY FONTOBJ_pifi(FONTOBJ* pfo) {
  return pfo ? reinterpret_cast<IFIMETRICS*>(Host(pfo).Ifi.data()) : nullptr;
}

__declspec(dllexport) XFORMOBJ* APIENTRY FONTOBJ_pxoGetXform(FONTOBJ* pfo) {
  return pfo ? &Host(pfo).NotionalToDevice.Object : nullptr;
}

__declspec(dllexport) VOID APIENTRY FONTOBJ_vGetInfo(FONTOBJ* pfo, ULONG cjSize, FONTINFO* pfi) {
  if (!pfo || !pfi) return;
  FONTINFO info = {};
  info.cjThis = sizeof(info);
  info.cGlyphsSupported = Host(pfo).Glyphs;
  ULONG cell = pfo->cxMax * pfo->cxMax + sizeof(GLYPHBITS);
  info.cjMaxGlyph1 = info.cjMaxGlyph4 = info.cjMaxGlyph8 = info.cjMaxGlyph32 = cell;
  memcpy(pfi, &info, cjSize < sizeof(info) ? cjSize : sizeof(info));
}

// One glyph at a time, as GDI answers: its bitmap (FO_GLYPHBITS) or outline (FO_PATHOBJ), valid
// until the next call for this font.
__declspec(dllexport) ULONG APIENTRY FONTOBJ_cGetGlyphs(FONTOBJ* pfo, ULONG iMode, ULONG cGlyph, HGLYPH* phg,
                                                       PVOID* ppvGlyph) {
  if (!pfo || !phg || !ppvGlyph || cGlyph == 0) return 0;
  HostFont& font = Host(pfo);
  GLYPHMETRICS metrics = {};
  ZeroMemory(&font.Glyph, sizeof(font.Glyph));
  if (iMode == FO_PATHOBJ) {
    if (!GlyphOutline(font, phg[0], font.Outline, metrics)) return 0;
    font.Glyph.gdf.ppo = &font.Outline.Object;
  } else if (iMode == FO_GLYPHBITS) {
    if (!GlyphBits(font, phg[0], metrics)) return 0;
    font.Glyph.gdf.pgb = reinterpret_cast<GLYPHBITS*>(font.Bits.data());
  } else {
    return 0;
  }
  font.Glyph.hg = phg[0];
  font.Glyph.fxD = metrics.gmCellIncX * 16;
  font.Glyph.fxA = metrics.gmptGlyphOrigin.x * 16;
  font.Glyph.fxAB = (metrics.gmptGlyphOrigin.x + static_cast<LONG>(metrics.gmBlackBoxX)) * 16;
  font.Glyph.fxInkTop = -metrics.gmptGlyphOrigin.y * 16;
  font.Glyph.fxInkBottom = (static_cast<LONG>(metrics.gmBlackBoxY) - metrics.gmptGlyphOrigin.y) * 16;
  font.Glyph.rclInk = {metrics.gmptGlyphOrigin.x, -metrics.gmptGlyphOrigin.y,
                       metrics.gmptGlyphOrigin.x + static_cast<LONG>(metrics.gmBlackBoxX),
                       static_cast<LONG>(metrics.gmBlackBoxY) - metrics.gmptGlyphOrigin.y};
  font.Glyph.ptqD.x.QuadPart = static_cast<LONGLONG>(metrics.gmCellIncX) << 36;
  font.Glyph.ptqD.y.QuadPart = static_cast<LONGLONG>(metrics.gmCellIncY) << 36;
  *ppvGlyph = &font.Glyph;
  return 1;
}

__declspec(dllexport) ULONG APIENTRY FONTOBJ_cGetAllGlyphHandles(FONTOBJ* pfo, HGLYPH* phg) {
  if (!pfo) return 0;
  ULONG count = Host(pfo).Glyphs;
  for (ULONG i = 0; phg && i < count; ++i) phg[i] = i;
  return count;
}

}  // extern "C"
