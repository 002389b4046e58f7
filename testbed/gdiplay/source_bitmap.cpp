#include "source_bitmap.h"

#include <string.h>

namespace {

ULONG FormatOf(WORD bits) {
  switch (bits) {
    case 1: return BMF_1BPP;
    case 4: return BMF_4BPP;
    case 8: return BMF_8BPP;
    case 24: return BMF_24BPP;
    case 32: return BMF_32BPP;
    default: return 0;
  }
}

ULONG serial = 0;

}  // namespace

bool BitmapInsideRecord(const ENHMETARECORD* record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits) {
  DWORD size = record->nSize;
  return cbBmi >= sizeof(BITMAPINFOHEADER) && offBmi <= size && cbBmi <= size - offBmi && offBits <= size &&
         cbBits <= size - offBits;
}

bool BuildSourceBitmap(const ENHMETARECORD* record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits,
                       DWORD usage, SourceBitmap& source) {
  if (!BitmapInsideRecord(record, offBmi, cbBmi, offBits, cbBits) || usage != DIB_RGB_COLORS) return false;
  const BYTE* base = reinterpret_cast<const BYTE*>(record);
  const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(base + offBmi);
  const BITMAPINFOHEADER& header = info->bmiHeader;
  LONG width = header.biWidth, height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  if (width <= 0 || height <= 0 || width > 0x8000 || height > 0x8000) return false;
  ZeroMemory(&source.Object, sizeof(source.Object));
  source.Colours.clear();
  source.Converted.clear();
  ULONG format = header.biCompression == BI_RGB ? FormatOf(header.biBitCount) : 0;
  const BYTE* bits = base + offBits;
  LONG stride;
  if (format) {
    stride = ((width * header.biBitCount + 31) / 32) * 4;
    if (static_cast<ULONGLONG>(stride) * height > cbBits) return false;
    source.TopDown = header.biHeight < 0;
    if (header.biBitCount <= 8) {
      DWORD colours = header.biClrUsed ? header.biClrUsed : (1u << header.biBitCount);
      if (colours > 256 || header.biSize + colours * sizeof(RGBQUAD) > cbBmi) return false;
      const RGBQUAD* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) + header.biSize);
      source.Colours.assign(table, table + colours);
    }
  } else {
    // Whatever Wine's GDI reads, drawn into a 32-bit top-down bitmap of the same size.
    format = BMF_32BPP;
    stride = width * 4;
    source.TopDown = true;
    source.Converted.assign(static_cast<size_t>(stride) * height, 0);
    BITMAPINFO target = {};
    target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    target.bmiHeader.biWidth = width;
    target.bmiHeader.biHeight = -height;
    target.bmiHeader.biPlanes = 1;
    target.bmiHeader.biBitCount = 32;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &target, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!bitmap) return false;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    int lines = StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, bits, info, DIB_RGB_COLORS, SRCCOPY);
    GdiFlush();
    if (lines > 0) memcpy(source.Converted.data(), pixels, source.Converted.size());
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    if (lines <= 0) return false;
    bits = source.Converted.data();
  }
  SURFOBJ& so = source.Object;
  so.hsurf = reinterpret_cast<HSURF>(static_cast<ULONG_PTR>(0x5C000 + ++serial));
  so.sizlBitmap = {width, height};
  so.cjBits = static_cast<ULONG>(stride) * height;
  so.pvBits = const_cast<BYTE*>(bits);
  so.pvScan0 = source.TopDown ? so.pvBits : const_cast<BYTE*>(bits) + static_cast<LONG_PTR>(stride) * (height - 1);
  so.lDelta = source.TopDown ? stride : -stride;
  so.iUniq = serial;
  so.iBitmapFormat = format;
  so.iType = STYPE_BITMAP;
  so.fjBitmap = source.TopDown ? BMF_TOPDOWN : 0;
  BuildXlate(source.Colours.empty() ? nullptr : source.Colours.data(), static_cast<ULONG>(source.Colours.size()),
             source.Xlate);
  return true;
}

RECTL FromBottomUp(const SourceBitmap& source, LONG x, LONG y, LONG cx, LONG cy) {
  LONG height = source.Object.sizlBitmap.cy;
  if (source.TopDown) return {x, y, x + cx, y + cy};
  return {x, height - (y + cy), x + cx, height - y};
}
