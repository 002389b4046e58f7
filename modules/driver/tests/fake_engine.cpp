#include "fake_engine.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <zlib.h>

#include <algorithm>

#include "draw_calls.h"
#include "page_send.h"

namespace {

FakeDevice* current;  // the device the twins draw into

ULONG Pixel(const SURFOBJ& surface, LONG x, LONG y) {
  const BYTE* p = static_cast<const BYTE*>(surface.pvScan0) + static_cast<LONG_PTR>(y) * surface.lDelta + 3 * x;
  return p[0] | (p[1] << 8) | (p[2] << 16);
}

void Put(FakeDevice& fake, LONG x, LONG y, ULONG colour) {
  if (x < 0 || y < 0 || x >= fake.Surface.sizlBitmap.cx || y >= fake.Surface.sizlBitmap.cy) return;
  BYTE* p = fake.Pixels.data() + static_cast<size_t>(y) * fake.Surface.lDelta + 3 * x;
  p[0] = static_cast<BYTE>(colour);
  p[1] = static_cast<BYTE>(colour >> 8);
  p[2] = static_cast<BYTE>(colour >> 16);
}

bool InClip(CLIPOBJ* pco, LONG x, LONG y) {
  if (!pco || pco->iDComplexity == DC_TRIVIAL) return true;
  const RECTL& b = pco->rclBounds;
  if (x < b.left || x >= b.right || y < b.top || y >= b.bottom) return false;
  if (pco->iDComplexity == DC_RECT) return true;
  const FakeClip* clip = reinterpret_cast<const FakeClip*>(pco);
  for (const RECTL& r : clip->Rectangles)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

ULONG BrushAt(BRUSHOBJ* pbo, LONG x, LONG y) {
  if (pbo->iSolidColor != 0xFFFFFFFF) return pbo->iSolidColor;
  return ((x / 4 + y / 4) & 1) ? 0x203080 : 0xF0E0A0;  // the pattern
}

// Source colours, per pixel, as the bitmap's XLATEOBJ says them.
ULONG SourceColour(SURFOBJ* source, XLATEOBJ* xlate, LONG x, LONG y) {
  const FakeBitmap* bitmap = reinterpret_cast<const FakeBitmap*>(source);
  const BYTE* row = static_cast<const BYTE*>(source->pvScan0) + static_cast<LONG_PTR>(y) * source->lDelta;
  ULONG value = 0;
  switch (source->iBitmapFormat) {
    case BMF_1BPP: value = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
    case BMF_4BPP: value = (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4; break;
    case BMF_8BPP: value = row[x]; break;
    case BMF_16BPP: value = row[2 * x] | (row[2 * x + 1] << 8); break;
    case BMF_24BPP: value = row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16); break;
    case BMF_32BPP: value = row[4 * x] | (row[4 * x + 1] << 8) | (row[4 * x + 2] << 16) | (row[4 * x + 3] << 24); break;
  }
  (void)xlate;
  return BitmapColour(*bitmap, value);
}

BOOL APIENTRY TwinBitBlt(SURFOBJ*, SURFOBJ* psoSrc, SURFOBJ*, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
                         POINTL* pptlSrc, POINTL*, BRUSHOBJ* pbo, POINTL*, ROP4 rop4) {
  ++current->TwinCalls;
  ULONG rop = rop4 & 0xFF;
  for (LONG y = prclTrg->top; y < prclTrg->bottom; ++y)
    for (LONG x = prclTrg->left; x < prclTrg->right; ++x) {
      if (!InClip(pco, x, y)) continue;
      if (rop == 0xCC)
        Put(*current, x, y, SourceColour(psoSrc, pxlo, pptlSrc->x + x - prclTrg->left, pptlSrc->y + y - prclTrg->top));
      else if (rop == 0xF0)
        Put(*current, x, y, BrushAt(pbo, x, y));
      else if (rop == 0x5A)  // PATINVERT: the page read back
        Put(*current, x, y, BrushAt(pbo, x, y) ^ PagePixel(*current, x, y));
    }
  return TRUE;
}

BOOL APIENTRY TwinAlphaBlend(SURFOBJ*, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ*, RECTL* prclDest, RECTL* prclSrc,
                             BLENDOBJ* blend) {
  ++current->TwinCalls;
  ULONG constant = blend->BlendFunction.SourceConstantAlpha;
  bool perPixel = (blend->BlendFunction.AlphaFormat & AC_SRC_ALPHA) != 0;
  for (LONG y = prclDest->top; y < prclDest->bottom; ++y)
    for (LONG x = prclDest->left; x < prclDest->right; ++x) {
      if (!InClip(pco, x, y)) continue;
      const BYTE* s = static_cast<const BYTE*>(psoSrc->pvScan0) + (prclSrc->top + y - prclDest->top) * psoSrc->lDelta +
                      4 * (prclSrc->left + x - prclDest->left);
      ULONG d = PagePixel(*current, x, y);
      ULONG out = 0;
      for (int c = 0; c < 3; ++c) {
        ULONG dc = (d >> (8 * c)) & 255, sc = s[c];
        ULONG a = perPixel ? s[3] : 255;
        // premultiplied: out = src * ca + dst * (1 - srcA * ca)
        double value = sc * constant / 255.0 + dc * (1 - a * constant / (255.0 * 255.0));
        out |= static_cast<ULONG>(value + 0.5 > 255 ? 255 : value + 0.5) << (8 * c);
      }
      Put(*current, x, y, out);
    }
  return TRUE;
}

BOOL APIENTRY TwinTransparentBlt(SURFOBJ*, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
                                 RECTL* prclSrc, ULONG key, ULONG) {
  ++current->TwinCalls;
  const FakeBitmap* bitmap = reinterpret_cast<const FakeBitmap*>(psoSrc);
  for (LONG y = prclDst->top; y < prclDst->bottom; ++y)
    for (LONG x = prclDst->left; x < prclDst->right; ++x) {
      LONG sx = prclSrc->left + x - prclDst->left, sy = prclSrc->top + y - prclDst->top;
      const BYTE* row = bitmap->Bits.data() + sy * psoSrc->lDelta;
      ULONG value = row[3 * sx] | (row[3 * sx + 1] << 8) | (row[3 * sx + 2] << 16);
      if (InClip(pco, x, y) && value != key) Put(*current, x, y, SourceColour(psoSrc, pxlo, sx, sy));
    }
  return TRUE;
}

// Fills and strokes are counted, and a fill paints the box of its points (the tests fill boxes).
BOOL APIENTRY TwinFillPath(SURFOBJ*, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL*, MIX, FLONG) {
  ++current->TwinCalls;
  const FakePath* path = reinterpret_cast<const FakePath*>(ppo);
  LONG left = 1 << 30, top = 1 << 30, right = -(1 << 30), bottom = -(1 << 30);
  for (const FakePathRecord& record : path->Records)
    for (const POINTFIX& p : record.Points) {
      left = std::min<LONG>(left, p.x / 16);
      top = std::min<LONG>(top, p.y / 16);
      right = std::max<LONG>(right, p.x / 16);
      bottom = std::max<LONG>(bottom, p.y / 16);
    }
  for (LONG y = top; y < bottom; ++y)
    for (LONG x = left; x < right; ++x)
      if (InClip(pco, x, y)) Put(*current, x, y, BrushAt(pbo, x, y));
  return TRUE;
}
BOOL APIENTRY TwinStrokePath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX) {
  ++current->TwinCalls;
  return TRUE;
}
BOOL APIENTRY TwinLineTo(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX) {
  ++current->TwinCalls;
  return TRUE;
}
BOOL APIENTRY TwinGradientFill(SURFOBJ*, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID, ULONG, RECTL*, POINTL*,
                               ULONG) {
  ++current->TwinCalls;
  return TRUE;
}
// Text: the background box painted, as a string of glyphs would be.
BOOL APIENTRY TwinTextOut(SURFOBJ*, STROBJ* pstro, FONTOBJ*, CLIPOBJ* pco, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                          POINTL*, MIX) {
  ++current->TwinCalls;
  const RECTL& r = pstro->rclBkGround;
  for (LONG y = r.top; y < r.bottom; ++y)
    for (LONG x = r.left; x < r.right; ++x)
      if (InClip(pco, x, y) && ((x + y) % 3 == 0)) Put(*current, x, y, 0x101010);
  return TRUE;
}

VOID APIENTRY PathEnumStart(PATHOBJ* ppo) { reinterpret_cast<FakePath*>(ppo)->Next = 0; }
BOOL APIENTRY PathEnum(PATHOBJ* ppo, PATHDATA* ppd) {
  FakePath* path = reinterpret_cast<FakePath*>(ppo);
  if (path->Next >= path->Records.size()) {
    ppd->count = 0;
    ppd->flags = 0;
    ppd->pptfx = nullptr;
    return FALSE;
  }
  FakePathRecord& record = path->Records[path->Next++];
  ppd->flags = record.Flags;
  ppd->count = static_cast<ULONG>(record.Points.size());
  ppd->pptfx = record.Points.data();
  return path->Next < path->Records.size();
}
ULONG APIENTRY ClipEnumStart(CLIPOBJ* pco, BOOL, ULONG, ULONG, ULONG) {
  FakeClip* clip = reinterpret_cast<FakeClip*>(pco);
  clip->Next = 0;
  return static_cast<ULONG>(clip->Rectangles.size());
}
BOOL APIENTRY ClipEnum(CLIPOBJ* pco, ULONG cj, ULONG* pv) {
  FakeClip* clip = reinterpret_cast<FakeClip*>(pco);
  ENUMRECTS* out = reinterpret_cast<ENUMRECTS*>(pv);
  ULONG room = static_cast<ULONG>((cj - sizeof(ULONG)) / sizeof(RECTL));
  out->c = 0;
  while (out->c < room && clip->Next < clip->Rectangles.size()) out->arcl[out->c++] = clip->Rectangles[clip->Next++];
  return clip->Next < clip->Rectangles.size();
}
ULONG APIENTRY Xlate(XLATEOBJ* pxlo, ULONG value) {
  return BitmapColour(*reinterpret_cast<const FakeXlate*>(pxlo)->Bitmap, value);
}
ULONG APIENTRY BrushColour(BRUSHOBJ* pbo) { return pbo->iSolidColor; }
ULONG APIENTRY GetXform(XFORMOBJ* pxo, XFORML* xform) {
  const float* m = reinterpret_cast<const float*>(pxo);
  xform->eM11 = m[0];
  xform->eM12 = m[1];
  xform->eM21 = m[2];
  xform->eM22 = m[3];
  xform->eDx = xform->eDy = 0;
  return GX_GENERAL;
}

bool WriteToString(void* target, const BYTE* bytes, DWORD count) {
  static_cast<FakeDevice*>(target)->Written.append(reinterpret_cast<const char*>(bytes), count);
  return true;
}

std::string Inflate(const std::string& data) {
  z_stream z = {};
  inflateInit(&z);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char buffer[65536];
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof(buffer);
    result = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof(buffer) - z.avail_out);
  }
  inflateEnd(&z);
  return out;
}

