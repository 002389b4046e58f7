// Images of a page: a bitmap source's pixels (any of GDI's formats, through its XLATEOBJ) or the
// page's own engine-drawn pixels (a raster patch), written as Flate image XObjects at their own
// resolution, lossless, in RGB or (grey job) DeviceGray, with an SMask for alpha or a colour key.
// An image whose pixels were written before in this document (a logo on every page) is not written
// again: the document keeps the hash of each image's pixels with its object number.
#pragma once
#include <windows.h>
#include <winddi.h>

#include "engine_calls.h"
#include "pdf_document.h"

// How a source's pixels are transparent.
enum ImageTransparency {
  ImageOpaque = 0,
  ImagePremultipliedAlpha = 1,  // 32-bit BGRA, colours premultiplied (AlphaBlend with AC_SRC_ALPHA)
  ImageColourKey = 2,           // pixels whose value in the source format is Key are not drawn
};

struct ImageSource {
  SURFOBJ* Surface;  // a bitmap (STYPE_BITMAP) of any BMF_ format
  XLATEOBJ* Xlate;   // its colours to this device's, or null when they are already
  RECTL Area;        // the pixels to take, inside the surface
  int Transparency;  // ImageTransparency
  ULONG Key;         // ImageColourKey: the source format's value of the transparent pixels
};

// The object number of the image of `source` (written now unless it was written before), 0 when
// the source cannot be read (an unknown format, a surface without bits, an empty area) or the
// document failed. `exact` is cleared when the image is not exactly what the engine draws (a
// premultiplied colour above its alpha).
DWORD PdfWriteSourceImage(PdfDocument& document, const EngineCalls& engine, const ImageSource& source, bool grey,
                          bool& exact);
// The same for 24-bit BGR rows (the page's own pixels, for a raster patch).
DWORD PdfWritePixelImage(PdfDocument& document, const BYTE* firstRow, LONG rowStride, LONG width, LONG height,
                         bool grey);

void PdfFreeImageCache(PdfImageCache* cache);
