// The bitmap calls: DrvBitBlt, DrvCopyBits, DrvStretchBlt, DrvStretchBltROP, DrvPlgBlt,
// DrvAlphaBlend and DrvTransparentBlt. A source bitmap copied as it is (SRCCOPY), blended over the
// page (constant or per-pixel alpha) or with a colour key becomes a PDF image at the source's own
// resolution, placed on the destination; a solid PATCOPY, BLACKNESS or WHITENESS a filled
// rectangle. Raster operations that read the page, masks, pattern brushes and copies out of the
// page itself are raster patches.
#include <windows.h>
#include <winddi.h>

#include "draw_calls.h"
#include "pdf_content.h"
#include "pdf_images.h"
#include "printer_device.h"

namespace {

const ULONG RopSourceCopy = 0xCC, RopPatternCopy = 0xF0, RopBlackness = 0x00, RopWhiteness = 0xFF,
            RopDestination = 0xAA;

// The corners of an image on the page: where its top-left, top-right and bottom-left corners go.
struct Placement {
  double X0, Y0;  // top-left
  double X1, Y1;  // top-right
  double X2, Y2;  // bottom-left
};

Placement FromRectangle(const RECTL& r) {
  Placement p = {static_cast<double>(r.left),  static_cast<double>(r.top), static_cast<double>(r.right),
                 static_cast<double>(r.top),   static_cast<double>(r.left), static_cast<double>(r.bottom)};
  return p;
}

RECTL Ordered(const RECTL& r) {
  RECTL o = r;
  if (o.left > o.right) {
    o.left = r.right;
    o.right = r.left;
  }
  if (o.top > o.bottom) {
    o.top = r.bottom;
    o.bottom = r.top;
  }
  return o;
}

// "q [..] cm /ImN Do Q": the image's unit square onto its corners (its first row at the top).
void PlaceImage(PageRecording& page, DWORD id, const Placement& at, DWORD alphaState) {
  ContentSave(page);
  if (alphaState) {
    PageAppendResourceName(page, PageExtGState, alphaState);
    PageAppend(page, "gs ");
  }
  PageAppendReal(page, at.X1 - at.X0);
  PageAppendReal(page, at.Y1 - at.Y0);
  PageAppendReal(page, at.X0 - at.X2);
  PageAppendReal(page, at.Y0 - at.Y2);
  PageAppendReal(page, at.X2);
  PageAppendReal(page, at.Y2);
  PageAppend(page, "cm ");
  PageAppendResourceName(page, PageImage, id);
  PageAppend(page, "Do\n");
  ContentRestore(page);
}

// The ExtGState of a constant alpha, written once a document.
DWORD AlphaState(PdfDocument& document, BYTE alpha) {
  DWORD& id = document.AlphaStates[alpha];
  if (id) return id;
  DWORD created = PdfNewObjectId(document);
  if (!created) return 0;
  PdfBytes text = {};
  PdfAppendText(text, "<< /Type /ExtGState /ca ");
  PdfAppendReal(text, alpha / 255.0);
  PdfAppendText(text, " /CA ");
  PdfAppendReal(text, alpha / 255.0);
  PdfAppendText(text, " >>\n");
  PdfBeginObject(document, created);
  PdfPutBytes(document, text);
  PdfEndObject(document);
  bool failed = text.Failed;
  PdfBytesFree(text);
  if (failed) {
    document.Failed = true;
    return 0;
  }
  id = created;
  return id;
}

// An image call: the source's area as an image at `at`, in the call's clip; false when it could not
// be said (the caller notes a patch).
bool SayImage(PrinterDevice& device, PageRecording& page, const ImageSource& source, CLIPOBJ* pco,
              const Placement& at, BYTE constantAlpha) {
  if (!device.Document) return false;
  bool exact = true;
  size_t mark = page.Content.Length;
  DWORD id = PdfWriteSourceImage(*device.Document, device.Engine, source, page.Grey, exact);
  if (!id || !exact) return false;
  DWORD state = constantAlpha == 255 ? 0 : AlphaState(*device.Document, constantAlpha);
  if (constantAlpha != 255 && !state) return false;
  if (!ContentBeginClip(page, device.Engine, pco)) return false;
  PlaceImage(page, id, at, state);
  ContentEndClip(page);
  return page.Content.Length > mark && !page.Content.Failed;
}

// A source that is a bitmap of its own (not this page, which a copy would read back).
bool IsOtherBitmap(const PrinterDevice& device, SURFOBJ* source) {
  return source && source->hsurf != device.Surface && source->iType == STYPE_BITMAP && source->pvScan0;
}

// The source area of a stretch, well ordered, with the destination flipped where it was not.
bool SourceArea(const RECTL& source, const RECTL& destination, RECTL& area, Placement& at) {
  RECTL dest = destination;
  area = source;
  if (area.left > area.right) {
    area.left = source.right;
    area.right = source.left;
    dest.left = destination.right;
    dest.right = destination.left;
  }
  if (area.top > area.bottom) {
    area.top = source.bottom;
    area.bottom = source.top;
    dest.top = destination.bottom;
    dest.bottom = destination.top;
  }
  at = FromRectangle(dest);
  return area.left < area.right && area.top < area.bottom && dest.left != dest.right && dest.top != dest.bottom;
}

// A source copied, stretched or not, through its XLATEOBJ: said as an image, else a patch.
void RecordCopy(PrinterDevice& device, PageRecording& page, SURFOBJ* psoSrc, XLATEOBJ* pxlo, CLIPOBJ* pco,
                const RECTL& source, const RECTL& destination, int transparency, ULONG key, BYTE constantAlpha) {
  ImageSource image = {psoSrc, pxlo, {0, 0, 0, 0}, transparency, key};
  Placement at;
  bool said = IsOtherBitmap(device, psoSrc) && SourceArea(source, destination, image.Area, at) &&
              SayImage(device, page, image, pco, at, constantAlpha);
  if (said)
    PageNoteExact(page, Ordered(destination), pco);
  else
    PageNotePatch(page, Ordered(destination), pco);
}

void RecordFill(PrinterDevice& device, PageRecording& page, CLIPOBJ* pco, const RECTL& target, ULONG colour) {
  RECTL r = Ordered(target);
  if (!ContentBeginClip(page, device.Engine, pco)) {
    PageNotePatch(page, r, pco);
    return;
  }
  ContentSetFillColour(page, colour);
  PageAppendInteger(page, r.left);
  PageAppendInteger(page, r.top);
  PageAppendInteger(page, r.right - r.left);
  PageAppendInteger(page, r.bottom - r.top);
  PageAppend(page, "re f\n");
  ContentEndClip(page);
  PageNoteExact(page, r, pco);
}

}  // namespace

