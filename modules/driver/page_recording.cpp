#include "page_recording.h"

#include <stdlib.h>
#include <string.h>

namespace {

template <typename Record>
bool Reserve(Record*& block, DWORD& capacity, DWORD needed) {
  if (needed <= capacity) return true;
  DWORD grown = capacity ? capacity * 2 : 32;
  while (grown < needed) grown *= 2;
  Record* larger = static_cast<Record*>(realloc(block, grown * sizeof(Record)));
  if (!larger) return false;
  block = larger;
  capacity = grown;
  return true;
}

// The bounds cut to the page and to the clip's bounds; false when nothing is left.
bool OnPage(const PageRecording& page, const RECTL& bounds, CLIPOBJ* clip, RECTL& cut) {
  cut = bounds;
  if (cut.left > cut.right) {  // a mirrored rectangle: its corners either way round
    LONG swap = cut.left;
    cut.left = cut.right;
    cut.right = swap;
  }
  if (cut.top > cut.bottom) {
    LONG swap = cut.top;
    cut.top = cut.bottom;
    cut.bottom = swap;
  }
  if (clip && clip->iDComplexity != DC_TRIVIAL) {
    const RECTL& limit = clip->rclBounds;
    if (cut.left < limit.left) cut.left = limit.left;
    if (cut.top < limit.top) cut.top = limit.top;
    if (cut.right > limit.right) cut.right = limit.right;
    if (cut.bottom > limit.bottom) cut.bottom = limit.bottom;
  }
  if (cut.left < 0) cut.left = 0;
  if (cut.top < 0) cut.top = 0;
  if (cut.right > page.Width) cut.right = page.Width;
  if (cut.bottom > page.Height) cut.bottom = page.Height;
  return cut.left < cut.right && cut.top < cut.bottom;
}

// Sets the coverage bits of a rectangle on the page.
void Cover(PageRecording& page, const RECTL& area) {
  LONG first = area.left >> 3, last = (area.right - 1) >> 3;
  BYTE firstMask = static_cast<BYTE>(0xFF >> (area.left & 7));
  BYTE lastMask = static_cast<BYTE>(0xFF << (7 - ((area.right - 1) & 7)));
  for (LONG y = area.top; y < area.bottom; ++y) {
    BYTE* row = page.Covered + static_cast<LONG_PTR>(y) * page.CoveredStride;
    if (first == last) {
      row[first] |= firstMask & lastMask;
      continue;
    }
    row[first] |= firstMask;
    if (last > first + 1) memset(row + first + 1, 0xFF, last - first - 1);
    row[last] |= lastMask;
  }
}

}  // namespace

PageRecording* PageStart(PageRecording* page, LONG width, LONG height, bool grey) {
  if (width <= 0 || height <= 0) return page;
  if (!page) {
    page = static_cast<PageRecording*>(calloc(1, sizeof(PageRecording)));
    if (!page) return nullptr;
  }
  LONG stride = (width + 7) / 8;
  size_t maskBytes = static_cast<size_t>(stride) * height;
  if (!page->Covered || page->Width != width || page->Height != height) {
    free(page->Covered);
    page->Covered = static_cast<BYTE*>(malloc(maskBytes));
  }
  page->Width = width;
  page->Height = height;
  page->CoveredStride = stride;
  page->Grey = grey;
  PdfBytesClear(page->Content);
  page->ResourceCount = 0;
  page->PatchCount = 0;
  page->SavedDepth = 0;
  page->ClipDepth = 0;
  page->ClipWithSave = 0;
  memset(&page->State, 0, sizeof(page->State));
  page->Failed = page->Covered == nullptr;
  if (page->Covered) memset(page->Covered, 0, maskBytes);
  return page;
}

void PageFree(PageRecording* page) {
  if (!page) return;
  PdfBytesFree(page->Content);
  free(page->Resources);
  free(page->Patches);
  free(page->Covered);
  free(page);
}

void PageNoteExact(PageRecording& page, const RECTL& bounds, CLIPOBJ* clip) {
  RECTL cut;
  if (!page.Failed && OnPage(page, bounds, clip, cut)) Cover(page, cut);
}

void PageNotePatch(PageRecording& page, const RECTL& bounds, CLIPOBJ* clip) {
  RECTL cut;
  if (page.Failed || !OnPage(page, bounds, clip, cut)) return;
  Cover(page, cut);
  // A run of calls side by side (the words of a line) makes one patch as it comes.
  if (page.PatchCount) {
    RECTL& last = page.Patches[page.PatchCount - 1];
    const LONG gap = 4;
    bool touches = cut.left <= last.right + gap && cut.right >= last.left - gap && cut.top <= last.bottom + gap &&
                   cut.bottom >= last.top - gap;
    if (touches) {
      if (cut.left < last.left) last.left = cut.left;
      if (cut.top < last.top) last.top = cut.top;
      if (cut.right > last.right) last.right = cut.right;
      if (cut.bottom > last.bottom) last.bottom = cut.bottom;
      return;
    }
  }
  if (!Reserve(page.Patches, page.PatchCapacity, page.PatchCount + 1)) {
    page.Failed = true;
    return;
  }
  page.Patches[page.PatchCount++] = cut;
}

void PageAppend(PageRecording& page, const char* operators) { PdfAppendText(page.Content, operators); }

void PageAppendReal(PageRecording& page, double value) {
  PdfAppendReal(page.Content, value);
  PdfAppendText(page.Content, " ");
}

void PageAppendInteger(PageRecording& page, LONGLONG value) {
  PdfAppendInteger(page.Content, value);
  PdfAppendText(page.Content, " ");
}

void PageAppendResourceName(PageRecording& page, PageResourceKind kind, DWORD id) {
  static const char* const prefixes[] = {"/F", "/Im", "/GS", "/Sh"};
  bool listed = false;
  for (DWORD i = 0; i < page.ResourceCount && !listed; ++i)
    listed = page.Resources[i].Id == id && page.Resources[i].Kind == static_cast<DWORD>(kind);
  if (!listed) {
    if (!Reserve(page.Resources, page.ResourceCapacity, page.ResourceCount + 1)) {
      page.Failed = true;
      return;
    }
    page.Resources[page.ResourceCount].Id = id;
    page.Resources[page.ResourceCount].Kind = kind;
    ++page.ResourceCount;
  }
  PdfAppendText(page.Content, prefixes[kind]);
  PdfAppendInteger(page.Content, id);
  PdfAppendText(page.Content, " ");
}