// PNG-filtered rows back to samples, as a PNG decoder undoes its five filters.
std::string Unpredict(const std::string& data, size_t pixelBytes, size_t columns) {
  size_t bytes = pixelBytes * columns;
  std::string out;
  std::vector<int> above(bytes, 0);
  for (size_t at = 0; at + bytes + 1 <= data.size(); at += bytes + 1) {
    int type = static_cast<BYTE>(data[at]);
    std::vector<int> row(bytes, 0);
    for (size_t i = 0; i < bytes; ++i) {
      int value = static_cast<BYTE>(data[at + 1 + i]);
      int a = i >= pixelBytes ? row[i - pixelBytes] : 0, b = above[i], c = i >= pixelBytes ? above[i - pixelBytes] : 0;
      int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
      int paeth = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
      int predicted = type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2 : type == 4 ? paeth : 0;
      row[i] = (value + predicted) & 0xFF;
      out.push_back(static_cast<char>(row[i]));
    }
    above = row;
  }
  return out;
}

// Object `id`'s stream, decoded when it is deflated.
std::string StreamOf(const std::string& pdf, size_t objectStart) {
  size_t dictionaryEnd = pdf.find("stream\n", objectStart);
  size_t end = pdf.find("endstream", dictionaryEnd);
  if (dictionaryEnd == std::string::npos || end == std::string::npos) return "";
  std::string data = pdf.substr(dictionaryEnd + 7, end - dictionaryEnd - 7);
  std::string dictionary = pdf.substr(objectStart, dictionaryEnd - objectStart);
  std::string decoded = dictionary.find("/FlateDecode") != std::string::npos ? Inflate(data) : data;
  size_t predictor = dictionary.find("/Predictor 15");
  if (predictor == std::string::npos) return decoded;
  size_t colours = strtoul(dictionary.c_str() + dictionary.find("/Colors ") + 8, nullptr, 10);
  size_t columns = strtoul(dictionary.c_str() + dictionary.find("/Columns ") + 9, nullptr, 10);
  return Unpredict(decoded, colours, columns);
}

}  // namespace