extern "C" {

BOOL APIENTRY DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                        RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                        ROP4 rop4) {
  PrinterDevice* device = DeviceOf(psoTrg);
  if (!device || !device->Engine.EngBitBlt) return FALSE;
  PageRecording* page = RecordingOf(psoTrg);
  if (page && prclTrg) {
    ULONG rop = rop4 & 0xFF;
    bool masked = psoMask || ((rop4 >> 8) & 0xFF) != rop;  // two raster operations: a mask decides
    ULONG colour = 0;
    if (masked) {
      PageNotePatch(*page, Ordered(*prclTrg), pco);
    } else if (rop == RopDestination) {
      // The page stays as it is.
    } else if (rop == RopBlackness || rop == RopWhiteness) {
      RecordFill(*device, *page, pco, *prclTrg, rop == RopBlackness ? 0 : 0xFFFFFF);
    } else if (rop == RopPatternCopy && pbo &&
               ((colour = pbo->iSolidColor) != 0xFFFFFFFF ||
                (device->Engine.BRUSHOBJ_ulGetBrushColor &&
                 (colour = device->Engine.BRUSHOBJ_ulGetBrushColor(pbo)) != 0xFFFFFFFF))) {
      RecordFill(*device, *page, pco, *prclTrg, colour & 0xFFFFFF);
    } else if (rop == RopSourceCopy && pptlSrc) {
      RECTL target = Ordered(*prclTrg);
      RECTL source = {pptlSrc->x, pptlSrc->y, pptlSrc->x + (target.right - target.left),
                      pptlSrc->y + (target.bottom - target.top)};
      RecordCopy(*device, *page, psoSrc, pxlo, pco, source, target, ImageOpaque, 0, 255);
    } else {
      PageNotePatch(*page, Ordered(*prclTrg), pco);
    }
  }
  return device->Engine.EngBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush,
                                  rop4);
}

