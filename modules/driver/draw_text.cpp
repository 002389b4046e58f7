// DrvTextOut: a string of glyphs said as PDF text. TrueType faces whose glyph handles agree with
// their own tables become Type 0 fonts over a subset of their glyphs, by id; other outline fonts
// (CFF, a licence that forbids embedding, tables that lie, handles that are not ids) Type 3 fonts
// of GDI's outlines; bitmap fonts a raster patch with the same text laid under it invisibly, so
// that it can be found and copied. Opaque rectangles, underlines and strike-outs are filled
// rectangles; every part is clipped by the call's CLIPOBJ. The engine then draws the call into the
// page's bitmap, as it always does.
#include <windows.h>
#include <winddi.h>

#include <math.h>
#include <stdlib.h>

#include "char_map.h"
#include "draw_calls.h"
#include "font_widths.h"
#include "glyph_check.h"
#include "page_recording.h"
#include "pdf_content.h"
#include "printer_device.h"
#include "text_faces.h"
#include "text_outlines.h"

namespace {

const ULONG_PTR OutlineKeyBit = ULONG_PTR(1) << (sizeof(ULONG_PTR) * 8 - 2);
const double ItalicShear = 0.25;   // GDI leans simulated italics about 14 degrees
const double BoldStroke = 0.03;    // of the em: the outline stroked around simulated bold glyphs
const ULONG GlyphLimit = 65536;    // glyphs of one call this code takes; more become a patch

void Include(RECTL& bounds, const RECTL& more) {
  if (more.left >= more.right || more.top >= more.bottom) return;
  bounds = bounds.left >= bounds.right || bounds.top >= bounds.bottom ? more : UnionOf(bounds, more);
}

// A brush's colour as the page's palette has it; false for a pattern brush.
bool SolidColour(BRUSHOBJ* brush, ULONG& colour) {
  if (!brush || brush->iSolidColor == 0xFFFFFFFF) return false;
  colour = brush->iSolidColor;
  return true;
}

// One glyph of the string in drawing order: its handle, origin and the character it stands for.
struct TextGlyph {
  HGLYPH Handle;
  POINTL Origin;
  WCHAR Character;  // 0 when GDI gave none one for one
  long Code;        // the code the PDF font draws it with; -1 when it can't
  DWORD FontId;
  double Width;     // the PDF font's advance for it, in ems
};

// The font's box (notional units, y up) around each glyph's origin, one pixel wider for hinting:
// where GDI's ink may reach beyond rclBkGround (descenders and accents past the cell, overhangs,
// simulated italics), so that the engine's pixels there count as drawn by this call.
void IncludeGlyphBoxes(RECTL& bounds, const TextGlyph* glyphs, ULONG count, const TextMatrix& m, const RECTL& fontBox,
                       ULONG unitsPerEm) {
  if (!unitsPerEm || fontBox.left >= fontBox.right || fontBox.bottom >= fontBox.top) return;
  double u[2] = {double(fontBox.left) / unitsPerEm, double(fontBox.right) / unitsPerEm};
  double v[2] = {double(fontBox.bottom) / unitsPerEm, double(fontBox.top) / unitsPerEm};
  double left = 0, top = 0, right = 0, bottom = 0;
  for (int i = 0; i < 4; ++i) {
    double x = m.A * u[i & 1] + m.C * v[i >> 1], y = m.B * u[i & 1] + m.D * v[i >> 1];
    if (!i || x < left) left = x;
    if (!i || x > right) right = x;
    if (!i || y < top) top = y;
    if (!i || y > bottom) bottom = y;
  }
  if (right - left > 1e5 || bottom - top > 1e5) return;
  for (ULONG i = 0; i < count; ++i) {
    RECTL box = {glyphs[i].Origin.x + LONG(floor(left)) - 1, glyphs[i].Origin.y + LONG(floor(top)) - 1,
                 glyphs[i].Origin.x + LONG(ceil(right)) + 2, glyphs[i].Origin.y + LONG(ceil(bottom)) + 2};
    Include(bounds, box);
  }
}


// The string's glyphs and positions, from pgp or enumerated; null when there are none or memory
// runs out.
TextGlyph* ReadGlyphs(const EngineCalls& engine, STROBJ* text, ULONG& count) {
  count = 0;
  if (!text || !text->cGlyphs || text->cGlyphs > GlyphLimit) return nullptr;
  TextGlyph* glyphs = static_cast<TextGlyph*>(calloc(text->cGlyphs, sizeof(TextGlyph)));
  if (!glyphs) return nullptr;
  auto take = [&](const GLYPHPOS* positions, ULONG batch) {
    for (ULONG i = 0; i < batch && count < text->cGlyphs; ++i, ++count) {
      glyphs[count].Handle = positions[i].hg;
      glyphs[count].Origin = positions[i].ptl;
    }
  };
  if (text->pgp) {
    take(text->pgp, text->cGlyphs);
  } else {
    BOOL (APIENTRY* enumerate)(STROBJ*, ULONG*, PGLYPHPOS*) =
        engine.STROBJ_bEnumPositionsOnly ? engine.STROBJ_bEnumPositionsOnly : engine.STROBJ_bEnum;
    if (!enumerate || !engine.STROBJ_vEnumStart) {
      free(glyphs);
      return nullptr;
    }
    engine.STROBJ_vEnumStart(text);
    BOOL more;
    do {
      ULONG batch = 0;
      GLYPHPOS* positions = nullptr;
      more = enumerate(text, &batch, &positions);
      if (positions) take(positions, batch);
      else break;
    } while (more && count < text->cGlyphs);
  }
  // Fixed pitch: GDI may give only the first origin and the increment.
  if (text->ulCharInc && count) {
    LONG step = LONG(text->ulCharInc) * ((text->flAccel & SO_REVERSED) ? -1 : 1);
    for (ULONG i = 1; i < count; ++i) {
      glyphs[i].Origin = glyphs[0].Origin;
      if (text->flAccel & SO_VERTICAL) glyphs[i].Origin.y += step * LONG(i);
      else glyphs[i].Origin.x += step * LONG(i);
    }
  }
  // ETO_GLYPH_INDEX: the "characters" are the glyph indices again, and the face's cmap must tell.
  if (text->pwszOrg && !(text->flAccel & SO_GLYPHINDEX_TEXTOUT))
    for (ULONG i = 0; i < count; ++i) glyphs[i].Character = text->pwszOrg[i];
  if (!count) {
    free(glyphs);
    return nullptr;
  }
  return glyphs;
}

// The text's matrix from the font's notional-to-device transform (an em of `unitsPerEm` notional
// units), y up in glyph space whichever way the transform's notional space points.
bool ReadTextMatrix(const EngineCalls& engine, FONTOBJ* font, ULONG unitsPerEm, TextMatrix& matrix) {
  if (!engine.FONTOBJ_pxoGetXform || !engine.XFORMOBJ_iGetXform || !unitsPerEm) return false;
  XFORMOBJ* transform = engine.FONTOBJ_pxoGetXform(font);
  XFORML values;
  if (!transform || engine.XFORMOBJ_iGetXform(transform, &values) == DDI_ERROR) return false;
  matrix.A = double(values.eM11) * unitsPerEm;
  matrix.B = double(values.eM12) * unitsPerEm;
  matrix.C = double(values.eM21) * unitsPerEm;
  matrix.D = double(values.eM22) * unitsPerEm;
  if (matrix.A * matrix.D - matrix.B * matrix.C > 0) {  // notional y pointed down: turn it up
    matrix.C = -matrix.C;
    matrix.D = -matrix.D;
  }
  double em = sqrt(matrix.C * matrix.C + matrix.D * matrix.D);
  return em > 0.01 && em < 1e6 && sqrt(matrix.A * matrix.A + matrix.B * matrix.B) > 0.01;
}

void AppendCode(PageRecording& page, long code, int bytes) {
  static const char hex[] = "0123456789ABCDEF";
  char text[6];
  int at = 0;
  for (int shift = bytes * 8 - 4; shift >= 0; shift -= 4) text[at++] = hex[(code >> shift) & 15];
  text[at] = 0;
  PageAppend(page, text);
}

// BT ... ET: each glyph at GDI's origin. Glyphs follow one another in a TJ, with the difference
// between GDI's origin and where the PDF font's advance leaves the pen; a glyph off the baseline
// (or far along it) starts a new Tm.
void WriteGlyphs(PageRecording& page, const TextGlyph* glyphs, ULONG count, const TextMatrix& m, int codeBytes,
                 int renderMode) {
  PageAppend(page, "BT\n");
  if (renderMode) {
    PageAppendInteger(page, renderMode);
    PageAppend(page, "Tr\n");
  }
  double baseline = m.A * m.A + m.B * m.B;
  DWORD font = 0;
  bool open = false;  // inside "[<" ... ">] TJ"
  double penX = 0, penY = 0;
  for (ULONG i = 0; i < count; ++i) {
    const TextGlyph& glyph = glyphs[i];
    if (glyph.Code < 0) continue;
    double x = glyph.Origin.x, y = glyph.Origin.y;
    double dx = x - penX, dy = y - penY;
    double along = (dx * m.A + dy * m.B) / baseline;  // ems along the baseline
    double offX = dx - along * m.A, offY = dy - along * m.B;
    if (glyph.FontId != font || !open || offX * offX + offY * offY > 0.0025 || along < -2 || along > 50) {
      if (open) PageAppend(page, ">] TJ\n");
      if (glyph.FontId != font) {
        PageAppendResourceName(page, PageFont, glyph.FontId);
        PageAppend(page, "1 Tf\n");
        font = glyph.FontId;
      }
      PageAppendReal(page, m.A);
      PageAppendReal(page, m.B);
      PageAppendReal(page, m.C);
      PageAppendReal(page, m.D);
      PageAppendReal(page, x);
      PageAppendReal(page, y);
      PageAppend(page, "Tm\n[<");
      open = true;
    } else {
      double adjustment = floor(-along * 100000 + 0.5) / 100;  // thousandths of the em, to 1/100
      if (adjustment != 0) {
        PageAppend(page, "> ");
        PageAppendReal(page, adjustment);
        PageAppend(page, "<");
      }
    }
    AppendCode(page, glyph.Code, codeBytes);
    penX = x + glyph.Width * m.A;  // where the PDF font leaves the pen
    penY = y + glyph.Width * m.B;
  }
  if (open) PageAppend(page, ">] TJ\n");
  // The render mode belongs to the graphics state and outlives ET: the next text must not inherit it.
  if (renderMode) PageAppend(page, "0 Tr\n");
  PageAppend(page, "ET\n");
}

void FillRectangle(PageRecording& page, const RECTL& rectangle) {
  if (rectangle.left >= rectangle.right || rectangle.top >= rectangle.bottom) return;
  PageAppendInteger(page, rectangle.left);
  PageAppendInteger(page, rectangle.top);
  PageAppendInteger(page, rectangle.right - rectangle.left);
  PageAppendInteger(page, rectangle.bottom - rectangle.top);
  PageAppend(page, "re f\n");
}

// The string's glyphs through the face's subset: codes are glyph ids. False when the face can't
// take them (the caller then draws them from outlines).
bool UseSubset(PdfDocument& document, TextFace& face, const FontFile& font, TextGlyph* glyphs, ULONG count) {
  for (ULONG i = 0; i < count; ++i)
    if (glyphs[i].Handle > 0xFFFF || !KeepGlyph(face.Subset, font, uint32_t(glyphs[i].Handle))) return false;
  DWORD id = TextFontId(document, face, 0);
  if (!id) return false;
  CharMap map;
  bool haveMap = ReadCharMap(font, map);
  for (ULONG i = 0; i < count; ++i) {
    uint32_t glyph = uint32_t(glyphs[i].Handle);
    uint16_t unit = uint16_t(glyphs[i].Character);
    // A surrogate alone is half a character, and a character the cmap gives another glyph (the
    // first letter of a ligature, a shaped form) is not this glyph's: both are left to the cmap.
    uint32_t mapped = haveMap && unit ? LookUpGlyph(map, unit) : 0;
    bool whole = unit && (unit < 0xD800 || unit >= 0xE000) && (!mapped || mapped == glyph);
    SetGlyphText(face.Subset, glyph, &unit, whole ? 1 : 0);
    KeptGlyph* kept = FindKeptGlyph(face.Subset, glyph);
    glyphs[i].Code = long(glyph);
    glyphs[i].FontId = id;
    glyphs[i].Width = double(GlyphSpaceWidth(kept ? kept->Advance : 0, face.Subset.Metrics.UnitsPerEm)) / 1000;
  }
  TakeGlyphTextFromCharMap(face.Subset, font);
  return true;
}

// GDI's handles checked against the face's tables: advances against hmtx, characters against cmap.
bool HandlesAreGlyphIds(const EngineCalls& engine, STROBJ* text, const FontFile& font, const FontMetrics& metrics,
                        const TextGlyph* glyphs, ULONG count, const TextMatrix& matrix) {
  GlyphHandleSample* samples = static_cast<GlyphHandleSample*>(malloc(count * sizeof(GlyphHandleSample)));
  POINTQF* advances = static_cast<POINTQF*>(malloc(count * sizeof(POINTQF)));
  bool haveAdvances = advances && engine.STROBJ_bGetAdvanceWidths &&
                      engine.STROBJ_bGetAdvanceWidths(text, 0, count, advances);
  bool agree = false;
  if (samples) {
    double baseline = sqrt(matrix.A * matrix.A + matrix.B * matrix.B);
    for (ULONG i = 0; i < count; ++i) {
      samples[i].Handle = glyphs[i].Handle > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(glyphs[i].Handle);
      samples[i].Character = glyphs[i].Character;
      samples[i].Advance = -1;
      if (haveAdvances) {
        double x = PixelsOfQuadFix(advances[i].x), y = PixelsOfQuadFix(advances[i].y);
        samples[i].Advance = sqrt(x * x + y * y);
      }
    }
    agree = GlyphHandlesAreGlyphIds(font, metrics, samples, count, baseline);
  }
  free(samples);
  free(advances);
  return agree;
}

int CompareRatios(const void* a, const void* b) {
  double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

// How much wider GDI sets the face than its transform says: a font made narrower or wider
// (LOGFONT's lfWidth) whose transform carries only its height would otherwise put full-width
// glyphs on narrow advances. The median of GDI's advances over hmtx's (letters only, spaces may be
// justified) when most agree on it; 1 when they don't or it is within rounding.
double WidthScale(const EngineCalls& engine, STROBJ* text, const FontFile& font, const FontMetrics& metrics,
                  const TextGlyph* glyphs, ULONG count, const TextMatrix& matrix) {
  if (!engine.STROBJ_bGetAdvanceWidths || count < 3) return 1;
  POINTQF* advances = static_cast<POINTQF*>(malloc(count * sizeof(POINTQF)));
  double* ratios = static_cast<double*>(malloc(count * sizeof(double)));
  ULONG taken = 0;
  if (advances && ratios && engine.STROBJ_bGetAdvanceWidths(text, 0, count, advances)) {
    double baseline = sqrt(matrix.A * matrix.A + matrix.B * matrix.B);
    for (ULONG i = 0; i < count; ++i) {
      uint32_t advance;
      int32_t bearing;
      if (glyphs[i].Character == ' ' || glyphs[i].Handle > 0xFFFF ||
          !ReadGlyphMetrics(font, metrics, uint32_t(glyphs[i].Handle), advance, bearing))
        continue;
      double expected = advance * baseline / metrics.UnitsPerEm;
      double x = PixelsOfQuadFix(advances[i].x), y = PixelsOfQuadFix(advances[i].y);
      if (expected >= 4) ratios[taken++] = sqrt(x * x + y * y) / expected;
    }
  }
  double scale = 1;
  if (taken >= 3) {
    qsort(ratios, taken, sizeof(double), CompareRatios);
    double median = ratios[taken / 2];
    ULONG agreeing = 0;
    for (ULONG i = 0; i < taken; ++i)
      if (fabs(ratios[i] - median) <= 0.1 * median) ++agreeing;
    if ((median < 0.92 || median > 1.08) && median > 0.2 && median < 5 && agreeing * 2 > taken) scale = median;
  }
  free(advances);
  free(ratios);
  return scale;
}

// The string's glyphs through a Type 3 face of GDI's outlines; false when GDI gives none.
bool UseOutlines(PdfDocument& document, const EngineCalls& engine, FONTOBJ* fontObject, TextFace& face,
                 TextGlyph* glyphs, ULONG count, const TextMatrix& matrix) {
  for (ULONG i = 0; i < count; ++i) {
    long index = TakeGlyphOutline(engine, fontObject, glyphs[i].Handle, matrix, face.Outlines);
    if (index < 0) return false;
    DWORD id = TextFontId(document, face, index);
    if (!id) return false;
    uint16_t unit = uint16_t(glyphs[i].Character);
    if (unit && (unit < 0xD800 || unit >= 0xE000)) SetType3GlyphText(face.Outlines, index, &unit, 1);
    glyphs[i].Code = index % 256;
    glyphs[i].FontId = id;
    glyphs[i].Width = floor(face.Outlines.Glyphs[index].Advance * 1000 + 0.5) / 1e6;  // as the font writes it
  }
  return true;
}

// The characters of a bitmap font's string as empty glyphs of the document's invisible face, one
// em as tall as the string's background. Each glyph is as wide as GDI advanced it here (a glyph
// a character, a width and an em), so that a reader sees no gap inside a word and the gaps between words
// where they are; false when GDI gave no characters.
bool UseInvisible(PdfDocument& document, TextFace& face, TextGlyph* glyphs, ULONG count, double em,
                  LONG lineEnd) {
  for (ULONG i = 0; i < count; ++i) {
    WCHAR character = glyphs[i].Character;
    if (!character) return false;
    LONG next = i + 1 < count ? glyphs[i + 1].Origin.x : lineEnd;
    LONG pixels = next - glyphs[i].Origin.x;
    if (pixels < 0 || pixels > LONG(4 * em)) pixels = LONG(em / 2);
    // The width in glyph space follows from the advance and the em: both name the glyph.
    uint64_t key = uint64_t(character) | (uint64_t(pixels & 0x1FFFFF) << 21) | (uint64_t(LONG(em + 0.5) & 0x1FFFFF) << 42);
    long index = FindType3Glyph(face.Outlines, key);
    if (index < 0) {
      index = AddType3Glyph(face.Outlines, key, floor(pixels * 1000 / em + 0.5));
      if (index < 0) return false;
      EndType3Glyph(face.Outlines, index);
      uint16_t unit = uint16_t(character);
      SetType3GlyphText(face.Outlines, index, &unit, 1);
    }
    DWORD id = TextFontId(document, face, index);
    if (!id) return false;
    glyphs[i].Code = index % 256;
    glyphs[i].FontId = id;
    glyphs[i].Width = face.Outlines.Glyphs[index].Advance / 1000;
  }
  return true;
}

enum TextRoute { RouteSubset, RouteOutlines, RouteInvisible, RoutePatch };

ULONG_PTR Mix(ULONG_PTR hash, const void* bytes, size_t count) {
  const BYTE* at = static_cast<const BYTE*>(bytes);
  for (size_t i = 0; i < count; ++i) hash = (hash ^ at[i]) * ULONG_PTR(0x100000001B3ull);
  return hash;
}

// Which face this is, from the face itself: GDI's numbers for fonts (iTTUniq, iFace) need not
// tell faces apart, while head (with its dates and checksum), hhea, the name, the licence and the
// glyph count do.
ULONG_PTR FaceKey(const FontFile& font, const FontMetrics& metrics) {
  ULONG_PTR hash = ULONG_PTR(0xCBF29CE484222325ull);
  FontBytes head, hhea;
  if (FindFontTable(font, FontTag('h', 'e', 'a', 'd'), head)) hash = Mix(hash, head.Data, head.Size < 54 ? head.Size : 54);
  if (FindFontTable(font, FontTag('h', 'h', 'e', 'a'), hhea)) hash = Mix(hash, hhea.Data, hhea.Size < 36 ? hhea.Size : 36);
  hash = Mix(hash, metrics.PostScriptName, sizeof(metrics.PostScriptName));
  uint32_t numbers[2] = {metrics.FsType, metrics.GlyphCount};  // a copy whose licence was changed is another face
  hash = Mix(hash, numbers, sizeof(numbers));
  return hash & ~(OutlineKeyBit | (OutlineKeyBit << 1));
}

// A face GDI gives no tables of: its numbers, name and simulations (its outlines carry them).
ULONG_PTR OutlineFaceKey(FONTOBJ* font, const WCHAR* faceName) {
  ULONG_PTR hash = ULONG_PTR(0xCBF29CE484222325ull);
  ULONG_PTR numbers[2] = {font->iTTUniq ? font->iTTUniq : font->iUniq, font->flFontType & (FO_SIM_BOLD | FO_SIM_ITALIC)};
  hash = Mix(hash, numbers, sizeof(numbers));
  for (const WCHAR* c = faceName; c && *c; ++c) hash = Mix(hash, c, sizeof(WCHAR));
  return (hash & ~(OutlineKeyBit | (OutlineKeyBit << 1))) | OutlineKeyBit;
}

}  // namespace

extern "C" BOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                                    RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                                    MIX mix) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device || !device->Engine.EngTextOut) return FALSE;
  const EngineCalls& engine = device->Engine;
  PageRecording* page = RecordingOf(pso);
  if (page && device->Document) {
    RECTL bounds = {0, 0, 0, 0};
    if (pstro) Include(bounds, pstro->rclBkGround);
    if (prclOpaque) Include(bounds, *prclOpaque);
    // prclExtra: rectangles (underlines, strike-outs) up to one whose corners are both zero.
    ULONG extras = 0;
    for (RECTL* extra = prclExtra; extra && (extra->left || extra->top || extra->right || extra->bottom); ++extra) {
      Include(bounds, *extra);
      ++extras;
    }
    ULONG foreground = 0, background = 0;
    bool exact = (mix & 0xFF) == R2_COPYPEN && SolidColour(pboFore, foreground) &&
                 (!prclOpaque || (((mix >> 8) & 0xFF) == R2_COPYPEN && SolidColour(pboOpaque, background)));
    ULONG count = 0;
    TextGlyph* glyphs = exact ? ReadGlyphs(engine, pstro, count) : nullptr;
    TextRoute route = RoutePatch;
    TextMatrix matrix = {};
    TextFace* face = nullptr;
    PdfDocument& document = *device->Document;
    IFIMETRICS* metrics = engine.FONTOBJ_pifi && pfo ? engine.FONTOBJ_pifi(pfo) : nullptr;
    const WCHAR* faceName =
        metrics ? reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(metrics) + metrics->dpwszFaceName) : nullptr;
    bool bitmapFont = pfo && (pfo->flFontType & RASTER_FONTTYPE);
    if (glyphs && pfo && !bitmapFont) {
      FontFile font;
      FontMetrics fontMetrics;
      bool trueType = (pfo->flFontType & TRUETYPE_FONTTYPE) && ReadFontOfObject(engine, pfo, font) &&
                      ReadFontMetrics(font, fontMetrics);
      ULONG unitsPerEm = trueType ? fontMetrics.UnitsPerEm : (metrics ? metrics->fwdUnitsPerEm : 0);
      ULONG_PTR key = trueType ? FaceKey(font, fontMetrics) : OutlineFaceKey(pfo, faceName);
      // GDI's outlines of a face carry its simulations: each simulation is a Type 3 face of its own.
      ULONG_PTR simulations = pfo->flFontType & (FO_SIM_BOLD | FO_SIM_ITALIC);
      ULONG_PTR outlineKey = trueType ? ((key ^ (simulations * 0x9E3779B1u)) | OutlineKeyBit) : key;
      if (ReadTextMatrix(engine, pfo, unitsPerEm, matrix)) {
        if (trueType) {
          TextFace* subset = FindTextFace(document, key, TextFaceSubset, faceName);
          if (subset && !subset->DrawFromOutlines && !subset->Subset.GlyphCount && !BeginSubsetFace(subset->Subset, font))
            subset->DrawFromOutlines = true;  // CFF, a licence that forbids it, tables that lie
          if (subset && !subset->DrawFromOutlines &&
              !HandlesAreGlyphIds(engine, pstro, font, fontMetrics, glyphs, count, matrix))
            subset->DrawFromOutlines = true;  // from now on; what earlier pages drew by id stays
          if (subset && !subset->DrawFromOutlines && UseSubset(document, *subset, font, glyphs, count)) {
            route = RouteSubset;  // (a glyph that lies sends this string alone to the outlines)
            double scale = WidthScale(engine, pstro, font, fontMetrics, glyphs, count, matrix);
            matrix.A *= scale;
            matrix.B *= scale;
          }
        }
        if (route == RoutePatch) face = FindTextFace(document, outlineKey, TextFaceOutlines, faceName);
        if (route == RoutePatch && face && UseOutlines(document, engine, pfo, *face, glyphs, count, matrix))
          route = RouteOutlines;
      }
    }
    if (glyphs && route == RoutePatch) {
      // Bitmaps (or outlines GDI would not give): the engine's pixels, with the text under them.
      TextFace* invisible = FindTextFace(document, 0, TextFaceInvisible, L"Invisible");
      double em = double(pstro->rclBkGround.bottom - pstro->rclBkGround.top);
      matrix.A = em;
      matrix.B = matrix.C = 0;
      matrix.D = -em;
      if (invisible && em > 0 && UseInvisible(document, *invisible, glyphs, count, em, pstro->rclBkGround.right))
        route = RouteInvisible;
    }

    if ((route == RouteSubset || route == RouteOutlines) && metrics)
      IncludeGlyphBoxes(bounds, glyphs, count, matrix, metrics->rclFontBox, metrics->fwdUnitsPerEm);
    bool clipped = route != RoutePatch && ContentBeginClip(*page, engine, pco);
    if (clipped) {
      if (prclOpaque && route != RouteInvisible) {
        ContentSetFillColour(*page, background);
        FillRectangle(*page, *prclOpaque);
      }
      if (route == RouteSubset || route == RouteOutlines || route == RouteInvisible) {
        bool simulated = route == RouteSubset && (pfo->flFontType & (FO_SIM_BOLD | FO_SIM_ITALIC));
        if (simulated) ContentSave(*page);
        int renderMode = route == RouteInvisible ? 3 : 0;
        if (route == RouteSubset && (pfo->flFontType & FO_SIM_ITALIC) &&
            fabs(matrix.A * matrix.C + matrix.B * matrix.D) < 1e-6 * (matrix.A * matrix.A + matrix.B * matrix.B)) {
          matrix.C += ItalicShear * matrix.A;
          matrix.D += ItalicShear * matrix.B;
        }
        if (route == RouteSubset && (pfo->flFontType & FO_SIM_BOLD)) {
          ContentSetStrokeColour(*page, foreground);
          PageAppendReal(*page, BoldStroke * sqrt(matrix.C * matrix.C + matrix.D * matrix.D));
          PageAppend(*page, "w 1 j\n");
          renderMode = 2;
        }
        if (route != RouteInvisible) ContentSetFillColour(*page, foreground);
        WriteGlyphs(*page, glyphs, count, matrix, route == RouteSubset ? 2 : 1, renderMode);
        if (simulated) ContentRestore(*page);
      }
      if (extras && route != RouteInvisible) {
        ContentSetFillColour(*page, foreground);
        for (ULONG i = 0; i < extras; ++i) FillRectangle(*page, prclExtra[i]);
      }
      ContentEndClip(*page);
    }
    if (clipped && route != RouteInvisible) PageNoteExact(*page, bounds, pco);
    else PageNotePatch(*page, bounds, pco);
    free(glyphs);
  }
  return engine.EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
}
