// The source bitmap of an image record (its BITMAPINFO and bits inside the record) as the SURFOBJ
// and XLATEOBJ a blit call hands the driver: 1, 4, 8, 24 and 32 bits per pixel as they are (the
// indexed ones with their colour table), any other layout (16 bits, bit fields, RLE) converted to
// 32 bits by Wine's GDI first.
#pragma once
#include <windows.h>
#include <winddi.h>

#include <vector>

#include "ddi_objects.h"

struct SourceBitmap {
  SURFOBJ Object;
  HostXlate Xlate;
  std::vector<BYTE> Converted;  // the pixels, when they had to be converted
  std::vector<RGBQUAD> Colours;
  bool TopDown;
};

// Whether the record holds a BITMAPINFO of cbBmi bytes at offBmi (at least its header) and cbBits
// bytes of bits at offBits, whatever its offsets and sizes say.
bool BitmapInsideRecord(const ENHMETARECORD* record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits);

// False when the record's offsets and sizes do not hold a whole bitmap.
bool BuildSourceBitmap(const ENHMETARECORD* record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits,
                       DWORD usage, SourceBitmap& source);
// A source rectangle given from the DIB's lower-left corner (StretchDIBits on a bottom-up DIB)
// in the surface's rows, which count from the top.
RECTL FromBottomUp(const SourceBitmap& source, LONG x, LONG y, LONG cx, LONG cy);