BOOL APIENTRY DrvCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                          POINTL* pptlSrc) {
  // The engine also copies out of the page (psoDest its own bitmap): then only psoSrc is ours.
  PrinterDevice* device = DeviceOf(psoDest);
  if (!device || !device->Engine.EngCopyBits) device = DeviceOf(psoSrc);
  if (!device || !device->Engine.EngCopyBits) return FALSE;
  PageRecording* page = RecordingOf(psoDest);
  if (page && prclDest && pptlSrc) {
    RECTL target = Ordered(*prclDest);
    RECTL source = {pptlSrc->x, pptlSrc->y, pptlSrc->x + (target.right - target.left),
                    pptlSrc->y + (target.bottom - target.top)};
    RecordCopy(*device, *page, psoSrc, pxlo, pco, source, target, ImageOpaque, 0, 255);
  }
  return device->Engine.EngCopyBits(psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc);
}

BOOL APIENTRY DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                            POINTL* pptlMask, ULONG iMode) {
  PrinterDevice* device = DeviceOf(psoDest);
  if (!device || !device->Engine.EngStretchBlt) return FALSE;
  PageRecording* page = RecordingOf(psoDest);
  if (page && prclDest) {
    if (psoMask || !prclSrc)
      PageNotePatch(*page, Ordered(*prclDest), pco);
    else
      RecordCopy(*device, *page, psoSrc, pxlo, pco, *prclSrc, *prclDest, ImageOpaque, 0, 255);
  }
  return device->Engine.EngStretchBlt(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc,
                                      pptlMask, iMode);
}

BOOL APIENTRY DrvStretchBltROP(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                               COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                               POINTL* pptlMask, ULONG iMode, BRUSHOBJ* pbo, DWORD rop4) {
  PrinterDevice* device = DeviceOf(psoDest);
  if (!device || !device->Engine.EngStretchBltROP) return FALSE;
  PageRecording* page = RecordingOf(psoDest);
  if (page && prclDest) {
    bool copy = (rop4 & 0xFF) == RopSourceCopy && ((rop4 >> 8) & 0xFF) == RopSourceCopy && !psoMask && prclSrc;
    if (copy)
      RecordCopy(*device, *page, psoSrc, pxlo, pco, *prclSrc, *prclDest, ImageOpaque, 0, 255);
    else
      PageNotePatch(*page, Ordered(*prclDest), pco);
  }
  return device->Engine.EngStretchBltROP(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc,
                                         pptlMask, iMode, pbo, rop4);
}

