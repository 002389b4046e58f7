#include "page_send.h"

#include <stdlib.h>
#include <string.h>

#include "pdf_images.h"

namespace {

// Ink outside every call's bounds is looked for in tiles of this many pixels a side; each tile's
// patch is the box around its uncovered ink.
const LONG Tile = 32;
const BYTE White[24] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// Rectangles this close are one patch: the seam between two images costs more than the gap.
const LONG Near = 2;

LONGLONG Area(const RECTL& r) { return static_cast<LONGLONG>(r.right - r.left) * (r.bottom - r.top); }

bool Close(const RECTL& a, const RECTL& b) {
  return a.left <= b.right + Near && b.left <= a.right + Near && a.top <= b.bottom + Near && b.top <= a.bottom + Near;
}

// A list of rectangles that grows; `failed` when memory ran out.
struct RectangleList {
  RECTL* Items;
  DWORD Count, Capacity;
  bool Failed;
};

void Add(RectangleList& list, const RECTL& r) {
  if (list.Count == list.Capacity) {
    DWORD grown = list.Capacity ? list.Capacity * 2 : 64;
    RECTL* larger = static_cast<RECTL*>(realloc(list.Items, grown * sizeof(RECTL)));
    if (!larger) {
      list.Failed = true;
      return;
    }
    list.Items = larger;
    list.Capacity = grown;
  }
  list.Items[list.Count++] = r;
}

// Boxes around ink (pixels that are not white) whose coverage bit is clear, one per tile, the
// tiles of a band that touch merged as they are found.
void FindUncoveredInk(const PageRecording& page, const PdfPagePixels& pixels, RectangleList& found) {
  LONG width = pixels.Width < page.Width ? pixels.Width : page.Width;
  LONG height = pixels.Height < page.Height ? pixels.Height : page.Height;
  LONG tiles = (width + Tile - 1) / Tile;
  RECTL* boxes = static_cast<RECTL*>(malloc(sizeof(RECTL) * (tiles ? tiles : 1)));
  if (!boxes) {
    found.Failed = true;
    return;
  }
  for (LONG band = 0; band < height; band += Tile) {
    for (LONG t = 0; t < tiles; ++t) boxes[t].left = boxes[t].right = 0;
    LONG end = band + Tile < height ? band + Tile : height;
    for (LONG y = band; y < end; ++y) {
      const BYTE* mask = page.Covered + static_cast<LONG_PTR>(y) * page.CoveredStride;
      const BYTE* row = pixels.FirstRow + static_cast<LONG_PTR>(y) * pixels.RowStride;
      for (LONG x = 0; x < width; ++x) {
        if ((x & 7) == 0 && x + 8 <= width) {
          // Eight pixels at once: all covered, or all uncovered and white (most of a page).
          if (mask[x >> 3] == 0xFF || (mask[x >> 3] == 0 && memcmp(row + 3 * x, White, 24) == 0)) {
            x += 7;
            continue;
          }
        }
        if (mask[x >> 3] & (0x80 >> (x & 7))) continue;
        const BYTE* p = row + 3 * x;
        if (p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF) continue;
        RECTL& box = boxes[x / Tile];
        if (box.left == box.right) {
          box.left = x;
          box.right = x + 1;
          box.top = y;
          box.bottom = y + 1;
        } else {
          if (x < box.left) box.left = x;
          if (x + 1 > box.right) box.right = x + 1;
          box.bottom = y + 1;
        }
      }
    }
    bool open = false;
    RECTL run = {0, 0, 0, 0};
    for (LONG t = 0; t < tiles; ++t) {
      const RECTL& box = boxes[t];
      if (box.left == box.right) continue;
      if (open && box.left <= run.right + Near) {
        run = UnionOf(run, box);
        continue;
      }
      if (open) Add(found, run);
      run = box;
      open = true;
    }
    if (open) Add(found, run);
  }
  free(boxes);
}

}  // namespace

DWORD MergePatchRectangles(RECTL* rectangles, DWORD count, DWORD limit) {
  if (limit == 0) limit = 1;
  // Rectangles that overlap or nearly touch become one, until none do.
  bool merged = true;
  while (merged) {
    merged = false;
    for (DWORD i = 0; i < count; ++i)
      for (DWORD j = i + 1; j < count; ++j)
        if (Close(rectangles[i], rectangles[j])) {
          rectangles[i] = UnionOf(rectangles[i], rectangles[j]);
          rectangles[j] = rectangles[--count];
          merged = true;
          --j;
        }
  }
  // Then the pair whose union wastes the least area, until few enough are left. Merging two can
  // make the union overlap a third: that one is taken in as well.
  while (count > limit) {
    DWORD best = 0, other = 1;
    LONGLONG least = -1;
    for (DWORD i = 0; i < count; ++i)
      for (DWORD j = i + 1; j < count; ++j) {
        LONGLONG waste = Area(UnionOf(rectangles[i], rectangles[j])) - Area(rectangles[i]) - Area(rectangles[j]);
        if (least < 0 || waste < least) {
          least = waste;
          best = i;
          other = j;
        }
      }
    rectangles[best] = UnionOf(rectangles[best], rectangles[other]);
    rectangles[other] = rectangles[--count];
    for (DWORD j = 0; j < count; ++j)
      if (j != best && Close(rectangles[best], rectangles[j])) {
        rectangles[best] = UnionOf(rectangles[best], rectangles[j]);
        rectangles[j] = rectangles[--count];
        if (best == count) best = j;
        j = static_cast<DWORD>(-1);  // start over: the union grew
      }
  }
  return count;
}

