// A recorded page sent: its raster patches found and merged, their pixels written as images over
// the content, then the content stream, the resources and the page object. Also the patches'
// geometry on its own, which the page's tests check without a document.
#pragma once
#include <windows.h>

#include "job_settings.h"
#include "page_recording.h"
#include "pdf_document.h"

// A page's pixels as the engine's surface holds them: 24-bit BGR rows, RowStride bytes apart.
struct PdfPagePixels {
  const BYTE* FirstRow;
  LONG RowStride;
  LONG Width;
  LONG Height;
};

// The most patches a page carries; more are merged into fewer, larger ones.
const DWORD PageMaxPatches = 24;

// The page's patches, then rectangles around any ink outside the bounds of every call seen, merged
// into at most `capacity` (<= PageMaxPatches) rectangles that cover all of them; their count.
DWORD PageFindPatches(const PageRecording& page, const PdfPagePixels& pixels, RECTL* patches, DWORD capacity);
// Merges rectangles in place: overlapping or nearly touching ones, then the pairs that waste the
// least area until at most `limit` are left; their count.
DWORD MergePatchRectangles(RECTL* rectangles, DWORD count, DWORD limit);

// Writes the page: patches, content, resources, page object.
bool PageSend(PdfDocument& document, PageRecording& page, const PageGeometry& geometry, const PdfPagePixels& pixels);