BOOL APIENTRY DrvPlgBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMsk, CLIPOBJ* pco, XLATEOBJ* pxlo,
                        COLORADJUSTMENT* pca, POINTL* pptlBrushOrg, POINTFIX* pptfx, RECTL* prcl, POINTL* pptl,
                        ULONG iMode) {
  PrinterDevice* device = DeviceOf(psoTrg);
  if (!device || !device->Engine.EngPlgBlt) return FALSE;
  PageRecording* page = RecordingOf(psoTrg);
  if (page && pptfx) {
    // The parallelogram's corners: upper-left, upper-right, lower-left; the fourth follows.
    Placement at = {pptfx[0].x / 16.0, pptfx[0].y / 16.0, pptfx[1].x / 16.0,
                    pptfx[1].y / 16.0, pptfx[2].x / 16.0, pptfx[2].y / 16.0};
    double xs[4] = {at.X0, at.X1, at.X2, at.X1 + at.X2 - at.X0};
    double ys[4] = {at.Y0, at.Y1, at.Y2, at.Y1 + at.Y2 - at.Y0};
    RECTL bounds = {static_cast<LONG>(xs[0]), static_cast<LONG>(ys[0]), static_cast<LONG>(xs[0]) + 1,
                    static_cast<LONG>(ys[0]) + 1};
    for (int i = 1; i < 4; ++i) {
      if (xs[i] < bounds.left) bounds.left = static_cast<LONG>(xs[i]) - 1;
      if (ys[i] < bounds.top) bounds.top = static_cast<LONG>(ys[i]) - 1;
      if (xs[i] + 1 > bounds.right) bounds.right = static_cast<LONG>(xs[i]) + 2;
      if (ys[i] + 1 > bounds.bottom) bounds.bottom = static_cast<LONG>(ys[i]) + 2;
    }
    ImageSource image = {psoSrc, pxlo, prcl ? Ordered(*prcl) : RECTL{0, 0, 0, 0}, ImageOpaque, 0};
    bool said = !psoMsk && prcl && IsOtherBitmap(*device, psoSrc) && SayImage(*device, *page, image, pco, at, 255);
    if (said)
      PageNoteExact(*page, bounds, pco);
    else
      PageNotePatch(*page, bounds, pco);
  }
  return device->Engine.EngPlgBlt(psoTrg, psoSrc, psoMsk, pco, pxlo, pca, pptlBrushOrg, pptfx, prcl, pptl, iMode);
}

BOOL APIENTRY DrvAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                            RECTL* prclSrc, BLENDOBJ* pBlendObj) {
  PrinterDevice* device = DeviceOf(psoDest);
  if (!device || !device->Engine.EngAlphaBlend) return FALSE;
  PageRecording* page = RecordingOf(psoDest);
  if (page && prclDest) {
    const BLENDFUNCTION* blend = pBlendObj ? &pBlendObj->BlendFunction : nullptr;
    if (!blend || blend->BlendOp != AC_SRC_OVER || !prclSrc) {
      PageNotePatch(*page, Ordered(*prclDest), pco);
    } else if (blend->SourceConstantAlpha == 0 && !(blend->AlphaFormat & AC_SRC_ALPHA)) {
      // Nothing of the source shows.
    } else {
      int transparency = (blend->AlphaFormat & AC_SRC_ALPHA) ? ImagePremultipliedAlpha : ImageOpaque;
      RecordCopy(*device, *page, psoSrc, pxlo, pco, *prclSrc, *prclDest, transparency, 0,
                 blend->SourceConstantAlpha);
    }
  }
  return device->Engine.EngAlphaBlend(psoDest, psoSrc, pco, pxlo, prclDest, prclSrc, pBlendObj);
}

BOOL APIENTRY DrvTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
                                RECTL* prclSrc, ULONG iTransColor, ULONG ulReserved) {
  PrinterDevice* device = DeviceOf(psoDst);
  if (!device || !device->Engine.EngTransparentBlt) return FALSE;
  PageRecording* page = RecordingOf(psoDst);
  if (page && prclDst) {
    if (prclSrc)
      RecordCopy(*device, *page, psoSrc, pxlo, pco, *prclSrc, *prclDst, ImageColourKey, iTransColor, 255);
    else
      PageNotePatch(*page, Ordered(*prclDst), pco);
  }
  return device->Engine.EngTransparentBlt(psoDst, psoSrc, pco, pxlo, prclDst, prclSrc, iTransColor, ulReserved);
}

}  // extern "C"
