#include "pdf_content.h"

namespace {

// Clips of more rectangles than this are left to a raster patch: a region that complex (text
// clipped to a shape, say) costs more as a path than its pixels do.
const ULONG MaxClipRectangles = 200;

void SetColour(PageRecording& page, ULONG colour, bool stroke) {
  bool& known = stroke ? page.State.StrokeKnown : page.State.FillKnown;
  ULONG& current = stroke ? page.State.Stroke : page.State.Fill;
  colour &= 0x00FFFFFF;
  if (known && current == colour) return;
  known = true;
  current = colour;
  if (page.Grey) {
    PageAppendReal(page, GreyOf(RedOf(colour), GreenOf(colour), BlueOf(colour)) / 255.0);
    PageAppend(page, stroke ? "G\n" : "g\n");
    return;
  }
  PageAppendReal(page, RedOf(colour) / 255.0);
  PageAppendReal(page, GreenOf(colour) / 255.0);
  PageAppendReal(page, BlueOf(colour) / 255.0);
  PageAppend(page, stroke ? "RG\n" : "rg\n");
}

void AppendRectangle(PageRecording& page, const RECTL& r) {
  PageAppendInteger(page, r.left);
  PageAppendInteger(page, r.top);
  PageAppendInteger(page, r.right - r.left);
  PageAppendInteger(page, r.bottom - r.top);
  PageAppend(page, "re\n");
}

// "q" and the clip path of a clip that is not trivial; false, with nothing written, when it
// cannot be said.
bool WriteClip(PageRecording& page, const EngineCalls& engine, CLIPOBJ* clip) {
  if (clip->iDComplexity == DC_RECT) {
    ContentSave(page);
    AppendRectangle(page, clip->rclBounds);
    PageAppend(page, "W n\n");
    return true;
  }
  if (clip->iDComplexity != DC_COMPLEX || !engine.CLIPOBJ_cEnumStart || !engine.CLIPOBJ_bEnum) return false;
  // The region's rectangles, counted first so that a region too complex writes nothing.
  ULONG count = engine.CLIPOBJ_cEnumStart(clip, FALSE, CT_RECTANGLES, CD_ANY, 0);
  if (count == 0xFFFFFFFF || count > MaxClipRectangles) return false;
  struct {  // ENUMRECTS with room for 16 rectangles
    ULONG c;
    RECTL arcl[16];
  } batch;
  size_t start = page.Content.Length;
  PageAppend(page, "q\n");
  ULONG seen = 0;
  BOOL more = TRUE;
  while (more && seen <= MaxClipRectangles) {
    batch.c = 0;
    more = engine.CLIPOBJ_bEnum(clip, sizeof(batch), reinterpret_cast<ULONG*>(&batch));
    if (batch.c > 16) batch.c = 16;
    for (ULONG i = 0; i < batch.c; ++i)
      if (batch.arcl[i].left < batch.arcl[i].right && batch.arcl[i].top < batch.arcl[i].bottom)
        AppendRectangle(page, batch.arcl[i]);
    seen += batch.c;
  }
  if (seen > MaxClipRectangles) {  // the count was wrong: take the q back
    page.Content.Length = start;
    return false;
  }
  if (seen == 0) PageAppend(page, "0 0 0 0 re\n");  // an empty region: nothing is drawn
  PageAppend(page, "W n\n");
  ++page.SavedDepth;
  return true;
}

}  // namespace

void ContentSetFillColour(PageRecording& page, ULONG colour) { SetColour(page, colour, false); }
void ContentSetStrokeColour(PageRecording& page, ULONG colour) { SetColour(page, colour, true); }

void ContentSave(PageRecording& page) {
  PageAppend(page, "q\n");
  ++page.SavedDepth;
}

void ContentRestore(PageRecording& page) {
  if (page.SavedDepth <= 0) return;
  PageAppend(page, "Q\n");
  --page.SavedDepth;
  // What was set inside the q is gone again; what was set before it is not known here.
  page.State.FillKnown = page.State.StrokeKnown = page.State.LineKnown = false;
}

bool ContentBeginClip(PageRecording& page, const EngineCalls& engine, CLIPOBJ* clip) {
  if (page.ClipDepth >= 31) return false;
  bool trivial = !clip || clip->iDComplexity == DC_TRIVIAL;
  if (!trivial && !WriteClip(page, engine, clip)) return false;
  if (trivial)
    page.ClipWithSave &= ~(1u << page.ClipDepth);
  else
    page.ClipWithSave |= 1u << page.ClipDepth;
  ++page.ClipDepth;
  return true;
}

void ContentEndClip(PageRecording& page) {
  if (page.ClipDepth <= 0) return;
  --page.ClipDepth;
  if (page.ClipWithSave & (1u << page.ClipDepth)) ContentRestore(page);
}
