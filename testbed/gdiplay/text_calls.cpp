// Text records (EMR_EXTTEXTOUTW, EMR_EXTTEXTOUTA) as DrvTextOut: the glyph indices of the DC's
// font (GetGlyphIndicesW; the string itself with ETO_GLYPH_INDEX), each glyph's origin in device
// pixels as GDI places them from the reference point, the text alignment, the font's escapement
// and the advances the record carries, the opaque rectangle (ETO_OPAQUE, or the text's background
// in OPAQUE mode) and the clip (ETO_CLIPPED narrows it to the record's rectangle).
#include <math.h>

#include "record_player.h"
#include "text_objects.h"

namespace {

struct Point2 {
  double x, y;
};

void Include(RECTL& box, bool& first, const Point2& p) {
  LONG x0 = static_cast<LONG>(floor(p.x)), y0 = static_cast<LONG>(floor(p.y));
  LONG x1 = static_cast<LONG>(ceil(p.x)), y1 = static_cast<LONG>(ceil(p.y));
  if (first || x0 < box.left) box.left = x0;
  if (first || y0 < box.top) box.top = y0;
  if (first || x1 > box.right) box.right = x1;
  if (first || y1 > box.bottom) box.bottom = y1;
  first = false;
}

}  // namespace

bool PlayTextRecord(PlayContext& play) {
  DWORD type = play.Record->iType;
  if (type != EMR_EXTTEXTOUTW && type != EMR_EXTTEXTOUTA) return false;
  auto textOut = reinterpret_cast<PFN_DrvTextOut>(reinterpret_cast<void (*)()>(DriverFunction(INDEX_DrvTextOut)));
  if (!(play.Hooks & HOOK_TEXTOUT) || !textOut) return false;
  const EMREXTTEXTOUTW& record = *reinterpret_cast<const EMREXTTEXTOUTW*>(play.Record);
  const EMRTEXT& emr = record.emrtext;
  const BYTE* base = reinterpret_cast<const BYTE*>(play.Record);
  DWORD size = play.Record->nSize;
  DWORD count = emr.nChars;
  bool pdy = (emr.fOptions & ETO_PDY) != 0;
  DWORD charBytes = type == EMR_EXTTEXTOUTW ? 2 : 1;
  // The record's own offsets and counts are checked against its size before anything is read.
  if (count == 0 || count > 0x10000 || emr.offString > size || count * charBytes > size - emr.offString ||
      (emr.offDx && (emr.offDx > size || count * (pdy ? 8u : 4u) > size - emr.offDx)))
    return false;
  HDC dc = play.Dc;
  HostFont* font = FontOfDc(dc);
  if (!font) return false;

  HostString text = {};
  text.Font = font;
  if (type == EMR_EXTTEXTOUTW) {
    const WCHAR* chars = reinterpret_cast<const WCHAR*>(base + emr.offString);
    text.Characters.assign(chars, chars + count);
  } else {
    int wide = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(base + emr.offString), count, nullptr, 0);
    if (wide <= 0) return false;
    text.Characters.resize(wide);
    MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(base + emr.offString), count, text.Characters.data(),
                        wide);
  }
  DWORD glyphs = static_cast<DWORD>(text.Characters.size());
  std::vector<WORD> indices(glyphs);
  bool glyphIndex = (emr.fOptions & ETO_GLYPH_INDEX) != 0;
  if (glyphIndex) {
    for (DWORD i = 0; i < glyphs; ++i) indices[i] = text.Characters[i];
  } else if (GetGlyphIndicesW(dc, text.Characters.data(), glyphs, indices.data(), 0) == GDI_ERROR) {
    return false;
  }
  // Advances in logical units along the baseline (and across it with ETO_PDY).
  std::vector<double> advanceX(glyphs, 0), advanceY(glyphs, 0);
  if (emr.offDx && glyphs == count) {
    const INT* dx = reinterpret_cast<const INT*>(base + emr.offDx);
    for (DWORD i = 0; i < glyphs; ++i) {
      advanceX[i] = pdy ? dx[2 * i] : dx[i];
      if (pdy) advanceY[i] = dx[2 * i + 1];
    }
  } else {
    std::vector<INT> widths(glyphs);
    SIZE extent;
    GetTextExtentExPointW(dc, text.Characters.data(), glyphs, 0, nullptr, widths.data(), &extent);
    for (DWORD i = 0; i < glyphs; ++i) advanceX[i] = widths[i] - (i ? widths[i - 1] : 0);
  }
  // The origins as GDI places them, in whole device pixels: the reference point mapped, each glyph
  // at the mapped sum of the advances before it (along the escapement), the alignment applied in
  // device space with the ascent or descent mapped there.
  TEXTMETRICW tm = {};
  GetTextMetricsW(dc, &tm);
  UINT align = GetTextAlign(dc);
  double angle = (tm.tmPitchAndFamily & TMPF_VECTOR) ? font->Logical.lfEscapement * 3.14159265358979 / 1800 : 0;
  double cosEsc = cos(angle), sinEsc = sin(angle);
  XFORM world = {1, 0, 0, 1, 0, 0};
  GetWorldTransform(dc, &world);
  bool compatible = GetGraphicsMode(dc) == GM_COMPATIBLE;
  POINT reference = {emr.ptlReference.x, emr.ptlReference.y};
  if (align & TA_UPDATECP) GetCurrentPositionEx(dc, &reference);
  LPtoDP(dc, &reference, 1);
  std::vector<POINT> offsets(glyphs + 1, POINT{0, 0});
  double totalX = 0, totalY = 0;
  for (DWORD i = 0; i < glyphs; ++i) {
    totalX += advanceX[i];
    totalY -= advanceY[i];  // ETO_PDY: a positive dy goes up the page
    POINT desired[2] = {{0, 0}, {static_cast<LONG>(cosEsc * totalX + sinEsc * totalY),
                                 static_cast<LONG>(-sinEsc * totalX + cosEsc * totalY)}};
    LPtoDP(dc, desired, 2);
    POINT step = {desired[1].x - desired[0].x, desired[1].y - desired[0].y};
    if (compatible && world.eM11 < 0) step.x = -step.x;
    if (compatible && world.eM22 < 0) step.y = -step.y;
    offsets[i + 1] = step;
  }
  POINT width = offsets[glyphs];
  POINT metric[3] = {{0, 0}, {0, tm.tmAscent}, {0, tm.tmDescent}};
  LPtoDP(dc, metric, 3);
  LONG ascent = labs(metric[1].y - metric[0].y), descent = labs(metric[2].y - metric[0].y);
  LONG x = reference.x, y = reference.y;
  if ((align & TA_CENTER) == TA_CENTER) {
    x -= width.x / 2;
    y -= width.y / 2;
  } else if (align & TA_RIGHT) {
    x -= width.x;
    y -= width.y;
  }
  if ((align & TA_BASELINE) == TA_BASELINE) {
  } else if (align & TA_BOTTOM) {
    y = static_cast<LONG>(y - descent * cosEsc);
    x = static_cast<LONG>(x - descent * sinEsc);
  } else {
    y = static_cast<LONG>(y + ascent * cosEsc);
    x = static_cast<LONG>(x + ascent * sinEsc);
  }

  text.Glyphs.resize(glyphs);
  text.Advances.resize(glyphs);
  for (DWORD i = 0; i < glyphs; ++i) {
    GLYPHPOS& pos = text.Glyphs[i];
    pos.hg = indices[i];
    pos.pgdf = nullptr;
    pos.ptl = {x + offsets[i].x, y + offsets[i].y};
    text.Advances[i] = {(offsets[i + 1].x - offsets[i].x) * 16, (offsets[i + 1].y - offsets[i].y) * 16};
  }
  // The text's cell: from the first origin to the end, the ascent above and the descent below.
  RECTL background = {0, 0, 0, 0};
  bool first = true;
  for (const POINT& end : {POINT{x, y}, POINT{x + width.x, y + width.y}})
    for (double side : {-static_cast<double>(ascent), static_cast<double>(descent)})
      Include(background, first, {end.x + side * sinEsc, end.y + side * cosEsc});
  STROBJ& so = text.Object;
  so.cGlyphs = glyphs;
  so.flAccel = (glyphIndex ? SO_GLYPHINDEX_TEXTOUT : 0) | (pdy ? SO_DXDY : 0);
  if (angle == 0 && world.eM12 == 0 && world.eM21 == 0) so.flAccel |= SO_HORIZONTAL;
  so.rclBkGround = background;
  so.pgp = text.Glyphs.data();
  so.pwszOrg = glyphIndex ? nullptr : text.Characters.data();

  // The opaque rectangle in device pixels: ETO_OPAQUE's, or the background in OPAQUE mode.
  RECTL opaque = background, *prclOpaque = nullptr;
  if (emr.fOptions & ETO_OPAQUE) {
    POINT corners[2] = {{emr.rcl.left, emr.rcl.top}, {emr.rcl.right, emr.rcl.bottom}};
    LPtoDP(dc, corners, 2);
    opaque = {corners[0].x < corners[1].x ? corners[0].x : corners[1].x,
              corners[0].y < corners[1].y ? corners[0].y : corners[1].y,
              corners[0].x < corners[1].x ? corners[1].x : corners[0].x,
              corners[0].y < corners[1].y ? corners[1].y : corners[0].y};
    prclOpaque = &opaque;
  } else if (GetBkMode(dc) == OPAQUE) {
    prclOpaque = &opaque;
  }
  LONG margin = tm.tmHeight * 2 + 4;  // glyphs may reach past their cells
  RECTL bounds = {background.left - margin, background.top - margin, background.right + margin,
                  background.bottom + margin};
  if (prclOpaque) {
    bounds.left = bounds.left < opaque.left ? bounds.left : opaque.left;
    bounds.top = bounds.top < opaque.top ? bounds.top : opaque.top;
    bounds.right = bounds.right > opaque.right ? bounds.right : opaque.right;
    bounds.bottom = bounds.bottom > opaque.bottom ? bounds.bottom : opaque.bottom;
  }
  HostClip clip;
  bool visible;
  if (emr.fOptions & ETO_CLIPPED) {
    HRGN saved = CreateRectRgn(0, 0, 0, 0);
    int hasClip = GetClipRgn(dc, saved);
    IntersectClipRect(dc, emr.rcl.left, emr.rcl.top, emr.rcl.right, emr.rcl.bottom);
    visible = BuildClip(dc, play.Surface->sizlBitmap, bounds, clip);
    SelectClipRgn(dc, hasClip == 1 ? saved : nullptr);
    DeleteObject(saved);
  } else {
    visible = BuildClip(dc, play.Surface->sizlBitmap, bounds, clip);
  }
  if (!visible) return false;
  HostBrush fore, back;
  SolidBrush(GetTextColor(dc), fore);
  SolidBrush(GetBkColor(dc), back);
  POINTL brushOrigin = {0, 0};
  FinishCall(play, textOut(play.Surface, &so, &font->Object, &clip.Object, nullptr, prclOpaque, &fore.Object,
                           &back.Object, &brushOrigin, R2_COPYPEN | (R2_COPYPEN << 8)),
             "DrvTextOut");
  return true;
}