void MakeClip(FakeClip& clip, const std::vector<RECTL>& rectangles) {
  memset(&clip.Object, 0, sizeof(clip.Object));
  clip.Rectangles = rectangles;
  clip.Next = 0;
  if (rectangles.empty()) {
    clip.Object.iDComplexity = DC_TRIVIAL;
    return;
  }
  RECTL bounds = rectangles[0];
  for (const RECTL& r : rectangles) {
    bounds.left = std::min(bounds.left, r.left);
    bounds.top = std::min(bounds.top, r.top);
    bounds.right = std::max(bounds.right, r.right);
    bounds.bottom = std::max(bounds.bottom, r.bottom);
  }
  clip.Object.rclBounds = bounds;
  clip.Object.iDComplexity = rectangles.size() == 1 ? DC_RECT : DC_COMPLEX;
}

void MakePolygon(FakePath& path, const std::vector<POINT>& points) {
  memset(&path.Object, 0, sizeof(path.Object));
  path.Records.clear();
  FakePathRecord record = {PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE, {}};
  for (const POINT& p : points) record.Points.push_back({p.x * 16, p.y * 16});
  path.Records.push_back(record);
  path.Next = 0;
}

ULONG BitmapColour(const FakeBitmap& bitmap, ULONG value) {
  if (!bitmap.Palette.empty()) return bitmap.Palette[value % bitmap.Palette.size()];
  if (bitmap.Translate) {  // 5-5-5, each channel's five bits widened to eight
    ULONG r = (value >> 10) & 31, g = (value >> 5) & 31, b = value & 31;
    return ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
  }
  return value & 0xFFFFFF;
}

