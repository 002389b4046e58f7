// Text records (EMR_EXTTEXTOUTW, EMR_EXTTEXTOUTA) as DrvTextOut: the glyph indices of the DC's
// font (GetGlyphIndicesW; the string itself with ETO_GLYPH_INDEX), each glyph's origin in device
// pixels from the reference point, the text alignment, the font's escapement and the advances the
// record carries, the opaque rectangle (ETO_OPAQUE, or the text's background in OPAQUE mode) and
// the clip (ETO_CLIPPED narrows it to the record's rectangle).
#include <math.h>

#include "dc_transform.h"
#include "record_player.h"
#include "text_objects.h"

namespace {

struct Point2 {
  double x, y;
};

Point2 Apply(const XFORM& t, double x, double y) {
  return {x * t.eM11 + y * t.eM21 + t.eDx, x * t.eM12 + y * t.eM22 + t.eDy};
}

LONG Round(double v) { return static_cast<LONG>(floor(v + 0.5)); }

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
  double total = 0;
  for (double a : advanceX) total += a;

  TEXTMETRICW tm = {};
  GetTextMetricsW(dc, &tm);
  UINT align = GetTextAlign(dc);
  DcTransform transform;
  SaveTransform(dc, transform);
  XFORM toDevice = WorldToDevice(transform);
  double angle = font->Logical.lfEscapement * 3.14159265358979 / 1800;
  Point2 along = {cos(angle), -sin(angle)}, down = {sin(angle), cos(angle)};
  POINT reference = {emr.ptlReference.x, emr.ptlReference.y};
  if (align & TA_UPDATECP) GetCurrentPositionEx(dc, &reference);
  double shift = (align & TA_CENTER) == TA_CENTER ? -total / 2 : (align & TA_RIGHT) ? -total : 0;
  double drop = (align & TA_BASELINE) == TA_BASELINE ? 0 : (align & TA_BOTTOM) ? -tm.tmDescent : tm.tmAscent;
  Point2 origin = {reference.x + shift * along.x + drop * down.x, reference.y + shift * along.y + drop * down.y};

  text.Glyphs.resize(glyphs);
  text.Advances.resize(glyphs);
  RECTL background = {0, 0, 0, 0};
  bool first = true;
  double penX = 0, penY = 0;
  for (DWORD i = 0; i <= glyphs; ++i) {
    Point2 logical = {origin.x + penX * along.x + penY * down.x, origin.y + penX * along.y + penY * down.y};
    Point2 device = Apply(toDevice, logical.x, logical.y);
    for (double side : {-static_cast<double>(tm.tmAscent), static_cast<double>(tm.tmDescent)})
      Include(background, first, Apply(toDevice, logical.x + side * down.x, logical.y + side * down.y));
    if (i == glyphs) break;
    GLYPHPOS& pos = text.Glyphs[i];
    pos.hg = indices[i];
    pos.pgdf = nullptr;
    pos.ptl = {Round(device.x), Round(device.y)};
    penX += advanceX[i];
    penY -= advanceY[i];  // ETO_PDY: positive dy goes up the page
    Point2 next = Apply(toDevice, origin.x + penX * along.x + penY * down.x, origin.y + penX * along.y + penY * down.y);
    text.Advances[i] = {Round((next.x - device.x) * 16), Round((next.y - device.y) * 16)};
  }
  STROBJ& so = text.Object;
  so.cGlyphs = glyphs;
  so.flAccel = (glyphIndex ? SO_GLYPHINDEX_TEXTOUT : 0) | (pdy ? SO_DXDY : 0);
  if (angle == 0 && toDevice.eM12 == 0 && toDevice.eM21 == 0) so.flAccel |= SO_HORIZONTAL;
  so.rclBkGround = background;
  so.pgp = text.Glyphs.data();
  so.pwszOrg = glyphIndex ? nullptr : text.Characters.data();

  // The opaque rectangle in device pixels: ETO_OPAQUE's, or the background in OPAQUE mode.
  RECTL opaque = background, *prclOpaque = nullptr;
  if (emr.fOptions & ETO_OPAQUE) {
    bool any = true;
    const RECTL& r = emr.rcl;
    for (const Point2& p : {Apply(toDevice, r.left, r.top), Apply(toDevice, r.right, r.bottom),
                            Apply(toDevice, r.left, r.bottom), Apply(toDevice, r.right, r.top)})
      Include(opaque, any, p);
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
