// The page being drawn, between DrvStartPage and DrvSendPage: the PDF content of the drawing calls
// PDF can say exactly, the resources that content names, and the bounds of every call seen, each
// either exact or a raster patch. At DrvSendPage (page_send.h) the engine-drawn pixels inside each
// patch, and any ink outside the bounds of every call seen, are placed over the content as images.
//
// Content space: one unit per device pixel, x to the right, y downwards, (0, 0) the top-left corner
// of the page's first pixel, so pixel (x, y) covers [x, x+1] x [y, y+1]. A RECTL (right and bottom
// exclusive) is said as it is; a GDI point (a PATHOBJ's FIX point, DrvLineTo's ends, a glyph's
// origin) names the centre of its pixel and is said 0.5 further right and down. The page's content
// stream maps this space onto the paper with one `cm`.
#pragma once
#include <windows.h>
#include <winddi.h>

#include "pdf_syntax.h"

// The kinds of resource a page names: /Font /F<n>, /XObject /Im<n>, /ExtGState /GS<n>,
// /Shading /Sh<n>, n the resource's object number.
enum PageResourceKind { PageFont = 0, PageImage = 1, PageExtGState = 2, PageShading = 3 };

struct PageResource {
  DWORD Id;
  DWORD Kind;  // PageResourceKind
};

// What the content last set, so that a run of calls in one colour says it once. A Q forgets it
// (it brings back what was set before the q, not known here).
struct PageGraphicsState {
  bool FillKnown, StrokeKnown, LineKnown;
  ULONG Fill, Stroke;  // device colours (0x00RRGGBB)
  double LineWidth;
  int Cap, Join;
  double MiterLimit;
  bool Dashed;
};

struct PageRecording {
  LONG Width, Height;  // the page in device pixels
  bool Grey;           // every colour is said as grey
  PdfBytes Content;
  PageResource* Resources;
  DWORD ResourceCount, ResourceCapacity;
  RECTL* Patches;  // bounds of the calls PDF cannot say, on the page
  DWORD PatchCount, PatchCapacity;
  BYTE* Covered;  // one bit a pixel, rows of CoveredStride bytes: inside the bounds of a call seen
  LONG CoveredStride;
  int SavedDepth;      // q without its Q so far
  int ClipDepth;       // ContentBeginClip without its ContentEndClip so far
  DWORD ClipWithSave;  // bit n: the clip scope at depth n wrote a q
  PageGraphicsState State;
  bool Failed;  // memory ran out: the page is sent as its picture
};

// Starts a page of width x height pixels, reusing `page` when it is there (null when memory runs
// out). PageFree frees it.
PageRecording* PageStart(PageRecording* page, LONG width, LONG height, bool grey);
void PageFree(PageRecording* page);

// The smallest rectangle holding both.
inline RECTL UnionOf(const RECTL& a, const RECTL& b) {
  return {a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top, a.right > b.right ? a.right : b.right,
          a.bottom > b.bottom ? a.bottom : b.bottom};
}

// A call's bounds on the page (right and bottom exclusive), cut to the clip's bounds when it has a
// clip: drawn exactly by the content, or left to a raster patch of the engine's pixels.
void PageNoteExact(PageRecording& page, const RECTL& bounds, CLIPOBJ* clip);
void PageNotePatch(PageRecording& page, const RECTL& bounds, CLIPOBJ* clip);

// Content operators and operands, as text ("re f\n"); numbers with a space behind them.
void PageAppend(PageRecording& page, const char* operators);
void PageAppendReal(PageRecording& page, double value);
void PageAppendInteger(PageRecording& page, LONGLONG value);
// The page's name of a resource ("/F12 "), added to its resources when it is not there yet.
void PageAppendResourceName(PageRecording& page, PageResourceKind kind, DWORD id);
