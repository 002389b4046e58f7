#include "page_picture.h"

#include <stdlib.h>

#include "pdf_content.h"

namespace {

bool RowIsWhite(const BYTE* row, LONG bytes) {
  for (LONG i = 0; i < bytes; ++i)
    if (row[i] != 0xFF) return false;
  return true;
}

// BGR to RGB, or to grey with the usual luma weights (white stays 255).
void ConvertRow(const BYTE* bgr, LONG width, bool grey, BYTE* out) {
  if (grey) {
    for (LONG x = 0; x < width; ++x, bgr += 3) out[x] = GreyOf(bgr[2], bgr[1], bgr[0]);
    return;
  }
  for (LONG x = 0; x < width; ++x, bgr += 3, out += 3) {
    out[0] = bgr[2];
    out[1] = bgr[1];
    out[2] = bgr[0];
  }
}

}  // namespace

bool PdfWritePagePicture(PdfDocument& document, const PageGeometry& page, const PdfPagePixels& pixels) {
  if (document.Failed) return false;
  PdfPageRecord record = {};
  record.WidthPoints = page.WidthPoints;
  record.HeightPoints = page.HeightPoints;

  // White rows above and below the drawing are left out: most pages have margins, and a page with
  // nothing on it needs no image at all.
  LONG rowBytes = pixels.Width * 3;
  LONG top = 0, bottom = pixels.Height;
  while (top < bottom && RowIsWhite(pixels.FirstRow + static_cast<LONG_PTR>(top) * pixels.RowStride, rowBytes)) ++top;
  while (bottom > top && RowIsWhite(pixels.FirstRow + static_cast<LONG_PTR>(bottom - 1) * pixels.RowStride, rowBytes))
    --bottom;

  if (bottom > top) {
    LONG rows = bottom - top;
    DWORD imageId = PdfNewObjectId(document);
    record.ResourcesId = PdfNewObjectId(document);
    record.ContentId = PdfNewObjectId(document);
    PdfBytes text = {};
    PdfAppendText(text, "/Type /XObject /Subtype /Image /Width ");
    PdfAppendInteger(text, pixels.Width);
    PdfAppendText(text, " /Height ");
    PdfAppendInteger(text, rows);
    PdfAppendText(text, page.Grey ? " /ColorSpace /DeviceGray" : " /ColorSpace /DeviceRGB");
    PdfAppendText(text, " /BitsPerComponent 8");
    BYTE* row = static_cast<BYTE*>(malloc(rowBytes));
    bool written = row && PdfBeginFlateStream(document, imageId, text);
    for (LONG y = top; y < bottom && written; ++y) {
      // Rows of white or one colour deflate to little output: ask every 64 rows as well.
      if ((y - top) % 64 == 0 && PdfJobWasCancelled(document)) {
        written = false;
        break;
      }
      ConvertRow(pixels.FirstRow + static_cast<LONG_PTR>(y) * pixels.RowStride, pixels.Width, page.Grey, row);
      written = PdfFlateStreamWrite(document, row, pixels.Width * (page.Grey ? 1 : 3));
    }
    written = PdfEndFlateStream(document) && written;
    free(row);

    PdfBytesClear(text);
    PdfAppendText(text, "<< /XObject << /Im0 ");
    PdfAppendReference(text, imageId);
    PdfAppendText(text, " >> >>\n");
    PdfBeginObject(document, record.ResourcesId);
    PdfPutBytes(document, text);
    PdfEndObject(document);

    // One device pixel is 72/dpi points, so the image keeps the surface's pixel grid: it starts
    // at the page's left edge, its first row where the first row that is not white was. Each of
    // its edges is drawn a thousandth of a point inside: renderers that round an image's edges to
    // device pixels (poppler: floor, and floor + 1 for the far ones) then keep it at its own size
    // in pixels at the job's resolution, instead of stretching it by one pixel and blurring it,
    // whichever way the arithmetic of its corners rounds.
    double pixel = 72.0 / page.Dpi;
    const double hair = 0.001;
    PdfBytesClear(text);
    PdfAppendText(text, "q ");
    PdfAppendReal(text, pixels.Width * pixel - 2 * hair);
    PdfAppendText(text, " 0 0 ");
    PdfAppendReal(text, rows * pixel - 2 * hair);
    PdfAppendText(text, " ");
    PdfAppendReal(text, hair);
    PdfAppendText(text, " ");
    PdfAppendReal(text, page.HeightPoints - bottom * pixel + hair);
    PdfAppendText(text, " cm /Im0 Do Q\n");
    written = !text.Failed && PdfWriteStream(document, record.ContentId, nullptr, text.Data, text.Length, false) &&
              written;
    PdfBytesFree(text);
    if (!written) {
      document.Failed = true;
      return false;
    }
  }
  record.PageId = PdfNewObjectId(document);
  return PdfAddPage(document, record);
}