void MakeBitmap(FakeBitmap& bitmap, ULONG format, LONG width, LONG height, ULONG (*pixel)(LONG x, LONG y)) {
  int bits = format == BMF_1BPP ? 1 : format == BMF_4BPP ? 4 : format == BMF_8BPP ? 8 : format == BMF_16BPP ? 16
             : format == BMF_24BPP                                                  ? 24
                                                                                    : 32;
  LONG stride = ((width * bits + 31) / 32) * 4;
  bitmap.Bits.assign(static_cast<size_t>(stride) * height, 0);
  memset(&bitmap.Object, 0, sizeof(bitmap.Object));
  memset(&bitmap.Xlate, 0, sizeof(bitmap.Xlate));
  bitmap.Palette.clear();
  bitmap.Translate = format == BMF_16BPP;
  if (bits <= 8)
    for (ULONG i = 0; i < (1u << bits); ++i) bitmap.Palette.push_back((i * 0x3F1D27u) & 0xFFFFFF);
  for (LONG y = 0; y < height; ++y)
    for (LONG x = 0; x < width; ++x) {
      ULONG v = pixel(x, y);
      BYTE* row = bitmap.Bits.data() + y * stride;
      switch (bits) {
        case 1: row[x >> 3] |= static_cast<BYTE>((v & 1) << (7 - (x & 7))); break;
        case 4: row[x >> 1] |= static_cast<BYTE>((x & 1) ? (v & 15) : (v & 15) << 4); break;
        case 8: row[x] = static_cast<BYTE>(v); break;
        case 16: row[2 * x] = static_cast<BYTE>(v); row[2 * x + 1] = static_cast<BYTE>(v >> 8); break;
        default:
          for (int k = 0; k < bits / 8; ++k) row[bits / 8 * x + k] = static_cast<BYTE>(v >> (8 * k));
      }
    }
  SURFOBJ& so = bitmap.Object;
  so.hsurf = reinterpret_cast<HSURF>(&bitmap);
  so.sizlBitmap.cx = width;
  so.sizlBitmap.cy = height;
  so.pvBits = so.pvScan0 = bitmap.Bits.data();
  so.lDelta = stride;
  so.iBitmapFormat = format;
  so.iType = STYPE_BITMAP;
  bitmap.Xlate.Bitmap = &bitmap;
  bitmap.Xlate.Object.flXlate = (bits <= 8 || bits == 16) ? XO_TABLE : XO_TRIVIAL;
}

