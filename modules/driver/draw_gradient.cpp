// DrvGradientFill: rectangles (GRADIENT_FILL_RECT_H, _V) as axial shadings from one edge's colour to
// the other's, triangles (GRADIENT_FILL_TRIANGLE) as one free-form triangle mesh shading whose
// vertices carry their colours; both interpolate linearly in the device's colours, as GDI does.
#include <windows.h>
#include <winddi.h>

#include <math.h>

#include "draw_calls.h"
#include "pdf_content.h"
#include "printer_device.h"

namespace {

// The byte of a TRIVERTEX colour (COLOR16: the colour in its high byte).
BYTE Channel(COLOR16 value) { return static_cast<BYTE>(value >> 8); }

void AppendColour(PdfBytes& text, const TRIVERTEX& v, bool grey) {
  if (grey) {
    PdfAppendReal(text, GreyOf(Channel(v.Red), Channel(v.Green), Channel(v.Blue)) / 255.0);
    return;
  }
  PdfAppendReal(text, Channel(v.Red) / 255.0);
  PdfAppendText(text, " ");
  PdfAppendReal(text, Channel(v.Green) / 255.0);
  PdfAppendText(text, " ");
  PdfAppendReal(text, Channel(v.Blue) / 255.0);
}

// An axial shading across one gradient rectangle; its object number, or 0.
DWORD WriteAxial(PdfDocument& document, const TRIVERTEX& from, const TRIVERTEX& to, const RECTL& r, bool vertical,
                 bool grey) {
  DWORD id = PdfNewObjectId(document);
  if (!id) return 0;
  PdfBytes text = {};
  PdfAppendText(text, "<< /ShadingType 2 /ColorSpace ");
  PdfAppendText(text, grey ? "/DeviceGray" : "/DeviceRGB");
  PdfAppendText(text, " /Coords [");
  PdfAppendInteger(text, r.left);
  PdfAppendText(text, " ");
  PdfAppendInteger(text, r.top);
  PdfAppendText(text, " ");
  PdfAppendInteger(text, vertical ? r.left : r.right);
  PdfAppendText(text, " ");
  PdfAppendInteger(text, vertical ? r.bottom : r.top);
  PdfAppendText(text, "] /Function << /FunctionType 2 /Domain [0 1] /C0 [");
  AppendColour(text, from, grey);
  PdfAppendText(text, "] /C1 [");
  AppendColour(text, to, grey);
  PdfAppendText(text, "] /N 1 >> /Extend [true true] >>\n");
  PdfBeginObject(document, id);
  PdfPutBytes(document, text);
  PdfEndObject(document);
  bool failed = text.Failed;
  PdfBytesFree(text);
  if (failed) document.Failed = true;
  return failed ? 0 : id;
}

void PutBigEndian(BYTE* at, ULONG value) {
  at[0] = static_cast<BYTE>(value >> 24);
  at[1] = static_cast<BYTE>(value >> 16);
  at[2] = static_cast<BYTE>(value >> 8);
  at[3] = static_cast<BYTE>(value);
}

// A free-form triangle mesh of all the call's triangles; coordinates in 16.16 fixed point of the
// content space (a vertex is a pixel centre), colours in bytes.
DWORD WriteMesh(PdfDocument& document, const TRIVERTEX* vertices, const GRADIENT_TRIANGLE* triangles, ULONG count,
                bool grey) {
  DWORD id = PdfNewObjectId(document);
  if (!id) return 0;
  PdfBytes data = {};
  int channels = grey ? 1 : 3;
  for (ULONG t = 0; t < count && !data.Failed; ++t) {
    const ULONG corners[3] = {triangles[t].Vertex1, triangles[t].Vertex2, triangles[t].Vertex3};
    for (ULONG corner : corners) {
      const TRIVERTEX& v = vertices[corner];
      BYTE record[12] = {0};  // flag 0: every triangle stands alone
      PutBigEndian(record + 1, static_cast<ULONG>(static_cast<LONGLONG>((v.x + 0.5) * 65536.0)));
      PutBigEndian(record + 5, static_cast<ULONG>(static_cast<LONGLONG>((v.y + 0.5) * 65536.0)));
      if (grey) {
        record[9] = GreyOf(Channel(v.Red), Channel(v.Green), Channel(v.Blue));
      } else {
        record[9] = Channel(v.Red);
        record[10] = Channel(v.Green);
        record[11] = Channel(v.Blue);
      }
      PdfAppend(data, record, 9 + channels);
    }
  }
  const char* entries = grey ? "/ShadingType 4 /ColorSpace /DeviceGray /BitsPerCoordinate 32 /BitsPerComponent 8 "
                               "/BitsPerFlag 8 /Decode [0 65536 0 65536 0 1]"
                             : "/ShadingType 4 /ColorSpace /DeviceRGB /BitsPerCoordinate 32 /BitsPerComponent 8 "
                               "/BitsPerFlag 8 /Decode [0 65536 0 65536 0 1 0 1 0 1]";
  bool written = !data.Failed && PdfWriteStream(document, id, entries, data.Data, data.Length, true);
  PdfBytesFree(data);
  return written ? id : 0;
}

// The vertices' box, for a call without extents.
RECTL VertexBounds(const TRIVERTEX* vertices, ULONG count) {
  RECTL r = {vertices[0].x, vertices[0].y, vertices[0].x + 1, vertices[0].y + 1};
  for (ULONG i = 1; i < count; ++i) {
    if (vertices[i].x < r.left) r.left = vertices[i].x;
    if (vertices[i].y < r.top) r.top = vertices[i].y;
    if (vertices[i].x + 1 > r.right) r.right = vertices[i].x + 1;
    if (vertices[i].y + 1 > r.bottom) r.bottom = vertices[i].y + 1;
  }
  return r;
}

// Says the gradient; false when it cannot (the caller notes a patch).
bool SayGradient(PrinterDevice& device, PageRecording& page, CLIPOBJ* pco, const TRIVERTEX* vertices, ULONG nVertex,
                 PVOID pMesh, ULONG nMesh, ULONG mode) {
  if (!device.Document || !pMesh || !nMesh || nMesh > 100000) return false;
  PdfDocument& document = *device.Document;
  bool rectangles = mode == GRADIENT_FILL_RECT_H || mode == GRADIENT_FILL_RECT_V;
  if (!rectangles && mode != GRADIENT_FILL_TRIANGLE) return false;
  if (rectangles) {
    const GRADIENT_RECT* mesh = static_cast<const GRADIENT_RECT*>(pMesh);
    for (ULONG i = 0; i < nMesh; ++i)
      if (mesh[i].UpperLeft >= nVertex || mesh[i].LowerRight >= nVertex) return false;
    if (!ContentBeginClip(page, device.Engine, pco)) return false;
    for (ULONG i = 0; i < nMesh; ++i) {
      const TRIVERTEX& a = vertices[mesh[i].UpperLeft];
      const TRIVERTEX& b = vertices[mesh[i].LowerRight];
      // The rectangle between the two vertices, either way round; the colours go with their edges.
      RECTL r = {a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, a.x < b.x ? b.x : a.x, a.y < b.y ? b.y : a.y};
      if (r.left == r.right || r.top == r.bottom) continue;
      bool vertical = mode == GRADIENT_FILL_RECT_V;
      bool swapped = vertical ? a.y > b.y : a.x > b.x;
      DWORD id = WriteAxial(document, swapped ? b : a, swapped ? a : b, r, vertical, page.Grey);
      if (!id) {
        ContentEndClip(page);
        return false;
      }
      ContentSave(page);
      PageAppendInteger(page, r.left);
      PageAppendInteger(page, r.top);
      PageAppendInteger(page, r.right - r.left);
      PageAppendInteger(page, r.bottom - r.top);
      PageAppend(page, "re W n ");
      PageAppendResourceName(page, PageShading, id);
      PageAppend(page, "sh\n");
      ContentRestore(page);
    }
    ContentEndClip(page);
    return true;
  }
  const GRADIENT_TRIANGLE* mesh = static_cast<const GRADIENT_TRIANGLE*>(pMesh);
  for (ULONG i = 0; i < nMesh; ++i)
    if (mesh[i].Vertex1 >= nVertex || mesh[i].Vertex2 >= nVertex || mesh[i].Vertex3 >= nVertex) return false;
  for (ULONG i = 0; i < nVertex; ++i)
    if (vertices[i].x < 0 || vertices[i].y < 0 || vertices[i].x > 60000 || vertices[i].y > 60000) return false;
  DWORD id = WriteMesh(document, vertices, mesh, nMesh, page.Grey);
  if (!id || !ContentBeginClip(page, device.Engine, pco)) return false;
  PageAppendResourceName(page, PageShading, id);
  PageAppend(page, "sh\n");
  ContentEndClip(page);
  return true;
}

}  // namespace

extern "C" BOOL APIENTRY DrvGradientFill(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo, TRIVERTEX* pVertex,
                                         ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL* prclExtents,
                                         POINTL* pptlDitherOrg, ULONG ulMode) {
  PrinterDevice* device = DeviceOf(psoDest);
  if (!device || !device->Engine.EngGradientFill) return FALSE;
  PageRecording* page = RecordingOf(psoDest);
  if (page && pVertex && nVertex) {
    RECTL bounds = prclExtents ? *prclExtents : VertexBounds(pVertex, nVertex);
    size_t mark = page->Content.Length;
    if (SayGradient(*device, *page, pco, pVertex, nVertex, pMesh, nMesh, ulMode)) {
      PageNoteExact(*page, bounds, pco);
    } else {
      page->Content.Length = mark;
      PageNotePatch(*page, bounds, pco);
    }
  }
  return device->Engine.EngGradientFill(psoDest, pco, pxlo, pVertex, nVertex, pMesh, nMesh, prclExtents,
                                        pptlDitherOrg, ulMode);
}
