#include "record_player.h"

#include <stdio.h>

namespace {

PlayContext* current = nullptr;

int CALLBACK OnRecord(HDC dc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM data) {
  PlayContext& play = *reinterpret_cast<PlayContext*>(data);
  play.Dc = dc;
  play.Table = table;
  play.Record = record;
  play.Handles = handles;
  play.Drawn = false;
  ++play.Index;
  current = &play;
  bool handled = false;
  if (play.Hooks && !play.PathOpen)
    handled = PlayShapeRecord(play) || PlayBlitRecord(play) || PlayTextRecord(play);
  if (!handled) PlayRecordStraight(dc, table, record, handles);
  if (record->iType == EMR_BEGINPATH) play.PathOpen = true;
  if (record->iType == EMR_ENDPATH || record->iType == EMR_ABORTPATH) play.PathOpen = false;
  current = nullptr;
  return 1;  // a failed record does not end the page, as in PlayEnhMetaFile
}

}  // namespace

PlayContext* CurrentPlay() { return current; }

PFN DriverFunction(ULONG index) {
  if (!current || !current->Driver) return nullptr;
  const DRVENABLEDATA& data = *current->Driver;
  for (ULONG i = 0; data.pdrvfn && i < data.c; ++i)
    if (data.pdrvfn[i].iFunc == index) return data.pdrvfn[i].pfn;
  return nullptr;
}

bool DrawCurrentRecord(SURFOBJ* pso) {
  if (!current || !pso || pso->hsurf != current->Surface->hsurf) return false;
  if (!current->Drawn) {
    current->Drawn = true;
    PlayRecordStraight(current->Dc, current->Table, current->Record, current->Handles);
  }
  return true;
}

void ApplyCurrentRecordState() {
  if (!current || current->Drawn) return;
  HDC dc = current->Dc;
  HRGN saved = CreateRectRgn(0, 0, 0, 0);
  int hasClip = GetClipRgn(dc, saved);
  HRGN nothing = CreateRectRgn(0, 0, 0, 0);
  SelectClipRgn(dc, nothing);
  PlayEnhMetaFileRecord(dc, current->Table, current->Record, current->Handles);
  SelectClipRgn(dc, hasClip == 1 ? saved : nullptr);
  DeleteObject(nothing);
  DeleteObject(saved);
}

void FinishCall(PlayContext& play, BOOL result, const char* name) {
  ++play.Calls;
  if (!result) {
    ++play.Failures;
    fprintf(stderr, "gdiplay: %s failed on page %d, record %d (type %lu)\n", name, play.Page, play.Index,
            play.Record->iType);
  }
  ApplyCurrentRecordState();
}

bool PlayRecords(HDC dc, SURFOBJ* surface, FLONG hooks, const DRVENABLEDATA* driver, HENHMETAFILE page, int number) {
  PlayContext play = {};
  play.Surface = surface;
  play.Hooks = hooks;
  play.Driver = driver;
  play.Page = number;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = info.bmiHeader.biHeight = 1;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP scratchBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  play.Scratch = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(play.Scratch, scratchBitmap);
  RECT area = {0, 0, surface->sizlBitmap.cx, surface->sizlBitmap.cy};
  bool played = EnumEnhMetaFile(dc, page, OnRecord, &play, &area) != FALSE;
  GdiFlush();
  SelectObject(play.Scratch, old);
  DeleteDC(play.Scratch);
  DeleteObject(scratchBitmap);
  if (play.Failures)
    fprintf(stderr, "gdiplay: page %d: %lu of the driver's %lu drawing calls failed\n", number, play.Failures, play.Calls);
  return played && play.Failures == 0;
}