void MakeBrush(FakeBrush& brush, ULONG colour) {
  memset(&brush.Object, 0, sizeof(brush.Object));
  brush.Object.iSolidColor = colour;
}

void StartDevice(FakeDevice& fake, LONG width, LONG height, LONG dpi, bool grey) {
  current = &fake;
  PrinterDevice& device = fake.Device;
  memset(&device, 0, sizeof(device));
  EngineCalls& engine = device.Engine;
  engine.EngBitBlt = TwinBitBlt;
  engine.EngAlphaBlend = TwinAlphaBlend;
  engine.EngTransparentBlt = TwinTransparentBlt;
  engine.EngFillPath = TwinFillPath;
  engine.EngStrokePath = TwinStrokePath;
  engine.EngLineTo = TwinLineTo;
  engine.EngGradientFill = TwinGradientFill;
  engine.EngTextOut = TwinTextOut;
  engine.PATHOBJ_vEnumStart = PathEnumStart;
  engine.PATHOBJ_bEnum = PathEnum;
  engine.CLIPOBJ_cEnumStart = ClipEnumStart;
  engine.CLIPOBJ_bEnum = ClipEnum;
  engine.XLATEOBJ_iXlate = Xlate;
  engine.BRUSHOBJ_ulGetBrushColor = BrushColour;
  engine.XFORMOBJ_iGetXform = GetXform;
  engine.CanDraw = true;
  device.Page.Dpi = dpi;
  device.Page.WidthPixels = width;
  device.Page.HeightPixels = height;
  device.Page.WidthPoints = width * 72.0 / dpi;
  device.Page.HeightPoints = height * 72.0 / dpi;
  device.Page.Grey = grey;
  device.Hooks = DocumentHooks;
  LONG stride = (width * 3 + 3) & ~3;
  fake.Pixels.assign(static_cast<size_t>(stride) * height, 0xFF);
  memset(&fake.Surface, 0, sizeof(fake.Surface));
  fake.Surface.hsurf = reinterpret_cast<HSURF>(&fake.Surface);
  fake.Surface.dhpdev = reinterpret_cast<DHPDEV>(&device);
  fake.Surface.sizlBitmap.cx = width;
  fake.Surface.sizlBitmap.cy = height;
  fake.Surface.pvBits = fake.Surface.pvScan0 = fake.Pixels.data();
  fake.Surface.lDelta = stride;
  fake.Surface.iBitmapFormat = BMF_24BPP;
  fake.Surface.iType = STYPE_BITMAP;
  device.Surface = fake.Surface.hsurf;
  fake.Written.clear();
  fake.TwinCalls = 0;
  device.Document = PdfBeginDocument(WriteToString, &fake, L"Page model");
}