DWORD PageFindPatches(const PageRecording& page, const PdfPagePixels& pixels, RECTL* patches, DWORD capacity) {
  if (capacity > PageMaxPatches) capacity = PageMaxPatches;
  RectangleList list = {};
  for (DWORD i = 0; i < page.PatchCount; ++i) Add(list, page.Patches[i]);
  FindUncoveredInk(page, pixels, list);
  DWORD count = 0;
  if (list.Failed) {  // no memory for the list: one patch of the whole page is still exact
    RECTL whole = {0, 0, page.Width, page.Height};
    patches[0] = whole;
    count = 1;
  } else {
    count = MergePatchRectangles(list.Items, list.Count, capacity);
    memcpy(patches, list.Items, count * sizeof(RECTL));
  }
  free(list.Items);
  return count;
}

bool PageSend(PdfDocument& document, PageRecording& page, const PageGeometry& geometry, const PdfPagePixels& pixels) {
  if (document.Failed) return false;
  RECTL patches[PageMaxPatches];
  DWORD count = PageFindPatches(page, pixels, patches, PageMaxPatches);
  // Open scopes are closed before the patches, which go over everything, in the page's own space.
  while (page.SavedDepth > 0) {
    PageAppend(page, "Q\n");
    --page.SavedDepth;
  }
  const double hair = 0.001 * geometry.Dpi / 72.0;  // a thousandth of a point (page_picture.cpp)
  for (DWORD i = 0; i < count && !document.Failed; ++i) {
    const RECTL& r = patches[i];
    LONG width = r.right - r.left, height = r.bottom - r.top;
    DWORD id = PdfWritePixelImage(document,
                                  pixels.FirstRow + static_cast<LONG_PTR>(r.top) * pixels.RowStride + 3 * r.left,
                                  pixels.RowStride, width, height, geometry.Grey);
    if (!id) return false;
    // Inset by a hair on every side, as the picture of a page is (page_picture.cpp).
    PageAppend(page, "q ");
    PageAppendReal(page, width - 2 * hair);
    PageAppend(page, "0 0 ");
    PageAppendReal(page, -(height - 2 * hair));
    PageAppendReal(page, r.left + hair);
    PageAppendReal(page, r.top + height - hair);
    PageAppend(page, "cm ");
    PageAppendResourceName(page, PageImage, id);
    PageAppend(page, "Do Q\n");
  }
  if (page.Content.Failed || page.Failed) {
    document.Failed = true;
    return false;
  }

  PdfPageRecord record = {};
  record.WidthPoints = geometry.WidthPoints;
  record.HeightPoints = geometry.HeightPoints;
  if (page.Content.Length) {
    // The page's space (device pixels, y down) onto the paper.
    PdfBytes content = {};
    double pixel = 72.0 / geometry.Dpi;
    PdfAppendText(content, "q ");
    PdfAppendReal(content, pixel);
    PdfAppendText(content, " 0 0 ");
    PdfAppendReal(content, -pixel);
    PdfAppendText(content, " 0 ");
    PdfAppendReal(content, geometry.HeightPoints);
    PdfAppendText(content, " cm\n");
    PdfAppend(content, page.Content.Data, page.Content.Length);
    PdfAppendText(content, "Q\n");
    record.ContentId = PdfNewObjectId(document);
    bool written = !content.Failed && record.ContentId &&
                   PdfWriteStream(document, record.ContentId, nullptr, content.Data, content.Length, true);
    PdfBytesFree(content);
    if (!written) {
      document.Failed = true;
      return false;
    }
  }
  if (page.ResourceCount) {
    static const char* const kinds[] = {"/Font", "/XObject", "/ExtGState", "/Shading"};
    static const char* const prefixes[] = {"/F", "/Im", "/GS", "/Sh"};
    PdfBytes resources = {};
    PdfAppendText(resources, "<<");
    for (DWORD kind = PageFont; kind <= PageShading; ++kind) {
      bool opened = false;
      for (DWORD i = 0; i < page.ResourceCount; ++i) {
        if (page.Resources[i].Kind != kind) continue;
        if (!opened) {
          PdfAppendText(resources, " ");
          PdfAppendText(resources, kinds[kind]);
          PdfAppendText(resources, " <<");
          opened = true;
        }
        PdfAppendText(resources, " ");
        PdfAppendText(resources, prefixes[kind]);
        PdfAppendInteger(resources, page.Resources[i].Id);
        PdfAppendText(resources, " ");
        PdfAppendReference(resources, page.Resources[i].Id);
      }
      if (opened) PdfAppendText(resources, " >>");
    }
    PdfAppendText(resources, " >>\n");
    record.ResourcesId = PdfNewObjectId(document);
    if (resources.Failed || !record.ResourcesId) document.Failed = true;
    PdfBeginObject(document, record.ResourcesId);
    PdfPutBytes(document, resources);
    PdfEndObject(document);
    PdfBytesFree(resources);
  }
  record.PageId = PdfNewObjectId(document);
  return !document.Failed && PdfAddPage(document, record);
}
