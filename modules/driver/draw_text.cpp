// DrvTextOut: the text of a page. This first version leaves every string to a raster patch of the
// engine's glyphs (EngTextOut draws them into the page's bitmap).
#include <windows.h>
#include <winddi.h>

#include "draw_calls.h"
#include "page_recording.h"
#include "printer_device.h"

namespace {

void Include(RECTL& bounds, const RECTL& more) {
  if (more.left >= more.right || more.top >= more.bottom) return;
  if (bounds.left >= bounds.right || bounds.top >= bounds.bottom) {
    bounds = more;
    return;
  }
  if (more.left < bounds.left) bounds.left = more.left;
  if (more.top < bounds.top) bounds.top = more.top;
  if (more.right > bounds.right) bounds.right = more.right;
  if (more.bottom > bounds.bottom) bounds.bottom = more.bottom;
}

}  // namespace

extern "C" BOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                                    RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                                    MIX mix) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device || !device->Engine.EngTextOut) return FALSE;
  if (PageRecording* page = RecordingOf(pso)) {
    RECTL bounds = {0, 0, 0, 0};
    if (pstro) Include(bounds, pstro->rclBkGround);
    if (prclOpaque) Include(bounds, *prclOpaque);
    // prclExtra: rectangles (underlines, strike-outs) up to one whose corners are both zero.
    for (RECTL* extra = prclExtra; extra && (extra->left || extra->top || extra->right || extra->bottom); ++extra)
      Include(bounds, *extra);
    PageNotePatch(*page, bounds, pco);
  }
  return device->Engine.EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
}