void StartPage(FakeDevice& fake) {
  current = &fake;
  std::fill(fake.Pixels.begin(), fake.Pixels.end(), 0xFF);
  PrinterDevice& device = fake.Device;
  device.Recording = PageStart(device.Recording, device.Page.WidthPixels, device.Page.HeightPixels, device.Page.Grey);
  device.PageStarted = device.Recording != nullptr;
}

bool SendPage(FakeDevice& fake) {
  PrinterDevice& device = fake.Device;
  PdfPagePixels pixels = {fake.Pixels.data(), fake.Surface.lDelta, fake.Surface.sizlBitmap.cx,
                          fake.Surface.sizlBitmap.cy};
  device.PageStarted = false;
  return PageSend(*device.Document, *device.Recording, device.Page, pixels);
}

bool EndDocument(FakeDevice& fake) {
  bool ended = PdfEndDocument(*fake.Device.Document, 1, true);
  PdfFreeDocument(fake.Device.Document);
  fake.Device.Document = nullptr;
  return ended;
}

void FreeDevice(FakeDevice& fake) {
  PdfFreeDocument(fake.Device.Document);
  fake.Device.Document = nullptr;
  PageFree(fake.Device.Recording);
  fake.Device.Recording = nullptr;
}

ULONG PagePixel(const FakeDevice& fake, LONG x, LONG y) { return Pixel(fake.Surface, x, y); }

void DrawUnhooked(FakeDevice& fake, const RECTL& area, ULONG colour) {
  for (LONG y = area.top; y < area.bottom; ++y)
    for (LONG x = area.left; x < area.right; ++x) Put(fake, x, y, colour);
}

bool SavePage(const FakeDevice& fake, const std::string& path) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  LONG width = fake.Surface.sizlBitmap.cx, height = fake.Surface.sizlBitmap.cy;
  fprintf(file, "P6\n%ld %ld\n255\n", static_cast<long>(width), static_cast<long>(height));
  for (LONG y = 0; y < height; ++y)
    for (LONG x = 0; x < width; ++x) {
      ULONG c = PagePixel(fake, x, y);
      BYTE rgb[3] = {static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c)};
      fwrite(rgb, 1, 3, file);
    }
  return fclose(file) == 0;
}

bool SaveDocument(const FakeDevice& fake, const std::string& path) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  fwrite(fake.Written.data(), 1, fake.Written.size(), file);
  return fclose(file) == 0;
}

std::vector<std::string> StreamsWith(const std::string& pdf, const std::string& key) {
  std::vector<std::string> streams;
  for (size_t at = pdf.find(" 0 obj\n"); at != std::string::npos; at = pdf.find(" 0 obj\n", at + 1)) {
    size_t next = pdf.find("endobj", at);
    size_t stream = pdf.find("stream\n", at);
    if (stream == std::string::npos || stream > next) continue;
    if (pdf.substr(at, stream - at).find(key) == std::string::npos) continue;
    streams.push_back(StreamOf(pdf, at));
  }
  return streams;
}

size_t Count(const std::string& in, const std::string& text) {
  size_t count = 0;
  for (size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + text.size())) ++count;
  return count;
}

std::string Contents(const std::string& pdf) {
  std::string joined;
  for (size_t at = pdf.find("/Contents "); at != std::string::npos; at = pdf.find("/Contents ", at + 1)) {
    unsigned long id = strtoul(pdf.c_str() + at + 10, nullptr, 10);
    std::string header = "\n" + std::to_string(id) + " 0 obj\n";
    size_t object = pdf.find(header);
    if (object != std::string::npos) joined += StreamOf(pdf, object + 1);
  }
  return joined;
}
